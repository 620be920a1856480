// Cross-reference sections: the classic table and the cross-reference
// stream. A section knows its subsections, its trailer and the previous
// section; its entries are read in chunks of 128 through the document's
// entry-chunk cache.
#pragma once

#include <cstdint>

#include "data_io/data_store.h"
#include "pdf/store/parsed_object.h"
#include "runtime/engine_array.h"
#include "runtime/engine_new.h"

namespace vn::pdf::store {

class DocumentStore;

enum XRefKind : int32_t { kNotInSection = 0, kFree = 1, kInUse = 2, kInObjectStream = 3 };

struct XRefEntry {
  int32_t kind;
  int32_t generation;
  uint64_t offset;        // kInUse: file offset, header offset added
  int32_t streamNumber;   // kInObjectStream
  int32_t streamIndex;
};

struct XRefSubsection {
  int32_t first;
  int32_t count;
  uint64_t entryPosition;
  // False for a table whose lines are not 20 bytes each: its chunks are
  // found by reading the entries before them.
  bool fixedSize = true;
};

class XRefSection : public RefCounted {
 public:
  static constexpr uint32_t kChunkEntries = 128;

  explicit XRefSection(DocumentStore& store);
  ~XRefSection() override;

  // The entry of `objectNumber`, kind kNotInSection when the section lacks it.
  XRefEntry Lookup(int32_t objectNumber);
  const Value& GetTrailer() const { return trailer_->value; }
  ParsedObject* Trailer() const { return trailer_.get(); }
  uint64_t GetPrevOffset() const { return prevOffset_; }
  // Bytes the section holds now (a stream section's decoder grows as its
  // entries are read).
  virtual uint32_t GetMemorySize() const;
  virtual void DecodeEntries(uint64_t position, XRefEntry* entries, uint32_t count) = 0;
  // For tables with irregular lines: decodes `count` entries after skipping
  // `skip` entries from `position`.
  virtual void DecodeEntriesAfter(uint64_t position, uint32_t skip, XRefEntry* entries, uint32_t count);
  virtual uint32_t EntrySize() const = 0;

  // Key of this section in the caches: its file offset.
  uint64_t offset = 0;

 protected:
  void AddSubsection(int32_t first, int32_t count, uint64_t entryPosition, bool fixedSize = true);
  void ReadPrev();

  DocumentStore& store_;
  AppContext& context_;
  EngineArray<XRefSubsection> subsections_;
  Ref<ParsedObject> trailer_;
  uint64_t prevOffset_ = 0;
};

class XRefNormalSection final : public XRefSection {
 public:
  // Reads "xref", the subsection headers and the trailer at `offset`.
  XRefNormalSection(DocumentStore& store, uint64_t offset);
  void DecodeEntries(uint64_t position, XRefEntry* entries, uint32_t count) override;
  void DecodeEntriesAfter(uint64_t position, uint32_t skip, XRefEntry* entries, uint32_t count) override;
  uint32_t EntrySize() const override { return 20; }
};

class XRefStreamSection final : public XRefSection {
 public:
  // Reads the cross-reference stream object at `offset`.
  XRefStreamSection(DocumentStore& store, uint64_t offset);
  void DecodeEntries(uint64_t position, XRefEntry* entries, uint32_t count) override;
  uint32_t EntrySize() const override { return widths_[0] + widths_[1] + widths_[2]; }
  // With the decoded-data store and its decoders (a Flate stage's inflater).
  uint32_t GetMemorySize() const override;

 private:
  uint32_t widths_[3] = {0, 0, 0};
  Owned<data_io::DataStore> data_{context_};  // the decoded entries
};

// Builds the section at `offset`: a table when the first byte there is 'x',
// a cross-reference stream otherwise.
XRefSection* LoadSection(DocumentStore& store, uint64_t offset);

}  // namespace vn::pdf::store
