// Shared by the fuzz targets: a context whose budget is the device's (or a
// given one), and guarded runs that absorb engine errors (bad input must end
// in one, never in a crash, a hang or a budget breach).
#pragma once

#include <cstdint>
#include <cstdlib>

#include "data_io/data_store.h"
#include "runtime/app_context.h"

namespace vn::fuzz {

// Runs `body` under its own frame; returns the code it raised, -1 when none.
template <class Body>
int32_t Guarded(AppContext& context, Body&& body) {
  volatile int32_t code = -1;
  TryFrame frame;
  if (VN_TRY(context, frame)) {
    body();
  } else {
    code = Catch(frame).code;
  }
  EndTry(frame);
  return code;
}

// The budget of the targets that read everything in blocks and keep
// nothing: a 16 MB hard limit, so huge declared sizes show.
inline BudgetLimits StrictLimits() {
  BudgetLimits limits;
  limits.softLimit = 14u << 20;
  limits.minimumPurge = 2u << 20;
  limits.hardLimit = 16u << 20;
  return limits;
}

// A fresh context for one input. Whatever happened, everything the run took
// must be back once the caches are emptied. With `outOfMemoryIsFault`, an
// input that exhausts the budget is a fault too: the targets that set it
// read every stream in blocks and keep nothing, so only trusting a declared
// size can need that much.
template <class Body>
void RunGuarded(Body&& body, const BudgetLimits& limits = BudgetLimits(), bool outOfMemoryIsFault = false) {
  AppContext context(limits);
  uint32_t before = context.Budget().BytesInUse();
  int32_t code = Guarded(context, [&] { body(context); });
  context.Caches().LowMemory();
  if (context.Budget().BytesInUse() != before) std::abort();
  if (context.Budget().PeakBytes() > limits.hardLimit) std::abort();
  if (outOfMemoryIsFault && code == kOutOfMemory) std::abort();
}

// Reads `stream` to its end or until `cap` bytes; returns the bytes read.
inline uint64_t Drain(AppContext& context, data_io::DataBlockStream& stream, uint64_t cap) {
  data_io::DataBlockRef block(context);
  uint64_t total = 0;
  while (total < cap) {
    stream.GetNextBlock(block);
    if (block.Empty()) break;
    total += block.Length();
  }
  return total;
}

}  // namespace vn::fuzz
