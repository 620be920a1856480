#include "pdf/content/content_parser.h"

#include <cstring>

#include "pdf/store/char_classes.h"
#include "pdf/store/operator_tokens.h"
#include "pdf/store/parse_object.h"
#include "runtime/engine_array.h"

namespace vn::pdf::content {

using data_io::BufferedStream;
using store::kCharClasses;
using store::kTokenEnd;
using store::kWhiteSpace;
using store::Parser;

namespace {

enum Op : uint8_t {
  kOpq, kOpQ, kOpcm, kOpw, kOpJ, kOpj, kOpM, kOpd, kOpri, kOpi, kOpgs, kOpm, kOpl, kOpc, kOpv, kOpy, kOph, kOpre,
  kOpDo, kOpBI, kOpsh, kOpW, kOpWstar, kOpS, kOps, kOpf, kOpfstar, kOpB, kOpBstar, kOpb, kOpbstar, kOpn,
  kOpCS, kOpcs, kOpG, kOpg, kOpRG, kOprg, kOpK, kOpk, kOpSC, kOpSCN, kOpsc, kOpscn, kOpBT, kOpET, kOpTc,
  kOpTw, kOpTz, kOpTL, kOpTf, kOpTr, kOpTs, kOpTd, kOpTD, kOpTm, kOpTstar, kOpTj, kOpTJ, kOpQuote,
  kOpDoubleQuote, kOpBMC, kOpBDC, kOpMP, kOpDP, kOpEMC, kOpBX, kOpEX, kOpID, kOpd0, kOpd1, kOpTrue,
  kOpFalse, kOpNull, kOpObj, kOpEndobj, kOpTrailer, kOpR,
};

struct Keyword {
  const char* name;
  Op op;
};

// Sorted by byte value for the binary search.
constexpr Keyword kKeywords[] = {
    {"\"", kOpDoubleQuote}, {"'", kOpQuote}, {"B", kOpB}, {"B*", kOpBstar}, {"BDC", kOpBDC}, {"BI", kOpBI},
    {"BMC", kOpBMC}, {"BT", kOpBT}, {"BX", kOpBX}, {"CS", kOpCS}, {"DP", kOpDP}, {"Do", kOpDo},
    {"EMC", kOpEMC}, {"ET", kOpET}, {"EX", kOpEX}, {"F", kOpf}, {"G", kOpG}, {"ID", kOpID}, {"J", kOpJ},
    {"K", kOpK}, {"M", kOpM}, {"MP", kOpMP}, {"Q", kOpQ}, {"R", kOpR}, {"RG", kOpRG}, {"S", kOpS},
    {"SC", kOpSC}, {"SCN", kOpSCN}, {"T*", kOpTstar}, {"TD", kOpTD}, {"TJ", kOpTJ}, {"TL", kOpTL},
    {"Tc", kOpTc}, {"Td", kOpTd}, {"Tf", kOpTf}, {"Tj", kOpTj}, {"Tm", kOpTm}, {"Tr", kOpTr}, {"Ts", kOpTs},
    {"Tw", kOpTw}, {"Tz", kOpTz}, {"W", kOpW}, {"W*", kOpWstar}, {"b", kOpb}, {"b*", kOpbstar}, {"c", kOpc},
    {"cm", kOpcm}, {"cs", kOpcs}, {"d", kOpd}, {"d0", kOpd0}, {"d1", kOpd1}, {"endobj", kOpEndobj},
    {"f", kOpf}, {"f*", kOpfstar}, {"false", kOpFalse}, {"g", kOpg}, {"gs", kOpgs}, {"h", kOph},
    {"i", kOpi}, {"j", kOpj}, {"k", kOpk}, {"l", kOpl}, {"m", kOpm}, {"n", kOpn}, {"null", kOpNull},
    {"obj", kOpObj}, {"q", kOpq}, {"re", kOpre}, {"rg", kOprg}, {"ri", kOpri}, {"s", kOps}, {"sc", kOpsc},
    {"scn", kOpscn}, {"sh", kOpsh}, {"trailer", kOpTrailer}, {"true", kOpTrue}, {"v", kOpv}, {"w", kOpw},
    {"y", kOpy},
};
constexpr uint32_t kKeywordCount = sizeof kKeywords / sizeof kKeywords[0];
constexpr uint32_t kLongestKeyword = 7;

constexpr bool KeywordsSorted() {
  for (uint32_t i = 1; i < kKeywordCount; ++i) {
    const char* a = kKeywords[i - 1].name;
    const char* b = kKeywords[i].name;
    while (*a != 0 && *a == *b) ++a, ++b;
    if (static_cast<unsigned char>(*a) >= static_cast<unsigned char>(*b)) return false;
  }
  return true;
}
static_assert(KeywordsSorted(), "keywords must stay sorted");

int LookUp(const uint8_t* bytes, uint32_t length) {
  uint32_t low = 0;
  uint32_t high = kKeywordCount;
  while (low < high) {
    uint32_t mid = (low + high) / 2;
    const auto* name = reinterpret_cast<const uint8_t*>(kKeywords[mid].name);
    uint32_t n = static_cast<uint32_t>(std::strlen(kKeywords[mid].name));
    int cmp = std::memcmp(name, bytes, n < length ? n : length);
    if (cmp == 0) cmp = n < length ? -1 : (n > length ? 1 : 0);
    if (cmp == 0) return kKeywords[mid].op;
    if (cmp < 0) low = mid + 1;
    else high = mid;
  }
  return -1;
}


}  // namespace

ContentParser::ContentParser(AppContext& context, BufferedStream& source, Arena& arena, ContentParserClient& client)
    : Parser(context, source, store::NewContainer(arena, 0), arena, nullptr, true, 0), client_(client) {
  operandMark_ = arena.GetMark();
}

bool ContentParser::Run() {
  stopped_ = false;
  operandsOffset_ = source.Position();
  EngineArray<uint8_t> names(context);
  scratch = &names;
  store::RunTokenLoop(source, store::OperatorTokenTable(), kTokenEnd, *this, false);
  scratch = nullptr;
  return stopped_;
}

void ContentParser::ClearOperands() { ClearStack(operandMark_); }

bool ContentParser::UnexpectedToken(bool atEnd) {
  if (atEnd || compatibilityDepth_ == 0) RaiseBadData(context);
  store::ReadKeyword(source, nullptr, 0);
  ClearOperands();
  return true;
}

bool ContentParser::Keyword() {
  operatorOffset_ = source.Position();
  uint8_t bytes[kLongestKeyword];
  const uint32_t length = store::ReadKeyword(source, bytes, kLongestKeyword);
  int op = length > kLongestKeyword ? -1 : LookUp(bytes, length);
  if (op < 0) {
    if (compatibilityDepth_ == 0) RaiseBadData(context);
    ClearOperands();
    operandsOffset_ = source.Position();
    return true;
  }
  dispatching_ = true;
  bool more = Dispatch(op);
  dispatching_ = false;
  ++dispatchCount_;
  // true, false, null and the object-syntax keywords are not operators: the
  // operands before them stay.
  if (op < kOpTrue) {
    ClearOperands();
    operandsOffset_ = source.Position();
  }
  if (!more) stopped_ = true;
  return more;
}

const Value& ContentParser::Operand(uint32_t fromTop, int32_t type) {
  if (fromTop >= stack->count) RaiseBadData(context);
  const Value& v = stack->At(stack->count - 1 - fromTop);
  if (type >= 0 && v.type != type) RaiseBadData(context);
  return v;
}

// Integers in -32767..32767 convert exactly; anything larger saturates.
Fixed16_16 ContentParser::Number(uint32_t fromTop) {
  const Value& v = Operand(fromTop, -1);
  switch (v.type) {
    case store::kInteger:
      if (v.i > 32767) return kFixedMax;
      if (v.i < -32767) return kFixedMin;
      return static_cast<Fixed16_16>(static_cast<uint32_t>(v.i) << 16);
    case store::kReal:
      return v.i == INT32_MIN ? kFixedMin : v.i;
    case store::kIntegerOutOfRange:
      return *v.outOfRange > 0 ? kFixedMax : kFixedMin;
    default:
      RaiseBadData(context);
  }
}

int32_t ContentParser::Integer(uint32_t fromTop) { return Operand(fromTop, store::kInteger).i; }

FixedMatrix ContentParser::Matrix() {
  return FixedMatrix{Number(5), Number(4), Number(3), Number(2), Number(1), Number(0)};
}

bool ContentParser::InlineImage() {
  Value dictionary = store::ParseInlineImageDictionary(source, arena);
  // Exactly one white-space byte separates ID from the data.
  if ((kCharClasses[source.NextByte()] & kWhiteSpace) == 0) RaiseBadData(context);
  bool more = client_.InlineImage(dictionary, source);
  source.SkipWhile(kCharClasses, kWhiteSpace);
  store::ExpectKeyword(source, "EI");
  int next = source.PeekByte();
  if (next >= 0 && (kCharClasses[next] & kTokenEnd) == 0) RaiseBadData(context);
  return more;
}

bool ContentParser::Dispatch(int op) {
  ContentParserClient& c = client_;
  switch (op) {
    case kOpq: return c.Save();
    case kOpQ: return c.Restore();
    case kOpcm: return c.Concat(Matrix());
    case kOpw:
    case kOpi: {
      Fixed16_16 v = Number(0);
      if (v < 0) RaiseBadData(context);
      return op == kOpw ? c.LineWidth(v) : c.Flatness(v);
    }
    case kOpJ:
    case kOpj: {
      int32_t v = Integer(0);
      if (v < 0 || v > 2) RaiseBadData(context);
      return op == kOpJ ? c.LineCap(v) : c.LineJoin(v);
    }
    case kOpM: return c.MiterLimit(Number(0));
    case kOpd: {
      Fixed16_16 phase = Number(0);
      return c.Dash(Operand(1, store::kArray), phase);
    }
    case kOpri: return c.Intent(Operand(0, store::kName));
    case kOpgs: return c.ExtGState(Operand(0, store::kName));
    case kOpm: return c.MoveTo(Number(1), Number(0));
    case kOpl: return c.LineTo(Number(1), Number(0));
    case kOpc: return c.CurveTo(Number(5), Number(4), Number(3), Number(2), Number(1), Number(0));
    case kOpv: return c.CurveToV(Number(3), Number(2), Number(1), Number(0));
    case kOpy: return c.CurveToY(Number(3), Number(2), Number(1), Number(0));
    case kOph: return c.ClosePath();
    case kOpre: return c.Rectangle(Number(3), Number(2), Number(1), Number(0));
    case kOpDo: return c.XObject(Operand(0, store::kName));
    case kOpBI: return InlineImage();
    case kOpsh: return c.Shading(Operand(0, store::kName));
    case kOpW: return c.Clip(kNonZeroClip);
    case kOpWstar: return c.Clip(kEvenOddClip);
    case kOpS: return c.PaintPath(true, kNoFill);
    case kOps: c.ClosePath(); return c.PaintPath(true, kNoFill);
    case kOpf: return c.PaintPath(false, kNonZeroFill);
    case kOpfstar: return c.PaintPath(false, kEvenOddFill);
    case kOpB: return c.PaintPath(true, kNonZeroFill);
    case kOpBstar: return c.PaintPath(true, kEvenOddFill);
    case kOpb: c.ClosePath(); return c.PaintPath(true, kNonZeroFill);
    case kOpbstar: c.ClosePath(); return c.PaintPath(true, kEvenOddFill);
    case kOpn: return c.PaintPath(false, kNoFill);
    case kOpCS: return c.SetColorSpace(true, Operand(0, store::kName));
    case kOpcs: return c.SetColorSpace(false, Operand(0, store::kName));
    case kOpG: case kOpg: case kOpRG: case kOprg: case kOpK: case kOpk: {
      ColorFamily family = op == kOpG || op == kOpg ? kGrayFamily : op == kOpRG || op == kOprg ? kRgbFamily : kCmykFamily;
      uint32_t need = family == kGrayFamily ? 1 : family == kRgbFamily ? 3 : 4;
      for (uint32_t k = 0; k < need; ++k) Number(k);  // present and numeric
      return c.SetDeviceColor(OperandList(stack), family, op == kOpG || op == kOpRG || op == kOpK);
    }
    case kOpSC: return c.SetColor(OperandList(stack), true, false);
    case kOpSCN: return c.SetColor(OperandList(stack), true, true);
    case kOpsc: return c.SetColor(OperandList(stack), false, false);
    case kOpscn: return c.SetColor(OperandList(stack), false, true);
    case kOpBT: return c.BeginText();
    case kOpET: return c.EndText();
    case kOpTc: return c.CharSpacing(Number(0));
    case kOpTw: return c.WordSpacing(Number(0));
    case kOpTz: {
      Fixed16_16 v = Number(0);
      // 100 is exactly 1.0; anything else is v / 100 as (v / 32) * 0.32.
      return c.HorizontalScaling(v == IntToFixed(100) ? kFixedOne : FixedMul(v >> 5, 20971));
    }
    case kOpTL: return c.Leading(Number(0));
    case kOpTf: {
      Fixed16_16 size = Number(0);
      return c.Font(size, Operand(1, store::kName));
    }
    case kOpTr: return c.RenderMode(Integer(0));
    case kOpTs: return c.Rise(Number(0));
    case kOpTd: return c.MoveText(Number(1), Number(0));
    case kOpTD: return c.MoveTextSetLeading(Number(1), Number(0));
    case kOpTm: return c.TextMatrix(Matrix());
    case kOpTstar: return c.NextLine();
    case kOpTj: return c.ShowText(Operand(0, store::kString));
    case kOpTJ: return c.ShowTextArray(Operand(0, store::kArray));
    case kOpQuote: return c.NextLineShowText(Operand(0, store::kString));
    case kOpDoubleQuote: {
      const Value& string = Operand(0, store::kString);
      Fixed16_16 ac = Number(1);
      Fixed16_16 aw = Number(2);
      return c.NextLineShowTextSpaced(string, ac, aw);
    }
    case kOpBMC: return c.BeginMarkedContent();
    case kOpBDC: {
      // Of marked content only optional-content layers change the drawing;
      // other tags and property lists are not read.
      if (stack->count >= 2 && Operand(1, -1).NameIs("OC") && Operand(0, -1).type == store::kName) {
        return c.BeginOptionalContent(Operand(0, -1));
      }
      return c.BeginMarkedContent();
    }
    case kOpMP: case kOpDP: {
      bool more = c.BeginMarkedContent();
      return c.EndMarkedContent() && more;
    }
    case kOpEMC: return c.EndMarkedContent();
    case kOpBX: ++compatibilityDepth_; return true;
    case kOpEX: if (compatibilityDepth_ > 0) --compatibilityDepth_; return true;
    case kOpID: RaiseBadData(context);
    case kOpd0: case kOpd1: case kOpEndobj: return true;
    case kOpTrue: case kOpFalse: case kOpNull: {
      Value v = op == kOpNull ? Value() : store::MakeBoolean(op == kOpTrue);
      stack->Push(arena, v);
      return true;
    }
    case kOpObj:
      DropObjectHeader();
      return true;
    case kOpTrailer:
    case kOpR:
      if (source.PeekByte() >= 0) source.Advance();  // the byte after it goes too
      return true;
    default: return true;
  }
}

}  // namespace vn::pdf::content
