// Helpers shared by the engine tests.
#pragma once

#include <cstdint>

#include "runtime/app_context.h"

namespace vn::test {

// Runs `body` inside a try frame and returns the engine error code it raised,
// or -1 when it returned normally.
template <class Body>
int32_t RaisedCode(AppContext& context, Body&& body) {
  TryFrame frame;
  volatile int32_t code = -1;
  if (VN_TRY(context, frame)) {
    body();
  } else {
    code = Catch(frame).code;
  }
  EndTry(frame);
  return code;
}

// Budget limits far from the real ones, for tests that need pressure.
BudgetLimits TinyLimits(uint32_t soft, uint32_t hard);

}  // namespace vn::test
