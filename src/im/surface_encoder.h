// Surface encoders: finished rows of the page buffer go to the device
// surface, 3-byte pixels in B,G,R order, by copy or by exclusive-or (which
// is undone by encoding the same row again: a highlight).
#pragma once

#include <cstddef>
#include <cstdint>

#include "im/pixel_buffer.h"
#include "im/signal.h"

namespace vn {
class AppContext;
}

namespace vn::im {

// The device surface: rows of 3-byte B,G,R pixels, `stride` bytes apart;
// (left, top) is the page pixel of its first byte, so x and y are page
// coordinates.
struct WinSurfaceTraits {
  struct Surface {
    uint8_t* base;
    ptrdiff_t stride;
    int32_t left, top;
  };
  // The address of pixel 0 of row y, so that pixel x lies at 3 x from it.
  static uint8_t* Row(const Surface& s, int32_t y) {
    return s.base + (static_cast<ptrdiff_t>(y) - s.top) * s.stride - static_cast<ptrdiff_t>(s.left) * 3;
  }
};

struct EncoderCopy {
  static void Apply(uint8_t& destination, uint8_t source) { destination = source; }
};
struct EncoderXOR {
  static void Apply(uint8_t& destination, uint8_t source) { destination ^= source; }
};

// Reads the colour channels of a buffer pixel by pixel, steps from the
// buffer's record.
template <class T>
class GenericPixelIterator {
 public:
  GenericPixelIterator(const PixelBuffer& b, int32_t x, int32_t y)
      : p_(b.At(b.color, x, y)), channelStep_(b.color.channelStep), pixelStep_(b.color.pixelStep) {}
  T Channel(int c) const { return p_[static_cast<ptrdiff_t>(c) * channelStep_]; }
  void Next() { p_ += pixelStep_; }

 private:
  T* p_;
  int32_t channelStep_, pixelStep_;
};

// The same with the layout fixed at compile time.
template <class T, int Channels, int FirstChannel, int ChannelStep, int PixelStep>
class SpecializedPixelIterator {
 public:
  SpecializedPixelIterator(const PixelBuffer& b, int32_t x, int32_t y) : p_(b.At(b.color, x, y)) {}
  T Channel(int c) const { return p_[c * ChannelStep]; }
  void Next() { p_ += PixelStep; }

 private:
  T* p_;
};

// Encodes the pixels [start, end) of row y of a source buffer into the
// surface.
class SurfaceRowEncoder {
 public:
  virtual ~SurfaceRowEncoder() = default;
  virtual void Encode(int32_t y, int32_t start, int32_t end) = 0;
};

template <class SurfaceTraits, class Signal, class Iterator, class Op>
class SurfaceEncoder final : public SurfaceRowEncoder {
 public:
  SurfaceEncoder(const PixelBuffer& source, const typename SurfaceTraits::Surface& surface)
      : source_(source), surface_(surface) {}
  void Encode(int32_t y, int32_t start, int32_t end) override {
    Iterator in(source_, start, y);
    uint8_t* out = SurfaceTraits::Row(surface_, y) + static_cast<ptrdiff_t>(start) * 3;
    for (int32_t x = start; x < end; ++x, out += 3, in.Next()) {
      Op::Apply(out[2], in.Channel(0));
      Op::Apply(out[1], in.Channel(1));
      Op::Apply(out[0], in.Channel(2));
    }
  }

 private:
  PixelBuffer source_;
  typename SurfaceTraits::Surface surface_;
};

// For a source in the surface's own layout, read as a plain array of
// B,G,R bytes.
template <class SurfaceTraits, class Signal, class Op>
class ArrayLikeSurfaceEncoder final : public SurfaceRowEncoder {
 public:
  ArrayLikeSurfaceEncoder(const PixelBuffer& source, const typename SurfaceTraits::Surface& surface)
      : source_(source), surface_(surface) {}
  void Encode(int32_t y, int32_t start, int32_t end) override {
    const uint8_t* in = source_.At(source_.color, start, y) - kLERGBFirstChannel;
    uint8_t* out = SurfaceTraits::Row(surface_, y) + static_cast<ptrdiff_t>(start) * 3;
    const ptrdiff_t bytes = static_cast<ptrdiff_t>(end - start) * 3;
    for (ptrdiff_t i = 0; i < bytes; ++i) Op::Apply(out[i], in[i]);
  }

 private:
  PixelBuffer source_;
  typename SurfaceTraits::Surface surface_;
};

class NoOpSurfaceEncoder final : public SurfaceRowEncoder {
 public:
  void Encode(int32_t, int32_t, int32_t) override {}
};

// The encoder for a source's layout (engine memory; Delete it): none for a
// buffer without three colour channels, the specialised iterators for the device order
// with pixel step 3 or 0, the generic iterator otherwise.
SurfaceRowEncoder* NewSurfaceEncoder(AppContext& context, const PixelBuffer& source,
                                     const WinSurfaceTraits::Surface& surface, bool exclusiveOr);

}  // namespace vn::im
