// Squeezing the memory budget at a chosen request, in the style of MuPDF's
// Memento: request N (an allocation or a charge, counted from 1) is refused
// outright, by the hard limit falling to the bytes in use at that moment;
// from then on the soft limit stays there too, so every later request that
// would pass it purges the caches first and fails only if that does not
// make room, as under real pressure.
#pragma once

#include <cstdint>

#include "runtime/app_context.h"

namespace vn::test {

class BudgetSqueeze {
 public:
  // `failAt` 0 only counts the requests.
  BudgetSqueeze(AppContext& context, uint64_t failAt);
  ~BudgetSqueeze() { Lift(); }
  BudgetSqueeze(const BudgetSqueeze&) = delete;
  BudgetSqueeze& operator=(const BudgetSqueeze&) = delete;

  // The budget's own limits again, and no more counting.
  void Lift();
  uint64_t Requests() const { return requests_; }
  // Whether request `failAt` came.
  bool Squeezed() const { return failAt_ != 0 && requests_ >= failAt_; }

 private:
  static void OnRequest(void* self, MemoryBudget& budget, uint32_t bytes);

  AppContext& context_;
  BudgetLimits limits_;
  uint64_t failAt_;
  uint64_t requests_ = 0;
  bool hooked_ = true;
};

}  // namespace vn::test
