#include "color/icc_color_space.h"

#include <cstring>

#include "color/icc_converter.h"
#include "color/icc_tags.h"
#include "color/matrix_shaper_converter.h"
#include "runtime/error.h"

namespace vn::color {

using namespace color_detail;

namespace {

// Tags the engine reads; others are skipped.
constexpr uint32_t kKeptTags[] = {
    Signature("A2B0"), Signature("A2B1"), Signature("A2B2"), Signature("B2A0"), Signature("B2A1"),
    Signature("B2A2"), Signature("rXYZ"), Signature("gXYZ"), Signature("bXYZ"), Signature("wtpt"),
    Signature("rTRC"), Signature("gTRC"), Signature("bTRC"), Signature("kTRC"),
};
constexpr uint32_t kMaxTags = 4096;

bool IsKept(uint32_t signature) {
  for (uint32_t kept : kKeptTags) {
    if (kept == signature) return true;
  }
  return false;
}

}  // namespace

uint32_t ChannelsOfDataSpace(uint32_t signature) {
  if (signature == Signature("GRAY")) return 1;
  if (signature == Signature("RGB ") || signature == Signature("Lab ") || signature == Signature("XYZ ") ||
      signature == Signature("CMY ")) {
    return 3;
  }
  if (signature == Signature("CMYK")) return 4;
  // "2CLR" .. "FCLR"
  if ((signature & 0xFFFFFF) == (Signature("2CLR") & 0xFFFFFF)) {
    uint32_t digit = signature >> 24;
    if (digit >= '2' && digit <= '9') return digit - '0';
    if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
  }
  return 0;
}

ICCColorSpace::ICCColorSpace(AppContext& context) : ColorSpace(0), context_(context), bytes_(context), tags_(context) {}

ICCColorSpace::~ICCColorSpace() {
  for (auto* p : forward_) {
    if (p != nullptr) p->Release(context_);
  }
  for (auto* p : inverse_) {
    if (p != nullptr) p->Release(context_);
  }
}

void ICCColorSpace::Read(const uint8_t* bytes, uint32_t length) {
  if (length < 128) RaiseBadData(context_);
  if (length > kMaxProfileBytes) RaiseUnsupported(context_);
  bytes_.Resize(length);
  std::memcpy(bytes_.Data(), bytes, length);
  ProfileReader header(context_, bytes_.Data(), length);
  uint32_t declared = header.U32(0);
  if (declared < 128) RaiseBadData(context_);
  // A profile that says it is longer than its stream is read as far as it goes.
  const uint32_t size = declared < length ? declared : length;
  ProfileReader reader(context_, bytes_.Data(), size);
  if (reader.U32(36) != Signature("acsp")) RaiseBadData(context_);
  deviceClass_ = reader.U32(12);
  if (deviceClass_ != Signature("mntr") && deviceClass_ != Signature("prtr") && deviceClass_ != Signature("scnr") &&
      deviceClass_ != Signature("spac")) {
    RaiseBadData(context_);
  }
  dataSpace_ = reader.U32(16);
  pcs_ = reader.U32(20);
  components_ = ChannelsOfDataSpace(dataSpace_);
  if (components_ == 0) RaiseUnsupported(context_);
  if (pcs_ != Signature("XYZ ") && pcs_ != Signature("Lab ")) RaiseBadData(context_);
  for (int i = 0; i < 3; ++i) white_[i] = reader.S15Fixed16(68 + 4 * i);

  uint32_t count = reader.U32(128);
  if (count > kMaxTags) RaiseBadData(context_);
  reader.Need(132, count * 12);
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t at = 132 + 12 * i;
    TagEntry entry{reader.U32(at), reader.U32(at + 4), reader.U32(at + 8)};
    if (!IsKept(entry.signature) || FindTag(entry.signature) != nullptr) continue;
    // Offsets and sizes that point outside the profile are bad data.
    if (entry.size < 8) RaiseBadData(context_);
    reader.Need(entry.offset, entry.size);
    tags_.Push(entry);
  }
  if (const TagEntry* wtpt = FindTag(Signature("wtpt"))) {
    ICCTagXYZ::Read(reader, TagSpan{wtpt->offset, wtpt->size}, white_);
  }
  // Hashed for telling identical profiles apart.
  uint64_t hash = 1469598103934665603ull ^ size;
  for (uint32_t i = 0; i < size; ++i) hash = (hash ^ bytes_[i]) * 1099511628211ull;
  fingerprint_ = hash;
  bytes_.Truncate(size);
  // Building the forward pipeline checks that the profile is usable.
  Forward(kPerceptual);
}

