#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "data_io/buffered_stream.h"
#include "data_io/data_store_from_stream.h"
#include "data_io/data_store_stream.h"
#include "data_io/file_data_store.h"
#include "data_io/filtered_stream.h"
#include "data_io/raw_data_store.h"
#include "data_io/sub_range_data_store.h"
#include "runtime/app_context.h"
#include "runtime/engine_new.h"
#include "support/corpus.h"
#include "support/shell.h"
#include "support/test_context.h"

namespace vn::data_io {
namespace {

std::vector<uint8_t> Pattern(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
  return v;
}

// A stream handing out a buffer in blocks of `blockSize`, counting rewinds.
class ChunkStream final : public DataBlockStream {
 public:
  ChunkStream(AppContext& context, const std::vector<uint8_t>& bytes, uint32_t blockSize)
      : context_(context), bytes_(bytes), blockSize_(blockSize) {}
  void GetNextBlock(DataBlockRef& out) override {
    ++fetches;
    if (failNext) {
      failNext = false;
      RaiseBadData(context_);
    }
    if (position_ >= bytes_.size()) {
      out.Clear();
      return;
    }
    uint32_t n = static_cast<uint32_t>(std::min<size_t>(blockSize_, bytes_.size() - position_));
    auto* block = VariableMemoryBufferDataBlock::Create(context_, n);
    std::memcpy(block->Buffer(), bytes_.data() + position_, n);
    out.Set(block);
    position_ += n;
  }
  void Rewind() override {
    ++rewinds;
    position_ = 0;
  }
  bool IsAtEnd() override { return position_ >= bytes_.size(); }
  uint32_t GetMemorySize() const override { return sizeof(*this); }

  int rewinds = 0;
  int fetches = 0;
  bool failNext = false;

