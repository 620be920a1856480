// Content-stream bytes as the page of a small document whose resources hold
// a form (that draws itself, and the page's content), an image, an
// ExtGState, a shading and a font: the page's display list is populated and
// replayed, forms are followed a few levels deep. Any engine error is fine;
// a crash, a hang, a leak or the budget running out is a fault.
#include <cstdio>
#include <string>

#include "data_io/raw_data_store.h"
#include "fuzz/fuzz_context.h"
#include "pdf/content/dl_player.h"
#include "pdf/document/document.h"
#include "pdf/document/page_tree.h"
#include "runtime/engine_new.h"

namespace {

using vn::pdf::content::DLName;
using vn::pdf::content::DLPlayer;

constexpr int kMaxFormDepth = 4;

// The document around the content, with a correct cross-reference table.
std::string MakeDocument(const uint8_t* content, size_t size) {
  const std::string page(reinterpret_cast<const char*>(content), size);
  const std::string objects[] = {
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R /Resources << /XObject << /Fm 5 0 R "
      "/Im 6 0 R /Self 5 0 R >> /ExtGState << /G 7 0 R >> /Shading << /Sh 8 0 R >> /Font << /F1 9 0 R >> "
      "/ColorSpace << /CS0 [/Indexed /DeviceRGB 1 <FF000000FF00>] >> /Pattern << /P0 8 0 R >> >> >>",
      "<< /Length " + std::to_string(page.size()) + " >>\nstream\n" + page + "\nendstream",
      "<< /Type /XObject /Subtype /Form /BBox [0 0 10 10] /Matrix [1 0 0 1 5 5] /Length 27 >>\nstream\n"
      "q 0 0 1 rg /Fm Do 1 w Q S \nendstream",
      "<< /Type /XObject /Subtype /Image /Width 1 /Height 1 /BitsPerComponent 8 /ColorSpace /DeviceGray "
      "/Length 1 >>\nstream\n\x7f\nendstream",
      "<< /Type /ExtGState /LW 2 /LC 1 /D [[3 1] 0] /BM [/Foo /Multiply] /ca 0.5 /SMask /None /Font [9 0 R 12] >>",
      "<< /ShadingType 2 /ColorSpace /DeviceRGB /Coords [0 0 1 1] /Function << /FunctionType 2 /Domain [0 1] "
      "/N 1 >> >>",
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
  };
  std::string pdf = "%PDF-1.4\n";
  std::string xref = "xref\n0 10\n0000000000 65535 f \n";
  for (size_t i = 0; i < sizeof objects / sizeof objects[0]; ++i) {
    char entry[24];
    std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", pdf.size());
    xref += entry;
    pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const size_t start = pdf.size();
  pdf += xref + "trailer\n<< /Size 10 /Root 1 0 R >>\nstartxref\n" + std::to_string(start) + "\n%%EOF\n";
  return pdf;
}

// Follows forms into their own lists, a few levels deep; reads what each
// entry hands over.
class FollowingConsumer final : public vn::pdf::content::DLConsumer {
 public:
  FollowingConsumer(vn::pdf::document::Document& document, vn::pdf::document::DisplayList& list, int depth)
      : document_(document), list_(list), depth_(depth) {}

  void DrawFormXObject(const DLName& name, const vn::FixedMatrix&, const vn::FixedRect&) override {
    if (depth_ >= kMaxFormDepth) return;
    vn::AppContext& context = document_.Context();
    vn::pdf::document::ResolvedValue form(context);
    vn::pdf::document::ObjectId id{-1, 0};
    vn::pdf::document::LookupResource(document_.Resolver(), list_.Record()->Resources(), "XObject", name.bytes,
                                      name.length, form, &id);
    if (id.number < 0) return;
    vn::Ref<vn::pdf::document::FormDisplayList> nested(context);
    document_.GetFormDisplayList(nested, id, *list_.Record());
    FollowingConsumer inner(document_, *nested, depth_ + 1);
    DLPlayer player(*nested, inner);
    player.Play();
  }
  void PaintPath(const vn::pdf::content::DLPath& path, bool, bool, int32_t, int32_t) override {
    for (uint32_t i = 0; i < path.count; ++i) sum_ += static_cast<uint32_t>(path.points[i].x);
  }
  void ShowString(const uint8_t* bytes, uint32_t length, vn::FixedRect&) override {
    for (uint32_t i = 0; i < length; ++i) sum_ += bytes[i];
  }
  void DrawInlineImage(const vn::pdf::content::InlineImageData& image) override {
    const uint64_t bytes = static_cast<uint64_t>(image.rowBytes) * image.height;
    for (uint64_t i = 0; i < bytes; i += 61) sum_ += image.rows[i];
  }

 private:
  vn::pdf::document::Document& document_;
  vn::pdf::document::DisplayList& list_;
  int depth_;
  uint32_t sum_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string pdf = MakeDocument(data, size);
  vn::fuzz::RunGuarded([&](vn::AppContext& context) {
    auto* file = vn::New<vn::data_io::RawDataStore>(context, context, reinterpret_cast<const uint8_t*>(pdf.data()),
                                                    pdf.size());
    vn::Owned<vn::pdf::store::DocumentStore> store(context, vn::pdf::store::OpenDocument(context, file));
    vn::Scoped<vn::pdf::document::Document> document(context, *store);
    vn::Ref<vn::pdf::document::PageDisplayList> list(context);
    document->GetPageDisplayList(list, 0);
    // Twice: the second replay reads the finished list (and re-reads large paths).
    for (int round = 0; round < 2; ++round) {
      FollowingConsumer consumer(*document, *list, 0);
      DLPlayer player(*list, consumer);
      player.Play();
    }
  });
  return 0;
}
