// The scan behind the repair of damaged cross-reference data: one pass over
// the whole file that finds every "n g obj", the trailers, and the objects
// that call themselves object streams, cross-reference streams or
// catalogs. Stream data is skipped up to its "endstream", so objects
// written inside streams are not mistaken for the file's own; strings and
// comments are skipped too.
#pragma once

#include <cstdint>

#include "data_io/data_store.h"
#include "runtime/engine_array.h"

namespace vn::pdf::store {

// One object definition: 12 bytes, so that large files fit the budget. A
// definition found in the file has its header's offset and generation; a
// member of an object stream has the offset of the stream's header (which
// orders it among the definitions) and its index in the stream.
struct ScanEntry {
  int32_t number;
  uint32_t offsetLow;
  uint16_t offsetHigh;  // bit 15: a member of an object stream
  uint16_t aux;         // generation, or index in the stream

  static constexpr uint16_t kMemberBit = 0x8000;
  static ScanEntry Make(int32_t number, uint64_t offset, uint32_t aux, bool member) {
    return ScanEntry{number, static_cast<uint32_t>(offset), static_cast<uint16_t>((offset >> 32) | (member ? kMemberBit : 0)),
                     static_cast<uint16_t>(aux)};
  }
  uint64_t Offset() const { return static_cast<uint64_t>(offsetHigh & ~kMemberBit) << 32 | offsetLow; }
  bool IsMember() const { return (offsetHigh & kMemberBit) != 0; }
};

// An object found by the scan: its number and header offset.
struct ScanObject {
  int32_t number;
  uint64_t offset;
};

// The definitions the index holds at most. More distinct objects raise
// kLimitExceeded: a file of that many objects does not fit the budget.
constexpr uint32_t kMaxScanEntries = 1u << 18;
// The newest trailers, cross-reference streams and catalogs kept.
constexpr uint32_t kScanCandidates = 16;

// Keeps the last of the entries with the same number, sorted by number
// (ties in file order); entries keep their order of definition.
void CompactScanEntries(EngineArray<ScanEntry>& entries);

class ObjectScan {
 public:
  explicit ObjectScan(AppContext& context);

  // Reads the whole store from its first byte, yielding as it goes.
  // Raises kLimitExceeded past kMaxScanEntries objects, kCancelled when
  // cancelled.
  void Run(data_io::DataStore& file);

  // Compacted: the last definition of each number.
  EngineArray<ScanEntry> entries;
  // Objects that name /ObjStm, the last definition of each number, in
  // number order.
  EngineArray<ScanObject> objectStreams;
  // Positions just after the newest "trailer" keywords, oldest first.
  EngineArray<uint64_t> trailers;
  // The newest objects that name /XRef or /Catalog, oldest first.
  EngineArray<ScanObject> xrefStreams;
  EngineArray<ScanObject> catalogs;
};

}  // namespace vn::pdf::store
