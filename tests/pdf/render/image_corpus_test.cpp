// A fixed set of corpus pages whose images cover the encodings and mask
// kinds real files use (CCITT G4, JPEG, Flate gray and RGB, image masks,
// soft masks with Matte): each first page draws with no engine failure and
// no image skipped, within the budget. Their likeness to mutool's pictures
// is measured by ../shared/tools/rendercheck.py.
#include <gtest/gtest.h>

#include <string>

#include "pdf/render/display_events.h"
#include "support/corpus.h"
#include "support/render_pages.h"

namespace vn::test {
namespace {

TEST(ImageCorpus, ImagePagesDrawWithoutSkippingImages) {
  const char* names[] = {
      "gen__tiff2pdf_g4_R-data-p2-3.pdf",                           // a G4 page, 1275 x 1650
      "pypdf__007-imagemagick-images_imagemagick-CCITTFaxDecode.pdf",  // a small CCITT image
      "deb__tl-pictures__Incl.pdf",                                  // JPEG
      "pypdf__019-grayscale-image_grayscale-image.pdf",              // Flate gray
      "pdfjs__issue5280.pdf",                                        // image masks
      "deb__groff__penguin.pdf",                                     // a soft mask
      "pdfium__matte.pdf",                                           // soft masks with Matte
  };
  const std::vector<CorpusFile> files = CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "no corpus";
  for (const char* name : names) {
    SCOPED_TRACE(name);
    const CorpusFile* file = nullptr;
    for (const CorpusFile& f : files) {
      if (f.name == name) file = &f;
    }
    ASSERT_NE(file, nullptr);
    const std::vector<unsigned char> bytes = ReadWholeFile(file->path);
    AppContext context;
    const Rendered r = RenderPdf(context, std::string(bytes.begin(), bytes.end()));
    EXPECT_EQ(r.error, -1);
    EXPECT_GT(r.painted, 0u);
    for (const auto& event : r.events) {
      EXPECT_NE(event.first, pdf::render::kEventImages);
      EXPECT_NE(event.first, pdf::render::kEventObjectSkipped);
    }
    EXPECT_LT(context.Budget().PeakBytes(), 9000000u);
  }
}

}  // namespace
}  // namespace vn::test
