#include "pdf/cmap/cmap_parser.h"

#include <cstring>

#include "pdf/cmap/cmap_decompressed_stream.h"
#include "pdf/store/char_classes.h"
#include "pdf/store/operator_tokens.h"
#include "runtime/engine_new.h"
#include "runtime/yield_points.h"

namespace vn::pdf::cmap {

using data_io::BufferedStream;
using store::kTokenEnd;
using store::Value;

namespace {

// Values outside any section are dropped past this many: nothing in a CMap
// needs more, and a long run of them must not grow without bound.
constexpr uint32_t kMaxLooseOperands = 64;
constexpr uint32_t kLongestKeyword = 20;

// The keywords acted on; every keyword, these and the section ends among
// the others, ends the section before it.
enum KeywordId : uint8_t {
  kBeginCodeSpace, kBeginCidRange, kBeginCidChar, kBeginNotdefRange, kBeginBfRange, kBeginBfChar, kUseCMap, kDef,
  kOther,
};

struct KeywordName {
  const char* name;
  KeywordId id;
};

constexpr KeywordName kKeywordNames[] = {
    {"begincodespacerange", kBeginCodeSpace}, {"begincidrange", kBeginCidRange}, {"begincidchar", kBeginCidChar},
    {"beginnotdefrange", kBeginNotdefRange},  {"beginbfrange", kBeginBfRange},   {"beginbfchar", kBeginBfChar},
    {"usecmap", kUseCMap},                    {"def", kDef},
};

KeywordId LookUpKeyword(const uint8_t* bytes, uint32_t length) {
  for (const KeywordName& k : kKeywordNames) {
    if (std::strlen(k.name) == length && std::memcmp(k.name, bytes, length) == 0) return k.id;
  }
  return kOther;
}

// A code: a string of 1 to 4 bytes, as a big-endian number.
bool CodeOf(const Value& v, uint32_t* code, uint32_t* length) {
  if (!v.IsString() || v.Length() == 0 || v.Length() > kMaxCodeLength) return false;
  uint32_t c = 0;
  for (uint32_t i = 0; i < v.Length(); ++i) c = (c << 8) | v.Bytes()[i];
  *code = c;
  *length = v.Length();
  return true;
}

// A CID or notdef destination: a non-negative integer.
bool CidOf(const Value& v, uint32_t* cid) {
  if (!v.IsInteger() || v.i < 0) return false;
  *cid = static_cast<uint32_t>(v.i);
  return true;
}

// A Unicode destination: UTF-16 big-endian (an odd first byte stands alone,
// so <20> is U+0020).
uint32_t UnitsOf(const Value& v, uint16_t* units) {
  if (!v.IsString() || v.Length() == 0 || v.Length() > 2 * kMaxStringUnits) return 0;
  const uint8_t* b = v.Bytes();
  uint32_t n = v.Length();
  uint32_t count = 0;
  if (n % 2 != 0) {
    units[count++] = *b++;
    --n;
  }
  for (uint32_t i = 0; i < n; i += 2) units[count++] = static_cast<uint16_t>((b[i] << 8) | b[i + 1]);
  return count;
}

}  // namespace

CMapParser::CMapParser(AppContext& context, BufferedStream& source, Arena& arena, CMapCharCodeMap& map,
                       uint32_t useDepth)
    : Parser(context, source, store::NewContainer(arena, 0), arena, nullptr, true, 0), map_(map),
      useDepth_(useDepth) {
  operandMark_ = arena.GetMark();
}

void CMapParser::Run() {
  EngineArray<uint8_t> bytes(context);
  scratch = &bytes;
  store::RunTokenLoop(source, store::OperatorTokenTable(), kTokenEnd, *this, false);
  scratch = nullptr;
}

bool CMapParser::Keyword() {
  uint8_t bytes[kLongestKeyword];
  const uint32_t length = store::ReadKeyword(source, bytes, kLongestKeyword);
  section_ = Section::kNone;
  switch (length > kLongestKeyword ? kOther : LookUpKeyword(bytes, length)) {
    case kBeginCodeSpace: section_ = Section::kCodeSpace; break;
    case kBeginCidRange: section_ = Section::kCidRange; break;
    case kBeginCidChar: section_ = Section::kCidChar; break;
    case kBeginNotdefRange: section_ = Section::kNotdefRange; break;
    case kBeginBfRange: section_ = Section::kBfRange; break;
    case kBeginBfChar: section_ = Section::kBfChar; break;
    case kUseCMap: UseCMap(); break;
    case kDef: Define(); break;
    default: break;
  }
  ClearOperands();
  return true;
}

void CMapParser::AfterValue() {
  switch (section_) {
    case Section::kNone:
      if (stack->Size() > kMaxLooseOperands) ClearOperands();
      return;
    case Section::kCodeSpace:
    case Section::kCidChar:
    case Section::kBfChar:
      if (stack->Size() < 2) return;
      break;
    default:
      if (stack->Size() < 3) return;
  }
  Entry();
  ClearOperands();
}

void CMapParser::Entry() {
  const Value& first = stack->At(0);
  const Value& second = stack->At(1);
  uint32_t low = 0;
  uint32_t length = 0;
  if (!CodeOf(first, &low, &length)) return;
  uint32_t high = low;
  if (section_ != Section::kCidChar && section_ != Section::kBfChar) {  // a low and a high code
    uint32_t highLength = 0;
    if (!CodeOf(second, &high, &highLength) || highLength != length) return;
  }
  const Value& destination = stack->At(stack->Size() - 1);
  uint32_t cid = 0;
  uint16_t units[kMaxStringUnits];
  switch (section_) {
    case Section::kCodeSpace:
      map_.AddCodeSpaceRange(low, high, length);
      break;
    case Section::kCidRange:
    case Section::kCidChar:
      if (CidOf(destination, &cid)) map_.MapValueRange(low, high, length, cid);
      break;
    case Section::kNotdefRange:
      if (CidOf(destination, &cid)) map_.MapNotdefRange(low, high, length, cid);
      break;
    case Section::kBfRange:
      if (destination.IsArray()) {
        // One string per code, as far as both go.
        store::CellCursor cell(destination.container);
        for (uint32_t code = low; !cell.Done(); cell.Next(), ++code) {
          if (const uint32_t count = UnitsOf(cell.Get(), units)) map_.MapUnitRange(code, code, length, units, count);
          if (code == high) break;
        }
        break;
      }
      [[fallthrough]];
    case Section::kBfChar:
      if (const uint32_t count = UnitsOf(destination, units)) map_.MapUnitRange(low, high, length, units, count);
      break;
    case Section::kNone:
      break;
  }
}

void CMapParser::UseCMap() {
  if (stack->Size() == 0) return;
  const Value& name = stack->At(stack->Size() - 1);
  PredefinedCMap base;
  if (!name.IsName() || !FindPredefinedCMap(name.Bytes(), name.Length(), kUnknownCollection, &base)) return;
  if (useDepth_ + 1 > kMaxUseCMapDepth) RaiseCode(context, kLimitExceeded);
  map_.CountBaseCMap();
  ParsePredefinedCMap(context, base, map_, useDepth_ + 1);
}

void CMapParser::Define() {
  // The WMode of a CMap taken in through usecmap is not the map's.
  if (useDepth_ != 0 || stack->Size() < 2) return;
  const Value& key = stack->At(stack->Size() - 2);
  const Value& value = stack->At(stack->Size() - 1);
  if (key.NameIs("WMode") && value.IsInteger()) map_.SetVertical(value.i == 1);
}

void ParseCMap(AppContext& context, data_io::DataBlockStream& stream, CMapCharCodeMap& map, uint32_t useDepth) {
  StackCheck(context);
  Scoped<data_io::BufferedDataBlockStream> source(context, context, &stream);
  Arena arena(context, 1024, 256);
  CMapParser parser(context, *source, arena, map, useDepth);
  parser.Run();
}

void ParsePredefinedCMap(AppContext& context, const PredefinedCMap& cmap, CMapCharCodeMap& map,
                         uint32_t useDepth) {
  Owned<CMapDecompressedDataBlockStream> stream(
      context, New<CMapDecompressedDataBlockStream>(context, context, cmap.blob, cmap.length));
  ParseCMap(context, *stream, map, useDepth);
}

}  // namespace vn::pdf::cmap
