// Test helpers for the fax decoder: a block stream over a byte vector, a
// reader that drains a decoder, and a small T.4/T.6 encoder that writes the
// codes of the engine's own tables.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "data_io/ccitt_stream.h"
#include "data_io/ccitt_tables.h"
#include "memory_stream.h"
#include "runtime/app_context.h"
#include "runtime/engine_new.h"

namespace vn::test {


inline data_io::CCITTDataBlockStream* MakeCcitt(AppContext& context, std::vector<uint8_t> bytes,
                                                const data_io::FilterParams& params,
                                                uint32_t chunk = 4096) {
  Owned<data_io::DataBlockStream> source(context, NewMemoryStream(context, std::move(bytes), chunk));
  auto* stream = New<data_io::CCITTDataBlockStream>(context, context, source.get(), params);
  source.Release();  // the decoder's now
  return stream;
}

// Everything the decoder gives through GetNextBlock.
inline std::vector<uint8_t> DrainBlocks(AppContext& context, data_io::DataBlockStream& stream) {
  std::vector<uint8_t> out;
  data_io::DataBlockRef block(context);
  for (int guard = 0; guard < 1000000; ++guard) {
    stream.GetNextBlock(block);
    if (block.Empty()) break;
    out.insert(out.end(), block.Data(), block.Data() + block.Length());
  }
  return out;
}

// Everything the decoder gives through Decode calls of at most `step` bytes.
inline std::vector<uint8_t> DrainDecode(data_io::CCITTDataBlockStream& stream, uint32_t step) {
  std::vector<uint8_t> out;
  std::vector<uint8_t> buffer(step);
  for (int guard = 0; guard < 10000000 && !stream.IsAtEnd(); ++guard) {
    uint32_t n = stream.Decode(buffer.data(), step);
    out.insert(out.end(), buffer.begin(), buffer.begin() + n);
  }
  return out;
}

// ---- encoder ---------------------------------------------------------------

class BitWriter {
 public:
  void Put(uint32_t value, uint32_t count) {
    for (uint32_t i = count; i-- > 0;) PutBit((value >> i) & 1);
  }
  void Put(const char* bits) {
    for (; *bits != 0; ++bits) PutBit(*bits == '1');
  }
  void PutBit(bool bit) {
    if (used_ == 0) bytes_.push_back(0);
    if (bit) bytes_.back() |= static_cast<uint8_t>(0x80 >> used_);
    used_ = (used_ + 1) & 7;
  }
  void Align() { used_ = 0; }
  size_t BitCount() const { return bytes_.size() * 8 - (used_ == 0 ? 0 : 8 - used_); }
  std::vector<uint8_t>& Bytes() { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  uint32_t used_ = 0;
};

using Row = std::vector<uint8_t>;  // one byte per pixel, 1 = black
using Image = std::vector<Row>;

struct EncodeOptions {
  int k = 0;
  bool endOfLine = false;
  bool byteAlign = false;
  bool endMarker = true;        // RTC or EOFB after the last row
  double uncompressedChance = 0;  // share of rows that use uncompressed mode
  uint32_t seed = 1;
};

inline const char* CodeFor(bool black, uint32_t run) {
  const data_io::data_io_detail::CcittCode* codes =
      black ? data_io::data_io_detail::kCcittBlackCodes : data_io::data_io_detail::kCcittWhiteCodes;
  uint32_t n = black ? data_io::data_io_detail::kCcittBlackCodeCount
                     : data_io::data_io_detail::kCcittWhiteCodeCount;
  for (uint32_t i = 0; i < n; ++i)
    if (codes[i].value == run) return codes[i].bits;
  return nullptr;
}

inline void PutRun(BitWriter& w, bool black, uint32_t run) {
  while (run >= 2560) {
    w.Put(CodeFor(black, 2560));
    run -= 2560;
  }
  if (run >= 64) w.Put(CodeFor(black, run / 64 * 64));
  w.Put(CodeFor(black, run % 64));
}

inline const char* ModeBits(int mode) {
  using namespace data_io::data_io_detail;
  for (uint32_t i = 0; i < kCcittModeCodeCount; ++i)
    if (kCcittModeCodes[i].value == mode) return kCcittModeCodes[i].bits;
  return nullptr;
}

// Uncompressed pixels [from, columns) and an exit with tag `tag`.
inline void PutUncompressed(BitWriter& w, const Row& row, size_t from, bool tag) {
  size_t whites = 0;
  for (size_t p = from; p < row.size(); ++p) {
    if (row[p] == 0) {
      if (++whites == 5) {
        w.Put("000001");
        whites = 0;
      }
      continue;
    }
    for (size_t i = 0; i < whites; ++i) w.PutBit(0);
    w.PutBit(1);
    whites = 0;
  }
  for (size_t i = 0; i < 6 + whites; ++i) w.PutBit(0);
  w.PutBit(1);
  w.PutBit(tag);
}

// The first changing element > a0 whose pixel colour is `colour` (a
// changing element is a pixel that differs from its left neighbour, white
// before the row); the row width when there is none.
inline int NextChange(const Row& row, int a0, int colour) {
  int n = static_cast<int>(row.size());
  for (int p = a0 + 1 < 0 ? 0 : a0 + 1; p < n; ++p) {
    int left = p == 0 ? 0 : row[p - 1];
    if (row[p] != left && row[p] == colour) return p;
  }
  return n;
}

inline void Encode1D(BitWriter& w, const Row& row, bool uncompressed) {
  if (uncompressed) {
    w.Put("000000001111");
    PutUncompressed(w, row, 0, false);
    return;
  }
  int n = static_cast<int>(row.size());
  int p = 0;
  int colour = 0;
  while (p < n) {
    int q = p;
    while (q < n && row[q] == colour) ++q;
    PutRun(w, colour != 0, static_cast<uint32_t>(q - p));
    p = q;
    colour ^= 1;
  }
}

inline void Encode2D(BitWriter& w, const Row& row, const Row& ref, bool uncompressed) {
  int n = static_cast<int>(row.size());
  int a0 = -1;
  int colour = 0;
  bool first = true;
  while (a0 < n) {
    if (uncompressed && !first) {
      w.Put("0000001111");
      PutUncompressed(w, row, static_cast<size_t>(a0), false);
      return;
    }
    first = false;
    int a1 = NextChange(row, a0, colour ^ 1);
    int a2 = NextChange(row, a1, colour);
    int b1 = NextChange(ref, a0, colour ^ 1);
    int b2 = NextChange(ref, b1, colour);
    if (b2 < a1) {
      w.Put(ModeBits(data_io::data_io_detail::kCcittPass));
      a0 = b2;
    } else if (a1 - b1 >= -3 && a1 - b1 <= 3) {
      static const int kModes[] = {
          data_io::data_io_detail::kCcittVL3, data_io::data_io_detail::kCcittVL2,
          data_io::data_io_detail::kCcittVL1, data_io::data_io_detail::kCcittV0,
          data_io::data_io_detail::kCcittVR1, data_io::data_io_detail::kCcittVR2,
          data_io::data_io_detail::kCcittVR3};
      w.Put(ModeBits(kModes[a1 - b1 + 3]));
      a0 = a1;
      colour ^= 1;
    } else {
      w.Put(ModeBits(data_io::data_io_detail::kCcittHorizontal));
      int start = a0 < 0 ? 0 : a0;
      PutRun(w, colour != 0, static_cast<uint32_t>(a1 - start));
      PutRun(w, colour == 0, static_cast<uint32_t>(a2 - a1));
      a0 = a2;
    }
  }
}

inline void PutEol(BitWriter& w, bool byteAlign) {
  if (byteAlign) {  // fill so that the code ends on a byte boundary
    while ((w.BitCount() + 12) % 8 != 0) w.PutBit(0);
  }
  w.Put("000000000001");
}

inline std::vector<uint8_t> Encode(const Image& image, const EncodeOptions& o) {
  BitWriter w;
  uint32_t state = o.seed * 2654435761u + 1;
  auto chance = [&]() {
    state = state * 1103515245u + 12345u;
    return static_cast<double>((state >> 8) & 0xFFFF) / 65536.0;
  };
  Row white(image.empty() ? 0 : image[0].size(), 0);
  const Row* ref = &white;
  for (size_t r = 0; r < image.size(); ++r) {
    bool unc = o.uncompressedChance > 0 && chance() < o.uncompressedChance;
    bool twoD = o.k < 0 || (o.k > 0 && r % static_cast<size_t>(o.k) != 0);
    if (o.endOfLine) PutEol(w, o.byteAlign);
    else if (o.byteAlign) w.Align();
    if (o.k > 0) w.PutBit(!twoD);
    if (twoD) Encode2D(w, image[r], *ref, unc);
    else Encode1D(w, image[r], unc);
    ref = &image[r];
  }
  if (o.endMarker) {
    int count = o.k < 0 ? 2 : 6;
    for (int i = 0; i < count; ++i) {
      PutEol(w, false);
      if (o.k > 0) w.PutBit(1);
    }
  }
  return w.Bytes();
}

// Rows packed as the decoder writes them.
inline std::vector<uint8_t> Pack(const Image& image, bool blackIs1) {
  std::vector<uint8_t> out;
  for (const Row& row : image) {
    size_t bytes = (row.size() + 7) / 8;
    size_t base = out.size();
    out.resize(base + bytes, blackIs1 ? 0 : 0xFF);
    for (size_t p = 0; p < row.size(); ++p) {
      bool bit = (row[p] != 0) == blackIs1;
      uint8_t mask = static_cast<uint8_t>(0x80 >> (p & 7));
      if (bit) out[base + p / 8] |= mask;
      else out[base + p / 8] &= static_cast<uint8_t>(~mask);
    }
  }
  return out;
}

// Random bilevel image made of runs of random lengths, with rows that often
// resemble the row above (so all two-dimensional modes occur).
inline Image RandomImage(uint32_t seed, int columns, int rows, int meanRun) {
  uint32_t state = seed * 747796405u + 2891336453u;
  auto next = [&]() {
    state = state * 1103515245u + 12345u;
    return (state >> 8) & 0xFFFFFF;
  };
  Image image;
  for (int r = 0; r < rows; ++r) {
    Row row(static_cast<size_t>(columns), 0);
    if (r > 0 && next() % 3 != 0) {
      row = image.back();
      for (int flips = 0; flips < 3; ++flips) {
        int p = static_cast<int>(next() % static_cast<uint32_t>(columns));
        int len = 1 + static_cast<int>(next() % 4);
        for (int i = p; i < p + len && i < columns; ++i) row[static_cast<size_t>(i)] ^= 1;
      }
    } else {
      int p = 0;
      int colour = static_cast<int>(next() % 2);
      while (p < columns) {
        int len = static_cast<int>(next() % static_cast<uint32_t>(2 * meanRun + 1));
        for (int i = p; i < p + len && i < columns; ++i) row[static_cast<size_t>(i)] = static_cast<uint8_t>(colour);
        p += len;
        colour ^= 1;
      }
    }
    image.push_back(row);
  }
  return image;
}

}  // namespace vn::test
