#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "data_io/buffered_stream.h"
#include "data_io/raw_data_store.h"
#include "data_io/data_store_stream.h"
#include "pdf/content/content_record.h"
#include "pdf/document/page_content_record.h"
#include "pdf/document/page_contents.h"
#include "pdf/document/page_tree.h"
#include "runtime/engine_new.h"
#include "pdf/store/parse_object.h"
#include "runtime/app_context.h"
#include "support/test_context.h"

namespace vn::pdf::document {
namespace {

// Objects given as PDF syntax, parsed on first use into one arena.
class FakeResolver : public ObjectResolver {
 public:
  explicit FakeResolver(AppContext& context) : context_(context), arena_(context, 1024, 256) {}
  void Add(int number, const std::string& text) { texts_[number] = text; }
  void SetLinearization(const std::string& text) { linearization_ = text; }

  AppContext& Context() override { return context_; }
  void GetIndirectObject(const ObjectId& id, ResolvedValue& out) override {
    auto it = texts_.find(id.number);
    if (it == texts_.end()) return out.Clear();
    out.Set(Parse(it->second), nullptr);
  }
  void GetCatalog(ResolvedValue& out) override { GetIndirectObject(ObjectId{1, 0}, out); }
  void GetLinearizationDictionary(ResolvedValue& out) override {
    if (linearization_.empty()) return out.Clear();
    out.Set(Parse(linearization_), nullptr);
  }
  // A stream's data is the text after its "stream" line, up to "endstream".
  data_io::DataBlockStream* OpenStreamData(const ResolvedValue& stream) override {
    const std::string& data = data_[stream.Get().container];
    auto* store = New<data_io::RawDataStore>(context_, 
        context_, reinterpret_cast<const uint8_t*>(data.data()), data.size());
    return New<data_io::DataStoreStream>(context_, context_, store, true);
  }
  Value Parse(const std::string& text) {
    keep_.push_back(std::make_unique<std::string>(text));
    const std::string& t = *keep_.back();
    stores_.push_back(std::make_unique<data_io::RawDataStore>(
        context_, reinterpret_cast<const uint8_t*>(t.data()), t.size()));
    data_io::BufferedDataStore in(context_, stores_.back().get(), 0);
    Value v = store::ParseObject(in, arena_, nullptr);
    size_t at = t.find("stream\n");
    if (v.IsDictionary() && at != std::string::npos) {
      data_[v.container] = t.substr(at + 7, t.find("endstream") - at - 7);
    }
    return v;
  }

