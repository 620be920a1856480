// Random access to the bytes of a font file, checked against its length:
// every read that would pass the end raises kBadData, so a parser never
// trusts an offset or a count it found in the file.
//
// The bytes come from a data store (the decoded font stream, whose blocks
// stay purgeable), read a block at a time. Multi-byte values are big-endian,
// as in every format read here.
#pragma once

#include <cstdint>

#include "data_io/data_store.h"
#include "runtime/engine_array.h"
#include "runtime/engine_new.h"

namespace vn::fonts {

// A run of font bytes fetched for one reader (a charstring, a glyph): it
// keeps the block it points into, or its own copy when the run spans
// blocks, so it stays valid while other runs are fetched.
class FontBytes {
 public:
  explicit FontBytes(AppContext& context) : block_(context), copy_(context) {}
  const uint8_t* Data() const { return data_; }
  uint32_t Length() const { return length_; }

 private:
  friend class FontData;
  data_io::DataBlockRef block_;
  EngineArray<uint8_t> copy_;
  const uint8_t* data_ = nullptr;
  uint32_t length_ = 0;
};

class FontData {
 public:
  // Reads the store that `store` holds, taking it over. Files of 2 GB or
  // more raise kBadData.
  FontData(AppContext& context, Owned<data_io::DataStore>& store);
  // Reads a store that stays its caller's.
  FontData(AppContext& context, data_io::DataStore* borrowed);
  FontData(const FontData&) = delete;
  FontData& operator=(const FontData&) = delete;

  uint32_t Length() const { return length_; }
  // True when [offset, offset + count) lies inside the file.
  bool Contains(uint32_t offset, uint32_t count) const {
    return offset <= length_ && count <= length_ - offset;
  }

  uint8_t U8(uint32_t offset) { return *View(offset, 1); }
  uint16_t U16(uint32_t offset);
  int16_t S16(uint32_t offset) { return static_cast<int16_t>(U16(offset)); }
  uint32_t U24(uint32_t offset);
  uint32_t U32(uint32_t offset);
  // An unsigned value of 1 to 4 bytes.
  uint32_t UnsignedOfSize(uint32_t offset, uint32_t size);

  // The bytes [offset, offset + count), valid until the next read through
  // this object.
  const uint8_t* View(uint32_t offset, uint32_t count);
  void Read(uint32_t offset, uint32_t count, uint8_t* out);
  // The bytes [offset, offset + count) into `out`, valid as long as `out`.
  const uint8_t* Fetch(uint32_t offset, uint32_t count, FontBytes& out);

  // Bytes this object holds besides the store's own blocks.
  uint32_t MemorySize() const;
  AppContext& Context() const { return context_; }

 private:
  void Measure();
  // Makes the current block start at or before `offset` and cover it.
  void Locate(uint32_t offset);
  void CheckRange(uint32_t offset, uint32_t count) const;

  AppContext& context_;
  Owned<data_io::DataStore> owned_;
  data_io::DataStore* store_;
  uint32_t length_ = 0;
  data_io::DataBlockRef block_;
  uint32_t blockStart_ = 0;
  EngineArray<uint8_t> scratch_;
};

}  // namespace vn::fonts
