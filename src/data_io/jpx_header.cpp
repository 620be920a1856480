#include "data_io/jpx_header.h"

namespace vn::data_io {

namespace {

uint32_t Read16(const uint8_t* p) { return static_cast<uint32_t>(p[0]) << 8 | p[1]; }
uint32_t Read32(const uint8_t* p) { return Read16(p) << 16 | Read16(p + 2); }

uint64_t CeilDiv(uint64_t a, uint64_t b) { return (a + b - 1) / b; }

constexpr uint32_t kBoxSignature = 0x6A502020;  // "jP  "
constexpr uint32_t kBoxCodestream = 0x6A703263;  // "jp2c"

// The codestream inside a JP2 file: the contents of its "jp2c" box.
bool FindCodestream(const uint8_t*& data, uint32_t& size) {
  uint32_t at = 0;
  while (size - at >= 8) {
    uint64_t length = Read32(data + at);
    uint32_t type = Read32(data + at + 4);
    uint32_t headerBytes = 8;
    if (length == 1) {  // a 64-bit length follows
      if (size - at < 16) return false;
      length = static_cast<uint64_t>(Read32(data + at + 8)) << 32 | Read32(data + at + 12);
      headerBytes = 16;
    } else if (length == 0) {  // the box runs to the end
      length = size - at;
    }
    if (length < headerBytes) return false;
    if (type == kBoxCodestream) {
      data += at + headerBytes;
      // A box claiming more than there is holds what there is.
      size = length > size - at ? size - at - headerBytes : static_cast<uint32_t>(length - headerBytes);
      return true;
    }
    if (length > size - at) return false;
    at += static_cast<uint32_t>(length);
  }
  return false;
}

// The main header's markers after SIZ, up to the first tile: each COD and
// COC names decomposition levels (the first byte of its coding style
// parameters).
void ReadLevels(const uint8_t* p, uint32_t size, uint32_t components, JpxHeader& header) {
  constexpr uint32_t kCod = 0xFF52, kCoc = 0xFF53, kSot = 0xFF90;
  uint32_t at = 0;
  while (size - at >= 4) {
    uint32_t marker = Read16(p + at);
    uint32_t length = Read16(p + at + 2);
    if (marker == kSot || (marker >> 8) != 0xFF || length < 2 || length > size - at - 2) return;
    const uint8_t* body = p + at + 4;
    uint32_t bodyBytes = length - 2;
    uint32_t levelsAt = 0xFFFFFFFFu;
    if (marker == kCod) levelsAt = 5;  // Scod, progression, layers (2), MCT
    if (marker == kCoc) levelsAt = (components < 257 ? 1 : 2) + 1;  // Ccoc, Scoc
    if (levelsAt < bodyBytes && body[levelsAt] < header.minLevels) header.minLevels = body[levelsAt];
    at += 2 + length;
  }
}

}  // namespace

bool ReadJpxHeader(const uint8_t* data, uint32_t size, JpxHeader& header) {
  header = JpxHeader();
  if (size >= 12 && Read32(data) == 12 && Read32(data + 4) == kBoxSignature) {
    header.isJp2File = true;
    if (!FindCodestream(data, size)) return false;
  }
  // SOC, then SIZ: Lsiz Rsiz Xsiz Ysiz XOsiz YOsiz XTsiz YTsiz XTOsiz YTOsiz
  // Csiz, and per component Ssiz XRsiz YRsiz.
  if (size < 4 + 38 + 3 || Read16(data) != 0xFF4F || Read16(data + 2) != 0xFF51) return false;
  const uint8_t* siz = data + 4;
  uint32_t length = Read16(siz);
  uint32_t components = Read16(siz + 36);
  if (components == 0 || components > 16384 || length != 38 + 3 * components || size - 4 < length)
    return false;
  uint32_t x1 = Read32(siz + 4), y1 = Read32(siz + 8);
  uint32_t x0 = Read32(siz + 12), y0 = Read32(siz + 16);
  uint32_t tileWidth = Read32(siz + 20), tileHeight = Read32(siz + 24);
  uint32_t tileX0 = Read32(siz + 28), tileY0 = Read32(siz + 32);
  if (x0 >= x1 || y0 >= y1 || tileWidth == 0 || tileHeight == 0 || tileX0 > x0 || tileY0 > y0) return false;
  if (static_cast<uint64_t>(tileX0) + tileWidth <= x0 || static_cast<uint64_t>(tileY0) + tileHeight <= y0)
    return false;
  header.x0 = x0;
  header.y0 = y0;
  header.width = x1 - x0;
  header.height = y1 - y0;
  header.tileWidth = tileWidth < header.width ? tileWidth : header.width;
  header.tileHeight = tileHeight < header.height ? tileHeight : header.height;
  header.tileCount = CeilDiv(x1 - tileX0, tileWidth) * CeilDiv(y1 - tileY0, tileHeight);
  header.components = components;
  for (uint32_t c = 0; c < components; ++c) {
    const uint8_t* p = siz + 38 + 3 * c;
    uint32_t precision = (p[0] & 0x7F) + 1u;
    uint32_t dx = p[1], dy = p[2];
    if (precision > 38 || dx == 0 || dy == 0) return false;
    if (precision > header.maxPrecision) header.maxPrecision = precision;
    if (dx != 1 || dy != 1) header.subsampled = true;
    header.samples += CeilDiv(header.width, dx) * CeilDiv(header.height, dy);
    header.tileSamples += CeilDiv(header.tileWidth, dx) * CeilDiv(header.tileHeight, dy);
  }
  ReadLevels(data + 4 + length, size - 4 - length, components, header);
  return true;
}

uint64_t JpxDecodeBytes(const JpxHeader& header, uint32_t reduce, uint32_t encodedBytes) {
  // Measured against OpenJPEG 2.5 (see the tests): the decoded components
  // are 32-bit samples at the reduced size; one tile's working components
  // again (the only copy for a single tile, moved into the image); the
  // code-block records of a tile at full resolution (about one byte per 16
  // samples); the tile-part data it copies; per-tile coding parameters;
  // and a fixed part for the codec and its line buffers.
  constexpr uint64_t kFixedBytes = 256 * 1024;
  constexpr uint64_t kPerTileBytes = 1024;
  constexpr uint64_t kPerTileComponentBytes = 1280;
  const uint64_t scale = uint64_t{1} << (2 * reduce);
  uint64_t decoded = CeilDiv(header.samples, scale) * 4;
  uint64_t tileSamples = header.tileSamples < header.samples ? header.tileSamples : header.samples;
  uint64_t tile = CeilDiv(tileSamples, scale) * 4;
  uint64_t codeBlocks = header.tileSamples / 16;
  uint64_t tiles = header.tileCount * (kPerTileBytes + kPerTileComponentBytes * header.components);
  return decoded + tile + codeBlocks + tiles + encodedBytes + kFixedBytes;
}

}  // namespace vn::data_io
