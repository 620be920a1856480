// Building code maps from CMap text in the CMap tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "data_io/memory_stream.h"
#include "pdf/cmap/cmap_char_code_map.h"
#include "pdf/cmap/cmap_parser.h"
#include "runtime/engine_new.h"

namespace vn::test {

// Parses `text` into a new map (made with New), the stream handing out
// blocks of `blockSize` bytes.
inline pdf::cmap::CMapCharCodeMap* ParseCMapText(AppContext& context, const std::string& text,
                                                 uint32_t blockSize = 4096) {
  Owned<pdf::cmap::CMapCharCodeMap> map(context, New<pdf::cmap::CMapCharCodeMap>(context, context));
  Owned<data_io::DataBlockStream> stream(context,
                                         NewMemoryStream(context, std::vector<uint8_t>(text.begin(), text.end()), blockSize));
  pdf::cmap::ParseCMap(context, *stream, *map);
  return map.Release();
}

// The code at the start of `bytes`.
inline pdf::text::CharCode Look(const pdf::text::CharCodeMap& map, const std::vector<uint8_t>& bytes) {
  return map.NextCode(bytes.data(), bytes.data() + bytes.size());
}

// Every code of `bytes`, decoded in turn: {length, value} pairs.
inline std::vector<std::pair<uint32_t, uint32_t>> Decode(const pdf::text::CharCodeMap& map,
                                                         const std::vector<uint8_t>& bytes) {
  std::vector<std::pair<uint32_t, uint32_t>> codes;
  const uint8_t* p = bytes.data();
  const uint8_t* end = p + bytes.size();
  while (p < end) {
    const pdf::text::CharCode code = map.NextCode(p, end);
    codes.emplace_back(code.length, code.value);
    p += code.length;
  }
  return codes;
}

}  // namespace vn::test
