#include "color/icc_pipeline.h"

#include "runtime/error.h"

namespace vn::color::color_detail {

ICCPipeline::~ICCPipeline() {
  for (uint32_t i = 0; i < count_; ++i) steps_[i]->Release(context_);
}

void ICCPipeline::Append(ICCEngineStep* step) {
  step->AddRef();
  if (step->IsIdentity()) {
    step->Release(context_);
    return;
  }
  if (count_ == kMaxSteps) {
    step->Release(context_);
    RaiseUnsupported(context_);
  }
  steps_[count_++] = step;
}

void ICCPipeline::AppendAll(const ICCPipeline& other) {
  for (uint32_t i = 0; i < other.count_; ++i) Append(other.steps_[i]);
}

uint32_t ICCPipeline::MemorySize() const {
  uint32_t total = sizeof(*this);
  for (uint32_t i = 0; i < count_; ++i) total += steps_[i]->MemorySize();
  return total;
}

}  // namespace vn::color::color_detail