const ICCColorSpace::TagEntry* ICCColorSpace::FindTag(uint32_t signature) const {
  for (const TagEntry& tag : tags_) {
    if (tag.signature == signature) return &tag;
  }
  return nullptr;
}

const ICCColorSpace::TagEntry* ICCColorSpace::LutFor(const char (&base)[5], int32_t intent) const {
  uint32_t signature = Signature(base) & 0xFFFFFF00u;
  if (intent < 0 || intent > 2) intent = kRelativeColorimetric;
  if (const TagEntry* tag = FindTag(signature | static_cast<uint32_t>('0' + intent))) return tag;
  for (uint32_t i = 0; i < 3; ++i) {
    if (const TagEntry* tag = FindTag(signature | ('0' + i))) return tag;
  }
  return nullptr;
}

bool ICCColorSpace::SameProfile(const ICCColorSpace& other) const {
  return fingerprint_ == other.fingerprint_ && bytes_.Size() == other.bytes_.Size() &&
         std::memcmp(bytes_.Data(), other.bytes_.Data(), bytes_.Size()) == 0;
}

uint32_t ICCColorSpace::MemorySize() const {
  uint32_t total = sizeof(*this) + bytes_.MemorySize() + tags_.MemorySize();
  for (auto* p : forward_) total += p != nullptr ? p->MemorySize() : 0;
  for (auto* p : inverse_) total += p != nullptr ? p->MemorySize() : 0;
  return total;
}

namespace {
int32_t IntentSlot(int32_t intent) { return intent >= 0 && intent <= 2 ? intent : kRelativeColorimetric; }
}  // namespace

const ICCPipeline& ICCColorSpace::Forward(int32_t intent) const {
  int32_t slot = IntentSlot(intent);
  if (forward_[slot] == nullptr) {
    Ref<ICCPipeline> pipeline(context_, New<ICCPipeline>(context_, context_));
    BuildForward(*pipeline, slot);
    pipeline->AddRef();
    forward_[slot] = pipeline.get();
  }
  return *forward_[slot];
}

const ICCPipeline& ICCColorSpace::Inverse(int32_t intent) const {
  int32_t slot = IntentSlot(intent);
  if (inverse_[slot] == nullptr) {
    Ref<ICCPipeline> pipeline(context_, New<ICCPipeline>(context_, context_));
    BuildInverse(*pipeline, slot);
    pipeline->AddRef();
    inverse_[slot] = pipeline.get();
  }
  return *inverse_[slot];
}

namespace {

// How far (16.16 units) the sum of an RGB profile's primaries may be from
// the D50 white for its equal values to count as grey: published primaries
// are rounded to a few digits.
constexpr int64_t kNeutralTolerance = 16;

// a* = b* = 0 in the engine's Lab encoding: 128 / 255.
constexpr Fixed16_16 kNeutralLabOffset[3] = {0, 32896, 32896};

bool HasMatrixTags(const ICCColorSpace& space, const void* r, const void* g, const void* b, const void* rt,
                   const void* gt, const void* bt) {
  return space.DataSpace() == Signature("RGB ") && space.ConnectionSpace() == Signature("XYZ ") && r && g && b &&
         rt && gt && bt;
}

}  // namespace

void ICCColorSpace::BuildForward(ICCPipeline& pipeline, int32_t intent) const {
  ProfileReader reader(context_, bytes_.Data(), bytes_.Size());
  auto span = [](const TagEntry* t) { return TagSpan{t->offset, t->size}; };
  if (const TagEntry* lut = LutFor("A2B0", intent)) {
    ICCTagLut::Append(reader, span(lut), dataSpace_, pcs_, false, pcs_, pipeline);
    return;
  }
  const TagEntry *r = FindTag(Signature("rXYZ")), *g = FindTag(Signature("gXYZ")), *b = FindTag(Signature("bXYZ"));
  const TagEntry *rt = FindTag(Signature("rTRC")), *gt = FindTag(Signature("gTRC")), *bt = FindTag(Signature("bTRC"));
  if (HasMatrixTags(*this, r, g, b, rt, gt, bt)) {
    ICCTagTRC::Append(reader, span(rt), 0, Direction::kForward, pipeline);
    ICCTagTRC::Append(reader, span(gt), 1, Direction::kForward, pipeline);
    ICCTagTRC::Append(reader, span(bt), 2, Direction::kForward, pipeline);
    Fixed16_16 m[9];
    ReadMatrix(m);
    pipeline.Append(New<ICCStepMatrix3by4>(context_, m, nullptr));
    return;
  }
  const TagEntry* k = FindTag(Signature("kTRC"));
  if (dataSpace_ == Signature("GRAY") && k != nullptr) {
    ICCTagTRC::Append(reader, span(k), 0, Direction::kForward, pipeline);
    // The curve gives Y in an XYZ connection space (the D50 white scaled
    // by it) and L* in a Lab one (a* = b* = 0).
    if (pcs_ == Signature("Lab ")) {
      const Fixed16_16 l[9] = {kFixedOne, 0, 0, 0, 0, 0, 0, 0, 0};
      pipeline.Append(New<ICCStepMatrix3by4>(context_, l, kNeutralLabOffset));
    } else {
      const Fixed16_16 m[9] = {kD50[0], 0, 0, kD50[1], 0, 0, kD50[2], 0, 0};
      pipeline.Append(New<ICCStepMatrix3by4>(context_, m, nullptr));
    }
    return;
  }
  if (dataSpace_ == pcs_) return;  // Lab or XYZ data in its own connection space
  RaiseBadData(context_);
}

