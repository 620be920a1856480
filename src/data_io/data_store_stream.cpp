#include "data_io/data_store_stream.h"

#include "runtime/engine_new.h"

namespace vn::data_io {

DataStoreStream::DataStoreStream(AppContext& context, DataStore* store, bool ownsStore)
    : context_(context), store_(store), ownsStore_(ownsStore) {}

DataStoreStream::~DataStoreStream() {
  if (ownsStore_) Delete(context_, store_);
}

void DataStoreStream::GetNextBlock(DataBlockRef& out) {
  store_->GetBlock(out, position_);
  position_ += out.Length();
}

}  // namespace vn::data_io
