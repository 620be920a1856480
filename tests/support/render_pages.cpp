#include "support/render_pages.h"

#include <optional>

#include "pdf/document/document.h"
#include "pdf/document/page_tree.h"
#include "pdf/pdfcolor/pdf_color_spaces.h"
#include "pdf/render/draw_page.h"
#include "runtime/engine_new.h"
#include "runtime/threads/scheduler.h"
#include "runtime/threads/stack_pool.h"
#include "runtime/threads/thread_impl.h"
#include "support/pdf_builder.h"
#include "support/test_context.h"
#include "support/test_documents.h"

namespace vn::test {

namespace {

class RecordingListener final : public pdf::render::DisplayEventListenerBase {
 public:
  explicit RecordingListener(std::vector<std::pair<int32_t, int32_t>>& events) : events_(events) {}
  void DisplayEvent(int32_t, int32_t category, int32_t detail) override { events_.emplace_back(category, detail); }

 private:
  std::vector<std::pair<int32_t, int32_t>>& events_;
};

template <class Body>
class BodyThread final : public ThreadImpl {
 public:
  BodyThread(AppContext& context, Body& body) : ThreadImpl(context, 1024, 256, kMaxStackRequest), body_(body) {}
  void Run() override { body_(); }

 private:
  Body& body_;
};

}  // namespace

std::string OnePagePdf(const std::string& content, const std::string& resources, const std::vector<std::string>& objects,
                       const std::string& mediaBox, const std::string& pageExtra) {
  PdfBuilder pdf;
  pdf.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
  pdf.Add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  pdf.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [" + mediaBox + "] /Resources << " + resources +
                 " >> /Contents 4 0 R " + pageExtra + " >>");
  pdf.Add(4, "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream");
  int number = 5;
  for (const std::string& object : objects) pdf.Add(number++, object);
  return pdf.Finish(pdf.Trailer());
}

std::string Rendered::At(int32_t x, int32_t y) const {
  return std::to_string(Red(x, y)) + "," + std::to_string(Green(x, y)) + "," + std::to_string(Blue(x, y));
}

size_t Rendered::Count(int32_t category, int32_t detail) const {
  size_t n = 0;
  for (const auto& e : events) n += e.first == category && e.second == detail;
  return n;
}

Rendered RenderPdf(AppContext& context, const std::string& pdf, const RenderRequest& request) {
  Rendered out;
  std::optional<ThreadScheduler> scheduler;
  if (request.onEngineThread && context.Scheduler() == nullptr) scheduler.emplace(context);
  Owned<pdf::store::DocumentStore> store(context);
  out.error = OpenMemoryDocument(context, pdf, store);
  if (out.error != -1) return out;
  Scoped<pdf::document::Document> document(context, *store);
  Scoped<pdf::pdfcolor::DocumentColorSpaces> colors(context, document->Resolver());
  pdf::render::PageView view{};
  out.error = RaisedCode(context, [&] {
    pdf::document::ResolvedValue page(context);
    document->Resolver().GetIndirectObject(pdf::document::GetPageReference(document->Resolver(), request.page), page);
    view = pdf::render::MakePageView(context, pdf::document::GetPageGeometry(document->Resolver(), page),
                                     request.rotate, request.dpi, 72 * 65536);
  });
  if (out.error != -1) return out;
  out.width = view.width;
  out.height = view.height;
  const int32_t band = request.bandRows > 0 ? request.bandRows : view.height;
  RecordingListener listener(out.events);
  const bool killFirst = request.onEngineThread && request.killAfterSwitches != 0;
  for (int attempt = killFirst ? 0 : 1; attempt < 2; ++attempt) {
  const bool kill = attempt == 0;
  out.bgr.assign(static_cast<size_t>(view.width) * view.height * 3, 255);
  out.events.clear();
  out.painted = 0;
  out.error = -1;
  for (int32_t top = 0; top < view.height && out.error == -1; top += band) {
    const int32_t bottom = std::min(view.height, top + band);
    auto draw = [&] {
      im::PixelBuffer surface = im::LERGBBuffer(out.bgr.data() + static_cast<size_t>(top) * view.width * 3, 0, top,
                                                view.width, bottom, static_cast<ptrdiff_t>(view.width) * 3);
      int32_t stopped = -1;
      const int32_t raised = RaisedCode(context, [&] {
        Scoped<pdf::render::RenderConsumer> consumer(context, *document, *colors, surface, view.pageToDevice, listener);
        Error error{nullptr, -1, false};
        if (!pdf::render::DrawPageContent(*consumer, *document, request.page, error)) stopped = error.code;
        out.painted += consumer->PaintedObjects();
      });
      out.error = raised != -1 ? raised : stopped;
    };
    if (!request.onEngineThread) {
      draw();
      continue;
    }
    ThreadScheduler& s = *context.Scheduler();
    Ref<ThreadImpl> thread(context, New<BodyThread<decltype(draw)>>(context, context, draw));
    const uint64_t killAt = kill ? s.Switches() + request.killAfterSwitches : 0;
    s.Start(thread.get());
    while (!thread->HasEnded() && s.RingSize() > 1) {
      if (killAt != 0 && s.Switches() >= killAt) s.Kill(thread.get());
      s.RunScheduler(killAt != 0 ? 0 : 1000);
    }
    if (thread->EndedByError()) out.error = thread->EndError().code;
  }
  if (kill) out.killedError = out.error;
  }
  return out;
}

std::string StreamObject(const std::string& entries, const std::string& data) {
  return "<< " + entries + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream";
}

}  // namespace vn::test
