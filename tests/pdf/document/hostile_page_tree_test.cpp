// Hostile page trees read through an open document: kids and parents that
// loop, counts that lie, contents and boxes that refer back to themselves.
// Every walk ends with kBadData or a graceful result.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "pdf/document/page_contents.h"
#include "pdf/document/page_tree.h"
#include "pdf/document/store_resolver.h"
#include "pdf/store/document_store.h"
#include "support/pdf_builder.h"
#include "support/test_context.h"
#include "support/test_documents.h"

namespace vn::pdf::document {
namespace {

// A file of numbered objects with a classic table; object 1 is the catalog.
std::string BuildFile(const std::map<int, std::string>& objects) {
  test::PdfBuilder pdf("%PDF-1.4\n");
  for (const auto& [number, body] : objects) pdf.Add(number, body);
  return pdf.Finish(pdf.Trailer());
}

// The store's resolver, counting the objects asked for.
class CountingResolver final : public ObjectResolver {
 public:
  explicit CountingResolver(store::DocumentStore& store) : inner_(store) {}
  AppContext& Context() override { return inner_.Context(); }
  void GetIndirectObject(const ObjectId& id, ResolvedValue& out) override {
    ++fetches;
    inner_.GetIndirectObject(id, out);
  }
  void GetCatalog(ResolvedValue& out) override { inner_.GetCatalog(out); }
  void GetLinearizationDictionary(ResolvedValue& out) override { inner_.GetLinearizationDictionary(out); }
  data_io::DataBlockStream* OpenStreamData(const ResolvedValue& stream) override {
    return inner_.OpenStreamData(stream);
  }
  uint64_t fetches = 0;

 private:
  StoreResolver inner_;
};

class HostilePageTreeTest : public ::testing::Test {
 protected:
  void Open(const std::map<int, std::string>& objects) {
    data_ = BuildFile(objects);
    store_.Reset();
    ASSERT_EQ(test::OpenMemoryDocument(context_, data_, store_), -1);
    resolver_ = std::make_unique<CountingResolver>(*store_);
  }
  int32_t Lookup(int32_t index, ObjectId* id = nullptr) {
    return test::RaisedCode(context_, [&] {
      ObjectId found = GetPageReference(*resolver_, index);
      if (id != nullptr) *id = found;
    });
  }
  // Reads page `number`'s geometry and contents to the end.
  int32_t ReadPage(int32_t number, std::string* contents = nullptr) {
    return test::RaisedCode(context_, [&] {
      ResolvedValue page(context_);
      resolver_->GetIndirectObject(ObjectId{number, 0}, page);
      GetPageGeometry(*resolver_, page);
      Owned<data_io::DataBlockStream> stream(context_, OpenPageContents(*resolver_, page));
      data_io::DataBlockRef block(context_);
      for (stream->GetNextBlock(block); !block.Empty(); stream->GetNextBlock(block)) {
        if (contents != nullptr) contents->append(reinterpret_cast<const char*>(block.Data()), block.Length());
      }
    });
  }
  void TearDown() override {
    resolver_.reset();
    store_.Reset();
    context_.Caches().LowMemory();
    EXPECT_EQ(context_.Budget().BytesInUse(), baseline_);
  }

