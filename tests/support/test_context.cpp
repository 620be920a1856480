#include "support/test_context.h"

namespace vn::test {

BudgetLimits TinyLimits(uint32_t soft, uint32_t hard) {
  BudgetLimits limits;
  limits.softLimit = soft;
  limits.hardLimit = hard;
  limits.minimumPurge = 0;
  return limits;
}

}  // namespace vn::test
