#include "support/pdf_builder.h"

#include <cstdio>

namespace vn::test {

size_t PdfBuilder::Add(int number, const std::string& body) {
  const size_t at = text_.size();
  text_ += std::to_string(number) + " 0 obj\n" + body + "\nendobj\n";
  offsets_[number] = at;
  return at;
}

std::string PdfBuilder::Trailer(const std::string& extra) const {
  return "<< /Size " + std::to_string(LastNumber() + 1) + " /Root 1 0 R " + (extra.empty() ? "" : extra + " ") + ">>";
}

std::string PdfBuilder::Finish(const std::string& trailer, size_t headerOffset) {
  const size_t xref = text_.size();
  const int last = LastNumber();
  text_ += "xref\n0 " + std::to_string(last + 1) + "\n";
  char line[32];
  for (int n = 0; n <= last; ++n) {
    auto found = offsets_.find(n);
    if (found == offsets_.end()) {
      std::snprintf(line, sizeof line, "0000000000 65535 f \n");
    } else {
      std::snprintf(line, sizeof line, "%010zu 00000 n \n", found->second - headerOffset);
    }
    text_ += line;
  }
  text_ += "trailer\n" + trailer + "\nstartxref\n" + std::to_string(xref - headerOffset) + "\n%%EOF\n";
  return text_;
}

}  // namespace vn::test
