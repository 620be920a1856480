// folio content FILE PAGE as a user runs it.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>

namespace {

struct Outcome {
  int status;
  std::string out;
};

std::string Folio() {
  const char* dir = std::getenv("FOLIO_BINARY_DIR");
  return std::string(dir != nullptr ? dir : ".") + "/src/cli/folio";
}

Outcome Execute(const std::string& command) {
  Outcome r{-1, ""};
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (p == nullptr) return r;
  std::array<char, 4096> buffer;
  size_t got;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), p)) > 0) r.out.append(buffer.data(), got);
  int status = pclose(p);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

const std::string kSample = std::string(FOLIO_SOURCE_DIR) + "/samples/hello.pdf";

TEST(FolioContent, PrintsThePagesOperators) {
  Outcome r = Execute(Folio() + " content " + kSample + " 1");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out,
            "BT\n/F1 24 Tf\n72 700 Td\n(Hello from Folio LE) Tj\nET\n0 0 1 rg\n72 600 m\n272 600 l\n272 650 l\n"
            "72 650 l\nh\nf\n");
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
