#include "pdf/document/dl_representation_cache.h"

#include "pdf/document/page_content_record.h"
#include "runtime/error.h"

namespace vn::pdf::document {

RefCounted* DLRepresentationCache<PageDisplayList>::Create(const store::RepresentationCacheKey& key,
                                                           uint32_t* size) {
  Ref<content::ContentRecord> record(
      context_, New<PageContentRecord>(context_, resolver_, ObjectId{key.number, key.generation}));
  auto* list = New<PageDisplayList>(context_, context_, resolver_, record.get());
  *size = list->MemorySize();
  return list;
}

namespace {

void ForgetInvoker(void* invoker) { *static_cast<const content::ContentRecord**>(invoker) = nullptr; }

}  // namespace

const void* DLRepresentationCache<FormDisplayList>::FallbackKey(const ObjectId& form,
                                                               const content::ContentRecord& invoker) {
  ResolvedValue object(context_);
  resolver_.GetIndirectObject(form, object);
  if (!IsDictionary(object.Get())) return nullptr;  // not a form: Create says so
  ResolvedValue own(context_);
  GetResolved(resolver_, object, "Resources", own);
  if (!IsNull(own.Get())) return nullptr;
  const Value& fallback = invoker.Resources().Get();
  return IsDictionary(fallback) ? fallback.container : nullptr;
}

void DLRepresentationCache<FormDisplayList>::GetForm(Ref<FormDisplayList>& out, const ObjectId& form,
                                                     const content::ContentRecord& invoker) {
  const void* fallback = FallbackKey(form, invoker);
  invoker_ = &invoker;
  LocalGuard forget(context_, &ForgetInvoker, &invoker_);
  Get(out, store::RepresentationCacheKey{form.number, form.generation, fallback});
  forget.Dismiss();
  invoker_ = nullptr;
}

RefCounted* DLRepresentationCache<FormDisplayList>::Create(const store::RepresentationCacheKey& key,
                                                           uint32_t* size) {
  if (invoker_ == nullptr) RaiseBadData(context_);
  ResolvedValue form(context_);
  resolver_.GetIndirectObject(ObjectId{key.number, key.generation}, form);
  Ref<content::ContentRecord> record(context_,
                                     New<content::FormXObjectContentRecord>(context_, resolver_, form, *invoker_));
  auto* list = New<FormDisplayList>(context_, context_, resolver_, record.get());
  *size = list->MemorySize();
  return list;
}

}  // namespace vn::pdf::document
