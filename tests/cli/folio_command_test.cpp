// The folio binary as a user runs it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <string>

#include "cli/folio_runner.h"
#include "support/corpus.h"
#include "support/shell.h"

namespace {

using folio::test::Execute;
using folio::test::Folio;
using folio::test::kSample;
using folio::test::Outcome;

void WriteFile(const std::string& path, const std::string& text) {
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
}

TEST(FolioCommand, InfoReportsTheSample) {
  Outcome r = Execute(Folio() + " info --json " + kSample);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("\"pages\":2"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"encryption\":null"), std::string::npos);
  EXPECT_NE(r.out.find("\"Title\":\"Folio LE sample\""), std::string::npos);
  EXPECT_NE(r.out.find("\"CreationDate\":\"2026/12/08 09:00:00 +01:00\""), std::string::npos);
  EXPECT_NE(r.out.find("\"peak_memory_bytes\":"), std::string::npos);
}

TEST(FolioCommand, PagesPrintsBoxesAndRotations) {
  Outcome all = Execute(Folio() + " pages " + kSample);
  ASSERT_EQ(all.status, 0) << all.out;
  EXPECT_EQ(all.out,
            "page 1: box [0 0 612 792], media box [0 0 612 792], rotate 0\n"
            "page 2: box [0 0 612 792], media box [0 0 612 792], rotate 90\n");
  Outcome json = Execute(Folio() + " pages --json " + kSample + " 2");
  EXPECT_EQ(json.out, "[{\"page\":2,\"box\":[0,0,612,792],\"media_box\":[0,0,612,792],\"rotate\":90}]\n");
  Outcome beyond = Execute(Folio() + " pages " + kSample + " 1-3");
  EXPECT_EQ(beyond.status, 1);
  EXPECT_NE(beyond.out.find("page 3 is out of range (the document has 2 pages)"), std::string::npos) << beyond.out;
  EXPECT_EQ(Execute(Folio() + " pages " + kSample + " 2-1").status, 2);
  EXPECT_EQ(Execute(Folio() + " pages " + kSample + " 1 2").status, 2);
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
  std::string encrypted = vn::test::ScratchPath("encrypted.pdf");
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

  // AES-256: the same messages, never garbage.
  std::string aes = vn::test::ScratchPath("aes256.pdf");
  ASSERT_EQ(std::system(("qpdf --encrypt secret owner 256 -- " + kSample + " " + aes).c_str()), 0);
  Outcome wrongAes = Execute(Folio() + " info --password nope " + aes);
  EXPECT_EQ(wrongAes.status, 1);
  EXPECT_NE(wrongAes.out.find("the password is wrong"), std::string::npos) << wrongAes.out;
  Outcome openAes = Execute(Folio() + " info --password secret " + aes);
  EXPECT_NE(openAes.out.find("revision 6, 256-bit key, AES-256, opened"), std::string::npos) << openAes.out;
  EXPECT_NE(openAes.out.find("Title:         Folio LE sample"), std::string::npos) << openAes.out;

  // A handler other than the standard one.
  std::vector<unsigned char> bytes = vn::test::ReadWholeFile(encrypted);
  std::string text(bytes.begin(), bytes.end());
  text.replace(text.find("/Filter /Standard"), 17, "/Filter /Adobe.PP");
  std::string other = vn::test::ScratchPath("other-handler.pdf");
  WriteFile(other, text);
  Outcome unknown = Execute(Folio() + " info " + other);
  EXPECT_EQ(unknown.status, 1);
  EXPECT_NE(unknown.out.find("the security handler is not supported"), std::string::npos) << unknown.out;
}

