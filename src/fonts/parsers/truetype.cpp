#include "fonts/parsers/truetype.h"

#include "fonts/font_tables.h"
#include "fonts/hinting/glyph_hinter.h"

namespace vn::fonts::parsers {

TrueType::TrueType(AppContext& context, Owned<data_io::DataStore>& store)
    : Font(context), data_(context, store), outline_(context), names_(context), nameArena_(context, 2048, 1024),
      hinter_(context), hinted_(context) {
  if (data_.Length() < 12 || !IsSfntVersion(data_.U32(0))) RaiseBadData(context);
  auto find = [&](char a, char b, char c, char d) { return FindSfntTable(data_, SfntTag(a, b, c, d)); };
  tables_.head = find('h', 'e', 'a', 'd');
  tables_.hhea = find('h', 'h', 'e', 'a');
  tables_.hmtx = find('h', 'm', 't', 'x');
  tables_.maxp = find('m', 'a', 'x', 'p');
  tables_.cmap = find('c', 'm', 'a', 'p');
  tables_.post = find('p', 'o', 's', 't');
  tables_.os2 = find('O', 'S', '/', '2');
  tables_.glyf = find('g', 'l', 'y', 'f');
  tables_.loca = find('l', 'o', 'c', 'a');
  tables_.fpgm = find('f', 'p', 'g', 'm');
  tables_.prep = find('p', 'r', 'e', 'p');
  tables_.cvt = find('c', 'v', 't', ' ');
  if (tables_.head.length < 54 || tables_.maxp.length < 6 || !tables_.loca.Present()) RaiseBadData(context);

  const uint32_t head = tables_.head.offset;
  uint32_t unitsPerEm = data_.U16(head + 18);
  usable_ = unitsPerEm >= 16 && unitsPerEm <= 16384;
  info_.unitsPerEm = static_cast<int32_t>(unitsPerEm);
  fontMatrix_ = UnitsPerEmMatrix(unitsPerEm == 0 ? 1000 : unitsPerEm);
  info_.boundingBox = FixedRect{IntToFixed(data_.S16(head + 36)), IntToFixed(data_.S16(head + 38)),
                                IntToFixed(data_.S16(head + 40)), IntToFixed(data_.S16(head + 42))};

  glyphTables_.longOffsets = data_.S16(head + 50) != 0;
  glyphTables_.glyfOffset = tables_.glyf.offset;
  glyphTables_.glyfLength = tables_.glyf.length;
  glyphTables_.locaOffset = tables_.loca.offset;
  glyphTables_.locaLength = tables_.loca.length;
  // The glyph count is what "maxp" says, cut to what "loca" can hold.
  uint32_t glyphs = data_.U16(tables_.maxp.offset + 4);
  uint32_t locaEntries = tables_.loca.length / (glyphTables_.longOffsets ? 4 : 2);
  if (locaEntries < 2) RaiseBadData(context);
  if (glyphs + 1 > locaEntries) glyphs = locaEntries - 1;
  glyphTables_.glyphCount = glyphs;

  if (tables_.hhea.length >= 36) {
    info_.ascent = data_.S16(tables_.hhea.offset + 4);
    info_.descent = data_.S16(tables_.hhea.offset + 6);
    metricsCount_ = data_.U16(tables_.hhea.offset + 34);
    if (metricsCount_ > tables_.hmtx.length / 4) metricsCount_ = tables_.hmtx.length / 4;
  }
  if (tables_.post.length >= 16) {
    info_.italicAngle = static_cast<Fixed16_16>(data_.U32(tables_.post.offset + 4));
    info_.fixedPitch = data_.U32(tables_.post.offset + 12) != 0;
  }
}

void TrueType::LoadOutline(uint32_t glyph, TrueTypeOutline& outline) {
  LoadTrueTypeGlyph(data_, glyphTables_, glyph, outline);
  if (outline.points.Empty()) return;
  int32_t shift = LeftSideBearing(glyph) - outline.xMin;
  if (shift == 0) return;
  for (FixedPoint& p : outline.points) p.x = FixedAddSat(p.x, IntToFixed(shift));
}

int32_t TrueType::LeftSideBearing(uint32_t glyph) {
  if (metricsCount_ == 0) return 0;
  if (glyph < metricsCount_) return data_.S16(tables_.hmtx.offset + glyph * 4 + 2);
  // Glyphs past the metrics have their side bearings in a list after them.
  uint32_t at = metricsCount_ * 4 + (glyph - metricsCount_) * 2;
  if (at + 2 > tables_.hmtx.length) return 0;
  return data_.S16(tables_.hmtx.offset + at);
}

void TrueType::AppendOutline(uint32_t glyph, const FixedMatrix& m, OutlineSink& sink) {
  if (!usable_ || glyph >= GlyphCount()) return;
  LoadOutline(glyph, outline_);
  OutlineWriter writer(context_, Concat(fontMatrix_, m), sink);
  uint32_t first = 0;
  for (uint32_t end : outline_.contourEnds) {
    if (end >= outline_.points.Size() || end < first) RaiseBadData(context_);
    writer.QuadraticContour(outline_.points.Data() + first, outline_.onCurve.Data() + first, end - first + 1);
    first = end + 1;
  }
}

Fixed16_16 TrueType::GlyphAdvance(uint32_t glyph) {
  if (glyph >= GlyphCount() || metricsCount_ == 0) return 0;
  uint32_t entry = glyph < metricsCount_ ? glyph : metricsCount_ - 1;
  return IntToFixed(data_.U16(tables_.hmtx.offset + entry * 4));
}

void TrueType::FindCmapSubtables() {
  if (cmapRead_) return;
  if (tables_.cmap.length < 4 || data_.U16(tables_.cmap.offset) != 0) RaiseBadData(context_);
  uint32_t count = data_.U16(tables_.cmap.offset + 2);
  uint32_t unicodeFallback = 0;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t record = tables_.cmap.offset + 4 + i * 8;
    uint32_t platform = data_.U16(record), encoding = data_.U16(record + 2);
    uint32_t offset = data_.U32(record + 4);
    if (offset < 4 || offset >= tables_.cmap.length) continue;
    offset += tables_.cmap.offset;
    int slot = -1;
    if (platform == 3 && encoding == 1) slot = static_cast<int>(CmapSubtable::kWindowsUnicode);
    if (platform == 3 && encoding == 0) slot = static_cast<int>(CmapSubtable::kWindowsSymbol);
    if (platform == 1 && encoding == 0) slot = static_cast<int>(CmapSubtable::kMacRoman);
    // Unicode subtables of other kinds stand in for a missing (3,1).
    if ((platform == 3 && encoding == 10) || platform == 0) {
      if (unicodeFallback == 0) unicodeFallback = offset;
    }
    if (slot >= 0 && subtables_[slot] == 0) subtables_[slot] = offset;
  }
  uint32_t& unicode = subtables_[static_cast<int>(CmapSubtable::kWindowsUnicode)];
  if (unicode == 0) unicode = unicodeFallback;
  cmapRead_ = true;
}

