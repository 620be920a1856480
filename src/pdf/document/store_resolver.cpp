#include "pdf/document/store_resolver.h"

#include "runtime/error.h"

namespace vn::pdf::document {

void StoreResolver::GetIndirectObject(const ObjectId& id, ResolvedValue& out) {
  Ref<store::ParsedObject> object(Context());
  store_.GetObject(object, id.number);
  out.Set(object->value, object.get());
}

void StoreResolver::GetCatalog(ResolvedValue& out) {
  Ref<store::ParsedObject> holder(Context());
  const Value root = store_.TrailerEntry("Root", holder);
  out.Set(root, holder.get());
}

void StoreResolver::GetLinearizationDictionary(ResolvedValue& out) {
  // The store keeps its linearization dictionary for as long as it is open.
  out.Set(store_.LinearizationDictionary(), nullptr);
}

data_io::DataBlockStream* StoreResolver::OpenStreamData(const ResolvedValue& stream) { return OpenImageData(stream, {}); }

data_io::DataBlockStream* StoreResolver::OpenImageData(const ResolvedValue& stream,
                                                      const data_io::ImageDecodeOptions& options) {
  // Every keeper this resolver hands out is a parsed object, and streams
  // are only ever the whole value of one.
  auto* object = static_cast<store::ParsedObject*>(stream.Keeper());
  if (object == nullptr || !IsStream(object->value)) RaiseBadData(Context());
  return store_.OpenStreamData(*object, true, options);
}

}  // namespace vn::pdf::document
