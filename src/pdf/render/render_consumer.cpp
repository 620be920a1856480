#include "pdf/render/render_consumer.h"

#include "im/raster_compositing.h"
#include "im/stroke.h"
#include "pdf/content/dl_player.h"
#include "pdf/document/page_tree.h"
#include "pdf/render/restore_on_exit.h"
#include "runtime/threads/eot_helper_thread.h"
#include "runtime/yield_points.h"

namespace vn::pdf::render {

using content::DLName;
using content::DLPlayer;

namespace {

uint8_t AlphaByte(Fixed16_16 alpha) { return FixedToByte(alpha); }

uint64_t MixKey(uint64_t key, uint64_t value) { return (key ^ value) * 0x100000001B3ull + 0x9E3779B97F4A7C15ull; }

}  // namespace

// A graphics-state level: a nested replay with its own copy of the state
// (or the current one) and the clips set inside it. Ending the level (or
// unwinding it) frees both and makes the enclosing level current again.
class RenderConsumer::Level : public Unwindable {
 public:
  Level(RenderConsumer& consumer, const GraphicsState& from)
      : c_(consumer), savedState_(&consumer.State()), savedClip_(consumer.clip_), savedLevel_(consumer.level_),
        savedRecord_(consumer.Record()), savedPlayer_(consumer.player_), savedForms_(consumer.forms_),
        savedFormDepth_(consumer.formDepth_), savedFormKey_(consumer.formKey_),
        savedClipSignature_(consumer.clipSignature_), savedClipChain_(consumer.clipChain_) {
    RegisterUnwindable(consumer.context_, this, &UnwindByReset<Level>);
    state_ = New<GraphicsState>(consumer.context_, from);
    consumer.SetState(*state_);
    consumer.level_ = this;
  }
  ~Level() { Reset(); }
  Level(const Level&) = delete;
  Level& operator=(const Level&) = delete;

  void Adopt(ClipNode* clip) {
    clip->next = clips_;
    clips_ = clip;
  }
  // Frees the clips set on this level (once nothing refers to them).
  void ReleaseClips() {
    while (clips_ != nullptr) {
      ClipNode* next = clips_->next;
      Delete(c_.context_, clips_);
      clips_ = next;
    }
  }

  void Reset() {
    UnregisterUnwindable(this);
    if (c_.level_ == this) {
      c_.level_ = savedLevel_;
      c_.clip_ = savedClip_;
      c_.SetState(*savedState_);
      if (c_.Record() != savedRecord_) c_.SetRecord(savedRecord_);
      c_.player_ = savedPlayer_;
      c_.forms_ = savedForms_;
      c_.formDepth_ = savedFormDepth_;
      c_.formKey_ = savedFormKey_;
      c_.clipSignature_ = savedClipSignature_;
      c_.clipChain_ = savedClipChain_;
    }
    ReleaseClips();
    Delete(c_.context_, state_);
    state_ = nullptr;
  }

