#include "support/budget_squeeze.h"

namespace vn::test {

BudgetSqueeze::BudgetSqueeze(AppContext& context, uint64_t failAt) : context_(context), failAt_(failAt) {
  MemoryBudget& budget = context.Budget();
  limits_.softLimit = budget.SoftLimit();
  limits_.minimumPurge = budget.MinimumPurge();
  limits_.hardLimit = budget.HardLimit();
  budget.SetRequestHook(&OnRequest, this);
}

void BudgetSqueeze::Lift() {
  if (!hooked_) return;
  hooked_ = false;
  context_.Budget().SetRequestHook(nullptr, nullptr);
  context_.Budget().SetLimits(limits_);
}

void BudgetSqueeze::OnRequest(void* self, MemoryBudget& budget, uint32_t) {
  auto* squeeze = static_cast<BudgetSqueeze*>(self);
  ++squeeze->requests_;
  if (squeeze->failAt_ == 0 || squeeze->requests_ < squeeze->failAt_) return;
  BudgetLimits limits = squeeze->limits_;
  if (squeeze->requests_ == squeeze->failAt_) {
    // Below the soft limit nothing is purged: this request fails.
    limits.hardLimit = budget.BytesInUse();
  } else {
    limits.hardLimit = budget.HardLimit();
    limits.softLimit = limits.hardLimit;
  }
  budget.SetLimits(limits);
}

}  // namespace vn::test
