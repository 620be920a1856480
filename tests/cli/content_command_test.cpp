// folio content FILE PAGE as a user runs it.
#include <gtest/gtest.h>

#include <string>

#include "cli/folio_runner.h"

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
