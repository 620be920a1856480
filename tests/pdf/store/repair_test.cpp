// Damaged files are repaired by scanning: wrong startxref, tables that
// point into the middle of objects, broken Prev chains, missing trailers,
// truncated downloads, object streams, encrypted files; the repaired index
// is a purgeable cache entry, and its scan yields and can be cancelled.
// Also hybrid files, whose XRefStm lists objects the table does not.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "pdf/security/security_handler.h"
#include "pdf/store/document_store.h"
#include "runtime/threads/thread_test_support.h"
#include "support/corpus.h"
#include "support/pdf_builder.h"
#include "support/shell.h"
#include "support/test_context.h"
#include "support/test_documents.h"
#include "store_fixture.h"

namespace vn::pdf::store {
namespace {

class RepairTest : public StoreFixture {
 protected:
  int32_t RootNumber() {
    Value root = Get(context_, store_->Trailer(), "Root");
    return root.IsReference() ? root.ref->number : -1;
  }
};

// A sound file of a catalog, a page tree and a few strings.
std::string SoundFile() {
  test::PdfBuilder pdf;
  pdf.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
  pdf.Add(2, "<< /Type /Pages /Kids [] /Count 0 >>");
  pdf.Add(3, "(three)");
  pdf.Add(4, "(four)");
  return pdf.Finish(pdf.Trailer());
}

TEST_F(RepairTest, StartxrefPastTheEndOrIntoTheMiddleOfAnObject) {
  std::string text = SoundFile();
  size_t at = text.rfind("startxref\n") + 10;
  for (const char* offset : {"99999999", "15", "0"}) {
    std::string broken = text.substr(0, at) + offset + "\n%%EOF\n";
    ASSERT_EQ(Open(broken), -1) << offset;
    EXPECT_TRUE(store_->IsRepaired());
    EXPECT_EQ(RootNumber(), 1);  // the trailer the scan found
    EXPECT_EQ(Text(4), "four");
  }
}

TEST_F(RepairTest, EntriesThatMissTheirObjectRepairOnFirstUse) {
  std::string text = SoundFile();
  // Shift the entries of objects 3 and 4 by a few bytes: they point into
  // the middle of other objects, while the root is still found.
  for (int n : {3, 4}) {
    size_t entry = text.find("xref\n") + 5 + 4 + 20 * n;  // "0 5\n", then 20-byte lines
    int offset = std::atoi(text.c_str() + entry) + 3;
    char line[16];
    std::snprintf(line, sizeof line, "%010d", offset);
    text.replace(entry, 10, line, 10);
  }
  ASSERT_EQ(Open(text), -1);
  EXPECT_FALSE(store_->IsRepaired());
  EXPECT_EQ(Text(3), "three");
  EXPECT_TRUE(store_->IsRepaired());
  EXPECT_EQ(Text(4), "four");
}

TEST_F(RepairTest, BrokenPrevChainAndMissingTrailer) {
  std::string text = SoundFile();
  // An update whose Prev points at nothing: object 5 is new, 3 is only in
  // the first section, which the chain no longer reaches.
  size_t object5 = text.size();
  text += "5 0 obj\n(five)\nendobj\n";
  size_t update = text.size();
  char entry[32];
  std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", object5);
  text += std::string("xref\n1 1\n0000000009 00000 n \n5 1\n") + entry +
          "trailer\n<< /Size 6 /Root 1 0 R /Prev 77777 >>\nstartxref\n" + std::to_string(update) + "\n%%EOF\n";
  ASSERT_EQ(Open(text), -1);
  EXPECT_EQ(Text(5), "five");
  EXPECT_FALSE(store_->IsRepaired());
  EXPECT_EQ(Text(3), "three");  // through the broken Prev: repaired
  EXPECT_TRUE(store_->IsRepaired());

  // A table without its trailer: the catalog gives the root.
  std::string noTrailer = SoundFile();
  size_t trailer = noTrailer.find("trailer");
  noTrailer = noTrailer.substr(0, trailer) + noTrailer.substr(noTrailer.find("startxref"));
  ASSERT_EQ(Open(noTrailer), -1);
  EXPECT_TRUE(store_->IsRepaired());
  EXPECT_EQ(RootNumber(), 1);
  EXPECT_EQ(Get(context_, store_->Trailer(), "Size").AsInt(), 5);
}

TEST_F(RepairTest, TruncatedDownloadAndTheLastDefinitionWins) {
  std::string text = SoundFile();
  text = text.substr(0, text.find("xref"));
  text += "3 0 obj\n(three, updated)\nendobj\n4 0 obj\n<< /Length 100 >>\nstream\nhalf a str";
  ASSERT_EQ(Open(text), -1);
  EXPECT_TRUE(store_->IsRepaired());
  EXPECT_EQ(RootNumber(), 1);
  EXPECT_EQ(Text(3), "three, updated");
  EXPECT_TRUE(Object(4).IsDictionary());
  EXPECT_TRUE(Object(6).IsNull());
}

TEST_F(RepairTest, ObjectStreamsFoundByTheScanAreIndexed) {
  std::string body = "3 0 4 12 (in a stream) (also inside)";
  std::string text = "%PDF-1.5\n1 0 obj\n<< /Type /Catalog /Pages 5 0 R >>\nendobj\n"
                     "2 0 obj\n<< /Type /ObjStm /N 2 /First 9 /Length 6 0 R >>\nstream\n" + body +
                     "\nendstream\nendobj\n6 0 obj " + std::to_string(body.size()) + " endobj\n"
                     "4 0 obj (defined again, later) endobj\n"
                     "trailer << /Root 1 0 R >>\n";
  ASSERT_EQ(Open(text), -1);
  EXPECT_TRUE(store_->IsRepaired());
  EXPECT_EQ(Text(3), "in a stream");
  EXPECT_EQ(Text(4), "defined again, later");
  // The index is a cache entry: purged, it is rebuilt the same.
  held_.Reset();
  context_.Caches().LowMemory();
  EXPECT_EQ(Text(3), "in a stream");
  EXPECT_EQ(Text(4), "defined again, later");
}

// A hybrid file: the table lists object 3 as free and has no entry for 5;
// the cross-reference stream named by XRefStm has both.
TEST_F(RepairTest, HybridFilesReadTheirXRefStm) {
  std::string text = "%PDF-1.5\n";
  size_t o1 = text.size();
  text += "1 0 obj\n<< /Type /Catalog >>\nendobj\n";
  size_t o3 = text.size();
  text += "3 0 obj\n(only in the stream)\nendobj\n";
  size_t o5 = text.size();
  text += "5 0 obj\n(also only there)\nendobj\n";
  auto field = [](uint64_t v) { return std::string{static_cast<char>(v >> 8), static_cast<char>(v & 0xFF)}; };
  std::string entries = std::string(1, '\1') + field(o3) + '\0' + std::string(1, '\1') + field(o5) + '\0' +
                        std::string(1, '\1') + field(7) + '\0';  // object 1 again, wrongly
  size_t o4 = text.size();
  text += "4 0 obj\n<< /Type /XRef /Size 6 /W [1 2 1] /Index [3 1 5 1 1 1] /Length " +
          std::to_string(entries.size()) + " >>\nstream\n" + entries + "\nendstream\nendobj\n";
  size_t xref = text.size();
  char line[32];
  text += "xref\n0 5\n0000000000 65535 f \n";
  std::snprintf(line, sizeof line, "%010zu 00000 n \n", o1);
  text += line;
  text += "0000000000 65535 f \n0000000000 65535 f \n";
  std::snprintf(line, sizeof line, "%010zu 00000 n \n", o4);
  text += line;
  text += "trailer\n<< /Size 6 /Root 1 0 R /XRefStm " + std::to_string(o4) + " >>\nstartxref\n" +
          std::to_string(xref) + "\n%%EOF\n";
  ASSERT_EQ(Open(text), -1);
  EXPECT_EQ(Text(3), "only in the stream");
  EXPECT_EQ(Text(5), "also only there");
  EXPECT_TRUE(Object(1).IsDictionary());  // the table's entry in use wins
  EXPECT_TRUE(Object(2).IsNull());        // free in both
  EXPECT_FALSE(store_->IsRepaired());
}

bool HaveQpdf() {
  static const bool have = std::system("qpdf --version >/dev/null 2>&1") == 0;
  return have;
}

// An AES-128 file with object streams whose startxref is lost: the
// repaired index finds the encrypted object streams once the password has
// set up decryption.
TEST_F(RepairTest, EncryptedFileWithObjectStreams) {
  if (!HaveQpdf()) GTEST_SKIP() << "qpdf absent";
  std::string path = vn::test::ScratchPath("repair_aes.pdf");
  std::string command = "qpdf --encrypt usr own 128 --use-aes=y -- --object-streams=generate '" FOLIO_SOURCE_DIR
                        "/samples/hello.pdf' '" + path + "'";
  ASSERT_EQ(std::system((command + " >/dev/null 2>&1").c_str()), 0);
  std::vector<unsigned char> bytes = test::ReadWholeFile(path);
  std::string text(bytes.begin(), bytes.end());
  text = text.substr(0, text.rfind("startxref")) + "startxref\n1\n%%EOF\n";
  std::string info;
  ASSERT_TRUE(test::RunTool("qpdf --password=usr --show-object=trailer '" + path + "'", info));
  int infoNumber = std::atoi(info.c_str() + info.find("/Info ") + 6);
  std::string shown;
  ASSERT_TRUE(test::RunTool("qpdf --password=usr --show-object=" + std::to_string(infoNumber) + " '" + path + "'", shown));

  ASSERT_EQ(Open(text), -1);
  EXPECT_TRUE(store_->IsRepaired());
  EXPECT_FALSE(store_->Security()->IsAuthorized());
  ASSERT_TRUE(store_->SetupSecurity("Standard", reinterpret_cast<const uint8_t*>("usr")));
  Value title = Get(context_, Object(infoNumber), "Title");
  ASSERT_TRUE(title.IsString());
  std::string decrypted(reinterpret_cast<const char*>(title.Bytes()), title.Length());
  EXPECT_NE(shown.find("(" + decrypted + ")"), std::string::npos) << shown;
  EXPECT_EQ(decrypted, "Folio LE sample");
}

class RepairOnThreadTest : public test::ThreadsTest {};

// The scan of a large damaged file runs in slices and stops when its
// thread is killed, leaving nothing behind.
TEST_F(RepairOnThreadTest, TheScanYieldsAndIsCancellable) {
  std::string text = "%PDF-1.4\n1 0 obj << /Type /Catalog >> endobj\n";
  while (text.size() < (24u << 20)) {
    text += std::to_string(text.size() % 50000 + 2) + " 0 obj << /Length 9 >>\nstream\n9 0 obj x\nendstream\nendobj\n";
  }
  int32_t code = -2;
  ThreadImpl* thread = Spawn([&] {
    Owned<DocumentStore> store(context);
    code = test::OpenMemoryDocument(context, text, store);
  });
  S().RunScheduler(1);
  ASSERT_FALSE(thread->HasEnded());  // it gave the processor back mid-scan
  S().Kill(thread);
  Drain();
  EXPECT_TRUE(thread->HasEnded());
  EXPECT_EQ(code, kCancelled);
  DropThreads();
  context.Caches().LowMemory();
  EXPECT_EQ(context.Budget().BytesInUse(), startBytes);
}

}  // namespace
}  // namespace vn::pdf::store
