// The render consumer: the display-list consumer that paints a page into a
// pixel buffer of 24-bit B,G,R rows.
//
// Per paint entry it fills and strokes through the imaging core (one painter
// chain per mark: the path's coverage, a flat colour with the constant
// alpha, the current clip, the page buffer), counts the object, reports the
// device area it touched (AreaPainted) and visits the yield point, where
// progressive display and cancellation happen.
//
// Graphics-state levels. A save (q), a form XObject and a sub-list each play
// their content as a nested replay with a copy of the graphics state; the
// copy and the clips set inside the level live exactly as long as that
// replay. A clip (W/W*, the glyph outlines of a clipping text object at ET,
// a form's BBox) narrows the current level until the level ends: clips add
// no nesting of their own, so any number of clips on one level costs no
// stack. When the stack runs low, the nested replay moves to a helper
// thread with a fresh stack (GSaveFunctor) and the caller waits.
//
// Bounds: at most kMaxNestedReplays replays nest (q levels, forms,
// sub-lists, text objects together; deeper content ends the drawing with
// kStackExhausted), at most kMaxHelperThreads helper stacks serve one
// drawing, a form is not drawn inside itself, and forms nest at most
// kMaxFormDepth deep (both skipped with a display event).
//
// Errors: an engine error 2, 5 or 6 raised while drawing one object (a
// path, a form, a colour) skips that object with the display event
// (kEventObjectSkipped, code) and drawing goes on; out of memory,
// cancellation and stack exhaustion end the drawing.
//
// Text (text_drawing.cpp) is filled from the glyph cache, and drawn as
// glyph outlines stroked or added to the text clip by render mode; Type 3
// glyphs are their procedures replayed as nested content. Text whose font cannot be drawn still moves
// the text position and is reported once per font (kTextNotDrawn).
//
// Images are drawn by image_drawing.cpp (the image pipes and samplers),
// shadings by shading_drawing.cpp and patterns by pattern_drawing.cpp; a
// kind they cannot draw is skipped with its display event, never silently.
//
// Owns engine memory and Unwindables: a local is a Scoped.
#pragma once

#include <cstdint>

#include "fonts/glyph_path.h"
#include "im/fast_pixel_buffer_raster_painter.h"
#include "im/path.h"
#include "im/raster_painter.h"
#include "im/work_counter.h"
#include "pdf/document/document.h"
#include "pdf/render/clip_path.h"
#include "pdf/render/display_events.h"
#include "pdf/render/gstate_consumer.h"
#include "pdf/text/pdf_font.h"

namespace vn::pdf::render {

// A nested replay starts on a helper thread when less stack than this is
// left. Measured (tests/pdf/render/stack_use_test.cpp, arm_render_probe.cpp):
// a q level costs about 600 bytes of stack; one level's own work (populating
// the display list, painting a path) reaches about 4.7 KB below it and meets
// stack checks up to about 2.9 KB down, which must then still find their
// 4096-byte reserve: 0.6 + 2.9 + 4.1 KB fit in 8 KB on x86-64 and 32-bit ARM.
inline constexpr uint32_t kNestedReplayStackReserve = 8192;
// A Type 3 glyph's procedure starts with more: bitmap fonts draw their
// glyphs as images, and drawing an image (its dictionaries read from the
// file on the way) was measured reaching 5.7 KB below the replay's frame.
inline constexpr uint32_t kGlyphProcedureStackReserve = 12288;
// About ten levels fit on a fresh 16 KB stack above the reserve: a drawing
// nests at most 48 replays, on its own thread and four helpers at most, which
// leaves most of the pool of 16 stacks to the viewer's other threads (real
// pages nest q up to about 20 deep).
inline constexpr uint32_t kMaxNestedReplays = 48;
// Reading a shading's colour functions (stitching functions nest ten
// deep), or a pattern's dictionary and cell, needs this much stack; a fresh
// 16 KB stack has it.
inline constexpr uint32_t kShadingStackReserve = 12288;
inline constexpr uint32_t kMaxHelperThreads = 4;
inline constexpr uint32_t kMaxFormDepth = 32;
// Path clips in force at once before they are folded into one mask.
inline constexpr uint32_t kMaxClipChain = 16;
// Type 3 glyphs drawn inside Type 3 glyphs, at most (deeper ones are
// skipped with a display event).
inline constexpr uint32_t kMaxType3Depth = 4;

class RenderConsumer;
class GlyphRun;
struct TextPaint;
struct TilingPattern;

// The work of one nested replay, carried to a helper thread's stack.
struct GSaveFunctor {
  RenderConsumer& consumer;
  void (*replay)(RenderConsumer& consumer, void* argument);
  void* argument;
  void operator()(AppContext&) { replay(consumer, argument); }
};

class RenderConsumer : public GStateConsumer {
 public:
  // Paints into `page` (device pixels in B,G,R order; its rectangle is the
  // area to draw). `pageToDevice` maps the page's default user space to
  // device pixels.
  RenderConsumer(document::Document& document, pdfcolor::DocumentColorSpaces& colors, const im::PixelBuffer& page,
                 const FixedMatrix& pageToDevice, DisplayEventListenerBase& events);
  ~RenderConsumer() override;
  RenderConsumer(const RenderConsumer&) = delete;
  RenderConsumer& operator=(const RenderConsumer&) = delete;

