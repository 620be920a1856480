// PDF functions: the input is the body of object 3 of a small document (a
// function dictionary or stream, whose sub-functions may be further
// objects after it). The function is created, then evaluated at the domain
// ends, inside it and outside it, in both forms.
#include <string>

#include "data_io/raw_data_store.h"
#include "fuzz/fuzz_context.h"
#include "pdf/content/function.h"
#include "pdf/document/store_resolver.h"
#include "pdf/store/document_store.h"
#include "runtime/engine_new.h"

namespace {

// A document whose object 3 is `body`, with a cross-reference table.
std::string Document(const uint8_t* data, size_t size) {
  std::string text = "%PDF-1.7\n";
  size_t offsets[4] = {};
  offsets[1] = text.size();
  text += "1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n";
  offsets[2] = text.size();
  text += "2 0 obj << /Type /Pages /Kids [] /Count 0 >> endobj\n";
  offsets[3] = text.size();
  text += "3 0 obj\n";
  text.append(reinterpret_cast<const char*>(data), size);
  text += "\nendobj\n";
  const size_t xref = text.size();
  text += "xref\n0 4\n0000000000 65535 f \n";
  for (int i = 1; i < 4; ++i) {
    char line[24];
    std::snprintf(line, sizeof line, "%010zu 00000 n \n", offsets[i]);
    text += line;
  }
  text += "trailer << /Size 4 /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  return text;
}

constexpr vn::Fixed16_16 kProbes[] = {0, vn::kFixedOne, vn::kFixedHalf, -vn::kFixedOne, 3 * vn::kFixedOne, 1, 0x7FFFFFFF};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  const std::string file = Document(data, size);
  vn::fuzz::RunGuarded(
      [&](vn::AppContext& context) {
        auto* store = vn::New<vn::data_io::RawDataStore>(context, context, reinterpret_cast<const uint8_t*>(file.data()),
                                                         file.size());
        vn::Owned<vn::pdf::store::DocumentStore> document(context, vn::pdf::store::OpenDocument(context, store));
        vn::pdf::document::StoreResolver resolver(*document);
        vn::pdf::document::ResolvedValue value(context);
        resolver.GetIndirectObject(vn::pdf::document::ObjectId{3, 0}, value);
        vn::Ref<vn::pdf::content::Function> function(context, vn::pdf::content::CreateFunction(resolver, value));
        const vn::pdf::content::FunctionDispatcher dispatcher(*function);
        const uint32_t m = function->Inputs();
        vn::Fixed16_16 in[vn::pdf::content::kMaxFunctionInputs], out[vn::pdf::content::kMaxFunctionOutputs];
        uint8_t bytesIn[vn::pdf::content::kMaxFunctionInputs], bytesOut[vn::pdf::content::kMaxFunctionOutputs];
        for (size_t probe = 0; probe < std::size(kProbes); ++probe) {
          for (uint32_t i = 0; i < m; ++i) {
            in[i] = kProbes[(probe + i) % std::size(kProbes)];
            bytesIn[i] = static_cast<uint8_t>(probe * 37 + i * 101);
          }
          dispatcher.Evaluate(in, out);
          dispatcher.EvaluateBytes(bytesIn, 1, bytesOut, 1);
        }
      },
      vn::fuzz::StrictLimits());
  return 0;
}
