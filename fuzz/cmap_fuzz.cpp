// CMaps on arbitrary bytes. An input whose first byte is odd is CMap text
// as it stands (as an embedded or ToUnicode CMap stream is read; CMap files
// start with '%' or '/', both odd); after an even first byte the rest is
// the built-in compact form (regenerated and parsed). Either way the map
// that results then decodes the input itself as a string of codes.
#include "data_io/raw_data_store.h"
#include "data_io/data_store_stream.h"
#include "fuzz/fuzz_context.h"
#include "pdf/cmap/cmap_char_code_map.h"
#include "pdf/cmap/cmap_decompressed_stream.h"
#include "pdf/cmap/cmap_parser.h"
#include "runtime/engine_new.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  vn::fuzz::RunGuarded(
      [&](vn::AppContext& context) {
        using vn::pdf::cmap::CMapCharCodeMap;
        const bool text = (data[0] & 1) != 0;
        const uint8_t* body = text ? data : data + 1;
        const auto length = static_cast<uint32_t>(text ? size : size - 1);
        vn::Owned<CMapCharCodeMap> map(context, vn::New<CMapCharCodeMap>(context, context));
        vn::Owned<vn::data_io::DataBlockStream> stream(context);
        if (text) {
          stream.Set(vn::New<vn::data_io::DataStoreStream>(
              context, context, vn::New<vn::data_io::RawDataStore>(context, context, body, length)));
        } else {
          stream.Set(vn::New<vn::pdf::cmap::CMapDecompressedDataBlockStream>(context, context, body, length));
        }
        vn::fuzz::Guarded(context, [&] { vn::pdf::cmap::ParseCMap(context, *stream, *map); });
        uint32_t total = 0;
        for (const uint8_t* p = body; p < body + length;) {
          const vn::pdf::text::CharCode code = map->NextCode(p, body + length);
          if (code.length == 0 || code.length > 4) __builtin_trap();
          for (uint32_t i = 0; i < code.unitCount; ++i) total += code.units[i];
          p += code.length;
        }
        if (map->Footprint() > vn::pdf::cmap::kMaxMapBytes + 65536) __builtin_trap();
        (void)total;
      },
      vn::fuzz::StrictLimits());
  return 0;
}
