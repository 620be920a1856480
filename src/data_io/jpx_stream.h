// JPXDecode: OpenJPEG decodes the JPEG 2000 data (a bare codestream or a
// JP2 file), which is handed out as rows of interleaved samples: 8 bits per
// sample when no component has more, 16 (big-endian) otherwise, each
// component scaled from its own precision to that depth. Subsampled
// components are widened to the image's grid; YCC data (named so, or a
// bare codestream with subsampled chroma) is converted to RGB. The layout
// (DecodedLayout) tells the component count and the colour space the data
// names, for image dictionaries without "ColorSpace". Alpha channels are
// left out of the colour samples; with `alphaOnly` the stream gives the
// first alpha channel alone instead ("SMaskInData").
//
// `reduce` decodes at 1/2^reduce of the full size (fewer resolution levels,
// for images drawn small); more levels than the data has reduce as far as
// it allows.
//
// Memory: OpenJPEG takes no allocator, and holds 32 bits per decoded
// sample. Images without subsampled components are decoded in bands of
// rows (a decode of the band's area each, which reads the code-blocks it
// needs), as tall as half the memory left allows (the whole image when it
// fits), so a band's samples, not the image's, are held; others are
// decoded whole. Before each decode the image header is read here and what
// the decode may hold is bounded from it (JpxDecodeBytes): a bound past the
// budget's hard limit is refused with code 6; otherwise the bound is
// charged to the budget (code 0 if it cannot be had) until the decoded
// band or image is let go. Between bands the thread may yield.
//
// Errors: data that is not JPEG 2000, that OpenJPEG rejects, or that ends
// before the image does, raises code 2.
#pragma once

#include <cstdint>

#include "data_io/jpx_header.h"
#include "data_io/whole_image_stream.h"

struct opj_image;

namespace vn::data_io {

class JpxDataBlockStream final : public WholeImageDataBlockStream {
 public:
  // Owns `source` (built with New).
  JpxDataBlockStream(AppContext& context, DataBlockStream* source, int32_t reduce, bool alphaOnly);
  ~JpxDataBlockStream() override;

 private:
  struct DecodeCall;

  void DecodeImage(const uint8_t* data, uint32_t size) override;
  void WriteRow(uint32_t y, uint8_t* out) override;
  void ReleaseImage() override;
  uint32_t ImageMemorySize() const override { return charged_; }

  // Decodes the band of rows from `firstRow` (all rows for an image decoded
  // whole) in place of the one before.
  void DecodeBand(uint32_t firstRow);
  // The header of a band of `rows` output rows, for its decode bound.
  JpxHeader BandHeader(uint32_t rows) const;
  // Lets go of the decoded band or image and its charge.
  void DropDecoded();
  // Chooses the output components and fills layout_ from the decoded image.
  void DescribeImage();

  uint32_t reduce_;
  bool alphaOnly_;
  JpxHeader header_;
  const uint8_t* data_ = nullptr;  // the encoded image, held by the base
  uint32_t size_ = 0;
  uint32_t rowCount_ = 0;  // of the output
  uint32_t bandRows_ = 0;  // rows per band (rowCount_ for a whole decode)
  uint32_t bandFirst_ = 0;  // the band decoded now
  uint32_t bandCount_ = 0;
  opj_image* image_ = nullptr;
  uint32_t charged_ = 0;  // bytes of the bound counted in the budget
  // The decoded components given, in order, and the conversion of YCC.
  uint32_t selected_[4] = {};
  bool fromYcc_ = false;
};

}  // namespace vn::data_io
