// Test-only source stream over a byte vector, handing out blocks of a chosen
// size (so that decoders see data split at every possible place).
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "data_io/data_store.h"
#include "data_io/filter_factory.h"
#include "runtime/engine_new.h"

namespace vn::test {

class MemoryStream : public data_io::DataBlockStream {
 public:
  MemoryStream(AppContext& context, std::vector<uint8_t> bytes, uint32_t blockSize = 4096)
      : context_(context), bytes_(std::move(bytes)), blockSize_(blockSize == 0 ? 1 : blockSize) {}

  void GetNextBlock(data_io::DataBlockRef& out) override {
    uint32_t left = static_cast<uint32_t>(bytes_.size()) - position_;
    if (left == 0) {
      out.Clear();
      return;
    }
    uint32_t count = std::min(left, blockSize_);
    auto* block = data_io::VariableMemoryBufferDataBlock::Create(context_, count);
    std::copy(bytes_.begin() + position_, bytes_.begin() + position_ + count, block->Buffer());
    out.Set(block);
    position_ += count;
  }
  void Rewind() override { position_ = 0; }
  bool IsAtEnd() override { return position_ == bytes_.size(); }
  uint32_t GetMemorySize() const override { return sizeof(*this); }

 private:
  AppContext& context_;
  std::vector<uint8_t> bytes_;
  uint32_t blockSize_;
  uint32_t position_ = 0;
};

// Builds a MemoryStream with New, ready to hand to a decoder.
inline data_io::DataBlockStream* NewMemoryStream(AppContext& context, std::vector<uint8_t> bytes,
                                                 uint32_t blockSize = 4096) {
  return New<MemoryStream>(context, context, std::move(bytes), blockSize);
}

// Puts the filter `name` over the stream `stream` holds, as the engine's
// stream builder does: if building raises, `stream` still holds its stream.
inline void AddFilter(AppContext& context, Owned<data_io::DataBlockStream>& stream, const std::string& name,
                      const data_io::FilterParams& params = {}, bool isInline = false) {
  stream.Wrap(data_io::BuildFilter(context, reinterpret_cast<const uint8_t*>(name.data()),
                                   static_cast<uint32_t>(name.size()), isInline, params, stream.get()));
}

// Reads a stream to its end.
inline std::vector<uint8_t> ReadAll(AppContext& context, data_io::DataBlockStream& stream) {
  std::vector<uint8_t> result;
  data_io::DataBlockRef block(context);
  for (;;) {
    stream.GetNextBlock(block);
    if (block.Empty()) break;
    result.insert(result.end(), block.Data(), block.Data() + block.Length());
  }
  return result;
}

}  // namespace vn::test
