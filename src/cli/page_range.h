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

// The optional PAGES argument of `command` (its second positional) into
// `spans` (left empty when absent). Prints the usage message and returns
// false when it is not a page range.
bool ReadPagesArgument(const std::vector<std::string>& positionals, const char* command, std::vector<PageSpan>& spans);

// The pages `spans` name, in their order (every page when `spans` is
// empty). Returns false with `failure` set ("page 9 is out of range (the
// document has 3 pages)") when a span reaches past `count`.
bool ListPages(const std::vector<PageSpan>& spans, int32_t count, std::vector<int32_t>& pages, std::string& failure);

}  // namespace folio::cli
