// PDF functions (types 0, 2, 3 and 4, and the identity that stands for the
// tint transform "Identity"): parsed once into function objects, evaluated
// in 16.16 or on 8-bit samples through a dispatcher chosen by type.
//
// Evaluation never allocates and never raises, so shadings and colour
// converters may call it per pixel. A calculator program that fails at run
// time (stack overflow or underflow, a wrong operand type) gives outputs of
// 0, clamped to the range.
#pragma once

#include <cstdint>

#include "pdf/document/object_resolver.h"
#include "runtime/arena.h"
#include "runtime/fixed16_16.h"
#include "runtime/ref_counted.h"

namespace vn::pdf::content {

// The type number of the identity function, which no PDF function uses.
inline constexpr int32_t kIdentityFunctionType = -3787;
// Stitching functions nest at most this deep.
inline constexpr uint32_t kMaxFunctionDepth = 10;
// Inputs and outputs of any function (DeviceN has at most 32 colorants).
inline constexpr uint32_t kMaxFunctionInputs = 32;
inline constexpr uint32_t kMaxFunctionOutputs = 32;

class Function : public RefCounted {
 public:
  ~Function() override = default;

  int32_t Type() const { return type_; }
  uint32_t Inputs() const { return inputs_; }
  uint32_t Outputs() const { return outputs_; }
  // Pairs of 16.16 numbers: m for the domain, n for the range (null when
  // the function has no range).
  const Fixed16_16* Domain() const { return domain_; }
  const Fixed16_16* Range() const { return range_; }
  // Bytes this function holds, for cache accounting.
  uint32_t MemorySize() const { return static_cast<uint32_t>(sizeof(*this)) + pool_.BytesReserved(); }

 protected:
  Function(AppContext& context, int32_t type, uint32_t inputs, uint32_t outputs);
  // Clamps each output to its range pair, when there is a range.
  void ClampToRange(Fixed16_16* out) const;

  Arena pool_;  // everything the function owns, in 4 KB blocks
  int32_t type_;
  uint32_t inputs_;
  uint32_t outputs_;
  Fixed16_16* domain_ = nullptr;
  Fixed16_16* range_ = nullptr;

  friend class FunctionFactory;
};

// A function plus its evaluation routines. Cheap to copy; the function
// must outlive it.
class FunctionDispatcher {
 public:
  explicit FunctionDispatcher(const Function& function);

  const Function& Get() const { return *function_; }
  // m inputs in, n outputs out (16.16).
  void Evaluate(const Fixed16_16* in, Fixed16_16* out) const { fixed_(*function_, in, out); }
  // One byte per input from `in` (stepping `inStride` bytes), n bytes to
  // `out` (stepping `outStride`). Inputs are 0..255 for 0..1.0; outputs
  // are clamped to 0..1.0 first.
  void EvaluateBytes(const uint8_t* in, int32_t inStride, uint8_t* out, int32_t outStride) const {
    bytes_(*function_, in, inStride, out, outStride);
  }

  using FixedForm = void (*)(const Function&, const Fixed16_16*, Fixed16_16*);
  using ByteForm = void (*)(const Function&, const uint8_t*, int32_t, uint8_t*, int32_t);

 private:
  const Function* function_;
  FixedForm fixed_;
  ByteForm bytes_;
};

// Builds the function of a dictionary or stream at nesting depth `depth`
// (0 at the top). Raises kBadData for a malformed function, kLimitExceeded
// when its tables or program exceed the engine's bounds, kOutOfMemory when
// the budget cannot hold them. The result has no reference yet.
Function* CreateFunction(document::ObjectResolver& resolver, const document::ResolvedValue& function,
                         uint32_t depth = 0);

// The identity on `count` values (inputs and outputs), domain 0..1.
Function* CreateIdentityFunction(AppContext& context, uint32_t count);

}  // namespace vn::pdf::content
