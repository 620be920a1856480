#include <gtest/gtest.h>

#include <malloc.h>

#include <cstring>
#include <string>
#include <vector>

#include "data_io/filter_factory.h"
#include "data_io/jpg_stream.h"
#include "data_io/jpg_test_support.h"
#include "memory_stream.h"
#include "support/test_context.h"

namespace vn::test {
namespace {

using data_io::DataBlockRef;
using data_io::JPGDataBlockStream;

// Every block the decoder gives, one per scanline; fails the test when a
// block is not exactly one scanline.
std::vector<std::vector<uint8_t>> Scanlines(AppContext& context, JPGDataBlockStream& stream) {
  std::vector<std::vector<uint8_t>> rows;
  DataBlockRef block(context);
  for (int guard = 0; guard < 100000; ++guard) {
    stream.GetNextBlock(block);
    if (block.Empty()) break;
    EXPECT_EQ(block.Length(), stream.OutputWidth() * stream.OutputComponents());
    rows.emplace_back(block.Data(), block.Data() + block.Length());
  }
  EXPECT_TRUE(stream.IsAtEnd());
  stream.GetNextBlock(block);
  EXPECT_TRUE(block.Empty());
  return rows;
}

JPGDataBlockStream* MakeJpg(AppContext& context, const std::vector<uint8_t>& bytes, int32_t scale = 1,
                            uint32_t chunk = 4096) {
  return New<JPGDataBlockStream>(context, context, NewMemoryStream(context, bytes, chunk), scale);
}

struct Shape {
  uint32_t width, height, components;
  bool progressive;
};

TEST(JpgDecode, MatchesLibjpegAtEveryScale) {
  AppContext context;
  const Shape shapes[] = {{17, 9, 1, false}, {17, 9, 3, false}, {1, 1, 3, false}, {333, 77, 3, false},
                          {64, 200, 1, true}, {45, 31, 3, true}, {23, 18, 4, false}};
  for (const Shape& s : shapes) {
    std::vector<uint8_t> jpeg = EncodeJpeg(s.width, s.height, s.components, s.progressive);
    for (int32_t scale : {1, 2, 4, 8}) {
      JpegImage expected = ReferenceDecode(jpeg, static_cast<unsigned>(scale));
      ASSERT_FALSE(expected.failed);
      for (uint32_t chunk : {4096u, 7u, 1u}) {
        Owned<JPGDataBlockStream> stream(context, MakeJpg(context, jpeg, scale, chunk));
        std::vector<std::vector<uint8_t>> rows = Scanlines(context, *stream);
        std::string what = std::to_string(s.width) + "x" + std::to_string(s.height) + "x" +
                           std::to_string(s.components) + (s.progressive ? " progressive" : "") +
                           " 1/" + std::to_string(scale) + " chunk " + std::to_string(chunk);
        EXPECT_EQ(stream->OutputWidth(), expected.width) << what;
        EXPECT_EQ(stream->OutputComponents(), expected.components) << what;
        EXPECT_EQ(rows, expected.rows) << what;
        EXPECT_EQ(stream->Warnings(), 0) << what;
      }
    }
  }
  // Nothing of libjpeg's stays in the budget once the streams are gone.
  EXPECT_EQ(context.Budget().BytesInUse(), 0u);
}

TEST(JpgDecode, FilterTableDecodeCallsAndRewind) {
  AppContext context;
  std::vector<uint8_t> jpeg = EncodeJpeg(40, 21, 3, false, 90, 3, 1);  // with restart markers
  JpegImage expected = ReferenceDecode(jpeg, 2);
  std::vector<uint8_t> flat;
  for (const auto& row : expected.rows) flat.insert(flat.end(), row.begin(), row.end());
  data_io::FilterParams params;
  params.dctScaleDenominator.Set(2);
  for (const char* name : {"DCTDecode", "DCT"}) {
    Owned<data_io::DataBlockStream> stream(
        context, data_io::BuildFilter(context, reinterpret_cast<const uint8_t*>(name),
                                      static_cast<uint32_t>(std::strlen(name)), true, params,
                                      NewMemoryStream(context, jpeg, 5)));
    EXPECT_EQ(ReadAll(context, *stream), flat) << name;
    stream->Rewind();
    EXPECT_EQ(ReadAll(context, *stream), flat) << name << " after rewind";
  }
  // "DCT" is only for inline images.
  EXPECT_EQ(RaisedCode(context, [&] {
              data_io::BuildFilter(context, reinterpret_cast<const uint8_t*>("DCT"), 3, false, params,
                                   NewMemoryStream(context, jpeg));
            }),
            kUnsupported);
  // Decode in small steps gives the same bytes.
  Owned<JPGDataBlockStream> stream(context, MakeJpg(context, jpeg, 2));
  std::vector<uint8_t> out;
  uint8_t buffer[13];
  for (int guard = 0; guard < 100000 && !stream->IsAtEnd(); ++guard) {
    uint32_t n = stream->Decode(buffer, sizeof buffer);
    out.insert(out.end(), buffer, buffer + n);
  }
  EXPECT_EQ(out, flat);
}

TEST(JpgDecode, TruncatedDataEndsQuietly) {
  AppContext context;
  std::vector<uint8_t> jpeg = EncodeJpeg(120, 96, 3);
  JpegImage full = ReferenceDecode(jpeg);
  // Cut in the middle of the scan: fewer rows, all equal to the full decode
  // but the band where the data ran out (16 rows with 2x2 chroma
  // subsampling) and the row above it (smoothed with the band's chroma).
  std::vector<uint8_t> half(jpeg.begin(), jpeg.begin() + static_cast<long>(jpeg.size() / 2));
  Owned<JPGDataBlockStream> stream(context, MakeJpg(context, half));
  std::vector<std::vector<uint8_t>> rows;
  ASSERT_EQ(RaisedCode(context, [&] { rows = Scanlines(context, *stream); }), -1);
  EXPECT_GT(stream->Warnings(), 0);
  ASSERT_GE(rows.size(), 16u);
  ASSERT_LT(rows.size(), 96u);
  EXPECT_EQ(rows.size() % 16, 0u);
  for (size_t r = 0; r + 17 < rows.size(); ++r) EXPECT_EQ(rows[r], full.rows[r]) << "row " << r;
  // Only the end marker missing: every row.
  std::vector<uint8_t> noEoi(jpeg.begin(), jpeg.end() - 2);
  Owned<JPGDataBlockStream> whole(context, MakeJpg(context, noEoi));
  EXPECT_EQ(Scanlines(context, *whole), full.rows);
  // Cut anywhere, headers included: never an error.
  for (size_t cut = 0; cut < jpeg.size(); cut += cut < 700 ? 1 : 97) {
    std::vector<uint8_t> part(jpeg.begin(), jpeg.begin() + static_cast<long>(cut));
    int32_t code = RaisedCode(context, [&] {
      Owned<JPGDataBlockStream> s(context, MakeJpg(context, part, cut % 3 == 0 ? 4 : 1, 1 + cut % 9));
      Scanlines(context, *s);
    });
    ASSERT_EQ(code, -1) << "cut " << cut;
  }
  // A progressive file cut short still gives every row from the scans it has.
  std::vector<uint8_t> progressive = EncodeJpeg(64, 48, 3, true);
  std::vector<uint8_t> cut(progressive.begin(), progressive.begin() + static_cast<long>(progressive.size() * 2 / 3));
  Owned<JPGDataBlockStream> coarse(context, MakeJpg(context, cut));
  EXPECT_EQ(Scanlines(context, *coarse).size(), 48u);
  EXPECT_EQ(context.Budget().BytesInUse() > 0, true);  // the streams above still live
}

TEST(JpgDecode, BadDataRaisesCodeTwoEveryTime) {
  AppContext context;
  std::vector<uint8_t> garbage(300);
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<uint8_t>(i * 37 + 11);
  std::vector<uint8_t> jpeg = EncodeJpeg(30, 30, 3);
  std::vector<uint8_t> badTable = jpeg;
  // The first quantization table's precision/id byte made invalid (id 7).
  for (size_t i = 0; i + 4 < badTable.size(); ++i) {
    if (badTable[i] == 0xFF && badTable[i + 1] == 0xDB) {
      badTable[i + 4] = 0x07;
      break;
    }
  }
  for (const auto* data : {&garbage, &badTable}) {
    uint32_t before = context.Budget().BytesInUse();
    Owned<JPGDataBlockStream> stream(context, MakeJpg(context, *data));
    DataBlockRef block(context);
    EXPECT_EQ(RaisedCode(context, [&] { stream->GetNextBlock(block); }), kBadData);
    // The decompressor is gone; asking again raises the same record.
    EXPECT_EQ(RaisedCode(context, [&] { stream->GetNextBlock(block); }), kBadData);
    EXPECT_TRUE(block.Empty());
    stream.Reset();
    EXPECT_EQ(context.Budget().BytesInUse(), before);
  }
  // A bad scale raises code 2 and gives the source back.
  for (int32_t scale : {0, 3, 16, -1}) {
    EXPECT_EQ(RaisedCode(context, [&] { MakeJpg(context, jpeg, scale); }), kBadData) << scale;
  }
  EXPECT_EQ(context.Budget().BytesInUse(), 0u);
}

TEST(JpgDecode, DamagedFilesEndOrRaiseCodeTwo) {
  AppContext context;
  const std::vector<uint8_t> files[] = {EncodeJpeg(37, 29, 3), EncodeJpeg(40, 24, 3, true), EncodeJpeg(16, 16, 4)};
  uint32_t state = 99;
  int raised = 0;
  for (int trial = 0; trial < 600; ++trial) {
    std::vector<uint8_t> data = files[trial % 3];
    for (int flips = 1 + trial % 4; flips > 0; --flips) {
      state = state * 1103515245u + 12345u;
      size_t at = (state >> 8) % data.size();
      data[at] = static_cast<uint8_t>(state >> 24);
    }
    int32_t code = RaisedCode(context, [&] {
      Owned<JPGDataBlockStream> stream(context, MakeJpg(context, data, 1 << (trial % 4), 1 + trial % 13));
      std::vector<std::vector<uint8_t>> rows = Scanlines(context, *stream);
      EXPECT_LE(rows.size(), stream->OutputHeight());
    });
    ASSERT_TRUE(code == -1 || code == kBadData) << "trial " << trial << " code " << code;
    raised += code == kBadData ? 1 : 0;
  }
  EXPECT_GT(raised, 0);
  EXPECT_EQ(context.Budget().BytesInUse(), 0u);
}

// A source that raises `code` on its second block.
class FailingStream : public MemoryStream {
 public:
  FailingStream(AppContext& context, std::vector<uint8_t> bytes, int32_t code)
      : MemoryStream(context, std::move(bytes), 64), context_(context), code_(code) {}
  void GetNextBlock(DataBlockRef& out) override {
    if (++calls_ == 2) RaiseCode(context_, code_);
    MemoryStream::GetNextBlock(out);
  }

