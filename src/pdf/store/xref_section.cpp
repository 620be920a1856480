#include "pdf/store/xref_section.h"

#include "data_io/buffered_stream.h"
#include "data_io/data_store_from_stream.h"
#include "pdf/store/byte_scanning.h"
#include "pdf/store/char_classes.h"
#include "pdf/store/document_store.h"
#include "pdf/store/parse_object.h"
#include "platform/clock.h"

namespace vn::pdf::store {

using data_io::BufferedDataStore;

namespace {

// Entries of one chunk of a section, cached by (section, chunk position).
class EntryChunk final : public RefCounted {
 public:
  EntryChunk(AppContext& context, uint32_t count) : entries(context) { entries.Resize(count); }
  EngineArray<XRefEntry> entries;
};

}  // namespace

XRefSection::XRefSection(DocumentStore& store) : store_(store), context_(store.Context()), trailer_(context_) {}

XRefSection::~XRefSection() = default;

uint32_t XRefSection::GetMemorySize() const {
  return static_cast<uint32_t>(sizeof(*this)) + (trailer_ ? trailer_->AccountedSize() : 0);
}

void XRefSection::ReadPrev(bool table) {
  Value prev = Get(context_, trailer_->value, "Prev");
  if (!prev.IsNull()) {
    if (!prev.IsInteger() || prev.i < 0) RaiseBadData(context_);
    prevOffset_ = static_cast<uint64_t>(prev.i) + store_.HeaderOffset();
  }
  // A cross-reference stream's own XRefStm means nothing.
  Value hybrid = table ? Get(context_, trailer_->value, "XRefStm") : Value();
  if (hybrid.IsInteger() && hybrid.i >= 0) hybridOffset_ = static_cast<uint64_t>(hybrid.i) + store_.HeaderOffset();
}

XRefGoodSection::XRefGoodSection(DocumentStore& store) : XRefSection(store), subsections_(context_) {}

uint32_t XRefGoodSection::GetMemorySize() const {
  return XRefSection::GetMemorySize() + static_cast<uint32_t>(sizeof(*this) - sizeof(XRefSection)) +
         subsections_.MemorySize();
}

void XRefGoodSection::AddSubsection(int32_t first, int32_t count, uint64_t entryPosition, bool fixedSize) {
  if (first < 0 || count < 0 || static_cast<int64_t>(first) + count > 0x7FFFFFFF) RaiseBadData(context_);
  subsections_.Push(XRefSubsection{first, count, entryPosition, fixedSize});
}

void XRefGoodSection::DecodeEntriesAfter(uint64_t, uint32_t, XRefEntry*, uint32_t) { RaiseBadData(context_); }

XRefEntry XRefGoodSection::Lookup(int32_t objectNumber) {
  XRefEntry none{kNotInSection, 0, 0, 0, 0};
  for (const XRefSubsection& sub : subsections_) {
    if (objectNumber < sub.first || objectNumber - sub.first >= sub.count) continue;
    uint32_t index = static_cast<uint32_t>(objectNumber - sub.first);
    uint32_t chunk = index / kChunkEntries;
    uint64_t chunkPosition = sub.fixedSize ? sub.entryPosition + static_cast<uint64_t>(chunk) * kChunkEntries * EntrySize()
                                           : sub.entryPosition + chunk;  // only a key: unique per chunk
    EntryChunkKey key{offset, chunkPosition};
    Ref<EntryChunk> held(context_, static_cast<EntryChunk*>(store_.EntryChunks().Find(key)));
    if (!held) {
      uint32_t count = static_cast<uint32_t>(sub.count) - chunk * kChunkEntries;
      if (count > kChunkEntries) count = kChunkEntries;
      uint64_t started = platform::QueryCounter();
      held.Set(New<EntryChunk>(context_, context_, count));
      if (sub.fixedSize) DecodeEntries(chunkPosition, held->entries.Data(), count);
      else DecodeEntriesAfter(sub.entryPosition, chunk * kChunkEntries, held->entries.Data(), count);
      store_.EntryChunks().Insert(key, held.get(), platform::QueryCounter() - started,
                                  static_cast<uint32_t>(sizeof(EntryChunk)) + held->entries.MemorySize());
    }
    uint32_t at = index % kChunkEntries;
    if (at >= held->entries.Size()) RaiseBadData(context_);
    return held->entries[at];
  }
  return none;
}

// ---- classic tables

namespace {

// Reads past one table entry: offset, generation and the f or n.
void SkipEntry(data_io::BufferedStream& source) {
  source.SkipWhile(kCharClasses, kWhiteSpace);
  ReadInteger(source);
  source.SkipWhile(kCharClasses, kWhiteSpace);
  ReadInteger(source);
  source.SkipWhile(kCharClasses, kWhiteSpace);
  source.NextByte();
}

}  // namespace

XRefNormalSection::XRefNormalSection(DocumentStore& store, uint64_t sectionOffset) : XRefGoodSection(store) {
  offset = sectionOffset;
  Scoped<BufferedDataStore> source(context_, context_, &store.File(), sectionOffset);
  SkipWhiteSpaceAndComments(*source);
  ExpectKeyword(*source, "xref");
  SkipWhiteSpaceAndComments(*source);
  for (;;) {
    if (source->PeekByte() == 't') {
      ExpectKeyword(*source, "trailer");
      SkipWhiteSpaceAndComments(*source);
      trailer_.Set(New<ParsedObject>(context_, context_, 0, 0));
      trailer_->value = ParseObject(*source, trailer_->arena, nullptr);
      if (!trailer_->value.IsDictionary()) RaiseBadData(context_);
      break;
    }
    int64_t first = ReadInteger(*source);
    source->SkipWhile(kCharClasses, kWhiteSpace);
    int64_t count = ReadInteger(*source);
    if (first < 0 || count < 0 || first + count > 0x7FFFFFFF) RaiseBadData(context_);
    source->SkipWhile(kCharClasses, kWhiteSpace);
    uint64_t entries = source->Position();
    source->Seek(entries + static_cast<uint64_t>(count) * 20);
    source->SkipWhile(kCharClasses, kWhiteSpace);
    int next = source->PeekByte();
    bool fixedSize = next == 't' || (next >= '0' && next <= '9');
    if (!fixedSize) {
      // Lines of another length (19 bytes is common): read past the entries.
      source->Seek(entries);
      for (int64_t i = 0; i < count; ++i) SkipEntry(*source);
      source->SkipWhile(kCharClasses, kWhiteSpace);
    }
    AddSubsection(static_cast<int32_t>(first), static_cast<int32_t>(count), entries, fixedSize);
  }
  ReadPrev(true);
}

void XRefNormalSection::DecodeEntries(uint64_t position, XRefEntry* entries, uint32_t count) {
  Scoped<BufferedDataStore> source(context_, context_, &store_.File(), position);
  for (uint32_t i = 0; i < count; ++i) {
    source->SkipWhile(kCharClasses, kWhiteSpace);
    int64_t offsetValue = ReadInteger(*source);
    source->SkipWhile(kCharClasses, kWhiteSpace);
    int64_t generation = ReadInteger(*source);
    source->SkipWhile(kCharClasses, kWhiteSpace);
    int kind = source->NextByte();
    if (offsetValue < 0 || generation < 0) RaiseBadData(context_);
    XRefEntry& e = entries[i];
    // Free entries often carry 65536 or more as their generation.
    e = XRefEntry{kFree, static_cast<int32_t>(generation > 0x7FFFFFFF ? 0x7FFFFFFF : generation), 0, 0, 0};
    if (kind == 'n') {
      e.kind = kInUse;
      e.offset = static_cast<uint64_t>(offsetValue) + store_.HeaderOffset();
    } else if (kind != 'f') {
      RaiseBadData(context_);
    }
  }
}

void XRefNormalSection::DecodeEntriesAfter(uint64_t position, uint32_t skip, XRefEntry* entries, uint32_t count) {
  uint64_t start;
  {
    Scoped<BufferedDataStore> source(context_, context_, &store_.File(), position);
    for (uint32_t i = 0; i < skip; ++i) SkipEntry(*source);
    start = source->Position();
  }
  DecodeEntries(start, entries, count);
}

// ---- cross-reference streams

XRefStreamSection::XRefStreamSection(DocumentStore& store, uint64_t sectionOffset) : XRefGoodSection(store) {
  offset = sectionOffset;
  {
    Scoped<BufferedDataStore> source(context_, context_, &store.File(), sectionOffset);
    if (!MatchObjectHeader(*source, number_, generation_)) RaiseBadData(context_);
    trailer_.Set(New<ParsedObject>(context_, context_, 0, 0));
    trailer_->value = ParseObject(*source, trailer_->arena, nullptr);
  }
  const Value& dict = trailer_->value;
  if (StreamDataOffset(dict) == 0) RaiseBadData(context_);

  Value w = Get(context_, dict, "W");
  if (!w.IsArray()) RaiseBadData(context_);
  uint32_t n = ArraySize(context_, w);
  for (uint32_t i = 0; i < 3 && i < n; ++i) {
    const Value& width = ArrayAt(context_, w, i);
    if (!width.IsInteger() || width.i < 0 || width.i > 8) RaiseBadData(context_);
    widths_[i] = static_cast<uint32_t>(width.i);
  }
  if (EntrySize() == 0) RaiseBadData(context_);

  Value index = Get(context_, dict, "Index");
  if (index.IsArray()) {
    uint64_t position = 0;
    uint32_t size = ArraySize(context_, index);
    for (uint32_t i = 0; i + 1 < size; i += 2) {
      const Value& first = ArrayAt(context_, index, i);
      const Value& count = ArrayAt(context_, index, i + 1);
      if (!first.IsInteger() || !count.IsInteger()) RaiseBadData(context_);
      AddSubsection(first.i, count.i, position);
      position += static_cast<uint64_t>(count.i) * EntrySize();
    }
  } else {
    Value size = Get(context_, dict, "Size");
    if (!size.IsInteger()) RaiseBadData(context_);
    AddSubsection(0, size.i, 0);
  }
  ReadPrev(false);
  // Cross-reference streams are never encrypted.
  Owned<data_io::DataBlockStream> entries(context_, store.OpenStreamData(*trailer_, false));
  data_.Set(New<data_io::DataStoreFromStream>(context_, context_, entries.get()));
  entries.Release();
}

uint32_t XRefStreamSection::GetMemorySize() const {
  return XRefGoodSection::GetMemorySize() + static_cast<uint32_t>(sizeof(*this) - sizeof(XRefGoodSection)) +
         (data_ ? data_->GetMemorySize() : 0);
}

XRefEntry XRefStreamSection::Lookup(int32_t objectNumber) {
  XRefEntry entry = XRefGoodSection::Lookup(objectNumber);
  if (entry.kind == kNotInSection && objectNumber == number_) {
    entry = XRefEntry{kInUse, static_cast<int32_t>(generation_ & 0xFFFF), offset, 0, 0};
  }
  return entry;
}

void XRefStreamSection::DecodeEntries(uint64_t position, XRefEntry* entries, uint32_t count) {
  Scoped<BufferedDataStore> source(context_, context_, data_.get(), position);
  for (uint32_t i = 0; i < count; ++i) {
    uint64_t field[3] = {0, 0, 0};
    for (int f = 0; f < 3; ++f) {
      for (uint32_t b = 0; b < widths_[f]; ++b) field[f] = (field[f] << 8) | source->NextByte();
    }
    if (widths_[0] == 0) field[0] = 1;
    XRefEntry& e = entries[i];
    e = XRefEntry{kFree, 0, 0, 0, 0};
    if (field[0] == 1) {
      if (field[2] > 0xFFFF) RaiseBadData(context_);
      e.kind = kInUse;
      e.offset = field[1] + store_.HeaderOffset();
      e.generation = static_cast<int32_t>(field[2]);
    } else if (field[0] == 2) {
      if (field[1] > 0x7FFFFFFF || field[2] > 0x7FFFFFFF) RaiseBadData(context_);
      e.kind = kInObjectStream;
      e.streamNumber = static_cast<int32_t>(field[1]);
      e.streamIndex = static_cast<int32_t>(field[2]);
    }
  }
}

XRefSection* LoadSection(DocumentStore& store, uint64_t offset) {
  AppContext& context = store.Context();
  bool table;
  {
    Scoped<BufferedDataStore> source(context, context, &store.File(), offset);
    SkipWhiteSpaceAndComments(*source);
    table = source->PeekByte() == 'x';
  }
  if (table) return New<XRefNormalSection>(context, store, offset);
  return New<XRefStreamSection>(context, store, offset);
}

}  // namespace vn::pdf::store
