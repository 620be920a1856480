// The document's caches of display lists, one for pages and one for form
// XObjects: keyed by the page's or form's reference, a list is built on a
// miss (empty; it populates as it is replayed) and purged like every other
// cache when memory runs short.
#pragma once

#include "pdf/document/display_list.h"
#include "pdf/store/representation_cache.h"

namespace vn::pdf::document {

template <class List>
class DLRepresentationCache;

template <>
class DLRepresentationCache<PageDisplayList> final : public store::RepresentationCache<PageDisplayList> {
 public:
  DLRepresentationCache(AppContext& context, ObjectResolver& resolver)
      : RepresentationCache<PageDisplayList>(context), resolver_(resolver) {}

 protected:
  RefCounted* Create(const store::RepresentationCacheKey& key, uint32_t* size) override;
  uint32_t CurrentSize(const RefCounted& value, uint32_t) const override {
    return static_cast<const PageDisplayList&>(value).MemorySize();
  }

 private:
  ObjectResolver& resolver_;
};

template <>
class DLRepresentationCache<FormDisplayList> final : public store::RepresentationCache<FormDisplayList> {
 public:
  DLRepresentationCache(AppContext& context, ObjectResolver& resolver)
      : RepresentationCache<FormDisplayList>(context), resolver_(resolver) {}

  // The list of the form `form` invoked from `invoker`'s content (whose
  // resources the form falls back on).
  void GetForm(Ref<FormDisplayList>& out, const ObjectId& form, const content::ContentRecord& invoker);

 protected:
  RefCounted* Create(const store::RepresentationCacheKey& key, uint32_t* size) override;
  uint32_t CurrentSize(const RefCounted& value, uint32_t) const override {
    return static_cast<const FormDisplayList&>(value).MemorySize();
  }

 private:
  // What tells the lists of one form apart: a form without resources of its
  // own draws with its invoker's, so it has one list per resource dictionary
  // it falls back on, named by the dictionary's address (the list's record
  // keeps that dictionary alive while the entry lives). Null otherwise.
  const void* FallbackKey(const ObjectId& form, const content::ContentRecord& invoker);

  ObjectResolver& resolver_;
  const content::ContentRecord* invoker_ = nullptr;
};

using PageDLCache = DLRepresentationCache<PageDisplayList>;
using FormDLCache = DLRepresentationCache<FormDisplayList>;

}  // namespace vn::pdf::document
