// The folio binary as a user runs it.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>

#include "support/corpus.h"

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

TEST(FolioCommand, InfoReportsTheSample) {
  Outcome r = Execute(Folio() + " info --json " + kSample);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("\"pages\":2"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"encryption\":null"), std::string::npos);
  EXPECT_NE(r.out.find("\"Title\":\"Folio LE sample\""), std::string::npos);
  EXPECT_NE(r.out.find("\"CreationDate\":\"2026/12/08 09:00:00 +01:00\""), std::string::npos);
  EXPECT_NE(r.out.find("\"peak_memory_bytes\":"), std::string::npos);
}

TEST(FolioCommand, ShowAndStreamPrintAnObject) {
  Outcome show = Execute(Folio() + " show " + kSample + " 6");
  ASSERT_EQ(show.status, 0) << show.out;
  EXPECT_NE(show.out.find("<< /Length 74 /Filter /FlateDecode >>"), std::string::npos) << show.out;
  Outcome stream = Execute(Folio() + " stream " + kSample + " 6");
  ASSERT_EQ(stream.status, 0);
  EXPECT_EQ(stream.out.rfind("q 1 0 0 RG", 0), 0u) << stream.out;
  Outcome raw = Execute(Folio() + " stream --raw " + kSample + " 6");
  EXPECT_EQ(raw.out.size(), 74u);
}

TEST(FolioCommand, FailuresSayWhyInWords) {
  Outcome missing = Execute(Folio() + " info /nonexistent/file.pdf");
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.out.find("/nonexistent/file.pdf: the file cannot be opened"), std::string::npos) << missing.out;
  Outcome notPdf = Execute(Folio() + " info " + std::string(FOLIO_SOURCE_DIR) + "/README.md");
  EXPECT_EQ(notPdf.status, 1);
  EXPECT_NE(notPdf.out.find("no PDF header"), std::string::npos);
  Outcome usage = Execute(Folio() + " show " + kSample);
  EXPECT_EQ(usage.status, 2);
  Outcome badOption = Execute(Folio() + " info --frobnicate " + kSample);
  EXPECT_EQ(badOption.status, 2);
  Outcome notStream = Execute(Folio() + " stream " + kSample + " 1");
  EXPECT_EQ(notStream.status, 1);
  EXPECT_NE(notStream.out.find("is not a stream"), std::string::npos);
}

TEST(FolioCommand, PasswordProtectedFiles) {
  if (std::system("command -v qpdf >/dev/null 2>&1") != 0) GTEST_SKIP() << "qpdf absent";
  std::string encrypted = testing::TempDir() + "/folio-encrypted.pdf";
  ASSERT_EQ(std::system(("qpdf --allow-weak-crypto --encrypt secret owner 128 --use-aes=n -- " + kSample + " " + encrypted).c_str()), 0);
  Outcome locked = Execute(Folio() + " info " + encrypted);
  EXPECT_EQ(locked.status, 1);
  EXPECT_NE(locked.out.find("password"), std::string::npos) << locked.out;
  Outcome wrong = Execute(Folio() + " info --password nope " + encrypted);
  EXPECT_NE(wrong.out.find("the password is wrong"), std::string::npos) << wrong.out;
  Outcome open = Execute(Folio() + " info --json --password secret " + encrypted);
  ASSERT_EQ(open.status, 0) << open.out;
  EXPECT_NE(open.out.find("\"handler\":\"Standard\""), std::string::npos);
  EXPECT_NE(open.out.find("\"Title\":\"Folio LE sample\""), std::string::npos);  // strings decrypted
}

// The page count agrees with mutool for every corpus file both open.
TEST(FolioCommandCorpus, PageCountsAgreeWithTheManifest) {
  auto files = vn::test::CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "corpus absent";
  int compared = 0, agreed = 0;
  for (const auto& f : files) {
    if (f.pages < 0 || f.HasFeature("broken")) continue;
    std::string pw = f.userPassword.empty() ? "" : " --password '" + f.userPassword + "'";
    Outcome r = Execute(Folio() + " info --json" + pw + " '" + f.path + "'");
    if (r.status != 0) continue;  // not opened: unsupported encryption, reported separately
    ++compared;
    if (r.out.find("\"pages\":" + std::to_string(f.pages) + ",") != std::string::npos) ++agreed;
    else ADD_FAILURE() << f.name << ": " << f.pages << " pages expected, got " << r.out;
  }
  std::printf("page counts: %d compared, %d agree\n", compared, agreed);
  EXPECT_GT(compared, 200);
}

}  // namespace
