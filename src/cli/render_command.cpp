// folio render FILE [PAGES]: pages drawn into PNG, PPM or PGM images.
//
// Each page is drawn in horizontal bands whose buffer is taken from the
// engine's budget, never one full-page allocation; every band is one replay
// of the page's cached display list on an engine thread, as the viewer draws,
// and its rows go to the image file as soon as it is done.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/engine_thread.h"
#include "cli/image_writer.h"
#include "cli/json_writer.h"
#include "cli/open_document.h"
#include "cli/page_range.h"
#include "cli/render_report.h"
#include "pdf/document/document.h"
#include "pdf/document/page_tree.h"
#include "pdf/render/draw_page.h"
#include "runtime/threads/scheduler.h"

namespace folio::cli {

namespace {

using vn::pdf::render::PageView;

struct RenderOptions {
  std::string file;
  std::string password;
  std::string output;  // "" : the default name; "-": standard output
  ImageFormat format = ImageFormat::kPng;
  // Scale: numerator / denominator device pixels per 16.16 unit; one of
  // -r, -w and -H fixes it.
  char sizeOption = 'r';
  int32_t sizeValue = 72;
  int32_t rotate = 0;
  bool json = false;
};

struct PageOutcome {
  int32_t page = 0;
  std::string output;
  int32_t width = 0, height = 0;
  int64_t milliseconds = 0;
  uint32_t peakMemory = 0;
  PageTally tally;
  std::string failure;  // why the page is not (wholly) drawn; empty when it is
  bool written = false;
};

bool ParseCount(const std::string& text, int32_t low, int32_t high, int32_t& out) {
  if (text.empty() || text.size() > 6) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  out = std::stoi(text);
  return out >= low && out <= high;
}

int Usage(const std::string& message) {
  std::fprintf(stderr, "folio render: %s\n", message.c_str());
  return kExitUsage;
}

std::string DefaultOutput(const std::string& file, ImageFormat format) {
  std::string stem = file.substr(file.find_last_of('/') == std::string::npos ? 0 : file.find_last_of('/') + 1);
  if (stem.size() > 4 && (stem.compare(stem.size() - 4, 4, ".pdf") == 0 || stem.compare(stem.size() - 4, 4, ".PDF") == 0)) {
    stem.resize(stem.size() - 4);
  }
  const char* extension = format == ImageFormat::kPng ? ".png" : format == ImageFormat::kPpm ? ".ppm" : ".pgm";
  return stem + "-%d" + extension;
}

std::string OutputFor(const std::string& pattern, int32_t page) {
  std::string name;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern.compare(i, 2, "%d") == 0) {
      name.append(std::to_string(page));
      ++i;
    } else {
      name.push_back(pattern[i]);
    }
  }
  return name;
}

// The buffer of one band, from the engine's budget.
class BandBuffer {
 public:
  BandBuffer(vn::AppContext& context, uint32_t bytes) : context_(context), pixels_(vn::TryAllocate(context, bytes)) {}
  ~BandBuffer() { vn::Free(context_, pixels_); }
  uint8_t* Pixels() const { return static_cast<uint8_t*>(pixels_); }

 private:
  vn::AppContext& context_;
  void* pixels_;
};

class Renderer {
 public:
  Renderer(vn::AppContext& context, vn::pdf::store::DocumentStore& store, const RenderOptions& options)
      : context_(context), options_(options), document_(context, store),
        colors_(context, document_->Resolver()) {}

  // Draws page `page` (from 1) into its output; false when it could not be
  // drawn at all or only in part (outcome.failure says why).
  void DrawPage(int32_t page, const std::string& output, PageOutcome& outcome);
  int32_t PageCount() { return document_->PageCount(); }

 private:
  bool PageGeometry(int32_t index, PageView& view, std::string& failure);
  // Draws the rows [top, bottom) of the page into `pixels`.
  void DrawBand(int32_t index, const PageView& view, uint8_t* pixels, int32_t top, int32_t bottom,
                PageOutcome& outcome);

  vn::AppContext& context_;
  const RenderOptions& options_;
  vn::Scoped<vn::pdf::document::Document> document_;
  vn::Scoped<vn::pdf::pdfcolor::DocumentColorSpaces> colors_;
};

bool Renderer::PageGeometry(int32_t index, PageView& view, std::string& failure) {
  int32_t code = EngineErrorOf(context_, [&] {
    vn::pdf::document::ObjectResolver& resolver = document_->Resolver();
    vn::pdf::document::ResolvedValue page(context_);
    resolver.GetIndirectObject(vn::pdf::document::GetPageReference(resolver, index), page);
    const vn::pdf::document::PageGeometry geometry = vn::pdf::document::GetPageGeometry(resolver, page);
    int64_t numerator = options_.sizeValue, denominator = 72 * 65536;
    if (options_.sizeOption != 'r') {
      const int32_t turned = (geometry.rotation + options_.rotate) % 180;
      const bool sideways = turned == 90;
      const vn::FixedRect& box = geometry.visible;
      // The box's sides in points.
      const int64_t width = ((static_cast<int64_t>(box.x1) - box.x0) * geometry.userUnit) >> 16;
      const int64_t height = ((static_cast<int64_t>(box.y1) - box.y0) * geometry.userUnit) >> 16;
      denominator = (options_.sizeOption == 'w') != sideways ? width : height;
    }
    view = vn::pdf::render::MakePageView(context_, geometry, options_.rotate, numerator, denominator);
  });
  if (code == -1) return true;
  failure = code == vn::kLimitExceeded
                ? "the page is too large (or empty) at this size: images have 1 to " +
                      std::to_string(vn::pdf::render::kMaxAreaSide) + " pixels a side"
                : "the page cannot be read: " + DescribeError(code);
  return false;
}

