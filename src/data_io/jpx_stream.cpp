#include "data_io/jpx_stream.h"

#include <cstring>

#include <openjpeg.h>

#include "data_io/jpx_header.h"
#include "runtime/app_context.h"
#include "runtime/memory_budget.h"
#include "runtime/yield_points.h"

namespace vn::data_io {

namespace {

// OpenJPEG's read buffer.
constexpr OPJ_SIZE_T kReadBufferBytes = 16384;
// Samples of all components in one band of rows (4 bytes each while
// decoded), and the band height's multiple (the usual code-block height).
constexpr uint64_t kBandSamples = 256 * 1024;
constexpr uint32_t kBandAlignment = 64;

// The decoded image as the library leaves it, beside what the bound charged.
uint64_t ImageBytes(const opj_image_t* image) {
  uint64_t bytes = sizeof(opj_image_t) + image->numcomps * sizeof(opj_image_comp_t);
  for (uint32_t c = 0; c < image->numcomps; ++c) bytes += uint64_t{image->comps[c].w} * image->comps[c].h * 4;
  return bytes;
}

// The colour components a colour space has.
uint32_t ColourCount(OPJ_COLOR_SPACE space) {
  switch (space) {
    case OPJ_CLRSPC_GRAY:
      return 1;
    case OPJ_CLRSPC_SRGB:
    case OPJ_CLRSPC_SYCC:
    case OPJ_CLRSPC_EYCC:
      return 3;
    case OPJ_CLRSPC_CMYK:
      return 4;
    default:
      return 0;
  }
}

uint32_t CeilShift(uint32_t value, uint32_t shift) {
  return static_cast<uint32_t>((uint64_t{value} + (uint64_t{1} << shift) - 1) >> shift);
}

// Scales a sample of `precision` bits to `depth` (8 or 16) bits.
uint32_t Scale(uint32_t value, uint32_t precision, uint32_t depth) {
  if (precision == depth) return value;
  if (precision > depth) return value >> (precision - depth);
  uint32_t top = (1u << precision) - 1;
  uint32_t outTop = (1u << depth) - 1;
  return (value * outTop + top / 2) / top;
}

}  // namespace

// Everything the library call needs, and what it leaves; it runs on the main
// stack and raises nothing.
struct JpxDataBlockStream::DecodeCall {
  const uint8_t* data;
  uint32_t size;
  uint32_t position;
  bool isJp2File;
  uint32_t reduce;
  // The rows to decode, on the reference grid; all when bandY1 is 0.
  uint32_t bandY0;
  uint32_t bandY1;
  opj_image_t* image;
  bool failed;

  static OPJ_SIZE_T Read(void* buffer, OPJ_SIZE_T bytes, void* user) {
    auto* call = static_cast<DecodeCall*>(user);
    OPJ_SIZE_T left = call->size - call->position;
    if (left == 0) return static_cast<OPJ_SIZE_T>(-1);
    if (bytes > left) bytes = left;
    std::memcpy(buffer, call->data + call->position, bytes);
    call->position += static_cast<uint32_t>(bytes);
    return bytes;
  }
  static OPJ_OFF_T Skip(OPJ_OFF_T bytes, void* user) {
    auto* call = static_cast<DecodeCall*>(user);
    if (bytes < 0 || static_cast<uint64_t>(bytes) > call->size - call->position) return -1;
    call->position += static_cast<uint32_t>(bytes);
    return bytes;
  }
  static OPJ_BOOL Seek(OPJ_OFF_T offset, void* user) {
    auto* call = static_cast<DecodeCall*>(user);
    if (offset < 0 || static_cast<uint64_t>(offset) > call->size) return OPJ_FALSE;
    call->position = static_cast<uint32_t>(offset);
    return OPJ_TRUE;
  }
  static void OnError(const char*, void* user) { static_cast<DecodeCall*>(user)->failed = true; }
  static void Ignore(const char*, void*) {}