 private:
  AppContext& context_;
  std::vector<uint8_t> bytes_;
  uint32_t blockSize_;
  size_t position_ = 0;
};

std::vector<uint8_t> ReadAll(AppContext& context, DataStore& store) {
  std::vector<uint8_t> out;
  DataBlockRef block(context);
  for (;;) {
    store.GetBlock(block, out.size());
    if (block.Empty()) break;
    out.insert(out.end(), block.Data(), block.Data() + block.Length());
  }
  return out;
}

TEST(RawDataStore, BlocksToTheEndAndNothingAtTheLength) {
  AppContext context;
  auto bytes = Pattern(100);
  RawDataStore store(context, bytes.data(), bytes.size());
  DataBlockRef block(context);
  store.GetBlock(block, 40);
  ASSERT_EQ(block.Length(), 60u);
  EXPECT_EQ(block.Data(), bytes.data() + 40);
  EXPECT_EQ(block.Block()->refCount, 1u);
  store.GetBlock(block, 100);
  EXPECT_TRUE(block.Empty());
  store.GetBlock(block, 1000);
  EXPECT_TRUE(block.Empty());
  EXPECT_EQ(ReadAll(context, store), bytes);
}

TEST(SubRangeDataStore, NeverPastItsEnd) {
  AppContext context;
  auto bytes = Pattern(1000);
  RawDataStore base(context, bytes.data(), bytes.size());
  SubRangeDataStore window(context, &base, 100, 350);
  EXPECT_EQ(window.GetLength(), 250u);
  DataBlockRef block(context);
  window.GetBlock(block, 0);
  ASSERT_EQ(block.Length(), 250u);  // the base's block is 900 bytes long
  EXPECT_EQ(block.Data()[0], bytes[100]);
  EXPECT_GT(block.Block()->GetMemorySize(), sizeof(RawDataBlock));
  window.GetBlock(block, 249);
  EXPECT_EQ(block.Length(), 1u);
  window.GetBlock(block, 250);
  EXPECT_TRUE(block.Empty());
  // A window reaching past the base's end stops where the base does.
  SubRangeDataStore tail(context, &base, 990, 5000);
  window.GetBlock(block, 0);
  tail.GetBlock(block, 0);
  EXPECT_EQ(block.Length(), 10u);
  tail.GetBlock(block, 10);
  EXPECT_TRUE(block.Empty());
}

TEST(DataStoreStream, WalksTheStoreAndRewinds) {
  AppContext context;
  auto bytes = Pattern(5000);
  RawDataStore base(context, bytes.data(), bytes.size());
  DataStoreStream stream(context, New<SubRangeDataStore>(context, context, &base, 10, 4010, false));
  DataBlockRef block(context);
  EXPECT_FALSE(stream.IsAtEnd());
  stream.GetNextBlock(block);
  EXPECT_EQ(block.Length(), 4000u);
  EXPECT_TRUE(stream.IsAtEnd());
  stream.GetNextBlock(block);
  EXPECT_TRUE(block.Empty());
  stream.Rewind();
  stream.GetNextBlock(block);
  EXPECT_EQ(block.Data()[0], bytes[10]);
}

TEST(DataStoreFromStream, RandomAccessMatchesSourceAndBackwardsRewinds) {
  AppContext context;
  auto bytes = Pattern(10000);
  auto* source = New<ChunkStream>(context, context, bytes, 1000);
  DataStoreFromStream store(context, source);
  EXPECT_EQ(store.GetLength(), 10000u);
  int rewindsAfterLength = source->rewinds;
  DataBlockRef block(context);
  store.GetBlock(block, 5500);
  ASSERT_EQ(block.Length(), 500u);  // an offset view of the block [5000, 6000)
  EXPECT_EQ(block.Data()[0], bytes[5500]);
  EXPECT_EQ(source->rewinds, rewindsAfterLength + 1);  // the length read ran the source to its end
  store.GetBlock(block, 7000);
  EXPECT_EQ(source->rewinds, rewindsAfterLength + 1);
  store.GetBlock(block, 2000);  // backwards, not cached: rewinds
  EXPECT_EQ(source->rewinds, rewindsAfterLength + 2);
  EXPECT_EQ(block.Data()[0], bytes[2000]);
  store.GetBlock(block, 5999);  // cached
  EXPECT_EQ(source->rewinds, rewindsAfterLength + 2);
  EXPECT_EQ(block.Length(), 1u);
  store.GetBlock(block, 10000);
  EXPECT_TRUE(block.Empty());
  EXPECT_EQ(ReadAll(context, store), bytes);
}

TEST(DataStoreFromStream, AnErrorMakesTheNextReadRewind) {
  AppContext context;
  auto bytes = Pattern(3000);
  auto* source = New<ChunkStream>(context, context, bytes, 1000);
  DataStoreFromStream store(context, source);
  DataBlockRef block(context);
  store.GetBlock(block, 0);
  source->failNext = true;
  EXPECT_EQ(test::RaisedCode(context, [&] { store.GetBlock(block, 1500); }), kBadData);
  int before = source->rewinds;
  store.GetBlock(block, 2500);
  EXPECT_EQ(source->rewinds, before + 1);
  EXPECT_EQ(block.Data()[0], bytes[2500]);
}

TEST(DataStoreFromStream, EntriesNeverOverlapAfterEviction) {
  AppContext context;
  auto bytes = Pattern(4000);
  auto* source = New<ChunkStream>(context, context, bytes, 1000);
  DataStoreFromStream store(context, source);
  DataBlockRef block(context);
  store.GetBlock(block, 1200);
  block.Clear();
  context.Caches().LowMemory();  // drops every cached block
  EXPECT_EQ(store.CachedBlockCount(), 0u);
  EXPECT_EQ(ReadAll(context, store), bytes);
}

// A decoder giving out prepared chunks, each with or without the end.
class ScriptedDecoder final : public FilteredDataBlockStream {
 public:
  struct Step {
    uint32_t count;
    bool end;
  };
  ScriptedDecoder(AppContext& context, std::vector<Step> steps)
      : FilteredDataBlockStream(context, New<ChunkStream>(context, context, std::vector<uint8_t>{}, 1)),
        steps_(std::move(steps)) {}
  uint32_t Decode(uint8_t* buffer, uint32_t maximum) override {
    if (next_ >= steps_.size()) {
      SetEnd();
      return 0;
    }
    Step& step = steps_[next_];
    uint32_t n = std::min(step.count, maximum);
    for (uint32_t i = 0; i < n; ++i) buffer[i] = static_cast<uint8_t>(produced_++);
    step.count -= n;
    if (step.count == 0) {
      if (step.end) SetEnd();
      ++next_;
    }
    return n;
  }

