#include "pdf/render/graphics_state.h"

#include <cstring>
#include <new>

#include "runtime/error.h"

namespace vn::pdf::render {

namespace {

// 1.41429: the widening factor of strokes with joins that never reach past
// a square corner.
constexpr Fixed16_16 kSquareCornerFactor = 92687;
// Device pixels the visibility rectangle reaches beyond the clip: the
// thinnest stroke reaches a fraction of a pixel out, and the inverse matrix
// rounds.
constexpr int32_t kVisibilitySlack = 2;

// The inverse of `m`, or false when it has none that fixed point can hold.
[[gnu::noinline]] bool TryInvert(AppContext& context, const FixedMatrix& m, FixedMatrix& out) {
  TryFrame frame;
  volatile bool ok = true;
  if (VN_TRY(context, frame)) {
    out = Invert(context, m);
  } else {
    AbsorbOnly(context, frame, kBadData);
    ok = false;
  }
  EndTry(frame);
  return ok;
}

}  // namespace

template <class T>
SharedArray<T>* SharedArray<T>::Make(AppContext& context, const T* values, uint32_t count) {
  const uint64_t bytes = sizeof(SharedArray) + static_cast<uint64_t>(count) * sizeof(T);
  if (bytes > 0xFFFFFF00u) RaiseOverflow(context);
  void* storage = Allocate(context, static_cast<uint32_t>(bytes));
  auto* array = ::new (storage) SharedArray(count);
  if (count != 0) std::memcpy(static_cast<void*>(array + 1), values, count * sizeof(T));
  return array;
}

template class SharedArray<uint8_t>;
template class SharedArray<Fixed16_16>;

GraphicsState::GraphicsState(AppContext& context)
    : fill(context), stroke(context), dash(context), fontName(context) {}

void GraphicsState::SetCTM(AppContext& context, const FixedMatrix& m) {
  ctm = m;
  invertible = TryInvert(context, m, inverse);
  UpdateVisibility();
}

void GraphicsState::SetDeviceClip(const im::PixelRect& clip) {
  deviceClip = clip;
  UpdateVisibility();
}

void GraphicsState::UpdateVisibility() {
  visibility = FixedRect{kFixedMin, kFixedMin, kFixedMax, kFixedMax};
  if (!invertible) return;
  const FixedRect device{IntToFixed(deviceClip.x0 - kVisibilitySlack), IntToFixed(deviceClip.y0 - kVisibilitySlack),
                         IntToFixed(deviceClip.x1 + kVisibilitySlack), IntToFixed(deviceClip.y1 + kVisibilitySlack)};
  if (!TransformFits(inverse, device)) return;
  visibility = TransformRect(inverse, device);
}

bool BoxCanBeVisible(const GraphicsState& state, const FixedRect& box, bool stroke) {
  FixedRect b = box;
  if (stroke) {
    const Fixed16_16 factor = state.miterLimit > kSquareCornerFactor ? state.miterLimit : kSquareCornerFactor;
    const Fixed16_16 reach = FixedMul(static_cast<Fixed16_16>(FixedMagnitude(state.lineWidth) >> 1), factor);
    b = FixedRect{FixedSubSat(b.x0, reach), FixedSubSat(b.y0, reach), FixedAddSat(b.x1, reach),
                  FixedAddSat(b.y1, reach)};
  }
  const FixedRect& v = state.visibility;
  return b.x0 <= v.x1 && b.x1 >= v.x0 && b.y0 <= v.y1 && b.y1 >= v.y0;
}

}  // namespace vn::pdf::render