  void Run() {
    opj_codec_t* codec = opj_create_decompress(isJp2File ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K);
    opj_stream_t* stream = opj_stream_create(kReadBufferBytes, OPJ_TRUE);
    if (codec == nullptr || stream == nullptr) {
      failed = true;
    } else {
      opj_set_error_handler(codec, &OnError, this);
      opj_set_warning_handler(codec, &Ignore, this);
      opj_set_info_handler(codec, &Ignore, this);
      opj_stream_set_read_function(stream, &Read);
      opj_stream_set_skip_function(stream, &Skip);
      opj_stream_set_seek_function(stream, &Seek);
      opj_stream_set_user_data(stream, this, nullptr);
      opj_stream_set_user_data_length(stream, size);
      opj_dparameters_t parameters;
      opj_set_default_decoder_parameters(&parameters);
      // Strict: data that ends before the image does is an error, not a
      // picture with holes. One thread: the engine has only its own.
      bool ready = opj_setup_decoder(codec, &parameters) && opj_decoder_set_strict_mode(codec, OPJ_TRUE) &&
                   opj_codec_set_threads(codec, 0) && opj_read_header(stream, codec, &image) &&
                   opj_set_decoded_resolution_factor(codec, reduce);
      if (ready && bandY1 != 0) {
        ready = opj_set_decode_area(codec, image, static_cast<OPJ_INT32>(image->x0), static_cast<OPJ_INT32>(bandY0),
                                    static_cast<OPJ_INT32>(image->x1), static_cast<OPJ_INT32>(bandY1));
      }
      if (!ready || !opj_decode(codec, stream, image) || !opj_end_decompress(codec, stream)) failed = true;
    }
    if (stream != nullptr) opj_stream_destroy(stream);
    if (codec != nullptr) opj_destroy_codec(codec);
    if (failed && image != nullptr) {
      opj_image_destroy(image);
      image = nullptr;
    }
  }
  static void RunOn(void* call) { static_cast<DecodeCall*>(call)->Run(); }
};

JpxDataBlockStream::JpxDataBlockStream(AppContext& context, DataBlockStream* source, int32_t reduce, bool alphaOnly)
    : WholeImageDataBlockStream(context, source),
      reduce_(reduce < 0 ? 0u : static_cast<uint32_t>(reduce)),
      alphaOnly_(alphaOnly) {}

JpxDataBlockStream::~JpxDataBlockStream() { ReleaseImage(); }

void JpxDataBlockStream::ReleaseImage() {
  bandFirst_ = bandCount_ = 0;
  DropDecoded();
}

void JpxDataBlockStream::DropDecoded() {
  if (image_ != nullptr) {
    opj_image_destroy(image_);
    image_ = nullptr;
  }
  if (charged_ != 0) {
    Uncharge(context_, charged_);
    charged_ = 0;
  }
}

void JpxDataBlockStream::DecodeImage(const uint8_t* data, uint32_t size) {
  if (!ReadJpxHeader(data, size, header_)) RaiseBadData(context_);
  data_ = data;
  size_ = size;
  reduce_ = reduce_ < header_.minLevels ? reduce_ : header_.minLevels;
  // Images without subsampled components decode in bands of rows (each a
  // decode of its own, of the code-blocks it needs); others whole.
  const uint32_t firstRow = CeilShift(header_.y0, reduce_);
  rowCount_ = CeilShift(header_.y0 + header_.height, reduce_) - firstRow;
  bandRows_ = rowCount_;
  if (!header_.subsampled) {
    // Each band decodes again what the tiles it crosses share (headers,
    // code-blocks reaching over its edges), so bands are as tall as half
    // the memory left allows, the whole image when it fits; never shorter
    // than kBandSamples samples.
    uint64_t rowSamples = uint64_t{CeilShift(header_.width, reduce_)} * header_.components;
    uint64_t rows = kBandSamples / (rowSamples == 0 ? 1 : rowSamples);
    rows = rows < kBandAlignment ? kBandAlignment : rows / kBandAlignment * kBandAlignment;
    const MemoryBudget& budget = context_.Budget();
    const uint64_t allowance = (budget.HardLimit() - budget.BytesInUse()) / 2;
    uint64_t taller = rowCount_;
    while (taller > rows && JpxDecodeBytes(BandHeader(static_cast<uint32_t>(taller)), reduce_, size_) > allowance) {
      taller = (taller / 2 + kBandAlignment - 1) / kBandAlignment * kBandAlignment;
    }
    if (taller > rows) rows = taller;
    if (rows < rowCount_) bandRows_ = static_cast<uint32_t>(rows);
  }
  DecodeBand(0);
  DescribeImage();
  layout_.height = rowCount_;
}

JpxHeader JpxDataBlockStream::BandHeader(uint32_t rows) const {
  // The band's samples; the code-block records of a whole tile remain.
  JpxHeader band = header_;
  band.height = rows << reduce_;
  band.samples = uint64_t{header_.width} * band.height * header_.components;
  return band;
}

void JpxDataBlockStream::DecodeBand(uint32_t firstRow) {
  DropDecoded();
  uint32_t rows = rowCount_ - firstRow < bandRows_ ? rowCount_ - firstRow : bandRows_;
  const JpxHeader band = bandRows_ < rowCount_ ? BandHeader(rows) : header_;
  uint64_t bound = JpxDecodeBytes(band, reduce_, size_);
  if (bound > context_.Budget().HardLimit()) RaiseCode(context_, kLimitExceeded);
  Charge(context_, static_cast<uint32_t>(bound));
  charged_ = static_cast<uint32_t>(bound);

  const uint32_t gridFirst = CeilShift(header_.y0, reduce_);
  DecodeCall call{data_, size_, 0, header_.isJp2File, reduce_, 0, 0, nullptr, false};
  if (bandRows_ < rowCount_) {
    uint64_t y0 = uint64_t{gridFirst + firstRow} << reduce_;
    uint64_t y1 = uint64_t{gridFirst + firstRow + rows} << reduce_;
    uint64_t end = uint64_t{header_.y0} + header_.height;
    call.bandY0 = static_cast<uint32_t>(y0 < header_.y0 ? header_.y0 : y0);
    call.bandY1 = static_cast<uint32_t>(y1 > end ? end : y1);
  }
  YieldPoint(context_);
  RunOnMainStack(context_, &DecodeCall::RunOn, &call);
  image_ = call.image;
  if (image_ == nullptr || image_->numcomps != header_.components || image_->comps == nullptr) RaiseBadData(context_);
  // What the library still holds is the image: the rest of the bound goes back.
  uint64_t held = ImageBytes(image_);
  if (held < charged_) {
    Uncharge(context_, charged_ - static_cast<uint32_t>(held));
    charged_ = static_cast<uint32_t>(held);
  }
  bandFirst_ = firstRow;
  bandCount_ = rows;
  for (uint32_t c = 0; c < image_->numcomps; ++c) {
    const opj_image_comp_t& comp = image_->comps[c];
    if (comp.data == nullptr || comp.w == 0 || comp.h == 0 || comp.prec == 0 || comp.prec > 31) RaiseBadData(context_);
    if (bandRows_ < rowCount_ && comp.h != rows) RaiseBadData(context_);
  }
}

void JpxDataBlockStream::DescribeImage() {
  const uint32_t count = image_->numcomps;
  uint32_t expected = ColourCount(image_->color_space);
  uint32_t colour[4];
  uint32_t colours = 0;
  int32_t alpha = -1;
  for (uint32_t c = 0; c < count; ++c) {
    const opj_image_comp_t& comp = image_->comps[c];
    // Beyond what the colour space has, a component is alpha too.
    bool isAlpha = comp.alpha != 0 || (expected != 0 && colours == expected);
    if (isAlpha) {
      if (alpha < 0) alpha = static_cast<int32_t>(c);
    } else if (colours == 4) {
      RaiseUnsupported(context_);  // no PDF colour space takes more
    } else {
      colour[colours++] = c;
    }
  }
  layout_.hasAlpha = alpha >= 0;
  if (alphaOnly_) {
    if (alpha < 0) RaiseBadData(context_);
    selected_[0] = static_cast<uint32_t>(alpha);
    layout_.components = 1;
    layout_.colorSpace = DecodedColorSpace::kGray;
  } else {
    if (colours == 0) RaiseBadData(context_);
    std::memcpy(selected_, colour, sizeof(colour));
    layout_.components = colours;
    const opj_image_comp_t* c = image_->comps;
    bool subsampledChroma = colours == 3 && c[colour[0]].dx == 1 && c[colour[0]].dy == 1 &&
                            (c[colour[1]].dx > 1 || c[colour[1]].dy > 1) && c[colour[1]].dx == c[colour[2]].dx &&
                            c[colour[1]].dy == c[colour[2]].dy;
    fromYcc_ = image_->color_space == OPJ_CLRSPC_SYCC || image_->color_space == OPJ_CLRSPC_EYCC ||
               (image_->color_space == OPJ_CLRSPC_UNSPECIFIED && subsampledChroma);
    if (fromYcc_ && colours != 3) fromYcc_ = false;
    switch (image_->color_space) {
      case OPJ_CLRSPC_GRAY:
        layout_.colorSpace = DecodedColorSpace::kGray;
        break;
      case OPJ_CLRSPC_CMYK:
        layout_.colorSpace = DecodedColorSpace::kCMYK;
        break;
      default:
        layout_.colorSpace = image_->color_space == OPJ_CLRSPC_SRGB || fromYcc_ ? DecodedColorSpace::kRGB
                                                                                : DecodedColorSpace::kUnspecified;
    }
  }
  // The grid: that of the finest component given.
  uint32_t maxPrecision = 0;
  const opj_image_comp_t* finestX = nullptr;
  const opj_image_comp_t* finestY = nullptr;
  for (uint32_t i = 0; i < layout_.components; ++i) {
    const opj_image_comp_t& comp = image_->comps[selected_[i]];
    if (comp.prec > maxPrecision) maxPrecision = comp.prec;
    if (finestX == nullptr || comp.dx < finestX->dx) finestX = &comp;
    if (finestY == nullptr || comp.dy < finestY->dy) finestY = &comp;
  }
  layout_.width = finestX->w;
  layout_.height = finestY->h;
  layout_.bitsPerComponent = maxPrecision > 8 ? 16 : 8;
  if (uint64_t{layout_.width} * layout_.components * 2 > 0x7FFFFFFFu) RaiseCode(context_, kLimitExceeded);
}

void JpxDataBlockStream::WriteRow(uint32_t y, uint8_t* out) {
  if (y >= bandFirst_ + bandCount_) DecodeBand(y);
  const uint32_t n = layout_.components;
  const uint32_t width = layout_.width;
  const uint32_t depth = layout_.bitsPerComponent;
  // Each component's row, and how its samples map onto the grid.
  const OPJ_INT32* rows[4];
  uint32_t widths[4];
  uint32_t offsets[4];
  uint32_t tops[4];
  uint32_t precisions[4];
  for (uint32_t i = 0; i < n; ++i) {
    const opj_image_comp_t& comp = image_->comps[selected_[i]];
    uint32_t row = bandRows_ < rowCount_ ? y - bandFirst_ : static_cast<uint32_t>(uint64_t{y} * comp.h / rowCount_);
    rows[i] = comp.data + uint64_t{row} * comp.w;
    widths[i] = comp.w;
    precisions[i] = comp.prec;
    offsets[i] = comp.sgnd ? 1u << (comp.prec - 1) : 0u;
    tops[i] = (1u << comp.prec) - 1;
  }
  for (uint32_t x = 0; x < width; ++x) {
    uint32_t values[4];
    for (uint32_t i = 0; i < n; ++i) {
      uint32_t at = widths[i] == width ? x : static_cast<uint32_t>(uint64_t{x} * widths[i] / width);
      int64_t v = int64_t{rows[i][at]} + offsets[i];
      values[i] = v < 0 ? 0u : v > tops[i] ? tops[i] : static_cast<uint32_t>(v);
    }
    if (fromYcc_) {
      // YCbCr (chroma centred on half the range) to RGB, in 16.16.
      int64_t luma = values[0];
      int64_t cb = int64_t{values[1]} - ((int64_t{tops[1]} + 1) >> 1);
      int64_t cr = int64_t{values[2]} - ((int64_t{tops[2]} + 1) >> 1);
      int64_t rgb[3] = {luma + ((91881 * cr) >> 16), luma - ((22554 * cb + 46802 * cr) >> 16),
                        luma + ((116130 * cb) >> 16)};
      for (uint32_t i = 0; i < 3; ++i)
        values[i] = rgb[i] < 0 ? 0u : rgb[i] > tops[0] ? tops[0] : static_cast<uint32_t>(rgb[i]);
      precisions[1] = precisions[2] = precisions[0];
    }
    for (uint32_t i = 0; i < n; ++i) {
      uint32_t v = Scale(values[i], precisions[i], depth);
      if (depth == 8) {
        *out++ = static_cast<uint8_t>(v);
      } else {
        *out++ = static_cast<uint8_t>(v >> 8);
        *out++ = static_cast<uint8_t>(v);
      }
    }
  }
}

}  // namespace vn::data_io
