#include "fonts/font_data.h"

#include <cstring>

namespace vn::fonts {

FontData::FontData(AppContext& context, Owned<data_io::DataStore>& store)
    : context_(context), owned_(context, store.Release()), store_(owned_.get()), block_(context), scratch_(context) {
  Measure();
}

FontData::FontData(AppContext& context, data_io::DataStore* borrowed)
    : context_(context), owned_(context), store_(borrowed), block_(context), scratch_(context) {
  Measure();
}

void FontData::Measure() {
  uint64_t length = store_->GetLength();
  if (length >= 0x80000000u) RaiseBadData(context_);
  length_ = static_cast<uint32_t>(length);
}

void FontData::CheckRange(uint32_t offset, uint32_t count) const {
  if (!Contains(offset, count)) RaiseBadData(context_);
}

void FontData::Locate(uint32_t offset) {
  if (!block_.Empty() && offset >= blockStart_ && offset - blockStart_ < block_.Length()) return;
  store_->GetBlock(block_, offset);
  if (block_.Empty()) RaiseBadData(context_);
  blockStart_ = offset;
}

const uint8_t* FontData::View(uint32_t offset, uint32_t count) {
  CheckRange(offset, count);
  if (count == 0) return scratch_.Data();
  Locate(offset);
  if (offset - blockStart_ + static_cast<uint64_t>(count) <= block_.Length()) {
    return block_.Data() + (offset - blockStart_);
  }
  scratch_.Resize(count);
  Read(offset, count, scratch_.Data());
  return scratch_.Data();
}

void FontData::Read(uint32_t offset, uint32_t count, uint8_t* out) {
  CheckRange(offset, count);
  while (count > 0) {
    Locate(offset);
    uint32_t inBlock = block_.Length() - (offset - blockStart_);
    uint32_t take = inBlock < count ? inBlock : count;
    std::memcpy(out, block_.Data() + (offset - blockStart_), take);
    out += take;
    offset += take;
    count -= take;
  }
}

const uint8_t* FontData::Fetch(uint32_t offset, uint32_t count, FontBytes& out) {
  CheckRange(offset, count);
  out.length_ = count;
  if (count > 0) {
    Locate(offset);
    if (offset - blockStart_ + static_cast<uint64_t>(count) <= block_.Length()) {
      out.block_ = block_;
      out.data_ = block_.Data() + (offset - blockStart_);
      return out.data_;
    }
  }
  out.block_.Clear();
  out.copy_.Resize(count);
  Read(offset, count, out.copy_.Data());
  out.data_ = out.copy_.Data();
  return out.data_;
}

uint16_t FontData::U16(uint32_t offset) {
  const uint8_t* p = View(offset, 2);
  return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

uint32_t FontData::U24(uint32_t offset) {
  const uint8_t* p = View(offset, 3);
  return (static_cast<uint32_t>(p[0]) << 16) | (p[1] << 8) | p[2];
}

uint32_t FontData::U32(uint32_t offset) {
  const uint8_t* p = View(offset, 4);
  return (static_cast<uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

uint32_t FontData::UnsignedOfSize(uint32_t offset, uint32_t size) {
  if (size < 1 || size > 4) RaiseBadData(context_);
  const uint8_t* p = View(offset, size);
  uint32_t value = 0;
  for (uint32_t i = 0; i < size; ++i) value = (value << 8) | p[i];
  return value;
}

uint32_t FontData::MemorySize() const { return sizeof(*this) + scratch_.MemorySize() + store_->GetMemorySize(); }

}  // namespace vn::fonts
