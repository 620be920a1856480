// Stitching functions: the domain cut by bounds into pieces, each piece
// mapped onto one sub-function.
#include "pdf/content/function_types.h"
#include "runtime/engine_new.h"
#include "runtime/error.h"

namespace vn::pdf::content {

using document::ResolvedValue;

namespace {
// Sub-functions of one stitching function.
constexpr uint32_t kMaxStitchedFunctions = 256;
}  // namespace

Type3Function::~Type3Function() {
  for (uint32_t i = 0; i < count_; ++i) functions_[i]->Release(pool_.Context());
}

Type3Function* Type3Function::Create(document::ObjectResolver& resolver, const ResolvedValue& dict,
                                     uint32_t depth) {
  AppContext& context = resolver.Context();
  Owned<Type3Function> function(context, New<Type3Function>(context, context));
  Type3Function& f = *function;
  FunctionFactory::ReadDomainAndRange(resolver, dict, f, false);
  if (f.inputs_ != 1) RaiseBadData(context);
  uint32_t rangeOutputs = f.range_ != nullptr ? f.outputs_ : 0;

  ResolvedValue functions(context);
  document::GetResolved(resolver, dict, "Functions", functions);
  if (!document::IsArray(functions.Get())) RaiseBadData(context);
  uint32_t k = document::ArrayLength(functions.Get());
  if (k == 0) RaiseBadData(context);
  if (k > kMaxStitchedFunctions) RaiseCode(context, kLimitExceeded);
  f.functions_ = f.pool_.AllocateArray<Function*>(k);
  ResolvedValue element(context);
  for (uint32_t i = 0; i < k; ++i) {
    element = functions;
    element.SetChild(document::ArrayElement(functions.Get(), i));
    document::ResolveInPlace(resolver, element);
    Function* sub = FunctionFactory::Create(resolver, element, depth + 1);
    sub->AddRef();
    f.functions_[f.count_++] = sub;
    if (sub->Inputs() != 1 || sub->Outputs() != f.functions_[0]->Outputs()) RaiseBadData(context);
  }
  f.outputs_ = f.functions_[0]->Outputs();
  if (rangeOutputs != 0 && rangeOutputs != f.outputs_) RaiseBadData(context);

  Fixed16_16 numbers[2 * kMaxStitchedFunctions];
  f.bounds_ = f.pool_.AllocateArray<Fixed16_16>(k);
  if (ReadNumbers(resolver, dict, "Bounds", numbers, kMaxStitchedFunctions) != k - 1) RaiseBadData(context);
  for (uint32_t i = 0; i + 1 < k; ++i) {
    f.bounds_[i] = numbers[i];
    if (numbers[i] < (i == 0 ? f.domain_[0] : numbers[i - 1])) RaiseBadData(context);
  }
  f.encode_ = f.pool_.AllocateArray<Fixed16_16>(2 * k);
  if (ReadNumbers(resolver, dict, "Encode", numbers, 2 * kMaxStitchedFunctions) != 2 * k) RaiseBadData(context);
  for (uint32_t i = 0; i < 2 * k; ++i) f.encode_[i] = numbers[i];
  return function.Release();
}

uint32_t Type3Function::Select(Fixed16_16 x, Fixed16_16* encoded) const {
  x = Clamp(x, domain_[0], domain_[1]);
  uint32_t i = 0;
  while (i + 1 < count_ && x >= bounds_[i]) ++i;
  Fixed16_16 low = i == 0 ? domain_[0] : bounds_[i - 1];
  Fixed16_16 high = i + 1 < count_ ? bounds_[i] : domain_[1];
  *encoded = low == high ? x : Interpolate(x, low, high, encode_[2 * i], encode_[2 * i + 1]);
  return i;
}

void Type3Function::Evaluate(const Function& self, const Fixed16_16* in, Fixed16_16* out) {
  const auto& f = static_cast<const Type3Function&>(self);
  Fixed16_16 encoded;
  uint32_t i = f.Select(in[0], &encoded);
  FunctionDispatcher(*f.functions_[i]).Evaluate(&encoded, out);
  f.ClampToRange(out);
}

void Type3Function::EvaluateBytes(const Function& self, const uint8_t* in, int32_t /*inStride*/, uint8_t* out,
                                  int32_t outStride) {
  const auto& f = static_cast<const Type3Function&>(self);
  Fixed16_16 encoded;
  uint32_t i = f.Select(ByteToFixed(in[0]), &encoded);
  // The encoded value is requantised to a byte for the sub-function.
  uint8_t requantised = FixedToByte(encoded);
  if (f.range_ == nullptr) {
    FunctionDispatcher(*f.functions_[i]).EvaluateBytes(&requantised, 1, out, outStride);
    return;
  }
  Fixed16_16 values[kMaxFunctionOutputs];
  Fixed16_16 x = ByteToFixed(requantised);
  FunctionDispatcher(*f.functions_[i]).Evaluate(&x, values);
  f.ClampToRange(values);
  for (uint32_t k = 0; k < f.outputs_; ++k) out[k * outStride] = FixedToByte(values[k]);
}

}  // namespace vn::pdf::content
