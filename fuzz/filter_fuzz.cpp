// A filter chain on arbitrary data, decoded to the end through the filter
// factory with an output cap of 4 MB. The first bytes choose the chain:
//
//   byte 0      bits 0-1: filters - 1 (1 to 3; 3 counts as 1)
//               bits 2-7: source block size (0: the whole data in one block)
//   then per filter, 8 bytes, the first filter applied to the data first:
//   [0] filter: Flate, LZW, RunLength, ASCIIHex, ASCII85, CCITTFax, DCT, JPX,
//       JBIG2 (mod 9)
//   [1] bits 0-2: Predictor from {1, 1, 2, 10, 11, 12, 13, 15}
//       bits 3-7: Colors
//   [2] bits 0-2: BitsPerComponent from {1, 2, 4, 8, 16, 0, 3, 32}
//       bits 3-7: DamagedRowsBeforeError
//   [3,4] Columns, little-endian; 0xFFFF stands for 2^31 - 1
//   [5] bit 0 EarlyChange, bit 1 EncodedByteAlign, bit 2 BlackIs1,
//       bit 3 EndOfBlock, bit 4 EndOfLine, bit 5 Columns given, bit 6 Rows
//       given, bit 7 K given
//   [6] K (signed)
//   [7] Rows; 0xFF stands for 2^31 - 1
//   then the data.
// tools/fuzz-seeds.sh writes seeds in this form. Running out of the budget
// is a fault: nothing decoded here is kept.
#include <cstring>

#include "data_io/data_block.h"
#include "data_io/filter_factory.h"
#include "fuzz/fuzz_context.h"
#include "runtime/engine_new.h"

namespace {

constexpr uint64_t kOutputCap = 4u << 20;

// The data, handed out in blocks of a chosen size.
class ChunkedStream final : public vn::data_io::DataBlockStream {
 public:
  ChunkedStream(vn::AppContext& context, const uint8_t* data, uint32_t size, uint32_t blockSize)
      : context_(context), data_(data), size_(size), blockSize_(blockSize == 0 ? size : blockSize) {}
  void GetNextBlock(vn::data_io::DataBlockRef& out) override {
    uint32_t count = size_ - position_ < blockSize_ ? size_ - position_ : blockSize_;
    if (count == 0) {
      out.Clear();
      return;
    }
    auto* block = vn::data_io::VariableMemoryBufferDataBlock::Create(context_, count);
    std::memcpy(block->Buffer(), data_ + position_, count);
    out.Set(block);
    position_ += count;
  }
  void Rewind() override { position_ = 0; }
  bool IsAtEnd() override { return position_ == size_; }
  uint32_t GetMemorySize() const override { return sizeof(*this); }

 private:
  vn::AppContext& context_;
  const uint8_t* data_;
  uint32_t size_;
  uint32_t blockSize_;
  uint32_t position_ = 0;
};

constexpr const char* kNames[] = {"FlateDecode",   "LZWDecode",      "RunLengthDecode", "ASCIIHexDecode",
                                  "ASCII85Decode", "CCITTFaxDecode", "DCTDecode",      "JPXDecode",
                                  "JBIG2Decode"};
constexpr int32_t kPredictors[] = {1, 1, 2, 10, 11, 12, 13, 15};
constexpr int32_t kBitsPerComponent[] = {1, 2, 4, 8, 16, 0, 3, 32};
constexpr int32_t kHuge = 0x7fffffff;

vn::data_io::FilterParams ParamsFrom(const uint8_t* p) {
  vn::data_io::FilterParams params;
  if ((p[1] & 7) > 1) params.predictor.Set(kPredictors[p[1] & 7]);
  if ((p[1] >> 3) != 0) params.colors.Set(p[1] >> 3);
  params.bitsPerComponent.Set(kBitsPerComponent[p[2] & 7]);
  if ((p[2] >> 3) != 0) params.damagedRowsBeforeError.Set(p[2] >> 3);
  uint32_t columns = p[3] | (p[4] << 8);
  if (p[5] & 0x20) params.SetColumns(columns == 0xFFFF ? kHuge : static_cast<int32_t>(columns));
  params.earlyChange.Set(p[5] & 1);
  params.encodedByteAlign.Set((p[5] & 2) != 0);
  params.blackIs1.Set((p[5] & 4) != 0);
  params.endOfBlock.Set((p[5] & 8) != 0);
  params.endOfLine.Set((p[5] & 16) != 0);
  if (p[5] & 0x40) params.rows.Set(p[7] == 0xFF ? kHuge : p[7]);
  if (p[5] & 0x80) params.k.Set(static_cast<int8_t>(p[6]));
  return params;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  uint32_t filters = (data[0] & 3) == 3 ? 1 : (data[0] & 3) + 1;
  uint32_t blockSize = data[0] >> 2;
  size_t header = 1 + 8 * filters;
  if (size < header) return 0;
  vn::fuzz::RunGuarded(
      [&](vn::AppContext& context) {
        vn::data_io::DataBlockStream* stream = vn::New<ChunkedStream>(
            context, context, data + header, static_cast<uint32_t>(size - header), blockSize);
        vn::Owned<vn::data_io::DataBlockStream> chain(context, stream);
        for (uint32_t i = 0; i < filters; ++i) {
          const uint8_t* p = data + 1 + 8 * i;
          const char* name = kNames[p[0] % 9];
          vn::data_io::FilterParams params = ParamsFrom(p);
          // The stage owns the chain once built; if building raises, `chain` still does.
          chain.Wrap(vn::data_io::BuildFilter(context, reinterpret_cast<const uint8_t*>(name),
                                              static_cast<uint32_t>(std::strlen(name)), false, params, chain.get()));
        }
        vn::fuzz::Drain(context, *chain, kOutputCap);
      },
      vn::fuzz::StrictLimits(), true);
  return 0;
}
