// Display lists over the shared corpus: every page populates to its end or
// stops with an error in its list; replayed pages match an independent
// reading of their content (qpdf's decoded streams, tokenized here).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "cli/open_document.h"
#include "cli/operator_printer.h"
#include "pdf/content/dl_player.h"
#include "pdf/document/document.h"
#include "pdf/document/page_tree.h"
#include "support/corpus.h"
#include "support/test_context.h"

namespace vn::pdf::document {
namespace {

// ---- a small content tokenizer for the reference side

struct Token {
  enum Kind { kNumber, kName, kString, kArrayStart, kArrayEnd, kDictStart, kDictEnd, kOperator, kBool } kind;
  std::string text;  // names and strings: decoded bytes; operators: the keyword
  int32_t fixed = 0;  // numbers as the content parser reads them
  bool integer = false;
};

bool IsSpace(int c) { return c == 0 || c == 9 || c == 10 || c == 12 || c == 13 || c == 32; }
bool IsDelimiter(int c) { return std::string("()<>[]{}/%").find(static_cast<char>(c)) != std::string::npos; }

// The content parser's reading of a number token.
int32_t ReadNumber(const std::string& t, bool* integer) {
  size_t i = 0;
  bool negative = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
  uint64_t whole = 0;
  int digits = 0;
  for (; i < t.size() && isdigit(static_cast<unsigned char>(t[i])); ++i) {
    if (whole != 0 || t[i] != '0') ++digits;
    if (digits <= 11) whole = whole * 10 + static_cast<uint64_t>(t[i] - '0');
  }
  *integer = i == t.size() || t[i] != '.';
  if (digits > 10 || whole > 0x7FFFFFFF) return negative ? -0x7FFFFFFF : 0x7FFFFFFF;
  if (*integer) {
    if (whole > 32767) return negative ? -0x7FFFFFFF : 0x7FFFFFFF;
    return static_cast<int32_t>(negative ? -static_cast<int64_t>(whole) * 65536 : whole * 65536);
  }
  ++i;
  // The nearest 16.16 value; digits past the ninth cannot change it.
  uint32_t fraction = 0, count = 0;
  for (; i < t.size() && isdigit(static_cast<unsigned char>(t[i])); ++i) {
    if (count < 9) fraction = fraction * 10 + static_cast<uint32_t>(t[i] - '0'), ++count;
  }
  int32_t fixed = 0x7FFFFFFF;
  if (whole <= 0x7FFF) {
    const double exact = (static_cast<double>(whole) + fraction / std::pow(10.0, count)) * 65536.0;
    fixed = static_cast<int32_t>(std::min<long long>(std::llround(exact), 0x7FFFFFFF));
  }
  return negative ? -fixed : fixed;
}

class Tokenizer {
 public:
  explicit Tokenizer(const std::string& s) : s_(s) {}
  bool Next(Token& t) {
    for (;;) {
      while (p_ < s_.size() && IsSpace(static_cast<unsigned char>(s_[p_]))) ++p_;
      if (p_ >= s_.size()) return false;
      if (s_[p_] == '%') {
        while (p_ < s_.size() && s_[p_] != '\n' && s_[p_] != '\r') ++p_;
        continue;
      }
      break;
    }
    unsigned char c = static_cast<unsigned char>(s_[p_]);
    t = Token{Token::kOperator, "", 0, false};
    if (c == '(') {
      t.kind = Token::kString;
      ++p_;
      int depth = 1;
      while (p_ < s_.size()) {
        char b = s_[p_++];
        if (b == '\\' && p_ < s_.size()) {
          char e = s_[p_++];
          switch (e) {
            case 'n': t.text += '\n'; break;
            case 'r': t.text += '\r'; break;
            case 't': t.text += '\t'; break;
            case 'b': t.text += '\b'; break;
            case 'f': t.text += '\f'; break;
            case '\n': break;
            case '\r': if (p_ < s_.size() && s_[p_] == '\n') ++p_; break;
            default:
              if (e >= '0' && e <= '7') {
                int v = e - '0';
                for (int k = 0; k < 2 && p_ < s_.size() && s_[p_] >= '0' && s_[p_] <= '7'; ++k) v = v * 8 + (s_[p_++] - '0');
                t.text += static_cast<char>(v);
              } else {
                t.text += e;
              }
          }
          continue;
        }
        if (b == '(') ++depth;
        if (b == ')' && --depth == 0) break;
        t.text += b;
      }
      return true;
    }
    if (c == '<' && p_ + 1 < s_.size() && s_[p_ + 1] == '<') {
      p_ += 2;
      t.kind = Token::kDictStart;
      return true;
    }
    if (c == '>' && p_ + 1 < s_.size() && s_[p_ + 1] == '>') {
      p_ += 2;
      t.kind = Token::kDictEnd;
      return true;
    }
    if (c == '<') {
      t.kind = Token::kString;
      ++p_;
      int high = -1;
      while (p_ < s_.size() && s_[p_] != '>') {
        int d = HexValue(s_[p_++]);
        if (d < 0) continue;
        if (high < 0) high = d;
        else t.text += static_cast<char>(high * 16 + d), high = -1;
      }
      if (high >= 0) t.text += static_cast<char>(high * 16);
      ++p_;
      return true;
    }
    if (c == '[' || c == ']') {
      t.kind = c == '[' ? Token::kArrayStart : Token::kArrayEnd;
      ++p_;
      return true;
    }
    if (c == '/') {
      t.kind = Token::kName;
      ++p_;
      while (p_ < s_.size() && !IsSpace(static_cast<unsigned char>(s_[p_])) && !IsDelimiter(static_cast<unsigned char>(s_[p_]))) {
        if (s_[p_] == '#' && p_ + 2 < s_.size() && HexValue(s_[p_ + 1]) >= 0 && HexValue(s_[p_ + 2]) >= 0) {
          t.text += static_cast<char>(HexValue(s_[p_ + 1]) * 16 + HexValue(s_[p_ + 2]));
          p_ += 3;
        } else {
          t.text += s_[p_++];
        }
      }
      return true;
    }
    if (c == ')' || c == '{' || c == '}' || c == '>') {
      ++p_;
      return Next(t);
    }
    size_t start = p_;
    while (p_ < s_.size() && !IsSpace(static_cast<unsigned char>(s_[p_])) && !IsDelimiter(static_cast<unsigned char>(s_[p_]))) ++p_;
    t.text = s_.substr(start, p_ - start);
    if (isdigit(c) || c == '+' || c == '-' || c == '.') {
      t.kind = Token::kNumber;
      t.fixed = ReadNumber(t.text, &t.integer);
    } else if (t.text == "true" || t.text == "false" || t.text == "null") {
      t.kind = Token::kBool;
    } else if (t.text == "ID") {
      // Skip the image data up to white space, "EI" and white space.
      ++p_;
      while (p_ + 2 < s_.size() &&
             !(IsSpace(static_cast<unsigned char>(s_[p_])) && s_[p_ + 1] == 'E' && s_[p_ + 2] == 'I' &&
               (p_ + 3 >= s_.size() || IsSpace(static_cast<unsigned char>(s_[p_ + 3])) ||
                IsDelimiter(static_cast<unsigned char>(s_[p_ + 3]))))) {
        ++p_;
      }
      p_ += 3;
      t.text = "EI";
    }
    return true;
  }

