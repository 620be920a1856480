// Decoder throughput (bytes of output per second) and Flate against plain
// zlib uncompress on the same data.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "../tests/data_io/memory_stream.h"
#include "data_io/filter_factory.h"
#include "runtime/app_context.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Sample(size_t n) {
  Bytes b(n);
  uint32_t x = 12345;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    b[i] = static_cast<uint8_t>((i % 64 < 40) ? (i / 64) : (x >> 24));
  }
  return b;
}

Bytes Encoded(const std::string& filter, const Bytes& data) {
  Bytes out;
  if (filter == "FlateDecode") {
    uLongf size = compressBound(data.size());
    out.resize(size);
    compress(out.data(), &size, data.data(), data.size());
    out.resize(size);
  } else if (filter == "ASCIIHexDecode") {
    const char* hex = "0123456789ABCDEF";
    for (uint8_t c : data) { out.push_back(hex[c >> 4]); out.push_back(hex[c & 15]); }
  } else if (filter == "RunLengthDecode") {
    for (size_t i = 0; i < data.size(); i += 128) {
      size_t n = std::min<size_t>(128, data.size() - i);
      out.push_back(static_cast<uint8_t>(n - 1));
      out.insert(out.end(), data.begin() + i, data.begin() + i + n);
    }
  } else if (filter == "ASCII85Decode") {
    for (size_t i = 0; i + 4 <= data.size(); i += 4) {
      uint32_t v = uint32_t(data[i]) << 24 | data[i + 1] << 16 | data[i + 2] << 8 | data[i + 3];
      char g[5];
      for (int j = 4; j >= 0; --j) { g[j] = static_cast<char>('!' + v % 85); v /= 85; }
      out.insert(out.end(), g, g + 5);
    }
  }
  return out;
}

void Decoder(benchmark::State& state, const std::string& filter) {
  vn::AppContext context;
  Bytes data = Sample(1 << 20);
  Bytes input = Encoded(filter, data);
  size_t produced = 0;
  for (auto _ : state) {
    vn::Owned<vn::data_io::DataBlockStream> stream(
        context, vn::data_io::BuildFilter(context, reinterpret_cast<const uint8_t*>(filter.data()),
                                          static_cast<uint32_t>(filter.size()), false, {},
                                          vn::test::NewMemoryStream(context, input)));
    vn::data_io::DataBlockRef block(context);
    for (;;) {
      stream->GetNextBlock(block);
      if (block.Empty()) break;
      produced += block.Length();
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(produced));
}

void PlainUncompress(benchmark::State& state) {
  Bytes data = Sample(1 << 20);
  Bytes input = Encoded("FlateDecode", data);
  Bytes out(data.size());
  for (auto _ : state) {
    uLongf size = out.size();
    uncompress(out.data(), &size, input.data(), input.size());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}

BENCHMARK_CAPTURE(Decoder, Flate, std::string("FlateDecode"));
BENCHMARK(PlainUncompress);
BENCHMARK_CAPTURE(Decoder, AsciiHex, std::string("ASCIIHexDecode"));
BENCHMARK_CAPTURE(Decoder, Ascii85, std::string("ASCII85Decode"));
BENCHMARK_CAPTURE(Decoder, RunLength, std::string("RunLengthDecode"));

}  // namespace
