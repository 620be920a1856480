// Finding a corpus file's stream objects without asking a reference tool
// about every object number.
#pragma once

#include <set>
#include <string>
#include <vector>

namespace vn::test {

// Numbers of the objects among 1..maxNumber that the file's bytes
// define as streams ("N G obj" with "stream" before the next "endobj").
// Streams never live in object streams, so this finds every candidate and
// spares a qpdf run per object that cannot be one.
inline std::set<int> StreamObjectNumbers(const std::vector<unsigned char>& bytes, int maxNumber) {
  const std::string text(bytes.begin(), bytes.end());
  std::set<int> numbers;
  for (size_t at = text.find("obj"); at != std::string::npos; at = text.find("obj", at + 3)) {
    // Back over "N G " to the object number.
    size_t p = at;
    auto skipBack = [&](auto isPart) {
      while (p > 0 && isPart(text[p - 1])) --p;
    };
    const auto isSpace = [](char c) { return c == ' ' || c == '\r' || c == '\n'; };
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    skipBack(isSpace);
    const size_t generationEnd = p;
    skipBack(isDigit);
    if (p == generationEnd) continue;
    skipBack(isSpace);
    const size_t numberEnd = p;
    skipBack(isDigit);
    if (p == numberEnd || numberEnd - p > 3) continue;
    const int number = std::stoi(text.substr(p, numberEnd - p));
    if (number < 1 || number > maxNumber) continue;
    const size_t end = text.find("endobj", at);
    const size_t stream = text.find("stream", at);
    if (stream != std::string::npos && stream < end) numbers.insert(number);
  }
  return numbers;
}

}  // namespace vn::test
