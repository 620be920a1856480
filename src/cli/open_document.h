// Opening a document for a folio command, with failures told in words.
#pragma once

#include <cstdint>
#include <string>

#include "pdf/store/document_store.h"
#include "runtime/app_context.h"

namespace folio::cli {

class OpenDocument {
 public:
  explicit OpenDocument(vn::AppContext& context) : context_(context), store_(context) {}
  // Opens `path`, trying `password` when the empty one is not enough.
  // On failure returns false and sets Reason().
  bool Open(const std::string& path, const std::string& password);
  // The opened document's page count. On failure returns false and sets
  // Reason().
  bool CountPages(int32_t& count);
  vn::pdf::store::DocumentStore& Store() { return *store_; }
  const std::string& Reason() const { return reason_; }

 private:
  vn::AppContext& context_;
  vn::Owned<vn::pdf::store::DocumentStore> store_;
  std::string reason_;
};

// Runs `body` in a try frame; returns the engine error code it raised, or
// -1. The frame lives here, away from the caller's locals, which a raise
// would otherwise leave indeterminate.
template <class Body>
[[gnu::noinline]] void InvokeGuarded(Body& body) {
  body();
}

template <class Body>
int32_t EngineErrorOf(vn::AppContext& context, Body&& body) {
  vn::TryFrame frame;
  volatile int32_t code = -1;
  if (VN_TRY(context, frame)) {
    InvokeGuarded(body);  // kept out of line: its locals must not share this frame
  } else {
    code = vn::Catch(frame).code;
  }
  vn::EndTry(frame);
  return code;
}

// Explains an engine error code met while reading a document.
std::string DescribeError(int32_t code);

}  // namespace folio::cli