  // Plays a page's list from the initial graphics state. Errors of the
  // list's content (it stops early) are reported as skipped objects.
  void DrawList(document::DisplayList& list);
  // Draws the form `form` (an annotation's appearance stream) with `matrix`
  // and clipped to `bbox`, from the initial graphics state; `invoker`'s
  // resources serve a form without its own.
  void DrawAppearance(const document::ObjectId& form, const FixedMatrix& matrix, const FixedRect& bbox,
                      content::ContentRecord& invoker);

  // Draws the normal appearances of page `pageIndex`'s annotations that are
  // not hidden (annotations.cpp); a damaged annotation is skipped.
  void DrawAnnotations(int32_t pageIndex, content::ContentRecord& pageRecord);

  // While the display event of text not drawn is sent: the font that
  // could not draw it (null otherwise).
  const text::PDFFont* FontBeingReported() const { return fontBeingReported_; }

  // Objects painted (or attempted) so far.
  uint32_t PaintedObjects() const { return painted_; }
  // Identifies the entry being played (with the chain of forms it is in) the
  // same way in every replay of a page, so that events and objects met in
  // several bands can be told apart from repeats.
  uint64_t ObjectKey() const;

  // The font subsystem adds the glyph outlines of clipping text render
  // modes (4 to 7) here; at ET their union clips the rest of the level.
  void AddTextClipOutline(const im::Path& outline, const FixedMatrix& toDevice);

  void SaveAndPlayNested(content::DLPlayer& nested) override;
  void BeginMarkedContent() override { ++markDepth_; }
  void BeginOptionalContent(const content::DLName& name) override;
  void EndMarkedContent() override;
  bool TestBoundingBox(const FixedRect& box, bool stroke) override;
  void PaintPath(const content::DLPath& path, bool visible, bool stroke, int32_t clipRule, int32_t fill) override;
  void DrawFormXObject(const content::DLName& name, const FixedMatrix& matrix, const FixedRect& bbox) override;
  void DrawImageXObject(const content::DLName& name) override;
  void DrawInlineImage(const content::InlineImageData& image) override;
  void PaintShading(const content::DLName& name, const document::ResolvedValue& shading) override;
  void ShowString(const uint8_t* bytes, uint32_t length, FixedRect& box) override;
  void ShowArray(const content::TextArrayElement* elements, uint32_t count) override;
  void BeginText(content::DLPlayer& textObject) override;
  void EndTextHook() override;
  void PlaySubList(document::DisplayList& list) override;

 protected:
  void SendEvent(int32_t category, int32_t detail) override;

 private:
  class Level;
  struct FormVisit;
  struct FormReplay;
  struct TileReplay;
  struct ShadingReplay;
  // A Type 3 glyph's procedure and the CTM it is drawn under.
  struct GlyphReplay {
    document::DisplayList* list;
    FixedMatrix ctm;
    bool shapeOnly;  // d1: painted in the colour of the text
    bool clip;       // a clipping render mode: its shapes add to the text clip
    bool clipOnly;   // render mode 7: it paints nothing
  };

