// JBIG2Decode on segments made here (a page and an MMR generic region, the
// one coding simple enough to write by hand) and hostile variants; the
// corpus test compares real streams with pdfimages.
#include <gtest/gtest.h>

#include <vector>

#include "data_io/image_codec_test_support.h"
#include "runtime/app_context.h"
#include "runtime/memory_budget.h"

namespace vn::test {
namespace {

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (24 - 8 * i)));
}

// A segment header (no referred-to segments, page 1) and its data.
void Segment(std::vector<uint8_t>& out, uint32_t number, uint8_t type, const std::vector<uint8_t>& data,
             std::vector<uint32_t> referred = {}) {
  Put32(out, number);
  out.push_back(type);
  out.push_back(static_cast<uint8_t>(referred.size() << 5));
  for (uint32_t r : referred) out.push_back(static_cast<uint8_t>(r));
  out.push_back(1);
  Put32(out, static_cast<uint32_t>(data.size()));
  out.insert(out.end(), data.begin(), data.end());
}

std::vector<uint8_t> PageInfo(uint32_t width, uint32_t height) {
  std::vector<uint8_t> data;
  Put32(data, width);
  Put32(data, height);
  Put32(data, 0);
  Put32(data, 0);
  data.push_back(0);  // flags: default pixel 0 (white)
  data.push_back(0);  // no striping
  data.push_back(0);
  return data;
}

// An immediate generic region over the whole page, MMR-coded: every row is
// the row above (vertical mode 0, one bit "1"), so the page stays white.
std::vector<uint8_t> WhiteRegion(uint32_t width, uint32_t height) {
  std::vector<uint8_t> data;
  Put32(data, width);
  Put32(data, height);
  Put32(data, 0);
  Put32(data, 0);
  data.push_back(0);  // OR
  data.push_back(1);  // MMR
  for (uint32_t i = 0; i < (height + 7) / 8; ++i) data.push_back(0xFF);
  return data;
}

std::vector<uint8_t> WhitePage(uint32_t width, uint32_t height) {
  std::vector<uint8_t> stream;
  Segment(stream, 0, 48, PageInfo(width, height));
  Segment(stream, 1, 38, WhiteRegion(width, height));
  return stream;
}

DecodedImage Decode(AppContext& context, const std::vector<uint8_t>& data, const std::vector<uint8_t>& globals = {}) {
  data_io::FilterParams params;
  params.jbig2Globals = globals.empty() ? nullptr : globals.data();
  params.jbig2GlobalsLength = static_cast<uint32_t>(globals.size());
  return DecodeThrough(context, data, {"JBIG2Decode"}, params);
}

// White is 1 in the rows the filter gives (0 is black, as the PDF's
// 1-bit gray data has it).
TEST(Jbig2Decode, PageRowsAreOneBitWithWhiteAsOne) {
  AppContext context;
  DecodedImage image = Decode(context, WhitePage(20, 5));
  ASSERT_EQ(image.code, -1);
  EXPECT_EQ(image.layout.width, 20u);
  EXPECT_EQ(image.layout.bitsPerComponent, 1u);
  ASSERT_EQ(image.rows.size(), 5u);
  for (const auto& row : image.rows) {
    ASSERT_EQ(row.size(), 3u);
    EXPECT_EQ(row[0], 0xFF);
    EXPECT_EQ(row[1], 0xFF);
  }
  EXPECT_EQ(context.Budget().BytesInUse(), 0u);
}

TEST(Jbig2Decode, JbigDecAllocatesFromTheBudget) {
  AppContext context;
  context.Budget().ResetPeak();
  DecodedImage image = Decode(context, WhitePage(4000, 2000));  // a 1 MB page
  ASSERT_EQ(image.code, -1);
  EXPECT_GT(context.Budget().PeakBytes(), 4000u * 2000u / 8u);
  EXPECT_EQ(context.Budget().BytesInUse(), 0u);
  // A page the budget could hold, but not now: out of memory, nothing left over.
  AppContext tight(TinyLimits(1100000, 1100000));
  void* held = Allocate(tight, 300000);
  EXPECT_EQ(Decode(tight, WhitePage(4000, 2000)).code, kOutOfMemory);
  Free(tight, held);
  EXPECT_EQ(tight.Budget().BytesInUse(), 0u);
}

TEST(Jbig2Decode, HostileDataEndsInCleanErrors) {
  AppContext context;
  // A page declared larger than the budget could ever hold.
  EXPECT_EQ(Decode(context, WhitePage(100000, 100000)).code, kLimitExceeded);
  // Cut anywhere: code 2, or the part of the page there is.
  const std::vector<uint8_t> page = WhitePage(64, 64);
  for (size_t size = 0; size < page.size(); size += 3) {
    std::vector<uint8_t> cut(page.begin(), page.begin() + static_cast<long>(size));
    int32_t code = Decode(context, cut).code;
    EXPECT_TRUE(code == -1 || code == kBadData) << size << " " << code;
  }
  EXPECT_EQ(Decode(context, {}).code, kBadData);
  // A region referring to a segment (in the missing globals) that is not there.
  std::vector<uint8_t> referring;
  Segment(referring, 1, 48, PageInfo(8, 8));
  Segment(referring, 2, 38, WhiteRegion(8, 8), {0});
  int32_t code = Decode(context, referring).code;
  EXPECT_TRUE(code == -1 || code == kBadData) << code;
  // Globals that are not JBIG2 data (jbig2dec may just wait for more of it).
  code = Decode(context, WhitePage(8, 8), std::vector<uint8_t>(40, 0xEE)).code;
  EXPECT_TRUE(code == -1 || code == kBadData) << code;
  // Garbage.
  EXPECT_EQ(Decode(context, std::vector<uint8_t>(300, 0x9C)).code, kBadData);
  EXPECT_EQ(context.Budget().BytesInUse(), 0u);
}

}  // namespace
}  // namespace vn::test
