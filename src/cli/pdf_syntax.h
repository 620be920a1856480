// Writing parsed values back in PDF syntax, and reading text strings.
#pragma once

#include <string>

#include "pdf/store/value.h"

namespace folio::cli {

// The value in PDF syntax: strings escaped (hex when they hold many
// unprintable bytes), names with # escapes, reals with up to five decimals.
std::string ToPdfSyntax(const vn::pdf::store::Value& value);

class JsonWriter;
// The value as JSON in the shape qpdf's JSON uses: dictionaries as objects
// keyed "/Name", arrays as arrays, names "/Name", references "N G R",
// strings "b:HEX", numbers as numbers.
void WriteJsonValue(JsonWriter& out, const vn::pdf::store::Value& value);

// A text string (UTF-16BE with its byte-order mark, or PDFDocEncoding) as UTF-8.
std::string TextStringToUtf8(const vn::pdf::store::Value& string);

}  // namespace folio::cli
