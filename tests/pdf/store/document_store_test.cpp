#include "pdf/store/document_store.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "data_io/file_data_store.h"
#include "data_io/filter_encoders.h"
#include "pdf/security/security_handler.h"
#include "pdf/store/xref_section.h"
#include "support/corpus.h"
#include "support/pdf_builder.h"
#include "support/test_documents.h"
#include "support/test_context.h"
#include "store_fixture.h"

namespace vn::pdf::store {
namespace {

// The header every built file starts with (after any leading bytes).
const std::string kHeader = "%PDF-1.5\n%\xe2\xe3\xcf\xd3\n";

using DocumentStoreTest = StoreFixture;

TEST_F(DocumentStoreTest, OpensAClassicFileAndResolvesObjects) {
  test::PdfBuilder pdf(kHeader);
  pdf.Add("<< /Type /Catalog /Pages 2 0 R >>");
  pdf.Add("<< /Type /Pages /Count 0 /Kids [] >>");
  pdf.Add("<< /Length 5 >>\nstream\nhello\nendstream");
  ASSERT_EQ(Open(pdf.Finish(pdf.Trailer())), -1);
  EXPECT_STREQ(store_->Version(), "1.5");
  EXPECT_FALSE(store_->IsLinearized());
  Ref<ParsedObject> root(context_);
  EXPECT_TRUE(Get(context_, store_->TrailerEntry("Root", root), "Type").NameIs("Catalog"));
  EXPECT_EQ(Get(context_, Object(2), "Count").AsInt(), 0);
  EXPECT_EQ(StreamText(3), "hello");
  EXPECT_TRUE(Object(40).IsNull());  // not in the table
  EXPECT_EQ(store_->Security()->Kind(), security::HandlerKind::kNone);
}

TEST_F(DocumentStoreTest, LeadingBytesShiftEveryOffset) {
  std::string junk(100, 'x');
  test::PdfBuilder pdf(junk + kHeader);
  pdf.Add("<< /Type /Catalog >>");
  pdf.Add("(second)");
  ASSERT_EQ(Open(pdf.Finish(pdf.Trailer(), 100)), -1);
  EXPECT_EQ(store_->HeaderOffset(), 100u);
  EXPECT_TRUE(Object(2).IsString());
}

TEST_F(DocumentStoreTest, FilesWithoutObjectsFailOthersAreRepaired) {
  Unwindable* head = context_.Errors().unwindHead;
  EXPECT_EQ(Open("hello world, not a PDF"), kBadData);
  EXPECT_EQ(Open("%PDF-1.4\nstartxref\n3\n%%EOF\n"), kBadData);                    // no table there
  EXPECT_EQ(Open(std::string(2000, ' ') + "%PDF-1.4\n"), kBadData);                // header too late
  EXPECT_EQ(Open("%PDF-1.4\ntrailer << /Root 1 0 R >>\n%%EOF\n"), kBadData);        // a trailer alone
  EXPECT_EQ(Open("Text that quotes 1 0 obj << >> endobj\n"), kBadData);          // no header, no root
  // Objects but no usable cross-reference data: rebuilt; without a root
  // anywhere the document opens and its trailer has none.
  for (const char* text : {"%PDF-1.4\n1 0 obj << >> endobj\n%%EOF\n",          // no startxref
                           "%PDF-1.4\n1 0 obj << >> endobj\nstartxref\n9\n"}) {  // no %%EOF
    ASSERT_EQ(Open(text), -1) << text;
    EXPECT_TRUE(store_->IsRepaired());
    EXPECT_TRUE(Object(1).IsDictionary());
    EXPECT_TRUE(Get(context_, store_->Trailer(), "Root").IsNull());
  }
  // Without a header, a catalog makes it a PDF file.
  ASSERT_EQ(Open("1 0 obj << /Type /Catalog >> endobj\n"), -1);
  EXPECT_EQ(Get(context_, store_->Trailer(), "Root").ref->number, 1);
  EXPECT_EQ(context_.Errors().unwindHead, head);  // nothing left behind
}

TEST_F(DocumentStoreTest, TheLaterOfTwoEofMarkersWins) {
  test::PdfBuilder pdf(kHeader);
  pdf.Add("<< /Type /Catalog >>");
  std::string text = pdf.Finish(pdf.Trailer());
  // A first, stale "startxref ... %%EOF" pair before the real one.
  std::string stale = "startxref\n999999\n%%EOF\n";
  text.insert(text.rfind("startxref"), stale);
  ASSERT_EQ(Open(text), -1);
  EXPECT_TRUE(Get(context_, Object(1), "Type").NameIs("Catalog"));
}

TEST_F(DocumentStoreTest, TableLinesOfNineteenBytesStillResolve) {
  test::PdfBuilder pdf(kHeader);
  for (int i = 0; i < 200; ++i) pdf.Add(i == 0 ? "<< /Type /Catalog >>" : "(object " + std::to_string(i + 1) + ")");
  std::string text = pdf.Finish(pdf.Trailer());
  // Drop the space before each line end of the table, as some writers do.
  size_t xref = text.find("xref\n");
  size_t trailer = text.find("trailer");
  std::string table = text.substr(xref, trailer - xref);
  size_t removed = 0;
  for (size_t p = 0; (p = table.find(" \n", p)) != std::string::npos;) {
    table.erase(p, 1);
    ++removed;
  }
  text = text.substr(0, xref) + table + text.substr(trailer);
  ASSERT_GT(removed, 150u);
  ASSERT_EQ(Open(text), -1);
  Value v = Object(190);  // in the second chunk of 128
  ASSERT_TRUE(v.IsString());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(v.Bytes()), v.Length()), "object 190");
}