uint32_t TrueType::SubtableOffset(CmapSubtable subtable) {
  FindCmapSubtables();
  return subtables_[static_cast<int>(subtable)];
}

uint32_t TrueType::LookupInSubtable(uint32_t offset, uint32_t code) {
  uint32_t glyph = 0;
  switch (data_.U16(offset)) {
    case 0:  // bytes
      if (code < 256) glyph = data_.U8(offset + 6 + code);
      break;
    case 4: {  // segments of 16-bit codes
      if (code > 0xFFFF) break;
      uint32_t segments = data_.U16(offset + 6) / 2;
      uint32_t ends = offset + 14;
      uint32_t starts = ends + segments * 2 + 2;
      uint32_t deltas = starts + segments * 2;
      uint32_t rangeOffsets = deltas + segments * 2;
      // Segments are sorted by end code: the first whose end is at or
      // after the code holds it, if any does.
      uint32_t low = 0, high = segments;
      while (low < high) {
        uint32_t mid = (low + high) / 2;
        if (data_.U16(ends + mid * 2) < code) {
          low = mid + 1;
        } else {
          high = mid;
        }
      }
      if (low == segments) break;
      const uint32_t s = low;
      uint32_t start = data_.U16(starts + s * 2);
      if (code < start) break;
      uint32_t delta = data_.U16(deltas + s * 2);
      uint32_t rangeOffset = data_.U16(rangeOffsets + s * 2);
      if (rangeOffset == 0) {
        glyph = (code + delta) & 0xFFFF;
      } else {
        uint32_t at = rangeOffsets + s * 2 + rangeOffset + (code - start) * 2;
        glyph = data_.U16(at);
        if (glyph != 0) glyph = (glyph + delta) & 0xFFFF;
      }
      break;
    }
    case 6: {  // a trimmed table
      uint32_t first = data_.U16(offset + 6), count = data_.U16(offset + 8);
      if (code >= first && code - first < count) glyph = data_.U16(offset + 10 + (code - first) * 2);
      break;
    }
    case 12: {  // groups of 32-bit codes
      uint32_t groups = data_.U32(offset + 12);
      uint32_t low = 0, high = groups;
      while (low < high) {
        uint32_t mid = low + (high - low) / 2;
        uint32_t group = offset + 16 + mid * 12;
        uint32_t start = data_.U32(group), end = data_.U32(group + 4);
        if (code < start) {
          high = mid;
        } else if (code > end) {
          low = mid + 1;
        } else {
          glyph = data_.U32(group + 8) + (code - start);
          break;
        }
      }
      break;
    }
    default:
      break;
  }
  return glyph < GlyphCount() ? glyph : 0;
}

