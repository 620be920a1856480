// Rebuilding the cross-reference data of the largest corpus file by
// scanning it (its startxref cut off, so the open repairs it), in MB/s of
// file bytes: the scan alone, and the whole open with the index built;
// beside mutool showing the trailer of the same damaged copy (its repair,
// plus starting the process, timed through the shell). Wall time: the peer runs in
// another process.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "data_io/raw_data_store.h"
#include "pdf/store/document_store.h"
#include "pdf/store/object_scan.h"
#include "runtime/app_context.h"
#include "support/corpus.h"
#include "support/test_documents.h"

namespace {

struct DamagedCopy {
  std::string name;
  std::string bytes;
  std::string path;  // the copy on disk, for mutool
};

// The largest corpus file, with everything from its last "startxref" on
// replaced by a wrong one.
const DamagedCopy& Damaged() {
  static const DamagedCopy copy = [] {
    DamagedCopy c;
    const vn::test::CorpusFile* largest = nullptr;
    static std::vector<vn::test::CorpusFile> files = vn::test::CorpusFiles();
    for (const auto& f : files) {
      if (f.encrypted == "none" && (largest == nullptr || f.bytes > largest->bytes)) largest = &f;
    }
    if (largest == nullptr) return c;
    std::vector<unsigned char> bytes = vn::test::ReadWholeFile(largest->path);
    c.name = largest->name;
    c.bytes.assign(bytes.begin(), bytes.end());
    c.bytes = c.bytes.substr(0, c.bytes.rfind("startxref")) + "startxref\n1\n%%EOF\n";
    c.path = "/tmp/folio-bench-damaged.pdf";
    FILE* f = std::fopen(c.path.c_str(), "wb");
    if (f != nullptr) {
      std::fwrite(c.bytes.data(), 1, c.bytes.size(), f);
      std::fclose(f);
    }
    return c;
  }();
  return copy;
}

void BM_ScanForObjects(benchmark::State& state) {
  const DamagedCopy& copy = Damaged();
  if (copy.bytes.empty()) return state.SkipWithError("corpus absent");
  vn::AppContext context;
  vn::data_io::RawDataStore store(context, reinterpret_cast<const uint8_t*>(copy.bytes.data()), copy.bytes.size());
  for (auto _ : state) {
    vn::pdf::store::ObjectScan scan(context);
    scan.Run(store);
    benchmark::DoNotOptimize(scan.entries.Size());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(copy.bytes.size()));
  state.SetLabel(copy.name);
}
BENCHMARK(BM_ScanForObjects)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RebuildByScan(benchmark::State& state) {
  const DamagedCopy& copy = Damaged();
  if (copy.bytes.empty()) return state.SkipWithError("corpus absent");
  vn::AppContext context;
  for (auto _ : state) {
    vn::Owned<vn::pdf::store::DocumentStore> store(context);
    if (vn::test::OpenMemoryDocument(context, copy.bytes, store) != -1 || !store->IsRepaired()) {
      return state.SkipWithError("the damaged copy did not open repaired");
    }
    context.Caches().LowMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(copy.bytes.size()));
  state.SetLabel(copy.name);
}
BENCHMARK(BM_RebuildByScan)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MutoolRepairOpen(benchmark::State& state) {
  const DamagedCopy& copy = Damaged();
  if (copy.bytes.empty()) return state.SkipWithError("corpus absent");
  if (std::system("command -v mutool >/dev/null 2>&1") != 0) return state.SkipWithError("mutool absent");
  const std::string command = "mutool show '" + copy.path + "' trailer >/dev/null 2>&1";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) return state.SkipWithError("mutool failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(copy.bytes.size()));
  state.SetLabel("mutool show trailer, process start included");
}
BENCHMARK(BM_MutoolRepairOpen)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
