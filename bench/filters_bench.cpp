// Decoder throughput (bytes of output per second) for every decoder, with
// Flate against plain zlib uncompress and DCT against plain libjpeg on the
// same data.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "../tests/data_io/ccitt_test_support.h"
#include "../tests/data_io/filter_encoders.h"
#include "../tests/data_io/jpg_test_support.h"
#include "../tests/data_io/memory_stream.h"
#include "data_io/filter_factory.h"
#include "data_io/jpg_stream.h"
#include "data_io/predictor_stream.h"
#include "runtime/app_context.h"
#include "support/corpus.h"

namespace {

using Bytes = std::vector<uint8_t>;
using vn::test::Encoded;

Bytes Sample(size_t n) {
  Bytes b(n);
  uint32_t x = 12345;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    b[i] = static_cast<uint8_t>((i % 64 < 40) ? (i / 64) : (x >> 24));
  }
  return b;
}

void Decoder(benchmark::State& state, const std::string& filter) {
  vn::AppContext context;
  Bytes data = Sample(1 << 20);
  Bytes input = Encoded(filter, data);
  size_t produced = 0;
  for (auto _ : state) {
    vn::Owned<vn::data_io::DataBlockStream> stream(context, vn::test::NewMemoryStream(context, input));
    vn::test::AddFilter(context, stream, filter);
    vn::data_io::DataBlockRef block(context);
    for (;;) {
      stream->GetNextBlock(block);
      if (block.Empty()) break;
      produced += block.Length();
    }
  }
  if (produced != data.size() * static_cast<size_t>(state.iterations())) state.SkipWithError("output differs");
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

// Reads a stream to its end; returns the bytes it gave.
size_t Drain(vn::AppContext& context, vn::data_io::DataBlockStream& stream) {
  size_t produced = 0;
  vn::data_io::DataBlockRef block(context);
  for (;;) {
    stream.GetNextBlock(block);
    if (block.Empty()) break;
    produced += block.Length();
  }
  return produced;
}

// The predictor alone, over rows of 1000 RGB pixels already predicted.
void Predictor(benchmark::State& state, int predictor) {
  vn::AppContext context;
  const size_t rowBytes = 3000, rows = 350;
  Bytes data = Sample(rowBytes * rows);
  Bytes input;
  for (size_t r = 0; r < rows; ++r) {
    if (predictor >= 10) input.push_back(static_cast<uint8_t>(predictor - 10));  // the row's PNG type
    input.insert(input.end(), data.begin() + static_cast<long>(r * rowBytes),
                 data.begin() + static_cast<long>((r + 1) * rowBytes));
  }
  vn::data_io::FilterParams params;
  params.predictor.Set(predictor);
  params.colors.Set(3);
  params.SetColumns(1000);
  size_t produced = 0;
  for (auto _ : state) {
    vn::Owned<vn::data_io::DataBlockStream> stream(
        context, vn::New<vn::data_io::PredictorDataBlockStream>(context, context,
                                                                vn::test::NewMemoryStream(context, input), params));
    produced += Drain(context, *stream);
  }
  state.SetBytesProcessed(static_cast<int64_t>(produced));
}

void Fax(benchmark::State& state, const Bytes& input, const vn::data_io::FilterParams& params, size_t expected) {
  vn::AppContext context;
  size_t produced = 0;
  for (auto _ : state) {
    vn::Owned<vn::data_io::DataBlockStream> stream(context, vn::test::NewMemoryStream(context, input));
    vn::test::AddFilter(context, stream, "CCITTFaxDecode", params);
    produced += Drain(context, *stream);
  }
  if (produced != expected * static_cast<size_t>(state.iterations())) state.SkipWithError("fax output differs");
  state.SetBytesProcessed(static_cast<int64_t>(produced));
}

// A generated 1728-column page of 1100 rows, G4 (K -1) or G3 2-D (K 4, with
// end-of-line codes).
void FaxGenerated(benchmark::State& state, int k) {
  vn::test::Image image = vn::test::RandomImage(7, 1728, 1100, 25);
  vn::test::EncodeOptions o;
  o.k = k;
  o.endOfLine = k > 0;
  Bytes input = vn::test::Encode(image, o);
  vn::data_io::FilterParams params;
  params.k.Set(k);
  params.faxColumns.Set(1728);
  params.endOfLine.Set(k > 0);
  Fax(state, input, params, 216 * 1100);
}

// The corpus's G4 page made by tiff2pdf (1275 x 1650, BlackIs1).
void FaxCorpusG4(benchmark::State& state) {
  std::string path = vn::test::CorpusDir() + "/gen__tiff2pdf_g4_R-data-p2-3.pdf";
  Bytes input;
  if (FILE* pipe = popen(("qpdf --show-object=7 --raw-stream-data '" + path + "' 2>/dev/null").c_str(), "r")) {
    uint8_t buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) input.insert(input.end(), buffer, buffer + n);
    pclose(pipe);
  }
  if (input.empty()) {
    state.SkipWithError("corpus or qpdf absent");
    for (auto _ : state) {
    }
    return;
  }
  vn::data_io::FilterParams params;
  params.k.Set(-1);
  params.faxColumns.Set(1275);
  params.rows.Set(1650);
  params.blackIs1.Set(true);
  Fax(state, input, params, 160 * 1650);
}

