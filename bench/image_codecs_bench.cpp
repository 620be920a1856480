// JPX and JBIG2 decode throughput (bytes of decoded samples per second) on
// the corpus's largest streams of each, through the filter chain against
// the same library called directly in one piece (OpenJPEG's whole-image
// decode into its 32-bit samples; jbig2dec with its own allocator), as the
// peer on the same data.
#include <benchmark/benchmark.h>
#include <openjpeg.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "../tests/data_io/image_codec_test_support.h"
#include "runtime/app_context.h"
#include "support/corpus.h"
#include "support/shell.h"

// jbig2.h defines `inline` away: last, and the definition goes with it.
#include <jbig2.h>
#undef inline

namespace {

using Bytes = std::vector<uint8_t>;

// A stream's raw data from the corpus (empty when absent).
Bytes RawStream(const std::string& file, int object) {
  std::string dir = vn::test::CorpusDir();
  std::string out;
  if (dir.empty() ||
      !vn::test::RunTool("qpdf --show-object=" + std::to_string(object) + " --raw-stream-data '" + dir + "/" + file +
                             "' 2>/dev/null",
                         out))
    return {};
  return Bytes(out.begin(), out.end());
}

void Ours(benchmark::State& state, const Bytes& data, const char* filter) {
  if (data.empty()) {
    state.SkipWithError("corpus file missing");
    return;
  }
  vn::AppContext context;
  size_t bytes = 0;
  for (auto _ : state) {
    vn::test::DecodedImage image = vn::test::DecodeThrough(context, data, {filter}, {});
    if (image.code != -1) state.SkipWithError("decode failed");
    for (const auto& row : image.rows) bytes += row.size();
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
  state.counters["peak_engine_bytes"] = context.Budget().PeakBytes();
}

struct Reader {
  const Bytes* data;
  size_t position;
  static OPJ_SIZE_T Read(void* buffer, OPJ_SIZE_T count, void* user) {
    auto* r = static_cast<Reader*>(user);
    size_t left = r->data->size() - r->position;
    if (left == 0) return static_cast<OPJ_SIZE_T>(-1);
    count = std::min(count, left);
    std::memcpy(buffer, r->data->data() + r->position, count);
    r->position += count;
    return count;
  }
  static OPJ_OFF_T Skip(OPJ_OFF_T count, void* user) {
    static_cast<Reader*>(user)->position += static_cast<size_t>(count);
    return count;
  }
  static OPJ_BOOL Seek(OPJ_OFF_T offset, void* user) {
    static_cast<Reader*>(user)->position = static_cast<size_t>(offset);
    return OPJ_TRUE;
  }
};

// The decoded output counted as ours is: 8-bit samples of every component.
void OpenJpegDirect(benchmark::State& state, const Bytes& data) {
  if (data.empty()) {
    state.SkipWithError("corpus file missing");
    return;
  }
  size_t bytes = 0;
  const bool jp2 = data.size() > 8 && data[4] == 'j' && data[5] == 'P';
  for (auto _ : state) {
    opj_codec_t* codec = opj_create_decompress(jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K);
    opj_dparameters_t parameters;
    opj_set_default_decoder_parameters(&parameters);
    opj_setup_decoder(codec, &parameters);
    Reader reader{&data, 0};
    opj_stream_t* stream = opj_stream_create(16384, OPJ_TRUE);
    opj_stream_set_read_function(stream, &Reader::Read);
    opj_stream_set_skip_function(stream, &Reader::Skip);
    opj_stream_set_seek_function(stream, &Reader::Seek);
    opj_stream_set_user_data(stream, &reader, nullptr);
    opj_stream_set_user_data_length(stream, data.size());
    opj_image_t* image = nullptr;
    if (opj_read_header(stream, codec, &image) && opj_decode(codec, stream, image)) {
      for (uint32_t c = 0; c < image->numcomps; ++c) bytes += size_t{image->comps[c].w} * image->comps[c].h;
    } else {
      state.SkipWithError("decode failed");
    }
    opj_image_destroy(image);
    opj_stream_destroy(stream);
    opj_destroy_codec(codec);
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

void Jbig2decDirect(benchmark::State& state, const Bytes& data) {
  if (data.empty()) {
    state.SkipWithError("corpus file missing");
    return;
  }
  size_t bytes = 0;
  for (auto _ : state) {
    Jbig2Ctx* ctx = jbig2_ctx_new(nullptr, JBIG2_OPTIONS_EMBEDDED, nullptr, nullptr, nullptr);
    jbig2_data_in(ctx, data.data(), data.size());
    jbig2_complete_page(ctx);
    Jbig2Image* page = jbig2_page_out(ctx);
    if (page != nullptr) {
      bytes += size_t{page->height} * ((page->width + 7) / 8);
      jbig2_release_page(ctx, page);
    }
    jbig2_ctx_free(ctx);
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

// The corpus's largest JPX stream (1090 x 725 RGB, 806 KB) and its largest
// JBIG2 stream that jbig2dec decodes (399 x 400, halftone region).
const Bytes& Jpx() {
  static const Bytes data = RawStream("pdfjs__issue5549.pdf", 11);
  return data;
}
const Bytes& Jbig2() {
  static const Bytes data = RawStream("pdfjs__bitmap-halftone.pdf", 5);
  return data;
}

void BM_JpxFilter(benchmark::State& state) { Ours(state, Jpx(), "JPXDecode"); }
void BM_JpxOpenJpegDirect(benchmark::State& state) { OpenJpegDirect(state, Jpx()); }
void BM_Jbig2Filter(benchmark::State& state) { Ours(state, Jbig2(), "JBIG2Decode"); }
void BM_Jbig2decDirect(benchmark::State& state) { Jbig2decDirect(state, Jbig2()); }

BENCHMARK(BM_JpxFilter)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpxOpenJpegDirect)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Jbig2Filter)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Jbig2decDirect)->Unit(benchmark::kMillisecond);

}  // namespace