 private:
  AppContext& context_;
  int32_t code_;
  int calls_ = 0;
};

TEST(JpgDecode, MemoryComesFromTheBudgetAndIsGivenBack) {
  std::vector<uint8_t> jpeg = EncodeJpeg(256, 256, 3, true);
  {
    AppContext context;
    Owned<JPGDataBlockStream> stream(context, MakeJpg(context, jpeg));
    DataBlockRef block(context);
    stream->GetNextBlock(block);
    // The whole-image coefficient buffer of a progressive file: 256 x 256 x
    // 3 samples (4:2:0 makes it 1.5 per pixel) of 2 bytes each.
    EXPECT_GT(stream->GetMemorySize(), 256u * 256u * 3u);
    EXPECT_GT(context.Budget().BytesInUse(), 256u * 256u * 3u);
  }
  // Under a budget too small for it, libjpeg's request fails with code 0;
  // nothing is left allocated and the same record comes again.
  AppContext tiny(TinyLimits(150000, 150000));
  Owned<JPGDataBlockStream> stream(tiny, MakeJpg(tiny, jpeg));
  uint32_t before = tiny.Budget().BytesInUse();
  DataBlockRef block(tiny);
  EXPECT_EQ(RaisedCode(tiny, [&] { stream->GetNextBlock(block); }), kOutOfMemory);
  // What stays is the source block the decoder holds.
  EXPECT_LT(tiny.Budget().BytesInUse(), before + 4096 + 256);
  EXPECT_EQ(RaisedCode(tiny, [&] { stream->GetNextBlock(block); }), kOutOfMemory);
  // After a rewind the decoder starts again; the first record stays.
  stream->Rewind();
  EXPECT_EQ(RaisedCode(tiny, [&] { stream->GetNextBlock(block); }), kOutOfMemory);
  stream.Reset();
  EXPECT_EQ(tiny.Budget().BytesInUse(), 0u);
}

// What libjpeg allocates itself while a decompressor exists (its own
// manager and first pool) is charged to the budget: no more than the charge
// (measured through glibc's counters, which sanitizers replace) and given
// back with the decompressor. Without room for the charge the decode fails
// cleanly.
TEST(JpgDecode, LibjpegsOwnAllocationsAreChargedToTheBudget) {
#if !defined(__SANITIZE_ADDRESS__)
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr error;
  cinfo.err = jpeg_std_error(&error);
  jpeg_create_decompress(&cinfo);  // once first: libjpeg keeps some process-wide state
  jpeg_destroy_decompress(&cinfo);
  const size_t before = mallinfo2().uordblks;
  jpeg_create_decompress(&cinfo);
  const size_t taken = mallinfo2().uordblks - before;
  jpeg_destroy_decompress(&cinfo);
  EXPECT_GT(taken, 0u);
  EXPECT_LE(taken, JPGDataBlockStream::kLibraryBytes);
#endif
  const std::vector<uint8_t> jpeg = EncodeJpeg(16, 16, 3);
  AppContext context;
  {
    Owned<JPGDataBlockStream> stream(context, MakeJpg(context, jpeg));
    const uint32_t idle = context.Budget().BytesInUse();
    DataBlockRef block(context);
    stream->GetNextBlock(block);
    ASSERT_FALSE(block.Empty());
    const uint32_t decoding = context.Budget().BytesInUse();
    while (!block.Empty()) stream->GetNextBlock(block);  // to the end, where the decompressor goes
    EXPECT_GE(decoding, idle + JPGDataBlockStream::kLibraryBytes);
    // What stays is the source block the decoder read last.
    EXPECT_LE(context.Budget().BytesInUse() + JPGDataBlockStream::kLibraryBytes, decoding);
  }
  EXPECT_EQ(context.Budget().BytesInUse(), 0u);

  AppContext tight(TinyLimits(1000000, 1000000));
  Owned<JPGDataBlockStream> stream(tight, MakeJpg(tight, jpeg));
  const uint32_t idle = tight.Budget().BytesInUse();
  // The charge comes first, before libjpeg is called: no room for it, no decoder.
  tight.Budget().SetLimits(TinyLimits(idle + JPGDataBlockStream::kLibraryBytes - 1,
                                      idle + JPGDataBlockStream::kLibraryBytes - 1));
  DataBlockRef block(tight);
  EXPECT_EQ(RaisedCode(tight, [&] { stream->GetNextBlock(block); }), kOutOfMemory);
  EXPECT_EQ(tight.Budget().BytesInUse(), idle);
  tight.Budget().SetLimits(TinyLimits(1000000, 1000000));
  stream->Rewind();
  EXPECT_EQ(Scanlines(tight, *stream), ReferenceDecode(jpeg).rows);
  stream.Reset();
  EXPECT_EQ(tight.Budget().BytesInUse(), 0u);
}

TEST(JpgDecode, SourceErrorsPassThroughUnrecorded) {
  AppContext context;
  std::vector<uint8_t> jpeg = EncodeJpeg(50, 50, 3);
  for (int32_t code : {kCancelled, kOverflow}) {
    Owned<JPGDataBlockStream> stream(
        context, New<JPGDataBlockStream>(context, context, New<FailingStream>(context, context, jpeg, code)));
    DataBlockRef block(context);
    EXPECT_EQ(RaisedCode(context, [&] { Scanlines(context, *stream); }), code);
    // The decoder ended; a rewind decodes the data in full.
    stream->GetNextBlock(block);
    EXPECT_TRUE(block.Empty());
    stream->Rewind();
    EXPECT_EQ(Scanlines(context, *stream), ReferenceDecode(jpeg).rows);
  }
}

}  // namespace
}  // namespace vn::test
