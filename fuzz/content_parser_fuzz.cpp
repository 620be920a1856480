// The content parser on arbitrary bytes, with a client that reads every
// inline image's first bytes.
#include "data_io/buffered_stream.h"
#include "data_io/raw_data_store.h"
#include "fuzz/fuzz_context.h"
#include "pdf/content/content_parser.h"

namespace {

class Client : public vn::pdf::content::ContentParserClient {
 public:
  bool InlineImage(const vn::pdf::store::Value&, vn::data_io::BufferedStream& source) override {
    for (int i = 0; i < 3 && source.PeekByte() >= 0; ++i) source.Advance();
    return true;
  }
  bool PaintPath(bool, vn::pdf::content::FillKind) override { return false; }  // a boundary: resume after it
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vn::fuzz::RunGuarded([&](vn::AppContext& context) {
    vn::data_io::RawDataStore store(context, data, size);
    vn::data_io::BufferedDataStore source(context, &store);
    vn::Arena arena(context, 1024, 256);
    Client client;
    vn::pdf::content::ContentParser parser(context, source, arena, client);
    while (parser.Run()) {
    }
  });
  return 0;
}
