// Decoding JPX and JBIG2 data through the filter factory in tests, and
// reading the reference tools' PNM output.
#pragma once

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "data_io/filter_factory.h"
#include "data_io/memory_stream.h"
#include "support/test_context.h"

namespace vn::test {

struct DecodedImage {
  int32_t code = -1;  // the error raised, -1 for none
  data_io::DecodedImageLayout layout;
  std::vector<std::vector<uint8_t>> rows;
};

// `encoded` through the named filters (the last one the image codec), with
// `params` for the last stage.
inline DecodedImage DecodeThrough(AppContext& context, const std::vector<uint8_t>& encoded,
                                  const std::vector<std::string>& names, const data_io::FilterParams& params) {
  DecodedImage image;
  image.code = RaisedCode(context, [&] {
    Owned<data_io::DataBlockStream> stream(context, NewMemoryStream(context, encoded));
    for (size_t i = 0; i < names.size(); ++i) {
      data_io::FilterParams stage = i + 1 == names.size() ? params : data_io::FilterParams();
      stream.Set(data_io::BuildFilter(context, reinterpret_cast<const uint8_t*>(names[i].data()),
                                      static_cast<uint32_t>(names[i].size()), false, stage, stream.Release()));
    }
    if (const data_io::DecodedImageLayout* layout = stream->DecodedLayout()) image.layout = *layout;
    data_io::DataBlockRef block(context);
    for (stream->GetNextBlock(block); !block.Empty(); stream->GetNextBlock(block)) {
      image.rows.emplace_back(block.Data(), block.Data() + block.Length());
    }
  });
  return image;
}

// A binary PBM (P4), PGM (P5) or PPM (P6) file with 8-bit samples.
struct PnmImage {
  int width = 0, height = 0, channels = 0;  // channels 0 for a bitmap
  std::vector<uint8_t> data;                // rows as stored
  bool Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    in >> magic;
    if (magic != "P4" && magic != "P5" && magic != "P6") return false;
    int maximum = 1;
    in >> width >> height;
    if (magic != "P4") in >> maximum;
    in.get();
    if (!in || (maximum != 255 && magic != "P4")) return false;
    channels = magic == "P4" ? 0 : magic == "P5" ? 1 : 3;
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    size_t rowBytes = channels == 0 ? (width + 7) / 8 : static_cast<size_t>(width) * channels;
    return data.size() == rowBytes * height;
  }
};

}  // namespace vn::test