 private:
  static int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }
  const std::string& s_;
  size_t p_ = 0;
};

// One operator with its operands, comparable across both sides.
struct Op {
  std::string name;
  std::vector<Token> operands;
};

// Reads content into operators (arrays flattened into their elements
// between [ and ]; dictionaries dropped).
std::vector<Op> ReadOps(const std::string& content) {
  std::vector<Op> ops;
  Tokenizer tk(content);
  Token t;
  Op current;
  int dictDepth = 0;
  while (tk.Next(t)) {
    if (t.kind == Token::kDictStart) ++dictDepth;
    if (t.kind == Token::kDictEnd) {
      --dictDepth;
      continue;
    }
    if (dictDepth > 0 && t.kind != Token::kOperator) continue;
    if (dictDepth > 0) continue;
    if (t.kind == Token::kOperator) {
      if (t.text == "BI") {
        dictDepth = 0;
        // Everything up to the skipped data is the image.
        while (tk.Next(t) && !(t.kind == Token::kOperator && t.text == "EI")) {
        }
        ops.push_back(Op{"BI", {}});
        current = Op();
        continue;
      }
      current.name = t.text;
      ops.push_back(current);
      current = Op();
    } else {
      current.operands.push_back(t);
    }
  }
  return ops;
}

int32_t Mask(int32_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v) & ~1u); }

Token Num(int32_t v) { return Token{Token::kNumber, "", v, false}; }

