// Calculator functions: the program text read once and compiled.
#include "data_io/data_block.h"
#include "pdf/content/function_types.h"
#include "runtime/engine_array.h"
#include "runtime/engine_new.h"
#include "runtime/error.h"

namespace vn::pdf::content {

using document::ResolvedValue;

Type4Function* Type4Function::Create(document::ObjectResolver& resolver, const ResolvedValue& stream) {
  AppContext& context = resolver.Context();
  if (!document::IsStream(stream.Get())) RaiseBadData(context);
  Owned<Type4Function> function(context, New<Type4Function>(context, context, 0u, 0u));
  Type4Function& f = *function;
  FunctionFactory::ReadDomainAndRange(resolver, stream, f, true);

  EngineArray<uint8_t> text(context);
  Owned<data_io::DataBlockStream> data(context, resolver.OpenStreamData(stream));
  data_io::DataBlockRef block(context);
  for (data->GetNextBlock(block); !block.Empty(); data->GetNextBlock(block)) {
    if (text.Size() + block.Length() > type4_func_detail::kMaxProgramBytes) RaiseCode(context, kLimitExceeded);
    uint32_t old = text.Size();
    text.Resize(old + block.Length());
    for (uint32_t i = 0; i < block.Length(); ++i) text[old + i] = block.Data()[i];
  }
  Type4FunctionParser(context, f.pool_).Parse(text.Data(), text.Size(), f.program_);
  return function.Release();
}

void Type4Function::Evaluate(const Function& self, const Fixed16_16* in, Fixed16_16* out) {
  const auto& f = static_cast<const Type4Function&>(self);
  Fixed16_16 x[kMaxFunctionInputs];
  for (uint32_t i = 0; i < f.inputs_; ++i) x[i] = Clamp(in[i], f.domain_[2 * i], f.domain_[2 * i + 1]);
  type4_func_detail::RunProgram(f.program_, x, f.inputs_, out, f.outputs_);
  f.ClampToRange(out);
}

}  // namespace vn::pdf::content
