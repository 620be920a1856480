#include "fonts/parsers/cff.h"

#include <cstring>

#include "fonts/font_tables.h"
#include "fonts/parsers/type2_charstring.h"

namespace vn::fonts::parsers {

namespace {

// Top and Font DICT operators used here.
enum : uint32_t {
  kFontBBox = 5,
  kCharset = 15,
  kEncoding = 16,
  kCharStrings = 17,
  kPrivate = 18,
  kSubrs = 19,
  kDefaultWidthX = 20,
  kNominalWidthX = 21,
  kIsFixedPitch = kCffEscape + 1,
  kItalicAngle = kCffEscape + 2,
  kCharstringType = kCffEscape + 6,
  kFontMatrix = kCffEscape + 7,
  kRos = kCffEscape + 30,
  kFdArray = kCffEscape + 36,
  kFdSelect = kCffEscape + 37,
};

// FontMatrix entries are read over 2^40, exact enough for 1/1000 and 1/2048.
constexpr uint32_t kMatrixShift = 40;

ScaledMatrix MatrixFromOperands(const CffOperand* o) {
  auto entry = [&](int i) { return DecimalToScaled(o[i].mantissa, o[i].exponent, kMatrixShift); };
  return NormalizeScaled(entry(0), entry(1), entry(2), entry(3), kMatrixShift, o[4].fixed, o[5].fixed);
}

ScaledMatrix DefaultFontMatrix() { return UnitsPerEmMatrix(1000); }

}  // namespace

CFF::CFF(AppContext& context, Owned<data_io::DataStore>& store, uint32_t offset, uint32_t length)
    : Font(context), data_(context, store), charset_(context), privates_(context), cidToGlyph_(context),
      names_(context), encoding_(context), stringArena_(context, 1024, 512) {
  if (length == 0) {
    if (offset > data_.Length()) RaiseBadData(context);
    length = data_.Length() - offset;
  }
  if (!data_.Contains(offset, length) || length < 4) RaiseBadData(context);
  base_ = offset;
  end_ = offset + length;
  uint8_t major = data_.U8(base_);
  uint8_t headerSize = data_.U8(base_ + 2);
  if (major != 1 || headerSize < 4) RaiseBadData(context);

  CffIndex names;
  names.Read(data_, At(headerSize));
  CffIndex topDicts;
  topDicts.Read(data_, names.End());
  strings_.Read(data_, topDicts.End());
  globalSubrs_.Read(data_, strings_.End());
  if (topDicts.Count() == 0) RaiseBadData(context);
  uint32_t start, size;
  topDicts.Entry(data_, 0, start, size);
  ReadTopDict(start, size);
}

uint32_t CFF::At(uint32_t relative) const {
  if (relative >= end_ - base_) RaiseBadData(context_);
  return base_ + relative;
}

void CFF::ReadTopDict(uint32_t start, uint32_t length) {
  uint32_t charsetOffset = 0, charStringsOffset = 0, fdArrayOffset = 0;
  uint32_t privateSize = 0, privateOffset = 0;
  bool hasMatrix = false;
  fontMatrix_ = DefaultFontMatrix();
  ReadCffDict(data_, start, length, [&](uint32_t op, const CffOperand* o, uint32_t n) {
    auto positive = [&](uint32_t i) { return o[i].integer < 0 ? 0u : static_cast<uint32_t>(o[i].integer); };
    switch (op) {
      case kFontBBox:
        if (n >= 4) info_.boundingBox = FixedRect{o[0].fixed, o[1].fixed, o[2].fixed, o[3].fixed};
        break;
      case kCharset:
        if (n >= 1) charsetOffset = positive(0);
        break;
      case kEncoding:
        if (n >= 1) encodingOffset_ = positive(0);
        break;
      case kCharStrings:
        if (n >= 1) charStringsOffset = positive(0);
        break;
      case kPrivate:
        if (n >= 2) {
          privateSize = positive(0);
          privateOffset = positive(1);
        }
        break;
      case kIsFixedPitch:
        if (n >= 1) info_.fixedPitch = o[0].integer != 0;
        break;
      case kItalicAngle:
        if (n >= 1) info_.italicAngle = o[0].fixed;
        break;
      case kCharstringType:
        if (n >= 1 && o[0].integer != 2) RaiseBadData(context_);
        break;
      case kFontMatrix:
        if (n >= 6) {
          fontMatrix_ = MatrixFromOperands(o);
          hasMatrix = true;
        }
        break;
      case kRos:
        cid_ = true;
        break;
      case kFdArray:
        if (n >= 1) fdArrayOffset = positive(0);
        break;
      case kFdSelect:
        if (n >= 1) fdSelectOffset_ = positive(0);
        break;
      default:
        break;
    }
  });
  if (charStringsOffset == 0) RaiseBadData(context_);
  charStrings_.Read(data_, At(charStringsOffset));
  if (charStrings_.Count() == 0 || charStrings_.End() > end_) RaiseBadData(context_);

  if (cid_) {
    if (fdArrayOffset == 0 || fdSelectOffset_ == 0) RaiseBadData(context_);
    // A CID font's glyphs use their Font DICT's matrix, after the top one
    // when the font gives both.
    ScaledMatrix top = hasMatrix ? fontMatrix_ : UnitsPerEmMatrix(1);
    ReadFdArray(fdArrayOffset);
    for (PrivateValues& p : privates_) {
      p.matrix = Concat(p.matrix, top);
    }
    At(fdSelectOffset_);
    uint8_t format = data_.U8(At(fdSelectOffset_));
    if (format != 0 && format != 3) RaiseBadData(context_);
    fontMatrix_ = privates_[0].matrix;
  } else {
    privates_.Push(ReadPrivate(privateSize, privateOffset, fontMatrix_));
  }
  ReadCharset(charsetOffset);

  // Units per em from the matrix's vertical scale.
  int64_t scale = fontMatrix_.d < 0 ? -static_cast<int64_t>(fontMatrix_.d) : fontMatrix_.d;
  if (scale != 0 && fontMatrix_.shift < 62) {
    int64_t units = ((int64_t{1} << fontMatrix_.shift) + scale / 2) / scale;
    info_.unitsPerEm = units > 0 && units < 0x7FFFFFFF ? static_cast<int32_t>(units) : 1000;
  }
  info_.ascent = FixedTrunc(info_.boundingBox.y1);
  info_.descent = FixedTrunc(info_.boundingBox.y0);
}

CFF::PrivateValues CFF::ReadPrivate(uint32_t size, uint32_t offset, const ScaledMatrix& matrix) {
  PrivateValues values{CffIndex(), 0, 0, matrix};
  if (size == 0) return values;
  uint32_t start = At(offset);
  if (!data_.Contains(start, size) || start + size > end_) RaiseBadData(context_);
  uint32_t subrsOffset = 0;
  ReadCffDict(data_, start, size, [&](uint32_t op, const CffOperand* o, uint32_t n) {
    if (n == 0) return;
    if (op == kSubrs) subrsOffset = o[0].integer > 0 ? static_cast<uint32_t>(o[0].integer) : 0;
    if (op == kDefaultWidthX) values.defaultWidth = o[0].fixed;
    if (op == kNominalWidthX) values.nominalWidth = o[0].fixed;
  });
  if (subrsOffset != 0) {
    // Local subroutines count from the Private DICT.
    if (subrsOffset >= end_ - start) RaiseBadData(context_);
    values.subrs.Read(data_, start + subrsOffset);
  }
  return values;
}

void CFF::ReadFdArray(uint32_t fdArrayOffset) {
  CffIndex fonts;
  fonts.Read(data_, At(fdArrayOffset));
  if (fonts.Count() == 0 || fonts.Count() > 256) RaiseBadData(context_);
  for (uint32_t i = 0; i < fonts.Count(); ++i) {
    uint32_t start, length;
    fonts.Entry(data_, i, start, length);
    uint32_t privateSize = 0, privateOffset = 0;
    ScaledMatrix matrix = DefaultFontMatrix();
    ReadCffDict(data_, start, length, [&](uint32_t op, const CffOperand* o, uint32_t n) {
      if (op == kPrivate && n >= 2) {
        privateSize = o[0].integer < 0 ? 0 : static_cast<uint32_t>(o[0].integer);
        privateOffset = o[1].integer < 0 ? 0 : static_cast<uint32_t>(o[1].integer);
      } else if (op == kFontMatrix && n >= 6) {
        matrix = MatrixFromOperands(o);
      }
    });
    privates_.Push(ReadPrivate(privateSize, privateOffset, matrix));
  }
}

void CFF::ReadCharset(uint32_t charsetOffset) {
  const uint32_t count = charStrings_.Count();
  charset_.Resize(count);
  if (!cid_ && charsetOffset <= 2) {
    for (uint32_t g = 0; g < count; ++g) {
      if (charsetOffset == 0) {
        charset_[g] = static_cast<uint16_t>(g < 229 ? g : 0);
      } else if (charsetOffset == 1) {
        charset_[g] = g < kCffExpertCharsetCount ? kCffExpertCharset[g] : 0;
      } else {
        charset_[g] = g < kCffExpertSubsetCharsetCount ? kCffExpertSubsetCharset[g] : 0;
      }
    }
    return;
  }
  if (charsetOffset == 0) {
    // A CID font without a charset: CID = glyph id.
    for (uint32_t g = 0; g < count; ++g) charset_[g] = static_cast<uint16_t>(g);
    return;
  }
  uint32_t p = At(charsetOffset);
  uint8_t format = data_.U8(p++);
  uint32_t g = 1;  // glyph 0 is always ".notdef" (CID 0) and not listed
  if (format == 0) {
    for (; g < count; ++g, p += 2) charset_[g] = data_.U16(p);
  } else if (format == 1 || format == 2) {
    while (g < count) {
      uint32_t first = data_.U16(p);
      uint32_t left = format == 1 ? data_.U8(p + 2) : data_.U16(p + 2);
      p += format == 1 ? 3 : 4;
      for (uint32_t i = 0; i <= left && g < count; ++i, ++g) charset_[g] = static_cast<uint16_t>(first + i);
    }
  } else {
    RaiseBadData(context_);
  }
}

const CFF::PrivateValues& CFF::PrivateOf(uint32_t glyph) {
  if (!cid_) return privates_[0];
  uint32_t p = At(fdSelectOffset_);
  uint32_t fd = 0;
  if (data_.U8(p) == 0) {
    fd = data_.U8(p + 1 + glyph);
  } else {
    // Format 3: ranges of glyphs sharing a Font DICT, then a sentinel.
    uint32_t ranges = data_.U16(p + 1);
    uint32_t low = 0, high = ranges;
    while (low < high) {
      uint32_t mid = (low + high) / 2;
      uint32_t r = p + 3 + mid * 3;
      if (data_.U16(r) > glyph) {
        high = mid;
      } else if (data_.U16(r + 3) <= glyph) {
        low = mid + 1;
      } else {
        fd = data_.U8(r + 2);
        break;
      }
    }
  }
  if (fd >= privates_.Size()) RaiseBadData(context_);
  return privates_[fd];
}

Fixed16_16 CFF::RunGlyph(uint32_t glyph, OutlineWriter* writer, bool allowAccent) {
  uint32_t start, length;
  charStrings_.Entry(data_, glyph, start, length);
  const PrivateValues& values = PrivateOf(glyph);
  Type2Subrs subrs{&globalSubrs_, &values.subrs, values.defaultWidth, values.nominalWidth};
  Type2Result result = RunType2Charstring(data_, start, length, subrs, writer);
  if (result.seac && allowAccent && writer != nullptr) {
    int32_t base = GlyphOfStandardCode(result.baseCode);
    int32_t accent = GlyphOfStandardCode(result.accentCode);
    if (base < 0 || accent < 0) RaiseBadData(context_);
    RunGlyph(static_cast<uint32_t>(base), writer, false);
    const ScaledMatrix saved = writer->ShiftOrigin(result.accentX, result.accentY);
    RunGlyph(static_cast<uint32_t>(accent), writer, false);
    writer->SetTransform(saved);
  }
  return result.width;
}

void CFF::AppendOutline(uint32_t glyph, const FixedMatrix& m, OutlineSink& sink) {
  if (glyph >= GlyphCount()) return;
  OutlineWriter writer(context_, Concat(PrivateOf(glyph).matrix, m), sink);
  RunGlyph(glyph, &writer, true);
  writer.Close();
}

Fixed16_16 CFF::GlyphAdvance(uint32_t glyph) {
  if (glyph >= GlyphCount()) return 0;
  return RunGlyph(glyph, nullptr, false);
}

int32_t CFF::GlyphOfStandardCode(uint8_t code) {
  uint16_t sid = kStandardEncodingSids[code];
  if (sid == 0 || cid_) return -1;
  for (uint32_t g = 0; g < charset_.Size(); ++g) {
    if (charset_[g] == sid) return static_cast<int32_t>(g);
  }
  // A font may spell a standard name as a string of its own.
  const char* name = kCffStandardStrings[sid];
  return FindGlyph(name, static_cast<uint32_t>(std::strlen(name)));
}

const char* CFF::StringOf(uint32_t sid) {
  if (sid < kCffStandardStringCount) return kCffStandardStrings[sid];
  sid -= kCffStandardStringCount;
  if (sid >= strings_.Count()) return "";
  uint32_t start, length;
  strings_.Entry(data_, sid, start, length);
  char* copy = static_cast<char*>(stringArena_.Allocate(length + 1));
  data_.Read(start, length, reinterpret_cast<uint8_t*>(copy));
  copy[length] = '\0';
  return copy;
}

const char* const* CFF::GlyphNames() {
  if (cid_) return nullptr;
  if (names_.Empty()) {
    names_.Reserve(charset_.Size());
    for (uint32_t g = 0; g < charset_.Size(); ++g) names_.Push(StringOf(charset_[g]));
  }
  return names_.Data();
}

const char* const* CFF::BuiltInEncoding() {
  if (cid_) return nullptr;
  if (!encoding_.Empty()) return encoding_.Data();
  encoding_.Resize(256);
  if (encodingOffset_ <= 1) {
    const uint16_t* sids = encodingOffset_ == 0 ? kStandardEncodingSids : kExpertEncodingSids;
    for (uint32_t c = 0; c < 256; ++c) encoding_[c] = kCffStandardStrings[sids[c]];
    return encoding_.Data();
  }
  const char* const* names = GlyphNames();
  for (uint32_t c = 0; c < 256; ++c) encoding_[c] = kCffStandardStrings[0];
  uint32_t p = At(encodingOffset_);
  uint8_t format = data_.U8(p++);
  uint32_t count = charset_.Size();
  if ((format & 0x7F) == 0) {
    uint32_t codes = data_.U8(p++);
    for (uint32_t i = 0; i < codes; ++i, ++p) {
      if (i + 1 < count) encoding_[data_.U8(p)] = names[i + 1];
    }
  } else if ((format & 0x7F) == 1) {
    uint32_t ranges = data_.U8(p++);
    uint32_t g = 1;
    for (uint32_t r = 0; r < ranges; ++r, p += 2) {
      uint32_t first = data_.U8(p);
      uint32_t left = data_.U8(p + 1);
      for (uint32_t i = 0; i <= left; ++i, ++g) {
        if (first + i < 256 && g < count) encoding_[first + i] = names[g];
      }
    }
  } else {
    RaiseBadData(context_);
  }
  if (format & 0x80) {
    // Supplements: further codes for glyphs by string id.
    uint32_t supplements = data_.U8(p++);
    for (uint32_t i = 0; i < supplements; ++i, p += 3) {
      encoding_[data_.U8(p)] = StringOf(data_.U16(p + 1));
    }
  }
  return encoding_.Data();
}

uint32_t CFF::GlyphForCid(uint32_t cid) {
  if (!cid_) return cid;
  if (cidToGlyph_.Empty()) {
    uint32_t highest = 0;
    for (uint16_t c : charset_) highest = c > highest ? c : highest;
    cidToGlyph_.Resize(highest + 1);
    // The first glyph with a CID wins.
    for (uint32_t g = charset_.Size(); g-- > 0;) cidToGlyph_[charset_[g]] = static_cast<uint16_t>(g);
    cidToGlyph_[0] = 0;
  }
  return cid < cidToGlyph_.Size() ? cidToGlyph_[cid] : 0;
}

uint32_t CFF::Footprint() const {
  return sizeof(*this) + data_.MemorySize() + charset_.MemorySize() + privates_.MemorySize() +
         cidToGlyph_.MemorySize() + names_.MemorySize() + encoding_.MemorySize() + stringArena_.BytesReserved() +
         NameIndexSize();
}

}  // namespace vn::fonts::parsers