  AppContext context_;
  uint32_t baseline_ = context_.Budget().BytesInUse();
  std::string data_;
  Owned<store::DocumentStore> store_{context_};
  std::unique_ptr<CountingResolver> resolver_;
};

TEST_F(HostilePageTreeTest, KidsThatLoopEndWithBadData) {
  // 2 -> 3 -> 2, with counts that keep the descent going.
  Open({{1, "<< /Type /Catalog /Pages 2 0 R >>"},
        {2, "<< /Type /Pages /Kids [3 0 R] /Count 5 >>"},
        {3, "<< /Type /Pages /Kids [2 0 R] /Count 5 /Parent 2 0 R >>"}});
  EXPECT_EQ(Lookup(0), kBadData);
  EXPECT_EQ(Lookup(4), kBadData);
  // Climbing from node 3 ends at the root, which has no parent.
  EXPECT_EQ(test::RaisedCode(context_, [&] { EXPECT_EQ(GetPageIndex(*resolver_, ObjectId{3, 0}), 0); }), -1);

  // A node that lists itself next to a real page: page 0 is found, page 1 is not.
  Open({{1, "<< /Type /Catalog /Pages 2 0 R >>"},
        {2, "<< /Type /Pages /Kids [3 0 R 2 0 R] /Count 2147483647 >>"},
        {3, "<< /Type /Page /Parent 2 0 R >>"}});
  ObjectId id{};
  EXPECT_EQ(Lookup(0, &id), -1);
  EXPECT_EQ(id.number, 3);
  EXPECT_EQ(Lookup(1), kBadData);
  EXPECT_EQ(Lookup(2147483646), kBadData);
}

// A loop whose nodes each have thousands of dead kids: the walk ends after
// visiting the loop once, not after the depth limit's worth of scans.
TEST_F(HostilePageTreeTest, WideKidsThatLoopEndQuickly) {
  std::string dead;
  for (int i = 0; i < 20000; ++i) dead += "4 0 R ";
  Open({{1, "<< /Type /Catalog /Pages 2 0 R >>"},
        {2, "<< /Type /Pages /Kids [" + dead + "3 0 R] /Count 1 >>"},
        {3, "<< /Type /Pages /Kids [" + dead + "2 0 R] /Count 1 >>"},
        {4, "<< /Type /Pages /Kids [] /Count 0 >>"}});
  EXPECT_EQ(Lookup(0), kBadData);
  EXPECT_LE(resolver_->fetches, 3u * 20001u);
}

TEST_F(HostilePageTreeTest, ParentLoopsThroughTheStore) {
  Open({{1, "<< /Type /Catalog /Pages 2 0 R >>"},
        {2, "<< /Type /Pages /Kids [3 0 R] /Count 1 /Parent 4 0 R >>"},
        {3, "<< /Type /Page /Parent 2 0 R >>"},
        {4, "<< /Type /Pages /Kids [2 0 R] /Count 1 /Parent 2 0 R >>"}});
  EXPECT_EQ(Lookup(0), -1);
  EXPECT_EQ(test::RaisedCode(context_, [&] { GetPageIndex(*resolver_, ObjectId{3, 0}); }), kBadData);
  // Geometry climbs the same loop looking for MediaBox: it ends.
  EXPECT_EQ(ReadPage(3), kBadData);
}

TEST_F(HostilePageTreeTest, SelfReferringContentsAndBoxes) {
  Open({{1, "<< /Type /Catalog /Pages 2 0 R >>"},
        {2, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R 6 0 R] /Count 4 >>"},
        // Contents: an array that holds itself.
        {3, "<< /Type /Page /Parent 2 0 R /Contents 7 0 R >>"},
        // MediaBox: a reference chain that comes back (8 -> 9 -> 8): absent, so the default.
        {4, "<< /Type /Page /Parent 2 0 R /MediaBox 8 0 R /Contents 10 0 R >>"},
        // Contents: the page itself.
        {5, "<< /Type /Page /Parent 2 0 R /Contents 5 0 R >>"},
        // Contents: a huge array of nulls and one real stream.
        {6, "<< /Type /Page /Parent 2 0 R /Contents [" + std::string(100000, ' ') + "null null 10 0 R] >>"},
        {7, "[7 0 R]"},
        {8, "9 0 R"},
        {9, "8 0 R"},
        {10, "<< /Length 3 >>\nstream\nq Q\nendstream"}});
  EXPECT_EQ(ReadPage(3), kBadData);
  std::string text;
  EXPECT_EQ(ReadPage(4, &text), -1);
  EXPECT_EQ(text, "q Q");
  EXPECT_EQ(ReadPage(5), kBadData);
  text.clear();
  EXPECT_EQ(ReadPage(6, &text), -1);
  EXPECT_EQ(text, "q Q");
}

TEST_F(HostilePageTreeTest, CountsThatLie) {
  Open({{1, "<< /Type /Catalog /Pages 2 0 R >>"},
        {2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 1000000 >>"},
        {3, "<< /Type /Pages /Kids [5 0 R] /Count -3 >>"},
        {4, "<< /Type /Pages /Kids [5 0 R] /Count 2147483647 >>"},
        {5, "<< /Type /Page /Contents 6 0 R >>"},
        {6, "<< /Length 3 >>\nstream\nq Q\nendstream"}});
  EXPECT_EQ(test::RaisedCode(context_, [&] { EXPECT_EQ(GetPageCount(*resolver_), 1000000); }), -1);
  EXPECT_EQ(Lookup(0), kBadData);  // the negative count stops the walk
  EXPECT_EQ(Lookup(999999), kBadData);
  std::string text;
  EXPECT_EQ(ReadPage(5, &text), -1);
  EXPECT_EQ(text, "q Q");
}

}  // namespace
}  // namespace vn::pdf::document
