// What folio render tells about a page besides its pixels: the objects it
// painted and the content it drew approximately or not at all, gathered
// over the page's bands (an object met in several bands counts once), and
// the words for them.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>

#include "pdf/render/render_consumer.h"

namespace folio::cli {

struct PageTally {
  std::set<uint64_t> painted;  // objects that painted pixels
  // Display events by (category, detail): the objects they were met on.
  std::map<std::pair<int32_t, int32_t>, std::set<uint64_t>> events;
  // The names of the fonts whose text was not drawn.
  std::set<std::string> unusableFonts;
};

// The visible page of one band for DrawPageDLConsumer: it notes painted
// objects and display events by the object they came from.
class BandPage {
 public:
  explicit BandPage(PageTally& tally) : tally_(tally) {}
  void Attach(const vn::pdf::render::RenderConsumer* consumer) { consumer_ = consumer; }
  void AreaPainted(const vn::FixedRect&) { tally_.painted.insert(consumer_->ObjectKey()); }
  void DisplayEvent(int32_t, int32_t category, int32_t detail) {
    tally_.events[{category, detail}].insert(consumer_->ObjectKey());
    if (const vn::pdf::text::PDFFont* font = consumer_->FontBeingReported()) {
      tally_.unusableFonts.insert(font->BaseFont()[0] != 0 ? font->BaseFont() : "a font without a name");
    }
  }

 private:
  PageTally& tally_;
  const vn::pdf::render::RenderConsumer* consumer_ = nullptr;
};

// "2 images not drawn: unsupported image data" for `count` events of a
// kind; empty for kinds drawn faithfully (constant alpha). Text not drawn
// names the page's `unusableFonts`.
std::string DescribeEvents(int32_t category, int32_t detail, size_t count, const PageTally& tally);

}  // namespace folio::cli
