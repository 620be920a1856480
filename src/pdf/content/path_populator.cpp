#include "pdf/content/path_populator.h"

#include "pdf/content/dl_inline_image.h"

namespace vn::pdf::content {

PathPopulator::PathPopulator(AppContext& context, document::ObjectResolver& resolver,
                             const document::ResolvedValue& resources)
    : context_(context), resolver_(resolver), resources_(resources), points_(context), scratch_(context) {}

void PathPopulator::Begin() {
  builder_.Begin();
  active_ = false;
  points_.Clear();
}

void PathPopulator::Add(const DLPoint* points, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) points_.Push(points[i]);
  active_ = true;
}

bool PathPopulator::MoveTo(Fixed16_16 x, Fixed16_16 y) {
  DLPoint p[1];
  Add(p, builder_.MoveTo(x, y, p));
  return true;
}

bool PathPopulator::LineTo(Fixed16_16 x, Fixed16_16 y) {
  DLPoint p[1];
  Add(p, builder_.LineTo(x, y, p));
  return true;
}

bool PathPopulator::CurveTo(Fixed16_16 x1, Fixed16_16 y1, Fixed16_16 x2, Fixed16_16 y2, Fixed16_16 x3,
                            Fixed16_16 y3) {
  DLPoint p[3];
  Add(p, builder_.CurveTo(x1, y1, x2, y2, x3, y3, p));
  return true;
}

bool PathPopulator::CurveToV(Fixed16_16 x2, Fixed16_16 y2, Fixed16_16 x3, Fixed16_16 y3) {
  DLPoint p[3];
  Add(p, builder_.CurveToV(x2, y2, x3, y3, p));
  return true;
}

bool PathPopulator::CurveToY(Fixed16_16 x1, Fixed16_16 y1, Fixed16_16 x3, Fixed16_16 y3) {
  DLPoint p[3];
  Add(p, builder_.CurveToY(x1, y1, x3, y3, p));
  return true;
}

bool PathPopulator::ClosePath() {
  if (!active_) return true;
  DLPoint p[1];
  Add(p, builder_.ClosePath(p));
  return true;
}

bool PathPopulator::Rectangle(Fixed16_16 x, Fixed16_16 y, Fixed16_16 w, Fixed16_16 h) {
  DLPoint p[5];
  Add(p, builder_.Rectangle(x, y, w, h, p));
  return true;
}

// The image's data must be consumed so that parsing stays on the tokens.
bool PathPopulator::InlineImage(const Value& dictionary, data_io::BufferedStream& source) {
  InlineImageLayout layout = GetInlineImageLayout(context_, resolver_, resources_, dictionary);
  ReadInlineImageData(context_, layout, source, scratch_);
  return true;
}

bool PathPopulator::PaintPath(bool, FillKind) { return false; }

}  // namespace vn::pdf::content
