// The function types behind function.h: their objects, creation and
// evaluation forms. Internal to the function code.
#pragma once

#include "pdf/content/function.h"
#include "pdf/content/type4_program.h"

namespace vn::pdf::content {

// Reads the common entries and builds functions of every type.
class FunctionFactory {
 public:
  static Function* Create(document::ObjectResolver& resolver, const document::ResolvedValue& function,
                          uint32_t depth);

  // "Domain" and "Range" into the function's pool. `rangeRequired` for
  // sampled functions; `inputs` 0 when "Domain" gives the count.
  static void ReadDomainAndRange(document::ObjectResolver& resolver, const document::ResolvedValue& dict,
                                 Function& function, bool rangeRequired);
};

// Numbers of the array `key` of `dict` (references followed). Returns the
// count (0 when absent); raises kBadData for a non-array or a non-number,
// kLimitExceeded past `capacity`.
uint32_t ReadNumbers(document::ObjectResolver& resolver, const document::ResolvedValue& dict, const char* key,
                     Fixed16_16* out, uint32_t capacity);
// The number `key` of `dict` (references followed), or `fallback` when absent.
Fixed16_16 ReadNumber(document::ObjectResolver& resolver, const document::ResolvedValue& dict, const char* key,
                      Fixed16_16 fallback);

// Maps x linearly from [x0, x1] onto [y0, y1]; y0 when the interval is empty.
Fixed16_16 Interpolate(Fixed16_16 x, Fixed16_16 x0, Fixed16_16 x1, Fixed16_16 y0, Fixed16_16 y1);

inline Fixed16_16 Clamp(Fixed16_16 v, Fixed16_16 low, Fixed16_16 high) {
  return v < low ? low : (v > high ? high : v);
}

// Sampled functions. Samples are 16.16 values in [0, 1.0].
class Type0Function final : public Function {
 public:
  static Type0Function* Create(document::ObjectResolver& resolver, const document::ResolvedValue& stream,
                               uint32_t depth);
  static void Evaluate(const Function& self, const Fixed16_16* in, Fixed16_16* out);

  Type0Function(AppContext& context, uint32_t inputs, uint32_t outputs) : Function(context, 0, inputs, outputs) {}

 private:
  void ReadSamples(document::ObjectResolver& resolver, const document::ResolvedValue& stream, uint32_t bits);

  uint32_t* sizes_ = nullptr;      // per input
  uint32_t* strides_ = nullptr;    // per input, in samples (outputs per grid point)
  Fixed16_16* encode_ = nullptr;   // 2 per input
  Fixed16_16* decode_ = nullptr;   // 2 per output
  Fixed16_16* samples_ = nullptr;  // product(sizes) * outputs
  // Evaluation scratch (evaluation is never re-entered for one function).
  Fixed16_16* partial_ = nullptr;  // (inputs + 1) * outputs
};

// Exponential interpolation: C0 + x^N (C1 - C0).
class Type2Function final : public Function {
 public:
  static Type2Function* Create(document::ObjectResolver& resolver, const document::ResolvedValue& dict);
  static void Evaluate(const Function& self, const Fixed16_16* in, Fixed16_16* out);

  explicit Type2Function(AppContext& context, uint32_t outputs) : Function(context, 2, 1, outputs) {}

 private:
  Fixed16_16* c0_ = nullptr;
  Fixed16_16* difference_ = nullptr;  // C1 - C0
  Fixed16_16 exponent_ = kFixedOne;
  int32_t integerExponent_ = 1;  // exact powers for integer exponents up to 32
  bool exponentIsInteger_ = true;
};

// Stitching: one of k sub-functions chosen by the bounds.
class Type3Function final : public Function {
 public:
  static Type3Function* Create(document::ObjectResolver& resolver, const document::ResolvedValue& dict,
                               uint32_t depth);
  static void Evaluate(const Function& self, const Fixed16_16* in, Fixed16_16* out);
  static void EvaluateBytes(const Function& self, const uint8_t* in, int32_t inStride, uint8_t* out,
                            int32_t outStride);

  explicit Type3Function(AppContext& context) : Function(context, 3, 1, 0) {}
  ~Type3Function() override;

 private:
  // The sub-function for x and x mapped onto its encode pair.
  uint32_t Select(Fixed16_16 x, Fixed16_16* encoded) const;

  Function** functions_ = nullptr;  // k, each holding a reference
  uint32_t count_ = 0;
  Fixed16_16* bounds_ = nullptr;  // k - 1
  Fixed16_16* encode_ = nullptr;  // 2k
};

// PostScript calculator.
class Type4Function final : public Function {
 public:
  static Type4Function* Create(document::ObjectResolver& resolver, const document::ResolvedValue& stream);
  static void Evaluate(const Function& self, const Fixed16_16* in, Fixed16_16* out);

  Type4Function(AppContext& context, uint32_t inputs, uint32_t outputs) : Function(context, 4, inputs, outputs) {}

 private:
  type4_func_detail::Program program_;
};

class IdentityFunction final : public Function {
 public:
  IdentityFunction(AppContext& context, uint32_t count);
  static void Evaluate(const Function& self, const Fixed16_16* in, Fixed16_16* out);
};

}  // namespace vn::pdf::content
