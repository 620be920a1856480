#include "support/test_documents.h"

#include <string>

#include "data_io/file_data_store.h"
#include "data_io/raw_data_store.h"
#include "pdf/security/security_handler.h"
#include "support/test_context.h"

namespace vn::test {

bool EngineCanOpen(const CorpusFile& file) {
  return !file.HasFeature("broken") && file.bytes <= 20000000;
}

int32_t OpenCorpusDocument(AppContext& context, const CorpusFile& file, Owned<pdf::store::DocumentStore>& store) {
  const std::wstring wide(file.path.begin(), file.path.end());
  const std::string& password = file.userPassword;
  int32_t code = RaisedCode(context, [&] {
    auto* data = New<data_io::FileDataStore>(context, context, wide.c_str());
    store.Set(pdf::store::OpenDocument(context, data));
    if (!password.empty()) store->SetupSecurity("Standard", reinterpret_cast<const uint8_t*>(password.c_str()));
  });
  if (code == -1 && !store->Security()->IsAuthorized()) code = 100;
  return code;
}

int32_t OpenMemoryDocument(AppContext& context, const std::string& bytes, Owned<pdf::store::DocumentStore>& store) {
  return RaisedCode(context, [&] {
    auto* data = New<data_io::RawDataStore>(context, context, reinterpret_cast<const uint8_t*>(bytes.data()),
                                            bytes.size());
    store.Set(pdf::store::OpenDocument(context, data));
  });
}

}  // namespace vn::test
