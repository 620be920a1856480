// What the page tree needs from the document store: following references,
// the catalog, the linearization dictionary and the decoded data of streams.
//
// Parsed values live in the arena of the indirect object they were parsed
// with, and that object is a purgeable cache value. A ResolvedValue therefore
// carries, next to the value cell, a counted reference to the object that
// owns the cell's storage (its keeper), so the cache cannot evict it while
// the value is in use.
#pragma once

#include <cstdint>

#include "data_io/data_store.h"
#include "data_io/filter_params.h"
#include "pdf/document/value_access.h"
#include "runtime/ref_counted.h"
#include "runtime/unwindable.h"

namespace vn::pdf::document {

// A value cell and the counted object that keeps its storage alive (null
// for values that need none: null, numbers, or values owned elsewhere).
// A leaf holder: declare it directly as a local.
class ResolvedValue : public Unwindable {
 public:
  explicit ResolvedValue(AppContext& context);
  ResolvedValue(const ResolvedValue& other);
  ResolvedValue& operator=(const ResolvedValue& other);
  ~ResolvedValue() { Reset(); }

  const Value& Get() const { return value_; }
  RefCounted* Keeper() const { return keeper_; }
  AppContext& Context() const { return *context_; }

  // Holds `value`, kept alive by `keeper` (which gains a reference).
  void Set(const Value& value, RefCounted* keeper);
  // A value found inside the one held here (same keeper).
  void SetChild(const Value& value) { value_ = value; }
  void Clear();
  void Reset();

 private:
  AppContext* context_;
  Value value_;
  RefCounted* keeper_ = nullptr;
};

class ObjectResolver {
 public:
  virtual ~ObjectResolver() = default;

  virtual AppContext& Context() = 0;
  // The value of indirect object `id` (null when it is free or missing).
  virtual void GetIndirectObject(const ObjectId& id, ResolvedValue& out) = 0;
  // The document catalog (the trailer's "Root", resolved).
  virtual void GetCatalog(ResolvedValue& out) = 0;
  // The linearization dictionary, or null when the file is not linearized.
  virtual void GetLinearizationDictionary(ResolvedValue& out) = 0;
  // The decoded data of a stream object, built with New; the caller owns it.
  virtual data_io::DataBlockStream* OpenStreamData(const ResolvedValue& stream) = 0;
  // The same for an image, its last filter decoding as `options` ask.
  // Resolvers that cannot scale give the full size (a reader of the data
  // must check the decoded layout, or the row count, it gets).
  virtual data_io::DataBlockStream* OpenImageData(const ResolvedValue& stream,
                                                  const data_io::ImageDecodeOptions& options) {
    (void)options;
    return OpenStreamData(stream);
  }
};

// Follows references (a reference to a reference too, a few levels deep)
// until `value` holds a direct value. A chain that does not end is null.
void ResolveInPlace(ObjectResolver& resolver, ResolvedValue& value);

// `parent`'s entry `key`, resolved. Raises kBadData when `parent` is not a
// dictionary.
void GetResolved(ObjectResolver& resolver, const ResolvedValue& parent, const char* key,
                 ResolvedValue& out);

// The numbers of `parent`'s array entry `key`, the first `capacity` of them
// into `out`. Returns the array's length (0 when the entry is absent; more
// than `capacity` when it is too long: the caller decides what that means).
// Raises kBadData for a non-array or an element that is no number.
uint32_t GetNumbers(ObjectResolver& resolver, const ResolvedValue& parent, const char* key, Fixed16_16* out,
                    uint32_t capacity);

}  // namespace vn::pdf::document
