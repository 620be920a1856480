// Content records: what hands the content interpreter its bytes and the
// resource dictionary that names inside the content are looked up in.
// Reference counted: made with New, held with Ref.
#pragma once

#include <cstdint>

#include "data_io/data_store.h"
#include "pdf/document/object_resolver.h"
#include "runtime/fixed_matrix.h"
#include "runtime/ref_counted.h"

namespace vn::pdf::content {

class ContentRecord : public RefCounted {
 public:
  ~ContentRecord() override = default;
  // The decoded content, built with New; the caller owns it.
  virtual data_io::DataBlockStream* OpenContentStream() = 0;
  // Where names in the content are looked up (may be null).
  virtual const document::ResolvedValue& Resources() const = 0;
  // The resources of the enclosing content.
  virtual const document::ResolvedValue& FallbackResources() const = 0;
  virtual uint32_t RecordSize() const = 0;
};

// A form XObject invoked from `invoker`'s content. Without its own
// "Resources" the form uses the invoker's.
class FormXObjectContentRecord final : public ContentRecord {
 public:
  // Raises kBadData when `form` is not a stream.
  FormXObjectContentRecord(document::ObjectResolver& resolver, const document::ResolvedValue& form,
                           const ContentRecord& invoker);

  data_io::DataBlockStream* OpenContentStream() override;
  const document::ResolvedValue& Resources() const override { return resources_; }
  const document::ResolvedValue& FallbackResources() const override { return fallback_; }
  uint32_t RecordSize() const override { return sizeof(*this); }

  const document::ResolvedValue& Form() const { return form_; }
  // "Matrix" (identity when absent) and the required "BBox".
  FixedMatrix Matrix() const;
  FixedRect BBox() const;

 private:
  document::ObjectResolver& resolver_;
  document::ResolvedValue form_;
  document::ResolvedValue resources_;
  document::ResolvedValue fallback_;
};

}  // namespace vn::pdf::content
