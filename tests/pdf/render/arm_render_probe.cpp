// The render stack figures of stack_use_test.cpp on 32-bit ARM, under
// user-mode emulation (the test binaries proper are x86-64 only): the
// stack one nested q level costs, and how deep one level's own work
// (populating, painting) goes and meets stack checks, over the first pages
// of the PDF files named on the command line.
//
//   bash tools/build-arm.sh
//   s=build-arm/sysroot/usr/lib/arm-linux-gnueabi
//   arm-linux-gnueabi-g++ -std=c++20 -O2 -static -Isrc -Itests -fno-exceptions -fno-rtti \
//     tests/pdf/render/arm_render_probe.cpp tests/support/pdf_builder.cpp \
//     build-arm/engine/src/libfolio_engine.a $s/libjpeg.a $s/libz.a -o build-arm/arm_render_probe
//   qemu-arm build-arm/arm_render_probe FILE.pdf ...

#include <cstdio>
#include <string>

#include "data_io/file_data_store.h"
#include "pdf/render/render_stack_probe.h"
#include "pdf/security/security_handler.h"
#include "runtime/threads/scheduler.h"
#include "support/pdf_builder.h"

namespace {

template <class Body>
class ProbeThread final : public vn::ThreadImpl {
 public:
  ProbeThread(vn::AppContext& context, Body& body) : ThreadImpl(context, 1024, 256, vn::kMaxStackRequest), body_(body) {}
  void Run() override { body_(); }

 private:
  Body& body_;
};

// Measures page 1 of `path` on an engine thread; false when it does not open.
bool Measure(vn::AppContext& context, const std::string& path, vn::test::StackFigures& figures) {
  vn::Owned<vn::pdf::store::DocumentStore> store(context);
  std::wstring wide(path.begin(), path.end());
  vn::TryFrame frame;
  volatile bool opened = false;
  if (VN_TRY(context, frame)) {
    store.Set(vn::pdf::store::OpenDocument(context, vn::New<vn::data_io::FileDataStore>(context, context, wide.c_str())));
    opened = store->Security()->IsAuthorized();
  } else {
    vn::Catch(frame);
  }
  vn::EndTry(frame);
  if (!opened) return false;
  vn::Scoped<vn::pdf::document::Document> document(context, *store);
  vn::Scoped<vn::pdf::pdfcolor::DocumentColorSpaces> colors(context, document->Resolver());
  int32_t error = -1;
  auto body = [&] {
    vn::TryFrame inner;
    if (VN_TRY(context, inner)) {
      error = vn::test::MeasurePage(context, *document, *colors, 0, figures);
    } else {
      error = vn::Catch(inner).code;
    }
    vn::EndTry(inner);
  };
  vn::Ref<vn::ThreadImpl> thread(context, vn::New<ProbeThread<decltype(body)>>(context, context, body));
  context.Scheduler()->Start(thread.get());
  while (!thread->HasEnded() && context.Scheduler()->RingSize() > 1) context.Scheduler()->RunScheduler(1000);
  if (error != -1) std::printf("%s: drawing ended with engine error %d\n", path.c_str(), error);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  vn::AppContext context;
  vn::ThreadScheduler scheduler(context);
  // Thirty nested saves, for the cost of one level.
  std::string content;
  for (int i = 0; i < 30; ++i) content += "q ";
  content += "0 g 0 0 10 10 re f";
  vn::test::PdfBuilder pdf;
  pdf.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
  pdf.Add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  pdf.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] /Contents 4 0 R >>");
  pdf.Add(4, "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream");
  const std::string nested = "/tmp/arm_render_probe_nested.pdf";
  FILE* f = std::fopen(nested.c_str(), "wb");
  const std::string text = pdf.Finish(pdf.Trailer());
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
  vn::test::StackFigures figures;
  Measure(context, nested, figures);
  const uint32_t levelBytes = figures.levelBytes;
  int pages = 0;
  for (int i = 1; i < argc; ++i) pages += Measure(context, argv[i], figures);
  std::printf("render stack: %u bytes per nested level; a level's own work reaches %u bytes below its frame "
              "(populating %u, painting %u; %u paths on %d pages) and meets stack checks %u bytes down\n",
              levelBytes, figures.populateBytes > figures.paintBytes ? figures.populateBytes : figures.paintBytes,
              figures.populateBytes, figures.paintBytes, figures.paths, pages, figures.checkBytes);
  return 0;
}
