// The content record of a page: its "Contents" and its inherited "Resources".
#pragma once

#include "pdf/content/content_record.h"

namespace vn::pdf::document {

class PageContentRecord final : public content::ContentRecord {
 public:
  // Raises kBadData when the page object is not a dictionary.
  PageContentRecord(ObjectResolver& resolver, const ObjectId& page);

  data_io::DataBlockStream* OpenContentStream() override;
  const ResolvedValue& Resources() const override { return resources_; }
  const ResolvedValue& FallbackResources() const override { return resources_; }
  uint32_t RecordSize() const override { return sizeof(*this); }

  const ObjectId& PageId() const { return id_; }
  const ResolvedValue& Page() const { return page_; }

 private:
  ObjectResolver& resolver_;
  ObjectId id_;
  ResolvedValue page_;
  ResolvedValue resources_;
};

}  // namespace vn::pdf::document
