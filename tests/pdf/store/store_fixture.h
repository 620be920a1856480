// The fixture of the document-store tests: a file held in memory, opened
// into a store, its objects fetched; everything the store took is back when
// the test ends.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "pdf/store/document_store.h"
#include "runtime/app_context.h"
#include "support/test_context.h"
#include "support/test_documents.h"

namespace vn::pdf::store {

class StoreFixture : public ::testing::Test {
 protected:
  // Opens `bytes`; returns the code raised (-1: opened).
  int32_t Open(const std::string& bytes) {
    data_ = bytes;
    held_.Set(nullptr);
    store_.Reset();
    return test::OpenMemoryDocument(context_, data_, store_);
  }
  // Object `number`, held until the next call.
  Value Object(int32_t number) {
    store_->GetObject(held_, number);
    return held_->value;
  }
  // The bytes of string object `number`.
  std::string Text(int32_t number) {
    Value v = Object(number);
    return v.IsString() ? std::string(reinterpret_cast<const char*>(v.Bytes()), v.Length()) : "(not a string)";
  }
  // The code raised while fetching object `number` (-1: none); `type` gets its value's type.
  int32_t Fetch(int32_t number, int32_t* type = nullptr) {
    return test::RaisedCode(context_, [&] {
      Ref<ParsedObject> object(context_);
      store_->GetObject(object, number);
      if (type != nullptr) *type = object->value.type;
    });
  }
  // The decoded data of stream object `number`.
  std::string StreamText(int32_t number) {
    std::string text;
    store_->GetObject(held_, number);
    Owned<data_io::DataBlockStream> stream(context_, store_->OpenStreamData(*held_));
    data_io::DataBlockRef block(context_);
    for (stream->GetNextBlock(block); !block.Empty(); stream->GetNextBlock(block)) {
      text.append(reinterpret_cast<const char*>(block.Data()), block.Length());
    }
    return text;
  }
  void TearDown() override {
    held_.Reset();
    store_.Reset();
    context_.Caches().LowMemory();
    EXPECT_EQ(context_.Budget().BytesInUse(), baseline_);
  }

  AppContext context_;
  uint32_t baseline_ = context_.Budget().BytesInUse();
  std::string data_;
  Owned<DocumentStore> store_{context_};
  Ref<ParsedObject> held_{context_};
};

}  // namespace vn::pdf::store