// What the list legitimately makes of the reference's operators.
std::vector<Op> Normalize(const std::vector<Op>& in) {
  std::vector<Op> out;
  bool path = false;
  int32_t cx = 0, cy = 0;
  auto numbers = [](const Op& op, size_t n, std::vector<int32_t>& v) {
    if (op.operands.size() < n) return false;
    v.clear();
    for (size_t i = op.operands.size() - n; i < op.operands.size(); ++i) {
      if (op.operands[i].kind != Token::kNumber) return false;
      v.push_back(op.operands[i].fixed);
    }
    return true;
  };
  auto point = [&](const char* name, int32_t x, int32_t y) { out.push_back(Op{name, {Num(Mask(x)), Num(Mask(y))}}); };
  static const std::set<std::string> kKnown = {
      "q", "Q", "cm", "w", "J", "j", "M", "d", "ri", "i", "gs", "m", "l", "c", "v", "y", "h", "re", "Do", "BI", "sh",
      "W", "W*", "S", "s", "f", "F", "f*", "B", "B*", "b", "b*", "n", "CS", "cs", "G", "g", "RG", "rg", "K", "k", "SC",
      "SCN", "sc", "scn", "BT", "ET", "Tc", "Tw", "Tz", "TL", "Tf", "Tr", "Ts", "Td", "TD", "Tm", "T*", "Tj", "TJ",
      "'", "\"", "BMC", "BDC", "MP", "DP", "EMC", "BX", "EX", "d0", "d1"};
  std::vector<int32_t> v;
  int compatibility = 0;
  std::vector<Op> clip;  // W or W* waits for the painting operator
  for (const Op& op : in) {
    const std::string& n = op.name;
    if (n == "BX") ++compatibility;
    if (n == "EX" && compatibility > 0) --compatibility;
    if (!kKnown.count(n) && compatibility > 0) continue;  // skipped in compatibility sections
    if (n == "BX" || n == "EX" || n == "d0" || n == "d1") continue;
    if (n == "W" || n == "W*") {
      clip.assign(1, op);
      continue;
    }
    bool paints = n == "S" || n == "f" || n == "F" || n == "f*" || n == "B" || n == "B*" || n == "n" || n == "s" ||
                  n == "b" || n == "b*";
    if (paints && !clip.empty() && n != "s" && n != "b" && n != "b*") {
      out.push_back(clip[0]);
      clip.clear();
    }
    if (n == "m" || n == "l") {
      if (!numbers(op, 2, v)) { out.push_back(op); continue; }
      point(n.c_str(), v[0], v[1]);
      cx = v[0], cy = v[1];
      path = true;
    } else if (n == "re") {
      if (!numbers(op, 4, v)) { out.push_back(op); continue; }
      int32_t x2 = FixedAddSat(v[0], v[2]), y2 = FixedAddSat(v[1], v[3]);
      point("m", v[0], v[1]);
      point("l", x2, v[1]);
      point("l", x2, y2);
      point("l", v[0], y2);
      out.push_back(Op{"h", {}});
      cx = v[0], cy = v[1];
      path = true;
    } else if (n == "c" || n == "v" || n == "y") {
      size_t k = n == "c" ? 6 : 4;
      if (!numbers(op, k, v)) { out.push_back(op); continue; }
      std::vector<int32_t> w = n == "c" ? v : n == "v" ? std::vector<int32_t>{cx, cy, v[0], v[1], v[2], v[3]}
                                                      : std::vector<int32_t>{v[0], v[1], v[2], v[3], v[2], v[3]};
      Op c{"c", {}};
      for (int32_t x : w) c.operands.push_back(Num(Mask(x)));
      out.push_back(c);
      cx = w[4], cy = w[5];
    } else if (n == "h") {
      if (path) out.push_back(op);
    } else if (n == "s" || n == "b" || n == "b*") {
      if (path) out.push_back(Op{"h", {}});
      if (!clip.empty()) out.push_back(clip[0]);
      clip.clear();
      out.push_back(Op{n == "s" ? "S" : n == "b" ? "B" : "B*", {}});
      path = false;
    } else if (n == "S" || n == "f" || n == "F" || n == "f*" || n == "B" || n == "B*" || n == "n") {
      out.push_back(Op{n == "F" ? "f" : n, {}});
      path = false;
    } else if (n == "'") {
      out.push_back(Op{"T*", {}});
      out.push_back(Op{"Tj", op.operands});
    } else if (n == "\"") {
      if (op.operands.size() < 3) { out.push_back(op); continue; }
      size_t z = op.operands.size();
      out.push_back(Op{"Tw", {op.operands[z - 3]}});
      out.push_back(Op{"Tc", {op.operands[z - 2]}});
      out.push_back(Op{"T*", {}});
      out.push_back(Op{"Tj", {op.operands[z - 1]}});
    } else if (n == "Tz") {
      if (!numbers(op, 1, v)) { out.push_back(op); continue; }
      int32_t f = v[0] == (100 << 16) ? 65536 : FixedMul(v[0] >> 5, 20971);
      int64_t p = static_cast<int64_t>(f) * 100;
      out.push_back(Op{"Tz", {Num(static_cast<int32_t>(p > 0x7FFFFFFF ? 0x7FFFFFFF : p < -0x7FFFFFFF ? -0x7FFFFFFF : p))}});
    } else if (n == "BMC" || n == "BDC") {
      out.push_back(Op{"BMC", {}});
    } else if (n == "MP" || n == "DP") {
      out.push_back(Op{"BMC", {}});
      out.push_back(Op{"EMC", {}});
    } else if (n == "scn" || n == "SCN" || n == "sc" || n == "SC") {
      bool stroking = n[0] == 'S';
      bool named = !op.operands.empty() && op.operands.back().kind == Token::kName;
      out.push_back(Op{named ? (stroking ? "SCN" : "scn") : (stroking ? "SC" : "sc"), op.operands});
    } else if (n == "ri") {
      Op r = op;
      static const std::set<std::string> known = {"Perceptual", "Saturation", "AbsoluteColorimetric"};
      if (!r.operands.empty() && !known.count(r.operands.back().text)) r.operands.back().text = "RelativeColorimetric";
      out.push_back(r);
    } else {
      if (n == "BT" || n == "Do") path = false;
      out.push_back(op);
    }
  }
  return out;
}