int32_t TrueType::CmapLookup(CmapSubtable subtable, uint32_t code) {
  uint32_t offset = SubtableOffset(subtable);
  if (offset == 0) return -1;
  return static_cast<int32_t>(LookupInSubtable(offset, code));
}

void TrueType::CodeToGlyphTable(EncodingSelector selector, bool symbolic, uint16_t* glyphs) {
  FindCmapSubtables();
  const uint32_t unicode = subtables_[static_cast<int>(CmapSubtable::kWindowsUnicode)];
  const uint32_t symbol = subtables_[static_cast<int>(CmapSubtable::kWindowsSymbol)];
  const uint32_t mac = subtables_[static_cast<int>(CmapSubtable::kMacRoman)];
  uint32_t chosen;
  if (selector == EncodingSelector::kWinAnsi && unicode != 0) {
    chosen = unicode;
  } else if (symbolic && symbol != 0) {
    chosen = symbol;
  } else if (mac != 0) {
    chosen = mac;
  } else if (symbol != 0) {
    chosen = symbol;
  } else if (unicode != 0) {
    chosen = unicode;
  } else {
    RaiseBadData(context_);
  }
  // Symbolic fonts put their codes at 0xF000 + code, or at the code itself
  // (both occur; the first found wins). Other fonts are looked up by the
  // code's Unicode value in the font's encoding.
  const uint16_t* unicodes = selector == EncodingSelector::kMacRoman ? kMacRomanUnicode : kWinAnsiUnicode;
  for (uint32_t code = 0; code < 256; ++code) {
    uint32_t glyph;
    if (chosen == mac) {
      glyph = LookupInSubtable(chosen, code);
    } else if (symbolic) {
      glyph = LookupInSubtable(chosen, 0xF000 + code);
      if (glyph == 0) glyph = LookupInSubtable(chosen, code);
    } else {
      glyph = unicodes[code] != 0 ? LookupInSubtable(chosen, unicodes[code]) : 0;
    }
    glyphs[code] = static_cast<uint16_t>(glyph);
  }
}

const char* const* TrueType::GlyphNames() {
  if (!names_.Empty()) return names_.Data();
  if (tables_.post.length < 32) return nullptr;
  const uint32_t post = tables_.post.offset;
  const uint32_t format = data_.U32(post);
  const uint32_t count = GlyphCount();
  if (format == 0x00010000) {
    names_.Resize(count);
    for (uint32_t g = 0; g < count; ++g) names_[g] = g < kMacGlyphNameCount ? kMacGlyphNames[g] : "";
    return names_.Data();
  }
  if (format != 0x00020000) return nullptr;
  uint32_t listed = data_.U16(post + 32);
  uint32_t indexes = post + 34;
  uint32_t tableEnd = post + tables_.post.length;
  if (indexes + static_cast<uint64_t>(listed) * 2 > tableEnd) return nullptr;
  // The Pascal strings that follow the index array, in order.
  EngineArray<const char*> strings(context_);
  for (uint32_t p = indexes + listed * 2; p < tableEnd;) {
    uint32_t length = data_.U8(p);
    if (length > tableEnd - p - 1) break;
    char* name = static_cast<char*>(nameArena_.Allocate(length + 1));
    data_.Read(p + 1, length, reinterpret_cast<uint8_t*>(name));
    name[length] = '\0';
    strings.Push(name);
    p += 1 + length;
  }
  names_.Resize(count);
  for (uint32_t g = 0; g < count; ++g) {
    uint32_t index = g < listed ? data_.U16(indexes + g * 2) : 0;
    if (index < kMacGlyphNameCount) {
      names_[g] = kMacGlyphNames[index];
    } else {
      index -= kMacGlyphNameCount;
      names_[g] = index < strings.Size() ? strings[index] : "";
    }
  }
  return names_.Data();
}

uint32_t TrueType::Footprint() const {
  return sizeof(*this) + data_.MemorySize() + outline_.points.MemorySize() + outline_.onCurve.MemorySize() +
         outline_.contourEnds.MemorySize() + names_.MemorySize() + nameArena_.BytesReserved() + NameIndexSize() +
         HintingMemorySize();
}

}  // namespace vn::fonts::parsers
