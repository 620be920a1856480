// Small font files made in the tests: an sfnt from its tables, TrueType
// glyph data, a name-keyed CFF from charstrings, and a Type 1 font from
// charstrings (encrypted as the format requires).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vn::test {

using Bytes = std::vector<unsigned char>;

void PutU16(Bytes& b, uint32_t v);
void PutU32(Bytes& b, uint32_t v);

// An sfnt file: version tag and tables by tag.
Bytes BuildSfnt(uint32_t version, const std::map<std::string, Bytes>& tables);

// A TrueType font from glyph records ("glyf" entries, empty for none):
// head (unitsPerEm, long loca), hhea, hmtx (one advance per glyph), maxp
// (with `maxpGlyphs`, default the real count), loca, glyf, and `extra`
// tables (cmap, post...).
Bytes BuildTrueType(const std::vector<Bytes>& glyphs, uint16_t unitsPerEm = 1000,
                    std::map<std::string, Bytes> extra = {}, int maxpGlyphs = -1, uint16_t advance = 500);
// A simple glyph: contours of (x, y, on-curve) points.
struct TtPoint {
  int x, y;
  bool on;
};
Bytes SimpleGlyph(const std::vector<std::vector<TtPoint>>& contours);
// A composite glyph's component (flags are filled in).
struct TtComponent {
  uint16_t glyph;
  int arg1, arg2;
  bool pointMatching = false;
  double scale = 1.0;
};
Bytes CompositeGlyph(const std::vector<TtComponent>& components);
// A cmap with one format 4 subtable (platform, encoding) mapping the given
// codes (sorted, 16-bit) to glyphs.
Bytes Cmap4(uint16_t platform, uint16_t encoding, const std::map<uint16_t, uint16_t>& map);

// Type 2 charstring numbers and operators.
void T2Int(Bytes& b, int v);
Bytes T2(std::initializer_list<int> numbersThenOps);  // values >= 1000: operator value - 1000 (12 x: 1200 + x)
// A name-keyed CFF: glyph names (glyph 0 is ".notdef"), charstrings,
// local and global subroutines.
Bytes BuildCff(const std::vector<std::string>& names, const std::vector<Bytes>& charStrings,
               const std::vector<Bytes>& localSubrs = {}, const std::vector<Bytes>& globalSubrs = {});

// Type 1 charstring bytes (plain, before encryption).
Bytes T1(std::initializer_list<int> numbersThenOps);
// A PFA font: cleartext, then the eexec part (binary or hexadecimal),
// with lenIV 4 charstrings and subroutines.
Bytes BuildType1(const std::vector<std::pair<std::string, Bytes>>& glyphs, const std::vector<Bytes>& subrs,
                 bool hexEexec = false, const std::string& encoding = "StandardEncoding");
// The same font as PFB segments.
Bytes ToPfb(const Bytes& pfa);

}  // namespace vn::test
