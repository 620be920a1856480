// folio fonts: the listing of a made-up file, and names, types and embedded
// flags against pdffonts on a fixed set of corpus files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <tuple>

#include "cli/folio_runner.h"
#include "support/corpus.h"

namespace folio::test {
namespace {

// name (36 bytes at most), type family, embedded, subset
using FontRow = std::tuple<std::string, std::string, bool, bool>;

// pdffonts' types as the Subtype they come from.
std::string TypeFamily(const std::string& type) {
  static const std::map<std::string, std::string> families = {
      {"Type 1", "Type1"}, {"Type 1C", "Type1"}, {"Type 1C (OT)", "Type1"}, {"Type 3", "Type3"},
      {"TrueType", "TrueType"}, {"TrueType (OT)", "TrueType"}, {"CID Type 0", "CIDFontType0"},
      {"CID Type 0C", "CIDFontType0"}, {"CID Type 0C (OT)", "CIDFontType0"}, {"CID TrueType", "CIDFontType2"},
      {"CID TrueType (OT)", "CIDFontType2"}, {"MMType1", "Type1"}};
  auto it = families.find(type);
  return it != families.end() ? it->second : type;
}

std::string Trim(const std::string& s) {
  const size_t a = s.find_first_not_of(' ');
  const size_t b = s.find_last_not_of(' ');
  return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

// pdffonts' table, by object number; its columns are as wide as the dashes
// under the header.
std::map<int, FontRow> Reference(const std::string& path) {
  std::map<int, FontRow> rows;
  Outcome out = vn::test::RunShell("pdffonts '" + path + "' 2>/dev/null", vn::test::Stderr::kDrop);
  std::istringstream lines(out.out);
  std::string header, dashes, line;
  std::getline(lines, header);
  std::getline(lines, dashes);
  std::vector<std::pair<size_t, size_t>> columns;
  size_t at = 0;
  std::istringstream words(dashes);
  for (std::string dash; std::getline(words, dash, ' ');) {
    columns.emplace_back(at, dash.size());
    at += dash.size() + 1;
  }
  if (columns.size() < 7) return rows;
  while (std::getline(lines, line)) {
    auto field = [&](size_t i) { return Trim(line.size() > columns[i].first ? line.substr(columns[i].first, columns[i].second) : ""); };
    const int object = std::atoi(field(6).c_str());
    if (object > 0) rows[object] = {field(0).substr(0, 36), TypeFamily(field(1)), field(3) == "yes", field(4) == "yes"};
  }
  return rows;
}

std::map<int, FontRow> Ours(const std::string& path) {
  std::map<int, FontRow> rows;
  Outcome out = vn::test::RunShell(Folio() + " fonts --json '" + path + "'", vn::test::Stderr::kDrop);
  static const std::regex font(R"re(\{"object":(\d+|null),"name":"((?:[^"\\]|\\.)*)","type":"([^"]*)",)re"
                               R"re("encoding":"(?:[^"\\]|\\.)*","embedded":(true|false),"subset":(true|false),)re");
  for (auto it = std::sregex_iterator(out.out.begin(), out.out.end(), font); it != std::sregex_iterator(); ++it) {
    const std::smatch& m = *it;
    if (m[1] == "null") continue;
    const std::string name = m[2].str().empty() ? "[none]" : m[2].str();
    const std::string type = m[3] == "MMType1" ? "Type1" : m[3].str();
    rows[std::stoi(m[1])] = {name.substr(0, 36), type, m[4] == "true", m[5] == "true"};
  }
  return rows;
}

TEST(FolioFonts, ListsNameTypeEncodingAndProgram) {
  Outcome text = Execute(Folio() + " fonts " + kSample);
  ASSERT_EQ(text.status, 0) << text.out;
  EXPECT_NE(text.out.find("Helvetica"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("NimbusSans-Regular"), std::string::npos) << text.out;  // not embedded: the built-in face
  Outcome json = Execute(Folio() + " fonts --json " + kSample + " 1");
  ASSERT_EQ(json.status, 0);
  EXPECT_NE(json.out.find("\"type\":\"Type1\""), std::string::npos) << json.out;
  EXPECT_NE(json.out.find("\"embedded\":false,\"subset\":false,\"format\":null,\"substitute\":\"NimbusSans-Regular\""),
            std::string::npos)
      << json.out;
  EXPECT_EQ(Execute(Folio() + " fonts " + kSample + " 7").status, 1);  // past the last page
  EXPECT_EQ(Execute(Folio() + " fonts " + kSample + " x-y").status, 2);
}

struct Agreement {
  int tried = 0, agreed = 0;
  std::string disagreements;  // the files that differ, each after a space
};

// Compares folio's listing with pdffonts' on the unencrypted corpus files
// that `chosen` picks (and pdffonts lists fonts for).
template <class Choose>
Agreement CompareWithPdffonts(Choose chosen) {
  Agreement a;
  for (const vn::test::CorpusFile& file : vn::test::CorpusFiles()) {
    if (file.encrypted != "none" || !chosen(file)) continue;
    const std::map<int, FontRow> reference = Reference(file.path);
    if (reference.empty()) continue;
    ++a.tried;
    if (Ours(file.path) == reference) ++a.agreed;
    else a.disagreements += " " + file.name;
  }
  return a;
}

TEST(FolioFonts, AgreesWithPdffontsOnCorpusFiles) {
  if (vn::test::CorpusDir().empty()) GTEST_SKIP() << "no corpus";
  if (std::system("command -v pdffonts >/dev/null 2>&1") != 0) GTEST_SKIP() << "pdffonts absent";
  // A fixed sample: every eighth unencrypted file that mentions fonts.
  int index = 0;
  const Agreement a = CompareWithPdffonts([&](const vn::test::CorpusFile& file) {
    return file.features.find("font-") != std::string::npos && index++ % 8 == 0;
  });
  ASSERT_GT(a.tried, 20);
  // Files that only pdffonts can open (it repairs them) or whose fonts sit
  // in Type 3 glyphs' forms make up the rest.
  EXPECT_GE(a.agreed * 100, a.tried * 85) << a.agreed << " of " << a.tried << " agree; not:" << a.disagreements;
  std::printf("folio fonts agrees with pdffonts on %d of %d files\n", a.agreed, a.tried);
}

TEST(FolioFonts, CompositeFontsAgreeWithPdffonts) {
  if (vn::test::CorpusDir().empty()) GTEST_SKIP() << "no corpus";
  if (std::system("command -v pdffonts >/dev/null 2>&1") != 0) GTEST_SKIP() << "pdffonts absent";
  // Every third unencrypted file with CID fonts: names, CIDFontType0/2,
  // embedded and subset flags. pdffonts lets names longer than its column
  // push the others along, which the reader of its table cannot follow
  // (three files of all 49).
  int index = 0;
  const Agreement a = CompareWithPdffonts([&](const vn::test::CorpusFile& file) {
    return file.features.find("font-cid-") != std::string::npos && index++ % 3 == 0;
  });
  ASSERT_GT(a.tried, 12);
  EXPECT_GE(a.agreed * 100, a.tried * 90) << a.agreed << " of " << a.tried << " agree; not:" << a.disagreements;
  std::printf("folio fonts agrees with pdffonts on %d of %d files with CID fonts\n", a.agreed, a.tried);
}

}  // namespace
}  // namespace folio::test
