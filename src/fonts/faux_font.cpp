#include "fonts/faux_font.h"

#include <cstring>
#include <initializer_list>

#include "runtime/engine_new.h"

namespace vn::fonts {

namespace {

// The stems, capital and x heights (1/1000 em) of the Latin families, from
// their fonts' metrics: kSans, kSerif, kMono.
struct FamilyMetrics {
  int32_t regularStem;
  int32_t boldStem;
  int32_t capHeight;
  int32_t xHeight;
};
constexpr FamilyMetrics kSansMetrics = {88, 140, 718, 532};
constexpr FamilyMetrics kSerifMetrics = {84, 139, 662, 450};
constexpr FamilyMetrics kMonoMetrics = {55, 93, 572, 434};

BuiltInFace FamilyOf(BuiltInFace face) {
  const uint32_t index = static_cast<uint32_t>(face);
  return index >= static_cast<uint32_t>(BuiltInFace::kSymbol) ? face : static_cast<BuiltInFace>(index & ~3u);
}

const FamilyMetrics& MetricsOf(BuiltInFace family) {
  return family == BuiltInFace::kSerif ? kSerifMetrics : family == BuiltInFace::kMono ? kMonoMetrics : kSansMetrics;
}

// Whether `word` occurs in the name, ignoring ASCII case.
bool NameHas(const FaceRequest& request, const char* word) {
  const uint32_t length = static_cast<uint32_t>(std::strlen(word));
  for (uint32_t at = 0; at + length <= request.nameLength; ++at) {
    uint32_t i = 0;
    while (i < length && (request.name[at + i] | 0x20) == (static_cast<uint8_t>(word[i]) | 0x20)) ++i;
    if (i == length) return true;
  }
  return false;
}

bool NameHasAny(const FaceRequest& request, std::initializer_list<const char*> words) {
  for (const char* word : words) {
    if (NameHas(request, word)) return true;
  }
  return false;
}

BuiltInFace ChooseFamily(const FaceRequest& request) {
  if ((request.flags & kFixedPitchFlag) != 0 || NameHasAny(request, {"Courier", "Mono", "Consol", "Typewriter"})) {
    return BuiltInFace::kMono;
  }
  // Names say more than flags, which producers often leave at Nonsymbolic.
  if (NameHasAny(request, {"Sans", "Arial", "Helvetica", "Verdana", "Tahoma", "Calibri", "Gothic", "Grotesk",
                           "Univers", "Futura", "Frutiger", "Segoe"})) {
    return BuiltInFace::kSans;
  }
  if ((request.flags & kSerifFlag) != 0 ||
      NameHasAny(request, {"Times", "Roman", "Serif", "Georgia", "Garamond", "Cambria", "Palatino", "Bookman",
                           "Century", "Minion", "Caslon", "Baskerville", "Book Antiqua", "Schoolbook"})) {
    return BuiltInFace::kSerif;
  }
  return BuiltInFace::kSans;
}

bool ChooseBold(const FaceRequest& request, const FamilyMetrics& metrics) {
  if (request.fontWeight > 0) return request.fontWeight >= 600;
  if (NameHasAny(request, {"Bold", "Black", "Heavy", "Semibold", "Demi"})) return true;
  if ((request.flags & kForceBoldFlag) != 0) return true;
  if (request.stemV > 0) return 2 * request.stemV > metrics.regularStem + metrics.boldStem;
  return false;
}

bool ChooseItalic(const FaceRequest& request) {
  // A positive angle leans backwards: no face does, so it draws upright.
  return request.italicAngle < 0 || (request.flags & kItalicFlag) != 0 ||
         NameHasAny(request, {"Italic", "Oblique", "Slanted"});
}

}  // namespace

BuiltInFace ChooseFace(const FaceRequest& request) {
  const BuiltInFace family = ChooseFamily(request);
  return StyledFace(family, ChooseBold(request, MetricsOf(family)), ChooseItalic(request));
}

FauxFont::FauxFont(AppContext& context, BuiltInFace face, uint32_t flags, int32_t xHeight)
    : Font(context), face_(face), flags_(flags), master_(nullptr), targetWidths_(context), capitals_(context) {
  Owned<Font> master(context, MakeBuiltInProgram(context, face));
  targetWidths_.Resize(master->GlyphCount());
  if ((flags & (kAllCapFlag | kSmallCapFlag)) != 0) {
    const FamilyMetrics& metrics = MetricsOf(FamilyOf(face));
    if ((flags & kSmallCapFlag) != 0) {
      int32_t height = xHeight <= 0 ? metrics.xHeight : xHeight;
      if (height > metrics.capHeight) height = metrics.capHeight;
      if (height < metrics.capHeight / 2) height = metrics.capHeight / 2;
      smallCapScale_ = FixedDiv(IntToFixed(height), IntToFixed(metrics.capHeight));
    }
    master_ = master.get();
    MapCapitals();
  }
  master_ = master.Release();
}

FauxFont::~FauxFont() { Delete(context_, master_); }

void FauxFont::MapCapitals() {
  const char* const* names = master_->GlyphNames();
  if (names == nullptr) return;
  const uint32_t count = master_->GlyphCount();
  capitals_.Resize(count);
  char capital[64];
  for (uint32_t glyph = 0; glyph < count; ++glyph) {
    const char* name = names[glyph];
    const uint32_t length = name == nullptr ? 0 : static_cast<uint32_t>(std::strlen(name));
    if (length == 0 || length >= sizeof(capital) || name[0] < 'a' || name[0] > 'z') continue;
    std::memcpy(capital, name, length);
    capital[0] = static_cast<char>(name[0] - 'a' + 'A');
    int32_t found = FindGlyph(capital, length);
    if (found < 0 && length == 2 && name[1] >= 'a' && name[1] <= 'z') {  // ae, oe, ij
      capital[1] = static_cast<char>(name[1] - 'a' + 'A');
      found = FindGlyph(capital, length);
    }
    if (found >= 0) capitals_[glyph] = static_cast<uint16_t>(found + 1);
  }
}

void FauxFont::WidenGlyph(uint32_t glyph, uint32_t thousandths) {
  if (glyph >= targetWidths_.Size()) return;
  if (thousandths > 0xFFFF) thousandths = 0xFFFF;
  if (thousandths > targetWidths_[glyph]) targetWidths_[glyph] = static_cast<uint16_t>(thousandths);
}

uint32_t FauxFont::SourceGlyph(uint32_t glyph, Fixed16_16& verticalScale) const {
  verticalScale = kFixedOne;
  if (glyph < capitals_.Size() && capitals_[glyph] != 0) {
    if ((flags_ & kSmallCapFlag) != 0) verticalScale = smallCapScale_;
    return capitals_[glyph] - 1u;
  }
  return glyph;
}

Fixed16_16 FauxFont::GlyphAdvance(uint32_t glyph) {
  if (glyph >= targetWidths_.Size()) return 0;
  // The built-in faces have 1000 units per em.
  if (targetWidths_[glyph] != 0) return IntToFixed(targetWidths_[glyph]);
  Fixed16_16 verticalScale;
  const uint32_t source = SourceGlyph(glyph, verticalScale);
  return FixedMul(master_->GlyphAdvance(source), verticalScale);
}

void FauxFont::AppendOutline(uint32_t glyph, const FixedMatrix& m, OutlineSink& sink) {
  if (glyph >= targetWidths_.Size()) return;
  Fixed16_16 verticalScale;
  const uint32_t source = SourceGlyph(glyph, verticalScale);
  Fixed16_16 horizontalScale = verticalScale;
  const Fixed16_16 natural = master_->GlyphAdvance(source);
  if (targetWidths_[glyph] != 0 && natural > 0) horizontalScale = FixedDiv(IntToFixed(targetWidths_[glyph]), natural);
  if (horizontalScale == kFixedOne && verticalScale == kFixedOne) {
    master_->AppendOutline(source, m, sink);
    return;
  }
  // The faces' font matrix is a uniform scale, so a glyph-space stretch is
  // the same stretch in text space.
  const FixedMatrix stretch{horizontalScale, 0, 0, verticalScale, 0, 0};
  master_->AppendOutline(source, Concat(stretch, m), sink);
}

uint32_t FauxFont::Footprint() const {
  return static_cast<uint32_t>(sizeof(*this)) + master_->Footprint() + targetWidths_.MemorySize() +
         capitals_.MemorySize() + NameIndexSize();
}

}  // namespace vn::fonts
