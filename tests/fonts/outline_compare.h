// Glyph outlines as plain geometry for the tests, from our font programs and
// from FreeType (the reference), and their comparison within a tolerance.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fonts/font.h"
#include "runtime/app_context.h"

namespace vn::test {

struct OutlinePoint {
  double x, y;
};

// One segment from the previous end point: a line (1 point) or a cubic or
// quadratic curve (3 or 2 points, the last one on the curve).
struct OutlineSegment {
  std::vector<OutlinePoint> points;
};

struct OutlineContour {
  OutlinePoint start;
  std::vector<OutlineSegment> segments;
};

using Outline = std::vector<OutlineContour>;

// Our outline of `glyph` in font units (the font matrix undone by the
// program's units per em).
Outline OurOutline(fonts::Font& font, uint32_t glyph);

// A font program over bytes that the caller keeps alive; null when it does
// not load.
fonts::Font* LoadProgram(AppContext& context, const std::vector<unsigned char>& bytes);

// FreeType's view of the same file.
class ReferenceFace {
 public:
  explicit ReferenceFace(const std::vector<unsigned char>& bytes);
  ~ReferenceFace();
  bool Ok() const { return face_ != nullptr; }
  long GlyphCount() const;
  // The reference glyph index of our glyph `glyph`: by name for name-keyed
  // programs, the CID for CID-keyed ones (FreeType loads those by CID), the
  // same index otherwise. -1 when FreeType does not know the glyph.
  long IndexFor(fonts::Font& font, uint32_t glyph) const;
  // Unscaled, unhinted outline; false when FreeType cannot load the glyph.
  bool Load(long index, Outline& outline) const;
  // The unscaled advance width in font units.
  long Advance(long index) const;
  // The glyph of `code` in the "cmap" subtable (platform, encoding), or -1
  // when the font has no such subtable.
  long CmapGlyph(int platform, int encoding, unsigned long code) const;
  void* Face() const { return face_; }

 private:
  void* library_ = nullptr;
  void* face_ = nullptr;
};

// "" when the outlines agree within `tolerance` font units (same contours,
// on-curve points and curves sampled at matching places), else what differs.
std::string CompareOutlines(const Outline& ours, const Outline& reference, double tolerance);

}  // namespace vn::test