void ICCColorSpace::BuildInverse(ICCPipeline& pipeline, int32_t intent) const {
  ProfileReader reader(context_, bytes_.Data(), bytes_.Size());
  auto span = [](const TagEntry* t) { return TagSpan{t->offset, t->size}; };
  if (const TagEntry* lut = LutFor("B2A0", intent)) {
    ICCTagLut::Append(reader, span(lut), pcs_, dataSpace_, true, pcs_, pipeline);
    return;
  }
  const TagEntry *r = FindTag(Signature("rXYZ")), *g = FindTag(Signature("gXYZ")), *b = FindTag(Signature("bXYZ"));
  const TagEntry *rt = FindTag(Signature("rTRC")), *gt = FindTag(Signature("gTRC")), *bt = FindTag(Signature("bTRC"));
  if (HasMatrixTags(*this, r, g, b, rt, gt, bt)) {
    Fixed16_16 m[9], inverse[9];
    ReadMatrix(m);
    if (!InvertMatrix3(m, inverse)) RaiseBadData(context_);
    pipeline.Append(New<ICCStepMatrix3by4>(context_, inverse, nullptr));
    ICCTagTRC::Append(reader, span(rt), 0, Direction::kInverse, pipeline);
    ICCTagTRC::Append(reader, span(gt), 1, Direction::kInverse, pipeline);
    ICCTagTRC::Append(reader, span(bt), 2, Direction::kInverse, pipeline);
    return;
  }
  const TagEntry* k = FindTag(Signature("kTRC"));
  if (dataSpace_ == Signature("GRAY") && k != nullptr) {
    // The curve reads L* from Lab, Y from XYZ.
    if (pcs_ == Signature("XYZ ")) {
      const Fixed16_16 m[9] = {0, kFixedOne, 0, 0, 0, 0, 0, 0, 0};
      pipeline.Append(New<ICCStepMatrix3by4>(context_, m, nullptr));
    }
    ICCTagTRC::Append(reader, span(k), 0, Direction::kInverse, pipeline);
    return;
  }
  if (dataSpace_ == pcs_) return;
  RaiseBadData(context_);
}

void ICCColorSpace::ReadMatrix(Fixed16_16* m) const {
  ProfileReader reader(context_, bytes_.Data(), bytes_.Size());
  constexpr uint32_t kColumns[3] = {Signature("rXYZ"), Signature("gXYZ"), Signature("bXYZ")};
  for (int column = 0; column < 3; ++column) {
    const TagEntry* tag = FindTag(kColumns[column]);
    Fixed16_16 xyz[3];
    ICCTagXYZ::Read(reader, TagSpan{tag->offset, tag->size}, xyz);
    for (int row = 0; row < 3; ++row) m[3 * row + column] = xyz[row];
  }
}

bool ICCColorSpace::SameTagData(const TagEntry& tag, const ICCColorSpace& other, const TagEntry& otherTag) const {
  return tag.size == otherTag.size &&
         std::memcmp(bytes_.Data() + tag.offset, other.bytes_.Data() + otherTag.offset, tag.size) == 0;
}

