#include "app/pdf_date.h"

#include <gtest/gtest.h>

namespace folio::app {
namespace {

TEST(PdfDate, FullDateReadsYearMonthDayTimeAndOffset) {
  EXPECT_EQ(FormatPdfDate("D:20261208093015+01'00'"), "2026/12/08 09:30:15 +01:00");
  EXPECT_EQ(FormatPdfDate("D:19991231235959-08'30'"), "1999/12/31 23:59:59 -08:30");
}

TEST(PdfDate, PiecesBeyondTheEndOfAShortDateAreEmpty) {
  EXPECT_EQ(FormatPdfDate("D:2026"), "2026// :: :");
  EXPECT_EQ(FormatPdfDate("D:20261208"), "2026/12/08 :: :");
  EXPECT_EQ(FormatPdfDate("D:20261208093015Z"), "2026/12/08 09:30:15 Z:");
  EXPECT_EQ(FormatPdfDate(""), "// :: :");
}

TEST(PdfDate, MissingPrefixStillReadsTheFields) {
  EXPECT_EQ(FormatPdfDate("20261208093015+01'00'"), "2026/12/08 09:30:15 +01:00");
}

}  // namespace
}  // namespace folio::app
