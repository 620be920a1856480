// Hostile files for the document store: cycles, huge declared sizes, deep
// nesting and junk end in an engine error or a graceful result, never in a
// hang, a crash or memory the budget did not give.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "pdf/store/document_store.h"
#include "runtime/threads/thread_test_support.h"
#include "support/pdf_builder.h"
#include "support/test_context.h"
#include "support/test_documents.h"
#include "store_fixture.h"

namespace vn::pdf::store {
namespace {

// Big-endian field of `width` bytes.
std::string Field(uint64_t v, int width) {
  std::string s;
  for (int i = width - 1; i >= 0; --i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}

class HostileStoreTest : public StoreFixture {
 protected:
  // The code raised while reading stream `number` to the end; `bytes` gets its length.
  int32_t ReadStream(int32_t number, uint64_t* bytes = nullptr) {
    return test::RaisedCode(context_, [&] {
      Ref<ParsedObject> object(context_);
      store_->GetObject(object, number);
      Owned<data_io::DataBlockStream> stream(context_, store_->OpenStreamData(*object));
      data_io::DataBlockRef block(context_);
      uint64_t total = 0;
      for (stream->GetNextBlock(block); !block.Empty(); stream->GetNextBlock(block)) total += block.Length();
      if (bytes != nullptr) *bytes = total;
    });
  }
};

TEST_F(HostileStoreTest, DeepNestingInObjectsAndTrailerIsBadData) {
  test::PdfBuilder pdf;
  pdf.Add(1, "<< /Type /Catalog >>");
  pdf.Add(2, std::string(100000, '['));
  pdf.Add(3, std::string(50000, '<') + std::string(50000, '>'));
  pdf.Add(4, std::string(201, '[') + std::string(201, ']'));  // within the limit
  ASSERT_EQ(Open(pdf.Finish("<< /Size 5 /Root 1 0 R >>")), -1);
  EXPECT_EQ(Fetch(2), kBadData);
  EXPECT_EQ(Fetch(3), kBadData);
  int32_t type = -1;
  EXPECT_EQ(Fetch(4, &type), -1);
  EXPECT_EQ(type, kArray);

  test::PdfBuilder deepTrailer;
  deepTrailer.Add(1, "<< /Type /Catalog >>");
  std::string nested;
  for (int i = 0; i < 5000; ++i) nested += "<< /A ";
  // The trailer cannot be read: the repair finds the catalog instead.
  ASSERT_EQ(Open(deepTrailer.Finish("<< /Size 2 /Root 1 0 R /X " + nested + " >>")), -1);
  EXPECT_TRUE(store_->IsRepaired());
  EXPECT_EQ(Get(context_, store_->Trailer(), "Root").ref->number, 1);
}

TEST_F(HostileStoreTest, LengthThatRefersToItsOwnStream) {
  test::PdfBuilder pdf;
  pdf.Add(1, "<< /Type /Catalog >>");
  pdf.Add(2, "<< /Length 2 0 R >>\nstream\nabc\nendstream");
  // Length through a chain that comes back: 3 -> 4 -> 3.
  pdf.Add(3, "<< /Length 4 0 R >>\nstream\nabc\nendstream");
  pdf.Add(4, "3 0 R");
  ASSERT_EQ(Open(pdf.Finish("<< /Size 5 /Root 1 0 R >>")), -1);
  // Without a usable Length the data runs to "endstream", as other readers take it.
  for (int32_t number : {2, 3}) {
    uint64_t bytes = 0;
    EXPECT_EQ(ReadStream(number, &bytes), -1);
    EXPECT_EQ(bytes, 3u);
  }
}

TEST_F(HostileStoreTest, StreamDataEndsAtEndstreamWhenLengthIsMissingOrWrong) {
  test::PdfBuilder pdf;
  pdf.Add(1, "<< /Type /Catalog >>");
  pdf.Add(2, "<< >>\nstream\nq\nQ\n\nendstream");             // no Length: the last end-of-line is not data
  pdf.Add(3, "<< /Length 2 >>\nstream\r\nabcdef\r\nendstream");  // too short
  pdf.Add(4, "<< /Length 40 >>\nstream\nabcdef\rendstream");      // too long
  pdf.Add(5, "<< /Length 6 >>\nstream\nabcdef  \n endstream");     // right, with white space before endstream
  pdf.Add(6, "<< /Length 99 0 R >>\nstream\nabc");                // neither Length nor endstream
  ASSERT_EQ(Open(pdf.Finish("<< /Size 7 /Root 1 0 R >>")), -1);
  for (auto [number, expected] : {std::pair{2, 4u}, {3, 6u}, {4, 6u}, {5, 6u}}) {
    uint64_t bytes = 0;
    EXPECT_EQ(ReadStream(number, &bytes), -1) << number;
    EXPECT_EQ(bytes, expected) << number;
  }
  EXPECT_EQ(ReadStream(6), kBadData);
}

TEST_F(HostileStoreTest, HugeDeclaredLengthsReadOnlyWhatIsThere) {
  test::PdfBuilder pdf;
  pdf.Add(1, "<< /Type /Catalog >>");
  pdf.Add(2, "<< /Length 9999999999 >>\nstream\nabc\nendstream");
  pdf.Add(3, "<< /Length 2147483647 >>\nstream\nabc\nendstream");
  pdf.Add(4, "<< /Length -5 >>\nstream\nabc\nendstream");
  ASSERT_EQ(Open(pdf.Finish("<< /Size 5 /Root 1 0 R >>")), -1);
  // Lengths out of range, past the end of the file or negative are not
  // believed: the data runs to "endstream".
  for (int32_t number : {2, 3, 4}) {
    uint64_t bytes = 0;
    EXPECT_EQ(ReadStream(number, &bytes), -1) << number;
    EXPECT_EQ(bytes, 3u) << number;
  }
}

TEST_F(HostileStoreTest, HugeSizeAndSubsectionsCostNothingUpFront) {
  test::PdfBuilder pdf;
  pdf.Add(1, "<< /Type /Catalog >>");
  ASSERT_EQ(Open(pdf.Finish("<< /Size 2147483647 /Root 1 0 R >>")), -1);
  int32_t type = -1;
  EXPECT_EQ(Fetch(1, &type), -1);
  EXPECT_EQ(type, kDictionary);
  EXPECT_EQ(Fetch(2147483646, &type), -1);
  EXPECT_EQ(type, kNull);
  EXPECT_EQ(Fetch(-1, &type), -1);
  EXPECT_EQ(type, kNull);
  // A subsection whose entries would lie past the end of the file.
  std::string text = "%PDF-1.4\nxref\n0 1000000\n0000000000 65535 f \ntrailer\n<< /Size 1000000 >>\nstartxref\n9\n%%EOF\n";
  EXPECT_EQ(Open(text), kBadData);
}

// A cross-reference stream with W [4 4 4] and an Index far larger than its data.
TEST_F(HostileStoreTest, CrossReferenceStreamWithHugeIndex) {
  for (std::string index : {"[0 2147483647]", "[2147483600 47]", "[0 3 100 2000000000]", "[0 3 -1 5]",
                                   "[2147483647 1]", "[0]", "[0 3 5]"}) {
    std::string text = "%PDF-1.5\n";
    size_t o1 = text.size();
    text += "1 0 obj\n<< /Type /Catalog >>\nendobj\n";
    size_t o2 = text.size();
    std::string entries = Field(0, 4) + Field(0, 4) + Field(65535, 4) + Field(1, 4) + Field(o1, 4) + Field(0, 4) +
                          Field(1, 4) + Field(o2, 4) + Field(0, 4);
    text += "2 0 obj\n<< /Type /XRef /Size 2147483647 /W [4 4 4] /Index " + index + " /Root 1 0 R /Length " +
            std::to_string(entries.size()) + " >>\nstream\n" + entries + "\nendstream\nendobj\nstartxref\n" +
            std::to_string(o2) + "\n%%EOF\n";
    int32_t code = Open(text);
    if (code != -1) {
      EXPECT_EQ(code, kBadData) << index;
      continue;
    }
    for (int32_t n : {1, 2, 3, 100, 1000000, 2147483600, 2147483646}) {
      int32_t fetched = Fetch(n);
      EXPECT_TRUE(fetched == -1 || fetched == kBadData) << index << " object " << n << " code " << fetched;
    }
  }
  // Widths that do not fit: an entry wider than any offset, or negative.
  for (std::string w : {"[4 9 4]", "[1 -2 1]", "[2147483647 2147483647 2]", "[0 0 0]", "[1 2 1 5]", "7"}) {
    std::string text = "%PDF-1.5\n1 0 obj\n<< /Type /XRef /Size 1 /W " + w +
                       " /Length 0 >>\nstream\n\nendstream\nendobj\nstartxref\n9\n%%EOF\n";
    // The section is bad data; the repair finds object 1 and no root.
    ASSERT_EQ(Open(text), -1) << w;
    EXPECT_TRUE(store_->IsRepaired());
    int32_t type = -1;
    EXPECT_EQ(Fetch(1, &type), -1) << w;
    EXPECT_EQ(type, kDictionary);
  }
}

// A cross-reference stream whose own Length, Filter or DecodeParms is a
// reference: reading it needs the cross-reference data being read.
TEST_F(HostileStoreTest, CrossReferenceStreamThatNeedsItselfToBeRead) {
  for (std::string key : {"/Length 1 0 R", "/Length 2 0 R /Filter 1 0 R", "/Length 2 0 R /DecodeParms 1 0 R"}) {
    std::string text = "%PDF-1.5\n";
    size_t o1 = text.size();
    std::string entries = Field(0, 1) + Field(0, 2) + Field(0, 1) + Field(1, 1) + Field(o1, 2) + Field(0, 1) +
                          Field(1, 1) + Field(0, 2) + Field(0, 1);
    text += "1 0 obj\n<< /Type /XRef /Size 3 /W [1 2 1] " + key + " >>\nstream\n" + entries +
            "\nendstream\nendobj\n2 0 obj 12 endobj\nstartxref\n" + std::to_string(o1) + "\n%%EOF\n";
    // The section cannot be read; the repaired file has objects and no root.
    ASSERT_EQ(Open(text), -1) << key;
    EXPECT_TRUE(store_->IsRepaired());
    EXPECT_TRUE(Get(context_, store_->Trailer(), "Root").IsNull());
  }
}

TEST_F(HostileStoreTest, ObjectStreamsThatContainEachOther) {
  // Objects 2 and 3 are object streams; the table says each lives in the other.
  std::string text = "%PDF-1.5\n";
  size_t o1 = text.size();
  text += "1 0 obj\n<< /Type /Catalog >>\nendobj\n";
  size_t o4 = text.size();
  std::string entries = Field(0, 1) + Field(0, 2) + Field(0, 1) + Field(1, 1) + Field(o1, 2) + Field(0, 1) +
                        Field(2, 1) + Field(3, 2) + Field(0, 1) + Field(2, 1) + Field(2, 2) + Field(0, 1) +
                        Field(1, 1) + Field(o4, 2) + Field(0, 1) + Field(2, 1) + Field(5, 2) + Field(0, 1);
  text += "4 0 obj\n<< /Type /XRef /Size 6 /W [1 2 1] /Root 1 0 R /Length " + std::to_string(entries.size()) +
          " >>\nstream\n" + entries + "\nendstream\nendobj\nstartxref\n" + std::to_string(o4) + "\n%%EOF\n";
  ASSERT_EQ(Open(text), -1);
  for (int32_t n : {2, 3}) EXPECT_EQ(Fetch(n), kBadData) << n;
  int32_t type = -1;
  EXPECT_EQ(Fetch(5, &type), -1);  // said to be inside itself: missing
  EXPECT_EQ(type, kNull);
}

// An object stream whose decode parameters (or filter) are an object inside
// that same stream: the inner fetch finds the stream being expanded.
TEST_F(HostileStoreTest, ObjectStreamWhoseParametersLiveInsideIt) {
  for (std::string key : {"/DecodeParms 3 0 R", "/Filter 3 0 R", "/Length 3 0 R"}) {
    std::string body = "3 0 (inside)";
    std::string text = "%PDF-1.5\n";
    size_t o1 = text.size();
    text += "1 0 obj\n<< /Type /Catalog >>\nendobj\n";
    size_t o2 = text.size();
    text += "2 0 obj\n<< /Type /ObjStm /N 1 /First 4 " + key +
            (key.find("Length") == std::string::npos ? " /Length " + std::to_string(body.size()) : "") +
            " >>\nstream\n" + body + "\nendstream\nendobj\n";
    size_t o4 = text.size();
    std::string entries = Field(0, 1) + Field(0, 2) + Field(0, 1) + Field(1, 1) + Field(o1, 2) + Field(0, 1) +
                          Field(1, 1) + Field(o2, 2) + Field(0, 1) + Field(2, 1) + Field(2, 2) + Field(0, 1) +
                          Field(1, 1) + Field(o4, 2) + Field(0, 1);
    text += "4 0 obj\n<< /Type /XRef /Size 5 /W [1 2 1] /Root 1 0 R /Length " + std::to_string(entries.size()) +
            " >>\nstream\n" + entries + "\nendstream\nendobj\nstartxref\n" + std::to_string(o4) + "\n%%EOF\n";
    ASSERT_EQ(Open(text), -1) << key;
    // Asked again (nothing cached as missing on the way) or after a purge,
    // the answer is the same.
    EXPECT_EQ(Fetch(3), kBadData) << key;
    EXPECT_EQ(Fetch(3), kBadData) << key;
    context_.Caches().LowMemory();
    EXPECT_EQ(Fetch(3), kBadData) << key;
  }
}

TEST_F(HostileStoreTest, LongPrevChainsEndQuickly) {
  // 20,000 empty sections, each pointing at the one before.
  std::string text = "%PDF-1.4\n1 0 obj\n<< /Type /Catalog >>\nendobj\n";
  size_t prev = text.size();
  text += "xref\n0 2\n0000000000 65535 f \n0000000009 00000 n \ntrailer\n<< /Size 2 /Root 1 0 R >>\n";
  for (int i = 0; i < 20000; ++i) {
    size_t at = text.size();
    text += "xref\n0 0\ntrailer\n<< /Size 2 /Prev " + std::to_string(prev) + " >>\n";
    prev = at;
  }
  text += "startxref\n" + std::to_string(prev) + "\n%%EOF\n";
  ASSERT_EQ(Open(text), -1);
  // Objects that no section has: every lookup may walk the chain.
  for (int32_t n = 2; n < 2000; ++n) ASSERT_EQ(Fetch(n), -1) << n;
}

TEST_F(HostileStoreTest, JunkAfterTheHeader) {
  std::string junk;
  uint32_t x = 12345;
  for (int i = 0; i < (1 << 20); ++i) {
    x = x * 1103515245 + 12345;
    junk += static_cast<char>(x >> 24);
  }
  EXPECT_EQ(Open("%PDF-1.4\n" + junk), kBadData);
  // The same junk with a valid file after it.
  test::PdfBuilder pdf("%PDF-1.4\n" + junk + "\n");
  pdf.Add(1, "<< /Type /Catalog >>");
  pdf.Add(2, std::string(1001, '(') + ")");
  ASSERT_EQ(Open(pdf.Finish("<< /Size 3 /Root 1 0 R >>")), -1);
  EXPECT_EQ(Fetch(1), -1);
  EXPECT_NE(Fetch(2), -1);  // unbalanced string: runs to the end of the file
  // A startxref that points into the junk.
  std::string wrong = "%PDF-1.4\n" + junk + "\nstartxref\n500000\n%%EOF\n";
  EXPECT_EQ(Open(wrong), kBadData);
}

// Files that only a repair opens, made to make the repair hang, blow the
// budget or crash: they end opened or in a clean error.
TEST_F(HostileStoreTest, RepairOfHostileFiles) {
  // A million objects: more than the index holds.
  std::string many = "%PDF-1.4\n";
  many.reserve(15000000);
  for (int i = 0; i < 1000000; ++i) many += std::to_string(i) + " 0 obj\n";
  EXPECT_EQ(Open(many), kLimitExceeded);
  // Endless trailers, none of them usable, and one that never ends.
  std::string trailers = "%PDF-1.4\n1 0 obj << /Type /Catalog >> endobj\n";
  for (int i = 0; i < 100000; ++i) trailers += "trailer << /Root " + std::to_string(i + 2) + " 0 R /Prev 9 >>\n";
  trailers += "trailer << /Root 1 0 R " + std::string(200000, '[');
  ASSERT_EQ(Open(trailers), -1);
  EXPECT_EQ(Get(context_, store_->Trailer(), "Root").ref->number, 1);  // the catalog, found by its type
  // Objects inside strings, and strings inside objects that never close.
  std::string strings = "%PDF-1.4\n1 0 obj << /Type /Catalog /T (2 0 obj << /Type /Catalog >> endobj) >> endobj\n"
                        "3 0 obj (" + std::string(100000, '(') + "\n4 0 obj (x) endobj\n";
  ASSERT_EQ(Open(strings), -1);
  int32_t type = -1;
  EXPECT_EQ(Fetch(2, &type), -1);
  EXPECT_EQ(type, kNull);
  EXPECT_EQ(Get(context_, store_->Trailer(), "Root").ref->number, 1);
  // Object streams that list a million members, or themselves.
  std::string pairs;
  for (int i = 0; i < 100000; ++i) pairs += std::to_string(i + 10) + " 0 ";
  std::string objstm = "%PDF-1.5\n1 0 obj << /Type /Catalog >> endobj\n2 0 obj << /Type /ObjStm /N 1000000 /First " +
                       std::to_string(pairs.size()) + " /Length " + std::to_string(pairs.size()) + " >>\nstream\n" +
                       pairs + "\nendstream\nendobj\n3 0 obj << /Type /ObjStm /N 1 /First 4 /Length 3 0 R >>\n"
                       "stream\n3 0 \nendstream\nendobj\ntrailer << /Root 1 0 R >>\n";
  ASSERT_EQ(Open(objstm), -1);
  EXPECT_EQ(Fetch(50000), kBadData);  // listed, but nothing stands at its offset
  EXPECT_EQ(Fetch(3, &type), -1);
  EXPECT_EQ(type, kDictionary);
}

// The same deep objects fetched on an engine thread, whose 16 KB stack runs
// out before the nesting limit: each fetch ends in a result or an engine
// error, and the thread itself ends normally.
class HostileStoreOnThreadTest : public test::ThreadsTest {};

TEST_F(HostileStoreOnThreadTest, DeepNestingOnAnEngineThread) {
  test::PdfBuilder pdf;
  pdf.Add(1, "<< /Type /Catalog >>");
  pdf.Add(2, std::string(255, '[') + std::string(255, ']'));
  std::string dicts;
  for (int i = 0; i < 255; ++i) dicts += "<< /A ";
  for (int i = 0; i < 255; ++i) dicts += " >>";
  pdf.Add(3, dicts);
  pdf.Add(4, std::string(100000, '['));
  std::string text = pdf.Finish("<< /Size 5 /Root 1 0 R >>");
  std::vector<int32_t> codes;
  ThreadImpl* thread = Spawn([&] {
    Owned<DocumentStore> store(context);
    codes.push_back(test::OpenMemoryDocument(context, text, store));
    for (int32_t n : {2, 3, 4}) {
      codes.push_back(test::RaisedCode(context, [&] {
        Ref<ParsedObject> object(context);
        store->GetObject(object, n);
      }));
    }
  });
  Drain();
  ASSERT_TRUE(thread->HasEnded());
  EXPECT_FALSE(thread->EndedByError());
  ASSERT_EQ(codes.size(), 4u);
  EXPECT_EQ(codes[0], -1);
  for (size_t i = 1; i < 3; ++i) EXPECT_TRUE(codes[i] == -1 || codes[i] == kStackExhausted) << i << " " << codes[i];
  EXPECT_TRUE(codes[3] == kBadData || codes[3] == kStackExhausted) << codes[3];
  DropThreads();
  context.Caches().LowMemory();
  EXPECT_EQ(context.Budget().BytesInUse(), startBytes);
}

}  // namespace
}  // namespace vn::pdf::store
