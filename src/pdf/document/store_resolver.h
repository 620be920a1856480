// The page tree's view of an open document: objects, the catalog and stream
// data come from the document store.
#pragma once

#include "pdf/document/object_resolver.h"
#include "pdf/store/document_store.h"

namespace vn::pdf::document {

class StoreResolver final : public ObjectResolver {
 public:
  explicit StoreResolver(store::DocumentStore& store) : store_(store) {}

  AppContext& Context() override { return store_.Context(); }
  void GetIndirectObject(const ObjectId& id, ResolvedValue& out) override;
  void GetCatalog(ResolvedValue& out) override;
  void GetLinearizationDictionary(ResolvedValue& out) override;
  // Raises kBadData unless `stream` is the value of an indirect stream object.
  data_io::DataBlockStream* OpenStreamData(const ResolvedValue& stream) override;
  data_io::DataBlockStream* OpenImageData(const ResolvedValue& stream,
                                            const data_io::ImageDecodeOptions& options) override;

  store::DocumentStore& Store() const { return store_; }

 private:
  store::DocumentStore& store_;
};

}  // namespace vn::pdf::document