 protected:
  void ResetDecoder() override {}

 private:
  std::vector<Step> steps_;
  size_t next_ = 0;
  uint32_t produced_ = 0;
};

std::vector<uint32_t> BlockLengths(AppContext& context, DataBlockStream& stream, std::vector<bool>* ends) {
  std::vector<uint32_t> lengths;
  DataBlockRef block(context);
  for (int guard = 0; guard < 100; ++guard) {
    stream.GetNextBlock(block);
    if (block.Empty()) break;
    lengths.push_back(block.Length());
    if (ends) ends->push_back(stream.IsAtEnd());
  }
  return lengths;
}

TEST(FilteredDataBlockStream, HeldBackByteEdgeCases) {
  AppContext context;
  {
    ScriptedDecoder late(context, {{4096, false}, {0, true}});
    std::vector<bool> ends;
    EXPECT_EQ(BlockLengths(context, late, &ends), (std::vector<uint32_t>{4095, 1}));
    EXPECT_EQ(ends, (std::vector<bool>{false, true}));
  }
  {
    ScriptedDecoder together(context, {{4096, true}});
    std::vector<bool> ends;
    EXPECT_EQ(BlockLengths(context, together, &ends), (std::vector<uint32_t>{4096}));
    EXPECT_EQ(ends, (std::vector<bool>{true}));
  }
  {
    // Single bytes: each block waits until the next byte (or the end) is known.
    ScriptedDecoder trickle(context, {{1, false}, {1, false}, {1, false}, {0, true}});
    std::vector<bool> ends;
    EXPECT_EQ(BlockLengths(context, trickle, &ends), (std::vector<uint32_t>{1, 1, 1}));
    EXPECT_EQ(ends, (std::vector<bool>{false, false, true}));
    EXPECT_TRUE(trickle.IsAtEnd());
  }
}

TEST(BufferedStream, BytesAcrossBlocksSkipAndReadExactly) {
  AppContext context;
  std::vector<uint8_t> bytes = {'a', ' ', ' ', ' ', ' ', 'b', 'c', 'd', 'e'};
  ChunkStream source(context, bytes, 2);
  BufferedDataBlockStream in(context, &source);
  EXPECT_EQ(in.NextByte(), 'a');
  static uint8_t classes[256] = {};
  classes[static_cast<uint8_t>(' ')] = 1;
  in.SkipWhile(classes, 1);
  EXPECT_EQ(in.Position(), 5u);
  uint8_t two[2];
  in.ReadExactly(two, 2);
  EXPECT_EQ(two[0], 'b');
  EXPECT_EQ(two[1], 'c');
  uint8_t three[3];
  EXPECT_EQ(test::RaisedCode(context, [&] { in.ReadExactly(three, 3); }), kBadData);  // only 2 left
  in.Seek(1);  // backwards: the source is rewound
  EXPECT_EQ(in.NextByte(), ' ');
  EXPECT_FALSE(in.MatchAndConsume("  b", 3));
  EXPECT_EQ(in.Position(), 2u);
  EXPECT_TRUE(in.MatchAndConsume("   b", 4));
  static uint8_t everything[256];
  std::memset(everything, 1, sizeof everything);
  in.SkipWhile(everything, 1);  // stops at the end without raising
  EXPECT_TRUE(in.AtEnd());
  EXPECT_EQ(test::RaisedCode(context, [&] { in.NextByte(); }), kBadData);
}

TEST(BufferedStream, LimitStopsReading) {
  AppContext context;
  auto bytes = Pattern(100);
  RawDataStore store(context, bytes.data(), bytes.size());
  BufferedDataStore in(context, &store, 10);
  in.SetLimit(13);
  EXPECT_EQ(in.NextByte(), bytes[10]);
  in.Skip(2);
  EXPECT_TRUE(in.AtEnd());
  EXPECT_EQ(test::RaisedCode(context, [&] { in.NextByte(); }), kBadData);
  in.SetLimit(BufferedStream::kNoLimit);
  EXPECT_EQ(in.NextByte(), bytes[13]);
  in.Seek(99);
  EXPECT_EQ(in.NextByte(), bytes[99]);
  EXPECT_TRUE(in.AtEnd());
  in.Seek(500);
  EXPECT_TRUE(in.AtEnd());
}

TEST(BufferedStream, InterruptedFetchResumesAtTheSamePlace) {
  AppContext context;
  auto bytes = Pattern(10);
  ChunkStream source(context, bytes, 3);
  BufferedDataBlockStream in(context, &source);
  in.Skip(3);
  source.failNext = true;
  EXPECT_EQ(test::RaisedCode(context, [&] { in.NextByte(); }), kBadData);
  EXPECT_EQ(in.NextByte(), bytes[3]);
  EXPECT_EQ(source.rewinds, 1);
}

// ---- the file store

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

TEST(FileDataStore, MissingFileRaisesOne) {
  AppContext context;
  EXPECT_EQ(test::RaisedCode(context, [&] { Owned<FileDataStore> s(context, New<FileDataStore>(context, context, L"/nonexistent/x.pdf")); }),
            kOverflow);
}

TEST(FileDataStore, PageBoundariesAndTheTwoGigabyteLimit) {
  AppContext context;
  std::string path = test::ScratchPath("file_store_test.bin");
  auto bytes = Pattern(4096 * 2 + 100);
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  std::wstring wide = Wide(path);
  FileDataStore store(context, wide.c_str());
  EXPECT_EQ(store.GetLength(), bytes.size());
  DataBlockRef block(context);
  store.GetBlock(block, 4095);
  EXPECT_EQ(block.Length(), 1u);
  EXPECT_EQ(block.Data()[0], bytes[4095]);
  store.GetBlock(block, 8192 + 99);
  EXPECT_EQ(block.Length(), 1u);
  store.GetBlock(block, bytes.size());
  EXPECT_TRUE(block.Empty());
  store.GetBlock(block, 0x80000000ull);
  EXPECT_TRUE(block.Empty());
  EXPECT_EQ(store.PageReads(), 2u);
  store.GetBlock(block, 10);  // cached
  EXPECT_EQ(store.PageReads(), 2u);
  EXPECT_EQ(context.Caches().TotalBytes(), 2u * 4104u);
  std::remove(path.c_str());
}

TEST(FileDataStore, CorpusFileUnderATinyBudgetMatchesFread) {
  auto files = test::CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "corpus absent";
  const test::CorpusFile* chosen = nullptr;
  for (const auto& f : files) {
    if (f.bytes > 200000 && f.bytes < 3000000 && (chosen == nullptr || f.bytes > chosen->bytes)) chosen = &f;
  }
  if (chosen == nullptr) GTEST_SKIP() << "no file of a suitable size";
  std::vector<uint8_t> expected = test::ReadWholeFile(chosen->path);
  ASSERT_FALSE(expected.empty());

  // A soft limit of a few pages above what the store itself needs.
  AppContext context(test::TinyLimits(48 * 1024, 4 * 1024 * 1024));
  std::wstring wide = Wide(chosen->path);
  Owned<FileDataStore> store(context, New<FileDataStore>(context, context, wide.c_str()));
  ASSERT_EQ(store->GetLength(), expected.size());
  EXPECT_EQ(ReadAll(context, *store), expected);
  uint32_t pages = static_cast<uint32_t>((expected.size() + 4095) / 4096);
  EXPECT_EQ(store->PageReads(), pages);
  EXPECT_LT(store->CachedPageCount(), 12u);  // purged along the way
  EXPECT_LE(context.Budget().PeakBytes(), 4 * 1024 * 1024u);
  // Read again, through a buffered source: the purged pages are read again.
  BufferedDataStore in(context, store.get(), 0);
  std::vector<uint8_t> again(expected.size());
  in.ReadExactly(again.data(), static_cast<uint32_t>(again.size()));
  EXPECT_EQ(again, expected);
  EXPECT_GE(store->PageReads(), pages + pages - 12);
}

}  // namespace
}  // namespace vn::data_io
