#include "pdf/render/image_description.h"

#include "pdf/pdfcolor/indexed_color_space.h"
#include "runtime/error.h"

namespace vn::pdf::render {

using document::ResolvedValue;
using store::Value;

namespace {

bool IsFullDecode(Fixed16_16 low, Fixed16_16 high) { return low == 0 && high == kFixedOne; }

int32_t RequiredInteger(AppContext& context, const ResolvedValue& v) {
  if (!v.Get().IsInteger()) RaiseBadData(context);
  return v.Get().i;
}

// Reads up to `capacity` numbers of the array in `array` (elements may be
// references); returns the array's length. Raises kBadData for a non-array
// or an element that is no number.
uint32_t ReadNumbers(document::ObjectResolver& resolver, const ResolvedValue& array, Fixed16_16* out,
                     uint32_t capacity) {
  AppContext& context = resolver.Context();
  if (!array.Get().IsArray()) RaiseBadData(context);
  const uint32_t size = array.Get().container->Size();
  ResolvedValue element(array);
  for (uint32_t i = 0; i < size && i < capacity; ++i) {
    element = array;
    element.SetChild(array.Get().container->At(i));
    document::ResolveInPlace(resolver, element);
    if (!element.Get().IsNumber()) RaiseBadData(context);
    out[i] = element.Get().AsFixed();
  }
  return size;
}

void ReadSize(AppContext& context, document::ObjectResolver& resolver, const ResolvedValue& image, bool inlineImage,
              ImageDescription& out) {
  ResolvedValue v(context);
  GetImageEntry(resolver, image, inlineImage, "Width", "W", v);
  const int32_t width = RequiredInteger(context, v);
  GetImageEntry(resolver, image, inlineImage, "Height", "H", v);
  const int32_t height = RequiredInteger(context, v);
  if (width < 1 || height < 1) RaiseBadData(context);
  if (static_cast<uint32_t>(width) > kMaxImageSide || static_cast<uint32_t>(height) > kMaxImageSide) {
    RaiseCode(context, kLimitExceeded);
  }
  out.width = static_cast<uint32_t>(width);
  out.height = static_cast<uint32_t>(height);
}

void ReadBitsPerComponent(AppContext& context, document::ObjectResolver& resolver, const ResolvedValue& image,
                          bool inlineImage, ImageDescription& out) {
  ResolvedValue v(context);
  GetImageEntry(resolver, image, inlineImage, "BitsPerComponent", "BPC", v);
  const int32_t bits = RequiredInteger(context, v);
  if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16) RaiseBadData(context);
  out.bitsPerComponent = static_cast<uint32_t>(bits);
}

// Row size in bytes; a row that cannot be counted in 32 bits is a limit.
void ComputeRowBytes(AppContext& context, ImageDescription& out) {
  const uint64_t bits = static_cast<uint64_t>(out.width) * out.components * out.bitsPerComponent;
  if (bits > 0xFFFFFFF0ull) RaiseCode(context, kLimitExceeded);
  out.rowBytes = static_cast<uint32_t>((bits + 7) / 8);
}

// `ranges`, when given, are the components' minima and maxima (spaces
// whose components are not 0..1): decode values are rescaled into them.
void ReadDecode(document::ObjectResolver& resolver, const ResolvedValue& image, bool inlineImage,
                ImageDescription& out, const Fixed16_16* ranges = nullptr) {
  AppContext& context = resolver.Context();
  ResolvedValue v(context);
  GetImageEntry(resolver, image, inlineImage, "Decode", "D", v);
  const uint32_t pairs = out.components;
  if (v.Get().IsNull()) {
    out.hasDecode = false;
  } else {
    const uint32_t size = ReadNumbers(resolver, v, out.decode, 2 * pairs);
    if (size < 2 * pairs) RaiseBadData(context);
    if (out.indexed) {
      // Index units to units of the full scale.
      const int32_t top = (1 << out.bitsPerComponent) - 1;
      for (uint32_t i = 0; i < 2 * pairs; ++i) out.decode[i] = out.decode[i] / top;
    } else if (ranges != nullptr) {
      // Component units (L* 0..100, a* and b* within their range) to
      // fractions of the range that the samples span.
      for (uint32_t i = 0; i < 2 * pairs; ++i) {
        const Fixed16_16 low = ranges[i & ~1u], high = ranges[i | 1u];
        if (high > low) out.decode[i] = FixedDiv(FixedSubSat(out.decode[i], low), FixedSubSat(high, low));
      }
    }
    out.hasDecode = false;
    for (uint32_t i = 0; i < pairs; ++i) {
      if (!IsFullDecode(out.decode[2 * i], out.decode[2 * i + 1])) out.hasDecode = true;
    }
  }
  if (out.imageMask) {
    // Masks paint where the decoded sample is 0: complementing the pair
    // turns it into the coverage mapping, [1 0] without "Decode".
    if (!out.hasDecode) {
      out.decode[0] = 0;
      out.decode[1] = kFixedOne;
    }
    out.decode[0] = kFixedOne - out.decode[0];
    out.decode[1] = kFixedOne - out.decode[1];
    out.invertedDecode = out.decode[0] == kFixedOne && out.decode[1] == 0;
    out.hasDecode = true;
  }
}

// Whether the last filter of the image's "Filter" is `name` (or, for
// inline images, its abbreviation).
bool LastFilterIs(document::ObjectResolver& resolver, const ResolvedValue& image, bool inlineImage, const char* name,
                  const char* abbreviation) {
  ResolvedValue filter(resolver.Context());
  GetImageEntry(resolver, image, inlineImage, "Filter", "F", filter);
  ResolvedValue last(filter);
  const Value& f = filter.Get();
  if (f.IsArray() && f.container->Size() > 0) {
    last.SetChild(f.container->At(f.container->Size() - 1));
    document::ResolveInPlace(resolver, last);
  }
  const Value& n = last.Get();
  return n.IsName() && (n.NameIs(name) || (inlineImage && n.NameIs(abbreviation)));
}

// The depth and colour space of JPEG 2000 samples: as the decoder gives
// them, in the dictionary's space when it fits them.
void ReadJpxSamples(pdfcolor::DocumentColorSpaces& colors, const ResolvedValue& image, const ResolvedValue& resources,
                    const data_io::DecodedImageLayout& layout, ImageDescription& out, pdfcolor::ColorSpaceRef& space) {
  AppContext& context = colors.Context();
  out.bitsPerComponent = layout.bitsPerComponent;
  if (out.bitsPerComponent != 8 && out.bitsPerComponent != 16) RaiseBadData(context);
  ResolvedValue v(context);
  GetImageEntry(colors.Resolver(), image, false, "ColorSpace", "CS", v);
  if (!v.Get().IsNull()) {
    colors.Resolve(space, v, resources, 0, pdfcolor::kPatternSpace);
    if (space.components == layout.components && !(space.space->IsIndexed() && out.bitsPerComponent > 8)) {
      out.components = space.components;
      return;
    }
  }
  uint32_t components = layout.components;
  switch (layout.colorSpace) {
    case data_io::DecodedColorSpace::kGray: components = 1; break;
    case data_io::DecodedColorSpace::kRGB: components = 3; break;
    case data_io::DecodedColorSpace::kCMYK: components = 4; break;
    case data_io::DecodedColorSpace::kUnspecified: break;
  }
  if (components != layout.components || (components != 1 && components != 3 && components != 4)) {
    RaiseUnsupported(context);
  }
  colors.DeviceSpace(space, components, resources);
  out.components = components;
}

}  // namespace

