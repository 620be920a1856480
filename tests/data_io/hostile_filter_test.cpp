// Filter inputs found by fuzzing, and declared sizes no real stream has:
// each ends in an engine error other than running out of memory.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "data_io/filter_factory.h"
#include "data_io/memory_stream.h"
#include "support/test_context.h"

namespace vn::test {
namespace {

using Bytes = std::vector<uint8_t>;

// The code raised by building `filter` over `input` and reading it to the end (-1: none).
int32_t DecodeCode(AppContext& context, const char* filter, const Bytes& input, const data_io::FilterParams& params,
                   size_t* decoded = nullptr) {
  return RaisedCode(context, [&] {
    Owned<data_io::DataBlockStream> stream(context, NewMemoryStream(context, input));
    AddFilter(context, stream, filter, params);
    Bytes out = ReadAll(context, *stream);
    if (decoded != nullptr) *decoded = out.size();
  });
}

// Fuzzing: Flate with PNG prediction, 1 bit per pixel and Columns 2^31 - 1
// asked the budget for two rows of 256 MB each.
TEST(HostileFilter, PredictorRowsWiderThanTheBudgetAreALimit) {
  AppContext context;
  uint32_t before = context.Budget().BytesInUse();
  const Bytes data = {0x0f, 0x53, 0x35, 0x31, 0x98, 0xfa, 0x00, 0xff, 0xff, 0x1e};
  data_io::FilterParams params;
  params.predictor.Set(12);
  params.bitsPerComponent.Set(1);
  params.SetColumns(0x7fffffff);
  EXPECT_EQ(DecodeCode(context, "FlateDecode", data, params), kLimitExceeded);
  // The same with LZW, and with widths that only multiply out too large.
  EXPECT_EQ(DecodeCode(context, "LZWDecode", data, params), kLimitExceeded);
  params.SetColumns(1000000);
  params.colors.Set(4);
  params.bitsPerComponent.Set(16);
  EXPECT_EQ(DecodeCode(context, "FlateDecode", data, params), kLimitExceeded);
  EXPECT_EQ(context.Budget().BytesInUse(), before);

  // A wide but real row (20,000 RGBA pixels of 16 bits) decodes.
  params.SetColumns(20000);
  Bytes row(1 + 20000 * 8, 0);
  row[0] = 2;  // Up
  uLongf size = compressBound(row.size());
  Bytes packed(size);
  compress(packed.data(), &size, row.data(), row.size());
  packed.resize(size);
  size_t decoded = 0;
  EXPECT_EQ(DecodeCode(context, "FlateDecode", packed, params, &decoded), -1);
  EXPECT_EQ(decoded, 20000u * 8);
}

}  // namespace
}  // namespace vn::test
