// Glyph outlines as the font programs hand them out: moves, lines, cubic
// curves and closes in 16.16 coordinates of the caller's space, through a
// sink the caller implements (a path builder, a bounding-box meter, a test).
//
// OutlineWriter is the programs' side: it takes points in font units
// (16.16), transforms them, closes every contour, turns TrueType's
// quadratic segments into cubics, and bounds the number of points a glyph
// may produce.
#pragma once

#include <cstdint>

#include "fonts/scaled_matrix.h"
#include "runtime/fixed_matrix.h"

namespace vn {
class AppContext;
}

namespace vn::fonts {

class OutlineSink {
 public:
  virtual void MoveTo(FixedPoint p) = 0;
  virtual void LineTo(FixedPoint p) = 0;
  virtual void CurveTo(FixedPoint c1, FixedPoint c2, FixedPoint end) = 0;
  // Ends the current contour (every contour is ended before the next move
  // and at the end of the glyph).
  virtual void Close() = 0;

 protected:
  ~OutlineSink() = default;
};

// Points one glyph may produce; a glyph that needs more is damaged
// (kBadData). Real glyphs stay far below (the largest CJK glyphs need a
// few thousand).
inline constexpr uint32_t kMaxOutlinePoints = 100000;

class OutlineWriter {
 public:
  OutlineWriter(AppContext& context, const ScaledMatrix& transform, OutlineSink& sink)
      : context_(context), transform_(transform), sink_(sink), current_{transform.tx, transform.ty} {}

  // Font-unit points (16.16). A move closes the open contour first.
  void MoveTo(Fixed16_16 x, Fixed16_16 y);
  void LineTo(Fixed16_16 x, Fixed16_16 y);
  void CurveTo(Fixed16_16 x1, Fixed16_16 y1, Fixed16_16 x2, Fixed16_16 y2, Fixed16_16 x3, Fixed16_16 y3);
  void Close();

  // One TrueType contour: points in font units with their on-curve flags.
  void QuadraticContour(const FixedPoint* points, const uint8_t* onCurve, uint32_t count);

  bool ContourOpen() const { return open_; }
  // The transform in use, so that callers can change it between parts of a
  // glyph (composite glyphs, accents).
  const ScaledMatrix& Transform() const { return transform_; }
  void SetTransform(const ScaledMatrix& transform) { transform_ = transform; }
  // Moves the glyph-space origin to (x, y) for what follows (an accent);
  // returns the transform to restore afterwards.
  ScaledMatrix ShiftOrigin(Fixed16_16 x, Fixed16_16 y);

 private:
  void Count(uint32_t points);
  void Reopen();
  void EmitQuadratic(FixedPoint from, FixedPoint control, FixedPoint to);

  AppContext& context_;
  ScaledMatrix transform_;
  OutlineSink& sink_;
  FixedPoint current_;  // last point written, in the target space
  uint32_t points_ = 0;
  bool open_ = false;
};

}  // namespace vn::fonts
