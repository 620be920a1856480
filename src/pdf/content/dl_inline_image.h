// Inline images in content: layout, exact reading of the data, decoding.
#pragma once

#include <cstdint>

#include "data_io/buffered_stream.h"
#include "pdf/document/object_resolver.h"
#include "runtime/engine_array.h"

namespace vn::pdf::content {

struct InlineImageLayout {
  uint32_t width, height, bitsPerComponent, components;
  uint32_t rowBytes, totalBytes;
  bool imageMask;
  bool filtered;
};

// From the dictionary (full or abbreviated keys and names). A named colour
// space is looked up in `resources`. Bad or missing entries raise kBadData.
InlineImageLayout GetInlineImageLayout(AppContext& context, document::ObjectResolver& resolver,
                                       const document::ResolvedValue& resources, const store::Value& dictionary);

// Consumes the data exactly (the source stands at its first byte) into
// `data`. Without a filter its size comes from the layout; with one it ends
// at white space, "EI" and white space, a delimiter or the end, which are
// left to the parser.
void ReadInlineImageData(AppContext& context, const InlineImageLayout& layout, data_io::BufferedStream& source,
                         EngineArray<uint8_t>& data);

// Decodes `data` through the dictionary's filters into `total` bytes of
// rows (short data leaves zeros). Filter errors are raised.
void DecodeInlineImage(AppContext& context, const store::Value& dictionary, const uint8_t* data, uint32_t length,
                       uint8_t* rows, uint32_t total);

}  // namespace vn::pdf::content
