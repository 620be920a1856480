#include "cli/page_range.h"

#include <sstream>

namespace folio::cli {

namespace {

// A page number of at most nine digits, at least 1.
bool ParsePageNumber(const std::string& text, int32_t& page) {
  if (text.empty() || text.size() > 9) return false;
  page = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    page = page * 10 + (c - '0');
  }
  return page > 0;
}

}  // namespace

bool ParsePageRange(const std::string& text, std::vector<PageSpan>& spans) {
  spans.clear();
  std::stringstream items(text);
  std::string item;
  while (std::getline(items, item, ',')) {
    size_t dash = item.find('-');
    PageSpan span;
    if (dash == std::string::npos) {
      if (!ParsePageNumber(item, span.first)) return false;
      span.second = span.first;
    } else if (!ParsePageNumber(item.substr(0, dash), span.first) ||
               !ParsePageNumber(item.substr(dash + 1), span.second) || span.second < span.first) {
      return false;
    }
    spans.push_back(span);
  }
  // getline drops a trailing empty item: "1," must fail too.
  return !spans.empty() && text.back() != ',';
}

}  // namespace folio::cli
