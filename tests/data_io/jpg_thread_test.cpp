// The DCT decoder on an engine thread's 16 KB stack: libjpeg's frames run on
// it, so the deepest decode must leave the stack-check reserve untouched.
#include <gtest/gtest.h>

#include <cstring>

#include "data_io/jpg_stream.h"
#include "data_io/jpg_test_support.h"
#include "memory_stream.h"
#include "runtime/threads/thread_test_support.h"
#include "runtime/yield_points.h"

namespace vn::test {
namespace {

constexpr uint8_t kPaint = 0xA5;

// Paints `bytes` of the stack below the caller's frame.
__attribute__((noinline)) void PaintBelow(uint32_t bytes) {
  volatile uint8_t area[12288];
  for (uint32_t i = 0; i < bytes && i < sizeof area; ++i) area[i] = kPaint;
}

// How many of the painted bytes, counted from the far end, are untouched:
// the same area, read back without writing it (on purpose).
#pragma GCC diagnostic push
#if !defined(__clang__)  // gcc's own warning; clang has no such group
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
__attribute__((noinline)) uint32_t UntouchedBelow(uint32_t bytes) {
  volatile uint8_t area[12288];
  uint32_t n = 0;
  while (n < bytes && n < sizeof area && area[n] == kPaint) ++n;
  return n;
}
#pragma GCC diagnostic pop

std::vector<std::vector<uint8_t>> DecodeRows(AppContext& context, const std::vector<uint8_t>& jpeg, int32_t scale) {
  Owned<data_io::JPGDataBlockStream> stream(
      context, New<data_io::JPGDataBlockStream>(context, context, NewMemoryStream(context, jpeg, 512), scale));
  std::vector<std::vector<uint8_t>> rows;
  data_io::DataBlockRef block(context);
  for (;;) {
    stream->GetNextBlock(block);
    if (block.Empty()) break;
    rows.emplace_back(block.Data(), block.Data() + block.Length());
  }
  return rows;
}

TEST_F(ThreadsTest, JpgDecodesWithinAnEngineThreadStack) {
  if (kStackScale != 1) GTEST_SKIP() << "instrumented build: stack sizes differ";
  const std::vector<uint8_t> files[] = {EncodeJpeg(301, 97, 3), EncodeJpeg(120, 64, 3, true),
                                        EncodeJpeg(50, 40, 4), EncodeJpeg(77, 33, 1, true)};
  for (const auto& jpeg : files) {
    for (int32_t scale : {1, 8}) {
      std::vector<std::vector<uint8_t>> rows;
      uint32_t painted = 0, untouched = 0, remaining = 0;
      Spawn([&] {
        remaining = StackRemaining(context);
        painted = remaining > 12288 ? 12288 : remaining - 256;
        PaintBelow(painted);
        rows = DecodeRows(context, jpeg, scale);
        untouched = UntouchedBelow(painted);
      });
      Drain();
      EXPECT_EQ(rows, ReferenceDecode(jpeg, static_cast<unsigned>(scale)).rows);
      // The deepest frame left the 4096-byte reserve of the stack check.
      uint32_t used = painted - untouched;
      EXPECT_LT(used + (kMaxStackRequest - remaining), kMaxStackRequest - 4096)
          << "decode used " << used << " bytes below a frame with " << remaining << " left";
      std::printf("jpeg decode on an engine thread: %u stack bytes (scale 1/%d)\n", used, scale);
    }
  }
}

}  // namespace
}  // namespace vn::test
