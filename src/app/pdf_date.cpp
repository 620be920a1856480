#include "app/pdf_date.h"

namespace folio::app {

namespace {

// The piece of `count` characters at `offset`; what lies beyond the end of a
// short date is empty.
std::string_view Piece(std::string_view date, size_t offset, size_t count) {
  if (offset >= date.size()) return {};
  return date.substr(offset, count);
}

}  // namespace

std::string FormatPdfDate(std::string_view date) {
  // The "D:" prefix is required by the format but often missing in real
  // files; without it the fields start at the first character.
  size_t base = date.substr(0, 2) == "D:" ? 2 : 0;
  std::string out;
  out += Piece(date, base + 0, 4);
  out += '/';
  out += Piece(date, base + 4, 2);
  out += '/';
  out += Piece(date, base + 6, 2);
  out += ' ';
  out += Piece(date, base + 8, 2);
  out += ':';
  out += Piece(date, base + 10, 2);
  out += ':';
  out += Piece(date, base + 12, 2);
  out += ' ';
  out += Piece(date, base + 14, 3);
  out += ':';
  out += Piece(date, base + 18, 2);
  return out;
}

}  // namespace folio::app
