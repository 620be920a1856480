// A corpus file opened for a benchmark.
#pragma once

#include <string>

#include "data_io/file_data_store.h"
#include "pdf/security/security_handler.h"
#include "pdf/store/document_store.h"
#include "support/test_context.h"

namespace vn::bench {

// An open store of `path` (null unless it opens with the empty password).
class OpenedDocument {
 public:
  OpenedDocument(AppContext& context, const std::string& path) : store_(context) {
    std::wstring wide(path.begin(), path.end());
    test::RaisedCode(context, [&] {
      store_.Set(pdf::store::OpenDocument(context, New<data_io::FileDataStore>(context, context, wide.c_str())));
      if (!store_->Security()->IsAuthorized()) store_.Set(nullptr);
    });
  }
  explicit operator bool() const { return static_cast<bool>(store_); }
  pdf::store::DocumentStore& Store() { return *store_; }

 private:
  Owned<pdf::store::DocumentStore> store_;
};

}  // namespace vn::bench
