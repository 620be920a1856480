#include "fonts/hinting/glyph_hinter.h"

namespace vn::fonts::hinting {

namespace {

// "maxp" fields (version 1.0).
constexpr uint32_t kMaxpTwilightPoints = 16;
constexpr uint32_t kMaxpStorage = 18;
constexpr uint32_t kMaxpFunctionDefs = 20;
constexpr uint32_t kMaxpInstructionDefs = 22;
constexpr uint32_t kMaxpStackElements = 24;
constexpr uint32_t kMaxpLength = 32;

}  // namespace

GlyphHinter::GlyphHinter(AppContext& context, parsers::TrueType& font)
    : context_(context), font_(font), interpreter_(context), cur_(context), org_(context), orus_(context),
      flags_(context), contourEnds_(context), zoneContours_(context), record_(context), instructions_(context) {
  const parsers::TrueType::Tables& t = font.FontTables();
  FontData& data = font.Data();
  if (!font.IsUsable() || t.maxp.length < kMaxpLength || data.U32(t.maxp.offset) < 0x00010000) return;
  FontPrograms programs;
  programs.maxTwilightPoints = data.U16(t.maxp.offset + kMaxpTwilightPoints);
  programs.maxStorage = data.U16(t.maxp.offset + kMaxpStorage);
  programs.maxFunctionDefs = data.U16(t.maxp.offset + kMaxpFunctionDefs);
  programs.maxInstructionDefs = data.U16(t.maxp.offset + kMaxpInstructionDefs);
  programs.maxStack = data.U16(t.maxp.offset + kMaxpStackElements);
  FontBytes fpgm(context), prep(context), cvt(context);
  programs.fpgm = t.fpgm.length != 0 ? data.Fetch(t.fpgm.offset, t.fpgm.length, fpgm) : nullptr;
  programs.fpgmLength = t.fpgm.length;
  programs.prep = t.prep.length != 0 ? data.Fetch(t.prep.offset, t.prep.length, prep) : nullptr;
  programs.prepLength = t.prep.length;
  programs.cvt = t.cvt.length != 0 ? data.Fetch(t.cvt.offset, t.cvt.length, cvt) : nullptr;
  programs.cvtLength = t.cvt.length;
  interpreter_.Set(New<Interpreter>(context, context, programs));
  fontReady_ = interpreter_->RunFontProgram() == kHintOk;
}

uint32_t GlyphHinter::MemorySize() const {
  return sizeof(*this) + (interpreter_ ? interpreter_->MemorySize() : 0) + cur_.MemorySize() + org_.MemorySize() +
         orus_.MemorySize() + flags_.MemorySize() + contourEnds_.MemorySize() + zoneContours_.MemorySize() +
         record_.points.MemorySize() + record_.onCurve.MemorySize() + record_.contourEnds.MemorySize();
}

bool GlyphHinter::SetSize(HintingSize size) {
  size.scale = DivFix16(size.ppem * kPixel, font_.Info().unitsPerEm);
  size_ = size;
  sizeReady_ = fontReady_ && interpreter_->SetSize(size) == kHintOk;
  return sizeReady_;
}

void GlyphHinter::SaveSize(SizeSnapshot& snapshot) const {
  if (fontReady_) {
    interpreter_->SaveSize(snapshot);
  } else {
    snapshot.size = size_;
  }
  snapshot.ready = sizeReady_;
}

void GlyphHinter::RestoreSize(const SizeSnapshot& snapshot) {
  size_ = snapshot.size;
  sizeReady_ = false;
  if (!fontReady_ || !snapshot.ready) return;
  interpreter_->RestoreSize(snapshot);
  sizeReady_ = true;
}

void GlyphHinter::Load(uint32_t glyph, HintedGlyph& out) {
  // Hinted when the font, the size and "prep" allow; a fault anywhere in the
  // glyph's programs loads it again, unhinted.
  for (int attempt = 0; attempt < 2; ++attempt) {
    hinting_ = attempt == 0 && sizeReady_ && interpreter_->GlyphProgramsEnabled();
    error_ = kHintOk;
    records_ = 0;
    Truncate(0);
    contourEnds_.Clear();
    Phantoms phantoms;
    LoadGlyph(glyph, 0, phantoms);
    out.hinted = hinting_ && error_ == kHintOk;
    if (hinting_ && !out.hinted) continue;  // again, unhinted
    const F26Dot6 originX = phantoms.p[0].x;
    const uint32_t n = cur_.Size();
    out.points.Resize(n);
    out.onCurve.Resize(n);
    for (uint32_t i = 0; i < n; ++i) {
      out.points[i] = Point26{SubSat(cur_[i].x, originX), cur_[i].y};
      out.onCurve[i] = flags_[i] & kPointOnCurve;
    }
    out.contourEnds.Resize(contourEnds_.Size());
    for (uint32_t i = 0; i < contourEnds_.Size(); ++i) out.contourEnds[i] = contourEnds_[i];
    out.advance = SubSat(phantoms.p[1].x, originX);
    return;
  }
}

void GlyphHinter::Append(Point26 orus, Point26 org, uint8_t flags) {
  orus_.Push(orus);
  org_.Push(org);
  cur_.Push(org);
  flags_.Push(flags);
}

void GlyphHinter::Truncate(uint32_t size) {
  cur_.Truncate(size);
  org_.Truncate(size);
  orus_.Truncate(size);
  flags_.Truncate(size);
}

void GlyphHinter::LoadGlyph(uint32_t glyph, uint32_t depth, Phantoms& phantoms) {
  if (depth > parsers::kMaxCompositeDepth || ++records_ > parsers::kMaxGlyphRecords) RaiseBadData(context_);
  parsers::TrueTypeGlyphHeader header;
  EngineArray<parsers::TrueTypeComponent> components(context_);
  record_.Clear();
  const bool present = font_.ReadGlyph(glyph, header, record_, components);
  // The phantom points in font units: origin and advance on the baseline,
  // then top and bottom (the font's ascent and descent stand in for
  // vertical metrics).
  const int32_t originX = header.xMin - font_.LeftSideBearing(glyph);
  const int32_t advance = font_.GlyphAdvance(glyph) >> 16;
  const Phantoms units{{{originX, 0}, {originX + advance, 0}, {0, font_.Info().ascent}, {0, font_.Info().descent}}};
  for (int i = 0; i < 4; ++i) phantoms.p[i] = Scale(units.p[i]);
  if (!present) return;
  if (!header.composite) return LoadSimple(header, units, phantoms);

  const uint32_t base = cur_.Size();
  const uint32_t contourBase = contourEnds_.Size();
  for (const parsers::TrueTypeComponent& c : components) {
    const uint32_t from = cur_.Size();
    if (!(c.flags & parsers::TrueTypeComponent::kArgsAreXY) && static_cast<uint32_t>(c.arg1) >= from - base) {
      RaiseBadData(context_);
    }
    Phantoms own;
    LoadGlyph(c.glyph, depth + 1, own);
    if (error_ != kHintOk) return;
    PlaceComponent(c, base, from);
    if (c.flags & parsers::TrueTypeComponent::kUseMyMetrics) phantoms = own;
  }
  if (!hinting_ || header.instructionsLength == 0) return;
  // The composite's program sees its components as placed and hinted.
  for (uint32_t i = base; i < cur_.Size(); ++i) org_[i] = orus_[i] = cur_[i];
  const Phantoms placed = phantoms;
  RunProgram(base, contourBase, header.instructionsOffset, header.instructionsLength, phantoms, placed, 0x10000);
}

void GlyphHinter::LoadSimple(const parsers::TrueTypeGlyphHeader& header, const Phantoms& units, Phantoms& phantoms) {
  const uint32_t base = cur_.Size();
  const uint32_t contourBase = contourEnds_.Size();
  const uint32_t n = record_.points.Size();
  for (uint32_t i = 0; i < n; ++i) {
    const Point26 u{record_.points[i].x >> 16, record_.points[i].y >> 16};
    Append(u, Scale(u), record_.onCurve[i] ? kPointOnCurve : 0);
  }
  for (uint32_t end : record_.contourEnds) contourEnds_.Push(base + end);
  if (!hinting_) return;
  RunProgram(base, contourBase, header.instructionsOffset, header.instructionsLength, phantoms, units, size_.scale);
}

void GlyphHinter::RunProgram(uint32_t base, uint32_t contourBase, uint32_t offset, uint32_t length,
                             Phantoms& phantoms, const Phantoms& phantomOrus, int32_t orusScale) {
  const uint32_t n = cur_.Size();
  for (int i = 0; i < 4; ++i) Append(phantomOrus.p[i], phantoms.p[i], 0);
  // The phantom points start on the pixel grid.
  cur_[n].x = PixelRound(cur_[n].x);
  cur_[n + 1].x = PixelRound(cur_[n + 1].x);
  cur_[n + 2].y = PixelRound(cur_[n + 2].y);
  cur_[n + 3].y = PixelRound(cur_[n + 3].y);
  zoneContours_.Clear();
  for (uint32_t c = contourBase; c < contourEnds_.Size(); ++c) zoneContours_.Push(contourEnds_[c] - base);
  Zone zone{cur_.Data() + base, org_.Data() + base, orus_.Data() + base, flags_.Data() + base, n + 4 - base,
            zoneContours_.Data(), zoneContours_.Size()};
  const uint8_t* code = length != 0 ? font_.Data().Fetch(offset, length, instructions_) : nullptr;
  error_ = interpreter_->RunGlyphProgram(zone, code, length, orusScale);
  for (int i = 0; i < 4; ++i) phantoms.p[i] = cur_[n + i];
  Truncate(n);
  for (uint32_t i = base; i < n; ++i) flags_[i] &= kPointOnCurve;
}

void GlyphHinter::PlaceComponent(const parsers::TrueTypeComponent& c, uint32_t base, uint32_t from) {
  const uint32_t end = cur_.Size();
  if (c.transformed) {
    for (uint32_t i = from; i < end; ++i) {
      const Point26 p = cur_[i];
      cur_[i] =
          Point26{AddSat(MulFix14(p.x, c.xx), MulFix14(p.y, c.yx)), AddSat(MulFix14(p.x, c.xy), MulFix14(p.y, c.yy))};
    }
  }
  F26Dot6 dx, dy;
  if (c.flags & parsers::TrueTypeComponent::kArgsAreXY) {
    Point26 offset{c.arg1, c.arg2};
    if (c.OffsetTransformed()) {
      offset =
          Point26{MulFix14(c.arg1, c.xx) + MulFix14(c.arg2, c.yx), MulFix14(c.arg1, c.xy) + MulFix14(c.arg2, c.yy)};
    }
    offset = Scale(offset);
    if (hinting_ && (c.flags & parsers::TrueTypeComponent::kRoundXYToGrid)) {
      offset = Point26{PixelRound(offset.x), PixelRound(offset.y)};
    }
    dx = offset.x;
    dy = offset.y;
  } else {
    // Point matching: the component's point arg2 lands on the parent's arg1.
    if (static_cast<uint32_t>(c.arg2) >= end - from) RaiseBadData(context_);
    const Point26 parent = cur_[base + static_cast<uint32_t>(c.arg1)];
    const Point26 child = cur_[from + static_cast<uint32_t>(c.arg2)];
    dx = SubSat(parent.x, child.x);
    dy = SubSat(parent.y, child.y);
  }
  for (uint32_t i = from; i < end; ++i) cur_[i] = Point26{AddSat(cur_[i].x, dx), AddSat(cur_[i].y, dy)};
}

}  // namespace vn::fonts::hinting
