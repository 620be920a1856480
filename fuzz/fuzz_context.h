// Shared by the fuzz targets: a context whose budget is the device's, and a
// guarded run that absorbs engine errors (bad input must end in one, never
// in a crash, a hang or a budget breach).
#pragma once

#include <cstdint>
#include <cstdlib>

#include "runtime/app_context.h"

namespace vn::fuzz {

template <class Body>
void RunGuarded(Body&& body) {
  AppContext context;
  uint32_t before = context.Budget().BytesInUse();
  TryFrame frame;
  if (VN_TRY(context, frame)) {
    body(context);
  } else {
    Catch(frame);
  }
  EndTry(frame);
  context.Caches().LowMemory();
  // Whatever happened, everything the run took must be back.
  if (context.Budget().BytesInUse() != before) std::abort();
}

}  // namespace vn::fuzz
