// The compact CMap form regenerated as text: blobs assembled bit by bit
// here, and the text they must give.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data_io/memory_stream.h"
#include "pdf/cmap/cmap_decompressed_stream.h"
#include "pdf/cmap/predefined_cmaps.h"
#include "runtime/app_context.h"
#include "runtime/engine_new.h"

namespace vn::pdf::cmap {
namespace {

class Bits {
 public:
  Bits& Put(uint32_t value, uint32_t width) {
    for (uint32_t i = width; i-- > 0;) {
      if (count_ % 8 == 0) bytes_.push_back(0);
      if ((value >> i) & 1) bytes_.back() |= static_cast<uint8_t>(0x80 >> (count_ % 8));
      ++count_;
    }
    return *this;
  }
  Bits& Literal(const std::string& text) {
    Put(1, 2).Put(static_cast<uint32_t>(text.size()), 8);
    for (char c : text) Put(static_cast<uint8_t>(c), 8);
    return *this;
  }
  Bits& Keyword(uint32_t index) { return Put(2, 2).Put(index, 6); }
  Bits& Block(bool hex, bool ranges, uint32_t count) { return Put(3, 2).Put(hex, 1).Put(ranges, 1).Put(count, 8); }
  // An update: selector, operation (and what follows it).
  Bits& Update(uint32_t selector, uint32_t operation) { return Put(selector, 2).Put(operation, 3); }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  uint32_t count_ = 0;
};

std::string Regenerate(AppContext& context, const std::vector<uint8_t>& blob) {
  CMapDecompressedDataBlockStream stream(context, blob.data(), static_cast<uint32_t>(blob.size()));
  std::vector<uint8_t> text = test::ReadAll(context, stream);
  EXPECT_TRUE(stream.IsAtEnd());
  return std::string(text.begin(), text.end());
}

TEST(CMapDecompressedStreamTest, LiteralsAndKeywords) {
  AppContext context;
  Bits bits;
  bits.Literal("/CIDInit").Keyword(46).Keyword(21).Keyword(8).Literal(" 1").Keyword(3).Keyword(7).Keyword(32)
      .Keyword(50).Put(0, 2);
  EXPECT_EQ(Regenerate(context, bits.Bytes()),
            "/CIDInit /ProcSet findresource begin 1 begincidrange\n endcidrange\n\n (Adobe) /WMode");
}

TEST(CMapDecompressedStreamTest, CidRangeEntries) {
  AppContext context;
  Bits bits;
  bits.Block(false, true, 3);
  // Entry 1: code length 1, code delta width 8, destination width 2, range
  // width 8; code 0x20, destination +1, span 0x5E.
  bits.Put(1, 1).Update(1, 1).Put(0, 2).Update(1, 6).Update(2, 4).Update(3, 6).Put(0, 2);
  bits.Put(0x20, 8).Put(1, 2).Put(0, 1).Put(0x5E, 8);
  // Entry 2: code length 2, code width grows by 8 to 16, destination width
  // by 4 to 6; code delta from 0x7F to 0x8140, destination down by 8 (from
  // 95 to 87), span 3.
  bits.Put(1, 1).Update(1, 1).Put(1, 2).Update(1, 6).Update(2, 5).Put(0, 2);
  bits.Put(0x8140 - 0x7F, 16).Put(8, 6).Put(1, 1).Put(3, 8);
  // Entry 3: no updates; the next code, 0x8144, is a delta of 0, and the
  // destination follows the range (87 + 3).
  bits.Put(0, 1).Put(0, 16).Put(0, 6).Put(0, 1).Put(0, 8);
  bits.Put(0, 2);
  EXPECT_EQ(Regenerate(context, bits.Bytes()), "<20><7E>1\n<8140><8143>87\n<8144><8144>90\n");
}

TEST(CMapDecompressedStreamTest, HexDestinationsOfEverySize) {
  AppContext context;
  Bits bits;
  bits.Block(true, false, 4);
  // Code length 2, code width 1, destination size 2, destination width 16.
  bits.Put(1, 1).Update(1, 1).Put(1, 2).Update(1, 3).Update(2, 1).Put(1, 2).Update(2, 7).Put(0, 2);
  bits.Put(1, 1).Put(0x0041, 16).Put(0, 1);  // <0001> <0041>
  // Destination size 4 (a surrogate pair), width to 32.
  bits.Put(1, 1).Update(2, 1).Put(2, 2).Update(2, 7).Put(0, 2);
  bits.Put(0, 1).Put(0xD835DC9Cu - 0x41, 32).Put(0, 1);  // <0002> <D835DC9C>
  // Destination size 3 through the byte count.
  bits.Put(1, 1).Update(2, 1).Put(3, 2).Put(3, 5).Update(2, 2).Put(0, 2);
  bits.Put(0, 1).Put(0, 1);  // <0003> the same value, printed in 6 digits
  // A long string: 6 bytes.
  bits.Put(1, 1).Update(2, 1).Put(3, 2).Put(6, 5).Put(0, 2);
  bits.Put(0, 1);
  for (uint8_t b : {0x00, 0x66, 0x00, 0x66, 0x00, 0x69}) bits.Put(b, 8);
  bits.Put(0, 2);
  EXPECT_EQ(Regenerate(context, bits.Bytes()),
            "<0001><0041>\n<0002><D835DC9C>\n<0003><D835DC9C>\n<0004><006600660069>\n");
}

TEST(CMapDecompressedStreamTest, CodeRestartAndWidthCaps) {
  AppContext context;
  Bits bits;
  bits.Block(false, false, 2);
  // Code length 4, code width grown 16 + 16 + 16 (capped at 32).
  bits.Put(1, 1).Update(1, 1).Put(3, 2).Update(1, 7).Update(1, 7).Update(1, 7).Update(2, 3).Put(0, 2);
  bits.Put(0xFFFFFFFFu, 32).Put(1, 1).Put(0, 1);
  // Restart the code at 0, then a delta of 5.
  bits.Put(1, 1).Update(1, 0).Put(0, 2).Put(5, 32).Put(1, 1).Put(1, 1);
  bits.Put(0, 2);
  EXPECT_EQ(Regenerate(context, bits.Bytes()), "<FFFFFFFF>1\n<00000005>0\n");
}

TEST(CMapDecompressedStreamTest, TruncatedBlobsEnd) {
  AppContext context;
  Bits bits;
  bits.Literal("abc").Block(false, true, 200).Put(1, 1).Update(1, 7);
  std::string text = Regenerate(context, bits.Bytes());
  EXPECT_EQ(text.substr(0, 3), "abc");
  EXPECT_LT(text.size(), 200u);
  EXPECT_EQ(Regenerate(context, {}), "");
}

TEST(CMapDecompressedStreamTest, BlocksRewindAndStayInBounds) {
  AppContext context;
  PredefinedCMap cmap;
  ASSERT_TRUE(FindPredefinedCMap(reinterpret_cast<const uint8_t*>("UniJIS-UTF32-H"), 14, kJapan1, &cmap));
  CMapDecompressedDataBlockStream stream(context, cmap.blob, cmap.length);
  std::string first;
  data_io::DataBlockRef block(context);
  uint32_t blocks = 0;
  for (;;) {
    stream.GetNextBlock(block);
    if (block.Empty()) break;
    EXPECT_LE(block.Length(), 4096u);
    first.append(reinterpret_cast<const char*>(block.Data()), block.Length());
    ++blocks;
  }
  EXPECT_GT(blocks, 10u);
  EXPECT_NE(first.find("endcmap"), std::string::npos);
  stream.Rewind();
  EXPECT_FALSE(stream.IsAtEnd());
  std::vector<uint8_t> again = test::ReadAll(context, stream);
  EXPECT_EQ(std::string(again.begin(), again.end()), first);
}

}  // namespace
}  // namespace vn::pdf::cmap
