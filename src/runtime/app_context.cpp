#include "runtime/app_context.h"

namespace vn {

AppContext::AppContext(const BudgetLimits& limits)
    : caches_(*this), budget_(*this, caches_, limits), errors_(&mainErrors_), host_(&defaultHost_) {}

AppContext::~AppContext() = default;

}  // namespace vn
