// A whole PDF file: opened over memory (damaged cross-reference data is
// repaired by the open; security set up with the empty password, then, for
// an encrypted file it does not open, with the user passwords of the corpus
// and the seeds), every object of the cross-reference fetched and every
// stream's decoded data read, then the page tree walked: count, each page's
// reference, geometry and contents. The budget's hard limit is 16 MB;
// running out of it is a fault, since nothing read here is kept. Besides the
// corpus, the seeds hold RC4 documents whose streams pass Identity and named
// crypt filters anywhere in their filter lists (tools/fuzz.sh makes them), so
// encrypted stream chains are mutated too.
#include "data_io/raw_data_store.h"
#include "fuzz/fuzz_context.h"
#include "pdf/document/page_contents.h"
#include "pdf/document/page_tree.h"
#include "pdf/document/store_resolver.h"
#include "pdf/security/security_handler.h"
#include "pdf/store/document_store.h"
#include "runtime/engine_new.h"

namespace {

constexpr int32_t kMaxObjects = 5000;
constexpr int32_t kMaxPages = 50;
constexpr uint64_t kStreamCap = 4u << 20;

// The user passwords of the encrypted corpus files and of fuzz/seeds.
const char* const kPasswords[] = {"usr", "user", "useraes", "user256", "luser", "view", "wwwww", "attachment",
                                  "user128", "user40"};

void Check(int32_t code) {
  if (code == vn::kOutOfMemory) std::abort();
}

void Unlock(vn::AppContext& context, vn::pdf::store::DocumentStore& store) {
  if (store.Security()->IsAuthorized() || store.Security()->Kind() != vn::pdf::security::HandlerKind::kStandard) {
    return;
  }
  for (const char* password : kPasswords) {
    bool opened = false;
    Check(vn::fuzz::Guarded(context, [&] {
      opened = store.SetupSecurity("Standard", reinterpret_cast<const uint8_t*>(password));
    }));
    if (opened) return;
  }
}

void ReadObjects(vn::AppContext& context, vn::pdf::store::DocumentStore& store) {
  int32_t last = kMaxObjects;
  Check(vn::fuzz::Guarded(context, [&] {
    vn::pdf::store::Value size = vn::pdf::store::Get(context, store.Trailer(), "Size");
    if (size.IsInteger() && size.i >= 0 && size.i < kMaxObjects) last = size.i;
  }));
  for (int32_t number = 1; number <= last; ++number) {
    Check(vn::fuzz::Guarded(context, [&] {
      vn::Ref<vn::pdf::store::ParsedObject> object(context);
      store.GetObject(object, number);
      if (vn::pdf::store::StreamDataOffset(object->value) == 0) return;
      vn::Owned<vn::data_io::DataBlockStream> data(context, store.OpenStreamData(*object));
      vn::fuzz::Drain(context, *data, kStreamCap);
    }));
  }
}

void WalkPages(vn::AppContext& context, vn::pdf::store::DocumentStore& store) {
  vn::pdf::document::StoreResolver resolver(store);
  int32_t count = 0;
  Check(vn::fuzz::Guarded(context, [&] { count = vn::pdf::document::GetPageCount(resolver); }));
  if (count > kMaxPages) count = kMaxPages;
  for (int32_t index = 0; index < count; ++index) {
    Check(vn::fuzz::Guarded(context, [&] {
      vn::pdf::document::ObjectId id = vn::pdf::document::GetPageReference(resolver, index);
      vn::pdf::document::ResolvedValue page(context);
      resolver.GetIndirectObject(id, page);
      vn::pdf::document::GetPageIndex(resolver, id);
      vn::pdf::document::GetPageGeometry(resolver, page);
      vn::Owned<vn::data_io::DataBlockStream> contents(context, vn::pdf::document::OpenPageContents(resolver, page));
      vn::fuzz::Drain(context, *contents, kStreamCap);
    }));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vn::fuzz::RunGuarded(
      [&](vn::AppContext& context) {
        auto* file = vn::New<vn::data_io::RawDataStore>(context, context, data, size);
        vn::Owned<vn::pdf::store::DocumentStore> store(context, vn::pdf::store::OpenDocument(context, file));
        Unlock(context, *store);
        ReadObjects(context, *store);
        WalkPages(context, *store);
      },
      vn::fuzz::StrictLimits(), true);
  return 0;
}
