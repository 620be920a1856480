// The cross-reference data of a damaged file, rebuilt by scanning it (see
// object_scan.h): one section that holds every object found, the last
// definition of each number winning, members of object streams included.
// Its trailer is the newest trailer (or cross-reference stream dictionary)
// whose Root the index holds, else one made from the newest catalog, else
// the newest trailer found.
//
// The store builds it in three steps, because reading object streams needs
// the store itself: construction scans the file, AddMembers() takes each
// object stream's list as the store reads it through the partial index,
// and Finish() completes the index and picks the trailer.
#pragma once

#include <cstdint>

#include "pdf/store/object_scan.h"
#include "pdf/store/xref_section.h"

namespace vn::pdf::store {

class XRefRepairedSection final : public XRefSection {
 public:
  // Scans the file. Raises kLimitExceeded for a file of more objects than
  // the index holds, kCancelled when cancelled.
  explicit XRefRepairedSection(DocumentStore& store);

  XRefEntry Lookup(int32_t objectNumber) override;
  uint32_t GetMemorySize() const override;

  // The objects that call themselves object streams, in number order.
  const EngineArray<ScanObject>& ObjectStreams() const { return scan_.objectStreams; }
  // Indexes the objects that `stream` lists: `pairs` holds object number
  // and offset, `pairCount` times.
  void AddMembers(const ScanObject& stream, const int64_t* pairs, uint32_t pairCount);
  // Completes the index and picks the trailer. A PDF file of objects
  // without any root gets a trailer without Root (its pages cannot be
  // found); raises kBadData when the scan found no object at all, or no
  // root in a file without a PDF header.
  void Finish();

 private:
  bool Holds(int32_t objectNumber);
  // The dictionary at `position` ("trailer" or an object), or null.
  void ParseCandidate(Ref<ParsedObject>& out, uint64_t position);
  void MakeTrailer(const ScanObject& catalog, const ParsedObject* latest);

  ObjectScan scan_;
  // Object streams whose members are indexed, by offset: a member's entry
  // holds its stream's offset.
  EngineArray<ScanObject> expanded_;
};

}  // namespace vn::pdf::store
