// "Crypt" entries in the filter lists of an encrypted document's streams:
// the Identity filter hands the stream back unchanged, a named one decrypts
// it, wherever it stands in the list; a name that "CF" lacks is unsupported.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/operator_printer.h"
#include "data_io/filter_encoders.h"
#include "pdf/content/dl_player.h"
#include "pdf/document/document.h"
#include "support/crypt_documents.h"
#include "support/shell.h"
#include "support/test_context.h"
#include "support/test_documents.h"

namespace vn::pdf::store {
namespace {

const std::string kContent = test::kCryptContent;

struct Outcome {
  int32_t openCode = -1;
  int32_t streamCode = -1;
  std::string stream;     // object 4's decoded data
  int32_t pageCode = -1;  // the page list's first error, or the raise
  std::string operators;  // page 1 replayed
};

Outcome Read(const std::string& bytes) {
  AppContext context;
  Outcome out;
  {
    Owned<DocumentStore> store(context);
    out.openCode = test::OpenMemoryDocument(context, bytes, store);
    if (out.openCode != -1) return out;
    out.streamCode = test::RaisedCode(context, [&] {
      Ref<ParsedObject> object(context);
      store->GetObject(object, 4);
      Owned<data_io::DataBlockStream> stream(context, store->OpenStreamData(*object));
      data_io::DataBlockRef block(context);
      for (stream->GetNextBlock(block); !block.Empty(); stream->GetNextBlock(block)) {
        out.stream.append(reinterpret_cast<const char*>(block.Data()), block.Length());
      }
    });
    folio::cli::OperatorPrinter printer;
    int32_t listError = -1;
    out.pageCode = test::RaisedCode(context, [&] {
      Scoped<document::Document> doc(context, *store);
      Ref<document::PageDisplayList> list(context);
      doc->GetPageDisplayList(list, 0);
      content::DLPlayer player(*list, printer);
      player.Play();
      if (list->Errors().Size() != 0) listError = list->Errors()[0].code;
    });
    if (out.pageCode == -1) out.pageCode = listError;
    out.operators = printer.Text();
  }
  context.Caches().LowMemory();
  EXPECT_EQ(context.Budget().BytesInUse(), 0u);
  return out;
}

TEST(CryptFilter, IdentityAndNamedFiltersAnywhereInTheList) {
  const test::Rc4Encryption rc4;
  const std::string plain = Read(test::CryptContentDocument("", kContent, nullptr)).operators;
  ASSERT_NE(plain.find("(Plain) Tj"), std::string::npos) << plain;
  for (const test::CryptCase& c : test::CryptFilterCases(rc4)) {
    SCOPED_TRACE(c.name);
    Outcome got = Read(test::CryptContentDocument(c.entries, c.data, &rc4));
    ASSERT_EQ(got.openCode, -1);
    EXPECT_EQ(got.streamCode, -1);
    EXPECT_EQ(got.stream, kContent);
    EXPECT_EQ(got.pageCode, -1);
    EXPECT_EQ(got.operators, plain);
  }
}

// Streams without a Crypt entry under "StmF /Identity" are read as they are
// stored; a crypt filter that "CF" does not define is a clean error.
TEST(CryptFilter, IdentityStreamDefaultAndMissingFilter) {
  const test::Rc4Encryption rc4;
  Outcome identity = Read(
      test::CryptContentDocument("/Filter /FlateDecode", test::Encoded("FlateDecode", kContent), &rc4, "Identity"));
  EXPECT_EQ(identity.stream, kContent);
  EXPECT_EQ(identity.pageCode, -1);

  Outcome missing =
      Read(test::CryptContentDocument("/Filter /Crypt /DecodeParms << /Name /Missing >>", kContent, &rc4));
  ASSERT_EQ(missing.openCode, -1);
  EXPECT_EQ(missing.streamCode, kUnsupported);
  EXPECT_EQ(missing.pageCode, kUnsupported);
  EXPECT_EQ(missing.operators, "");
}

// The files are sound: qpdf takes the empty password as the user's, and
// mutool decodes the same content (qpdf itself decrypts an Identity crypt
// filter's data and a named one's twice, so its decoded data is no guide).
TEST(CryptFilter, ReferenceToolsReadTheBuiltFiles) {
  std::string version;
  if (!test::RunTool("qpdf --version", version) || !test::RunTool("mutool -v 2>&1", version)) {
    GTEST_SKIP() << "qpdf or mutool absent";
  }
  const test::Rc4Encryption rc4;
  const std::string files[] = {
      test::CryptContentDocument("/Filter /Crypt /DecodeParms << /Name /Identity >>", kContent, &rc4),
      test::CryptContentDocument("/Filter /Crypt /DecodeParms << /Name /StdCF >>", rc4.Encrypt(4, kContent), &rc4)};
  for (const std::string& bytes : files) {
    const std::string path = vn::test::ScratchPath("crypt_filter_reference" + std::to_string(&bytes - files) + ".pdf");
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    std::string out;
    test::RunTool("qpdf --check '" + path + "'", out);
    EXPECT_NE(out.find("Supplied password is user password"), std::string::npos) << out;
    EXPECT_TRUE(test::RunTool("mutool show -b '" + path + "' 4", out));
    EXPECT_EQ(out, kContent);
  }
}

// The made-up document with every filter kind (the squeeze's): each of its
// streams decodes as mutool decodes it.
TEST(CryptFilter, EveryFilterKindDecodesAsMutoolDoes) {
  std::string version;
  if (!test::RunTool("mutool -v 2>&1", version)) GTEST_SKIP() << "mutool absent";
  const std::string bytes = test::EveryFilterDocument();
  const std::string path = vn::test::ScratchPath("crypt_filter_every_filter.pdf");
  FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
  AppContext context;
  Owned<DocumentStore> store(context);
  ASSERT_EQ(test::OpenMemoryDocument(context, bytes, store), -1);
  for (int32_t number = 4; number <= 13; ++number) {
    SCOPED_TRACE(number);
    std::string ours;
    EXPECT_EQ(test::RaisedCode(context,
                               [&] {
                                 Ref<ParsedObject> object(context);
                                 store->GetObject(object, number);
                                 Owned<data_io::DataBlockStream> stream(context, store->OpenStreamData(*object));
                                 data_io::DataBlockRef block(context);
                                 for (stream->GetNextBlock(block); !block.Empty(); stream->GetNextBlock(block)) {
                                   ours.append(reinterpret_cast<const char*>(block.Data()), block.Length());
                                 }
                               }),
              -1);
    std::string theirs;
    EXPECT_TRUE(test::RunTool("mutool show -b '" + path + "' " + std::to_string(number), theirs));
    EXPECT_TRUE(ours == theirs) << ours.size() << " bytes against " << theirs.size();
  }
}

}  // namespace
}  // namespace vn::pdf::store
