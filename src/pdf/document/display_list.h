// Display lists: the packed, append-only recording of a page's or a form's
// content, built lazily by its populator as far as replay has read.
//
// Storage: a pool of 16 KB blocks carries every variable-size piece (stream
// chunks, names, entry objects, inline image rows); the opcode stream holds
// one byte per entry, the small-operand stream bytes and names, the word
// stream 32-bit values and the path stream packed points. Each stream grows
// by whole chunks taken from the pool.
#pragma once

#include <cstdint>

#include "pdf/content/content_record.h"
#include "pdf/content/dl_consumer.h"
#include "pdf/content/dl_entries.h"
#include "runtime/arena.h"
#include "runtime/engine_array.h"
#include "runtime/engine_new.h"
#include "runtime/ref_counted.h"

namespace vn::pdf::content {
class DLPopulator;
class DLPlayer;
struct PlayState;
}

namespace vn::pdf::document {

inline constexpr uint32_t kDLPoolBlock = 16384;
inline constexpr uint32_t kDLByteChunk = 400;
inline constexpr uint32_t kDLWordChunk = 100;
inline constexpr uint32_t kDLPointChunk = 100;

// A stream of T in chunks of `Chunk` elements carved from the pool. The size
// may shrink and grow again within the chunks it has; chunks are given back
// only together with the pool (RollBack).
template <class T, uint32_t Chunk>
class ChunkedStream {
 public:
  explicit ChunkedStream(AppContext& context) : chunks_(context) {}

  uint32_t Size() const { return size_; }
  uint32_t ChunkCount() const { return chunks_.Size(); }
  T& At(uint32_t index) { return chunks_[index / Chunk][index % Chunk]; }
  const T& At(uint32_t index) const { return chunks_[index / Chunk][index % Chunk]; }
  // The elements from `index` that lie in one chunk.
  const T* Run(uint32_t index, uint32_t* available) const {
    *available = Chunk - index % Chunk;
    return &chunks_[index / Chunk][index % Chunk];
  }
  void Push(Arena& pool, const T& value) {
    if (size_ / Chunk == chunks_.Size()) chunks_.Push(pool.AllocateArray<T>(Chunk));
    chunks_[size_ / Chunk][size_ % Chunk] = value;
    ++size_;
  }
  void Truncate(uint32_t size) {
    if (size < size_) size_ = size;
  }
  // Back to a saved size and chunk count (the pool is released to match).
  void RollBack(uint32_t size, uint32_t chunkCount) {
    size_ = size;
    chunks_.Truncate(chunkCount);
  }
  uint32_t MemorySize() const { return chunks_.MemorySize(); }

 private:
  EngineArray<T*> chunks_;
  uint32_t size_ = 0;
};

// An error met while populating: its engine code and where in the content.
struct DLError {
  int32_t code;
  uint64_t offset;
};

class DisplayList : public RefCounted {
 public:
  // The list of `record`'s content (the list holds a reference to it).
  // `resolver` serves resource lookups and must outlive the list.
  DisplayList(AppContext& context, ObjectResolver& resolver, content::ContentRecord* record);
  ~DisplayList() override;

  AppContext& Context() const { return context_; }
  ObjectResolver& Resolver() const { return resolver_; }
  content::ContentRecord* Record() const { return record_.get(); }

  // Parses on to the next entry boundary. True while the list may still
  // grow. An interruption (kCancelled), kOutOfMemory and kStackExhausted are
  // raised again with the list intact up to its last boundary, to resume
  // from there when asked again; any other error (the content's) ends the
  // list and is kept in Errors().
  bool PopulateMore();
  // Populates to the end.
  void PopulateAll();
  bool IsComplete() const { return !populator_; }
  content::DLPopulator* Populator() const { return populator_.get(); }

  const EngineArray<DLError>& Errors() const { return errors_; }
  uint32_t EntryCount() const { return opcodes_.Size(); }
  // Bytes the list holds.
  uint32_t MemorySize() const;

  // Storage, for the populator and the player.
  Arena& Pool() { return pool_; }
  ChunkedStream<uint8_t, kDLByteChunk>& Opcodes() { return opcodes_; }
  ChunkedStream<uint8_t, kDLByteChunk>& Small() { return small_; }
  ChunkedStream<uint32_t, kDLWordChunk>& Words() { return words_; }
  ChunkedStream<content::DLPoint, kDLPointChunk>& Points() { return points_; }
  EngineArray<content::DLEntry*>& Entries() { return entries_; }

  struct ExtGStateName {
    const uint8_t* bytes;  // in the pool
    uint32_t length;
    uint32_t entry;        // index into Entries()
  };
  EngineArray<ExtGStateName>& ExtGStates() { return extGStates_; }

 private:
  friend class content::DLPopulator;
  void Finish(int32_t errorCode, uint64_t offset);  // errorCode -1: none

  AppContext& context_;
  ObjectResolver& resolver_;
  Ref<content::ContentRecord> record_;
  Arena pool_;
  ChunkedStream<uint8_t, kDLByteChunk> opcodes_;
  ChunkedStream<uint8_t, kDLByteChunk> small_;
  ChunkedStream<uint32_t, kDLWordChunk> words_;
  ChunkedStream<content::DLPoint, kDLPointChunk> points_;
  EngineArray<content::DLEntry*> entries_;
  EngineArray<ExtGStateName> extGStates_;
  EngineArray<DLError> errors_;
  Owned<content::DLPopulator> populator_;
};

// The list of one page.
class PageDisplayList final : public DisplayList {
 public:
  PageDisplayList(AppContext& context, ObjectResolver& resolver, content::ContentRecord* record)
      : DisplayList(context, resolver, record) {}
};

// The list of one form XObject.
class FormDisplayList final : public DisplayList {
 public:
  FormDisplayList(AppContext& context, ObjectResolver& resolver, content::ContentRecord* record)
      : DisplayList(context, resolver, record) {}
};

}  // namespace vn::pdf::document