  // Runs `replay(*this, argument)` as a nested replay: counted, bounded, and
  // on a helper thread's fresh stack when less than `reserve` bytes are left.
  void RunNested(void (*replay)(RenderConsumer&, void*), void* argument,
                 uint32_t reserve = kNestedReplayStackReserve);
  static void PlaySaved(RenderConsumer& self, void* nested);
  static void PlayText(RenderConsumer& self, void* textObject);
  static void PlaySubListReplay(RenderConsumer& self, void* list);
  static void PlayForm(RenderConsumer& self, void* replay);
  static void PlayGlyphProcedure(RenderConsumer& self, void* replay);
  static void PlayTile(RenderConsumer& self, void* replay);
  static void PlayShading(RenderConsumer& self, void* replay);
  void DrawShading(const document::ResolvedValue& shading, bool forPattern, const FixedMatrix& toDevice,
                   im::PainterInput& shape, im::PixelRect area, Fixed16_16 alpha);
  // Plays a tiling pattern's cell `list` from the initial state moved by
  // `offset` (pattern space), clipped to the cell's `bbox`; with
  // `uncoloured` (R, G, B) every mark takes that colour.
  void DrawCell(document::DisplayList& list, const FixedRect& bbox, FixedPoint offset, const uint8_t* uncoloured);
  // A tiling pattern's cells drawn straight onto the page (cells too large
  // for a tile): at each offset (pattern space) from `toDevice`, clipped to
  // the mark's path and the cell's box.
  struct CellMark {
    const im::Path& path;
    const FixedMatrix& matrix;
    im::FillRule rule;
    const FixedRect& bbox;
    const FixedMatrix& toDevice;
    const FixedPoint* offsets;
    uint32_t count;
    const uint8_t* uncoloured;
    Fixed16_16 alpha;
  };
  void DrawCellsOnPage(document::DisplayList& list, const CellMark& mark);
  struct LargeCellsReplay;
  static void PlayLargeCells(RenderConsumer& self, void* replay);
  // Draws the cells of `tiling` (the pattern object `id`) under `area`
  // with DrawCellsOnPage; false when too many lie there.
  bool DrawLargeCells(const CellMark& mark, const TilingPattern& tiling, const document::ObjectId& id,
                      const im::PixelRect& area);

  // Text (text_drawing.cpp).
  // The font of the text state, made or found in the document's cache; null
  // when there is none.
  text::PDFFont* CurrentFont();
  void ShowText(const content::TextArrayElement* elements, uint32_t count);
  // Text space at the current position -> user space (size, scaling, rise).
  FixedMatrix GlyphToUser();
  // Draws one glyph of `font`, placed by `glyphToUser`, as `paint` says.
  void DrawGlyph(const text::PDFFont& font, uint32_t glyph, const FixedMatrix& glyphToUser, const TextPaint& paint,
                 GlyphRun& run, fonts::PathOutlineSink& outlines);
  // Fills the placed glyphs of `run` in the fill colour.
  void PaintGlyphs(GlyphRun& run);
  // Draws Type 3 glyph `glyph` of `font` whose glyph space maps to user
  // space by `glyphToUser`.
  void DrawType3Glyph(const text::PDFFont& font, uint32_t glyph, const FixedMatrix& glyphToUser);
  void ReportUnusableFont(const text::PDFFont& font);

