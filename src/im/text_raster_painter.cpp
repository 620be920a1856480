#include "im/text_raster_painter.h"

#include <cstring>

namespace vn::im {

TextRasterPainter::TextRasterPainter(AppContext& context, const GlyphRecord* glyphs, uint32_t count)
    : glyphs_(glyphs), count_(count), box_{0, 0, 0, 0}, rowBytes_(context), row_(kRowStart) {
  bool any = false;
  for (uint32_t i = 0; i < count; ++i) {
    const GlyphRecord& g = glyphs[i];
    if (g.x0 >= g.x1 || g.y0 >= g.y1) continue;
    if (!any) {
      box_ = PixelRect{g.x0, g.y0, g.x1, g.y1};
      any = true;
      continue;
    }
    if (g.x0 < box_.x0) box_.x0 = g.x0;
    if (g.y0 < box_.y0) box_.y0 = g.y0;
    if (g.x1 > box_.x1) box_.x1 = g.x1;
    if (g.y1 > box_.y1) box_.y1 = g.y1;
  }
  rowBytes_.Resize(static_cast<uint32_t>(box_.x1 - box_.x0));
  output_.x0 = box_.x0;
  output_.x1 = box_.x1;
  output_.shape = PixelPlane{rowBytes_.Data(), 0, 1, 1};
  output_.alpha = output_.shape;
}

void TextRasterPainter::SetScanline(int32_t y) {
  row_ = y;
  output_.y0 = y;
  output_.y1 = y + 1;
  if (!HasOutput()) return;
  uint8_t* row = rowBytes_.Data();
  std::memset(row, 0, rowBytes_.Size());
  for (uint32_t i = 0; i < count_; ++i) {
    const GlyphRecord& g = glyphs_[i];
    if (y < g.y0 || y >= g.y1 || g.x0 >= g.x1) continue;
    const uint32_t width = static_cast<uint32_t>(g.x1 - g.x0);
    const uint8_t* from = g.bitmap + static_cast<size_t>(y - g.y0) * width;
    uint8_t* to = row + (g.x0 - box_.x0);
    for (uint32_t x = 0; x < width; ++x) to[x] |= from[x];
  }
}

PixelRun TextRasterPainter::RunAt(int32_t x) const {
  if (!HasOutput() || x >= box_.x1) return PixelRun{kRunEmpty, kRowEnd};
  if (x < box_.x0) return PixelRun{kRunEmpty, box_.x0};
  return PixelRun{kRunPartial, box_.x1};
}

}  // namespace vn::im
