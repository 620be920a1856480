// How much engine-thread stack page drawing takes, for setting the nesting
// thresholds of the render consumer: the bytes one graphics-state level
// costs, and the deepest stack that one level's own work (populating the
// display list, painting a path) reaches below its frame. Shared by the x86-64
// test (stack_use_test.cpp) and the 32-bit ARM probe (arm_render_probe.cpp).
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

#include "pdf/document/document.h"
#include "pdf/document/page_tree.h"
#include "runtime/app_context.h"
#include "runtime/engine_array.h"
#include "pdf/pdfcolor/pdf_color_spaces.h"
#include "pdf/render/draw_page.h"
#include "runtime/engine_new.h"
#include "runtime/threads/scheduler.h"
#include "runtime/threads/stack_pool.h"
#include "runtime/threads/thread_impl.h"
#include "runtime/yield_points.h"

namespace vn::test {

inline constexpr uint8_t kStackPaint = 0x5A;

// Paints `bytes` of stack below the caller's frame.
[[gnu::noinline]] inline void PaintStackBelow(uint32_t bytes) {
  auto* area = static_cast<volatile uint8_t*>(__builtin_alloca(bytes));
  for (uint32_t i = 0; i < bytes; ++i) area[i] = kStackPaint;
}

// How many of those bytes, from the deepest, are still painted: the same
// area read back (uninitialised on purpose).
#pragma GCC diagnostic push
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
[[gnu::noinline]] inline uint32_t UntouchedStackBelow(uint32_t bytes) {
  auto* area = static_cast<volatile uint8_t*>(__builtin_alloca(bytes));
  uint32_t n = 0;
  while (n < bytes && area[n] == kStackPaint) ++n;
  return n;
}
#pragma GCC diagnostic pop

struct StackFigures {
  uint32_t levelBytes = 0;     // stack one nested q level costs
  uint32_t paintBytes = 0;     // deepest stack a path's painting took below its call
  uint32_t populateBytes = 0;  // deepest stack populating a page's display list took
  uint32_t checkBytes = 0;     // deepest stack at which either met a stack check
  uint32_t paths = 0;          // paths measured
};

// Stack used by `body()` below this frame (0 when too little stack is left to tell).
// Runs `body()` and notes how deep below this frame it used the stack, and
// how deep it met a stack check, in `deepest` and `deepestCheck`.
template <class Body>
void MeasureStackBelow(AppContext& context, uint32_t& deepest, uint32_t& deepestCheck, Body&& body) {
  ThreadImpl* thread = context.Scheduler()->Current();
  const uint32_t remaining = StackRemaining(context);
  thread->ResetStackCheckLowWater();
  const uint32_t painted = remaining > 1024 ? remaining - 512 : 0;
  if (painted != 0) PaintStackBelow(painted);
  body();
  if (painted != 0) deepest = std::max(deepest, painted - UntouchedStackBelow(painted));
  const uint32_t checked = thread->StackCheckLowWater();
  if (checked < remaining) deepestCheck = std::max(deepestCheck, remaining - checked);
}

// A render consumer that measures its levels and its paths.
class MeasuringConsumer final : public pdf::render::RenderConsumer {
 public:
  MeasuringConsumer(pdf::document::Document& document, pdf::pdfcolor::DocumentColorSpaces& colors, const im::PixelBuffer& page,
                    const FixedMatrix& matrix, pdf::render::DisplayEventListenerBase& events, StackFigures& figures)
      : RenderConsumer(document, colors, page, matrix, events), figures_(figures) {}
  void SaveAndPlayNested(pdf::content::DLPlayer& nested) override {
    const uint32_t remaining = StackRemaining(*EngineContext());
    if (lastRemaining_ > remaining) figures_.levelBytes = std::max(figures_.levelBytes, lastRemaining_ - remaining);
    const uint32_t saved = lastRemaining_;
    lastRemaining_ = remaining;
    RenderConsumer::SaveAndPlayNested(nested);
    lastRemaining_ = saved;
  }
  void PaintPath(const pdf::content::DLPath& path, bool visible, bool stroke, int32_t clipRule,
                 int32_t fill) override {
    // A path painted with a pattern draws the pattern's cell or shading as a
    // nested replay, which starts with a stack reserve of its own: that is
    // not this level's work.
    const pdf::render::GraphicsState& s = State();
    if ((fill != 2 && s.fill.space.kind == pdf::pdfcolor::kPatternSpace) ||
        (stroke && s.stroke.space.kind == pdf::pdfcolor::kPatternSpace)) {
      RenderConsumer::PaintPath(path, visible, stroke, clipRule, fill);
      return;
    }
    MeasureStackBelow(*EngineContext(), figures_.paintBytes, figures_.checkBytes,
                      [&] { RenderConsumer::PaintPath(path, visible, stroke, clipRule, fill); });
    ++figures_.paths;
  }

 private:
  StackFigures& figures_;
  uint32_t lastRemaining_ = 0;
};

// On an engine thread: populates page `index` of `document` and draws it at
// 72 dpi, adding to `figures`. Returns the engine error that ended the
// drawing, or -1.
inline int32_t MeasurePage(AppContext& context, pdf::document::Document& document,
                           pdf::pdfcolor::DocumentColorSpaces& colors, int32_t index, StackFigures& figures) {
  Ref<pdf::document::PageDisplayList> list(context);
  document.GetPageDisplayList(list, index);
  MeasureStackBelow(context, figures.populateBytes, figures.checkBytes, [&] { list->PopulateAll(); });
  pdf::document::ResolvedValue page(context);
  document.Resolver().GetIndirectObject(pdf::document::GetPageReference(document.Resolver(), index), page);
  const pdf::render::PageView view = pdf::render::MakePageView(
      context, pdf::document::GetPageGeometry(document.Resolver(), page), 0, 1, 65536);
  EngineArray<uint8_t> pixels(context);
  pixels.Resize(static_cast<uint32_t>(view.width) * 3 * static_cast<uint32_t>(view.height));
  const im::PixelBuffer surface = im::LERGBBuffer(pixels.Data(), 0, 0, view.width, view.height, view.width * 3);
  pdf::render::DisplayEventIgnorer events;
  Scoped<MeasuringConsumer> consumer(context, document, colors, surface, view.pageToDevice, events, figures);
  Error error{nullptr, -1, false};
  return pdf::render::DrawPageContent(*consumer, document, index, error) ? -1 : error.code;
}

}  // namespace vn::test
