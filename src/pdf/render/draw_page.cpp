#include "pdf/render/draw_page.h"

#include "runtime/error.h"

namespace vn::pdf::render {

namespace {

constexpr int64_t kMaxScaleNumerator = int64_t{1} << 20;
constexpr int64_t kMaxScaleDenominator = int64_t{1} << 40;

// ceil(extent * numerator / denominator - 1/1000), in exact integers.
int64_t SideLength(int64_t extent, int64_t numerator, int64_t denominator) {
  const int64_t product = extent * numerator;
  int64_t pixels = product / denominator;
  const int64_t remainder = product - pixels * denominator;
  if (remainder * 1000 > denominator) ++pixels;
  return pixels;
}

[[gnu::noinline]] void DrawPageBody(RenderConsumer& consumer, document::Document& document, int32_t index) {
  Ref<document::PageDisplayList> list(document.Context());
  document.GetPageDisplayList(list, index);
  consumer.DrawList(*list);
  consumer.DrawAnnotations(index, *list->Record());
}

}  // namespace

PageView MakePageView(AppContext& context, const document::PageGeometry& geometry, int32_t rotation,
                      int64_t numerator, int64_t denominator) {
  if (numerator <= 0 || denominator <= 0 || numerator > kMaxScaleNumerator || denominator > kMaxScaleDenominator) {
    RaiseCode(context, kLimitExceeded);
  }
  if (rotation % 90 != 0) RaiseBadData(context);
  const int32_t total = document::NormalizeRotation(geometry.rotation + rotation % 360);
  // Shown turned clockwise by the rotation: a turn by minus it, after the
  // page's user unit takes user space to points.
  const FixedMatrix unit{geometry.userUnit, 0, 0, geometry.userUnit, 0, 0};
  const FixedMatrix turn = Concat(unit, document::RotationMatrix((360 - total) % 360));
  const FixedRect turned = TransformRect(turn, geometry.visible);
  const int64_t width = SideLength(static_cast<int64_t>(turned.x1) - turned.x0, numerator, denominator);
  const int64_t height = SideLength(static_cast<int64_t>(turned.y1) - turned.y0, numerator, denominator);
  if (width < 1 || height < 1 || width > kMaxAreaSide || height > kMaxAreaSide) RaiseCode(context, kLimitExceeded);
  const int64_t scale = ((numerator << 32) + denominator / 2) / denominator;
  if (scale < 1 || scale > kFixedMax) RaiseCode(context, kLimitExceeded);
  const auto s = static_cast<Fixed16_16>(scale);
  // The turned box's top-left corner to (0, 0), y growing downward.
  const FixedMatrix toDevice{s, 0, 0, -s, FixedSaturate((-static_cast<int64_t>(turned.x0) * s + 0x8000) >> 16),
                             FixedSaturate((static_cast<int64_t>(turned.y1) * s + 0x8000) >> 16)};
  return PageView{Concat(turn, toDevice), static_cast<int32_t>(width), static_cast<int32_t>(height)};
}

bool DrawPageContent(RenderConsumer& consumer, document::Document& document, int32_t index, Error& error) {
  AppContext& context = document.Context();
  TryFrame frame;
  volatile bool drawn = true;
  if (VN_TRY(context, frame)) {
    DrawPageBody(consumer, document, index);
  } else {
    const Error& caught = Catch(frame);
    if (caught.domain == kRuntimeDomain && caught.code == kCancelled) Rethrow(context);
    error = caught;
    drawn = false;
  }
  EndTry(frame);
  return drawn;
}

}  // namespace vn::pdf::render
