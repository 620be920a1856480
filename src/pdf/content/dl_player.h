// Replay of a display list into a consumer. The player reads the streams
// in order, asks the list to populate more when it reaches the end of what
// is built, keeps the coalescing cache's recency list as the populator did
// so repeat opcodes resolve to the same entries, and re-reads paths the
// list did not store.
//
// The graphics-state stack is the replay's own recursion: q hands the
// consumer a nested player that plays up to the matching Q; BT hands it a
// nested player that plays the text object up to ET.
//
// A top-level player is a leaf holder (declare it directly as a local).
#pragma once

#include <cstdint>

#include "data_io/buffered_stream.h"
#include "pdf/content/dl_consumer.h"
#include "pdf/content/dl_populator.h"
#include "runtime/arena.h"
#include "runtime/unwindable.h"

namespace vn::pdf::document {
class DisplayList;
}

namespace vn::pdf::content {

class ContentParser;
class PathPopulator;

// Nested plays deeper than this raise kStackExhausted.
inline constexpr uint32_t kMaxNestedPlays = 256;

struct PlayState {
  struct Slot {
    uint32_t smallPos, wordPos;
    uint8_t opcode;
  };
  PlayState(document::DisplayList& list, DLConsumer& consumer);

  document::DisplayList& list;
  DLConsumer& consumer;
  AppContext& context;
  uint32_t op = 0, small = 0, word = 0, point = 0;  // read positions
  uint32_t dispatchFrom = 0;                         // entries before it are only decoded
  uint32_t end = ~0u;                                // entry limit
  uint32_t depth = 0;
  FixedRect box = EmptyBox();
  CoalesceLinks links;
  Slot slots[kCoalesceSlots];
  // Contiguous copies of paths and dashes that cross chunks.
  DLPoint* points = nullptr;
  uint32_t pointCapacity = 0;
  Fixed16_16* numbers = nullptr;
  uint32_t numberCapacity = 0;
  uint8_t nameBuffer[256];  // a name that crosses a chunk
  // The re-reader of paths that were not stored.
  data_io::DataBlockStream* rereadStream = nullptr;
  data_io::BufferedDataBlockStream* rereadSource = nullptr;
  Arena* rereadArena = nullptr;
  PathPopulator* rereadPaths = nullptr;
  ContentParser* rereadParser = nullptr;
};

class DLPlayer : public Unwindable {
 public:
  // A player of the whole list (or a fixed range of it) into `consumer`.
  DLPlayer(document::DisplayList& list, DLConsumer& consumer);
  ~DLPlayer() { Reset(); }
  DLPlayer(const DLPlayer&) = delete;
  DLPlayer& operator=(const DLPlayer&) = delete;

  // Plays from the first entry to the end, populating as it goes.
  void Play();
  // Plays entries [first, end) of the list (populating as far as needed);
  // nested plays still open at `end` end there.
  void PlayRange(uint32_t first, uint32_t end);

  // Whether a nested player has played to its end.
  bool Finished() const { return finished_; }
  // Whether a nested player ended at its Q (or ET) rather than at the end of the list.
  bool EndedByMarker() const { return endedByMarker_; }
  document::DisplayList& List() const { return state_->list; }
  // The entry the player reads next.
  uint32_t Position() const { return state_->op; }

  void Reset();

 private:
  enum Mode { kTopLevel, kSaved, kTextObject };
  DLPlayer(PlayState* state, Mode mode) : state_(state), mode_(mode) {}

  void Rewind();
  void Run();
  void SkipRest();
  // Decodes the entry `opcode` whose operands start at the given positions.
  bool NextOpcode(uint8_t& opcode);
  void ExecuteEntry(uint8_t opcode, bool dispatch);
  void Execute(uint8_t opcode, uint32_t& small, uint32_t& word, bool dispatch);
  void ExecutePaint(uint32_t& word, bool dispatch);
  DLName ReadName(uint32_t& small);
  Fixed16_16 ReadWord(uint32_t& word);
  Fixed16_16* ReadWords(uint32_t& word, uint32_t count);
  DLPath StoredPath(uint32_t count);
  DLPath RereadPath(uint64_t offset);
  void CloseReread();

  PlayState* state_;
  Mode mode_;
  bool finished_ = false;
  bool endedByMarker_ = false;
  bool owns_ = false;  // a top-level player owns its state (engine memory)
};

}  // namespace vn::pdf::content