TEST_F(DocumentStoreTest, SubsectionBoundsAreChecked) {
  const std::string object = "%PDF-1.4\n1 0 obj << >> endobj\n";
  std::string ok = object + "xref\n0 0\n1 1\n0000000009 00000 n \ntrailer\n<< /Size 2 /Root 1 0 R >>\nstartxref\n" +
                   std::to_string(object.size()) + "\n%%EOF\n";
  ASSERT_EQ(Open(ok), -1);
  EXPECT_FALSE(store_->IsRepaired());
  // first + count past 2^31 - 1: the table is bad data, and the file is repaired.
  std::string bad = ok;
  bad.replace(bad.find("1 1\n"), 3, "1 2147483647");
  ASSERT_EQ(Open(bad), -1);
  EXPECT_TRUE(store_->IsRepaired());
  EXPECT_TRUE(Object(1).IsDictionary());
}

TEST_F(DocumentStoreTest, NewerSectionWinsAndALoopingPrevChainEnds) {
  test::PdfBuilder pdf(kHeader);
  pdf.Add("<< /Type /Catalog >>");
  pdf.Add("(old)");
  std::string text = pdf.Finish(pdf.Trailer());
  size_t firstXref = std::stoul(text.substr(text.rfind("startxref") + 10));
  // An update that replaces object 2 and whose Prev points at itself is
  // followed by another that points back to the first: the chain loops.
  size_t object2 = text.size();
  text += "2 0 obj\n(new)\nendobj\n";
  size_t update = text.size();
  char entry[32];
  std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", object2);
  text += std::string("xref\n2 1\n") + entry + "trailer\n<< /Size 3 /Root 1 0 R /Prev " + std::to_string(firstXref) +
          " >>\n";
  size_t loop = text.size();
  text += "xref\n0 0\ntrailer\n<< /Size 3 /Root 1 0 R /Prev " + std::to_string(update) + " >>\n";
  // The first section's trailer is rewritten to point at the loop.
  text += "startxref\n" + std::to_string(update) + "\n%%EOF\n";
  ASSERT_EQ(Open(text), -1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(Object(2).Bytes()), Object(2).Length()), "new");
  EXPECT_TRUE(Object(1).IsDictionary());

  // Now a chain update -> loop -> update ...
  std::string looping = text.substr(0, text.rfind("startxref"));
  looping.replace(looping.find("/Prev " + std::to_string(firstXref)), 6 + std::to_string(firstXref).size(),
                  "/Prev " + std::to_string(loop));
  looping += "startxref\n" + std::to_string(update) + "\n%%EOF\n";
  ASSERT_EQ(Open(looping), -1);
  // The root is only in the unreachable first section: no hang, and the
  // file is repaired, the newest definitions winning.
  EXPECT_TRUE(store_->IsRepaired());
  EXPECT_TRUE(Object(1).IsDictionary());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(Object(2).Bytes()), Object(2).Length()), "new");
}

std::string XRefStreamFile(const std::string& objstmBody, int objstmN, int objstmFirst, bool selfReference) {
  std::string text = "%PDF-1.5\n";
  size_t o1 = text.size();
  text += "1 0 obj\n<< /Type /Catalog >>\nendobj\n";
  size_t o2 = text.size();
  text += "2 0 obj\n<< /Type /ObjStm /N " + std::to_string(objstmN) + " /First " + std::to_string(objstmFirst) +
          " /Length " + std::to_string(objstmBody.size()) + " >>\nstream\n" + objstmBody + "\nendstream\nendobj\n";
  size_t o4 = text.size();
  // W [1 2 1]: type, offset (or stream number), generation (or index).
  std::string entries;
  auto add = [&](int type, size_t field2, int field3) {
    entries += static_cast<char>(type);
    entries += static_cast<char>((field2 >> 8) & 0xFF);
    entries += static_cast<char>(field2 & 0xFF);
    entries += static_cast<char>(field3);
  };
  add(0, 0, 0);
  add(1, o1, 0);
  add(1, o2, 0);
  add(2, selfReference ? 3 : 2, 0);  // object 3 lives in object stream 2 (or, broken, in itself)
  add(1, o4, 0);
  text += "4 0 obj\n<< /Type /XRef /Size 5 /W [1 2 1] /Root 1 0 R /Length " + std::to_string(entries.size()) +
          " >>\nstream\n" + entries + "\nendstream\nendobj\n";
  text += "startxref\n" + std::to_string(o4) + "\n%%EOF\n";
  return text;
}

