// Drawing text: the glyphs of Tj, TJ, ' and " placed by the text state and
// painted by render mode.
//
// Filled glyphs come from the glyph cache (glyph_run.h): each glyph's mask
// is placed at its device origin and the masks of one shown string or array
// are painted together through the text painter in the fill colour. For
// stroking and clipping each glyph's outline is written in user space (text
// space through the text rendering matrix without the CTM) into one path
// per string, which is stroked and/or added to the text clip like any path.
// Type 3 glyphs are their procedures, replayed. A glyph's origin moves by
//   tx = (w * Tfs + Tc + Tw [single-byte code 32 only]) * Th
// and a TJ number n by tx = -n / 1000 * Tfs * Th, all in 16.16. In vertical
// writing (composite fonts) the pen marks the glyph's vertical origin, the
// glyph is drawn displaced by its position vector -v * Tfs, and the pen
// moves down the line by
//   ty = w1 * Tfs + Tc + Tw [single-byte code 32 only]
// and by ty = -n / 1000 * Tfs for a TJ number.
#include <cstring>

#include "fonts/glyph_path.h"
#include "im/text_raster_painter.h"
#include "pdf/content/dl_player.h"
#include "pdf/document/page_tree.h"
#include "pdf/render/glyph_run.h"
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

// How the glyphs of a string are drawn.
struct TextPaint {
  bool visible;     // a mode that paints (not 3, not an unknown one)
  bool type3;       // glyph procedures replayed
  bool cachedFill;  // masks from the glyph cache, filled
  bool outlines;    // outlines collected, to stroke or to clip with
  bool outlineFill;  // the outlines filled as a path (a pattern fills them)
};

namespace {

TextPaint ChooseTextPaint(const text::PDFFont& font, int32_t mode, bool patternFill) {
  TextPaint paint{};
  paint.visible = mode != 3 && mode >= 0 && mode <= 7;
  if (!font.Usable() || mode < 0 || mode > 7) return paint;
  if (font.Type() == text::FontType::kType3) {
    // Type 3 glyphs are painted as their procedures say; in the clipping
    // modes what they paint also clips.
    paint.type3 = (paint.visible && (Fills(mode) || Strokes(mode))) || Clips(mode);
  } else if (font.Program() != nullptr) {
    paint.outlineFill = Fills(mode) && patternFill;
    paint.cachedFill = Fills(mode) && !patternFill;
    paint.outlines = Strokes(mode) || Clips(mode) || paint.outlineFill;
  }
  return paint;
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
  if (found == nullptr) {
    // Text shown before any Tf.
    SendEvent(kEventObjectSkipped, kBadData);
    return;
  }
  // Held here: a Type 3 glyph's procedure may select other fonts.
  Ref<text::PDFFont> font(context_, found);
  // Text in a hidden layer still moves the pen and clips.
  const int32_t mode = hiddenFrom_ == 0 || State().renderMode < 0 || State().renderMode > 7
                           ? State().renderMode
                           : (Clips(State().renderMode) ? 7 : 3);
  const TextPaint paint = ChooseTextPaint(*font, mode, State().fill.space.kind == pdfcolor::kPatternSpace);
  if (paint.visible && !font->Usable()) ReportUnusableFont(*font);

  Scoped<im::PathWriter> outlines(context_, context_);
  fonts::PathOutlineSink sink(*outlines);
  // The text matrix only moves while a string is shown: the glyphs' linear
  // transform is the same for all of them.
  Scoped<GlyphRun> run(context_, context_, *font, Concat(GlyphToUser(), State().ctm), State().deviceClip);
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
      if (paint.type3 || paint.cachedFill || paint.outlines) {
        DrawGlyph(*font, step.glyph, Concat(place.glyphToText, TextMatrix()), paint, *run, sink);
      }
      AdvanceTextMatrix(place.advanceX, place.advanceY);
    }
  }
  if (run->Count() == 0 && outlines->Size() == 0) return;
  GraphicsState& s = State();
  Guard([&] {
    PaintGlyphs(*run);
    if (paint.outlineFill && outlines->Size() != 0) {
      PaintMark(outlines->View(), s.ctm, im::kNonZero, s.fill, s.fillAlpha);
    }
    if (Strokes(mode) && outlines->Size() != 0) Stroke(outlines->View());
  });
  FinishObject();
  if (Clips(mode) && outlines->Size() != 0) AddTextClipOutline(outlines->View(), s.ctm);
}

FixedMatrix RenderConsumer::GlyphToUser() {
  const GraphicsState& s = State();
  return Concat(FixedMatrix{FixedMul(s.fontSize, s.horizontalScaling), 0, 0, s.fontSize, 0, s.rise}, TextMatrix());
}

void RenderConsumer::DrawGlyph(const text::PDFFont& font, uint32_t glyph, const FixedMatrix& glyphToUser,
                               const TextPaint& paint, GlyphRun& run, fonts::PathOutlineSink& outlines) {
  if (paint.type3) {
    DrawType3Glyph(font, glyph, glyphToUser);
    return;
  }
  if (paint.cachedFill) {
    const FixedMatrix glyphToDevice = Concat(glyphToUser, State().ctm);
    // A glyph drawn for this draw only is painted before the next one, and
    // so is a full run.
    if (run.Add(glyph, FixedPoint{glyphToDevice.tx, glyphToDevice.ty})) {
      Guard([&] { PaintGlyphs(run); });
      run.Clear();
    }
  }
  // A damaged glyph draws nothing; the rest of the text goes on.
  if (paint.outlines) Guard([&] { font.Program()->AppendOutline(glyph, glyphToUser, outlines); });
}

void RenderConsumer::PaintGlyphs(GlyphRun& run) {
  if (run.Count() == 0) return;
  GraphicsState& s = State();
  uint8_t opacity = 0;
  const uint8_t* rgb = MarkColor(s.fill, s.fillAlpha, opacity);
  if (rgb != nullptr) {
    Scoped<im::TextRasterPainter> text(context_, context_, run.Records(), run.Count());
    im::RasterPainterImpl<im::TextRasterPainter> textIn(*text);
    PaintCoverage(textIn, text->Box(), rgb, opacity);
  }
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
    const int32_t mode = State().renderMode;
    GlyphReplay replay{list.get(), fonts::ToFixed(fonts::Concat(type3.FontMatrix(), Concat(glyphToUser, State().ctm))), shapeOnly,
                       Clips(mode), mode == 7};
    RunNested(&PlayGlyphProcedure, &replay, kGlyphProcedureStackReserve);
  });
  RestoreTextMatrices(text, line);
}

}  // namespace vn::pdf::render
