// The image header of JPEG 2000 data (a bare codestream or a JP2 file),
// read before the data goes to the decoding library, so that what the
// library will allocate can be bounded first.
#pragma once

#include <cstdint>

namespace vn::data_io {

struct JpxHeader {
  bool isJp2File = false;  // a JP2 file (boxes) rather than a bare codestream
  uint32_t x0 = 0;  // the image area on the reference grid
  uint32_t y0 = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t tileWidth = 0;
  uint32_t tileHeight = 0;
  uint64_t tileCount = 0;
  uint32_t components = 0;
  uint32_t maxPrecision = 0;  // of any component, in bits
  bool subsampled = false;    // some component is subsampled
  // Samples of all components together (each component at its own
  // subsampling), at the full resolution.
  uint64_t samples = 0;
  // The same for one tile (the largest). A decode of fewer samples than
  // the image has (a band) still makes the records of a whole tile.
  uint64_t tileSamples = 0;
  // The fewest wavelet decomposition levels of any component (COD and COC
  // of the main header): the most a decode can be reduced.
  uint32_t minLevels = 32;
};

// False when the data is neither form or its image header is missing,
// truncated or inconsistent.
bool ReadJpxHeader(const uint8_t* data, uint32_t size, JpxHeader& header);

// An upper bound of the bytes the library holds at once to decode the image
// at 1/2^reduce of its size from `encodedBytes` of data.
uint64_t JpxDecodeBytes(const JpxHeader& header, uint32_t reduce, uint32_t encodedBytes);

}  // namespace vn::data_io