// A copy of the sample with its cross-reference data cut off, and a file
// of objects without any catalog.
TEST(FolioCommand, InfoSaysWhenAFileWasRepaired) {
  std::vector<unsigned char> bytes = vn::test::ReadWholeFile(kSample);
  std::string sample(bytes.begin(), bytes.end());
  std::string damaged = vn::test::ScratchPath("damaged.pdf");
  WriteFile(damaged, sample.substr(0, sample.find("xref")));
  Outcome text = Execute(Folio() + " info " + damaged);
  ASSERT_EQ(text.status, 0) << text.out;
  EXPECT_NE(text.out.find("pages:         2\n"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("repaired:      yes (the cross-reference data was rebuilt by scanning the file)"),
            std::string::npos) << text.out;
  Outcome json = Execute(Folio() + " info --json " + damaged);
  EXPECT_NE(json.out.find("\"repaired\":true"), std::string::npos) << json.out;
  EXPECT_NE(Execute(Folio() + " info --json " + kSample).out.find("\"repaired\":false"), std::string::npos);

  std::string headless = vn::test::ScratchPath("no-catalog.pdf");
  WriteFile(headless, "%PDF-1.4\n1 0 obj << /Kids [] >> endobj\n");
  Outcome pageless = Execute(Folio() + " info --json " + headless);
  ASSERT_EQ(pageless.status, 0) << pageless.out;
  EXPECT_NE(pageless.out.find("\"pages\":0,\"page_tree_error\":\"the file's data is damaged\""), std::string::npos)
      << pageless.out;
}

// Files where mutool and folio count differently, each for a reason.
const char* const kPageCountExceptions[][2] = {
    // The page tree's root is gone (zeros in the file); folio counts the
    // pages the linearization dictionary announces, as pdfinfo does.
    {"pypdf__017-unreadable-meta-data_unreadablemetadata.pdf", "4"},
    // The object stream puts a comment before each object, which mutool
    // does not read; qpdf and folio find the one page.
    {"qpdf__bad40.pdf", "1"},
};

// Every corpus file either gives its facts or fails with one clear line, and
// the page count equals mutool's for every file mutool opens, damaged and
// encrypted ones included.
TEST(FolioCommandCorpus, InfoSucceedsOrSaysWhyAndCountsPagesAsMutoolDoes) {
  auto files = vn::test::CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "corpus absent";
  if (std::system("command -v mutool >/dev/null 2>&1") != 0) GTEST_SKIP() << "mutool absent";
  static const std::regex mutoolPages(R"((^|\n)Pages: (\d+))");
  static const std::regex folioPages(R"("pages":(-?\d+),)");
  int opened = 0, refused = 0, compared = 0, agreed = 0;
  for (const auto& f : files) {
    std::string pw = f.userPassword.empty() ? "" : " --password '" + f.userPassword + "'";
    Outcome ours = Execute(Folio() + " info --json" + pw + " '" + f.path + "'");
    if (ours.status != 0) {
      ++refused;
      // One line: "folio: FILE: reason in words".
      EXPECT_EQ(ours.status, 1) << f.name;
      EXPECT_EQ(ours.out.rfind("folio: " + f.path + ": ", 0), 0u) << f.name << ": " << ours.out;
      EXPECT_EQ(std::count(ours.out.begin(), ours.out.end(), '\n'), 1) << f.name << ": " << ours.out;
      continue;
    }
    ++opened;
    std::string mpw = f.userPassword.empty() ? "" : " -p '" + f.userPassword + "'";
    Outcome theirs = Execute("mutool info -M" + mpw + " '" + f.path + "' 1");
    std::smatch m, o;
    if (!std::regex_search(theirs.out, m, mutoolPages)) continue;
    ASSERT_TRUE(std::regex_search(ours.out, o, folioPages)) << ours.out;
    ++compared;
    std::string expected = m[2];
    for (const auto& exception : kPageCountExceptions) {
      if (f.name == exception[0]) expected = exception[1];
    }
    if (o[1] == expected) ++agreed;
    else ADD_FAILURE() << f.name << ": " << o[1] << " pages, mutool says " << m[2];
  }
  std::printf("folio info: %d opened, %d refused with a reason; page counts: %d compared with mutool, %d agree\n",
              opened, refused, compared, agreed);
  EXPECT_GT(compared, 360);
}

}  // namespace
