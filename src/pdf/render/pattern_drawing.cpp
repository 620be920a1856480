// Patterns: fills, strokes and text painted with a pattern colour.
#include "pdf/document/page_tree.h"
#include "pdf/render/render_consumer.h"
#include "runtime/error.h"

namespace vn::pdf::render {

using document::ResolvedValue;

void RenderConsumer::PaintPatternMark(const im::Path& path, const FixedMatrix& matrix, im::FillRule rule,
                                      PaintColor& side, Fixed16_16 alpha) {
  GraphicsState& s = State();
  // A Pattern space's initial colour is a pattern that paints nothing.
  if (!side.pattern) return;
  ResolvedValue pattern(context_);
  document::LookupResource(*Resolver(), Record()->Resources(), "Pattern", side.pattern->Data(),
                           side.pattern->Count(), pattern, nullptr);
  if (!pattern.Get().IsDictionary()) RaiseBadData(context_);
  ResolvedValue value(context_);
  document::GetResolved(*Resolver(), pattern, "PatternType", value);
  if (!value.Get().IsInteger()) RaiseBadData(context_);
  Fixed16_16 m[6];
  FixedMatrix patternMatrix = IdentityMatrix();
  const uint32_t count = document::GetNumbers(*Resolver(), pattern, "Matrix", m, 6);
  if (count != 0) {
    if (count < 6) RaiseBadData(context_);
    patternMatrix = FixedMatrix{m[0], m[1], m[2], m[3], m[4], m[5]};
  }
  const FixedMatrix toDevice = Concat(patternMatrix, s.patternBase);
  Scoped<im::BezierRasterPainter> shape(context_, context_, path, matrix, s.deviceClip, rule);
  const im::PixelRect area = im::Intersect(shape->Bounds(), s.deviceClip);
  if (area.Empty()) return;
  im::RasterPainterImpl<im::BezierRasterPainter> shapeIn(*shape);
  switch (value.Get().i) {
    case 2: {
      ResolvedValue shading(context_);
      document::GetResolved(*Resolver(), pattern, "Shading", shading);
      PaintShadingThrough(shading, true, toDevice, shapeIn, area, alpha);
      break;
    }
    case 1:
      SendEvent(kEventShadings, kPatternNotDrawn);
      break;
    default:
      RaiseBadData(context_);
  }
}

}  // namespace vn::pdf::render
