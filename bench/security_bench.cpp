// Throughput of the engine's RC4, MD5 and AES (bytes per second): the
// ciphers on a buffer, and RC4 and AES as the block streams that decrypt
// stream data, over the same 1 MB; and the cost of one revision 6 password
// check.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "../tests/data_io/memory_stream.h"
#include "pdf/security/aes.h"
#include "pdf/security/aes256_password.h"
#include "pdf/security/aes_stream.h"
#include "pdf/security/md5.h"
#include "pdf/security/rc4.h"
#include "pdf/security/rc4_stream.h"
#include "runtime/app_context.h"

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

const uint8_t kKey[32] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16,
                          17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32};

// AES-128 (range 16) or AES-256 (32) in CBC mode over a buffer.
void BM_AesCbcDecrypt(benchmark::State& state) {
  std::vector<uint8_t> data = Buffer(1 << 20);
  vn::pdf::security::AesCipher aes;
  aes.SetDecryptKey(kKey, static_cast<uint32_t>(state.range(0)));
  uint8_t iv[16] = {};
  for (auto _ : state) {
    aes.DecryptCbc(iv, data.data(), data.data(), static_cast<uint32_t>(data.size()));
    benchmark::DoNotOptimize(data.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(data.size()));
}
BENCHMARK(BM_AesCbcDecrypt)->Arg(16)->Arg(32);

// Stream data decrypted as the filter chain reads it: RC4 (range 0),
// AES-128 (16), AES-256 (32), from 4 KB source blocks.
void BM_DecryptingStream(benchmark::State& state) {
  vn::AppContext context;
  std::vector<uint8_t> data = Buffer(1 << 20);
  for (auto _ : state) {
    auto* source = vn::test::NewMemoryStream(context, data, 4096);
    vn::data_io::DataBlockStream* stream;
    if (state.range(0) == 0) {
      stream = vn::New<vn::pdf::security::RC4DataBlockStream>(context, context, source, kKey, 16u);
    } else {
      stream = vn::New<vn::pdf::security::AESDataBlockStream>(context, context, source, kKey,
                                                              static_cast<uint32_t>(state.range(0)));
    }
    vn::Owned<vn::data_io::DataBlockStream> owned(context, stream);
    vn::data_io::DataBlockRef block(context);
    for (owned->GetNextBlock(block); !block.Empty(); owned->GetNextBlock(block)) benchmark::DoNotOptimize(block.Data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(data.size()));
  state.SetLabel(state.range(0) == 0 ? "RC4" : state.range(0) == 16 ? "AES-128" : "AES-256");
}
BENCHMARK(BM_DecryptingStream)->Arg(0)->Arg(16)->Arg(32);

// One password hash of revision 6 (each open tries up to four).
void BM_Revision6PasswordHash(benchmark::State& state) {
  vn::AppContext context;
  const uint8_t salt[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  const uint8_t password[] = "a password";
  uint8_t hash[32];
  for (auto _ : state) {
    vn::pdf::security::HashAes256Password(context, 6, password, 10, salt, nullptr, hash);
    benchmark::DoNotOptimize(hash);
  }
}
BENCHMARK(BM_Revision6PasswordHash)->Unit(benchmark::kMillisecond);

}  // namespace
