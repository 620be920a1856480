#include "pdf/document/page_content_record.h"

#include "pdf/document/page_contents.h"
#include "pdf/document/page_tree.h"
#include "runtime/error.h"

namespace vn::pdf::document {

PageContentRecord::PageContentRecord(ObjectResolver& resolver, const ObjectId& page)
    : resolver_(resolver), id_(page), page_(resolver.Context()), resources_(resolver.Context()) {
  resolver.GetIndirectObject(page, page_);
  ResolveInPlace(resolver, page_);
  if (!IsDictionary(page_.Get())) RaiseBadData(resolver.Context());
  GetInheritedAttribute(resolver, page_, "Resources", resources_);
}

data_io::DataBlockStream* PageContentRecord::OpenContentStream() {
  return OpenPageContents(resolver_, page_);
}

}  // namespace vn::pdf::document
