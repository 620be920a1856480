#include <gtest/gtest.h>

#include <string>

#include "data_io/file_data_store.h"
#include "pdf/content/dl_player.h"
#include "pdf/document/document.h"
#include "support/test_context.h"

namespace vn::pdf::document {
namespace {

const std::string kSample = std::string(FOLIO_SOURCE_DIR) + "/samples/hello.pdf";

TEST(DisplayListCache, ListsAreBuiltOnDemandKeptWhileHeldAndRebuiltAfterAPurge) {
  AppContext context;
  std::wstring path(kSample.begin(), kSample.end());
  int32_t code = test::RaisedCode(context, [&] {
    Owned<store::DocumentStore> store(
        context, store::OpenDocument(context, New<data_io::FileDataStore>(context, context, path.c_str())));
    Scoped<Document> doc(context, *store);
    EXPECT_EQ(doc->PageCount(), 2);
    Ref<PageDisplayList> first(context);
    doc->GetPageDisplayList(first, 0);
    EXPECT_EQ(first->EntryCount(), 0u);  // nothing parsed until replayed
    content::DLConsumer nothing;
    {
      content::DLPlayer player(*first, nothing);
      player.Play();
    }
    EXPECT_TRUE(first->IsComplete());
    uint32_t entries = first->EntryCount();
    EXPECT_GT(entries, 0u);
    // The next lookup accounts for what the list grew to while it was replayed.
    const uint32_t cachedBefore = context.Caches().TotalBytes();
    Ref<PageDisplayList> again(context);
    doc->GetPageDisplayList(again, 0);
    EXPECT_EQ(again.get(), first.get());
    EXPECT_GT(context.Caches().TotalBytes(), cachedBefore);
    context.Caches().LowMemory();  // held: stays
    doc->GetPageDisplayList(again, 0);
    EXPECT_EQ(again.get(), first.get());
    Ref<PageDisplayList> other(context);
    doc->GetPageDisplayList(other, 1);
    EXPECT_NE(other.get(), first.get());
    first.Reset();
    again.Reset();
    other.Reset();
    EXPECT_EQ(doc->PageLists().EntryCount(), 2u);
    context.Caches().LowMemory();  // nobody holds them: purged
    EXPECT_EQ(doc->PageLists().EntryCount(), 0u);
    doc->GetPageDisplayList(first, 0);
    first->PopulateAll();
    EXPECT_EQ(first->EntryCount(), entries);
    EXPECT_EQ(test::RaisedCode(context, [&] { doc->GetPageDisplayList(other, 2); }), kBadData);
  });
  EXPECT_EQ(code, -1);
}

}  // namespace
}  // namespace vn::pdf::document
