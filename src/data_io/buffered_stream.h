// The buffered byte source the lexers read: it walks the blocks of a stream
// or a store and hands out bytes, with a limit position past which it
// reports the end even when the source has more.
#pragma once

#include <cstdint>

#include "data_io/data_store.h"

namespace vn::data_io {

class BufferedStream : public Unwindable {
 public:
  static constexpr uint64_t kNoLimit = ~static_cast<uint64_t>(0);

  explicit BufferedStream(AppContext& context);
  BufferedStream(const BufferedStream&) = delete;
  BufferedStream& operator=(const BufferedStream&) = delete;

  // The next block of the source; an empty block at the end.
  virtual void FetchNextBlock(DataBlockRef& out) = 0;
  virtual ~BufferedStream();

  // Fetches blocks until a byte is available below the limit or the data
  // ends; with `mustHave`, no byte raises kBadData. True when a byte is there.
  bool Fill(bool mustHave);
  uint8_t NextByte() {
    if (cursor_ == end_) Fill(true);
    return *cursor_++;
  }
  // The byte at the cursor without consuming it, or -1 at the end.
  int PeekByte() {
    if (cursor_ == end_ && !Fill(false)) return -1;
    return *cursor_;
  }
  // Consumes one byte that PeekByte showed.
  void Advance() { ++cursor_; }
  bool AtEnd();
  // Advances while the byte's entry in `classTable` has a bit of `mask`;
  // stops at the end without raising.
  void SkipWhile(const uint8_t* classTable, uint8_t mask);
  // Copies `count` bytes; fewer available raises kBadData.
  void ReadExactly(uint8_t* buffer, uint32_t count);
  // Consumes `count` bytes; fewer available raises kBadData.
  void Skip(uint32_t count);
  // True when the bytes at the cursor are `word`; consumes them only then.
  bool MatchAndConsume(const char* word, uint32_t count);

  // The position of the cursor.
  uint64_t Position() const { return blockStart_ + static_cast<uint64_t>(cursor_ - blockData_); }
  // Restarts at `position`.
  void Seek(uint64_t position);
  // Reading stops at `limit` (kNoLimit: at the end of the data).
  void SetLimit(uint64_t limit);
  uint64_t Limit() const { return limit_; }

  // The bytes ready at the cursor, for tight loops that consume them with
  // Consume(); Fill first.
  const uint8_t* Cursor() const { return cursor_; }
  const uint8_t* End() const { return end_; }
  void ConsumeTo(const uint8_t* cursor) { cursor_ = cursor; }

  AppContext& Context() const { return context_; }
  void Reset();

 protected:
  // Makes the next FetchNextBlock start at or before `position`; returns the
  // position of that block's first byte.
  virtual uint64_t RestartSource(uint64_t position) = 0;

 private:
  void ApplyLimit();

  AppContext& context_;
  DataBlockRef block_;
  const uint8_t* blockData_ = nullptr;  // first byte of the current block
  const uint8_t* cursor_ = nullptr;
  const uint8_t* end_ = nullptr;        // end of the readable part (limit applied)
  uint64_t blockStart_ = 0;             // position of blockData_
  uint64_t blockEnd_ = 0;               // position where the current block ends
  uint64_t limit_ = kNoLimit;
  bool atEnd_ = false;
};

// Over a sequential stream (not owned). A fetch cut short by an error makes
// the next fetch rewind the source and read forward to where it was.
class BufferedDataBlockStream final : public BufferedStream {
 public:
  BufferedDataBlockStream(AppContext& context, DataBlockStream* source);
  void FetchNextBlock(DataBlockRef& out) override;

 protected:
  uint64_t RestartSource(uint64_t position) override;

 private:
  void SkipSourceTo(uint64_t position);

  DataBlockStream* source_;
  uint64_t sourcePosition_ = 0;  // of the source's next block
  bool fetching_ = false;        // set while a fetch is under way
};

// Over a store (not owned), from a start position: each block is the store's
// block where the previous one ended.
class BufferedDataStore final : public BufferedStream {
 public:
  BufferedDataStore(AppContext& context, DataStore* store, uint64_t start = 0);
  void FetchNextBlock(DataBlockRef& out) override;
  DataStore* Store() const { return store_; }

 protected:
  uint64_t RestartSource(uint64_t position) override;

 private:
  DataStore* store_;
  uint64_t next_;
};

}  // namespace vn::data_io
