#include "pdf/store/xref_repair.h"

#include <algorithm>
#include <cstring>

#include "data_io/buffered_stream.h"
#include "pdf/store/document_store.h"
#include "pdf/store/parse_object.h"

namespace vn::pdf::store {

using data_io::BufferedDataStore;

XRefRepairedSection::XRefRepairedSection(DocumentStore& store)
    : XRefSection(store), scan_(store.Context()), expanded_(store.Context()) {
  scan_.Run(store.File());
}

XRefEntry XRefRepairedSection::Lookup(int32_t objectNumber) {
  XRefEntry none{kNotInSection, 0, 0, 0, 0};
  const EngineArray<ScanEntry>& entries = scan_.entries;
  const ScanEntry* at = std::lower_bound(entries.begin(), entries.end(), objectNumber,
                                         [](const ScanEntry& e, int32_t n) { return e.number < n; });
  if (at == entries.end() || at->number != objectNumber) return none;
  if (!at->IsMember()) return XRefEntry{kInUse, at->aux, at->Offset(), 0, 0};
  const ScanObject* stream = std::lower_bound(expanded_.begin(), expanded_.end(), at->Offset(),
                                              [](const ScanObject& s, uint64_t offset) { return s.offset < offset; });
  if (stream == expanded_.end() || stream->offset != at->Offset()) return none;
  return XRefEntry{kInObjectStream, 0, 0, stream->number, at->aux};
}

uint32_t XRefRepairedSection::GetMemorySize() const {
  return XRefSection::GetMemorySize() + static_cast<uint32_t>(sizeof(*this) - sizeof(XRefSection)) +
         scan_.entries.MemorySize() + scan_.objectStreams.MemorySize() + scan_.trailers.MemorySize() +
         scan_.xrefStreams.MemorySize() + scan_.catalogs.MemorySize() + expanded_.MemorySize();
}

void XRefRepairedSection::AddMembers(const ScanObject& stream, const int64_t* pairs, uint32_t pairCount) {
  EngineArray<ScanEntry>& entries = scan_.entries;
  // Members are counted by their index, which the entry keeps in 16 bits.
  if (pairCount > 0xFFFF) pairCount = 0xFFFF;
  for (uint32_t i = 0; i < pairCount; ++i) {
    int64_t number = pairs[2 * i];
    if (number < 0 || number > 0x7FFFFFFF) continue;
    if (entries.Size() == kMaxScanEntries) {
      CompactScanEntries(entries);
      if (entries.Size() > kMaxScanEntries - kMaxScanEntries / 4) RaiseCode(context_, kLimitExceeded);
    }
    entries.Push(ScanEntry::Make(static_cast<int32_t>(number), stream.offset, i, true));
  }
  expanded_.Push(stream);
}

bool XRefRepairedSection::Holds(int32_t objectNumber) { return Lookup(objectNumber).kind != kNotInSection; }

namespace {
// Tells whether a raise is one that a damaged candidate may cause; memory
// and cancellation go on.
bool IsDataError(int32_t code) { return code != kOutOfMemory && code != kCancelled; }
}  // namespace

void XRefRepairedSection::ParseCandidate(Ref<ParsedObject>& out, uint64_t position) {
  out.Set(New<ParsedObject>(context_, context_, 0, 0));
  TryFrame frame;
  if (VN_TRY(context_, frame)) {
    Scoped<BufferedDataStore> source(context_, context_, &store_.File(), position);
    SkipWhiteSpaceAndComments(*source);
    out->value = ParseObject(*source, out->arena, nullptr);
  } else if (!IsDataError(Catch(frame).code)) {
    Rethrow(context_);
  }
  EndTry(frame);
  if (!out->value.IsDictionary()) out.Set(nullptr);
}

void XRefRepairedSection::Finish() {
  CompactScanEntries(scan_.entries);
  std::sort(expanded_.begin(), expanded_.end(), [](const ScanObject& a, const ScanObject& b) { return a.offset < b.offset; });

  // Trailers and cross-reference stream dictionaries, newest first.
  Ref<ParsedObject> candidate(context_);
  Ref<ParsedObject> anyRoot(context_);
  Ref<ParsedObject> latest(context_);
  uint32_t t = scan_.trailers.Size();
  uint32_t x = scan_.xrefStreams.Size();
  while (t > 0 || x > 0) {
    bool takeTrailer = x == 0 || (t > 0 && scan_.trailers[t - 1] > scan_.xrefStreams[x - 1].offset);
    ParseCandidate(candidate, takeTrailer ? scan_.trailers[--t] : scan_.xrefStreams[--x].offset);
    if (!candidate) continue;
    if (!latest) latest = candidate;
    Value root = Get(context_, candidate->value, "Root");
    if (!root.IsReference()) continue;
    if (Holds(root.ref->number)) {
      trailer_ = candidate;
      return;
    }
    if (!anyRoot) anyRoot = candidate;
  }
  // No trailer names a root the file holds: the newest catalog does.
  for (uint32_t c = scan_.catalogs.Size(); c-- > 0;) {
    const ScanObject& catalog = scan_.catalogs[c];
    XRefEntry entry = Lookup(catalog.number);
    if (entry.kind != kInUse || entry.offset != catalog.offset) continue;  // defined again later
    ParseCandidate(candidate, catalog.offset);
    if (candidate && Get(context_, candidate->value, "Type").NameIs("Catalog")) {
      MakeTrailer(catalog, latest.get());
      return;
    }
  }
  // Objects but no root: a PDF file opens, and its pages cannot be found;
  // a file without a PDF header (text that quotes PDF syntax) does not.
  if (scan_.entries.Empty() || !store_.HasHeader()) RaiseBadData(context_);
  if (anyRoot) {
    trailer_ = anyRoot;
  } else if (latest) {
    trailer_ = latest;
  } else {
    trailer_.Set(New<ParsedObject>(context_, context_, 0, 0));
    trailer_->value.type = kDictionary;
    trailer_->value.container = NewContainer(trailer_->arena, 0);
  }
}

void XRefRepairedSection::MakeTrailer(const ScanObject& catalog, const ParsedObject* latest) {
  trailer_.Set(New<ParsedObject>(context_, context_, 0, 0));
  Arena& arena = trailer_->arena;
  Container* dict = NewContainer(arena, 0);
  auto add = [&](const char* key, const Value& value) {
    dict->Push(arena, MakeStringValue(arena, kName, reinterpret_cast<const uint8_t*>(key),
                                      static_cast<uint32_t>(std::strlen(key))));
    dict->Push(arena, value);
  };
  Value root;
  root.type = kReference;
  root.ref = static_cast<ObjectRef*>(arena.Allocate(sizeof(ObjectRef)));
  *root.ref = ObjectRef{catalog.number, Lookup(catalog.number).generation};
  add("Root", root);
  int32_t size = scan_.entries.Empty() ? 0 : scan_.entries.Back().number;
  add("Size", MakeInteger(size < 0x7FFFFFFF ? size + 1 : size));
  // What the newest trailer says of the rest of the document.
  if (latest != nullptr) {
    for (const char* key : {"Info", "Encrypt", "ID"}) {
      Value value = Get(context_, latest->value, key);
      if (!value.IsNull()) add(key, CopyValue(arena, value));
    }
  }
  trailer_->value.type = kDictionary;
  trailer_->value.container = dict;
}

}  // namespace vn::pdf::store
