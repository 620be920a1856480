// Who owns a filter's source while its stage is built: the caller, until the
// stage is complete. A stage that cannot be built (bad parameters, memory
// running out in its constructor) leaves the source with the caller, whole
// and readable, and nothing of its own charged to the budget.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data_io/ccitt_stream.h"
#include "data_io/filter_encoders.h"
#include "data_io/memory_stream.h"
#include "support/test_context.h"

namespace vn::test {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(FilterStages, AStageThatCannotBeBuiltLeavesItsSourceWithTheCaller) {
  AppContext context;
  const Bytes data = Encoded("FlateDecode", Bytes(3000, 0x5A));
  data_io::FilterParams badScale;
  badScale.dctScaleDenominator.Set(3);
  data_io::FilterParams badColors;
  badColors.predictor.Set(12);
  badColors.colors.Set(9);
  data_io::FilterParams badColumns;
  badColumns.faxColumns.Set(0);
  struct Case {
    const char* name;
    std::string filter;
    const data_io::FilterParams& params;
    int32_t code;
  } cases[] = {
      {"DCT scale other than 1, 2, 4 or 8", "DCTDecode", badScale, kBadData},
      {"predictor with nine colours, after its decoder was built", "FlateDecode", badColors, kBadData},
      {"fax rows without columns", "CCITTFaxDecode", badColumns, kBadData},
      {"unknown filter", "NoSuchDecode", badScale, kUnsupported},
  };
  const uint32_t before = context.Budget().BytesInUse();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    {
      Owned<data_io::DataBlockStream> stream(context, NewMemoryStream(context, data));
      EXPECT_EQ(RaisedCode(context, [&] { AddFilter(context, stream, c.filter, c.params); }), c.code);
      ASSERT_TRUE(stream);
      EXPECT_EQ(ReadAll(context, *stream), data);
    }
    EXPECT_EQ(context.Budget().BytesInUse(), before);
  }
}

// The fax decoder's row buffers (about 1 MB each at the widest rows) do not
// fit: the out-of-memory leaves the upstream Flate stage, zlib state and
// all, with the caller, who frees it.
TEST(FilterStages, OutOfMemoryInAStageConstructorFreesTheWholeChain) {
  AppContext context(TinyLimits(1500000, 1500000));
  data_io::FilterParams wide;
  wide.faxColumns.Set(data_io::CCITTDataBlockStream::kMaxColumns);
  wide.k.Set(-1);
  const uint32_t before = context.Budget().BytesInUse();
  EXPECT_EQ(RaisedCode(context,
                       [&] {
                         Owned<data_io::DataBlockStream> stream(context,
                                                                NewMemoryStream(context, Encoded("FlateDecode", Bytes(100, 0))));
                         AddFilter(context, stream, "FlateDecode");
                         AddFilter(context, stream, "CCITTFaxDecode", wide);
                       }),
            kOutOfMemory);
  EXPECT_EQ(context.Budget().BytesInUse(), before);
  EXPECT_EQ(UnwindHead(context), nullptr);
}

}  // namespace
}  // namespace vn::test
