// Image pipes: a pull chain of row sources that turns an image's stored
// rows into the rows that are sampled onto the page. Each pipe delivers one
// row per call, computed from its source's rows; the chain for one drawing
// is built by image_drawing.cpp in this order, each only when needed:
//
//   StreamImagePipe / BufferImagePipe   packed rows as stored
//   SubsectionImagePipe                 only the rows and columns that can show
//   DecoderImagePipe                    1/2/4/8/16-bit samples to one byte each
//     or ColorKeyMaskImagePipe          the same, plus an alpha channel from
//                                       the colour key (tested on raw samples)
//   DecodeArrayImagePipe                per-component lookup of the 256 byte values
//   ColorConverterImagePipe             to RGB (here for Indexed spaces)
//   HorizThumbnailImagePipe,
//   VertThumbnailImagePipe              2^k x 2^k block averages
//   ColorConverterImagePipe             to RGB (here for all other spaces)
//
// Rows after the decoder hold one byte per sample, `channels` per pixel;
// with an alpha channel it is the last. Samples of non-Indexed images are
// scaled to 0..255; Indexed samples stay palette indices.
//
// Pipes are made with New and held by Owned; each owns its source.
#pragma once

#include <cstdint>

#include "color/color_converter.h"
#include "data_io/data_store.h"
#include "runtime/engine_array.h"
#include "runtime/engine_new.h"

namespace vn::pdf::render {

struct ImageRowFormat {
  uint32_t width;     // pixels
  uint32_t channels;  // samples per pixel, alpha included
  uint32_t bits;      // per sample: packed rows keep the image's depth, decoded rows 8
  bool alpha;         // the last channel is alpha
  uint32_t RowBytes() const {
    return static_cast<uint32_t>((static_cast<uint64_t>(width) * channels * bits + 7) / 8);
  }
};

class ImagePipe {
 public:
  virtual ~ImagePipe() = default;
  virtual ImageRowFormat Describe() const = 0;
  // The next row (RowBytes() of Describe()), valid until the next call.
  virtual const uint8_t* NextRow() = 0;
  // Gives up the source data early (only the stream pipe has any).
  virtual void ReleaseSource() {}
};

// Rows read from a decoded stream; data that ends early reads as zeros.
class StreamImagePipe final : public ImagePipe {
 public:
  // Takes `source` (made with New).
  StreamImagePipe(AppContext& context, data_io::DataBlockStream* source, const ImageRowFormat& format);
  ImageRowFormat Describe() const override { return format_; }
  const uint8_t* NextRow() override;
  void ReleaseSource() override { source_.Reset(); }
  // Whether the data ended before the rows read so far.
  bool Truncated() const { return truncated_; }

 private:
  Owned<data_io::DataBlockStream> source_;
  data_io::DataBlockRef block_;
  uint32_t used_ = 0;  // bytes of block_ consumed
  EngineArray<uint8_t> row_;
  ImageRowFormat format_;
  bool truncated_ = false;
};

// Rows from memory (a decoded inline image), `rowBytes` apart.
class BufferImagePipe final : public ImagePipe {
 public:
  BufferImagePipe(const uint8_t* rows, uint32_t height, const ImageRowFormat& format)
      : rows_(rows), height_(height), format_(format) {}
  ImageRowFormat Describe() const override { return format_; }
  const uint8_t* NextRow() override;

 private:
  const uint8_t* rows_;
  uint32_t height_;
  uint32_t next_ = 0;
  ImageRowFormat format_;
};

// Rows [firstRow, ...) and pixels [firstPixel, firstPixel + width) of its
// source; the first pixel starts on a whole byte of the packed row.
class SubsectionImagePipe final : public ImagePipe {
 public:
  SubsectionImagePipe(AppContext& context, ImagePipe* source, uint32_t firstRow, uint32_t firstPixel,
                      uint32_t width);
  ImageRowFormat Describe() const override { return format_; }
  const uint8_t* NextRow() override;