bool ICCColorSpace::NeutralTo(const ICCColorSpace& destination, int32_t intent) const {
  const TagEntry* k = FindTag(Signature("kTRC"));
  if (dataSpace_ != Signature("GRAY") || pcs_ != Signature("XYZ ") || k == nullptr || LutFor("A2B0", intent)) {
    return false;
  }
  const ICCColorSpace& d = destination;
  const TagEntry *r = d.FindTag(Signature("rXYZ")), *g = d.FindTag(Signature("gXYZ")), *b = d.FindTag(Signature("bXYZ"));
  const TagEntry *rt = d.FindTag(Signature("rTRC")), *gt = d.FindTag(Signature("gTRC")), *bt = d.FindTag(Signature("bTRC"));
  if (!HasMatrixTags(d, r, g, b, rt, gt, bt) || d.LutFor("B2A0", intent) || !d.SameTagData(*rt, d, *gt) ||
      !d.SameTagData(*rt, d, *bt)) {
    return false;
  }
  // Equal RGB must be the connection space's white (and its multiples).
  Fixed16_16 m[9];
  d.ReadMatrix(m);
  for (int i = 0; i < 3; ++i) {
    const int64_t sum = int64_t{m[3 * i]} + m[3 * i + 1] + m[3 * i + 2];
    if (sum - kD50[i] > kNeutralTolerance || kD50[i] - sum > kNeutralTolerance) return false;
  }
  return true;
}

void ICCColorSpace::AppendNeutral(ICCPipeline& pipeline, const ICCColorSpace& destination) const {
  const TagEntry& k = *FindTag(Signature("kTRC"));
  const TagEntry& r = *destination.FindTag(Signature("rTRC"));
  // The same curve both ways cancels out.
  if (!SameTagData(k, destination, r)) {
    ICCTagTRC::Append(ProfileReader(context_, bytes_.Data(), bytes_.Size()), TagSpan{k.offset, k.size}, 0,
                      Direction::kForward, pipeline);
    ICCTagTRC::Append(ProfileReader(context_, destination.bytes_.Data(), destination.bytes_.Size()),
                      TagSpan{r.offset, r.size}, 0, Direction::kInverse, pipeline);
  }
  const Fixed16_16 broadcast[9] = {kFixedOne, 0, 0, kFixedOne, 0, 0, kFixedOne, 0, 0};
  pipeline.Append(New<ICCStepMatrix3by4>(context_, broadcast, nullptr));
}

ICCPipeline* ICCColorSpace::MakePipeline(const ICCColorSpace& destination, int32_t intent) const {
  Owned<ICCPipeline> pipeline(context_, New<ICCPipeline>(context_, context_));
  if (NeutralTo(destination, intent)) {
    AppendNeutral(*pipeline, destination);
    pipeline->Append(New<ICCStepClamp>(context_, destination.Components(), 0, kFixedOne));
    return pipeline.Release();
  }
  pipeline->AppendAll(Forward(intent));
  if (pcs_ == Signature("Lab ") && destination.pcs_ == Signature("XYZ ")) {
    pipeline->Append(New<ICCStepLabToXYZ>(context_, kD50));
  } else if (pcs_ == Signature("XYZ ") && destination.pcs_ == Signature("Lab ")) {
    pipeline->Append(New<ICCStepXYZToLab>(context_, kD50));
  }
  pipeline->AppendAll(destination.Inverse(intent));
  pipeline->Append(New<ICCStepClamp>(context_, destination.Components(), 0, kFixedOne));
  return pipeline.Release();
}

ByteColorConverter* ICCColorSpace::MakeByteConverter(AppContext& context, const ICCColorSpace& destination,
                                                     int32_t intent) const {
  if (SameProfile(destination)) return New<IdentityConverter<ByteSignalTraits>>(context, components_);
  Ref<ICCColorConverterImpl> impl(context, New<ICCColorConverterImpl>(context, context, *this, destination, intent));
  if (MatrixShaperConverter::Fits(impl->Pipeline(), components_, destination.Components())) {
    return New<MatrixShaperConverter>(context, context, impl->Pipeline(), destination.Components());
  }
  return New<ICCColorConverter<ByteSignalTraits>>(context, context, *impl);
}

FixedColorConverter* ICCColorSpace::MakeFixedConverter(AppContext& context, const ICCColorSpace& destination,
                                                       int32_t intent) const {
  if (SameProfile(destination)) return New<IdentityConverter<FixedSignalTraits>>(context, components_);
  Ref<ICCColorConverterImpl> impl(context, New<ICCColorConverterImpl>(context, context, *this, destination, intent));
  return New<ICCColorConverter<FixedSignalTraits>>(context, context, *impl);
}

ICCColorSpace* MakeICCColorSpace(AppContext& context, const uint8_t* bytes, uint32_t length) {
  Owned<ICCColorSpace> space(context, New<ICCColorSpace>(context, context));
  space->Read(bytes, length);
  return space.Release();
}

}  // namespace vn::color
