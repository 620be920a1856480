#include "pdf/store/document_store.h"

#include <cstring>

#include "data_io/buffered_stream.h"
#include "data_io/data_store_from_stream.h"
#include "data_io/data_store_stream.h"
#include "data_io/sub_range_data_store.h"
#include "pdf/security/security_handler.h"
#include "pdf/store/byte_scanning.h"
#include "pdf/store/get_stream_data.h"
#include "pdf/store/parse_object.h"
#include "pdf/store/xref_repair.h"
#include "platform/clock.h"

namespace vn::pdf::store {

using data_io::BufferedDataStore;

namespace {

// The longest Prev chain followed; real files have a handful of sections.
// A lookup of an object that no section has walks the whole chain.
constexpr uint32_t kMaxSections = 1024;
// Object streams whose objects lead into further object streams.
constexpr uint32_t kMaxObjectStreamNesting = 8;

// Resolves stream-dictionary values through the store, copying objects
// into the caller's arena. Streams that filter parameters name are opened
// by a resolver that follows no further ones, so that they cannot lead
// back to themselves.
class StoreResolver final : public ValueResolver {
 public:
  StoreResolver(DocumentStore& store, bool followsStreams) : store_(store), followsStreams_(followsStreams) {}
  Value ResolveInto(const Value& value, Arena& arena) override {
    if (!value.IsReference()) return value;
    Ref<ParsedObject> holder(store_.Context());
    Value resolved = store_.Resolve(value, holder);
    return CopyValue(arena, resolved);
  }
  data_io::DataBlockStream* OpenReferencedStream(const Value& value) override {
    if (!followsStreams_ || !value.IsReference()) return nullptr;
    Ref<ParsedObject> holder(store_.Context());
    store_.GetObject(holder, value.ref->number);
    if (StreamDataOffset(holder->value) == 0) return nullptr;
    StoreResolver inner(store_, false);
    Arena scratch(store_.Context(), 1024, 256);
    return GetStreamData(store_.Context(), store_.File(), store_.HeaderOffset(), holder->value, false,
                         holder->decrypter, inner, scratch);
  }