 private:
  Owned<ImagePipe> source_;
  uint32_t skipRows_;
  uint32_t firstByte_;
  ImageRowFormat format_;
};

// Unpacks 1, 2, 4, 8 or 16-bit samples into bytes: scaled to 0..255
// (16-bit samples keep their high byte), or kept as they are for indices.
class DecoderImagePipe : public ImagePipe {
 public:
  DecoderImagePipe(AppContext& context, ImagePipe* source, bool indices);
  ImageRowFormat Describe() const override { return format_; }
  const uint8_t* NextRow() override;

 protected:
  Owned<ImagePipe> source_;
  EngineArray<uint8_t> row_;
  ImageRowFormat format_;
  uint32_t inputBits_;
  bool indices_;
};

// The decoder's bytes plus an alpha channel: 0 where every component's raw
// sample lies in its colour-key range [key[2i], key[2i + 1]], else 255.
class ColorKeyMaskImagePipe final : public DecoderImagePipe {
 public:
  ColorKeyMaskImagePipe(AppContext& context, ImagePipe* source, bool indices, const uint32_t* ranges);
  const uint8_t* NextRow() override;

 private:
  uint32_t ranges_[2 * color::kMaxColorChannels];
};

// Maps each non-alpha channel's bytes through its own table of 256, made
// by MakeDecodeTables from the decode ranges.
class DecodeArrayImagePipe final : public ImagePipe {
 public:
  DecodeArrayImagePipe(AppContext& context, ImagePipe* source, const Fixed16_16* ranges, bool indices,
                       uint32_t bits, uint32_t highestIndex);
  ImageRowFormat Describe() const override { return source_->Describe(); }
  const uint8_t* NextRow() override;

 private:
  Owned<ImagePipe> source_;
  EngineArray<uint8_t> tables_;
  EngineArray<uint8_t> row_;
};

// Converts the colour channels with a byte converter; alpha is copied.
class ColorConverterImagePipe final : public ImagePipe {
 public:
  ColorConverterImagePipe(AppContext& context, ImagePipe* source, color::ByteColorConverter& converter);
  ImageRowFormat Describe() const override { return format_; }
  const uint8_t* NextRow() override;

 private:
  Owned<ImagePipe> source_;
  Ref<color::ByteColorConverter> converter_;
  EngineArray<uint8_t> colors_;     // the colour channels without alpha
  EngineArray<uint8_t> converted_;  // and converted
  EngineArray<uint8_t> row_;
  ImageRowFormat format_;
};

// Averages runs of 2^level pixels of each row (the last run may be shorter).
class HorizThumbnailImagePipe final : public ImagePipe {
 public:
  HorizThumbnailImagePipe(AppContext& context, ImagePipe* source, uint32_t level);
  ImageRowFormat Describe() const override { return format_; }
  const uint8_t* NextRow() override;

 private:
  Owned<ImagePipe> source_;
  EngineArray<uint8_t> row_;
  ImageRowFormat format_;
  uint32_t level_;
};

// Averages 2^level rows into one; the image's last group may be shorter.
class VertThumbnailImagePipe final : public ImagePipe {
 public:
  VertThumbnailImagePipe(AppContext& context, ImagePipe* source, uint32_t level, uint32_t sourceRows);
  ImageRowFormat Describe() const override { return source_->Describe(); }
  const uint8_t* NextRow() override;

 private:
  Owned<ImagePipe> source_;
  EngineArray<uint32_t> sums_;
  EngineArray<uint8_t> row_;
  uint32_t level_;
  uint32_t rowsLeft_;
};

// The rows a DecodeArrayImagePipe uses for `ranges` (two per channel, in
// units of the full scale): each byte value v maps to the nearest byte of
// low + v / 255 x (high - low). For indices (`highestIndex` set), v is an
// index of a `bits`-deep image and maps to the nearest index, clamped to
// the palette.
void MakeDecodeTables(const Fixed16_16* ranges, uint32_t channels, bool indices, uint32_t bits,
                      uint32_t highestIndex, uint8_t* tables);

}  // namespace vn::pdf::render
