// Display events: how the renderer tells the viewer that it met page content
// it draws only approximately or not at all. An event is three integers:
// 0, a category and a detail. The viewer condenses them into one bit per
// kind; off-screen drawing ignores them.
#pragma once

#include <cstdint>

namespace vn::pdf::render {

enum DisplayEventCategory : int32_t {
  kEventImages = 1,
  kEventText = 2,
  kEventShadings = 3,
  kEventTransparency = 4,
  // An object skipped because drawing it raised an engine error; the detail
  // is the error code (2 bad data, 5 unsupported, 6 limit exceeded).
  kEventObjectSkipped = 5,
  // A content stream (a page's or a form's) that ends early because reading
  // it raised an engine error; the detail is the error code. What came
  // before is drawn.
  kEventContentStopped = 6,
};

// Details of the categories above.
enum DisplayEventDetail : int32_t {
  kImageNotDrawn = 2,          // images: unsupported image data (and images until they are drawn)
  kTextNotDrawn = 1,           // text: a visible text run whose font is not usable
  kPatternNotDrawn = 2,        // shadings: a fill or stroke with a pattern colour
  kShadingNotDrawn = 3,        // shadings: a shading type that is not drawn
  kConstantAlpha = 0,          // transparency: constant alpha below 1.0
  kBlendModeIgnored = 1,       // transparency: a blend mode other than Normal, painted as Normal
  kSoftMaskNotApplied = 3,     // transparency: an ExtGState soft mask (a dictionary)
};

class DisplayEventListenerBase {
 public:
  virtual void DisplayEvent(int32_t zero, int32_t category, int32_t detail) = 0;

 protected:
  ~DisplayEventListenerBase() = default;
};

// Drops every event: for drawing that nobody watches.
class DisplayEventIgnorer final : public DisplayEventListenerBase {
 public:
  void DisplayEvent(int32_t, int32_t, int32_t) override {}
};

// Forwards every event to the visible page being drawn, whose view condenses
// them. VisiblePage has DisplayEvent(zero, category, detail).
template <class VisiblePage>
class DrawPageDEListener final : public DisplayEventListenerBase {
 public:
  explicit DrawPageDEListener(VisiblePage& page) : page_(page) {}
  void DisplayEvent(int32_t zero, int32_t category, int32_t detail) override {
    page_.DisplayEvent(zero, category, detail);
  }

 private:
  VisiblePage& page_;
};

}  // namespace vn::pdf::render
