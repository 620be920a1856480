#include "fonts/sfnt_tables.h"

namespace vn::fonts {

bool IsSfntVersion(uint32_t tag) {
  return tag == kSfntVersionTrueType || tag == kSfntVersionOpenType || tag == kSfntVersionApple ||
         tag == kSfntVersionType1;
}

SfntTable FindSfntTable(FontData& data, uint32_t tag) {
  uint32_t count = data.U16(4);
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t record = 12 + i * 16;
    if (data.U32(record) != tag) continue;
    SfntTable table{data.U32(record + 8), data.U32(record + 12)};
    if (table.offset > data.Length()) RaiseBadData(data.Context());
    if (table.length > data.Length() - table.offset) table.length = data.Length() - table.offset;
    return table;
  }
  return SfntTable{};
}

}  // namespace vn::fonts
