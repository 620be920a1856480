// The PDF graphics state as the renderer keeps it: one record, copied on
// every save (q, a form, a sub-list). Plain values, except the colour spaces,
// the dash array and the names, which are reference counted so that a copy
// shares them.
//
// The record holds counted references: make it with New and own it with
// Owned (a copy is New<GraphicsState>(context, other)).
#pragma once

#include <cstdint>

#include "im/raster_painter.h"
#include "pdf/document/value_access.h"
#include "pdf/pdfcolor/color_space_ref.h"
#include "runtime/engine_new.h"
#include "runtime/fixed_matrix.h"

namespace vn::pdf::render {

// An immutable array shared by the states that hold it (dash lengths, names).
template <class T>
class SharedArray final : public RefCounted {
 public:
  // A new array holding a copy of `values` (one allocation; no reference yet).
  static SharedArray* Make(AppContext& context, const T* values, uint32_t count);
  uint32_t Count() const { return count_; }
  const T* Data() const { return reinterpret_cast<const T*>(this + 1); }

 private:
  explicit SharedArray(uint32_t count) : count_(count) {}
  uint32_t count_;
};

using SharedBytes = SharedArray<uint8_t>;
using SharedNumbers = SharedArray<Fixed16_16>;

// One side of the colour state (fill or stroke).
struct PaintColor {
  explicit PaintColor(AppContext& context) : space(context), pattern(context) {}

  pdfcolor::ColorSpaceRef space;
  Fixed16_16 components[pdfcolor::kMaxComponents] = {};
  Ref<SharedBytes> pattern;    // the pattern's name in a Pattern space; null when none
  bool componentsGiven = true; // set by cs and by colours with components; cleared by a bare pattern name
  // The colour for the display, converted when first painted with.
  bool rgbValid = false;
  uint8_t rgb[3] = {0, 0, 0};
};

enum RenderingIntentValue : int32_t { kIntentRelativeColorimetric = 1 };

struct GraphicsState {
  explicit GraphicsState(AppContext& context);
  GraphicsState(const GraphicsState&) = default;
  GraphicsState& operator=(const GraphicsState&) = delete;

  // The CTM; recomputes its inverse and the visibility rectangle.
  void SetCTM(AppContext& context, const FixedMatrix& ctm);
  // The device clip rectangle; recomputes the visibility rectangle.
  void SetDeviceClip(const im::PixelRect& clip);

  PaintColor fill;
  PaintColor stroke;
  Fixed16_16 fillAlpha = kFixedOne;    // "ca"
  Fixed16_16 strokeAlpha = kFixedOne;  // "CA"
  int32_t intent = kIntentRelativeColorimetric;

  FixedMatrix ctm = IdentityMatrix();
  FixedMatrix inverse = IdentityMatrix();
  bool invertible = true;
  // The CTM in force when the current page, form or pattern cell began:
  // pattern matrices are relative to it.
  FixedMatrix patternBase = IdentityMatrix();

  Fixed16_16 lineWidth = kFixedOne;
  Fixed16_16 miterLimit = 10 * kFixedOne;
  int32_t lineJoin = 0;
  int32_t lineCap = 0;
  Ref<SharedNumbers> dash;  // null: solid
  Fixed16_16 dashPhase = 0;

  // Text state. The leading is kept negated: it is the vertical move of T*.
  Fixed16_16 charSpacing = 0;
  Fixed16_16 wordSpacing = 0;
  Fixed16_16 horizontalScaling = kFixedOne;
  Fixed16_16 leading = 0;
  int32_t renderMode = 0;
  Fixed16_16 rise = 0;
  // The font: its resource name (Tf) or reference (an ExtGState "Font").
  Ref<SharedBytes> fontName;
  document::ObjectId fontReference = {-1, 0};
  Fixed16_16 fontSize = 0;

  bool textKnockout = true;   // "TK"
  bool alphaIsShape = false;  // "AIS"
  uint8_t blendMode = 0;      // Normal; 1 Multiply, 2 Screen
  bool fillOverprint = false;
  bool strokeOverprint = false;

  // The device pixels later painting may touch, and the same rectangle in
  // user space (unbounded when the CTM cannot map it back).
  im::PixelRect deviceClip = {0, 0, 0, 0};
  FixedRect visibility = {kFixedMin, kFixedMin, kFixedMax, kFixedMax};

 private:
  void UpdateVisibility();
};

// Whether a path whose user-space box is `box` can reach the visibility
// rectangle; a stroked box is first widened by half the line width times
// the miter factor.
bool BoxCanBeVisible(const GraphicsState& state, const FixedRect& box, bool stroke);

}  // namespace vn::pdf::render
