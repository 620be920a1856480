// The document's fonts: made from their dictionaries on first use, kept
// with their footprints and purged like every other cache.
#pragma once

#include "pdf/store/representation_cache.h"
#include "pdf/text/pdf_font.h"

namespace vn::pdf::text {

class PDFFontCache final : public store::RepresentationCache<PDFFont> {
 public:
  PDFFontCache(AppContext& context, document::ObjectResolver& resolver)
      : RepresentationCache<PDFFont>(context), resolver_(resolver) {}

  // The font of the dictionary `font`, whose reference is `id` (number -1
  // for a dictionary written in place, which is made anew every time).
  void GetFont(Ref<PDFFont>& out, const document::ObjectId& id, const document::ResolvedValue& font);

 protected:
  RefCounted* Create(const store::RepresentationCacheKey& key, uint32_t* size) override;
  uint32_t CurrentSize(const RefCounted& value, uint32_t) const override {
    return static_cast<const PDFFont&>(value).Footprint();
  }

 private:
  document::ObjectResolver& resolver_;
};

}  // namespace vn::pdf::text
