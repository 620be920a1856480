// Drawing small PDF files built by the tests, and reading the pixels back.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "runtime/app_context.h"

namespace vn::test {

// A one-page document: `content` as the page's content stream, `resources`
// as its resource dictionary's entries, `objects` as objects 5, 6, ...
// (objects 1 to 4 are the catalog, the page tree, the page and its content).
// `pageExtra` goes into the page dictionary (for example "/Annots [5 0 R]").
std::string OnePagePdf(const std::string& content, const std::string& resources = "",
                       const std::vector<std::string>& objects = {}, const std::string& mediaBox = "0 0 100 100",
                       const std::string& pageExtra = "");

struct Rendered {
  int32_t width = 0, height = 0;
  std::vector<uint8_t> bgr;  // rows of 3 * width bytes, blue, green, red
  std::vector<std::pair<int32_t, int32_t>> events;  // (category, detail), in order
  uint32_t painted = 0;
  int32_t error = -1;  // the engine error that ended the drawing, or -1
  int32_t killedError = -1;  // with RenderRequest::killAfterSwitches: how the first drawing ended

  // "r,g,b" of a pixel, for readable failures.
  std::string At(int32_t x, int32_t y) const;
  uint8_t Red(int32_t x, int32_t y) const { return bgr[(static_cast<size_t>(y) * width + x) * 3 + 2]; }
  uint8_t Green(int32_t x, int32_t y) const { return bgr[(static_cast<size_t>(y) * width + x) * 3 + 1]; }
  uint8_t Blue(int32_t x, int32_t y) const { return bgr[(static_cast<size_t>(y) * width + x) * 3]; }
  size_t Count(int32_t category, int32_t detail) const;
};

struct RenderRequest {
  int32_t page = 0;          // from 0
  int32_t dpi = 72;
  int32_t rotate = 0;
  int32_t bandRows = 0;      // 0: one replay for the whole page
  bool onEngineThread = false;
  // On an engine thread: kill the first drawing after this many thread
  // switches (0: never), as a viewer does with a page that scrolled away,
  // then draw the page again from the same document (its display list
  // cached as far as the first drawing built it). `killedError` gets the
  // first drawing's outcome.
  uint64_t killAfterSwitches = 0;
};

// "<< ENTRIES /Length N >> stream DATA endstream".
std::string StreamObject(const std::string& entries, const std::string& data);

// Opens `pdf` and draws the request's page into a white buffer.
Rendered RenderPdf(AppContext& context, const std::string& pdf, const RenderRequest& request = RenderRequest());

}  // namespace vn::test
