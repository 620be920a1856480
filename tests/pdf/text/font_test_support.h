// What the PDF font tests share: reading font files, widths in exact
// thousandths, and making the font of a small made-up document.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "pdf/document/document.h"
#include "pdf/text/pdf_font.h"
#include "runtime/error.h"
#include "support/render_pages.h"
#include "support/test_documents.h"

namespace vn::test {

inline std::string ReadFontFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Text-space width of `thousandths` / 1000, as the fonts must give it.
inline Fixed16_16 Em(int thousandths) { return static_cast<Fixed16_16>((thousandths * 65536LL + 500) / 1000); }

class FontFromObjectsTest : public ::testing::Test {
 protected:
  // Makes the font of object 5 (the font dictionary); objects 6... follow.
  // Returns the engine error code, or -1. The document stays open until
  // the next call (the font's program reads from it). `content` and
  // `resources` make the page (for reference tools).
  int32_t Make(const std::vector<std::string>& objects, const std::string& content = "",
               const std::string& resources = "") {
    font.Set(nullptr);
    document.Set(nullptr);
    pdf = OnePagePdf(content, resources, objects);  // the document reads it in place
    if (OpenMemoryDocument(context, pdf, store) != -1) return 100;
    TryFrame frame;
    volatile int32_t code = -1;
    if (VN_TRY(context, frame)) {
      document.Set(New<pdf::document::Document>(context, *store));
      pdf::document::ResolvedValue dictionary(context);
      document->Resolver().GetIndirectObject(pdf::document::ObjectId{5, 0}, dictionary);
      font.Set(pdf::text::MakeFont(document->Resolver(), dictionary));
    } else {
      code = Catch(frame).code;
    }
    EndTry(frame);
    return code;
  }

  AppContext context;
  std::string pdf;
  Owned<pdf::store::DocumentStore> store{context};
  Owned<pdf::document::Document> document{context};
  Ref<pdf::text::PDFFont> font{context};
};

}  // namespace vn::test
