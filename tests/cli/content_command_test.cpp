// folio content FILE PAGE as a user runs it.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "cli/folio_runner.h"
#include "support/pdf_builder.h"
#include "support/rc4_encryption.h"
#include "support/shell.h"

namespace {

using folio::test::Execute;
using folio::test::Folio;
using folio::test::kSample;
using folio::test::Outcome;

TEST(FolioContent, PrintsThePagesOperators) {
  Outcome r = Execute(Folio() + " content " + kSample + " 1");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out.rfind("BT\n/F1 24 Tf\n72 700 Td\n(Hello from Folio LE) Tj\nET\n0 0 1 rg\n72 600 m\n272 600 l\n"
                        "272 650 l\n72 650 l\nh\nf\nq\n1 0.55 0 rg\n",
                        0),
            0u)
      << r.out;
  Outcome json = Execute(Folio() + " content --json " + kSample + " 2");
  ASSERT_EQ(json.status, 0) << json.out;
  EXPECT_EQ(json.out.rfind("{\"page\":2,\"operators\":[\"q\",\"1 0 0 RG\",\"4 w\",", 0), 0u) << json.out;
}

// An encrypted page whose content passes an Identity crypt filter: read as
// it is stored.
TEST(FolioContent, IdentityCryptFilter) {
  const vn::test::Rc4Encryption rc4;
  const std::string content = "0 0 1 rg 5 5 20 20 re f";
  vn::test::PdfBuilder pdf;
  pdf.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
  pdf.Add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  pdf.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] /Contents 4 0 R >>");
  pdf.Add(4, "<< /Length " + std::to_string(content.size()) +
                 " /Filter /Crypt /DecodeParms << /Name /Identity >> >>\nstream\n" + content + "\nendstream");
  pdf.Add(5, rc4.Dictionary());
  const std::string bytes = pdf.Finish(pdf.Trailer(rc4.TrailerEntries(5)));
  const std::string path = vn::test::ScratchPath("identity_crypt.pdf");
  FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
  Outcome r = Execute(Folio() + " content " + path + " 1");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out, "0 0 1 rg\n5 5 m\n25 5 l\n25 25 l\n5 25 l\nh\nf\n");
}

TEST(FolioContent, UsageAndFailures) {
  Outcome page = Execute(Folio() + " content " + kSample + " 3");
  EXPECT_EQ(page.status, 1);
  EXPECT_NE(page.out.find("there is no page 3 (the document has 2 pages)"), std::string::npos) << page.out;
  Outcome word = Execute(Folio() + " content " + kSample + " first");
  EXPECT_EQ(word.status, 2);
  Outcome zero = Execute(Folio() + " content " + kSample + " 0");
  EXPECT_EQ(zero.status, 2);
  Outcome missing = Execute(Folio() + " content /nonexistent/file.pdf 1");
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.out.find("/nonexistent/file.pdf: "), std::string::npos);
  Outcome help = Execute(Folio() + " content --help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("FILE PAGE"), std::string::npos);
}

}  // namespace
