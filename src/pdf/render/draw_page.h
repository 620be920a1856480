// Drawing a page, as the viewer and folio call it: the device geometry of a
// page at a scale and rotation, and the drawing of an area of it (the page's
// cached display list, then its annotations' appearances) into a pixel
// surface of 24-bit B,G,R rows.
//
// An area is drawn by one replay. Drawing a page in horizontal bands (each
// band its own area, buffer and replay) gives exactly the pixels of one
// full-page replay: every mark is computed in page device coordinates and
// only clipped to the area.
#pragma once

#include <cstdint>

#include "im/pixel_buffer.h"
#include "pdf/document/document.h"
#include "pdf/document/page_tree.h"
#include "pdf/render/render_consumer.h"

namespace vn::pdf::render {

// The largest side of an area drawn in one replay (the rasterizer's limit).
inline constexpr int32_t kMaxAreaSide = 16384;

// A page's device geometry.
struct PageView {
  FixedMatrix pageToDevice;  // default user space to device pixels, y down
  int32_t width, height;     // pixels covering the visible box
};

// The page's visible box turned by its rotation plus `rotation` (0, 90, 180
// or 270, clockwise) and scaled by numerator / denominator device pixels per
// 16.16 unit of user space (72 dpi is 1 / 65536; D dpi is D / (72 * 65536)).
// The box's top-left corner lands on (0, 0); a side of the image is its
// exact length rounded up, less 1/1000 pixel (as other viewers size their
// images). Raises kBadData for a rotation that is not a multiple of 90 and
// kLimitExceeded when a side would be 0 or beyond kMaxAreaSide.
PageView MakePageView(AppContext& context, const document::PageGeometry& geometry, int32_t rotation,
                      int64_t numerator, int64_t denominator);

// The consumer of a visible page: reports every painted device rectangle
// to it. VisiblePage has AreaPainted(const FixedRect&) (device pixels) and
// DisplayEvent(zero, category, detail).
template <class VisiblePage>
class DrawPageDLConsumer final : public RenderConsumer {
 public:
  DrawPageDLConsumer(VisiblePage& page, document::Document& document, pdfcolor::DocumentColorSpaces& colors,
                     const im::PixelBuffer& surface, const FixedMatrix& pageToDevice,
                     DisplayEventListenerBase& events)
      : RenderConsumer(document, colors, surface, pageToDevice, events), page_(page) {}
  void AreaPainted(const FixedRect& area) override { page_.AreaPainted(area); }

 private:
  VisiblePage& page_;
};

// Plays page `index` (from 0) and its annotations' appearances into
// `consumer`. Cancellation (kCancelled) is passed on; any other error ends
// the drawing: false, with the error in `error`.
bool DrawPageContent(RenderConsumer& consumer, document::Document& document, int32_t index, Error& error);

// Draws page `index` into `surface` (its rectangle is the area to draw) for
// `page`, which hears of painted areas and display events as they happen
// and is then told PageDrawn(objects) or PageFailed(error, objects drawn).
template <class VisiblePage>
void DrawPage(VisiblePage& page, document::Document& document, pdfcolor::DocumentColorSpaces& colors, int32_t index,
              const FixedMatrix& pageToDevice, const im::PixelBuffer& surface) {
  AppContext& context = document.Context();
  DrawPageDEListener<VisiblePage> events(page);
  Scoped<DrawPageDLConsumer<VisiblePage>> consumer(context, page, document, colors, surface, pageToDevice, events);
  Error error{nullptr, 0, false};
  if (DrawPageContent(*consumer, document, index, error)) {
    page.PageDrawn(consumer->PaintedObjects());
  } else {
    page.PageFailed(error, consumer->PaintedObjects());
  }
}

}  // namespace vn::pdf::render
