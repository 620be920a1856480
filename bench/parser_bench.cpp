// Parsing speed: every object of the largest corpus file opened through the
// document store, caches emptied before each pass, in MB/s of file bytes.
#include <benchmark/benchmark.h>

#include <string>

#include "data_io/file_data_store.h"
#include "pdf/store/document_store.h"
#include "runtime/app_context.h"
#include "support/corpus.h"

namespace {

std::string LargestPlainCorpusFile(long long* bytes) {
  std::string best;
  *bytes = 0;
  for (const auto& f : vn::test::CorpusFiles()) {
    if (f.encrypted != "none" || f.HasFeature("broken") || f.bytes > 8000000) continue;
    if (f.bytes > *bytes) {
      *bytes = f.bytes;
      best = f.path;
    }
  }
  return best;
}

void BM_ParseEveryObject(benchmark::State& state) {
  long long bytes = 0;
  std::string path = LargestPlainCorpusFile(&bytes);
  if (path.empty()) {
    state.SkipWithError("corpus absent");
    return;
  }
  std::wstring wide(path.begin(), path.end());
  vn::AppContext context;
  vn::Owned<vn::pdf::store::DocumentStore> store(context);
  store.Set(vn::pdf::store::OpenDocument(context, vn::New<vn::data_io::FileDataStore>(context, context, wide.c_str())));
  vn::pdf::store::Value size = vn::pdf::store::Get(context, store->Trailer(), "Size");
  int64_t objects = 0;
  for (auto _ : state) {
    context.Caches().LowMemory();
    for (int32_t n = 1; n < size.i; ++n) {
      vn::Ref<vn::pdf::store::ParsedObject> held(context);
      store->GetObject(held, n);
      ++objects;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes);
  state.counters["objects"] = benchmark::Counter(static_cast<double>(objects), benchmark::Counter::kIsRate);
  state.SetLabel(path.substr(path.rfind('/') + 1));
}
BENCHMARK(BM_ParseEveryObject)->Unit(benchmark::kMillisecond);

}  // namespace
