#include "pdf/content/content_record.h"

#include "pdf/document/page_tree.h"
#include "runtime/error.h"

namespace vn::pdf::content {

using document::ResolvedValue;

FormXObjectContentRecord::FormXObjectContentRecord(document::ObjectResolver& resolver,
                                                   const ResolvedValue& form,
                                                   const ContentRecord& invoker)
    : resolver_(resolver), form_(form), resources_(resolver.Context()),
      fallback_(invoker.Resources()) {
  ResolveInPlace(resolver, form_);
  if (!document::IsStream(form_.Get())) RaiseBadData(resolver.Context());
  GetResolved(resolver, form_, "Resources", resources_);
  if (document::IsNull(resources_.Get())) resources_ = fallback_;
}

data_io::DataBlockStream* FormXObjectContentRecord::OpenContentStream() {
  return resolver_.OpenStreamData(form_);
}

FixedMatrix FormXObjectContentRecord::Matrix() const {
  AppContext& context = resolver_.Context();
  ResolvedValue matrix(context);
  GetResolved(resolver_, form_, "Matrix", matrix);
  if (document::IsNull(matrix.Get())) return IdentityMatrix();
  if (!document::IsArray(matrix.Get()) || document::ArrayLength(matrix.Get()) < 6) {
    RaiseBadData(context);
  }
  Fixed16_16 v[6];
  ResolvedValue element(context);
  for (uint32_t i = 0; i < 6; ++i) {
    element = matrix;
    element.SetChild(document::ArrayElement(matrix.Get(), i));
    ResolveInPlace(resolver_, element);
    if (!document::IsNumber(element.Get())) RaiseBadData(context);
    v[i] = document::NumberToFixed(element.Get());
  }
  return FixedMatrix{v[0], v[1], v[2], v[3], v[4], v[5]};
}

FixedRect FormXObjectContentRecord::BBox() const {
  ResolvedValue box(resolver_.Context());
  GetResolved(resolver_, form_, "BBox", box);
  return document::RectFromArray(resolver_, box);
}

}  // namespace vn::pdf::content