TEST_F(DocumentStoreTest, ObjectsInsideObjectStreams) {
  ASSERT_EQ(Open(XRefStreamFile("3 0 [1 2 3]", 1, 4, false)), -1);
  Value array = Object(3);
  ASSERT_TRUE(array.IsArray());
  EXPECT_EQ(ArraySize(context_, array), 3u);
  EXPECT_TRUE(Get(context_, Object(1), "Type").NameIs("Catalog"));
  // An object stream that claims to hold itself resolves to nothing.
  ASSERT_EQ(Open(XRefStreamFile("3 0 [1 2 3]", 1, 4, true)), -1);
  EXPECT_TRUE(Object(3).IsNull());
}

// A cross-reference stream that does not list itself (Size 4, object 4) is
// still an object of the file, as qpdf reads it.
TEST_F(DocumentStoreTest, CrossReferenceStreamThatDoesNotListItself) {
  std::string text = XRefStreamFile("3 0 [1 2 3]", 1, 4, false);
  text.replace(text.find("/Size 5"), 7, "/Size 4");
  ASSERT_EQ(Open(text), -1);
  EXPECT_TRUE(Get(context_, Object(4), "Type").NameIs("XRef"));
  EXPECT_TRUE(Object(5).IsNull());
  EXPECT_FALSE(store_->IsRepaired());
}

TEST_F(DocumentStoreTest, CrossReferenceStreamWithZeroTypeWidthGivesObjectsInUse) {
  std::string text = "%PDF-1.5\n";
  size_t o1 = text.size();
  text += "1 0 obj\n<< /Type /Catalog >>\nendobj\n";
  size_t o2 = text.size();
  std::string entries;
  for (size_t o : {size_t{0}, o1, o2}) {
    entries += static_cast<char>((o >> 8) & 0xFF);
    entries += static_cast<char>(o & 0xFF);
    entries += '\0';
  }
  text += "2 0 obj\n<< /Type /XRef /Size 3 /W [0 2 1] /Root 1 0 R /Length " + std::to_string(entries.size()) +
          " >>\nstream\n" + entries + "\nendstream\nendobj\nstartxref\n" + std::to_string(o2) + "\n%%EOF\n";
  ASSERT_EQ(Open(text), -1);
  EXPECT_TRUE(Get(context_, Object(1), "Type").NameIs("Catalog"));
}

// A cross-reference stream section holds the store of its decoded entries
// and that store's decoders: its accounted size covers what they take from
// the budget, the inflater's window included once entries were read.
TEST_F(DocumentStoreTest, ACrossReferenceStreamSectionCountsItsDecoders) {
  std::string text = "%PDF-1.5\n";
  const size_t o1 = text.size();
  text += "1 0 obj\n<< /Type /Catalog >>\nendobj\n";
  const size_t o2 = text.size();
  // Enough entries that inflating them takes more than one call, as real
  // sections do (only then does zlib take its window).
  constexpr int kEntries = 3000;
  std::string entries;
  for (int n = 0; n < kEntries; ++n) {
    const size_t o = n == 1 ? o1 : n == 2 ? o2 : 0;
    entries += static_cast<char>(o == 0 ? 0 : 1);
    entries += static_cast<char>((o >> 8) & 0xFF);
    entries += static_cast<char>(o & 0xFF);
    entries += static_cast<char>(n * 7);
  }
  const std::vector<uint8_t> encoded = test::Encoded("FlateDecode", std::vector<uint8_t>(entries.begin(), entries.end()));
  const std::string packed(encoded.begin(), encoded.end());
  text += "2 0 obj\n<< /Type /XRef /Size " + std::to_string(kEntries) +
          " /W [1 2 1] /Root 1 0 R /Filter /FlateDecode /Length " +
          std::to_string(packed.size()) + " >>\nstream\n" + packed + "\nendstream\nendobj\nstartxref\n" +
          std::to_string(o2) + "\n%%EOF\n";
  ASSERT_EQ(Open(text), -1);
  EXPECT_TRUE(Get(context_, Object(1), "Type").NameIs("Catalog"));

  // A second section over the same bytes, measured by the budget (less what
  // the caches account for themselves: the decoded blocks).
  auto heldBySection = [&](uint32_t inUse, uint32_t cached) {
    return (context_.Budget().BytesInUse() - inUse) - (context_.Caches().TotalBytes() - cached);
  };
  const uint32_t inUse = context_.Budget().BytesInUse();
  const uint32_t cached = context_.Caches().TotalBytes();
  Ref<XRefGoodSection> section(context_, static_cast<XRefGoodSection*>(LoadSection(*store_, o2)));
  EXPECT_GE(section->GetMemorySize(), heldBySection(inUse, cached));
  XRefEntry read[3];
  section->DecodeEntries(0, read, 3);
  EXPECT_EQ(read[1].offset, o1);
  section->DecodeEntries(4 * (kEntries - 1), read, 1);
  EXPECT_EQ(read[0].kind, kFree);
  const uint32_t reading = heldBySection(inUse, cached);
  EXPECT_GT(reading, 32768u);  // the inflater's window
  EXPECT_GE(section->GetMemorySize(), reading);
  EXPECT_LT(section->GetMemorySize(), reading + 4096);
}

