// Content-stream bytes as the page of a small document whose resources hold
// a form (that draws itself, and the page's content), an image, an
// ExtGState, shadings of each type, patterns of each kind (a shading
// pattern, coloured and uncoloured tiling patterns, one whose cell uses
// itself) and a font: the page's display list is populated and replayed,
// forms are followed a few levels deep, then the page is drawn on a small
// surface. Any engine error is fine; a crash, a hang, a leak or the budget
// running out is a fault.
#include <cstdio>
#include <string>
#include <vector>

#include "data_io/raw_data_store.h"
#include "fuzz/fuzz_context.h"
#include "pdf/content/dl_player.h"
#include "pdf/document/document.h"
#include "pdf/document/page_tree.h"
#include "pdf/pdfcolor/pdf_color_spaces.h"
#include "pdf/render/draw_page.h"
#include "runtime/engine_new.h"

namespace {

using vn::pdf::content::DLName;
using vn::pdf::content::DLPlayer;

constexpr int kMaxFormDepth = 4;

// The document around the content, with a correct cross-reference table.
std::string MakeDocument(const uint8_t* content, size_t size) {
  const std::string page(reinterpret_cast<const char*>(content), size);
  const std::string objects[] = {
      "<< /Type /Catalog /Pages 2 0 R /OCProperties << /OCGs [20 0 R 21 0 R] /D << /OFF [21 0 R] >> >> >>",
      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R /Resources << /XObject << /Fm 5 0 R "
      "/Im 6 0 R /Self 5 0 R /Hid 22 0 R >> /Properties << /On 20 0 R /Off 21 0 R /M << /Type /OCMD /OCGs [20 0 R 21 0 R] "
      "/VE [/Or 21 0 R [/Not 20 0 R]] >> >> /ExtGState << /G 7 0 R >> /Shading << /Sh 8 0 R /S1 10 0 R /S3 11 0 R "
      "/S4 12 0 R /S5 17 0 R /S6 18 0 R /S7 19 0 R >> /Font << /F1 9 0 R >> /ColorSpace << /CS0 [/Indexed /DeviceRGB 1 <FF000000FF00>] "
      "/CS1 [/Pattern /DeviceRGB] >> /Pattern << /P0 8 0 R /P2 13 0 R /P1 14 0 R /Pu 15 0 R /Pself 16 0 R >> >> "
      ">>",
      "<< /Length " + std::to_string(page.size()) + " >>\nstream\n" + page + "\nendstream",
      "<< /Type /XObject /Subtype /Form /BBox [0 0 10 10] /Matrix [1 0 0 1 5 5] /Length 27 >>\nstream\n"
      "q 0 0 1 rg /Fm Do 1 w Q S \nendstream",
      "<< /Type /XObject /Subtype /Image /Width 1 /Height 1 /BitsPerComponent 8 /ColorSpace /DeviceGray "
      "/Length 1 >>\nstream\n\x7f\nendstream",
      "<< /Type /ExtGState /LW 2 /LC 1 /D [[3 1] 0] /BM [/Foo /Multiply] /ca 0.5 /SMask /None /Font [9 0 R 12] >>",
      "<< /ShadingType 2 /ColorSpace /DeviceRGB /Coords [0 0 1 1] /Function << /FunctionType 2 /Domain [0 1] "
      "/N 1 >> >>",
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
      "<< /ShadingType 1 /ColorSpace /DeviceGray /Domain [0 1 0 1] /Matrix [50 0 0 50 10 10] /Function << "
      "/FunctionType 0 /Domain [0 1 0 1] /Range [0 1] /Size [2 2] /BitsPerSample 8 /Length 4 >>\nstream\n"
      "\x01\x80\xff\x40\nendstream",
      "<< /ShadingType 3 /ColorSpace /DeviceRGB /Coords [50 50 5 60 60 40] /Extend [true true] /BBox [0 0 150 150] "
      "/Function [<< /FunctionType 2 /Domain [0 1] /N 1 >> << /FunctionType 2 /Domain [0 1] /N 2 >> "
      "<< /FunctionType 2 /Domain [0 1] /C0 [1] /C1 [0] /N 1 >>] >>",
      "<< /ShadingType 4 /ColorSpace /DeviceGray /BitsPerCoordinate 8 /BitsPerComponent 8 /BitsPerFlag 8 "
      "/Decode [0 200 0 200 0 1] /Length 12 >>\nstream\n\x01\x01\x01\x01\x01\xc8\x01\x80\x01\x01\xc8\xff\nendstream",
      "<< /PatternType 2 /Matrix [1 0 0 1 5 5] /Shading << /ShadingType 2 /ColorSpace /DeviceRGB "
      "/Coords [0 0 100 50] /Background [0 0 1] /Function << /FunctionType 2 /Domain [0 1] /C0 [1 0 0] "
      "/C1 [0 1 0] /N 1 >> >> >>",
      "<< /PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 10 10] /XStep 10 /YStep 12 /Matrix [1 1 -1 1 0 0] "
      "/Resources << /Shading << /Sh 11 0 R >> >> /Length 28 >>\nstream\n1 0 0 rg 0 0 5 5 re f /Sh sh\nendstream",
      "<< /PatternType 1 /PaintType 2 /TilingType 2 /BBox [0 0 4 4] /XStep 3 /YStep 3 /Length 19 >>\nstream\n"
      "0 0 m 4 2 l 0 4 l f\nendstream",
      "<< /PatternType 1 /PaintType 1 /TilingType 3 /BBox [0 0 20 20] /XStep 20 /YStep 20 /Resources << "
      "/Pattern << /Pself 16 0 R >> >> /Length 35 >>\nstream\n/Pattern cs /Pself scn 0 0 9 9 re f\nendstream",
      "<< /ShadingType 5 /ColorSpace /DeviceRGB /BitsPerCoordinate 8 /BitsPerComponent 8 /VerticesPerRow 2 "
      "/Decode [0 200 0 200 0 1] /Function << /FunctionType 2 /Domain [0 1] /C0 [1 0 0] /C1 [0 0 1] /N 1 >> "
      "/Filter /ASCIIHexDecode /Length 25 >>\nstream\n0a0a009614801496c8a0aaff>\nendstream",
      "<< /ShadingType 6 /ColorSpace /DeviceGray /BitsPerCoordinate 8 /BitsPerComponent 8 /BitsPerFlag 8 "
      "/Decode [0 200 0 200 0 1] /Filter /ASCIIHexDecode /Length 97 >>\nstream\n"
      "000a0a192819460a6428644664646473467328640a460a280a0050a0ff0128be46be64"
      "be64a0648264644664286428dc>\nendstream",
      "<< /ShadingType 7 /ColorSpace /DeviceRGB /BitsPerCoordinate 8 /BitsPerComponent 8 /BitsPerFlag 8 "
      "/Decode [0 200 0 200 0 1] /Function << /FunctionType 2 /Domain [0 1] /C0 [0 1 0] /C1 [1 0 1] /N 1 >> "
      "/Filter /ASCIIHexDecode /Length 75 >>\nstream\n0064145046507864aa82aaa0aabeaaaa78aa46be14a01482146e466e788c788c46005ab4ff>\nendstream",
      "<< /Type /OCG /Name (On) >>",
      "<< /Type /OCG /Name (Off) >>",
      "<< /Type /XObject /Subtype /Form /BBox [0 0 10 10] /OC 21 0 R /Length 14 >>\nstream\n0 0 9 9 re f Q\nendstream",
  };
  std::string pdf = "%PDF-1.4\n";
  const size_t count = sizeof objects / sizeof objects[0];
  std::string xref = "xref\n0 " + std::to_string(count + 1) + "\n0000000000 65535 f \n";
  for (size_t i = 0; i < count; ++i) {
    char entry[24];
    std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", pdf.size());
    xref += entry;
    pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const size_t start = pdf.size();
  pdf += xref + "trailer\n<< /Size " + std::to_string(count + 1) + " /Root 1 0 R >>\nstartxref\n" +
         std::to_string(start) + "\n%%EOF\n";
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
    // Drawn, on a surface a third of the page's size.
    vn::Scoped<vn::pdf::pdfcolor::DocumentColorSpaces> colors(context, document->Resolver());
    std::vector<uint8_t> pixels(64 * 64 * 3, 255);
    const vn::im::PixelBuffer surface = vn::im::LERGBBuffer(pixels.data(), 0, 0, 64, 64, 64 * 3);
    const vn::FixedMatrix pageToDevice{vn::kFixedOne / 3, 0, 0, -vn::kFixedOne / 3, 0, vn::IntToFixed(64)};
    vn::pdf::render::DisplayEventIgnorer events;
    vn::Scoped<vn::pdf::render::RenderConsumer> consumer(context, *document, *colors, surface, pageToDevice, events);
    vn::Error error{nullptr, -1, false};
    vn::pdf::render::DrawPageContent(*consumer, *document, 0, error);
  });
  return 0;
}