 private:
  AppContext& context_;
  Arena arena_;
  std::map<int, std::string> texts_;
  std::string linearization_;
  std::vector<std::unique_ptr<std::string>> keep_;
  std::vector<std::unique_ptr<data_io::RawDataStore>> stores_;
  std::map<const void*, std::string> data_;
};

class PageTreeTest : public ::testing::Test {
 protected:
  // Catalog 1, root 2 with a node 3 (no Type, Count 2: pages 4, 5), a kid of
  // another type 6 (a page, where it stands, as other viewers read it) and
  // page 7, beyond the root's Count 3.
  void BuildTree() {
    r_.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    r_.Add(2, "<< /Type /Pages /Kids [3 0 R 6 0 R 7 0 R] /Count 3 /MediaBox [0 0 100 200] >>");
    r_.Add(3, "<< /Kids [4 0 R 5 0 R] /Count 2 /Parent 2 0 R /Rotate 90 >>");
    r_.Add(4, "<< /Type /Page /Parent 3 0 R >>");
    r_.Add(5, "<< /Parent 3 0 R /Rotate -90 /CropBox [-10 -10 1000 1000] >>");
    r_.Add(6, "<< /Type /Thumbnail /Parent 2 0 R >>");
    r_.Add(7, "<< /Type /Page /Parent 2 0 R /Rotate 450 /MediaBox [10 20 0 0] >>");
  }
  PageGeometry Geometry(const std::string& text) {
    ResolvedValue page(context_);
    page.Set(r_.Parse(text), nullptr);
    return GetPageGeometry(r_, page);
  }
  AppContext context_;
  FakeResolver r_{context_};
};

TEST_F(PageTreeTest, CountLookupAndIndexAgree) {
  BuildTree();
  EXPECT_EQ(GetPageCount(r_), 3);
  const int expected[] = {4, 5, 6, 7};
  for (int i = 0; i < 4; ++i) {
    ObjectId id = GetPageReference(r_, i);
    EXPECT_EQ(id.number, expected[i]);
    EXPECT_EQ(GetPageIndex(r_, id), i);
  }
  EXPECT_EQ(test::RaisedCode(context_, [&] { GetPageReference(r_, 4); }), kBadData);
  r_.SetLinearization("<< /Linearized 1 /N 9 >>");
  EXPECT_EQ(GetPageCount(r_), 9);
}

TEST_F(PageTreeTest, InheritedGeometryAndRotation) {
  BuildTree();
  ResolvedValue page(context_);
  r_.GetIndirectObject(ObjectId{5, 0}, page);
  PageGeometry g = GetPageGeometry(r_, page);
  EXPECT_EQ(g.rotation, 270);  // -90
  EXPECT_EQ(g.visible.x1, IntToFixed(100));  // CropBox clipped to the inherited MediaBox
  EXPECT_EQ(g.visible.y1, IntToFixed(200));
  EXPECT_EQ(g.visible.x0, 0);
  // Rotate 270: the matrix of a rotation by 90, then moved to the origin.
  EXPECT_EQ(g.upright, (FixedMatrix{0, kFixedOne, -kFixedOne, 0, IntToFixed(200), 0}));
  r_.GetIndirectObject(ObjectId{7, 0}, page);
  g = GetPageGeometry(r_, page);
  EXPECT_EQ(g.rotation, 90);  // 450
  EXPECT_EQ(g.mediaBox.x0, 0);
  EXPECT_EQ(g.mediaBox.x1, IntToFixed(10));  // normalised
  EXPECT_EQ(g.upright, (FixedMatrix{0, -kFixedOne, kFixedOne, 0, 0, IntToFixed(10)}));
  r_.GetIndirectObject(ObjectId{4, 0}, page);
  EXPECT_EQ(GetPageGeometry(r_, page).rotation, 90);  // from node 3

  g = Geometry("<< /Type /Page >>");
  EXPECT_EQ(g.visible.x1, IntToFixed(612));
  EXPECT_EQ(g.visible.y1, IntToFixed(792));
  EXPECT_TRUE(IsIdentity(g.upright));
}

TEST_F(PageTreeTest, UserUnitIsReadWhenItIsAUsableSize) {
  EXPECT_EQ(Geometry("<< /Type /Page >>").userUnit, kFixedOne);
  EXPECT_EQ(Geometry("<< /UserUnit 1.5 >>").userUnit, kFixedOne + kFixedOne / 2);
  EXPECT_EQ(Geometry("<< /UserUnit 72 >>").userUnit, IntToFixed(72));
  for (const char* page : {"<< /UserUnit 0 >>", "<< /UserUnit -2 >>", "<< /UserUnit (2) >>", "<< /UserUnit 5000 >>",
                           "<< /UserUnit 0.001 >>"}) {
    EXPECT_EQ(Geometry(page).userUnit, kFixedOne) << page;
  }
}

// Boxes and rotations other viewers show anyway: a MediaBox that is
// missing, malformed or of zero area is US Letter (as pdfinfo shows it);
// a malformed CropBox is no crop; a Rotate off the quarter turns is taken to
// the nearest one, and one that is no whole number is none.
TEST_F(PageTreeTest, DamagedBoxesAndRotationsFallBack) {
  const FixedRect letter{0, 0, IntToFixed(612), IntToFixed(792)};
  for (const char* page : {"<< /MediaBox [0 0 1] >>", "<< /MediaBox [0 0 612 (x)] >>", "<< /MediaBox 5 >>",
                           "<< /MediaBox [0 0 0 0] >>", "<< /MediaBox [10 10 10 500] >>",
                           "<< /MediaBox [0 0 612 0] >>"}) {
    PageGeometry g = Geometry(page);
    EXPECT_EQ(g.mediaBox, letter) << page;
    EXPECT_EQ(g.visible, letter) << page;
  }
  EXPECT_GT(Geometry("<< /MediaBox [0 0 0.5 0.5] >>").mediaBox.x1, 0x7F00);  // small is not empty
  PageGeometry g = Geometry("<< /MediaBox 5 /CropBox [0 0 50 50] >>");
  EXPECT_EQ(g.visible, (FixedRect{0, 0, IntToFixed(50), IntToFixed(50)}));
  EXPECT_EQ(Geometry("<< /CropBox [1 2] >>").visible, letter);
  const std::pair<const char*, int32_t> rotations[] = {{"44", 0},  {"45", 90},   {"-91", 270},  {"359", 0},
                                                       {"91", 90}, {"180.0", 180}, {"180.5", 0}, {"(x)", 0}};
  for (const auto& [rotate, expected] : rotations) {
    EXPECT_EQ(Geometry(std::string("<< /Rotate ") + rotate + " >>").rotation, expected) << rotate;
  }
}

TEST_F(PageTreeTest, ParentLoopEndsWithBadData) {
  r_.Add(1, "<< /Pages 2 0 R >>");
  r_.Add(2, "<< /Type /Pages /Kids [2 0 R] /Count 1 /Parent 3 0 R >>");
  r_.Add(3, "<< /Type /Pages /Kids [2 0 R] /Count 1 /Parent 2 0 R >>");
  ResolvedValue node(context_);
  r_.GetIndirectObject(ObjectId{2, 0}, node);
  ResolvedValue out(context_);
  EXPECT_EQ(test::RaisedCode(context_, [&] { GetInheritedAttribute(r_, node, "MediaBox", out); }),
            kBadData);
  EXPECT_EQ(test::RaisedCode(context_, [&] { GetPageIndex(r_, ObjectId{2, 0}); }), kBadData);
  EXPECT_EQ(test::RaisedCode(context_, [&] { GetPageReference(r_, 0); }), kBadData);
}

// Node 10 + k has parent 11 + k; the last of `length` nodes holds the key.
TEST_F(PageTreeTest, InheritanceBudgetExaminesAtMost999Dictionaries) {
  for (int length : {999, 1000}) {
    FakeResolver r(context_);
    for (int k = 0; k < length - 1; ++k) {
      r.Add(10 + k, "<< /Parent " + std::to_string(11 + k) + " 0 R >>");
    }
    r.Add(10 + length - 1, "<< /Rotate 90 >>");
    ResolvedValue node(context_);
    r.GetIndirectObject(ObjectId{10, 0}, node);
    ResolvedValue out(context_);
    const int32_t code =
        test::RaisedCode(context_, [&] { GetInheritedAttribute(r, node, "Rotate", out); });
    EXPECT_EQ(code, length == 999 ? -1 : kBadData) << length;
  }
}

TEST_F(PageTreeTest, ResourceLookup) {
  ResolvedValue resources(context_);
  resources.Set(r_.Parse("<< /Font << /F1 8 0 R /F2 null >> >>"), nullptr);
  r_.Add(8, "<< /Type /Font >>");
  ResolvedValue out(context_);
  ObjectId id{};
  LookupResource(r_, resources, "Font", reinterpret_cast<const uint8_t*>("F1"), 2, out, &id);
  EXPECT_EQ(id.number, 8);
  EXPECT_TRUE(IsDictionary(out.Get()));
  auto code = [&](const char* cat, const char* name) {
    return test::RaisedCode(context_, [&] {
      LookupResource(r_, resources, cat, reinterpret_cast<const uint8_t*>(name),
                     static_cast<uint32_t>(strlen(name)), out, nullptr);
    });
  };
  EXPECT_EQ(code("Font", "F2"), kBadData);
  EXPECT_EQ(code("Font", "F3"), kBadData);
  EXPECT_EQ(code("XObject", "F1"), kBadData);
  resources.Clear();
  EXPECT_EQ(code("Font", "F1"), kBadData);
}

std::string ReadAll(AppContext& context, data_io::DataBlockStream* stream) {
  Owned<data_io::DataBlockStream> owner(context, stream);
  std::string text;
  data_io::DataBlockRef block(context);
  for (;;) {
    owner->GetNextBlock(block);
    if (block.Empty()) break;
    text.append(reinterpret_cast<const char*>(block.Data()), block.Length());
  }
  return text;
}

TEST_F(PageTreeTest, ContentsJoinedWithOneSpace) {
  r_.Add(8, "<< /Length 5 >> stream\n0 0 mendstream");
  r_.Add(9, "<< /Length 5 >> stream\n5 5 lendstream");
  ResolvedValue page(context_);
  page.Set(r_.Parse("<< /Contents [8 0 R 9 0 R] >>"), nullptr);
  EXPECT_EQ(ReadAll(context_, OpenPageContents(r_, page)), "0 0 m 5 5 l");
  page.Set(r_.Parse("<< /Contents [9 0 R] >>"), nullptr);
  EXPECT_EQ(ReadAll(context_, OpenPageContents(r_, page)), "5 5 l");
  page.Set(r_.Parse("<< /Contents 8 0 R >>"), nullptr);
  EXPECT_EQ(ReadAll(context_, OpenPageContents(r_, page)), "0 0 m");
  page.Set(r_.Parse("<< /Type /Page >>"), nullptr);
  EXPECT_EQ(ReadAll(context_, OpenPageContents(r_, page)), "");
  page.Set(r_.Parse("<< /Contents 5 >>"), nullptr);
  EXPECT_EQ(test::RaisedCode(context_, [&] { OpenPageContents(r_, page); }), kBadData);
}

TEST_F(PageTreeTest, FormWithoutResourcesUsesTheInvokingPages) {
  r_.Add(2, "<< /Type /Pages /Kids [4 0 R] /Count 1 /Resources << /XObject << /X 8 0 R >> >> >>");
  r_.Add(4, "<< /Type /Page /Parent 2 0 R /Contents 8 0 R >>");
  r_.Add(8, "<< /Subtype /Form /BBox [0 0 10 10] >> stream\n0 0 mendstream");
  Ref<PageContentRecord> page(context_, New<PageContentRecord>(context_, r_, ObjectId{4, 0}));
  EXPECT_TRUE(IsDictionary(page->Resources().Get()));  // inherited
  EXPECT_EQ(ReadAll(context_, page->OpenContentStream()), "0 0 m");
  ResolvedValue form(context_);
  ObjectId id{};
  LookupResource(r_, page->Resources(), "XObject", reinterpret_cast<const uint8_t*>("X"), 1, form,
                 &id);
  Ref<content::FormXObjectContentRecord> record(
      context_, New<content::FormXObjectContentRecord>(context_, r_, form, *page));
  EXPECT_EQ(record->Resources().Get().container, page->Resources().Get().container);
  EXPECT_EQ(record->FallbackResources().Get().container, page->Resources().Get().container);
  EXPECT_TRUE(IsIdentity(record->Matrix()));
  EXPECT_EQ(record->BBox().x1, IntToFixed(10));
  EXPECT_EQ(ReadAll(context_, record->OpenContentStream()), "0 0 m");
}

}  // namespace
}  // namespace vn::pdf::document
