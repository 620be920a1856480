#include "cli/render_report.h"

#include "pdf/render/display_events.h"
#include "runtime/error.h"

namespace folio::cli {

namespace {

using namespace vn::pdf::render;

std::string Counted(size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

const char* SkipReason(int32_t code) {
  switch (code) {
    case vn::kBadData: return "damaged or missing data";
    case vn::kUnsupported: return "a feature that is not supported";
    case vn::kLimitExceeded: return "beyond an internal limit";
    default: return "an engine error";
  }
}

}  // namespace

std::string DescribeEvents(int32_t category, int32_t detail, size_t count, const PageTally& tally) {
  switch (category) {
    case kEventImages:
      return Counted(count, "image", "images") + " not drawn: unsupported image data";
    case kEventText: {
      std::string words = Counted(count, "text run", "text runs") + " not drawn: no usable font";
      const char* separator = " (";
      for (const std::string& font : tally.unusableFonts) words.append(separator).append(font), separator = ", ";
      if (!tally.unusableFonts.empty()) words.append(": not embedded, or its program is damaged)");
      return words;
    }
    case kEventShadings:
      if (detail == kPatternNotDrawn) return Counted(count, "pattern fill", "pattern fills") + " not drawn: patterns are not supported";
      return Counted(count, "shading", "shadings") + " not drawn: shading type not supported";
    case kEventTransparency:
      if (detail == kBlendModeIgnored) return Counted(count, "object", "objects") + " drawn with the Normal blend mode instead of their own";
      if (detail == kSoftMaskNotApplied) return Counted(count, "soft mask", "soft masks") + " not applied";
      return std::string();  // constant alpha is drawn as it is
    case kEventObjectSkipped:
      return Counted(count, "object", "objects") + " skipped: " + SkipReason(detail);
    case kEventContentStopped:
      return Counted(count, "content stream", "content streams") + " cut short: " + SkipReason(detail);
    default:
      return Counted(count, "object", "objects") + " drawn approximately (event " + std::to_string(category) + "." +
             std::to_string(detail) + ")";
  }
}

}  // namespace folio::cli
