#include <gtest/gtest.h>

#include <string>

#include "data_io/file_data_store.h"
#include "pdf/content/dl_player.h"
#include "pdf/document/document.h"
#include "support/pdf_builder.h"
#include "support/test_context.h"
#include "support/test_documents.h"

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

// Counts the XObjects a list draws, by kind.
struct XObjectCounter final : content::DLConsumer {
  void DrawFormXObject(const content::DLName&, const FixedMatrix&, const FixedRect&) override { ++forms; }
  void DrawImageXObject(const content::DLName&) override { ++images; }
  int forms = 0;
  int images = 0;
};

// A form without resources of its own draws with its invoker's: used from
// two pages whose /Im differ, it has a list for each. A form with its own
// resources has one list, whoever invokes it.
TEST(DisplayListCache, FormsWithoutResourcesGetAListPerInvokersResources) {
  test::PdfBuilder pdf;
  pdf.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
  pdf.Add(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>");
  const std::string page = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 99 99] /Contents 9 0 R ";
  pdf.Add(3, page + "/Resources << /XObject << /Fm 5 0 R /Own 8 0 R /Im 6 0 R >> >> >>");
  pdf.Add(4, page + "/Resources << /XObject << /Fm 5 0 R /Own 8 0 R /Im 7 0 R >> >> >>");
  pdf.Add(5, "<< /Subtype /Form /BBox [0 0 9 9] /Length 6 >>\nstream\n/Im Do\nendstream");
  pdf.Add(6, "<< /Subtype /Image /Width 1 /Height 1 /BitsPerComponent 8 /ColorSpace /DeviceGray /Length 1 >>\n"
             "stream\nx\nendstream");
  pdf.Add(7, "<< /Subtype /Form /BBox [0 0 9 9] /Length 0 >>\nstream\n\nendstream");
  pdf.Add(8, "<< /Subtype /Form /BBox [0 0 9 9] /Resources << /XObject << /Im 6 0 R >> >> /Length 6 >>\n"
             "stream\n/Im Do\nendstream");
  pdf.Add(9, "<< /Length 14 >>\nstream\n/Fm Do /Own Do\nendstream");
  const std::string bytes = pdf.Finish(pdf.Trailer());
  AppContext context;
  Owned<store::DocumentStore> store(context);
  ASSERT_EQ(test::OpenMemoryDocument(context, bytes, store), -1);
  int32_t code = test::RaisedCode(context, [&] {
    Scoped<Document> doc(context, *store);
    Ref<PageDisplayList> first(context);
    Ref<PageDisplayList> second(context);
    doc->GetPageDisplayList(first, 0);
    doc->GetPageDisplayList(second, 1);
    auto drawn = [&](FormDisplayList& form) {
      XObjectCounter counter;
      content::DLPlayer player(form, counter);
      player.Play();
      return std::make_pair(counter.images, counter.forms);
    };
    Ref<FormDisplayList> fromFirst(context);
    Ref<FormDisplayList> fromSecond(context);
    doc->GetFormDisplayList(fromFirst, ObjectId{5, 0}, *first->Record());
    doc->GetFormDisplayList(fromSecond, ObjectId{5, 0}, *second->Record());
    EXPECT_NE(fromFirst.get(), fromSecond.get());
    EXPECT_EQ(drawn(*fromFirst), std::make_pair(1, 0));
    EXPECT_EQ(drawn(*fromSecond), std::make_pair(0, 1));
    Ref<FormDisplayList> again(context);
    doc->GetFormDisplayList(again, ObjectId{5, 0}, *first->Record());
    EXPECT_EQ(again.get(), fromFirst.get());

    Ref<FormDisplayList> ownFirst(context);
    Ref<FormDisplayList> ownSecond(context);
    doc->GetFormDisplayList(ownFirst, ObjectId{8, 0}, *first->Record());
    doc->GetFormDisplayList(ownSecond, ObjectId{8, 0}, *second->Record());
    EXPECT_EQ(ownFirst.get(), ownSecond.get());
    EXPECT_EQ(drawn(*ownSecond), std::make_pair(1, 0));
  });
  EXPECT_EQ(code, -1);
}

}  // namespace
}  // namespace vn::pdf::document
