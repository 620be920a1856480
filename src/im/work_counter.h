// The imaging core's work counter: long loops (rasterizing, stroking,
// dashing) charge units of work; past a million the counter restarts and the
// engine thread yields, so a hostile path cannot freeze the thread, and a
// cancellation surfaces there as kCancelled.
#pragma once

#include <cstdint>

#include "runtime/yield_points.h"

namespace vn::im {

inline constexpr uint32_t kWorkBeforeYield = 1000000;

class WorkCounter {
 public:
  explicit WorkCounter(AppContext& context) : context_(context) {}
  void Charge(uint32_t units) {
    units_ += units;
    if (units_ > kWorkBeforeYield) {
      units_ = 0;
      YieldPoint(context_);
    }
  }
  AppContext& Context() const { return context_; }

 private:
  AppContext& context_;
  uint32_t units_ = 0;
};

}  // namespace vn::im
