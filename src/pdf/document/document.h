// An open document as the content layer sees it: the object store, the
// resolver over it, the two caches of display lists (pages and forms), the
// cache of fonts and the optional content its default view hides.
// Holds Unwindables: make it with New or declare it as Scoped.
#pragma once

#include "pdf/document/dl_representation_cache.h"
#include "pdf/document/optional_content.h"
#include "pdf/document/store_resolver.h"
#include "pdf/store/document_store.h"
#include "pdf/text/font_cache.h"

namespace vn::pdf::document {

class Document {
 public:
  explicit Document(store::DocumentStore& store)
      : store_(store), resolver_(store), pages_(store.Context(), resolver_), forms_(store.Context(), resolver_),
        fonts_(store.Context(), resolver_), optional_(store.Context(), resolver_) {}
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  AppContext& Context() const { return store_.Context(); }
  store::DocumentStore& Store() const { return store_; }
  ObjectResolver& Resolver() { return resolver_; }
  int32_t PageCount();

  // The display list of page `index` (from 0), built on demand.
  void GetPageDisplayList(Ref<PageDisplayList>& out, int32_t index);
  // The display list of the form `form` invoked from `invoker`.
  void GetFormDisplayList(Ref<FormDisplayList>& out, const ObjectId& form, const content::ContentRecord& invoker);

  PageDLCache& PageLists() { return pages_; }
  FormDLCache& FormLists() { return forms_; }
  text::PDFFontCache& Fonts() { return fonts_; }
  OptionalContent& Optional() { return optional_; }

 private:
  store::DocumentStore& store_;
  StoreResolver resolver_;
  PageDLCache pages_;
  FormDLCache forms_;
  text::PDFFontCache fonts_;
  OptionalContent optional_;
};

}  // namespace vn::pdf::document
