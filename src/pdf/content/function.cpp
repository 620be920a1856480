// Function objects: the entries every type shares, creation by type, the
// identity, and the evaluation dispatcher.
#include "pdf/content/function.h"

#include "pdf/content/function_types.h"
#include "runtime/engine_new.h"
#include "runtime/error.h"
#include "runtime/yield_points.h"

namespace vn::pdf::content {

using document::ResolvedValue;

Function::Function(AppContext& context, int32_t type, uint32_t inputs, uint32_t outputs)
    : pool_(context, 4096, 1024), type_(type), inputs_(inputs), outputs_(outputs) {}

void Function::ClampToRange(Fixed16_16* out) const {
  if (range_ == nullptr) return;
  for (uint32_t i = 0; i < outputs_; ++i) out[i] = Clamp(out[i], range_[2 * i], range_[2 * i + 1]);
}

uint32_t ReadNumbers(document::ObjectResolver& resolver, const ResolvedValue& dict, const char* key,
                     Fixed16_16* out, uint32_t capacity) {
  const uint32_t count = document::GetNumbers(resolver, dict, key, out, capacity);
  if (count > capacity) RaiseCode(resolver.Context(), kLimitExceeded);
  return count;
}

Fixed16_16 ReadNumber(document::ObjectResolver& resolver, const ResolvedValue& dict, const char* key,
                      Fixed16_16 fallback) {
  ResolvedValue value(resolver.Context());
  document::GetResolved(resolver, dict, key, value);
  if (value.Get().IsNull()) return fallback;
  if (!document::IsNumber(value.Get())) RaiseBadData(resolver.Context());
  return document::NumberToFixed(value.Get());
}

Fixed16_16 Interpolate(Fixed16_16 x, Fixed16_16 x0, Fixed16_16 x1, Fixed16_16 y0, Fixed16_16 y1) {
  int64_t dx = static_cast<int64_t>(x1) - x0;
  if (dx == 0) return y0;
  int64_t v = y0 + (static_cast<int64_t>(x) - x0) * (static_cast<int64_t>(y1) - y0) / dx;
  return FixedSaturate(v);
}

void FunctionFactory::ReadDomainAndRange(document::ObjectResolver& resolver, const ResolvedValue& dict,
                                         Function& function, bool rangeRequired) {
  AppContext& context = resolver.Context();
  Fixed16_16 pairs[2 * kMaxFunctionOutputs];
  uint32_t count = ReadNumbers(resolver, dict, "Domain", pairs, 2 * kMaxFunctionInputs);
  if (count == 0 || count % 2 != 0) RaiseBadData(context);
  if (function.inputs_ != 0 && function.inputs_ != count / 2) RaiseBadData(context);
  function.inputs_ = count / 2;
  function.domain_ = function.pool_.AllocateArray<Fixed16_16>(count);
  for (uint32_t i = 0; i < count; ++i) function.domain_[i] = pairs[i];
  for (uint32_t i = 0; i < count; i += 2) {
    if (pairs[i + 1] < pairs[i]) RaiseBadData(context);
  }
  count = ReadNumbers(resolver, dict, "Range", pairs, 2 * kMaxFunctionOutputs);
  if (count % 2 != 0 || (count == 0 && rangeRequired)) RaiseBadData(context);
  if (count == 0) return;
  for (uint32_t i = 0; i < count; i += 2) {
    if (pairs[i + 1] < pairs[i]) RaiseBadData(context);
  }
  function.outputs_ = count / 2;
  function.range_ = function.pool_.AllocateArray<Fixed16_16>(count);
  for (uint32_t i = 0; i < count; ++i) function.range_[i] = pairs[i];
}

Function* FunctionFactory::Create(document::ObjectResolver& resolver, const ResolvedValue& function,
                                  uint32_t depth) {
  AppContext& context = resolver.Context();
  if (depth > kMaxFunctionDepth) RaiseBadData(context);
  StackCheck(context);
  if (!document::IsDictionary(function.Get())) RaiseBadData(context);
  ResolvedValue type(context);
  document::GetResolved(resolver, function, "FunctionType", type);
  if (!document::IsInteger(type.Get())) RaiseBadData(context);
  switch (document::IntegerOf(type.Get())) {
    case 0: return Type0Function::Create(resolver, function, depth);
    case 2: return Type2Function::Create(resolver, function);
    case 3: return Type3Function::Create(resolver, function, depth);
    case 4: return Type4Function::Create(resolver, function);
    default: RaiseBadData(context);
  }
}

Function* CreateFunction(document::ObjectResolver& resolver, const ResolvedValue& function, uint32_t depth) {
  return FunctionFactory::Create(resolver, function, depth);
}

IdentityFunction::IdentityFunction(AppContext& context, uint32_t count)
    : Function(context, kIdentityFunctionType, count, count) {
  domain_ = pool_.AllocateArray<Fixed16_16>(2 * count);
  for (uint32_t i = 0; i < count; ++i) {
    domain_[2 * i] = 0;
    domain_[2 * i + 1] = kFixedOne;
  }
}

void IdentityFunction::Evaluate(const Function& self, const Fixed16_16* in, Fixed16_16* out) {
  for (uint32_t i = 0; i < self.Inputs(); ++i) out[i] = in[i];
}

Function* CreateIdentityFunction(AppContext& context, uint32_t count) {
  if (count == 0 || count > kMaxFunctionInputs) RaiseBadData(context);
  return New<IdentityFunction>(context, context, count);
}

namespace {

// The byte form of every type but stitching: through 16.16.
void EvaluateBytesThroughFixed(const Function& function, const uint8_t* in, int32_t inStride, uint8_t* out,
                               int32_t outStride, FunctionDispatcher::FixedForm fixed) {
  Fixed16_16 inputs[kMaxFunctionInputs];
  Fixed16_16 outputs[kMaxFunctionOutputs];
  for (uint32_t i = 0; i < function.Inputs(); ++i) inputs[i] = ByteToFixed(in[i * inStride]);
  fixed(function, inputs, outputs);
  for (uint32_t i = 0; i < function.Outputs(); ++i) out[i * outStride] = FixedToByte(outputs[i]);
}

template <FunctionDispatcher::FixedForm Fixed>
void BytesVia(const Function& function, const uint8_t* in, int32_t inStride, uint8_t* out, int32_t outStride) {
  EvaluateBytesThroughFixed(function, in, inStride, out, outStride, Fixed);
}

}  // namespace

FunctionDispatcher::FunctionDispatcher(const Function& function) : function_(&function) {
  switch (function.Type()) {
    case 0:
      fixed_ = &Type0Function::Evaluate;
      bytes_ = &BytesVia<&Type0Function::Evaluate>;
      break;
    case 2:
      fixed_ = &Type2Function::Evaluate;
      bytes_ = &BytesVia<&Type2Function::Evaluate>;
      break;
    case 3:
      fixed_ = &Type3Function::Evaluate;
      bytes_ = &Type3Function::EvaluateBytes;
      break;
    case 4:
      fixed_ = &Type4Function::Evaluate;
      bytes_ = &BytesVia<&Type4Function::Evaluate>;
      break;
    default:
      fixed_ = &IdentityFunction::Evaluate;
      bytes_ = &BytesVia<&IdentityFunction::Evaluate>;
      break;
  }
}

}  // namespace vn::pdf::content
