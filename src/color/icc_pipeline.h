// A conversion pipeline: the steps from a source profile's data to the
// connection space and on to a destination profile's data, applied in
// order to one vector of channels.
#pragma once

#include <cstdint>

#include "color/icc_steps.h"
#include "runtime/ref_counted.h"

namespace vn::color::color_detail {

class ICCPipeline final : public RefCounted {
 public:
  static constexpr uint32_t kMaxSteps = 40;

  explicit ICCPipeline(AppContext& context) : context_(context) {}
  ~ICCPipeline() override;

  // Takes a reference to `step` (identity steps are dropped). Raises
  // kUnsupported when the pipeline is full (the step is then released).
  void Append(ICCEngineStep* step);
  void AppendAll(const ICCPipeline& other);
  void Apply(Fixed16_16* channels) const {
    for (uint32_t i = 0; i < count_; ++i) steps_[i]->Apply(channels);
  }
  uint32_t StepCount() const { return count_; }
  const ICCEngineStep& Step(uint32_t i) const { return *steps_[i]; }
  uint32_t MemorySize() const;

 private:
  AppContext& context_;
  ICCEngineStep* steps_[kMaxSteps];
  uint32_t count_ = 0;
};

}  // namespace vn::color::color_detail
