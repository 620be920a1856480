// Nanoseconds per 16.16 operation over varied operands.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>

#include "runtime/app_context.h"
#include "runtime/fixed_matrix.h"

namespace {

struct Operands {
  static constexpr int kCount = 1024;
  vn::Fixed16_16 a[kCount];
  vn::Fixed16_16 b[kCount];
  Operands() {
    std::mt19937 rng(1);
    for (int i = 0; i < kCount; ++i) {
      a[i] = static_cast<vn::Fixed16_16>(static_cast<int32_t>(rng()) >> (rng() % 16));
      b[i] = static_cast<vn::Fixed16_16>(static_cast<int32_t>(rng()) >> (8 + rng() % 16));
    }
  }
};

const Operands& Ops() {
  static const Operands ops;
  return ops;
}

template <class Op>
void Run(benchmark::State& state, Op op) {
  const Operands& ops = Ops();
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(op(ops.a[i], ops.b[i]));
    i = (i + 1) & (Operands::kCount - 1);
  }
}

void BM_FixedMul(benchmark::State& s) { Run(s, [](auto a, auto b) { return vn::FixedMul(a, b); }); }
void BM_FixedDiv(benchmark::State& s) { Run(s, [](auto a, auto b) { return vn::FixedDiv(a, b); }); }
void BM_FixedSqrt(benchmark::State& s) { Run(s, [](auto a, auto) { return vn::FixedSqrt(a & 0x7FFFFFFF); }); }
void BM_FixedPow(benchmark::State& s) {
  Run(s, [](auto a, auto b) { return vn::FixedPow((a & 0x3FFFFF) + 1, b >> 8); });
}
void BM_Invert(benchmark::State& s) {
  vn::AppContext context;
  const Operands& ops = Ops();
  int i = 0;
  for (auto _ : s) {
    const vn::Fixed16_16 x = ops.a[i] >> 8;
    // Diagonal 1..17 and 2.0, off-diagonal at most 0.5: never singular.
    const vn::FixedMatrix m{0x10000 + (x & 0xFFFFF), x >> 8, ops.b[i] >> 8, 0x20000, x, ops.b[i]};
    benchmark::DoNotOptimize(vn::Invert(context, m));
    i = (i + 1) & (Operands::kCount - 1);
  }
}

}  // namespace

BENCHMARK(BM_FixedMul);
BENCHMARK(BM_FixedDiv);
BENCHMARK(BM_FixedSqrt);
BENCHMARK(BM_FixedPow);
BENCHMARK(BM_Invert);
