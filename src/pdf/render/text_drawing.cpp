// Drawing text: the glyphs of Tj, TJ, ' and " placed by the text state and
// painted by render mode.
//
// Each glyph's outline is written in user space (text space through the
// text rendering matrix without the CTM) into one path per shown string or
// array, which is then filled, stroked and/or added to the text clip like
// any path. A glyph's origin moves by
//   tx = (w * Tfs + Tc + Tw [single-byte code 32 only]) * Th
// and a TJ number n by tx = -n / 1000 * Tfs * Th, all in 16.16. In vertical
// writing (composite fonts) the pen marks the glyph's vertical origin, the
// glyph is drawn displaced by its position vector -v * Tfs, and the pen
// moves down the line by
//   ty = w1 * Tfs + Tc + Tw [single-byte code 32 only]
// and by ty = -n / 1000 * Tfs for a TJ number.
#include <cstring>

#include "fonts/glyph_path.h"
#include "pdf/content/dl_player.h"
#include "pdf/document/page_tree.h"
#include "pdf/render/render_consumer.h"
#include "pdf/text/type3_font.h"
#include "runtime/error.h"

namespace vn::pdf::render {

namespace {

bool Fills(int32_t mode) { return mode == 0 || mode == 2 || mode == 4 || mode == 6; }
bool Strokes(int32_t mode) { return mode == 1 || mode == 2 || mode == 5 || mode == 6; }
bool Clips(int32_t mode) { return mode >= 4; }

// Where a glyph is drawn and how far the pen moves after it, in text space.
struct GlyphPlacement {
  FixedMatrix glyphToText;  // size, horizontal scaling, rise and, vertically, the origin displacement
  Fixed16_16 advanceX;
  Fixed16_16 advanceY;
};

GlyphPlacement PlaceGlyph(const text::GlyphStep& step, bool vertical, const GraphicsState& s) {
  const Fixed16_16 size = s.fontSize;
  GlyphPlacement place{FixedMatrix{FixedMul(size, s.horizontalScaling), 0, 0, size, 0, s.rise}, 0, 0};
  const Fixed16_16 spacing = step.wordSpace ? FixedAddSat(s.charSpacing, s.wordSpacing) : s.charSpacing;
  if (vertical) {
    place.glyphToText.tx = FixedSubSat(0, FixedMul(step.originX, size));
    place.glyphToText.ty = FixedSubSat(s.rise, FixedMul(step.originY, size));
    place.advanceY = FixedAddSat(FixedMul(step.verticalAdvance, size), spacing);
  } else {
    place.advanceX = FixedMul(FixedAddSat(FixedMul(step.width, size), spacing), s.horizontalScaling);
  }
  return place;
}

// The pen's move for a TJ number n (thousandths of the font size, against
// the writing direction).
void PlaceArrayOffset(Fixed16_16 number, bool vertical, const GraphicsState& s, Fixed16_16& tx, Fixed16_16& ty) {
  const int64_t offset = -static_cast<int64_t>(number) * s.fontSize / (int64_t{1000} << 16);
  tx = vertical ? 0 : FixedMul(FixedSaturate(offset), s.horizontalScaling);
  ty = vertical ? FixedSaturate(offset) : 0;
}

}  // namespace

text::PDFFont* RenderConsumer::CurrentFont() {
  GraphicsState& s = State();
  const SharedBytes* name = s.fontName.get();
  if (name == nullptr && s.fontReference.number < 0) return nullptr;
  const bool same = font_ && fontRecord_ == Record() &&
                    (name != nullptr ? fontNameLength_ == name->Count() &&
                                           std::memcmp(fontName_, name->Data(), name->Count()) == 0
                                     : fontNameLength_ == 0 && fontReference_.number == s.fontReference.number &&
                                           fontReference_.generation == s.fontReference.generation);
  if (same) return font_.get();
  font_.Set(nullptr);
  document::ResolvedValue font(context_);
  document::ObjectId id = s.fontReference;
  if (name != nullptr) {
    if (Record() == nullptr) RaiseBadData(context_);
    document::LookupResource(*Resolver(), Record()->Resources(), "Font", name->Data(), name->Count(), font, &id);
  } else {
    Resolver()->GetIndirectObject(id, font);
  }
  document_.Fonts().GetFont(font_, id, font);
  fontRecord_ = Record();
  fontNameLength_ = name != nullptr ? name->Count() : 0;
  if (fontNameLength_ != 0) std::memcpy(fontName_, name->Data(), fontNameLength_);
  fontReference_ = s.fontReference;
  return font_.get();
}

void RenderConsumer::ReportUnusableFont(const text::PDFFont& font) {
  for (const text::PDFFont* reported : reportedFonts_) {
    if (reported == &font) return;
  }
  reportedFonts_.Push(&font);
  fontBeingReported_ = &font;
  SendEvent(kEventText, kTextNotDrawn);
  fontBeingReported_ = nullptr;
}

void RenderConsumer::ShowString(const uint8_t* bytes, uint32_t length, FixedRect&) {
  const content::TextArrayElement string{bytes, length, 0};
  ShowText(&string, 1);
}

void RenderConsumer::ShowArray(const content::TextArrayElement* elements, uint32_t count) {
  ShowText(elements, count);
}

void RenderConsumer::ShowText(const content::TextArrayElement* elements, uint32_t count) {
  text::PDFFont* volatile found = nullptr;
  if (!Guard([&] { found = CurrentFont(); })) return;
  text::PDFFont* font = found;
  if (font == nullptr) {
    // Text shown before any Tf.
    SendEvent(kEventObjectSkipped, kBadData);
    return;
  }
  const int32_t mode = State().renderMode;
  const bool visible = mode != 3 && mode >= 0 && mode <= 7;
  if (visible && !font->Usable()) ReportUnusableFont(*font);
  fonts::Font* program = font->Program();
  const bool type3 = font->Type() == text::FontType::kType3;
  // Type 3 glyphs are painted, never made into clips.
  const bool draw = visible && font->Usable() && (program != nullptr || (type3 && (Fills(mode) || Strokes(mode))));

  Scoped<im::PathWriter> outlines(context_, context_);
  fonts::PathOutlineSink sink(*outlines);
  const text::GlyphInfo& glyphs = font->Glyphs();
  const bool vertical = glyphs.Vertical();
  for (uint32_t i = 0; i < count; ++i) {
    const content::TextArrayElement& element = elements[i];
    if (element.bytes == nullptr) {
      Fixed16_16 tx = 0;
      Fixed16_16 ty = 0;
      PlaceArrayOffset(element.number, vertical, State(), tx, ty);
      AdvanceTextMatrix(tx, ty);
      continue;
    }
    const uint8_t* cursor = element.bytes;
    const uint8_t* end = cursor + element.length;
    while (cursor < end) {
      const text::GlyphStep step = glyphs.NextGlyph(cursor, end);
      const GlyphPlacement place = PlaceGlyph(step, vertical, State());
      if (draw) {
        const FixedMatrix textToUser = Concat(place.glyphToText, TextMatrix());
        if (type3) {
          DrawType3Glyph(*font, step.glyph, textToUser);
        } else {
          // A damaged glyph draws nothing; the rest of the text goes on.
          Guard([&] { program->AppendOutline(step.glyph, textToUser, sink); });
        }
      }
      AdvanceTextMatrix(place.advanceX, place.advanceY);
    }
  }
  if (outlines->Size() == 0) return;
  GraphicsState& s = State();
  Guard([&] {
    if (Fills(mode)) PaintMark(outlines->View(), s.ctm, im::kNonZero, s.fill, s.fillAlpha);
    if (Strokes(mode)) Stroke(outlines->View());
  });
  FinishObject();
  if (Clips(mode)) AddTextClipOutline(outlines->View(), s.ctm);
}

void RenderConsumer::DrawType3Glyph(const text::PDFFont& font, uint32_t glyph, const FixedMatrix& glyphToUser) {
  const auto& type3 = static_cast<const text::Type3PDFFont&>(font);
  const document::ObjectId procedure = type3.Procedure(glyph);
  if (procedure.number < 0) return;
  if (type3Depth_ >= kMaxType3Depth) {
    SendEvent(kEventObjectSkipped, kLimitExceeded);
    return;
  }
  const FixedMatrix text = TextMatrix();
  const FixedMatrix line = LineMatrix();
  Guard([&] {
    Ref<content::ContentRecord> record(
        context_, New<text::Type3GlyphContentRecord>(context_, *Resolver(), procedure, type3.Resources(), *Record()));
    const bool shapeOnly = static_cast<text::Type3GlyphContentRecord*>(record.get())->ShapeOnly();
    Ref<document::FormDisplayList> list(context_,
                                        New<document::FormDisplayList>(context_, context_, *Resolver(), record.get()));
    GlyphReplay replay{list.get(), Concat(Concat(type3.FontMatrix(), glyphToUser), State().ctm), shapeOnly};
    RunNested(&PlayGlyphProcedure, &replay);
  });
  RestoreTextMatrices(text, line);
}

}  // namespace vn::pdf::render
