#include "im/surface_encoder.h"

#include "runtime/engine_new.h"

namespace vn::im {

namespace {

template <class Op>
SurfaceRowEncoder* NewFor(AppContext& context, const PixelBuffer& source, const WinSurfaceTraits::Surface& surface) {
  const PixelPlane& c = source.color;
  if (!c.Present() || source.channels < 3) return New<NoOpSurfaceEncoder>(context);
  if (source.channels == 3 && c.firstChannel == kLERGBFirstChannel && c.channelStep == kLERGBChannelStep) {
    if (c.pixelStep == kLERGBPixelStep) {
      using Iterator = SpecializedPixelIterator<const uint8_t, 3, 2, -1, 3>;
      return New<SurfaceEncoder<WinSurfaceTraits, ByteSignalTraits, Iterator, Op>>(context, source, surface);
    }
    if (c.pixelStep == 0) {
      using Iterator = SpecializedPixelIterator<const uint8_t, 3, 2, -1, 0>;
      return New<SurfaceEncoder<WinSurfaceTraits, ByteSignalTraits, Iterator, Op>>(context, source, surface);
    }
  }
  return New<SurfaceEncoder<WinSurfaceTraits, ByteSignalTraits, GenericPixelIterator<const uint8_t>, Op>>(
      context, source, surface);
}

}  // namespace

SurfaceRowEncoder* NewSurfaceEncoder(AppContext& context, const PixelBuffer& source,
                                     const WinSurfaceTraits::Surface& surface, bool exclusiveOr) {
  return exclusiveOr ? NewFor<EncoderXOR>(context, source, surface) : NewFor<EncoderCopy>(context, source, surface);
}

}  // namespace vn::im
