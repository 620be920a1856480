// CMaps: code look-ups on Japanese text, and building a built-in CMap from
// its compact form.
//
// Look-ups run over a Shift-JIS text of 100,000 codes (kana, kanji and
// ASCII in a fixed pseudo-random mix) through 90ms-RKSJ-H, and over the
// same characters' UTF-16 codes through UniJIS-UTF16-H. The peer is a plain
// hash map from codes to CIDs with the code length taken from the first
// byte, as a straightforward implementation would do it.
//
// Building is timed for three sizes of CMap; the peers are the same parser
// reading the published CMap file from memory (what the compact form costs
// over plain text) and the decoder alone (how much of the time is decoding).
#include <benchmark/benchmark.h>

#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "data_io/memory_stream.h"
#include "pdf/cmap/cmap_char_code_map.h"
#include "pdf/cmap/cmap_decompressed_stream.h"
#include "pdf/cmap/cmap_parser.h"
#include "pdf/cmap/predefined_cmaps.h"
#include "runtime/app_context.h"
#include "runtime/engine_new.h"

namespace {

using vn::pdf::cmap::CMapCharCodeMap;
using vn::pdf::cmap::PredefinedCMap;

PredefinedCMap Find(const char* name) {
  PredefinedCMap cmap{};
  vn::pdf::cmap::FindPredefinedCMap(reinterpret_cast<const uint8_t*>(name), static_cast<uint32_t>(std::strlen(name)),
                                    vn::pdf::cmap::kUnknownCollection, &cmap);
  return cmap;
}

CMapCharCodeMap* Build(vn::AppContext& context, const char* name) {
  vn::Owned<CMapCharCodeMap> map(context, vn::New<CMapCharCodeMap>(context, context));
  vn::pdf::cmap::ParsePredefinedCMap(context, Find(name), *map);
  return map.Release();
}

// Shift-JIS text: 40 % hiragana, 10 % katakana, 30 % kanji (JIS level 1),
// 20 % ASCII.
std::vector<uint8_t> ShiftJisText(uint32_t codes) {
  std::mt19937 random(2024);
  std::vector<uint8_t> text;
  for (uint32_t i = 0; i < codes; ++i) {
    const uint32_t kind = random() % 10;
    uint32_t code;
    if (kind < 4) {
      code = 0x829F + random() % 83;
    } else if (kind < 5) {
      code = 0x8340 + random() % 63;
    } else if (kind < 8) {
      code = ((0x88 + random() % 0x10) << 8) | (0x9F + random() % 0x5E);
    } else {
      text.push_back(static_cast<uint8_t>(0x20 + random() % 0x5F));
      continue;
    }
    text.push_back(static_cast<uint8_t>(code >> 8));
    text.push_back(static_cast<uint8_t>(code));
  }
  return text;
}

// The plain peer: every two-byte and one-byte code of the map in a hash
// map; a first byte of 0x81-0x9F or 0xE0-0xFC starts a two-byte code.
struct HashPeer {
  std::unordered_map<uint32_t, uint32_t> cids;
  explicit HashPeer(const CMapCharCodeMap& map) {
    for (uint32_t code = 0; code <= 0xFFFF; ++code) {
      const uint8_t bytes[2] = {static_cast<uint8_t>(code >> 8), static_cast<uint8_t>(code)};
      const bool twoBytes = (bytes[0] >= 0x81 && bytes[0] <= 0x9F) || (bytes[0] >= 0xE0 && bytes[0] <= 0xFC);
      if (!twoBytes && code > 0xFF) continue;
      const uint8_t* start = twoBytes ? bytes : bytes + 1;
      const vn::pdf::text::CharCode c = map.NextCode(start, bytes + 2);
      if (c.value != 0) cids[twoBytes ? code : code & 0xFF] = c.value;
    }
  }
  uint32_t Next(const uint8_t* p, const uint8_t* end, uint32_t* length) const {
    const bool twoBytes = ((*p >= 0x81 && *p <= 0x9F) || (*p >= 0xE0 && *p <= 0xFC)) && p + 1 < end;
    *length = twoBytes ? 2 : 1;
    const auto found = cids.find(twoBytes ? (static_cast<uint32_t>(p[0]) << 8) | p[1] : p[0]);
    return found == cids.end() ? 0 : found->second;
  }
};

// Decodes `text` code after code with `next(p, end, &length)` (which gives
// the code's CID) on every iteration; reports codes per second.
template <class Next>
void TimeLookUps(benchmark::State& state, const std::vector<uint8_t>& text, Next next) {
  uint64_t codes = 0;
  uint32_t sum = 0;
  for (auto _ : state) {
    const uint8_t* p = text.data();
    const uint8_t* end = p + text.size();
    while (p < end) {
      uint32_t length;
      sum += next(p, end, &length);
      p += length;
      ++codes;
    }
  }
  benchmark::DoNotOptimize(sum);
  state.counters["codes"] = benchmark::Counter(static_cast<double>(codes), benchmark::Counter::kIsRate);
}

// The map's look-up as TimeLookUps calls it.
auto LookUpIn(const CMapCharCodeMap& map) {
  return [&map](const uint8_t* p, const uint8_t* end, uint32_t* length) {
    const vn::pdf::text::CharCode c = map.NextCode(p, end);
    *length = c.length;
    return c.value;
  };
}

void BM_LookUpShiftJis(benchmark::State& state) {
  vn::AppContext context;
  vn::Owned<CMapCharCodeMap> map(context, Build(context, "90ms-RKSJ-H"));
  TimeLookUps(state, ShiftJisText(100000), LookUpIn(*map));
}
BENCHMARK(BM_LookUpShiftJis)->Unit(benchmark::kMicrosecond);

void BM_LookUpShiftJisHashPeer(benchmark::State& state) {
  vn::AppContext context;
  vn::Owned<CMapCharCodeMap> map(context, Build(context, "90ms-RKSJ-H"));
  const HashPeer peer(*map);
  TimeLookUps(state, ShiftJisText(100000),
              [&peer](const uint8_t* p, const uint8_t* end, uint32_t* length) { return peer.Next(p, end, length); });
}
BENCHMARK(BM_LookUpShiftJisHashPeer)->Unit(benchmark::kMicrosecond);

void BM_LookUpUtf16(benchmark::State& state) {
  vn::AppContext context;
  vn::Owned<CMapCharCodeMap> sjis(context, Build(context, "90ms-RKSJ-H"));
  vn::Owned<CMapCharCodeMap> utf16(context, Build(context, "UniJIS-UTF16-H"));
  vn::Owned<CMapCharCodeMap> unicode(context, Build(context, "Adobe-Japan1-UCS2"));
  // The same characters as UTF-16 codes: Shift-JIS to CID to Unicode.
  const std::vector<uint8_t> shiftJis = ShiftJisText(100000);
  std::vector<uint8_t> text;
  for (const uint8_t* p = shiftJis.data(); p < shiftJis.data() + shiftJis.size();) {
    const vn::pdf::text::CharCode c = sjis->NextCode(p, shiftJis.data() + shiftJis.size());
    const uint8_t cid[2] = {static_cast<uint8_t>(c.value >> 8), static_cast<uint8_t>(c.value)};
    const uint32_t u = unicode->NextCode(cid, cid + 2).value;
    text.push_back(static_cast<uint8_t>(u >> 8));
    text.push_back(static_cast<uint8_t>(u));
    p += c.length;
  }
  TimeLookUps(state, text, LookUpIn(*utf16));
}
BENCHMARK(BM_LookUpUtf16)->Unit(benchmark::kMicrosecond);

const char* const kBuilt[] = {"90ms-RKSJ-H", "UniJIS-UTF16-H", "Adobe-Japan1-UCS2"};

void BM_BuildFromBlob(benchmark::State& state) {
  const char* name = kBuilt[state.range(0)];
  vn::AppContext context;
  uint32_t footprint = 0;
  for (auto _ : state) {
    vn::Owned<CMapCharCodeMap> map(context, Build(context, name));
    footprint = map->Footprint();
  }
  state.counters["blob_bytes"] = Find(name).length;
  state.counters["map_bytes"] = footprint;
  state.SetLabel(name);
}
BENCHMARK(BM_BuildFromBlob)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void BM_BuildFromSourceTextPeer(benchmark::State& state) {
  const char* name = kBuilt[state.range(0)];
  std::string text;
  for (const char* folder : {"Adobe-Japan1", "Adobe-GB1", "Adobe-CNS1", "Adobe-Korea1"}) {
    std::ifstream in(std::string(FOLIO_CMAP_RESOURCES) + "/" + folder + "/" + name, std::ios::binary);
    if (!in) continue;
    std::stringstream buffer;
    buffer << in.rdbuf();
    text = buffer.str();
  }
  if (text.empty()) {
    state.SkipWithError("poppler-data is not installed");
    return;
  }
  vn::AppContext context;
  const std::vector<uint8_t> bytes(text.begin(), text.end());
  for (auto _ : state) {
    vn::Owned<CMapCharCodeMap> map(context, vn::New<CMapCharCodeMap>(context, context));
    vn::Owned<vn::data_io::DataBlockStream> stream(context, vn::test::NewMemoryStream(context, bytes));
    vn::pdf::cmap::ParseCMap(context, *stream, *map);
  }
  state.counters["text_bytes"] = static_cast<double>(bytes.size());
  state.SetLabel(name);
}
BENCHMARK(BM_BuildFromSourceTextPeer)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void BM_DecodeBlobOnly(benchmark::State& state) {
  const char* name = kBuilt[state.range(0)];
  const PredefinedCMap cmap = Find(name);
  vn::AppContext context;
  uint64_t bytes = 0;
  for (auto _ : state) {
    vn::pdf::cmap::CMapDecompressedDataBlockStream stream(context, cmap.blob, cmap.length);
    vn::data_io::DataBlockRef block(context);
    for (stream.GetNextBlock(block); !block.Empty(); stream.GetNextBlock(block)) bytes += block.Length();
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
  state.SetLabel(name);
}
BENCHMARK(BM_DecodeBlobOnly)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

}  // namespace