// Operand counts that matter per operator (the parser drops surplus ones).
bool SameOperands(const Op& a, const Op& b) {
  const std::vector<Token>& x = a.operands;
  const std::vector<Token>& y = b.operands;
  size_t n = std::min(x.size(), y.size());
  // Compare from the end: surplus operands sit in front.
  if (a.name == "TJ" || a.name == "d") {
    if (x.size() != y.size()) return false;
  }
  for (size_t i = 1; i <= n; ++i) {
    const Token& p = x[x.size() - i];
    const Token& q = y[y.size() - i];
    if (p.kind != q.kind) return false;
    if (p.kind == Token::kNumber && p.fixed != q.fixed) return false;
    if ((p.kind == Token::kName || p.kind == Token::kString) && p.text != q.text) return false;
  }
  return y.size() <= x.size() || a.name == "TJ";
}

std::string Describe(const Op& op) {
  std::string out;
  for (const Token& t : op.operands) {
    out += t.kind == Token::kNumber ? std::to_string(t.fixed) : t.kind == Token::kName ? "/" + t.text : "(" + t.text + ")";
    out += ' ';
  }
  return out + op.name;
}

std::string RunCommand(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  pclose(pipe);
  return out;
}

// The object numbers of a page's content streams.
std::vector<int> ContentObjects(ObjectResolver& resolver, const ObjectId& page) {
  AppContext& context = resolver.Context();
  std::vector<int> numbers;
  ResolvedValue dict(context);
  resolver.GetIndirectObject(page, dict);
  Value contents = DictionaryGet(context, dict.Get(), "Contents");
  if (contents.IsReference()) {
    ResolvedValue target(context);
    resolver.GetIndirectObject(ReferenceOf(contents), target);
    if (target.Get().IsArray()) contents = target.Get(), dict = target;
    else numbers.push_back(ReferenceOf(contents).number);
  }
  if (contents.IsArray()) {
    for (uint32_t i = 0; i < contents.container->Size(); ++i) {
      if (contents.container->At(i).IsReference()) numbers.push_back(contents.container->At(i).ref->number);
    }
  }
  return numbers;
}

struct CorpusStats {
  int files = 0, pages = 0, complete = 0, withErrors = 0;
  std::map<int, int> errorCodes;
};

TEST(DisplayListCorpus, EveryPagePopulatesToItsEndOrStopsWithAnError) {
  auto files = test::CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "no corpus";
  CorpusStats stats;
  for (const auto& file : files) {
    AppContext context;
    folio::cli::OpenDocument opened(context);
    if (!opened.Open(file.path, file.userPassword)) continue;
    ++stats.files;
    int32_t count = -1;
    test::RaisedCode(context, [&] {
      Scoped<Document> doc(context, opened.Store());
      count = doc->PageCount();
    });
    for (int32_t page = 0; page < count; ++page) {
      int32_t listError = -1;
      int32_t code = test::RaisedCode(context, [&] {
        Scoped<Document> doc(context, opened.Store());
        Ref<PageDisplayList> list(context);
        doc->GetPageDisplayList(list, page);
        list->PopulateAll();
        EXPECT_TRUE(list->IsComplete());
        if (list->Errors().Size() != 0) listError = list->Errors()[0].code;
      });
      ++stats.pages;
      if (code == -1 && listError == -1) {
        ++stats.complete;
        continue;
      }
      int32_t shown = code != -1 ? code : listError;
      ++stats.withErrors;
      ++stats.errorCodes[shown];
      std::printf("  %s page %d: %s %d\n", file.name.c_str(), page + 1, code != -1 ? "raised" : "list error",
                  shown);
    }
  }
  std::printf("%d files, %d pages: %d complete, %d stopped with an error\n", stats.files, stats.pages,
              stats.complete, stats.withErrors);
  for (auto& [code, n] : stats.errorCodes) std::printf("  code %d: %d pages\n", code, n);
}

