// Small PDF files for tests: numbered objects, then a classic
// cross-reference table whose offsets are computed, then the trailer.
#pragma once

#include <cstddef>
#include <map>
#include <utility>
#include <string>

namespace vn::test {

class PdfBuilder {
 public:
  explicit PdfBuilder(std::string start = "%PDF-1.5\n") : text_(std::move(start)) {}

  // Object `number` at the end of the text; returns its offset.
  size_t Add(int number, const std::string& body);
  // The object after the highest added so far.
  size_t Add(const std::string& body) { return Add(LastNumber() + 1, body); }

  // "<< /Size N /Root 1 0 R EXTRA >>" for the objects added.
  std::string Trailer(const std::string& extra = "") const;
  // Appends a table of objects 0 to the highest (numbers never added are
  // free), `trailer` and startxref; offsets are counted from
  // `headerOffset`. Returns the whole text.
  std::string Finish(const std::string& trailer, size_t headerOffset = 0);
  std::string& Text() { return text_; }

 private:
  int LastNumber() const { return offsets_.empty() ? 0 : offsets_.rbegin()->first; }

  std::string text_;
  std::map<int, size_t> offsets_;
};

}  // namespace vn::test
