#include "data_io/buffered_stream.h"

#include <cstring>

namespace vn::data_io {

BufferedStream::BufferedStream(AppContext& context) : context_(context), block_(context) {
  RegisterUnwindable(context, this, &UnwindByReset<BufferedStream>);
}

BufferedStream::~BufferedStream() { Reset(); }

void BufferedStream::Reset() {
  UnregisterUnwindable(this);
  block_.Clear();
  blockData_ = cursor_ = end_ = nullptr;
}

void BufferedStream::ApplyLimit() {
  uint64_t readable = blockEnd_ - blockStart_;
  if (limit_ <= blockStart_) readable = 0;
  else if (limit_ - blockStart_ < readable) readable = limit_ - blockStart_;
  end_ = blockData_ + readable;
  if (cursor_ > end_) cursor_ = end_;
}

bool BufferedStream::Fill(bool mustHave) {
  while (cursor_ == end_ && !atEnd_ && blockEnd_ < limit_) {
    uint64_t start = blockEnd_;
    block_.Clear();
    blockData_ = cursor_ = end_ = nullptr;
    blockStart_ = start;
    FetchNextBlock(block_);
    if (block_.Empty()) {
      block_.Clear();
      atEnd_ = true;
      break;
    }
    blockData_ = cursor_ = block_.Data();
    blockEnd_ = start + block_.Length();
    ApplyLimit();
  }
  if (cursor_ != end_) return true;
  if (mustHave) RaiseBadData(context_);
  return false;
}

bool BufferedStream::AtEnd() {
  if (Position() >= limit_) return true;
  return !Fill(false);
}

void BufferedStream::SkipWhile(const uint8_t* classTable, uint8_t mask) {
  for (;;) {
    if (cursor_ == end_ && !Fill(false)) return;
    const uint8_t* p = cursor_;
    const uint8_t* e = end_;
    while (p != e && (classTable[*p] & mask) != 0) ++p;
    cursor_ = p;
    if (p != e) return;
  }
}

void BufferedStream::ReadExactly(uint8_t* buffer, uint32_t count) {
  while (count != 0) {
    Fill(true);
    uint32_t ready = static_cast<uint32_t>(end_ - cursor_);
    uint32_t take = ready < count ? ready : count;
    std::memcpy(buffer, cursor_, take);
    buffer += take;
    cursor_ += take;
    count -= take;
  }
}

void BufferedStream::Skip(uint32_t count) {
  while (count != 0) {
    Fill(true);
    uint32_t ready = static_cast<uint32_t>(end_ - cursor_);
    uint32_t take = ready < count ? ready : count;
    cursor_ += take;
    count -= take;
  }
}

bool BufferedStream::MatchAndConsume(const char* word, uint32_t count) {
  if (cursor_ == end_ && !Fill(false)) return count == 0;
  if (static_cast<uint32_t>(end_ - cursor_) >= count) {
    if (std::memcmp(cursor_, word, count) != 0) return false;
    cursor_ += count;
    return true;
  }
  // The word would span blocks: compare byte by byte and come back on a mismatch.
  uint64_t start = Position();
  for (uint32_t i = 0; i < count; ++i) {
    int c = PeekByte();
    if (c != static_cast<uint8_t>(word[i])) {
      Seek(start);
      return false;
    }
    Advance();
  }
  return true;
}

void BufferedStream::Seek(uint64_t position) {
  if (blockData_ != nullptr && position >= blockStart_ && position <= blockEnd_) {
    cursor_ = blockData_ + (position - blockStart_);
    ApplyLimit();
    return;
  }
  block_.Clear();
  blockData_ = cursor_ = end_ = nullptr;
  atEnd_ = false;
  uint64_t start = RestartSource(position);
  blockStart_ = blockEnd_ = start;
  if (start == position) return;  // the next Fill fetches there
  // Read forward from the restart point to the block holding `position`.
  while (blockEnd_ <= position) {
    if (!Fill(false)) break;
    cursor_ = end_;
    if (blockEnd_ >= limit_) break;
  }
  if (blockData_ != nullptr && position >= blockStart_ && position <= blockEnd_) {
    cursor_ = blockData_ + (position - blockStart_);
    ApplyLimit();
  } else {
    // At or past the end of the data (or the limit): nothing to read there.
    blockStart_ = blockEnd_ = position;
    blockData_ = cursor_ = end_ = nullptr;
  }
}

void BufferedStream::SetLimit(uint64_t limit) {
  limit_ = limit;
  if (blockData_ != nullptr) {
    const uint8_t* cursor = cursor_;
    end_ = blockData_ + (blockEnd_ - blockStart_);
    cursor_ = cursor;
    ApplyLimit();
  }
}

// ---- BufferedDataBlockStream

BufferedDataBlockStream::BufferedDataBlockStream(AppContext& context, DataBlockStream* source)
    : BufferedStream(context), source_(source) {}

void BufferedDataBlockStream::SkipSourceTo(uint64_t position) {
  DataBlockRef skipped(Context());
  while (sourcePosition_ < position) {
    source_->GetNextBlock(skipped);
    if (skipped.Empty()) return;
    if (sourcePosition_ + skipped.Length() > position) {
      // Block boundaries moved (they should not): restart so positions stay exact.
      source_->Rewind();
      sourcePosition_ = 0;
      return;
    }
    sourcePosition_ += skipped.Length();
  }
}

void BufferedDataBlockStream::FetchNextBlock(DataBlockRef& out) {
  if (fetching_) {
    // The previous fetch was interrupted: the source's position is unknown.
    uint64_t resume = sourcePosition_;
    source_->Rewind();
    sourcePosition_ = 0;
    SkipSourceTo(resume);
  }
  fetching_ = true;
  source_->GetNextBlock(out);
  fetching_ = false;
  sourcePosition_ += out.Length();
}

uint64_t BufferedDataBlockStream::RestartSource(uint64_t position) {
  if (position < sourcePosition_ || fetching_) {
    source_->Rewind();
    sourcePosition_ = 0;
    fetching_ = false;
  }
  return sourcePosition_;
}

// ---- BufferedDataStore

BufferedDataStore::BufferedDataStore(AppContext& context, DataStore* store, uint64_t start)
    : BufferedStream(context), store_(store), next_(start) {
  Seek(start);
}

void BufferedDataStore::FetchNextBlock(DataBlockRef& out) {
  store_->GetBlock(out, next_);
  next_ += out.Length();
}

uint64_t BufferedDataStore::RestartSource(uint64_t position) {
  next_ = position;
  return position;
}

}  // namespace vn::data_io
