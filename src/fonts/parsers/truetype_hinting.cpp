// TrueType glyphs as the glyph caches draw them: fitted to the pixel grid
// by the font's instructions.
//
// A cache's glyphs are hinted at a size taken from the largest coefficient
// h of its matrix: up to 100 pixels per em at 4h (the coverage masks then
// keep quarter-pixel detail), above that at 400, and the hinted outline is
// scaled back to the cache's matrix. Each cache keeps what the font's
// control-value program left at its size, so that switching between sizes
// does not run the program again.
#include "fonts/glyph_outline.h"
#include "fonts/hinting/glyph_hinter.h"
#include "fonts/parsers/truetype.h"
#include "runtime/yield_points.h"

namespace vn::fonts::parsers {

namespace {

constexpr Fixed16_16 kQuadrupledUpTo = 100 << 16;
constexpr int32_t kLargestHintedPpem = 400;

class HintedSizeState final : public CacheState {
 public:
  HintedSizeState(AppContext& context, uint32_t serial) : snapshot(context), serial(serial) {}
  uint32_t MemorySize() const override { return sizeof(*this) + snapshot.MemorySize(); }
  hinting::SizeSnapshot snapshot;
  const uint32_t serial;
};

}  // namespace

TrueType::~TrueType() = default;

hinting::GlyphHinter* TrueType::Hinter() {
  if (!hinterTried_) {
    hinterTried_ = true;
    // Damaged instruction tables leave the font unhinted, not undrawable.
    TryFrame frame;
    if (VN_TRY(context_, frame)) {
      hinter_.Set(New<hinting::GlyphHinter>(context_, context_, *this));
      hinted_.Set(New<hinting::HintedGlyph>(context_, context_));
    } else {
      if (Catch(frame).code != kBadData) Rethrow(context_);
      hinter_.Set(nullptr);
    }
    EndTry(frame);
  }
  return hinter_ && hinter_->FontReady() ? hinter_.get() : nullptr;
}

uint32_t TrueType::HintingMemorySize() const {
  uint32_t bytes = hinter_ ? hinter_->MemorySize() : 0;
  if (hinted_)
    bytes += hinted_->points.MemorySize() + hinted_->onCurve.MemorySize() + hinted_->contourEnds.MemorySize();
  return bytes;
}

void TrueType::AppendCacheOutline(uint32_t glyph, const FixedMatrix& m, Owned<CacheState>& state, OutlineSink& sink) {
  if (!usable_ || glyph >= GlyphCount()) return;
  uint32_t largest = FixedMagnitude(m.a);
  for (Fixed16_16 v : {m.b, m.c, m.d}) largest = FixedMagnitude(v) > largest ? FixedMagnitude(v) : largest;
  hinting::GlyphHinter* hinter = largest != 0 ? Hinter() : nullptr;
  if (hinter == nullptr) return AppendOutline(glyph, m, sink);
  int32_t ppem = largest <= static_cast<uint32_t>(kQuadrupledUpTo)
                     ? static_cast<int32_t>((largest * uint64_t{4} + 0x8000) >> 16)
                     : kLargestHintedPpem;
  if (ppem < 1) ppem = 1;

  auto* size = static_cast<HintedSizeState*>(state.get());
  if (size == nullptr) {
    hinting::HintingSize wanted;
    wanted.ppem = ppem;
    wanted.rotated = m.b != 0 || m.c != 0;
    wanted.stretched = FixedMagnitude(m.a) != FixedMagnitude(m.d) || FixedMagnitude(m.b) != FixedMagnitude(m.c);
    wanted.grayscale = true;
    hinter->SetSize(wanted);
    Owned<HintedSizeState> made(context_, New<HintedSizeState>(context_, context_, ++sizeSerial_));
    hinter->SaveSize(made->snapshot);
    loadedSize_ = made->serial;
    state.Set(made.Release());
    size = static_cast<HintedSizeState*>(state.get());
  } else if (loadedSize_ != size->serial) {
    hinter->RestoreSize(size->snapshot);
    loadedSize_ = size->serial;
  }

  hinting::HintedGlyph& g = *hinted_;
  hinter->Load(glyph, g);
  // 26.6 pixels at `ppem` pixels per em, as 16.16 "units" of an em of
  // `ppem` units, under the cache's matrix.
  OutlineWriter writer(context_, Concat(UnitsPerEmMatrix(static_cast<uint32_t>(hinter->Ppem())), m), sink);
  outline_.Clear();
  for (const hinting::Point26& p : g.points) outline_.points.Push(FixedPoint{p.x * 1024, p.y * 1024});
  uint32_t first = 0;
  for (uint32_t end : g.contourEnds) {
    if (end >= g.points.Size() || end < first) RaiseBadData(context_);
    writer.QuadraticContour(outline_.points.Data() + first, g.onCurve.Data() + first, end - first + 1);
    first = end + 1;
  }
  // Charged last: the thread may yield here, and the hinter and the glyph
  // buffer are shared by every cache of the font.
  AddWork(context_, hinter->TakeInstructionCount());
}

}  // namespace vn::fonts::parsers
