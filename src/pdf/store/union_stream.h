// The concatenated data of several streams (the content streams of a page),
// optionally with a space between them so tokens never join across streams.
#pragma once

#include <cstdint>

#include "data_io/data_store.h"
#include "runtime/engine_array.h"

namespace vn::pdf::store {

class UnionDataBlockStream final : public data_io::DataBlockStream {
 public:
  UnionDataBlockStream(AppContext& context, bool separator);
  ~UnionDataBlockStream() override;

  // Appends a stream (built with New); the union owns it.
  void Add(data_io::DataBlockStream* stream);

  void GetNextBlock(data_io::DataBlockRef& out) override;
  void Rewind() override;
  bool IsAtEnd() override { return current_ >= streams_.Size(); }
  uint32_t GetMemorySize() const override;

 private:
  AppContext& context_;
  EngineArray<data_io::DataBlockStream*> streams_;
  uint32_t current_ = 0;
  bool separator_;
  bool separatorDue_ = false;
};

}  // namespace vn::pdf::store
