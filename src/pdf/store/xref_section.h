// Cross-reference sections: the classic table and the cross-reference
// stream (and, in xref_repair.h, the index rebuilt by scanning a damaged
// file). A section knows its trailer and the previous section; the two read
// from the file keep their subsections and read entries in chunks of 128
// through the document's entry-chunk cache.
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

// A section of cross-reference data: it answers lookups and knows its
// trailer and the previous section.
class XRefSection : public RefCounted {
 public:
  explicit XRefSection(DocumentStore& store);
  ~XRefSection() override;

  // The entry of `objectNumber`, kind kNotInSection when the section lacks it.
  virtual XRefEntry Lookup(int32_t objectNumber) = 0;
  const Value& GetTrailer() const { return trailer_->value; }
  ParsedObject* Trailer() const { return trailer_.get(); }
  uint64_t GetPrevOffset() const { return prevOffset_; }
  // The cross-reference stream of a hybrid file, named by a table's
  // "XRefStm" (header offset added); 0 when there is none.
  uint64_t GetHybridStreamOffset() const { return hybridOffset_; }
  // Bytes the section holds now (a stream section's decoder grows as its
  // entries are read).
  virtual uint32_t GetMemorySize() const;

  // Key of this section in the caches: its file offset.
  uint64_t offset = 0;

 protected:
  // "Prev" and, for tables, "XRefStm" of the trailer.
  void ReadPrev(bool table);

  DocumentStore& store_;
  AppContext& context_;
  Ref<ParsedObject> trailer_;
  uint64_t prevOffset_ = 0;
  uint64_t hybridOffset_ = 0;
};

// A section read from the file: subsections whose entries are read in
// chunks of 128 through the document's entry-chunk cache.
class XRefGoodSection : public XRefSection {
 public:
  static constexpr uint32_t kChunkEntries = 128;

  explicit XRefGoodSection(DocumentStore& store);

  XRefEntry Lookup(int32_t objectNumber) override;
  uint32_t GetMemorySize() const override;
  virtual void DecodeEntries(uint64_t position, XRefEntry* entries, uint32_t count) = 0;
  // For tables with irregular lines: decodes `count` entries after skipping
  // `skip` entries from `position`.
  virtual void DecodeEntriesAfter(uint64_t position, uint32_t skip, XRefEntry* entries, uint32_t count);
  virtual uint32_t EntrySize() const = 0;

 protected:
  void AddSubsection(int32_t first, int32_t count, uint64_t entryPosition, bool fixedSize = true);

  EngineArray<XRefSubsection> subsections_;
};

class XRefNormalSection final : public XRefGoodSection {
 public:
  // Reads "xref", the subsection headers and the trailer at `offset`.
  XRefNormalSection(DocumentStore& store, uint64_t offset);
  void DecodeEntries(uint64_t position, XRefEntry* entries, uint32_t count) override;
  void DecodeEntriesAfter(uint64_t position, uint32_t skip, XRefEntry* entries, uint32_t count) override;
  uint32_t EntrySize() const override { return 20; }
};

class XRefStreamSection final : public XRefGoodSection {
 public:
  // Reads the cross-reference stream object at `offset`.
  XRefStreamSection(DocumentStore& store, uint64_t offset);
  // A stream that does not list itself still knows where it is.
  XRefEntry Lookup(int32_t objectNumber) override;
  void DecodeEntries(uint64_t position, XRefEntry* entries, uint32_t count) override;
  uint32_t EntrySize() const override { return widths_[0] + widths_[1] + widths_[2]; }
  // With the decoded-data store and its decoders (a Flate stage's inflater).
  uint32_t GetMemorySize() const override;

 private:
  uint32_t widths_[3] = {0, 0, 0};
  Owned<data_io::DataStore> data_{context_};  // the decoded entries
  int64_t number_ = -1;                        // of the stream object itself
  int64_t generation_ = 0;
};

// Builds the section at `offset`: a table when the first byte there is 'x',
// a cross-reference stream otherwise.
XRefSection* LoadSection(DocumentStore& store, uint64_t offset);

}  // namespace vn::pdf::store
