#include "cli/page_range.h"

#include <cstdio>
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

bool ReadPagesArgument(const std::vector<std::string>& positionals, const char* command, std::vector<PageSpan>& spans) {
  if (positionals.size() < 2 || ParsePageRange(positionals[1], spans)) return true;
  std::fprintf(stderr, "folio %s: '%s' is not a page range (examples: 3, 2-5, 1,4,7-9)\n", command,
               positionals[1].c_str());
  return false;
}

bool ListPages(const std::vector<PageSpan>& spans, int32_t count, std::vector<int32_t>& pages, std::string& failure) {
  if (spans.empty()) {
    for (int32_t page = 1; page <= count; ++page) pages.push_back(page);
    return true;
  }
  for (const PageSpan& span : spans) {
    if (span.second > count) {
      failure = "page " + std::to_string(span.second) + " is out of range (the document has ";
      failure.append(std::to_string(count)).append(count == 1 ? " page)" : " pages)");
      return false;
    }
    for (int32_t page = span.first; page <= span.second; ++page) pages.push_back(page);
  }
  return true;
}

}  // namespace folio::cli