void GetImageEntry(document::ObjectResolver& resolver, const ResolvedValue& image, bool inlineImage, const char* key,
                   const char* abbreviation, ResolvedValue& out) {
  document::GetResolved(resolver, image, key, out);
  if (inlineImage && out.Get().IsNull()) document::GetResolved(resolver, image, abbreviation, out);
}

void ReadImageDescription(pdfcolor::DocumentColorSpaces& colors, const ResolvedValue& image,
                          const ResolvedValue& resources, bool inlineImage, ImageDescription& out,
                          pdfcolor::ColorSpaceRef& space, const data_io::DecodedImageLayout* layout) {
  document::ObjectResolver& resolver = colors.Resolver();
  AppContext& context = colors.Context();
  out = ImageDescription{};
  ReadSize(context, resolver, image, inlineImage, out);
  ResolvedValue v(context);
  GetImageEntry(resolver, image, inlineImage, "ImageMask", "IM", v);
  out.imageMask = v.Get().AsBool();
  GetImageEntry(resolver, image, inlineImage, "Interpolate", "I", v);
  out.interpolate = v.Get().AsBool();
  out.jpxLast = !inlineImage && !out.imageMask && LastFilterIs(resolver, image, false, "JPXDecode", "JPXDecode");
  if (out.imageMask) {
    out.bitsPerComponent = 1;
    out.components = 1;
  } else if (out.jpxLast) {
    if (layout == nullptr) {
      out.layoutPending = true;
      return;
    }
    ReadJpxSamples(colors, image, resources, *layout, out, space);
  } else {
    ReadBitsPerComponent(context, resolver, image, inlineImage, out);
    GetImageEntry(resolver, image, inlineImage, "ColorSpace", "CS", v);
    if (v.Get().IsNull()) RaiseBadData(context);
    colors.Resolve(space, v, resources, inlineImage ? uint32_t{pdfcolor::kInlineImage} : 0u, pdfcolor::kPatternSpace);
    out.components = space.components;
    if (out.components == 0) RaiseBadData(context);
    if (space.space->IsIndexed()) {
      out.indexed = true;
      out.highestIndex = static_cast<const pdfcolor::IndexedColorSpace&>(*space.space).HighestIndex();
      if (out.bitsPerComponent > 8) RaiseBadData(context);
    }
  }
  ComputeRowBytes(context, out);
  ReadDecode(resolver, image, inlineImage, out, out.imageMask ? nullptr : space.space->ComponentRanges());
  out.dctLast = LastFilterIs(resolver, image, inlineImage, "DCTDecode", "DCT");
  if (out.imageMask || inlineImage) return;

  GetImageEntry(resolver, image, false, "SMask", "SMask", v);
  if (v.Get().IsDictionary()) {
    out.maskKind = kSoftMask;
    return;
  }
  if (out.jpxLast && layout->hasAlpha) {
    // "SMaskInData" 1 (and 2, whose pre-blended colours are drawn as they
    // are): the data's alpha is the soft mask.
    GetImageEntry(resolver, image, false, "SMaskInData", "SMaskInData", v);
    if (v.Get().IsInteger() && v.Get().i > 0) {
      out.maskKind = kSoftMask;
      out.alphaInData = true;
      return;
    }
  }
  GetImageEntry(resolver, image, false, "Mask", "Mask", v);
  if (v.Get().IsArray()) {
    out.maskKind = kColorKeyMask;
    Fixed16_16 ranges[2 * pdfcolor::kMaxComponents];
    const uint32_t size = ReadNumbers(resolver, v, ranges, 2 * pdfcolor::kMaxComponents);
    if (size != 2 * out.components) RaiseBadData(context);
    const uint32_t top = out.bitsPerComponent == 16 ? 0xFFFFu : (1u << out.bitsPerComponent) - 1;
    for (uint32_t i = 0; i < size; ++i) {
      const int32_t key = FixedFloor(ranges[i]);
      out.colorKey[i] = key < 0 ? 0 : static_cast<uint32_t>(key) > top ? top : static_cast<uint32_t>(key);
    }
  } else if (v.Get().IsDictionary()) {
    out.maskKind = kExplicitMask;
  }
}

