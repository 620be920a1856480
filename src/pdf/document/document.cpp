#include "pdf/document/document.h"

#include "pdf/document/page_tree.h"

namespace vn::pdf::document {

int32_t Document::PageCount() { return GetPageCount(resolver_); }

void Document::GetPageDisplayList(Ref<PageDisplayList>& out, int32_t index) {
  ObjectId page = GetPageReference(resolver_, index);
  pages_.Get(out, store::RepresentationCacheKey{page.number, page.generation, nullptr});
}

void Document::GetFormDisplayList(Ref<FormDisplayList>& out, const ObjectId& form,
                                  const content::ContentRecord& invoker) {
  forms_.GetForm(out, form, invoker);
}

}  // namespace vn::pdf::document
