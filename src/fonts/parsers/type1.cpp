#include "fonts/parsers/type1.h"

#include <cstring>

#include "fonts/font_data.h"
#include "fonts/font_tables.h"
#include "fonts/parsers/ps_tokens.h"

namespace vn::fonts::parsers {

namespace {

int HexValue(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The position of `word` as a whole token in [from, length), or length.
uint32_t FindWord(const uint8_t* data, uint32_t length, uint32_t from, const char* word) {
  uint32_t n = static_cast<uint32_t>(std::strlen(word));
  for (uint32_t i = from; i + n <= length; ++i) {
    if (std::memcmp(data + i, word, n) != 0) continue;
    bool before = i == 0 || IsPsWhitespace(data[i - 1]) || word[0] == '/';
    bool after = i + n == length || IsPsWhitespace(data[i + n]) || data[i + n] == '[' || data[i + n] == '{';
    if (before && after) return i;
  }
  return length;
}

// Reads the numbers of an array or procedure that follows the reader's
// position ("[0.001 0 0 0.001 0 0]"); returns how many it read.
uint32_t ReadNumbers(PsTokenizer& tokens, int64_t* mantissas, int32_t* exponents, uint32_t max) {
  PsToken open = tokens.Next();
  if (open.kind != PsToken::kOpen) return 0;
  uint32_t count = 0;
  for (PsToken t = tokens.Next(); t.kind == PsToken::kWord && count < max; t = tokens.Next()) {
    if (!t.Number(mantissas[count], exponents[count])) break;
    ++count;
  }
  return count;
}

}  // namespace

Type1::Type1(AppContext& context, Owned<data_io::DataStore>& store)
    : Font(context), private_(context), subrs_(context), glyphs_(context), names_(context), encoding_(context),
      nameArena_(context, 4096, 2048) {
  EngineArray<uint8_t> file(context);
  {
    Scoped<FontData> data(context, context, store);
    file.Resize(data->Length());
    data->Read(0, data->Length(), file.Data());
  }
  // PFB: segments of text (1) and binary (2) data, each behind a 6-byte
  // header, up to an end marker (3).
  if (file.Size() >= 2 && file[0] == 0x80 && file[1] == 1) {
    uint32_t out = 0;
    for (uint32_t p = 0; p + 6 <= file.Size() && file[p] == 0x80 && file[p + 1] != 3;) {
      uint32_t length = file[p + 2] | (file[p + 3] << 8) | (file[p + 4] << 16) | (static_cast<uint32_t>(file[p + 5]) << 24);
      if (length > file.Size() - p - 6) length = file.Size() - p - 6;
      std::memmove(file.Data() + out, file.Data() + p + 6, length);
      out += length;
      p += 6 + length;
    }
    file.Truncate(out);
  }
  const uint32_t eexec = FindWord(file.Data(), file.Size(), 0, "eexec");
  if (eexec == file.Size()) RaiseBadData(context);
  ReadCleartext(file.Data(), eexec);

  // The encrypted part: hexadecimal when its first four bytes are hex digits.
  uint32_t p = eexec + 5;
  while (p < file.Size() && IsPsWhitespace(file[p])) ++p;
  bool hex = file.Size() - p >= 4;
  for (uint32_t i = 0; hex && i < 4; ++i) hex = HexValue(file[p + i]) >= 0;
  uint32_t cipherLength = 0;
  if (hex) {
    int high = -1;
    for (; p < file.Size(); ++p) {
      int v = HexValue(file[p]);
      if (v < 0) {
        if (IsPsWhitespace(file[p])) continue;
        break;
      }
      if (high < 0) {
        high = v;
      } else {
        file[eexec + cipherLength++] = static_cast<uint8_t>(high * 16 + v);  // in place, behind the reader
        high = -1;
      }
    }
    p = eexec;
  } else {
    cipherLength = file.Size() - p;
  }
  if (cipherLength < 4) RaiseBadData(context);
  private_.Resize(cipherLength);
  Type1Decrypt(file.Data() + p, private_.Data(), cipherLength, 55665);
  file.Reset();
  ReadPrivate();
}

void Type1::ReadCleartext(const uint8_t* text, uint32_t length) {
  fontMatrix_ = UnitsPerEmMatrix(1000);
  int64_t mantissas[6];
  int32_t exponents[6];
  uint32_t at = FindWord(text, length, 0, "/FontMatrix");
  if (at < length) {
    PsTokenizer tokens(text + at + 11, length - at - 11);
    if (ReadNumbers(tokens, mantissas, exponents, 6) == 6) {
      constexpr uint32_t kShift = 40;
      auto entry = [&](int i) { return DecimalToScaled(mantissas[i], exponents[i], kShift); };
      fontMatrix_ = NormalizeScaled(entry(0), entry(1), entry(2), entry(3), kShift,
                                    FixedSaturate(DecimalToScaled(mantissas[4], exponents[4], 16)),
                                    FixedSaturate(DecimalToScaled(mantissas[5], exponents[5], 16)));
    }
  }
  at = FindWord(text, length, 0, "/FontBBox");
  if (at < length) {
    PsTokenizer tokens(text + at + 9, length - at - 9);
    if (ReadNumbers(tokens, mantissas, exponents, 4) == 4) {
      Fixed16_16 v[4];
      for (int i = 0; i < 4; ++i) v[i] = FixedSaturate(DecimalToScaled(mantissas[i], exponents[i], 16));
      info_.boundingBox = FixedRect{v[0], v[1], v[2], v[3]};
    }
  }
  at = FindWord(text, length, 0, "/ItalicAngle");
  if (at < length) {
    PsTokenizer tokens(text + at + 12, length - at - 12);
    int64_t mantissa;
    int32_t exponent;
    if (tokens.Next().Number(mantissa, exponent)) info_.italicAngle = FixedSaturate(DecimalToScaled(mantissa, exponent, 16));
  }
  at = FindWord(text, length, 0, "/isFixedPitch");
  if (at < length) {
    PsTokenizer tokens(text + at + 13, length - at - 13);
    info_.fixedPitch = tokens.Next().Is("true");
  }
  info_.ascent = FixedTrunc(info_.boundingBox.y1);
  info_.descent = FixedTrunc(info_.boundingBox.y0);

  // The encoding: StandardEncoding, or "dup code /name put" entries.
  encoding_.Resize(256);
  at = FindWord(text, length, 0, "/Encoding");
  PsTokenizer tokens(text + (at < length ? at + 9 : length), at < length ? length - at - 9 : 0);
  PsToken first = tokens.Next();
  bool standard = at == length || first.Is("StandardEncoding");
  for (uint32_t c = 0; c < 256; ++c) encoding_[c] = standard ? StandardEncodingName(static_cast<uint8_t>(c)) : kCffStandardStrings[0];
  if (standard) return;
  for (PsToken t = first; t.kind != PsToken::kEnd && !t.Is("def") && !t.Is("readonly"); t = tokens.Next()) {
    if (!t.Is("dup")) continue;
    int32_t code;
    if (!tokens.Next().Integer(code)) continue;
    PsToken name = tokens.Next();
    if (name.kind != PsToken::kName || code < 0 || code > 255) continue;
    encoding_[static_cast<uint32_t>(code)] = CopyName(name.text, name.length);
  }
}

const char* Type1::CopyName(const uint8_t* text, uint32_t length) {
  if (length == 7 && std::memcmp(text, ".notdef", 7) == 0) return kCffStandardStrings[0];
  char* copy = static_cast<char*>(nameArena_.Allocate(length + 1));
  std::memcpy(copy, text, length);
  copy[length] = '\0';
  return copy;
}

void Type1::ReadPrivate() {
  const uint8_t* data = private_.Data();
  const uint32_t length = private_.Size();
  uint32_t at = FindWord(data, length, 4, "/lenIV");
  if (at < length) {
    PsTokenizer tokens(data + at + 6, length - at - 6);
    int32_t value;
    if (tokens.Next().Integer(value)) lenIV_ = value < 0 ? -1 : (value > 64 ? 64 : value);
  }
  uint32_t subrs = FindWord(data, length, 4, "/Subrs");
  if (subrs < length) ReadSubrs(subrs + 6);
  uint32_t charStrings = FindWord(data, length, 4, "/CharStrings");
  if (charStrings == length) RaiseBadData(context_);
  ReadCharStrings(charStrings + 12);
}

void Type1::ReadSubrs(uint32_t from) {
  PsTokenizer tokens(private_.Data(), private_.Size());
  tokens.Seek(from);
  int32_t count;
  if (!tokens.Next().Integer(count) || count < 0 || count > 65536) RaiseBadData(context_);
  subrs_.Resize(static_cast<uint32_t>(count));
  for (int32_t read = 0; read < count;) {
    PsToken t = tokens.Next();
    if (t.kind == PsToken::kEnd || t.kind == PsToken::kName) break;
    if (!t.Is("dup")) continue;  // "array", "NP", "noaccess put", ...
    int32_t index, size;
    if (!tokens.Next().Integer(index) || !tokens.Next().Integer(size) || size < 0) RaiseBadData(context_);
    tokens.Next();  // RD or -|
    uint32_t start = tokens.Position() + 1;  // one space separates the data
    if (start > private_.Size() || static_cast<uint32_t>(size) > private_.Size() - start) RaiseBadData(context_);
    if (index >= 0 && index < count) subrs_[static_cast<uint32_t>(index)] = Type1Span{start, static_cast<uint32_t>(size)};
    tokens.Seek(start + static_cast<uint32_t>(size));
    ++read;
  }
}

void Type1::ReadCharStrings(uint32_t from) {
  PsTokenizer tokens(private_.Data(), private_.Size());
  tokens.Seek(from);
  int32_t count;
  if (!tokens.Next().Integer(count) || count < 1) RaiseBadData(context_);
  if (!tokens.SkipTo("begin")) RaiseBadData(context_);
  int32_t notdef = -1;
  while (glyphs_.Size() < 65535) {
    PsToken t = tokens.Next();
    if (t.kind == PsToken::kEnd || t.Is("end")) break;
    if (t.kind != PsToken::kName) continue;  // ND, |-, noaccess def
    int32_t size;
    if (!tokens.Next().Integer(size) || size < 0) RaiseBadData(context_);
    tokens.Next();  // RD or -|
    uint32_t start = tokens.Position() + 1;
    if (start > private_.Size() || static_cast<uint32_t>(size) > private_.Size() - start) RaiseBadData(context_);
    if (notdef < 0 && t.Is(".notdef")) notdef = static_cast<int32_t>(glyphs_.Size());
    names_.Push(CopyName(t.text, t.length));
    glyphs_.Push(Type1Span{start, static_cast<uint32_t>(size)});
    tokens.Seek(start + static_cast<uint32_t>(size));
  }
  if (glyphs_.Empty()) RaiseBadData(context_);
  // Glyph 0 is ".notdef": moved there, or an empty one added.
  if (notdef < 0) {
    // Copies first: Push may move the arrays its argument lives in.
    const char* firstName = names_[0];
    const Type1Span firstGlyph = glyphs_[0];
    names_.Push(firstName);
    glyphs_.Push(firstGlyph);
    names_[0] = kCffStandardStrings[0];
    glyphs_[0] = Type1Span{0, 0};
  } else if (notdef > 0) {
    const char* name = names_[0];
    Type1Span span = glyphs_[0];
    names_[0] = names_[static_cast<uint32_t>(notdef)];
    glyphs_[0] = glyphs_[static_cast<uint32_t>(notdef)];
    names_[static_cast<uint32_t>(notdef)] = name;
    glyphs_[static_cast<uint32_t>(notdef)] = span;
  }
}

Type1Program Type1::Program() const {
  return Type1Program{private_.Data(), private_.Size(), subrs_.Data(), subrs_.Size(), lenIV_};
}

Fixed16_16 Type1::RunGlyph(uint32_t glyph, OutlineWriter* writer, bool allowAccent) {
  if (glyphs_[glyph].length == 0) return 0;  // an added ".notdef"
  Type1Result result = RunType1Charstring(context_, Program(), glyphs_[glyph], writer);
  if (result.seac && allowAccent && writer != nullptr) {
    const char* baseName = StandardEncodingName(result.baseCode);
    const char* accentName = StandardEncodingName(result.accentCode);
    int32_t base = FindGlyph(baseName, static_cast<uint32_t>(std::strlen(baseName)));
    int32_t accent = FindGlyph(accentName, static_cast<uint32_t>(std::strlen(accentName)));
    if (base <= 0 || accent <= 0) RaiseBadData(context_);
    RunGlyph(static_cast<uint32_t>(base), writer, false);
    const ScaledMatrix saved = writer->ShiftOrigin(result.accentX, result.accentY);
    RunGlyph(static_cast<uint32_t>(accent), writer, false);
    writer->SetTransform(saved);
  }
  return result.width;
}

void Type1::AppendOutline(uint32_t glyph, const FixedMatrix& m, OutlineSink& sink) {
  if (glyph >= GlyphCount()) return;
  OutlineWriter writer(context_, Concat(fontMatrix_, m), sink);
  RunGlyph(glyph, &writer, true);
  writer.Close();
}

Fixed16_16 Type1::GlyphAdvance(uint32_t glyph) {
  if (glyph >= GlyphCount()) return 0;
  return RunGlyph(glyph, nullptr, false);
}

uint32_t Type1::Footprint() const {
  return sizeof(*this) + private_.MemorySize() + subrs_.MemorySize() + glyphs_.MemorySize() + names_.MemorySize() +
         encoding_.MemorySize() + nameArena_.BytesReserved() + NameIndexSize();
}

}  // namespace vn::fonts::parsers
