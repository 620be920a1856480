// Making a simple PDF font from font dictionaries written in a test, and
// reading its glyphs and widths back.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "pdf/document/document.h"
#include "pdf/text/pdf_font.h"
#include "support/render_pages.h"
#include "support/test_documents.h"

namespace vn::test {

inline std::string ReadFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Text-space width of `thousandths` / 1000, as the fonts must give it.
inline Fixed16_16 Em(int thousandths) { return static_cast<Fixed16_16>((thousandths * 65536LL + 500) / 1000); }

class PDFFontTest : public ::testing::Test {
 protected:
  // Makes the font of object 5 (the font dictionary); objects 6... follow.
  // Returns the engine error code, or -1. The document stays open until
  // the next call (the font's program reads from it).
  int32_t Make(const std::vector<std::string>& objects) {
    font.Set(nullptr);
    document.Set(nullptr);
    pdf = OnePagePdf("", "", objects);  // the document reads it in place
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
  const pdf::text::SimpleGlyphInfo& Info() const {
    return static_cast<const pdf::text::SimpleGlyphInfo&>(font->Glyphs());
  }
  Fixed16_16 Width(uint8_t code) const { return Info().widths[code]; }
  uint32_t Glyph(uint8_t code) const { return Info().glyphs[code]; }

  AppContext context;
  std::string pdf;
  Owned<pdf::store::DocumentStore> store{context};
  Owned<pdf::document::Document> document{context};
  Ref<pdf::text::PDFFont> font{context};
};

inline std::string FontFileObject(const std::string& key, const std::string& bytes) {
  return StreamObject(key == "FontFile2" ? "/Length1 " + std::to_string(bytes.size()) : "", bytes);
}

}  // namespace vn::test