void Renderer::DrawBand(int32_t index, const PageView& view, uint8_t* pixels, int32_t top, int32_t bottom,
                        PageOutcome& outcome) {
  const vn::im::PixelBuffer surface =
      vn::im::LERGBBuffer(pixels, 0, top, view.width, bottom, static_cast<ptrdiff_t>(view.width) * 3);
  std::memset(pixels, 255, static_cast<size_t>(view.width) * 3 * static_cast<size_t>(bottom - top));
  BandPage band(outcome.tally);
  vn::Error error{nullptr, -1, false};
  bool drawn = true;
  uint32_t objects = 0;
  const int32_t code = RunOnEngineThread(context_, [&] {
    const int32_t setup = EngineErrorOf(context_, [&] {
      vn::pdf::render::DrawPageDEListener<BandPage> events(band);
      vn::Scoped<vn::pdf::render::DrawPageDLConsumer<BandPage>> consumer(context_, band, *document_, *colors_, surface,
                                                                         view.pageToDevice, events);
      band.Attach(consumer.get());
      drawn = vn::pdf::render::DrawPageContent(*consumer, *document_, index, error);
      objects = consumer->PaintedObjects();
    });
    if (setup != -1) {
      drawn = false;
      error.code = setup;
    }
  });
  if (code != -1) {
    drawn = false;
    error.code = code;
  }
  if (!drawn && outcome.failure.empty()) {
    outcome.failure = "drawing stopped after " + std::to_string(objects) + " objects in rows " + std::to_string(top) +
                      " to " + std::to_string(bottom) + ": " +
                      (error.domain == nullptr || error.domain == vn::kRuntimeDomain ? DescribeError(error.code)
                                                                                       : "an error");
  }
}

void Renderer::DrawPage(int32_t page, const std::string& output, PageOutcome& outcome) {
  const auto start = std::chrono::steady_clock::now();
  context_.Budget().ResetPeak();
  outcome.page = page;
  outcome.output = output;
  PageView view{};
  if (!PageGeometry(page - 1, view, outcome.failure)) return;
  outcome.width = view.width;
  outcome.height = view.height;

  // Bands of at most a quarter of the budget's soft limit; fewer rows when
  // memory is short.
  const uint32_t rowBytes = static_cast<uint32_t>(view.width) * 3;
  int32_t bandRows = static_cast<int32_t>(context_.Budget().SoftLimit() / 4 / rowBytes);
  if (bandRows < 1) bandRows = 1;
  if (bandRows > view.height) bandRows = view.height;
  std::unique_ptr<BandBuffer> buffer;
  for (;;) {
    buffer = std::make_unique<BandBuffer>(context_, rowBytes * static_cast<uint32_t>(bandRows));
    if (buffer->Pixels() != nullptr || bandRows == 1) break;
    bandRows /= 2;
  }
  if (buffer->Pixels() == nullptr) {
    outcome.failure = "the engine's memory budget cannot hold one row of the image";
    return;
  }

  FILE* out = output == "-" ? stdout : std::fopen(output.c_str(), "wb");
  if (out == nullptr) {
    outcome.failure = "cannot write " + output + ": " + std::strerror(errno);
    return;
  }
  std::unique_ptr<ImageWriter> writer = ImageWriter::Make(options_.format, out, view.width, view.height);
  bool written = true;
  for (int32_t top = 0; top < view.height; top += bandRows) {
    const int32_t bottom = top + bandRows < view.height ? top + bandRows : view.height;
    DrawBand(page - 1, view, buffer->Pixels(), top, bottom, outcome);
    for (int32_t y = top; y < bottom && written; ++y) written = writer->WriteRow(buffer->Pixels() + (y - top) * rowBytes);
  }
  written = writer->Finish() && written;
  writer.reset();
  if (out != stdout && std::fclose(out) != 0) written = false;
  if (!written && outcome.failure.empty()) outcome.failure = "writing " + output + " failed";
  outcome.written = written;
  outcome.peakMemory = context_.Budget().PeakBytes();
  outcome.milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
                             .count();
}