// A dictionary that only looks like linearization data leaves the file
// read through "startxref" (the real thing is checked on corpus files).
TEST_F(DocumentStoreTest, LinearizationNeedsAVersionBelowTwoAndTheTrueLength) {
  auto build = [](const std::string& version, const std::string& length) {
    test::PdfBuilder pdf(kHeader);
    pdf.Add("<< /Linearized " + version + " /L " + length + " /N 1 >>");
    pdf.Add("<< /Type /Catalog >>");
    return pdf.Finish(pdf.Trailer());
  };
  std::string text = build("2.0", "00000");
  text = build("2.0", std::to_string(text.size()));
  ASSERT_EQ(Open(text), -1);
  EXPECT_FALSE(store_->IsLinearized());
  ASSERT_EQ(Open(build("1.0", "12345")), -1);
  EXPECT_FALSE(store_->IsLinearized());
  EXPECT_TRUE(Get(context_, Object(2), "Type").NameIs("Catalog"));
}

TEST_F(DocumentStoreTest, EverythingIsRebuiltAfterAPurgeBetweenFetches) {
  std::string path = std::string(FOLIO_SOURCE_DIR) + "/samples/hello.pdf";
  std::vector<std::string> first;
  std::wstring wide(path.begin(), path.end());
  store_.Reset();
  ASSERT_EQ(test::RaisedCode(context_,
                             [&] {
                               auto* file = New<data_io::FileDataStore>(context_, context_, wide.c_str());
                               store_.Set(OpenDocument(context_, file));
                             }),
            -1);
  auto describe = [&](int32_t n) {
    Value v = Object(n);
    std::string d = std::to_string(v.type);
    if (v.IsDictionary()) d += ":" + std::to_string(v.container->Size());
    if (StreamDataOffset(v) != 0) d += ":" + StreamText(n);
    return d;
  };
  for (int32_t n = 1; n <= 8; ++n) first.push_back(describe(n));
  for (int32_t n = 1; n <= 8; ++n) {
    held_.Reset();
    context_.Caches().LowMemory();
    EXPECT_EQ(describe(n), first[n - 1]) << "object " << n;
  }
  EXPECT_NE(first[5].find("Page two"), std::string::npos);  // the Flate content stream
}

// Every corpus file that is not marked broken or AES-encrypted opens, and
// every object its cross-reference data lists resolves without error.
TEST(DocumentStoreCorpus, OpensAndResolvesEveryObject) {
  auto files = test::CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "corpus absent";
  int opened = 0, failed = 0, objects = 0, objectErrors = 0, skipped = 0, linearized = 0;
  for (const auto& f : files) {
    if (!test::EngineCanOpen(f)) {
      ++skipped;
      continue;
    }
    AppContext context;
    Owned<DocumentStore> store(context);
    int32_t code = test::OpenCorpusDocument(context, f, store);
    if (code != -1) {
      ++failed;
      ADD_FAILURE() << f.name << " does not open: code " << code;
      continue;
    }
    ++opened;
    if (store->IsLinearized()) ++linearized;
    Value size = Get(context, store->Trailer(), "Size");
    int32_t count = size.IsInteger() ? size.i : 0;
    if (count > 20000) count = 20000;
    for (int32_t n = 1; n < count; ++n) {
      Ref<ParsedObject> held(context);
      if (test::RaisedCode(context, [&] { store->GetObject(held, n); }) != -1) {
        ++objectErrors;
        if (objectErrors < 20) ADD_FAILURE() << f.name << " object " << n << " does not parse";
      }
      ++objects;
    }
  }
  std::printf("corpus: %d opened (%d linearized), %d failed, %d skipped; %d objects fetched, %d errors\n", opened,
              linearized, failed, skipped, objects, objectErrors);
  EXPECT_GT(linearized, 0);
}

}  // namespace
}  // namespace vn::pdf::store