 private:
  DocumentStore& store_;
  bool followsStreams_;
};

// Runs `body`; false when it raised kBadData (absorbed), which is how
// damaged cross-reference data shows.
template <class Body>
bool SucceedsOnGoodData(AppContext& context, Body&& body) {
  TryFrame frame;
  volatile bool good = true;
  if (VN_TRY(context, frame)) {
    body();
  } else {
    AbsorbOnly(context, frame, kBadData);
    good = false;
  }
  EndTry(frame);
  return good;
}

}  // namespace

// The decoded data of one object stream and its (object number, offset) pairs.
class ObjectStreamData final : public RefCounted {
 public:
  ObjectStreamData(AppContext& context, data_io::DataBlockStream* source)
      : data(context, New<data_io::DataStoreFromStream>(context, context, source)), pairs(context) {}
  Owned<data_io::DataStore> data;
  EngineArray<int64_t> pairs;  // number, offset, number, offset ...
  uint64_t first = 0;
};

DocumentStore::DocumentStore(AppContext& context, data_io::DataStore* file)
    : context_(context),
      file_(context, file),
      linearization_(context),
      trailer_(context),
      security_(context),
      sections_(context),
      entryChunks_(context),
      objects_(context),
      objectStreams_(context),
      chain_(context),
      building_(context) {}

DocumentStore::~DocumentStore() {
  // Cached objects hold decrypters that refer to the handler: drop them first.
  objects_.Clear();
}

const Value& DocumentStore::LinearizationDictionary() const {
  static const Value kNull;
  return linearization_ ? linearization_->value : kNull;
}

bool DocumentStore::CheckLinearization() {
  Ref<ParsedObject> dict(context_, New<ParsedObject>(context_, context_, 0, 0));
  Scoped<BufferedDataStore> source(context_, context_, file_.get(), headerOffset_);
  SkipWhiteSpaceAndComments(*source);
  dict->value = ParseObject(*source, dict->arena, nullptr);
  if (!dict->value.IsDictionary()) return false;
  Value version = Get(context_, dict->value, "Linearized");
  if (!version.IsNumber() || version.AsFixed() < 0x10000 || version.AsFixed() > 0x1FFFF) return false;
  Value length = Get(context_, dict->value, "L");
  if (!length.IsInteger() || static_cast<uint64_t>(length.i) + headerOffset_ != file_->GetLength()) return false;
  ExpectKeyword(*source, "endobj");
  SkipWhiteSpaceAndComments(*source);
  firstSection_ = source->Position();
  linearization_.Set(dict.get());
  return true;
}

void DocumentStore::Open() {
  file_->HintRange(0, 1024);
  uint8_t head[1024];
  uint32_t got = 0;
  {
    Scoped<BufferedDataStore> source(context_, context_, file_.get(), 0);
    while (got < sizeof head && source->PeekByte() >= 0) head[got++] = source->NextByte();
  }
  int64_t header = -1;
  for (uint32_t i = 0; i + 4 <= got; ++i) {
    if (std::memcmp(head + i, "%PDF", 4) == 0) {
      header = i;
      break;
    }
  }
  // Without a header the offsets count from the first byte, and only a
  // scan can tell whether this is a PDF file at all.
  hasHeader_ = header >= 0;
  headerOffset_ = hasHeader_ ? static_cast<uint64_t>(header) : 0;
  for (uint32_t i = 0; header >= 0 && i + 1 < sizeof version_ && headerOffset_ + 5 + i < got; ++i) {
    uint8_t c = head[headerOffset_ + 5 + i];
    if (!((c >= '0' && c <= '9') || c == '.')) break;
    version_[i] = static_cast<char>(c);
  }

  bool linearized = false;
  if (header >= 0) {
    TryFrame frame;
    volatile bool found = false;
    if (VN_TRY(context_, frame)) {
      found = CheckLinearization();
    } else {
      AbsorbOnly(context_, frame, kBadData);
    }
    EndTry(frame);
    linearized = found;
  }
  if (header < 0 || !SucceedsOnGoodData(context_, [&] { OpenFromCrossReference(linearized); })) {
    Repair();
    Ref<XRefSection> index(context_);
    GetSection(index, kRepairedIndex);
    trailer_.Set(index->Trailer());
  }
  Value encrypt = Get(context_, trailer_->value, "Encrypt");
  if (encrypt.IsReference()) encryptObjectNumber_ = encrypt.ref->number;
}

void DocumentStore::OpenFromCrossReference(bool linearized) {
  if (!linearized) {
    uint64_t length = file_->GetLength();
    file_->HintRange(length > 1024 ? length - 1024 : 0, length > 1024 ? 1024 : length);
    int64_t eof = SearchBackward(context_, *file_, "%%EOF", length);
    if (eof < 0) RaiseBadData(context_);
    int64_t startxref = SearchBackward(context_, *file_, "startxref", static_cast<uint64_t>(eof) - 5);
    if (startxref < 0) RaiseBadData(context_);
    Scoped<BufferedDataStore> source(context_, context_, file_.get(), static_cast<uint64_t>(startxref));
    SkipWhiteSpaceAndComments(*source);
    int64_t offset = ReadInteger(*source);
    if (offset < 0) RaiseBadData(context_);
    firstSection_ = static_cast<uint64_t>(offset) + headerOffset_;
  }
  Ref<XRefSection> first(context_);
  GetSection(first, firstSection_);
  trailer_.Set(first->Trailer());
  // A trailer must lead to the document: a Root the data lists, whose
  // entry points at its object.
  Value root = Get(context_, trailer_->value, "Root");
  if (!root.IsReference()) RaiseBadData(context_);
  XRefEntry entry = FindInChain(root.ref->number);
  if (entry.kind == kInUse) {
    Scoped<BufferedDataStore> source(context_, context_, file_.get(), entry.offset);
    int64_t number = 0;
    int64_t generation = 0;
    if (!MatchObjectHeader(*source, number, generation) || number != root.ref->number) RaiseBadData(context_);
  } else if (entry.kind != kInObjectStream) {
    RaiseBadData(context_);
  }
}

namespace {
void PopLoading(void* count) { --*static_cast<uint32_t*>(count); }
}  // namespace

void DocumentStore::GetSection(Ref<XRefSection>& out, uint64_t offset) {
  out.Set(static_cast<XRefSection*>(sections_.Find(offset)));
  if (out) {
    sections_.Resize(offset, out->GetMemorySize());  // its decoder grew as entries were read
    return;
  }
  if (offset == kRepairedIndex) {
    BuildRepairedIndex(out);
    return;
  }
  // A cross-reference stream whose Length, Filter or DecodeParms is a
  // reference needs the cross-reference data to read its own: a section that
  // is being loaded when it is asked for again would recurse without end.
  for (uint32_t i = 0; i < loadingCount_; ++i) {
    if (loading_[i] == offset) RaiseBadData(context_);
  }
  if (loadingCount_ >= sizeof loading_ / sizeof loading_[0]) RaiseBadData(context_);
  loading_[loadingCount_++] = offset;
  LocalGuard pop(context_, &PopLoading, &loadingCount_);
  uint64_t started = platform::QueryCounter();
  out.Set(LoadSection(*this, offset));
  pop.Dismiss();
  --loadingCount_;
  sections_.Insert(offset, out.get(), platform::QueryCounter() - started, out->GetMemorySize());
}

XRefEntry DocumentStore::FindEntry(int32_t objectNumber) {
  if (!repaired_) {
    XRefEntry entry{};
    if (SucceedsOnGoodData(context_, [&] { entry = FindInChain(objectNumber); })) return entry;
    Repair();
  }
  if (building_) return building_->Lookup(objectNumber);
  Ref<XRefSection> index(context_);
  GetSection(index, kRepairedIndex);
  return index->Lookup(objectNumber);
}

XRefEntry DocumentStore::LookupWithHybrid(XRefSection& section, int32_t objectNumber) {
  XRefEntry entry = section.Lookup(objectNumber);
  uint64_t hybrid = section.GetHybridStreamOffset();
  if ((entry.kind != kNotInSection && entry.kind != kFree) || hybrid == 0) return entry;
  // Objects of a hybrid file that only readers of cross-reference streams
  // should see: the table lists them as free, or not at all.
  Ref<XRefSection> stream(context_);
  GetSection(stream, hybrid);
  XRefEntry listed = stream->Lookup(objectNumber);
  return listed.kind == kNotInSection ? entry : listed;
}

XRefEntry DocumentStore::FindInChain(int32_t objectNumber) {
  Ref<XRefSection> section(context_);
  if (chain_.Size() == 0) chain_.Push(firstSection_);
  for (uint32_t i = 0;; ++i) {
    GetSection(section, chain_[i]);
    XRefEntry entry = LookupWithHybrid(*section, objectNumber);
    if (entry.kind != kNotInSection) return entry;
    if (i + 1 < chain_.Size()) continue;
    // The end of the chain known so far: extend it by this section's Prev,
    // once per document (a section that then fails to load raises on every
    // lookup that reaches it, as it did the first time).
    if (chainComplete_) return entry;
    uint64_t prev = section->GetPrevOffset();
    bool loops = false;
    for (uint64_t seen : chain_) loops = loops || seen == prev;
    // A Prev chain that comes back to a section already read ends here.
    if (prev == 0 || loops || chain_.Size() >= kMaxSections) {
      chainComplete_ = true;
      return entry;
    }
    chain_.Push(prev);
  }
}

void DocumentStore::Repair() {
  if (repaired_) return;
  repaired_ = true;
  // Objects read so far came through the damaged data.
  objects_.Clear();
  objectStreams_.Clear();
}

namespace {
void ForgetBuilding(void* building) { static_cast<Ref<XRefRepairedSection>*>(building)->Set(nullptr); }
}  // namespace

void DocumentStore::BuildRepairedIndex(Ref<XRefSection>& out) {
  uint64_t started = platform::QueryCounter();
  Ref<XRefRepairedSection> index(context_, New<XRefRepairedSection>(context_, *this));
  // Object streams are read through the store, which finds their Length
  // and the streams themselves in the index built so far.
  building_.Set(index.get());
  LocalGuard forget(context_, &ForgetBuilding, &building_);
  const EngineArray<ScanObject>& streams = index->ObjectStreams();
  for (uint32_t i = 0; i < streams.Size(); ++i) {
    XRefEntry entry = index->Lookup(streams[i].number);
    if (entry.kind != kInUse || entry.offset != streams[i].offset) continue;  // defined again later
    Ref<ObjectStreamData> data(context_);
    TryFrame frame;
    if (VN_TRY(context_, frame)) {
      GetObjectStream(data, streams[i].number);
    } else {
      // A stream that cannot be read adds no objects.
      int32_t code = Catch(frame).code;
      if (code == kOutOfMemory || code == kCancelled) Rethrow(context_);
    }
    EndTry(frame);
    if (!data) continue;
    index->AddMembers(streams[i], data->pairs.Data(), data->pairs.Size() / 2);
    // Only the list was needed: the decoder and its data go now, not when
    // the budget runs short, so a file of many object streams is repaired
    // in little memory.
    objectStreams_.Remove(streams[i].number);
  }
  forget.Dismiss();
  building_.Set(nullptr);
  index->Finish();
  // What was read through the partial index may not be the last definition.
  objects_.Clear();
  objectStreams_.Clear();
  out.Set(index.get());
  sections_.Insert(kRepairedIndex, out.get(), platform::QueryCounter() - started, out->GetMemorySize());
}

void DocumentStore::GetObject(Ref<ParsedObject>& out, int32_t objectNumber) {
  out.Set(static_cast<ParsedObject*>(objects_.Find(objectNumber)));
  if (out) return;
  uint64_t started = platform::QueryCounter();
  XRefEntry entry = FindEntry(objectNumber);
  out.Set(New<ParsedObject>(context_, context_, objectNumber, entry.generation));
  if (entry.kind == kInUse && !LoadObject(*out, entry)) {
    // An entry that points elsewhere than at its object: the data is
    // damaged, and the object is looked for again in the repaired index.
    if (repaired_) RaiseBadData(context_);
    Repair();
    entry = FindEntry(objectNumber);
    out.Set(New<ParsedObject>(context_, context_, objectNumber, entry.generation));
    if (entry.kind == kInUse && !LoadObject(*out, entry)) RaiseBadData(context_);
  }
  if (entry.kind == kInObjectStream) LoadFromObjectStream(*out, entry);
  objects_.Insert(objectNumber, out.get(), platform::QueryCounter() - started, out->AccountedSize());
}

bool DocumentStore::LoadObject(ParsedObject& object, const XRefEntry& entry) {
  Scoped<BufferedDataStore> source(context_, context_, file_.get(), entry.offset);
  int64_t number = 0;
  int64_t generation = 0;
  if (!MatchObjectHeader(*source, number, generation) || number != object.number) return false;
  object.generation = static_cast<int32_t>(generation);
  if (security_ && object.number != encryptObjectNumber_) {
    object.decrypter = security_->CreateDecrypter(object.number, object.generation, object.arena);
  }
  uint64_t start = source->Position();
  object.value = ParseObject(*source, object.arena, object.decrypter);
  // Cross-reference streams are never encrypted, their strings (ID) and
  // data included: read such an object again in the clear.
  if (object.decrypter != nullptr && object.value.IsDictionary() &&
      Get(context_, object.value, "Type").NameIs("XRef")) {
    object.arena.Clear();
    object.decrypter = nullptr;
    source->Seek(start);
    object.value = ParseObject(*source, object.arena, nullptr);
  }
  return true;
}

namespace {
void PopExpanding(void* count) { --*static_cast<uint32_t*>(count); }
}  // namespace

void DocumentStore::LoadFromObjectStream(ParsedObject& object, const XRefEntry& entry) {
  // An object stream said to hold itself: the object is missing.
  if (entry.streamNumber == object.number) return;
  Ref<ObjectStreamData> stream(context_);
  GetObjectStream(stream, entry.streamNumber);
  for (uint32_t i = 0; i + 1 < stream->pairs.Size(); i += 2) {
    if (stream->pairs[i] != object.number) continue;
    int64_t relative = stream->pairs[i + 1];
    if (relative < 0) RaiseBadData(context_);
    object.generation = 0;
    Scoped<BufferedDataStore> source(context_, context_, stream->data.get(), stream->first + static_cast<uint64_t>(relative));
    object.value = ParseObject(*source, object.arena, nullptr);
    break;
  }
}

void DocumentStore::GetObjectStream(Ref<ObjectStreamData>& out, int32_t streamNumber) {
  out.Set(static_cast<ObjectStreamData*>(objectStreams_.Find(streamNumber)));
  if (out) return;
  // An object stream that, directly or through others (its Length, Filter
  // or DecodeParms, or objects of further streams), leads back to a stream
  // being expanded would never end. The whole fetch fails, so no object on
  // the way is cached as missing when a fresh fetch would find it.
  for (uint32_t i = 0; i < expandingCount_; ++i) {
    if (expanding_[i] == streamNumber) RaiseBadData(context_);
  }
  if (expandingCount_ >= kMaxObjectStreamNesting) RaiseBadData(context_);
  expanding_[expandingCount_++] = streamNumber;
  LocalGuard pop(context_, &PopExpanding, &expandingCount_);

  uint64_t started = platform::QueryCounter();
  Ref<ParsedObject> container(context_);
  GetObject(container, streamNumber);
  if (StreamDataOffset(container->value) == 0) RaiseBadData(context_);
  Value n = Get(context_, container->value, "N");
  Value first = Get(context_, container->value, "First");
  if (!n.IsInteger() || !first.IsInteger() || n.i < 0 || first.i < 0 || n.i > 0x100000) RaiseBadData(context_);
  Owned<data_io::DataBlockStream> data(context_, OpenStreamData(*container));
  out.Set(New<ObjectStreamData>(context_, context_, data.get()));
  data.Release();
  out->first = static_cast<uint64_t>(first.i);
  Scoped<BufferedDataStore> pairs(context_, context_, out->data.get(), 0);
  for (int32_t i = 0; i < n.i; ++i) {
    SkipWhiteSpaceAndComments(*pairs);
    if (pairs->AtEnd()) break;  // fewer pairs than N: the rest are missing
    out->pairs.Push(ReadInteger(*pairs));
    SkipWhiteSpaceAndComments(*pairs);
    out->pairs.Push(ReadInteger(*pairs));
  }
  objectStreams_.Insert(streamNumber, out.get(), platform::QueryCounter() - started,
                        static_cast<uint32_t>(sizeof(ObjectStreamData)) + out->pairs.MemorySize() +
                            out->data->GetMemorySize());
  pop.Dismiss();
  --expandingCount_;
}

Value DocumentStore::Resolve(const Value& value, Ref<ParsedObject>& holder) {
  if (!value.IsReference()) return value;
  GetObject(holder, value.ref->number);
  return holder->value;
}

Value DocumentStore::TrailerEntry(const char* key, Ref<ParsedObject>& holder) {
  return Resolve(Get(context_, trailer_->value, key), holder);
}

data_io::DataBlockStream* DocumentStore::OpenStreamData(const ParsedObject& object, bool decrypt,
                                                       int32_t dctScaleDenominator) {
  StoreResolver resolver(*this, true);
  Arena scratch(context_, 1024, 256);
  return GetStreamData(context_, *file_, headerOffset_, object.value, false, decrypt ? object.decrypter : nullptr,
                       resolver, scratch, dctScaleDenominator);
}

data_io::DataBlockStream* DocumentStore::OpenRawStreamData(const ParsedObject& object) {
  uint64_t start = StreamDataOffset(object.value);
  if (start == 0) RaiseBadData(context_);
  Ref<ParsedObject> holder(context_);
  const uint64_t end = StreamDataEnd(context_, *file_, start, Resolve(Get(context_, object.value, "Length"), holder));
  Owned<data_io::DataStore> range(context_, New<data_io::SubRangeDataStore>(context_, context_, file_.get(), start, end));
  auto* stream = New<data_io::DataStoreStream>(context_, context_, range.get(), true);
  range.Release();
  return stream;
}

bool DocumentStore::SetupSecurity(const char* handlerName, const uint8_t* password) {
  if (security_ && security_->IsAuthorized()) return true;
  Ref<ParsedObject> holder(context_);
  Value encrypt = TrailerEntry("Encrypt", holder);
  Value id = Get(context_, trailer_->value, "ID");
  Ref<ParsedObject> idHolder(context_);
  id = Resolve(id, idHolder);
  security::SecurityHandler* handler = security::CreateSecurityHandler(
      context_, encrypt, id, handlerName, reinterpret_cast<const char*>(password));
  // Objects parsed under the old handler carry its decrypters, and a
  // repaired index holds only the object streams it could read before
  // this handler could decrypt them.
  objects_.Clear();
  objectStreams_.Clear();
  if (repaired_ && handler->Kind() == security::HandlerKind::kStandard && handler->IsAuthorized()) {
    sections_.Remove(kRepairedIndex);
  }
  security_.Set(handler);
  return security_->IsAuthorized();
}

DocumentStore* OpenDocument(AppContext& context, data_io::DataStore* file) {
  Owned<DocumentStore> store(context, nullptr);
  {
    Owned<data_io::DataStore> owned(context, file);
    store.Set(New<DocumentStore>(context, context, file));
    owned.Release();
  }
  store->Open();
  static const uint8_t kEmpty[1] = {0};
  store->SetupSecurity("Standard", kEmpty);
  return store.Release();
}

}  // namespace vn::pdf::store