// A 1000 x 1000 RGB JPEG, decoded at 1/`scale`.
void Dct(benchmark::State& state, int scale) {
  vn::AppContext context;
  Bytes jpeg = vn::test::EncodeJpeg(1000, 1000, 3, false, 85);
  size_t produced = 0;
  for (auto _ : state) {
    vn::Owned<vn::data_io::DataBlockStream> stream(
        context, vn::New<vn::data_io::JPGDataBlockStream>(context, context, vn::test::NewMemoryStream(context, jpeg),
                                                          scale));
    produced += Drain(context, *stream);
  }
  size_t side = 1000 / static_cast<size_t>(scale);
  if (produced != side * side * 3 * static_cast<size_t>(state.iterations())) state.SkipWithError("output size");
  state.SetBytesProcessed(static_cast<int64_t>(produced));
}

// libjpeg alone on the same file, from memory, one scanline at a time.
void PlainLibjpeg(benchmark::State& state, int scale) {
  Bytes jpeg = vn::test::EncodeJpeg(1000, 1000, 3, false, 85);
  size_t produced = 0;
  std::vector<uint8_t> row(3000);
  for (auto _ : state) {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr error;
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.scale_num = 1;
    cinfo.scale_denom = static_cast<unsigned>(scale);
    jpeg_start_decompress(&cinfo);
    while (cinfo.output_scanline < cinfo.output_height) {
      JSAMPROW pointer = row.data();
      jpeg_read_scanlines(&cinfo, &pointer, 1);
      produced += cinfo.output_width * 3;
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
  }
  state.SetBytesProcessed(static_cast<int64_t>(produced));
}

BENCHMARK_CAPTURE(Decoder, Flate, std::string("FlateDecode"));
BENCHMARK(PlainUncompress);
BENCHMARK_CAPTURE(Decoder, Lzw, std::string("LZWDecode"));
BENCHMARK_CAPTURE(Decoder, AsciiHex, std::string("ASCIIHexDecode"));
BENCHMARK_CAPTURE(Decoder, Ascii85, std::string("ASCII85Decode"));
BENCHMARK_CAPTURE(Decoder, RunLength, std::string("RunLengthDecode"));
BENCHMARK_CAPTURE(Predictor, PngUp, 12);
BENCHMARK_CAPTURE(Predictor, PngPaeth, 14);
BENCHMARK_CAPTURE(Predictor, Tiff, 2);
BENCHMARK_CAPTURE(FaxGenerated, G4, -1);
BENCHMARK_CAPTURE(FaxGenerated, G3TwoD, 4);
BENCHMARK(FaxCorpusG4);
BENCHMARK_CAPTURE(Dct, Scale1, 1);
BENCHMARK_CAPTURE(Dct, Scale8, 8);
BENCHMARK_CAPTURE(PlainLibjpeg, Scale1, 1);
BENCHMARK_CAPTURE(PlainLibjpeg, Scale8, 8);

}  // namespace
