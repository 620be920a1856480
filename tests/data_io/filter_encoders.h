// Encoders for the stream filters the engine decodes (Flate through zlib,
// the others written out here), for tests and benchmarks that need encoded
// data of their own.
#pragma once

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vn::test {

// `data` encoded for "LZWDecode": codes written MSB first, a clear code at
// the start and whenever the table nears full. With `earlyChange` 1 (the
// filter's default) the width grows when the encoder's next code reaches a
// power of two (the decoder, one entry behind, switches one early); with 0
// one code later.
inline std::vector<uint8_t> LzwEncoded(const std::vector<uint8_t>& data, int earlyChange = 1) {
  std::vector<uint8_t> out;
  std::map<uint32_t, uint32_t> table;
  uint32_t next = 258, width = 9, acc = 0, bits = 0;
  auto emit = [&](uint32_t code) {
    acc = (acc << width) | code;
    bits += width;
    while (bits >= 8) {
      out.push_back(static_cast<uint8_t>(acc >> (bits - 8)));
      bits -= 8;
    }
    acc &= (1u << bits) - 1;
  };
  auto grow = [&]() {
    ++next;
    if (next + static_cast<uint32_t>(earlyChange) > (1u << width) && width < 12) ++width;
  };
  emit(256);
  int32_t w = -1;
  for (uint8_t c : data) {
    if (w < 0) {
      w = c;
      continue;
    }
    auto it = table.find(static_cast<uint32_t>(w) << 8 | c);
    if (it != table.end()) {
      w = static_cast<int32_t>(it->second);
      continue;
    }
    emit(static_cast<uint32_t>(w));
    table[static_cast<uint32_t>(w) << 8 | c] = next;
    grow();
    w = c;
    if (next >= 4000) {
      emit(256);
      table.clear();
      next = 258;
      width = 9;
    }
  }
  if (w >= 0) {
    emit(static_cast<uint32_t>(w));
    grow();  // the entry the decoder adds on reading it
  }
  emit(257);
  if (bits > 0) out.push_back(static_cast<uint8_t>(acc << (8 - bits)));
  return out;
}

// `data` encoded for "FlateDecode", "ASCIIHexDecode", "RunLengthDecode",
// "LZWDecode" (early change 1) or "ASCII85Decode" (whole groups of four
// bytes; no end marker); empty for any other name.
inline std::vector<uint8_t> Encoded(const std::string& filter, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> out;
  if (filter == "FlateDecode") {
    uLongf size = compressBound(data.size());
    out.resize(size);
    compress(out.data(), &size, data.data(), data.size());
    out.resize(size);
  } else if (filter == "ASCIIHexDecode") {
    const char* hex = "0123456789ABCDEF";
    for (uint8_t c : data) { out.push_back(hex[c >> 4]); out.push_back(hex[c & 15]); }
  } else if (filter == "RunLengthDecode") {
    for (size_t i = 0; i < data.size(); i += 128) {
      size_t n = std::min<size_t>(128, data.size() - i);
      out.push_back(static_cast<uint8_t>(n - 1));
      out.insert(out.end(), data.begin() + i, data.begin() + i + n);
    }
  } else if (filter == "LZWDecode") {
    out = LzwEncoded(data);
  } else if (filter == "ASCII85Decode") {
    for (size_t i = 0; i + 4 <= data.size(); i += 4) {
      uint32_t v = uint32_t(data[i]) << 24 | data[i + 1] << 16 | data[i + 2] << 8 | data[i + 3];
      char g[5];
      for (int j = 4; j >= 0; --j) { g[j] = static_cast<char>('!' + v % 85); v /= 85; }
      out.insert(out.end(), g, g + 5);
    }
  }
  return out;
}

// The same over text.
inline std::string Encoded(const std::string& filter, const std::string& data) {
  std::vector<uint8_t> out = Encoded(filter, std::vector<uint8_t>(data.begin(), data.end()));
  return std::string(out.begin(), out.end());
}

}  // namespace vn::test
