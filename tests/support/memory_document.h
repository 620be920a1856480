// A document made in memory from object bodies, opened with the engine:
// for tests of code that reads objects (functions, colour spaces).
#pragma once

#include <memory>
#include <string>

#include "pdf/document/store_resolver.h"
#include "pdf/store/document_store.h"
#include "support/pdf_builder.h"

namespace vn::test {

class MemoryDocument {
 public:
  // Object 1 is a catalog with an empty page tree (object 2); add the rest
  // with Builder().Add(number, body) from 3 on (adding object 2 again
  // replaces the page tree), then Open().
  explicit MemoryDocument(AppContext& context);
  PdfBuilder& Builder() { return builder_; }
  // Returns -1 on success or the engine error code.
  int32_t Open();
  // The file's text once opened (to hand to reference tools).
  const std::string& Bytes() const { return bytes_; }

  pdf::document::StoreResolver& Resolver() { return *resolver_; }
  // The value of object `number`, kept alive by `out`.
  void Get(int32_t number, pdf::document::ResolvedValue& out);

 private:
  AppContext& context_;
  PdfBuilder builder_;
  std::string bytes_;
  Owned<pdf::store::DocumentStore> store_;
  std::unique_ptr<pdf::document::StoreResolver> resolver_;
};

}  // namespace vn::test
