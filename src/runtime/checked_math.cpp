#include "runtime/checked_math.h"

#include "runtime/error.h"

namespace vn {

uint32_t RoundUp4(AppContext& context, uint32_t n) {
  if (n >= 0xFFFFFFFCu) RaiseOverflow(context);
  return (n + 3) & ~3u;
}

uint32_t CheckedMultiply(AppContext& context, uint32_t a, uint32_t b) {
  if (a == 0) return 0;
  if (0xFFFFFFFFu / a < b) RaiseOverflow(context);
  return a * b;
}

uint32_t CheckedAdd(AppContext& context, uint32_t a, uint32_t b) {
  if (a > 0xFFFFFFFFu - b) RaiseOverflow(context);
  return a + b;
}

}  // namespace vn
