#include "pdf/text/font_cache.h"

namespace vn::pdf::text {

void PDFFontCache::GetFont(Ref<PDFFont>& out, const document::ObjectId& id, const document::ResolvedValue& font) {
  if (id.number < 0) {
    out.Set(MakeFont(resolver_, font));
    return;
  }
  Get(out, store::RepresentationCacheKey{id.number, id.generation, nullptr});
}

RefCounted* PDFFontCache::Create(const store::RepresentationCacheKey& key, uint32_t* size) {
  document::ResolvedValue font(context_);
  resolver_.GetIndirectObject(document::ObjectId{key.number, key.generation}, font);
  PDFFont* made = MakeFont(resolver_, font);
  *size = made->Footprint();
  return made;
}

}  // namespace vn::pdf::text
