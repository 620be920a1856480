// How the shell shows a PDF date (D:YYYYMMDDHHmmSSOHH'mm'): as
// "year/month/day hour:minute:second ±hh:mm".
#pragma once

#include <string>
#include <string_view>

namespace folio::app {

std::string FormatPdfDate(std::string_view date);

}  // namespace folio::app
