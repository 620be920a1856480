#include "fonts/font.h"

#include <cstring>

namespace vn::fonts {

namespace {

uint32_t NameHash(const char* name, uint32_t length) {
  uint32_t h = 2166136261u;
  for (uint32_t i = 0; i < length; ++i) h = (h ^ static_cast<uint8_t>(name[i])) * 16777619u;
  return h;
}

bool NameEquals(const char* stored, const char* name, uint32_t length) {
  return std::strncmp(stored, name, length) == 0 && stored[length] == '\0';
}

}  // namespace

int32_t Font::FindGlyph(const char* name, uint32_t length) {
  const char* const* names = GlyphNames();
  uint32_t count = GlyphCount();
  if (names == nullptr || count == 0) return -1;
  if (nameIndex_.Empty()) {
    uint32_t size = 16;
    while (size < count * 2) size *= 2;
    nameIndex_.Resize(size);
    // Later duplicates of a name never replace the first glyph that has it.
    for (uint32_t g = 0; g < count; ++g) {
      const char* n = names[g];
      if (n == nullptr) continue;
      uint32_t len = static_cast<uint32_t>(std::strlen(n));
      uint32_t slot = NameHash(n, len) & (size - 1);
      bool duplicate = false;
      while (nameIndex_[slot] != 0) {
        if (NameEquals(names[nameIndex_[slot] - 1], n, len)) {
          duplicate = true;
          break;
        }
        slot = (slot + 1) & (size - 1);
      }
      if (!duplicate) nameIndex_[slot] = static_cast<int32_t>(g + 1);
    }
  }
  uint32_t mask = nameIndex_.Size() - 1;
  for (uint32_t slot = NameHash(name, length) & mask; nameIndex_[slot] != 0; slot = (slot + 1) & mask) {
    int32_t g = nameIndex_[slot] - 1;
    if (NameEquals(names[g], name, length)) return g;
  }
  return -1;
}

}  // namespace vn::fonts
