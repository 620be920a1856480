// Display lists on the heaviest corpus page (the one whose list has the
// most entries): population speed in content operators per second, and
// replay speed into a consumer that does nothing.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "opened_document.h"
#include "pdf/content/content_parser.h"
#include "pdf/content/dl_player.h"
#include "pdf/document/document.h"
#include "pdf/document/page_content_record.h"
#include "pdf/document/page_tree.h"
#include "support/corpus.h"
#include "support/test_context.h"

namespace {

using vn::pdf::document::DisplayList;
using vn::pdf::document::Document;


struct Heaviest {
  std::string path;
  int32_t page = -1;
  uint32_t entries = 0;
  uint32_t operators = 0;  // as the printer sees them
};

const Heaviest& FindHeaviest() {
  static Heaviest best = [] {
    Heaviest h;
    for (const auto& file : vn::test::CorpusFiles()) {
      vn::AppContext context;
      vn::bench::OpenedDocument opened(context, file.path);
      if (!opened) continue;
      // Only plain values change inside the try frame; the path is copied after it.
      int32_t bestPage = -1;
      uint32_t bestEntries = h.entries;
      vn::test::RaisedCode(context, [&] {
        vn::Scoped<Document> doc(context, opened.Store());
        int32_t count = doc->PageCount();
        for (int32_t page = 0; page < count; ++page) {
          vn::Ref<vn::pdf::document::PageDisplayList> list(context);
          doc->GetPageDisplayList(list, page);
          list->PopulateAll();
          if (list->EntryCount() > bestEntries && list->Errors().Size() == 0) {
            bestPage = page;
            bestEntries = list->EntryCount();
          }
        }
      });
      if (bestPage >= 0) h = Heaviest{file.path, bestPage, bestEntries, 0};
    }
    if (h.page >= 0) {
      // Operators as the content parser hands them over.
      vn::AppContext context;
      vn::bench::OpenedDocument opened(context, h.path);
      vn::test::RaisedCode(context, [&] {
        vn::Scoped<Document> doc(context, opened.Store());
        vn::pdf::document::ObjectId page = vn::pdf::document::GetPageReference(doc->Resolver(), h.page);
        vn::Ref<vn::pdf::content::ContentRecord> record(
            context, vn::New<vn::pdf::document::PageContentRecord>(context, doc->Resolver(), page));
        vn::Owned<vn::data_io::DataBlockStream> stream(context, record->OpenContentStream());
        vn::data_io::BufferedDataBlockStream source(context, stream.get());
        vn::Arena arena(context, 1024, 256);
        vn::pdf::content::ContentParserClient ignore;
        vn::Scoped<vn::pdf::content::ContentParser> parser(context, context, source, arena, ignore);
        parser->Run();
        h.operators = parser->DispatchCount();
      });
      std::fprintf(stderr, "heaviest page: %s page %d, %u entries, %u operators\n", h.path.c_str(), h.page + 1,
                   h.entries, h.operators);
    }
    return h;
  }();
  return best;
}

void BM_DisplayListPopulation(benchmark::State& state) {
  const Heaviest& h = FindHeaviest();
  if (h.page < 0) return state.SkipWithError("no corpus");
  vn::AppContext context;
  vn::bench::OpenedDocument opened(context, h.path);
  vn::Scoped<Document> doc(context, opened.Store());
  vn::pdf::document::ObjectId page = vn::pdf::document::GetPageReference(doc->Resolver(), h.page);
  for (auto _ : state) {
    vn::test::RaisedCode(context, [&] {
      vn::Ref<vn::pdf::content::ContentRecord> record(
          context, vn::New<vn::pdf::document::PageContentRecord>(context, doc->Resolver(), page));
      vn::Ref<DisplayList> list(context, vn::New<DisplayList>(context, context, doc->Resolver(), record.get()));
      list->PopulateAll();
      benchmark::DoNotOptimize(list->EntryCount());
    });
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * h.operators);
}
BENCHMARK(BM_DisplayListPopulation)->Unit(benchmark::kMillisecond);

void BM_DisplayListReplay(benchmark::State& state) {
  const Heaviest& h = FindHeaviest();
  if (h.page < 0) return state.SkipWithError("no corpus");
  vn::AppContext context;
  vn::bench::OpenedDocument opened(context, h.path);
  vn::Scoped<Document> doc(context, opened.Store());
  vn::Ref<vn::pdf::document::PageDisplayList> list(context);
  vn::test::RaisedCode(context, [&] {
    doc->GetPageDisplayList(list, h.page);
    list->PopulateAll();
  });
  vn::pdf::content::DLConsumer nothing;
  for (auto _ : state) {
    vn::test::RaisedCode(context, [&] {
      vn::pdf::content::DLPlayer player(*list, nothing);
      player.Play();
    });
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * h.entries);
}
BENCHMARK(BM_DisplayListReplay)->Unit(benchmark::kMillisecond);

}  // namespace
