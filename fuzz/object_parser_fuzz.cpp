// The object parser on arbitrary bytes.
#include "data_io/buffered_stream.h"
#include "data_io/raw_data_store.h"
#include "fuzz/fuzz_context.h"
#include "pdf/store/parse_object.h"
#include "runtime/engine_new.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vn::fuzz::RunGuarded([&](vn::AppContext& context) {
    vn::data_io::RawDataStore store(context, data, size);
    vn::data_io::BufferedDataStore source(context, &store);
    vn::Arena arena(context, 1024, 256);
    vn::Arena copies(context, 1024, 256);
    // Every value in the data, one after another, each deep-copied.
    while (!source.AtEnd()) {
      vn::pdf::store::Value v = vn::pdf::store::ParseObject(source, arena, nullptr);
      vn::pdf::store::CopyValue(copies, v);
      vn::pdf::store::SkipWhiteSpaceAndComments(source);
    }
  });
  return 0;
}
