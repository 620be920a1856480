// The object store of one open document: the file, the cross-reference
// sections along the Prev chain, and parsed indirect objects, all derived
// data held in purgeable caches and rebuilt on demand.
#pragma once

#include <cstdint>

#include "data_io/data_store.h"
#include "data_io/filter_params.h"
#include "pdf/store/parsed_object.h"
#include "pdf/store/xref_section.h"
#include "runtime/cache_manager.h"
#include "runtime/engine_array.h"
#include "runtime/engine_new.h"

namespace vn::pdf::security {
class SecurityHandler;
}

namespace vn::pdf::store {

class ObjectStreamData;
class XRefRepairedSection;

struct EntryChunkKey {
  uint64_t section;
  uint64_t chunk;
  bool operator==(const EntryChunkKey&) const = default;
};
inline uint32_t CacheKeyHash(const EntryChunkKey& key) { return vn::CacheKeyHash(key.section * 31 + key.chunk); }

class DocumentStore {
 public:
  // Use OpenDocument.
  DocumentStore(AppContext& context, data_io::DataStore* file);
  ~DocumentStore();
  DocumentStore(const DocumentStore&) = delete;
  DocumentStore& operator=(const DocumentStore&) = delete;

  AppContext& Context() const { return context_; }
  data_io::DataStore& File() const { return *file_.get(); }
  uint64_t HeaderOffset() const { return headerOffset_; }
  // Whether "%PDF" starts within the first 1024 bytes.
  bool HasHeader() const { return hasHeader_; }
  // The "%PDF-" version text ("1.4"), empty when unreadable.
  const char* Version() const { return version_; }

  // The linearization dictionary, or a null value when the file is not linearized.
  const Value& LinearizationDictionary() const;
  bool IsLinearized() const { return static_cast<bool>(linearization_); }

  // The trailer of the first section read.
  const Value& Trailer() const { return trailer_->value; }
  // Trailer entries, resolved ("Root", "Info", "Encrypt"); "ID" as it stands.
  Value TrailerEntry(const char* key, Ref<ParsedObject>& holder);

  // The newest entry for `objectNumber` along the Prev chain (or in the
  // index rebuilt by scanning, once the cross-reference data proved
  // damaged).
  XRefEntry FindEntry(int32_t objectNumber);
  // Whether the cross-reference data was rebuilt by scanning the file.
  bool IsRepaired() const { return repaired_; }
  // The parsed object `objectNumber` (its value null when it is free or
  // missing). The returned reference keeps it alive.
  void GetObject(Ref<ParsedObject>& out, int32_t objectNumber);
  // `value` itself, or the object it refers to (held in `holder`).
  Value Resolve(const Value& value, Ref<ParsedObject>& holder);

  // The decoded data of a stream object (decrypted first unless
  // `decrypt` is false), a new stream the caller owns.
  // `image`: see ObjectResolver::OpenImageData.
  data_io::DataBlockStream* OpenStreamData(const ParsedObject& object, bool decrypt = true,
                                          const data_io::ImageDecodeOptions& image = {});
  // The stream's bytes as they stand in the file.
  data_io::DataBlockStream* OpenRawStreamData(const ParsedObject& object);

  // Replaces the security handler when there is none yet or the current one
  // does not authorize; returns whether the document is open to read.
  bool SetupSecurity(const char* handlerName, const uint8_t* password);
  security::SecurityHandler* Security() const { return security_.get(); }

  // The section at `offset` through the section cache (kRepairedIndex:
  // the index rebuilt by scanning).
  void GetSection(Ref<XRefSection>& out, uint64_t offset);
  static constexpr uint64_t kRepairedIndex = ~static_cast<uint64_t>(0);
  CacheSet<EntryChunkKey>& EntryChunks() { return entryChunks_; }
  uint64_t FirstSectionOffset() const { return firstSection_; }

  // Opening: the steps of OpenDocument.
  void Open();

 private:
  // Finds the first section and the trailer through "startxref" (or the
  // linearization dictionary); raises kBadData where the data is damaged.
  void OpenFromCrossReference(bool linearized);
  XRefEntry FindInChain(int32_t objectNumber);
  // Looks `objectNumber` up in `section` and, where a table lists it as
  // free or not at all, in the cross-reference stream of a hybrid file.
  XRefEntry LookupWithHybrid(XRefSection& section, int32_t objectNumber);
  // From now on, objects are found through the index rebuilt by scanning.
  void Repair();
  void BuildRepairedIndex(Ref<XRefSection>& out);
  // False when no "n g obj" header of this object stands at the entry's
  // offset.
  bool LoadObject(ParsedObject& object, const XRefEntry& entry);
  void LoadFromObjectStream(ParsedObject& object, const XRefEntry& entry);
  // The decoded data and (number, offset) pairs of an object stream,
  // through the object-stream cache.
  void GetObjectStream(Ref<ObjectStreamData>& out, int32_t streamNumber);
  bool CheckLinearization();

  AppContext& context_;
  Owned<data_io::DataStore> file_;
  uint64_t headerOffset_ = 0;
  bool hasHeader_ = false;
  uint64_t firstSection_ = 0;
  char version_[8] = {};
  Ref<ParsedObject> linearization_;
  Ref<ParsedObject> trailer_;
  Owned<security::SecurityHandler> security_;
  CacheSet<uint64_t> sections_;
  CacheSet<EntryChunkKey> entryChunks_;
  CacheSet<int32_t> objects_;
  CacheSet<int32_t> objectStreams_;
  // The Encrypt dictionary's own strings are never encrypted.
  int32_t encryptObjectNumber_ = -1;
  // Object streams being expanded now, to stop one that leads back to itself.
  int32_t expanding_[8] = {};
  uint32_t expandingCount_ = 0;
  // Offsets of the sections along the Prev chain, first to last, as far as
  // lookups have followed it; complete once it ends, loops or is too long.
  EngineArray<uint64_t> chain_;
  bool chainComplete_ = false;
  // Sections being loaded now (one leads to another only through references
  // in a cross-reference stream's dictionary).
  uint64_t loading_[4] = {};
  uint32_t loadingCount_ = 0;
  bool repaired_ = false;
  // The repaired index while its object streams are read through it.
  Ref<XRefRepairedSection> building_;
};

// Opens a document over `file` (built with New; the store takes it over,
// and deletes it if opening fails). Cross-reference data that cannot be
// found or read, or whose trailer names no root, is rebuilt by scanning
// the file; raises kBadData when even that finds no root (a file without
// a "%PDF" header is scanned as well). The security handler is set up with
// the empty password.
DocumentStore* OpenDocument(AppContext& context, data_io::DataStore* file);

}  // namespace vn::pdf::store