 private:
  RenderConsumer& c_;
  GraphicsState* state_ = nullptr;
  ClipNode* clips_ = nullptr;
  GraphicsState* savedState_;
  im::PainterInput* savedClip_;
  Level* savedLevel_;
  content::ContentRecord* savedRecord_;
  DLPlayer* savedPlayer_;
  FormVisit* savedForms_;
  uint32_t savedFormDepth_;
  uint64_t savedFormKey_;
  uint64_t savedClipSignature_;
  uint32_t savedClipChain_;
};

// A form on the way down, for telling a form that draws itself.
struct RenderConsumer::FormVisit {
  document::ObjectId id;
  FormVisit* outer;
};

struct RenderConsumer::FormReplay {
  document::FormDisplayList* list;
  document::ObjectId id;
  FixedMatrix matrix;
  FixedRect bbox;
};

RenderConsumer::RenderConsumer(document::Document& document, pdfcolor::DocumentColorSpaces& colors,
                               const im::PixelBuffer& page, const FixedMatrix& pageToDevice,
                               DisplayEventListenerBase& events)
    : GStateConsumer(colors), document_(document), events_(events),
      work_(colors.Context()), page_(page), pageIn_(page_), area_(im::PixelRect{page.x0, page.y0, page.x1, page.y1}),
      areaIn_(area_), clip_(&areaIn_), pageToDevice_(pageToDevice), base_(colors.Context()),
      textClip_(colors.Context()), font_(colors.Context()), reportedFonts_(colors.Context()) {
  base_.Set(New<GraphicsState>(context_, context_));
  SetState(*base_);
  base_->SetDeviceClip(area_.Rect());
  base_->SetCTM(context_, pageToDevice);
  base_->patternBase = pageToDevice;
}

RenderConsumer::~RenderConsumer() = default;

uint64_t RenderConsumer::ObjectKey() const {
  return MixKey(formKey_, player_ != nullptr ? player_->Position() : 0);
}

void RenderConsumer::SendEvent(int32_t category, int32_t detail) { events_.DisplayEvent(0, category, detail); }

void RenderConsumer::InitialState(content::ContentRecord* record) {
  SetRecord(record);
  GraphicsState& s = State();
  // Colours start as DeviceGray black (DefaultGray applies).
  Guard([&] {
    s.fill.space = DeviceSpace(1);
    s.stroke.space = s.fill.space;
  });
}

void RenderConsumer::DrawList(document::DisplayList& list) {
  Level level(*this, *base_);
  InitialState(list.Record());
  DLPlayer player(list, *this);
  player_ = &player;
  player.Play();
  for (const document::DLError& error : list.Errors()) SendEvent(kEventContentStopped, error.code);
}

void RenderConsumer::DrawCell(document::DisplayList& list, const FixedRect& bbox, FixedPoint offset,
                              const uint8_t* uncoloured) {
  Level level(*this, *base_);
  InitialState(list.Record());
  GraphicsState& s = State();
  s.SetCTM(context_, Concat(FixedMatrix{kFixedOne, 0, 0, kFixedOne, offset.x, offset.y}, s.ctm));
  s.patternBase = s.ctm;
  if (uncoloured != nullptr) {
    for (PaintColor* side : {&s.fill, &s.stroke}) {
      for (int i = 0; i < 3; ++i) side->rgb[i] = uncoloured[i];
      side->rgbValid = true;
    }
    colorsLocked_ = true;
  }
  const BoxPath box(bbox);
  if (!Guard([&] { ClipTo(box.View(), s.ctm, im::kNonZero); })) return;
  DLPlayer player(list, *this);
  player_ = &player;
  player.Play();
}

void RenderConsumer::DrawCellsOnPage(document::DisplayList& list, const CellMark& mark) {
  Level level(*this, State());
  ClipTo(mark.path, mark.matrix, mark.rule);
  RestoreOnExit<bool> locked(context_, colorsLocked_);
  const GraphicsState& outer = State();
  for (uint32_t k = 0; k < mark.count; ++k) {
    Level cell(*this, *base_);
    InitialState(list.Record());
    GraphicsState& s = State();
    s.SetDeviceClip(outer.deviceClip);
    s.fillAlpha = s.strokeAlpha = mark.alpha;
    const FixedPoint offset = mark.offsets[k];
    s.SetCTM(context_, Concat(FixedMatrix{kFixedOne, 0, 0, kFixedOne, offset.x, offset.y}, mark.toDevice));
    s.patternBase = s.ctm;
    if (mark.uncoloured != nullptr) {
      for (PaintColor* side : {&s.fill, &s.stroke}) {
        for (int i = 0; i < 3; ++i) side->rgb[i] = mark.uncoloured[i];
        side->rgbValid = true;
      }
      colorsLocked_ = true;
    }
    const BoxPath box(mark.bbox);
    if (!Guard([&] { ClipTo(box.View(), s.ctm, im::kNonZero); })) continue;
    DLPlayer player(list, *this);
    player_ = &player;
    player.Play();
  }
}

void RenderConsumer::DrawAppearance(const document::ObjectId& form, const FixedMatrix& matrix,
                                    const FixedRect& bbox, content::ContentRecord& invoker) {
  Level level(*this, *base_);
  InitialState(&invoker);
  DrawForm(form, matrix, bbox, invoker);
}

// ---- nesting

void RenderConsumer::RunNested(void (*replay)(RenderConsumer&, void*), void* argument, uint32_t reserve) {
  if (nesting_ >= kMaxNestedReplays) RaiseCode(context_, kStackExhausted);
  RestoreOnExit<uint32_t> nesting(context_, nesting_);
  ++nesting_;
  if (StackRemaining(context_) >= reserve) {
    replay(*this, argument);
    return;
  }
  if (helpers_ >= kMaxHelperThreads) RaiseCode(context_, kStackExhausted);
  RestoreOnExit<uint32_t> helpers(context_, helpers_);
  ++helpers_;
  GSaveFunctor functor{*this, replay, argument};
  RunOnFreshStack(context_, functor);
}

void RenderConsumer::SaveAndPlayNested(DLPlayer& nested) { RunNested(&PlaySaved, &nested); }

void RenderConsumer::PlaySaved(RenderConsumer& self, void* nested) {
  StackCheck(self.context_);
  Level level(self, self.State());
  auto& player = *static_cast<DLPlayer*>(nested);
  self.player_ = &player;
  player.Play();
}

void RenderConsumer::BeginText(DLPlayer& textObject) { RunNested(&PlayText, &textObject); }

// A text object is not a graphics-state level: its clip (at ET) narrows the
// level it stands in.
void RenderConsumer::PlayText(RenderConsumer& self, void* textObject) {
  StackCheck(self.context_);
  RestoreOnExit<DLPlayer*> player(self.context_, self.player_);
  auto& text = *static_cast<DLPlayer*>(textObject);
  self.player_ = &text;
  self.SetTextMatrix(IdentityMatrix());
  if (self.type3Depth_ != 0) {
    // Text inside a Type 3 glyph belongs to the text object that shows the
    // glyph: it neither resets nor applies that object's clip.
    text.Play();
    return;
  }
  self.textClip_.Clear();
  self.textClipUsed_ = false;
  self.BeginTextHook();
  text.Play();
  self.EndTextHook();
}

void RenderConsumer::PlaySubList(document::DisplayList& list) { RunNested(&PlaySubListReplay, &list); }

void RenderConsumer::PlaySubListReplay(RenderConsumer& self, void* argument) {
  StackCheck(self.context_);
  auto& list = *static_cast<document::DisplayList*>(argument);
  Level level(self, self.State());
  self.SetRecord(list.Record());
  DLPlayer player(list, self);
  self.player_ = &player;
  player.Play();
}

// A Type 3 glyph: its procedure as a level of its own, under the glyph's
// matrix; a shape-only glyph (d1) keeps the colours of the text. In the
// clipping render modes the shapes it fills and strokes also add to the text
// clip; with mode 7 it paints nothing (its level sees an empty clip).
void RenderConsumer::PlayGlyphProcedure(RenderConsumer& self, void* argument) {
  StackCheck(self.context_);
  const GlyphReplay& r = *static_cast<const GlyphReplay*>(argument);
  Level level(self, self.State());
  RestoreOnExit<bool> locked(self.context_, self.colorsLocked_);
  RestoreOnExit<uint32_t> depth(self.context_, self.type3Depth_);
  RestoreOnExit<bool> clipping(self.context_, self.type3Clip_);
  RestoreOnExit<im::PixelRect> clipArea(self.context_, self.type3ClipArea_);
  ++self.type3Depth_;
  if (r.shapeOnly) self.colorsLocked_ = true;
  GraphicsState& s = self.State();
  if (r.clip && !self.type3Clip_) {
    self.type3Clip_ = true;
    self.type3ClipArea_ = s.deviceClip;
  }
  if (r.clipOnly) s.SetDeviceClip(im::PixelRect{s.deviceClip.x0, s.deviceClip.y0, s.deviceClip.x0, s.deviceClip.y0});
  s.SetCTM(self.context_, r.ctm);
  self.SetRecord(r.list->Record());
  DLPlayer player(*r.list, self);
  self.player_ = &player;
  player.Play();
}

// ---- forms

void RenderConsumer::DrawFormXObject(const DLName& name, const FixedMatrix& matrix, const FixedRect& bbox) {
  if (hiddenFrom_ != 0) return;
  document::ObjectId id{-1, 0};
  const bool found = Guard([&] {
    document::ResolvedValue form(context_);
    document::LookupResource(*Resolver(), Record()->Resources(), "XObject", name.bytes, name.length, form,
                             &id);
  });
  if (found) DrawForm(id, matrix, bbox, *Record());
}

void RenderConsumer::DrawForm(const document::ObjectId& id, const FixedMatrix& matrix, const FixedRect& bbox,
                              const content::ContentRecord& invoker) {
  // A form is a stream, so an indirect object; one already being drawn
  // would draw itself forever.
  bool drawing = id.number < 0;
  for (const FormVisit* visit = forms_; visit != nullptr && !drawing; visit = visit->outer) {
    drawing = visit->id.number == id.number && visit->id.generation == id.generation;
  }
  if (drawing) {
    SendEvent(kEventObjectSkipped, kBadData);
    return;
  }
  if (formDepth_ >= kMaxFormDepth) {
    SendEvent(kEventObjectSkipped, kLimitExceeded);
    return;
  }
  if (!document_.Optional().Shows(id)) return;  // in a layer the document's view hides
  Ref<document::FormDisplayList> list(context_);
  if (!Guard([&] { document_.GetFormDisplayList(list, id, invoker); })) return;
  FormReplay replay{list.get(), id, matrix, bbox};
  RunNested(&PlayForm, &replay);
}

void RenderConsumer::PlayForm(RenderConsumer& self, void* argument) {
  StackCheck(self.context_);
  const FormReplay& r = *static_cast<const FormReplay*>(argument);
  Level level(self, self.State());
  FormVisit visit{r.id, self.forms_};
  self.forms_ = &visit;
  ++self.formDepth_;
  self.formKey_ = MixKey(MixKey(self.formKey_, self.player_ != nullptr ? self.player_->Position() : 0),
                         static_cast<uint32_t>(r.id.number));
  GraphicsState& s = self.State();
  s.SetCTM(self.context_, Concat(r.matrix, s.ctm));
  s.patternBase = s.ctm;
  // Content outside the form's box is not shown.
  const im::BoxPath box(r.bbox);
  if (!self.Guard([&] { self.ClipTo(box.View(), s.ctm, im::kNonZero); })) return;
  self.SetRecord(r.list->Record());
  // Marked content the form leaves open (or closes beyond what it opened)
  // ends with it.
  RestoreOnExit<uint32_t> markDepth(self.context_, self.markDepth_);
  RestoreOnExit<uint32_t> hiddenFrom(self.context_, self.hiddenFrom_);
  DLPlayer player(*r.list, self);
  self.player_ = &player;
  player.Play();
  for (const document::DLError& error : r.list->Errors()) self.SendEvent(kEventContentStopped, error.code);
}

// ---- paths

bool RenderConsumer::TestBoundingBox(const FixedRect& box, bool stroke) {
  // A Type 3 glyph that only clips paints nothing, but all its shapes count.
  return type3Clip_ || BoxCanBeVisible(State(), box, stroke);
}

void RenderConsumer::PaintPath(const content::DLPath& path, bool visible, bool stroke, int32_t clipRule,
                               int32_t fill) {
  if (visible && (fill != 2 || stroke) && hiddenFrom_ == 0) {
    if (type3Clip_) Guard([&] { AddShapeToTextClip(path, fill != 2, stroke); });
    Guard([&] {
      if (fill != 2) Fill(path, fill);
      if (stroke) Stroke(path);
    });
    FinishObject();
  }
  if (clipRule != 2) Guard([&] { ClipTo(path, State().ctm, clipRule == 1 ? im::kEvenOdd : im::kNonZero); });
}

void RenderConsumer::Fill(const im::Path& path, int32_t rule) {
  GraphicsState& s = State();
  PaintMark(path, s.ctm, rule == 1 ? im::kEvenOdd : im::kNonZero, s.fill, s.fillAlpha);
}

void RenderConsumer::Stroke(const im::Path& path) {
  GraphicsState& s = State();
  if (s.deviceClip.Empty()) return;
  Scoped<im::PathWriter> outline(context_, context_);
  FixedMatrix fillMatrix = s.ctm;
  StrokeOutline(path, s.deviceClip, *outline, fillMatrix);
  PaintMark(outline->View(), fillMatrix, im::kNonZero, s.stroke, s.strokeAlpha);
}

void RenderConsumer::StrokeOutline(const im::Path& path, const im::PixelRect& clip, im::PathWriter& outline,
                                   FixedMatrix& fillMatrix) {
  GraphicsState& s = State();
  im::StrokeStyle style;
  style.lineWidth = static_cast<Fixed16_16>(FixedMagnitude(s.lineWidth));
  style.miterLimit = s.miterLimit;
  style.lineJoin = s.lineJoin;
  style.lineCap = s.lineCap;
  if (s.dash) {
    style.dash = s.dash->Data();
    style.dashCount = s.dash->Count();
    style.dashPhase = s.dashPhase;
  }
  fillMatrix = s.ctm;
  im::StrokeOutline(context_, path, style, s.ctm, clip, outline, fillMatrix);
}

const uint8_t* RenderConsumer::MarkColor(PaintColor& side, Fixed16_16 alpha, uint8_t& opacity) {
  GraphicsState& s = State();
  if (side.space.paintsNothing || s.deviceClip.Empty()) return nullptr;
  if (side.space.kind == pdfcolor::kPatternSpace) {
    SendEvent(kEventShadings, kPatternNotDrawn);
    return nullptr;
  }
  if (s.blendMode != 0) SendEvent(kEventTransparency, kBlendModeIgnored);
  if (alpha < kFixedOne) SendEvent(kEventTransparency, kConstantAlpha);
  opacity = AlphaByte(alpha);
  return opacity == 0 ? nullptr : DisplayColor(side);
}

void RenderConsumer::PaintCoverage(im::PainterInput& shape, const im::PixelRect& bounds, const uint8_t* rgb,
                                   uint8_t opacity) {
  const im::PixelRect area = im::Intersect(bounds, State().deviceClip);
  if (area.Empty()) return;
  im::FlatColor color(rgb[0], rgb[1], rgb[2], opacity);
  im::ClipperRasterPainter mark(*clip_, pageIn_, shape, color);
  im::PaintRows(work_, mark, area);
  AddDirty(area);
}

void RenderConsumer::PaintMark(const im::Path& path, const FixedMatrix& matrix, im::FillRule rule, PaintColor& side,
                               Fixed16_16 alpha) {
  if (side.space.kind == pdfcolor::kPatternSpace) {
    if (!side.space.paintsNothing && !State().deviceClip.Empty()) PaintPatternMark(path, matrix, rule, side, alpha);
    return;
  }
  uint8_t opacity = 0;
  const uint8_t* rgb = MarkColor(side, alpha, opacity);
  if (rgb == nullptr) return;
  Scoped<im::BezierRasterPainter> shape(context_, context_, path, matrix, State().deviceClip, rule);
  im::RasterPainterImpl<im::BezierRasterPainter> shapeIn(*shape);
  PaintCoverage(shapeIn, shape->Bounds(), rgb, opacity);
}

void RenderConsumer::AddDirty(const im::PixelRect& area) {
  dirty_ = dirty_.Empty() ? area
                          : im::PixelRect{dirty_.x0 < area.x0 ? dirty_.x0 : area.x0, dirty_.y0 < area.y0 ? dirty_.y0 : area.y0,
                                          dirty_.x1 > area.x1 ? dirty_.x1 : area.x1, dirty_.y1 > area.y1 ? dirty_.y1 : area.y1};
}

void RenderConsumer::FinishObject() {
  ++painted_;
  if (!dirty_.Empty()) {
    AreaPainted(FixedRect{IntToFixed(dirty_.x0), IntToFixed(dirty_.y0), IntToFixed(dirty_.x1), IntToFixed(dirty_.y1)});
    dirty_ = im::PixelRect{0, 0, 0, 0};
  }
  YieldPoint(context_);
}

void RenderConsumer::ClipTo(const im::Path& path, const FixedMatrix& matrix, im::FillRule rule) {
  GraphicsState& s = State();
  im::PixelRect rect;
  if (path.count == 0) {
    // A clip without a path leaves nothing visible.
    s.SetDeviceClip(im::PixelRect{s.deviceClip.x0, s.deviceClip.y0, s.deviceClip.x0, s.deviceClip.y0});
    return;
  }
  if (IsPixelAlignedRectangle(path, matrix, rect)) {
    s.SetDeviceClip(im::Intersect(s.deviceClip, rect));
    return;
  }
  if (s.deviceClip.Empty()) return;
  const uint64_t signature = ClipSignature(path, matrix, rule);
  if (signature == clipSignature_) return;  // the current clip once more changes nothing
  PathClip* clip = New<PathClip>(context_, context_, path, matrix, s.deviceClip, rule, *clip_);
  level_->Adopt(clip);
  clip_ = &clip->Input();
  clipSignature_ = signature;
  s.SetDeviceClip(im::Intersect(s.deviceClip, clip->Bounds()));
  if (++clipChain_ <= kMaxClipChain) return;
  // Fold the chain into one mask; this level's links are then unused.
  MaskClip* mask = New<MaskClip>(context_, context_, *clip_, s.deviceClip);
  level_->ReleaseClips();
  level_->Adopt(mask);
  clip_ = &mask->Input();
  clipChain_ = 1;
}

// ---- text clips (text: text_drawing.cpp; images: image_drawing.cpp)

void RenderConsumer::AddTextClipOutline(const im::Path& outline, const FixedMatrix& toDevice) {
  im::PathIterator it(outline);
  im::PathElement e;
  while (it.Next(e)) {
    const FixedPoint to = TransformPoint(toDevice, e.to);
    switch (e.kind) {
      case im::PathElement::kMove: textClip_.MoveTo(to); break;
      case im::PathElement::kLine: textClip_.LineTo(to); break;
      case im::PathElement::kCurve:
        textClip_.CurveTo(TransformPoint(toDevice, e.control1), TransformPoint(toDevice, e.control2), to);
        break;
      case im::PathElement::kClose: textClip_.Close(); break;
    }
  }
  textClipUsed_ = true;
}

void RenderConsumer::AddShapeToTextClip(const im::Path& path, bool fill, bool stroke) {
  GraphicsState& s = State();
  if (fill) AddTextClipOutline(path, s.ctm);
  if (!stroke || type3ClipArea_.Empty()) return;
  Scoped<im::PathWriter> outline(context_, context_);
  FixedMatrix fillMatrix = s.ctm;
  StrokeOutline(path, type3ClipArea_, *outline, fillMatrix);
  AddTextClipOutline(outline->View(), fillMatrix);
}

void RenderConsumer::EndTextHook() {
  // Clipping render modes narrow the level by the glyphs they showed. Runs
  // whose font could not be used added nothing; rather than hide the rest
  // of the level behind an empty clip, the level is then left unclipped
  // (those runs were reported).
  if (!textClipUsed_) return;
  Guard([&] { ClipTo(textClip_.View(), IdentityMatrix(), im::kNonZero); });
  textClip_.Clear();
  textClipUsed_ = false;
}

}  // namespace vn::pdf::render
