// What an image is, read from an image XObject's dictionary or an inline
// image's operands: size, sample layout, colour space, decode mapping and
// how it is masked.
//
// Decode ranges are kept in units of the sample's full scale: (0, 1) is the
// identity for every space, Indexed included (an Indexed image's ranges are
// given in index units and divided by 2^bpc - 1 here, so the common explicit
// [0 2^bpc-1] is recognised as the identity and indices pass unchanged).
#pragma once

#include <cstdint>

#include "data_io/decoded_image_layout.h"
#include "pdf/document/object_resolver.h"
#include "pdf/pdfcolor/pdf_color_spaces.h"

namespace vn::pdf::render {

// The largest image side accepted (samples); larger ones raise kLimitExceeded.
inline constexpr uint32_t kMaxImageSide = 1u << 20;

enum ImageMaskKind : int32_t {
  kNoMask = 0,
  kExplicitMask = 1,  // "Mask" is a stream (an image mask)
  kColorKeyMask = 2,  // "Mask" is an array of ranges
  kSoftMask = 3,      // "SMask": coverage from a gray image
};

struct ImageDescription {
  uint32_t width = 0, height = 0;
  uint32_t bitsPerComponent = 0, components = 0;
  uint32_t rowBytes = 0;     // packed bytes of one row
  bool imageMask = false;
  bool indexed = false;      // the space is Indexed: samples are palette indices
  uint32_t highestIndex = 0;
  bool interpolate = false;
  // Decode ranges (16.16, in units of the full scale), when not the identity.
  bool hasDecode = false;
  Fixed16_16 decode[2 * pdfcolor::kMaxComponents] = {};
  // An image mask whose effective decode is [1 0]: samples of 1 paint.
  bool invertedDecode = false;
  int32_t maskKind = kNoMask;
  // Colour-key ranges in raw sample units, two per component.
  uint32_t colorKey[2 * pdfcolor::kMaxComponents] = {};
  // A soft mask's "Matte" (the colour its image was pre-blended with), in
  // the image's colour space.
  uint32_t matteComponents = 0;
  Fixed16_16 matte[pdfcolor::kMaxComponents] = {};
  // The last filter is DCTDecode: the decoder can reduce by 2, 4 or 8.
  bool dctLast = false;
  // The last filter is JPXDecode: the decoder can reduce by powers of two
  // as far as the data's resolution levels go, and its data decides the
  // sample depth (and the colour space when the dictionary names none).
  bool jpxLast = false;
  // A JPEG 2000 image read without its decoded layout: only the size, the
  // flags and the filter are known yet.
  bool layoutPending = false;
  // The soft mask is the JPEG 2000 data's own alpha ("SMaskInData").
  bool alphaInData = false;
};

// Reads `image` (an image XObject's stream dictionary, or an inline image's
// dictionary with `inlineImage` set: then abbreviated keys and names are
// accepted) into `out`, its colour space (none for masks) into `space`.
// Bad or missing entries raise kBadData; a side beyond kMaxImageSide or a
// row too long to count raises kLimitExceeded.
//
// A JPEG 2000 image is read in two steps: without `layout` the description
// stops after the size (layoutPending); with the layout its decoder gives,
// the samples are as the data holds them (8 or 16 bits), in the
// dictionary's colour space when it names one of as many components, else
// in the device space of the data's components.
void ReadImageDescription(pdfcolor::DocumentColorSpaces& colors, const document::ResolvedValue& image,
                          const document::ResolvedValue& resources, bool inlineImage, ImageDescription& out,
                          pdfcolor::ColorSpaceRef& space, const data_io::DecodedImageLayout* layout = nullptr);

// A mask image ("Mask" stream or "SMask") of an image: one component, no
// colour conversion. A soft mask's "Matte" is read into `out`.
void ReadMaskDescription(pdfcolor::DocumentColorSpaces& colors, const document::ResolvedValue& mask,
                         const document::ResolvedValue& resources, bool softMask, ImageDescription& out);

// An entry of an image dictionary, resolved; for inline images the
// abbreviation is tried when the full key is absent.
void GetImageEntry(document::ObjectResolver& resolver, const document::ResolvedValue& image, bool inlineImage,
                   const char* key, const char* abbreviation, document::ResolvedValue& out);

}  // namespace vn::pdf::render