  void DrawForm(const document::ObjectId& id, const FixedMatrix& matrix, const FixedRect& bbox,
                const content::ContentRecord& invoker);
  void Fill(const im::Path& path, int32_t rule);
  void Stroke(const im::Path& path);
  // The outline of `path` stroked with the current line style, within
  // `clip`; `fillMatrix` receives the matrix that maps it to the device.
  void StrokeOutline(const im::Path& path, const im::PixelRect& clip, im::PathWriter& outline,
                     FixedMatrix& fillMatrix);
  // Adds what a Type 3 glyph fills and/or strokes to the text clip.
  void AddShapeToTextClip(const im::Path& path, bool fill, bool stroke);
  // Paints the coverage of `path` under `matrix` with one side's colour.
  void PaintMark(const im::Path& path, const FixedMatrix& matrix, im::FillRule rule, PaintColor& side,
                 Fixed16_16 alpha);
  // The colour a mark of `side` paints in, and its opacity; null when the
  // mark paints nothing (the events of what cannot be shown are sent).
  const uint8_t* MarkColor(PaintColor& side, Fixed16_16 alpha, uint8_t& opacity);
  // Paints the coverage of `shape` within `bounds` in `rgb` through the clip.
  void PaintCoverage(im::PainterInput& shape, const im::PixelRect& bounds, const uint8_t* rgb, uint8_t opacity);
  // Narrows the current level's clip to `path` under `matrix`.
  void ClipTo(const im::Path& path, const FixedMatrix& matrix, im::FillRule rule);
  void FinishObject();
  // Adds `area` to the device area painted since the last report.
  void AddDirty(const im::PixelRect& area);
  // Images (image_drawing.cpp): draws the image XObject or inline image
  // `image`, its inline rows in `inlineData` (null for an XObject).
  void DrawImage(const document::ResolvedValue& image, const content::InlineImageData* inlineData);
  // Runs `body()`; an image that cannot be drawn (bad or unsupported data,
  // a limit, too little memory) is skipped with its display event.
  template <class Body>
  void GuardImage(Body&& body) {
    GuardImageCall(+[](void* b) { (*static_cast<Body*>(b))(); }, &body);
  }
  void GuardImageCall(void (*body)(void*), void* argument);
  // Shadings (shading_drawing.cpp): paints `shading` (its space mapped to
  // the device by `toDevice`) through `shape` over `area`, the colour
  // multiplied by `alpha`; its "Background" only as a pattern's.
  void PaintShadingThrough(const document::ResolvedValue& shading, bool forPattern, const FixedMatrix& toDevice,
                           im::PainterInput& shape, im::PixelRect area, Fixed16_16 alpha);
  // Patterns (pattern_drawing.cpp): paints the coverage of `path` under
  // `matrix` with the pattern of `side`.
  void PaintPatternMark(const im::Path& path, const FixedMatrix& matrix, im::FillRule rule, PaintColor& side,
                        Fixed16_16 alpha);
  // The path a pattern mark fills, under its matrix.
  struct MarkOutline {
    const im::Path& path;
    const FixedMatrix& matrix;
    im::FillRule rule;
  };
  // Paints the coverage of `shape` within `area` (inside the clip) with the
  // pattern of `side` (side.pattern set). With the mark's `outline` (may be null), cells too
  // large for a tile can be drawn straight onto the page, clipped to it;
  // without, they are drawn into a tile at a reduced resolution.
  void PaintPatternThrough(PaintColor& side, Fixed16_16 alpha, im::PainterInput& shape, const im::PixelRect& area,
                           const MarkOutline* outline);
  struct PatternReplay;
  static void PlayPattern(RenderConsumer& self, void* replay);
  void DrawPattern(PaintColor& side, Fixed16_16 alpha, im::PainterInput& shape, const im::PixelRect& area,
                   const MarkOutline* outline);
  // Paints the shading of shading pattern `pattern` through `shape` over
  // `area`, under the pattern's own ExtGState; `stroking` says which
  // opacity of it applies.
  void PaintShadingPattern(const document::ResolvedValue& pattern, bool stroking, const FixedMatrix& toDevice,
                           im::PainterInput& shape, const im::PixelRect& area, Fixed16_16 alpha);
  void InitialState(content::ContentRecord* record);

  document::Document& document_;
  DisplayEventListenerBase& events_;
  im::WorkCounter work_;
  im::FastPixelBufferRasterPainter page_;
  im::RasterPainterImpl<im::FastPixelBufferRasterPainter> pageIn_;
  im::RectangleRasterPainter area_;
  im::RasterPainterImpl<im::RectangleRasterPainter> areaIn_;
  im::PainterInput* clip_;
  FixedMatrix pageToDevice_;
  Owned<GraphicsState> base_;   // the initial state each list starts from
  Level* level_ = nullptr;      // the innermost graphics-state level
  content::DLPlayer* player_ = nullptr;
  FormVisit* forms_ = nullptr;  // the forms being drawn, innermost first
  uint32_t formDepth_ = 0;
  // Marked-content sequences open, and the depth of the outermost one in a
  // hidden layer (0: none): its content changes the state but paints nothing.
  uint32_t markDepth_ = 0;
  uint32_t hiddenFrom_ = 0;
  uint32_t nesting_ = 0;
  uint32_t helpers_ = 0;
  uint64_t formKey_ = 0;
  uint64_t clipSignature_ = 0;  // of the path clip that made clip_ current
  uint32_t clipChain_ = 0;      // path clips multiplied into clip_
  uint32_t painted_ = 0;
  im::PixelRect dirty_ = {0, 0, 0, 0};
  im::PathWriter textClip_;     // glyph outlines of the current text object, in device space
  bool textClipUsed_ = false;
  // The font last resolved, and the font resource it came from.
  Ref<text::PDFFont> font_;
  const content::ContentRecord* fontRecord_ = nullptr;
  uint8_t fontName_[256] = {};
  uint32_t fontNameLength_ = 0;
  document::ObjectId fontReference_ = {-1, 0};
  EngineArray<const text::PDFFont*> reportedFonts_;  // fonts whose text was reported as not drawn
  uint32_t type3Depth_ = 0;
  uint32_t patternDepth_ = 0;  // tiling pattern cells being drawn inside one another
  // While a Type 3 glyph of a clipping text render mode is replayed: its
  // shapes add to the text clip, stroked within type3ClipArea_.
  bool type3Clip_ = false;
  im::PixelRect type3ClipArea_ = {0, 0, 0, 0};
  const text::PDFFont* fontBeingReported_ = nullptr;
};

}  // namespace vn::pdf::render
