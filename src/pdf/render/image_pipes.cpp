#include "pdf/render/image_pipes.h"

#include <cstring>

#include "runtime/checked_math.h"
#include "runtime/error.h"

namespace vn::pdf::render {

namespace {

// Sample `index` of a packed row of `bits`-deep samples, raw.
inline uint32_t RawSample(const uint8_t* row, uint32_t index, uint32_t bits) {
  switch (bits) {
    case 1: return (row[index >> 3] >> (7 - (index & 7))) & 1u;
    case 2: return (row[index >> 2] >> (6 - 2 * (index & 3))) & 3u;
    case 4: return (row[index >> 1] >> (4 - 4 * (index & 1))) & 15u;
    case 8: return row[index];
    default: return static_cast<uint32_t>(row[2 * index]) << 8 | row[2 * index + 1];
  }
}

// A raw sample as a byte: scaled to 0..255, or the index itself.
inline uint8_t SampleByte(uint32_t raw, uint32_t bits, bool indices) {
  switch (bits) {
    case 1: return indices ? static_cast<uint8_t>(raw) : static_cast<uint8_t>(raw * 255);
    case 2: return indices ? static_cast<uint8_t>(raw) : static_cast<uint8_t>(raw * 85);
    case 4: return indices ? static_cast<uint8_t>(raw) : static_cast<uint8_t>(raw * 17);
    case 8: return static_cast<uint8_t>(raw);
    default: return indices ? static_cast<uint8_t>(raw > 255 ? 255 : raw) : static_cast<uint8_t>(raw >> 8);
  }
}

}  // namespace

// ---- sources

StreamImagePipe::StreamImagePipe(AppContext& context, data_io::DataBlockStream* source, const ImageRowFormat& format)
    : source_(context), block_(context), row_(context), format_(format) {
  row_.Resize(format.RowBytes());
  source_.Set(source);  // the caller owns it until here
}

const uint8_t* StreamImagePipe::NextRow() {
  uint8_t* out = row_.Data();
  const uint32_t size = row_.Size();
  uint32_t filled = 0;
  while (filled < size && !truncated_) {
    if (used_ == block_.Length()) {
      source_->GetNextBlock(block_);
      used_ = 0;
      if (block_.Empty()) {
        truncated_ = true;
        break;
      }
    }
    uint32_t n = block_.Length() - used_;
    if (n > size - filled) n = size - filled;
    std::memcpy(out + filled, block_.Data() + used_, n);
    used_ += n;
    filled += n;
  }
  if (filled < size) std::memset(out + filled, 0, size - filled);
  return out;
}

const uint8_t* BufferImagePipe::NextRow() {
  const uint32_t row = next_ < height_ ? next_++ : height_ - 1;
  return rows_ + static_cast<size_t>(row) * format_.RowBytes();
}

SubsectionImagePipe::SubsectionImagePipe(AppContext& context, ImagePipe* source, uint32_t firstRow,
                                         uint32_t firstPixel, uint32_t width)
    : source_(context, source), skipRows_(firstRow) {
  format_ = source->Describe();
  firstByte_ = static_cast<uint32_t>(static_cast<uint64_t>(firstPixel) * format_.channels * format_.bits / 8);
  format_.width = width;
}

const uint8_t* SubsectionImagePipe::NextRow() {
  for (; skipRows_ > 0; --skipRows_) source_->NextRow();
  return source_->NextRow() + firstByte_;
}

// ---- unpacking

DecoderImagePipe::DecoderImagePipe(AppContext& context, ImagePipe* source, bool indices)
    : source_(context, source), row_(context), indices_(indices) {
  format_ = source->Describe();
  inputBits_ = format_.bits;
  format_.bits = 8;
  row_.Resize(format_.RowBytes());
}

const uint8_t* DecoderImagePipe::NextRow() {
  const uint8_t* in = source_->NextRow();
  uint8_t* out = row_.Data();
  const uint32_t samples = format_.width * format_.channels;
  for (uint32_t i = 0; i < samples; ++i) out[i] = SampleByte(RawSample(in, i, inputBits_), inputBits_, indices_);
  return out;
}

ColorKeyMaskImagePipe::ColorKeyMaskImagePipe(AppContext& context, ImagePipe* source, bool indices,
                                             const uint32_t* ranges)
    : DecoderImagePipe(context, source, indices) {
  std::memcpy(ranges_, ranges, 2 * format_.channels * sizeof(uint32_t));
  format_.channels += 1;
  format_.alpha = true;
  row_.Resize(format_.RowBytes());
}

const uint8_t* ColorKeyMaskImagePipe::NextRow() {
  const uint8_t* in = source_->NextRow();
  uint8_t* out = row_.Data();
  const uint32_t colors = format_.channels - 1;
  uint32_t at = 0;
  for (uint32_t x = 0; x < format_.width; ++x) {
    bool keyed = true;
    for (uint32_t c = 0; c < colors; ++c) {
      const uint32_t raw = RawSample(in, x * colors + c, inputBits_);
      keyed = keyed && raw >= ranges_[2 * c] && raw <= ranges_[2 * c + 1];
      out[at++] = SampleByte(raw, inputBits_, indices_);
    }
    out[at++] = keyed ? 0 : 255;
  }
  return out;
}

// ---- remapping

void MakeDecodeTables(const Fixed16_16* ranges, uint32_t channels, bool indices, uint32_t bits,
                      uint32_t highestIndex, uint8_t* tables) {
  const int64_t top = indices ? (1 << bits) - 1 : 255;
  const int64_t limit = indices ? highestIndex : 255;
  for (uint32_t c = 0; c < channels; ++c) {
    const int64_t low = ranges[2 * c], high = ranges[2 * c + 1];
    for (int64_t v = 0; v < 256; ++v) {
      // (low + v / top x (high - low)) x top, rounded, in 16.16.
      const int64_t scaled = low * top + (high - low) * (v > top ? top : v);
      int64_t out = (scaled + 0x8000) >> 16;
      if (out < 0) out = 0;
      if (out > limit) out = limit;
      tables[c * 256 + v] = static_cast<uint8_t>(out);
    }
  }
}

DecodeArrayImagePipe::DecodeArrayImagePipe(AppContext& context, ImagePipe* source, const Fixed16_16* ranges,
                                           bool indices, uint32_t bits, uint32_t highestIndex)
    : source_(context, source), tables_(context), row_(context) {
  const ImageRowFormat f = source->Describe();
  const uint32_t colors = f.channels - (f.alpha ? 1 : 0);
  tables_.Resize(colors * 256);
  MakeDecodeTables(ranges, colors, indices, bits, highestIndex, tables_.Data());
  row_.Resize(f.RowBytes());
}

const uint8_t* DecodeArrayImagePipe::NextRow() {
  const ImageRowFormat f = source_->Describe();
  const uint8_t* in = source_->NextRow();
  uint8_t* out = row_.Data();
  const uint32_t colors = f.channels - (f.alpha ? 1 : 0);
  const uint8_t* tables = tables_.Data();
  uint32_t at = 0;
  for (uint32_t x = 0; x < f.width; ++x) {
    for (uint32_t c = 0; c < colors; ++c, ++at) out[at] = tables[c * 256 + in[at]];
    if (f.alpha) {
      out[at] = in[at];
      ++at;
    }
  }
  return out;
}

ColorConverterImagePipe::ColorConverterImagePipe(AppContext& context, ImagePipe* source,
                                                 color::ByteColorConverter& converter)
    : source_(context, source), converter_(context), colors_(context), converted_(context), row_(context) {
  converter_.Set(&converter);
  const ImageRowFormat in = source->Describe();
  format_ = in;
  format_.channels = converter.Outputs() + (in.alpha ? 1 : 0);
  row_.Resize(format_.RowBytes());
  if (in.alpha) {
    colors_.Resize(CheckedMultiply(context, in.width, converter.Inputs()));
    converted_.Resize(CheckedMultiply(context, in.width, converter.Outputs()));
  }
}

const uint8_t* ColorConverterImagePipe::NextRow() {
  const ImageRowFormat in = source_->Describe();
  const uint8_t* row = source_->NextRow();
  uint8_t* out = row_.Data();
  if (!in.alpha) {
    converter_->ConvertRun(row, out, 0, in.width);
    return out;
  }
  // Converters take packed colours: split alpha off, convert, put it back.
  const uint32_t colors = in.channels - 1, outputs = converter_->Outputs();
  uint8_t* packed = colors_.Data();
  uint8_t* converted = converted_.Data();
  for (uint32_t x = 0; x < in.width; ++x) std::memcpy(packed + x * colors, row + x * in.channels, colors);
  converter_->ConvertRun(packed, converted, 0, in.width);
  for (uint32_t x = 0; x < in.width; ++x) {
    std::memcpy(out + x * (outputs + 1), converted + x * outputs, outputs);
    out[x * (outputs + 1) + outputs] = row[x * in.channels + colors];
  }
  return out;
}

// ---- thumbnails

HorizThumbnailImagePipe::HorizThumbnailImagePipe(AppContext& context, ImagePipe* source, uint32_t level)
    : source_(context, source), row_(context), level_(level) {
  format_ = source->Describe();
  format_.width = (format_.width + (1u << level) - 1) >> level;
  row_.Resize(format_.RowBytes());
}

const uint8_t* HorizThumbnailImagePipe::NextRow() {
  const uint32_t inWidth = source_->Describe().width;
  const uint8_t* in = source_->NextRow();
  uint8_t* out = row_.Data();
  const uint32_t n = format_.channels, block = 1u << level_;
  for (uint32_t x = 0; x < format_.width; ++x) {
    const uint32_t first = x << level_;
    const uint32_t count = inWidth - first < block ? inWidth - first : block;
    for (uint32_t c = 0; c < n; ++c) {
      uint32_t sum = 0;
      for (uint32_t i = 0; i < count; ++i) sum += in[(first + i) * n + c];
      out[x * n + c] = static_cast<uint8_t>((sum + count / 2) / count);
    }
  }
  return out;
}

VertThumbnailImagePipe::VertThumbnailImagePipe(AppContext& context, ImagePipe* source, uint32_t level,
                                               uint32_t sourceRows)
    : source_(context, source), sums_(context), row_(context), level_(level), rowsLeft_(sourceRows) {
  const uint32_t bytes = source->Describe().RowBytes();
  sums_.Resize(bytes);
  row_.Resize(bytes);
}

const uint8_t* VertThumbnailImagePipe::NextRow() {
  const uint32_t bytes = row_.Size();
  const uint32_t block = 1u << level_;
  const uint32_t count = rowsLeft_ == 0 ? 1 : rowsLeft_ < block ? rowsLeft_ : block;
  rowsLeft_ = rowsLeft_ > count ? rowsLeft_ - count : 0;
  uint32_t* sums = sums_.Data();
  std::memset(sums, 0, bytes * sizeof(uint32_t));
  for (uint32_t r = 0; r < count; ++r) {
    const uint8_t* in = source_->NextRow();
    for (uint32_t i = 0; i < bytes; ++i) sums[i] += in[i];
  }
  uint8_t* out = row_.Data();
  for (uint32_t i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>((sums[i] + count / 2) / count);
  return out;
}

}  // namespace vn::pdf::render
