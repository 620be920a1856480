#include "pdf/pdfcolor/indexed_color_space.h"

#include <cstring>

#include "color/icc_color_space.h"
#include "runtime/memory_budget.h"

namespace vn::pdf::pdfcolor {

IndexedColorSpace::IndexedColorSpace(AppContext& context, const ColorSpaceRef& base, uint32_t hival,
                                     const uint8_t* lookup)
    : ColorSpace(1), base_(context, base.space.get()), hival_(hival), lookup_(context) {
  lookup_.Resize((hival + 1) * base.components);
  std::memcpy(lookup_.Data(), lookup, lookup_.Size());
}

template <>
class IndexedColorConverter<color::ByteSignalTraits> final : public color::ByteColorConverter {
 public:
  IndexedColorConverter(AppContext& context, const IndexedColorSpace& space, const color::ByteColorConverter& base)
      : color::ByteColorConverter(1, base.Outputs()), context_(context) {
    table_ = static_cast<uint8_t*>(Allocate(context, 256 * outputs_));
    const uint32_t n = base.Inputs();
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t index = i > space.HighestIndex() ? space.HighestIndex() : i;
      base.ConvertPixel(table_ + i * outputs_, 1, space.Lookup() + index * n, 1);
    }
  }
  ~IndexedColorConverter() override { Free(context_, table_); }
  void ConvertRun(const uint8_t* source, uint8_t* destination, uint32_t first, uint32_t last) const override {
    for (uint32_t p = first; p < last; ++p) {
      const uint8_t* entry = table_ + source[p] * outputs_;
      for (uint32_t k = 0; k < outputs_; ++k) destination[p * outputs_ + k] = entry[k];
    }
  }
  void ConvertPixel(uint8_t* destination, int32_t destinationStep, const uint8_t* source, int32_t) const override {
    const uint8_t* entry = table_ + source[0] * outputs_;
    for (uint32_t k = 0; k < outputs_; ++k) destination[k * destinationStep] = entry[k];
  }
  uint32_t MemorySize() const override { return sizeof(*this) + 256 * outputs_; }

 private:
  AppContext& context_;
  uint8_t* table_;
};

// Single colours: the component is the index (rounded, clamped).
template <>
class IndexedColorConverter<color::FixedSignalTraits> final : public color::FixedColorConverter {
 public:
  IndexedColorConverter(AppContext& context, const IndexedColorSpace& space, const color::FixedColorConverter& base)
      : color::FixedColorConverter(1, base.Outputs()), space_(context, const_cast<IndexedColorSpace*>(&space)),
        base_(context, const_cast<color::FixedColorConverter*>(&base)) {}
  void ConvertRun(const Fixed16_16* source, Fixed16_16* destination, uint32_t first, uint32_t last) const override {
    for (uint32_t p = first; p < last; ++p) ConvertPixel(destination + p * outputs_, 1, source + p, 1);
  }
  void ConvertPixel(Fixed16_16* destination, int32_t destinationStep, const Fixed16_16* source,
                    int32_t) const override {
    int32_t index = FixedRound(source[0]);
    uint32_t hival = space_->HighestIndex();
    uint32_t at = index < 0 ? 0 : (static_cast<uint32_t>(index) > hival ? hival : static_cast<uint32_t>(index));
    Fixed16_16 components[color::kMaxColorChannels];
    const uint32_t n = base_->Inputs();
    for (uint32_t i = 0; i < n; ++i) components[i] = ByteToFixed(space_->Lookup()[at * n + i]);
    base_->ConvertPixel(destination, destinationStep, components, 1);
  }

 private:
  Ref<IndexedColorSpace> space_;
  Ref<color::FixedColorConverter> base_;
};

color::ByteColorConverter* IndexedColorSpace::MakeByteConverter(AppContext& context,
                                                                const color::ICCColorSpace& destination,
                                                                int32_t intent) const {
  Ref<color::ByteColorConverter> base(context, base_->MakeByteConverter(context, destination, intent));
  return New<IndexedColorConverter<color::ByteSignalTraits>>(context, context, *this, *base);
}

color::FixedColorConverter* IndexedColorSpace::MakeFixedConverter(AppContext& context,
                                                                  const color::ICCColorSpace& destination,
                                                                  int32_t intent) const {
  Ref<color::FixedColorConverter> base(context, base_->MakeFixedConverter(context, destination, intent));
  return New<IndexedColorConverter<color::FixedSignalTraits>>(context, context, *this, *base);
}

}  // namespace vn::pdf::pdfcolor