void ReadMaskDescription(pdfcolor::DocumentColorSpaces& colors, const ResolvedValue& mask,
                         const ResolvedValue& resources, bool softMask, ImageDescription& out) {
  document::ObjectResolver& resolver = colors.Resolver();
  AppContext& context = colors.Context();
  out = ImageDescription{};
  ReadSize(context, resolver, mask, false, out);
  out.components = 1;
  ResolvedValue v(context);
  if (softMask) {
    ReadBitsPerComponent(context, resolver, mask, false, out);
    GetImageEntry(resolver, mask, false, "ColorSpace", "ColorSpace", v);
    if (!v.Get().IsNull()) {
      pdfcolor::ColorSpaceRef space(context);
      colors.Resolve(space, v, resources, 0, pdfcolor::kPatternSpace | pdfcolor::kIndexedSpace);
      if (space.components != 1) RaiseBadData(context);
    }
  } else {
    // An explicit mask is an image mask; its "ImageMask" flag is implied.
    out.imageMask = true;
    out.bitsPerComponent = 1;
  }
  ComputeRowBytes(context, out);
  ReadDecode(resolver, mask, false, out);
  out.dctLast = LastFilterIs(resolver, mask, false, "DCTDecode", "DCT");
  if (!softMask) return;
  GetImageEntry(resolver, mask, false, "Matte", "Matte", v);
  if (v.Get().IsArray()) {
    const uint32_t size = ReadNumbers(resolver, v, out.matte, pdfcolor::kMaxComponents);
    out.matteComponents = size < pdfcolor::kMaxComponents ? size : pdfcolor::kMaxComponents;
  }
}

}  // namespace vn::pdf::render
