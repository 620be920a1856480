// Throughput of the engine's RC4 and MD5 (bytes per second).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "pdf/security/md5.h"
#include "pdf/security/rc4.h"

namespace {

std::vector<uint8_t> Buffer(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t k = 0; k < n; ++k) v[k] = static_cast<uint8_t>(k * 131 + 7);
  return v;
}

void BM_Rc4(benchmark::State& state) {
  std::vector<uint8_t> data = Buffer(static_cast<size_t>(state.range(0)));
  const uint8_t key[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  vn::pdf::security::Rc4State rc4;
  rc4.Init(key, 16);
  for (auto _ : state) {
    rc4.Process(data.data(), data.data(), static_cast<uint32_t>(data.size()));
    benchmark::DoNotOptimize(data.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Rc4)->Arg(64)->Arg(4096)->Arg(1 << 20);

// Keying cost: one per string of an encrypted object.
void BM_Rc4Init(benchmark::State& state) {
  const uint8_t key[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  vn::pdf::security::Rc4State rc4;
  for (auto _ : state) {
    rc4.Init(key, 16);
    benchmark::DoNotOptimize(rc4.s);
  }
}
BENCHMARK(BM_Rc4Init);

void BM_Md5(benchmark::State& state) {
  std::vector<uint8_t> data = Buffer(static_cast<size_t>(state.range(0)));
  uint8_t digest[16];
  for (auto _ : state) {
    vn::pdf::security::Md5Digest(data.data(), static_cast<uint32_t>(data.size()), digest);
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Md5)->Arg(16)->Arg(4096)->Arg(1 << 20);

}  // namespace
