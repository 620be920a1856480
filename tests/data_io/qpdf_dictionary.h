// Reading the stream dictionaries qpdf prints (--show-object=N).
#pragma once

#include <regex>
#include <string>
#include <vector>

namespace vn::test {

// The names of the "Filter" entry in order (without slashes); empty when
// the dictionary has none.
inline std::vector<std::string> StreamFilterNames(const std::string& dictionary) {
  static const std::regex filter("/Filter\\s*(\\[[^\\]]*\\]|/[A-Za-z0-9]+)");
  static const std::regex name("/([A-Za-z0-9]+)");
  std::vector<std::string> names;
  std::smatch m;
  if (!std::regex_search(dictionary, m, filter)) return names;
  const std::string filters = m[1];
  for (auto it = std::sregex_iterator(filters.begin(), filters.end(), name); it != std::sregex_iterator(); ++it) {
    names.push_back((*it)[1]);
  }
  return names;
}

}  // namespace vn::test
