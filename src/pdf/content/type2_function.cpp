// Exponential interpolation functions: C0 + x^N (C1 - C0).
#include "pdf/content/function_types.h"
#include "runtime/engine_new.h"
#include "runtime/error.h"

namespace vn::pdf::content {

using document::ResolvedValue;

Type2Function* Type2Function::Create(document::ObjectResolver& resolver, const ResolvedValue& dict) {
  AppContext& context = resolver.Context();
  Fixed16_16 c0[kMaxFunctionOutputs], c1[kMaxFunctionOutputs];
  uint32_t n0 = ReadNumbers(resolver, dict, "C0", c0, kMaxFunctionOutputs);
  uint32_t n1 = ReadNumbers(resolver, dict, "C1", c1, kMaxFunctionOutputs);
  if (n0 == 0) {
    c0[0] = 0;
    n0 = 1;
  }
  if (n1 == 0) {
    c1[0] = kFixedOne;
    n1 = 1;
  }
  if (n0 != n1) RaiseBadData(context);
  Owned<Type2Function> function(context, New<Type2Function>(context, context, n0));
  Type2Function& f = *function;
  FunctionFactory::ReadDomainAndRange(resolver, dict, f, false);
  if (f.inputs_ != 1) RaiseBadData(context);
  if (f.range_ != nullptr && f.outputs_ != n0) RaiseBadData(context);
  f.outputs_ = n0;
  f.c0_ = f.pool_.AllocateArray<Fixed16_16>(n0);
  f.difference_ = f.pool_.AllocateArray<Fixed16_16>(n0);
  for (uint32_t i = 0; i < n0; ++i) {
    f.c0_[i] = c0[i];
    f.difference_[i] = FixedSubSat(c1[i], c0[i]);
  }
  ResolvedValue exponent(context);
  document::GetResolved(resolver, dict, "N", exponent);
  if (!document::IsNumber(exponent.Get())) RaiseBadData(context);
  f.exponent_ = document::NumberToFixed(exponent.Get());
  // Integer exponents are evaluated exactly by repeated multiplication.
  f.exponentIsInteger_ = (f.exponent_ & 0xFFFF) == 0 && f.exponent_ >= 0 && f.exponent_ <= IntToFixed(32);
  f.integerExponent_ = FixedFloor(f.exponent_);
  return function.Release();
}

void Type2Function::Evaluate(const Function& self, const Fixed16_16* in, Fixed16_16* out) {
  const auto& f = static_cast<const Type2Function&>(self);
  Fixed16_16 x = Clamp(in[0], f.domain_[0], f.domain_[1]);
  Fixed16_16 power;
  if (f.exponentIsInteger_) {
    int64_t p = kFixedOne;
    for (int32_t i = 0; i < f.integerExponent_; ++i) {
      p = (p * x + 0x8000) >> 16;
      if (p > kFixedMax || p < kFixedMin) {
        p = FixedSaturate(p);
        break;
      }
    }
    power = static_cast<Fixed16_16>(p);
  } else {
    power = FixedPow(x, f.exponent_);
  }
  for (uint32_t i = 0; i < f.outputs_; ++i) {
    int64_t v = f.c0_[i] + ((static_cast<int64_t>(power) * f.difference_[i] + 0x8000) >> 16);
    out[i] = FixedSaturate(v);
  }
  f.ClampToRange(out);
}

}  // namespace vn::pdf::content
