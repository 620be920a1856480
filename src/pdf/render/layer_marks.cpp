// Marked content in optional-content layers: "/OC /name BDC" ... "EMC".
// While the outermost hidden sequence is open nothing is painted; state,
// clips and text positions still change as the content says.
#include "pdf/render/render_consumer.h"

namespace vn::pdf::render {

void RenderConsumer::BeginOptionalContent(const content::DLName& name) {
  ++markDepth_;
  if (hiddenFrom_ != 0 || Record() == nullptr) return;
  if (!document_.Optional().ShowsLayer(Record()->Resources(), name.bytes, name.length)) hiddenFrom_ = markDepth_;
}

void RenderConsumer::EndMarkedContent() {
  if (markDepth_ == 0) return;  // an EMC without its BMC/BDC
  if (markDepth_ == hiddenFrom_) hiddenFrom_ = 0;
  --markDepth_;
}

}  // namespace vn::pdf::render
