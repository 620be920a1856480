// Images: a 4000 x 3000 JPEG drawn at full size (in bands of the CLI's
// size) and at 1/8 (the decoder reduces it), and a 1-bit CCITT G4 page
// of the corpus (1275 x 1650 samples) at 150 dpi. Each is drawn in-process (time, and the
// peak engine memory as a counter) and, for a peer in the same run, by the
// folio and mutool processes on the same file.
#include <benchmark/benchmark.h>
#include <jpeglib.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include "support/corpus.h"
#include "support/render_pages.h"

namespace {

// A smooth 4000 x 3000 photograph-like JPEG (gradients and a ripple).
std::string MakeJpeg() {
  const int width = 4000, height = 3000;
  jpeg_compress_struct cinfo;
  jpeg_error_mgr error;
  cinfo.err = jpeg_std_error(&error);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = width;
  cinfo.image_height = height;
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 85, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<unsigned char> row(width * 3);
  while (cinfo.next_scanline < cinfo.image_height) {
    const int y = static_cast<int>(cinfo.next_scanline);
    for (int x = 0; x < width; ++x) {
      row[x * 3] = static_cast<unsigned char>(x * 255 / width);
      row[x * 3 + 1] = static_cast<unsigned char>(y * 255 / height);
      row[x * 3 + 2] = static_cast<unsigned char>(((x / 7) ^ (y / 5)) & 255);
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::string jpeg(reinterpret_cast<char*>(buffer), size);
  jpeg_destroy_compress(&cinfo);
  std::free(buffer);
  return jpeg;
}

// The JPEG on a page of `width` x `height` points (72 dpi: that many pixels).
const std::string& JpegPage(int scale) {
  static std::string pages[9];
  std::string& pdf = pages[scale];
  if (pdf.empty()) {
    static const std::string jpeg = MakeJpeg();
    const std::string w = std::to_string(4000 / scale), h = std::to_string(3000 / scale);
    pdf = vn::test::OnePagePdf("q " + w + " 0 0 " + h + " 0 0 cm /Im Do Q", "/XObject << /Im 5 0 R >>",
                               {vn::test::StreamObject("/Type /XObject /Subtype /Image /Width 4000 /Height 3000 "
                                                       "/BitsPerComponent 8 /ColorSpace /DeviceRGB /Filter /DCTDecode",
                                                       jpeg)},
                               "0 0 " + w + " " + h);
  }
  return pdf;
}

const vn::test::CorpusFile* CcittFile() {
  static const std::vector<vn::test::CorpusFile> files = vn::test::CorpusFiles();
  for (const auto& f : files) {
    if (f.name == "gen__tiff2pdf_g4_R-data-p2-3.pdf") return &f;  // a G4 page scanned at 150 dpi
  }
  return nullptr;
}

std::string ReadFile(const std::string& path) {
  const std::vector<unsigned char> bytes = vn::test::ReadWholeFile(path);
  return std::string(bytes.begin(), bytes.end());
}

// Draws in bands of `bandRows` rows, as folio render does (a quarter of the
// soft limit each: 2,250,000 bytes of 3-byte pixels).
void DrawInProcess(benchmark::State& state, const std::string& pdf, int dpi, int bandRows) {
  uint32_t peak = 0;
  for (auto _ : state) {
    vn::AppContext context;
    vn::test::RenderRequest request;
    request.dpi = dpi;
    request.bandRows = bandRows;
    const vn::test::Rendered r = vn::test::RenderPdf(context, pdf, request);
    if (r.error != -1) return state.SkipWithError("drawing failed");
    peak = context.Budget().PeakBytes();
  }
  state.counters["peak_engine_MB"] = peak / 1e6;
}

std::string TempFile(const std::string& name, const std::string& bytes) {
  const std::string path = "/tmp/folio-image-bench-" + name + ".pdf";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f != nullptr) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  return path;
}

std::string FolioBinary() {
  char self[PATH_MAX] = {};
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  const std::string exe(self, n > 0 ? static_cast<size_t>(n) : 0);
  return exe.substr(0, exe.find_last_of('/')) + "/../src/cli/folio";
}

void RunCommand(benchmark::State& state, const std::string& command) {
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) return state.SkipWithError(command.c_str());
  }
}

// range(0): 1 full size, 8 one eighth; range(1): 0 in-process, 1 folio, 2 mutool.
void BM_ImageJpeg(benchmark::State& state) {
  const int scale = static_cast<int>(state.range(0));
  const std::string& pdf = JpegPage(scale);
  const std::string file = TempFile("jpeg" + std::to_string(scale), pdf);
  switch (state.range(1)) {
    case 0: return DrawInProcess(state, pdf, 72, 750000 / (4000 / scale));
    case 1: return RunCommand(state, FolioBinary() + " render -o /tmp/folio-image-bench.ppm " + file + " >/dev/null 2>&1");
    default: return RunCommand(state, "mutool draw -q -o /tmp/folio-image-bench-mu.ppm " + file + " 2>/dev/null");
  }
}
BENCHMARK(BM_ImageJpeg)->ArgsProduct({{1, 8}, {0, 1, 2}})->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ImageCcittPage(benchmark::State& state) {
  const vn::test::CorpusFile* ccitt = CcittFile();
  if (ccitt == nullptr) return state.SkipWithError("no corpus");
  const std::string quoted = "'" + ccitt->path + "'";
  switch (state.range(0)) {
    case 0: return DrawInProcess(state, ReadFile(ccitt->path), 150, 750000 / 1275);  // a letter page's width
    case 1: return RunCommand(state, FolioBinary() + " render -r 150 -o /tmp/folio-image-bench.ppm " + quoted + " 1 >/dev/null 2>&1");
    default: return RunCommand(state, "mutool draw -q -r 150 -o /tmp/folio-image-bench-mu.ppm " + quoted + " 1 2>/dev/null");
  }
}
BENCHMARK(BM_ImageCcittPage)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
