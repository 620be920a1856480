#include "support/memory_document.h"

#include "support/test_documents.h"

namespace vn::test {

MemoryDocument::MemoryDocument(AppContext& context) : context_(context), store_(context) {
  builder_.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
  builder_.Add(2, "<< /Type /Pages /Kids [] /Count 0 >>");
}

int32_t MemoryDocument::Open() {
  bytes_ = builder_.Finish(builder_.Trailer());
  int32_t code = OpenMemoryDocument(context_, bytes_, store_);
  if (code == -1) resolver_ = std::make_unique<pdf::document::StoreResolver>(*store_);
  return code;
}

void MemoryDocument::Get(int32_t number, pdf::document::ResolvedValue& out) {
  resolver_->GetIndirectObject(pdf::document::ObjectId{number, 0}, out);
}

}  // namespace vn::test
