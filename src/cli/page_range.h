// Page ranges as users type them: "3", "2-5", "1,4,7-9"; 1-based.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace folio::cli {

using PageSpan = std::pair<int32_t, int32_t>;  // first and last page, both included

// Parses `text` into spans in the order given. Returns false (and leaves
// `spans` unspecified) for anything else: empty items, "0", "5-3", signs.
bool ParsePageRange(const std::string& text, std::vector<PageSpan>& spans);

}  // namespace folio::cli
