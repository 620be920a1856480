#include "runtime/ref_counted.h"

#include "runtime/memory_budget.h"

namespace vn {

void RefCounted::Release(AppContext& context) {
  if (--refCount_ != 0) return;
  this->~RefCounted();
  Free(context, this);
}

}  // namespace vn
