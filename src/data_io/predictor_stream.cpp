#include "data_io/predictor_stream.h"

#include <cstring>

#include "runtime/app_context.h"
#include "runtime/memory_budget.h"

namespace vn::data_io {

namespace {

inline uint8_t Paeth(uint8_t a, uint8_t b, uint8_t c) {
  int32_t p = static_cast<int32_t>(a) + b - c;
  int32_t pa = p > a ? p - a : a - p;
  int32_t pb = p > b ? p - b : b - p;
  int32_t pc = p > c ? p - c : c - p;
  if (pa <= pb && pa <= pc) return a;
  return pb <= pc ? b : c;
}

}  // namespace

PredictorDataBlockStream::PredictorDataBlockStream(AppContext& context, DataBlockStream* source,
                                                   const FilterParams& params)
    : FilteredDataBlockStream(context, source) {
  RegisterUnwindable(context, this, &UnwindByReset<PredictorDataBlockStream>);
  int32_t predictor = params.predictor;
  if (predictor == 2) {
    png_ = false;
  } else if (predictor >= 10 && predictor <= 15) {
    png_ = true;
  } else {
    RaiseBadData(context);
  }
  int32_t columns = params.columns;
  int32_t colors = params.colors;
  int32_t bits = params.bitsPerComponent;
  if (columns <= 0 || colors < 1 || colors > 4) RaiseBadData(context);
  if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16) RaiseBadData(context);
  if (!png_ && bits != 8 && bits != 16) RaiseUnsupported(context);
  bitsPerComponent_ = static_cast<uint32_t>(bits);
  colors_ = static_cast<uint32_t>(colors);
  uint32_t pixelBits = bitsPerComponent_ * colors_;
  uint64_t rowBytes = (static_cast<uint64_t>(pixelBits) * static_cast<uint32_t>(columns) + 7) / 8;
  // Two rows are kept. Two rows that would take more than a quarter of the
  // budget's hard limit come from a declared width no real image has: a
  // limit, not an allocation that empties the caches and fails anyway.
  if (rowBytes > context.Budget().HardLimit() / 8) RaiseCode(context, kLimitExceeded);
  rowBytes_ = static_cast<uint32_t>(rowBytes);
  pixelBytes_ = (pixelBits + 7) / 8;
  rows_ = static_cast<uint8_t*>(Allocate(context, rowBytes_ * 2));
  current_ = rows_;
  previous_ = rows_ + rowBytes_;
  ResetDecoder();
}

PredictorDataBlockStream::~PredictorDataBlockStream() { Reset(); }

void PredictorDataBlockStream::Reset() {
  Free(context_, rows_);
  rows_ = current_ = previous_ = nullptr;
  UnregisterUnwindable(this);
}

void PredictorDataBlockStream::ResetDecoder() {
  std::memset(rows_, 0, rowBytes_ * 2);
  rowLength_ = rowPosition_ = 0;
}

bool PredictorDataBlockStream::NextRow() {
  uint8_t type = 0;
  if (png_) {
    if (!FillSource()) return false;
    type = *sourceCursor_++;
    if (type > 4) RaiseBadData(context_);
  }
  // The new row goes where the row before the previous one was.
  uint8_t* row = previous_;
  previous_ = current_;
  current_ = row;
  uint32_t filled = 0;
  while (filled < rowBytes_ && FillSource()) {
    uint32_t count = static_cast<uint32_t>(sourceEnd_ - sourceCursor_);
    if (count > rowBytes_ - filled) count = rowBytes_ - filled;
    std::memcpy(row + filled, sourceCursor_, count);
    sourceCursor_ += count;
    filled += count;
  }
  if (filled == 0) return false;
  const uint8_t* up = previous_;
  const uint32_t bpp = pixelBytes_;
  if (png_) {
    switch (type) {
      case 0:
        break;
      case 1:
        for (uint32_t i = bpp; i < filled; ++i) row[i] = static_cast<uint8_t>(row[i] + row[i - bpp]);
        break;
      case 2:
        for (uint32_t i = 0; i < filled; ++i) row[i] = static_cast<uint8_t>(row[i] + up[i]);
        break;
      case 3:
        for (uint32_t i = 0; i < filled; ++i) {
          uint32_t left = i >= bpp ? row[i - bpp] : 0;
          row[i] = static_cast<uint8_t>(row[i] + ((left + up[i]) >> 1));
        }
        break;
      case 4:
        for (uint32_t i = 0; i < filled; ++i) {
          uint8_t left = i >= bpp ? row[i - bpp] : 0;
          uint8_t upLeft = i >= bpp ? up[i - bpp] : 0;
          row[i] = static_cast<uint8_t>(row[i] + Paeth(left, up[i], upLeft));
        }
        break;
    }
  } else if (bitsPerComponent_ == 8) {
    for (uint32_t i = colors_; i < filled; ++i) row[i] = static_cast<uint8_t>(row[i] + row[i - colors_]);
  } else {
    // 16-bit big-endian samples, one pixel is 2 * colors bytes.
    const uint32_t step = 2 * colors_;
    for (uint32_t i = step; i + 1 < filled; i += 2) {
      uint32_t sample = (static_cast<uint32_t>(row[i]) << 8 | row[i + 1]) +
                        (static_cast<uint32_t>(row[i - step]) << 8 | row[i - step + 1]);
      row[i] = static_cast<uint8_t>(sample >> 8);
      row[i + 1] = static_cast<uint8_t>(sample);
    }
  }
  if (filled < rowBytes_) std::memset(row + filled, 0, rowBytes_ - filled);
  rowLength_ = filled;
  rowPosition_ = 0;
  return true;
}

uint32_t PredictorDataBlockStream::Decode(uint8_t* buffer, uint32_t maximum) {
  uint32_t written = 0;
  while (written < maximum) {
    if (rowPosition_ == rowLength_) {
      if (!NextRow()) {
        SetEnd();
        break;
      }
    }
    uint32_t count = rowLength_ - rowPosition_;
    if (count > maximum - written) count = maximum - written;
    std::memcpy(buffer + written, current_ + rowPosition_, count);
    rowPosition_ += count;
    written += count;
  }
  return written;
}

uint32_t PredictorDataBlockStream::GetMemorySize() const {
  return FilteredDataBlockStream::GetMemorySize() + rowBytes_ * 2 +
         static_cast<uint32_t>(sizeof(*this) - sizeof(FilteredDataBlockStream));
}

}  // namespace vn::data_io