TEST(DisplayListCorpus, ReplayMatchesTheDecodedContent) {
  auto files = test::CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "no corpus";
  if (std::system("qpdf --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no qpdf";
  const int kPagesPerFile = 40;
  int compared = 0, equal = 0, different = 0, stopped = 0, ignoredDo = 0, noReference = 0, unusableImages = 0;
  std::map<std::string, int> reasons;
  for (const auto& file : files) {
    AppContext context;
    folio::cli::OpenDocument opened(context);
    if (!opened.Open(file.path, file.userPassword)) continue;
    std::string password = file.userPassword.empty() ? "" : " --password='" + file.userPassword + "'";
    int32_t count = -1;
    test::RaisedCode(context, [&] {
      Scoped<Document> doc(context, opened.Store());
      count = doc->PageCount();
    });
    for (int32_t page = 0; page < count && page < kPagesPerFile; ++page) {
      folio::cli::OperatorPrinter printer;
      std::vector<int> streams;
      int32_t listError = -1;
      int32_t code = test::RaisedCode(context, [&] {
        Scoped<Document> doc(context, opened.Store());
        ObjectId id = GetPageReference(doc->Resolver(), page);
        streams = ContentObjects(doc->Resolver(), id);
        Ref<PageDisplayList> list(context);
        doc->GetPageDisplayList(list, page);
        content::DLPlayer player(*list, printer);
        player.Play();
        if (list->Errors().Size() != 0) listError = list->Errors()[0].code;
      });
      std::string reference;
      for (int n : streams) {
        reference += RunCommand("qpdf" + password + " --show-object=" + std::to_string(n) +
                                " --filtered-stream-data '" + file.path + "' 2>/dev/null");
        reference += ' ';
      }
      std::vector<Op> want = Normalize(ReadOps(reference));
      std::vector<Op> got = ReadOps(printer.Text());
      if (want.empty() && !got.empty()) {
        ++noReference;  // qpdf cannot read the file
        continue;
      }
      ++compared;
      bool partial = code != -1 || listError != -1;
      if (partial) ++stopped;
      size_t i = 0, j = 0;
      std::string why;
      while (i < want.size() && j < got.size()) {
        if (want[i].name == got[j].name && SameOperands(want[i], got[j])) {
          ++i, ++j;
          continue;
        }
        if (want[i].name == "Do") {  // a Do of another subtype is not recorded
          ++ignoredDo, ++i;
          continue;
        }
        if (want[i].name == "BI") {  // an inline image of an unsupported encoding is not replayed
          ++unusableImages, ++i;
          continue;
        }
        if (want[i].name == "Q" && got[j].name != "Q") {  // a Q the list met outside any save
          ++i;
          continue;
        }
        why = "operator " + std::to_string(i) + ": want " + Describe(want[i]) + " got " + Describe(got[j]);
        break;
      }
      if (why.empty() && j < got.size()) why = "extra operators in the list";
      if (why.empty() && i < want.size() && !partial) {
        // Saves left open at the end print no Q; anything else is missing.
        bool onlyRestores = true;
        for (size_t k = i; k < want.size(); ++k) onlyRestores = onlyRestores && (want[k].name == "Q" || want[k].name == "Do");
        if (!onlyRestores) why = "operators missing from the list at " + std::to_string(i) + " (" + want[i].name + ")";
      }
      if (why.empty()) {
        ++equal;
      } else {
        ++different;
        ++reasons[why.substr(0, why.find(':'))];
        std::printf("  %s page %d differs: %s\n", file.name.c_str(), page + 1, why.c_str());
      }
    }
  }
  std::printf("pages compared %d, equal %d, different %d (stopped early with an error: %d; ignored Do: %d; "
              "no reference from qpdf: %d; inline images not replayed: %d)\n",
              compared, equal, different, stopped, ignoredDo, noReference, unusableImages);
  EXPECT_GT(compared, 0);
  EXPECT_GE(equal * 100, compared * 99);
}

}  // namespace
}  // namespace vn::pdf::document
