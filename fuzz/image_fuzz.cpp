// An image description and its data: the input's first line is the image
// dictionary's entries (after /Type /XObject /Subtype /Image; it may refer
// to a soft mask 6 0 R and an explicit mask 7 0 R, which exist), the rest
// the stream's data. The image is drawn on a 64 x 64 page upright,
// flipped, turned, skewed and tiny, then as an inline image with the same
// entries. Any engine error is fine; a crash, a hang, a leak or the budget
// running out is a fault.
#include <cstring>
#include <string>
#include <vector>

#include "data_io/raw_data_store.h"
#include "fuzz/fuzz_context.h"
#include "pdf/document/document.h"
#include "pdf/document/page_tree.h"
#include "pdf/pdfcolor/pdf_color_spaces.h"
#include "pdf/render/draw_page.h"
#include "runtime/engine_new.h"

namespace {

std::string Stream(const std::string& entries, const std::string& data) {
  return "<< " + entries + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream";
}

std::string MakeDocument(const std::string& entries, const std::string& data) {
  const std::string content =
      "q 40 0 0 40 2 2 cm /Im Do Q q 40 0 0 -40 20 60 cm /Im Do Q q 0 30 -30 0 60 4 cm /Im Do Q "
      "q 20 10 -5 25 30 30 cm /Im Do Q q 0.5 0 0 0.5 10 50 cm /Im Do Q "
      "q 30 0 0 30 30 10 cm BI " + entries + " ID " + data + " EI Q";
  const std::string objects[] = {
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 64 64] /Contents 4 0 R /Resources << /XObject << /Im 5 0 R >> "
      "/ColorSpace << /CS0 [/Indexed /DeviceRGB 1 <FF000000FF00>] >> >> >>",
      Stream("", content),
      Stream("/Type /XObject /Subtype /Image " + entries, data),
      Stream("/Type /XObject /Subtype /Image /Width 3 /Height 2 /BitsPerComponent 8 /ColorSpace /DeviceGray "
             "/Matte [0.5 0.5 0.5]",
             "\x00\x80\xff\x40\xc0\x20"),
      Stream("/Type /XObject /Subtype /Image /Width 5 /Height 3 /ImageMask true", "\x50\xa8\x70"),
  };
  std::string pdf = "%PDF-1.4\n";
  std::vector<size_t> offsets;
  for (size_t i = 0; i < sizeof objects / sizeof objects[0]; ++i) {
    offsets.push_back(pdf.size());
    pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const size_t xref = pdf.size();
  pdf += "xref\n0 " + std::to_string(offsets.size() + 1) + "\n0000000000 65535 f \n";
  for (size_t offset : offsets) {
    char line[24];
    std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
    pdf += line;
  }
  pdf += "trailer\n<< /Size " + std::to_string(offsets.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
         std::to_string(xref) + "\n%%EOF\n";
  return pdf;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  const char* newline = static_cast<const char*>(std::memchr(text, '\n', size));
  if (newline == nullptr) return 0;
  const std::string entries(text, newline);
  const std::string samples(newline + 1, text + size);
  const std::string pdf = MakeDocument(entries, samples);
  vn::fuzz::RunGuarded(
      [&](vn::AppContext& context) {
        auto* file = vn::New<vn::data_io::RawDataStore>(context, context,
                                                        reinterpret_cast<const uint8_t*>(pdf.data()), pdf.size());
        vn::Owned<vn::pdf::store::DocumentStore> store(context, vn::pdf::store::OpenDocument(context, file));
        vn::Scoped<vn::pdf::document::Document> document(context, *store);
        vn::Scoped<vn::pdf::pdfcolor::DocumentColorSpaces> colors(context, document->Resolver());
        std::vector<uint8_t> pixels(64 * 64 * 3, 255);
        const vn::im::PixelBuffer surface = vn::im::LERGBBuffer(pixels.data(), 0, 0, 64, 64, 64 * 3);
        const vn::FixedMatrix pageToDevice{vn::kFixedOne, 0, 0, -vn::kFixedOne, 0, vn::IntToFixed(64)};
        vn::pdf::render::DisplayEventIgnorer events;
        vn::Scoped<vn::pdf::render::RenderConsumer> consumer(context, *document, *colors, surface, pageToDevice,
                                                             events);
        vn::Error error{nullptr, -1, false};
        vn::pdf::render::DrawPageContent(*consumer, *document, 0, error);
      },
      vn::fuzz::StrictLimits());
  return 0;
}
