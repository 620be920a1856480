// Writing parsed values back in PDF syntax, and reading text strings.
#pragma once

#include <string>

#include "pdf/store/value.h"

namespace folio::cli {

// The value in PDF syntax: strings escaped (hex when they hold many
// unprintable bytes), names with # escapes, reals with up to five decimals.
std::string ToPdfSyntax(const vn::pdf::store::Value& value);

// A text string (UTF-16BE with its byte-order mark, or PDFDocEncoding) as UTF-8.
std::string TextStringToUtf8(const vn::pdf::store::Value& string);

}  // namespace folio::cli