void PrintJson(const std::vector<PageOutcome>& pages) {
  JsonWriter w;
  w.BeginArray();
  for (const PageOutcome& p : pages) {
    w.BeginObject().Key("page").Number(p.page).Key("output").String(p.output);
    w.Key("width").Number(p.width).Key("height").Number(p.height).Key("milliseconds").Number(p.milliseconds);
    w.Key("peak_memory").Number(p.peakMemory).Key("painted_objects").Number(static_cast<int64_t>(p.tally.painted.size()));
    w.Key("events").BeginArray();
    for (const auto& [kind, objects] : p.tally.events) {
      w.BeginObject().Key("category").Number(kind.first).Key("detail").Number(kind.second);
      w.Key("count").Number(static_cast<int64_t>(objects.size()));
      const std::string words = DescribeEvents(kind.first, kind.second, objects.size(), p.tally);
      if (!words.empty()) w.Key("description").String(words);
      w.EndObject();
    }
    w.EndArray();
    if (!p.failure.empty()) w.Key("error").String(p.failure);
    w.EndObject();
  }
  w.EndArray();
  std::printf("%s\n", w.Text().c_str());
}

// Parses the options; returns a usage message, or "" when they are fine.
std::string ParseOptions(const Arguments& arguments, RenderOptions& o, std::vector<PageSpan>& spans) {
  o.file = arguments.Positionals()[0];
  if (arguments.Positionals().size() > 1 && !ParsePageRange(arguments.Positionals()[1], spans)) {
    return "'" + arguments.Positionals()[1] + "' is not a page range (examples: 3, 2-5, 1,4,7-9)";
  }
  if (arguments.Has("--password")) o.password = arguments.Value("--password");
  int sizes = 0;
  for (const char* option : {"-r", "-w", "-H"}) {
    if (!arguments.Has(option)) continue;
    ++sizes;
    o.sizeOption = option[1] == 'H' ? 'h' : option[1];
    const int32_t high = o.sizeOption == 'r' ? 9600 : vn::pdf::render::kMaxAreaSide;
    if (!ParseCount(arguments.Value(option), 1, high, o.sizeValue)) {
      return std::string(option) + " needs a whole number from 1 to " + std::to_string(high);
    }
  }
  if (sizes > 1) return "give only one of -r, -w and -H";
  if (arguments.Has("--rotate")) {
    const std::string& r = arguments.Value("--rotate");
    if (r != "0" && r != "90" && r != "180" && r != "270") return "--rotate takes 0, 90, 180 or 270";
    o.rotate = std::stoi(r);
  }
  o.json = arguments.Has("--json");
  const bool formatGiven = arguments.Has("-F");
  if (formatGiven && !ParseImageFormat(arguments.Value("-F"), o.format)) return "-F takes png, ppm or pgm";
  if (arguments.Has("-o")) {
    o.output = arguments.Value("-o");
    if (o.output.empty()) return "-o needs a file name (or - for standard output)";
    if (!formatGiven && o.output != "-" && !FormatFromExtension(o.output, o.format)) {
      return "cannot tell the image format from '" + o.output + "' (name it .png, .ppm or .pgm, or use -F)";
    }
    if (o.output == "-" && o.json) return "--json prints on standard output: it cannot go with -o -";
  } else {
    o.output = DefaultOutput(o.file, o.format);
  }
  return std::string();
}

}  // namespace

int RunRender(const Arguments& arguments) {
  RenderOptions options;
  std::vector<PageSpan> spans;
  if (std::string message = ParseOptions(arguments, options, spans); !message.empty()) return Usage(message);

  vn::AppContext context;
  vn::ThreadScheduler scheduler(context);
  OpenDocument document(context);
  if (!document.Open(options.file, options.password)) return Fail(options.file, document.Reason());
  std::unique_ptr<Renderer> renderer;
  int32_t count = 0;
  int32_t code = EngineErrorOf(context, [&] {
    renderer = std::make_unique<Renderer>(context, document.Store(), options);
    count = renderer->PageCount();
  });
  if (code != -1) return Fail(options.file, "the page tree cannot be read: " + DescribeError(code));
  std::vector<int32_t> pages;
  std::string failure;
  if (!ListPages(spans, count, pages, failure)) return Fail(options.file, failure);
  if (pages.size() > 1 && options.output == "-") return Usage("-o - writes one page: name one page");
  if (pages.size() > 1 && options.output.find("%d") == std::string::npos) {
    return Usage("several pages need an output name with %d (replaced by the page number)");
  }

  std::vector<PageOutcome> outcomes;
  int status = kExitOk;
  for (int32_t page : pages) {
    PageOutcome& outcome = outcomes.emplace_back();
    renderer->DrawPage(page, OutputFor(options.output, page), outcome);
    if (outcome.failure.empty() && !options.json && options.output != "-") {
      std::printf("page %d: %s (%d x %d)\n", page, outcome.output.c_str(), outcome.width, outcome.height);
      std::fflush(stdout);
    }
    for (const auto& [kind, objects] : outcome.tally.events) {
      const std::string words = DescribeEvents(kind.first, kind.second, objects.size(), outcome.tally);
      if (!words.empty()) std::fprintf(stderr, "page %d: %s\n", page, words.c_str());
    }
    if (!outcome.failure.empty()) {
      std::fprintf(stderr, "folio: %s: page %d: %s\n", options.file.c_str(), page, outcome.failure.c_str());
      status = kExitFailed;
    }
  }
  if (options.json) PrintJson(outcomes);
  std::fflush(stdout);
  renderer.reset();
  return status;
}

}  // namespace folio::cli
