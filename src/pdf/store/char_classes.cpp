#include "pdf/store/char_classes.h"

#include <initializer_list>

namespace vn::pdf::store {

namespace {

struct Table {
  uint8_t v[256];
  constexpr Table() : v() {
    for (int i = 0; i < 256; ++i) v[i] = 0x0C;
    for (char c : {'\0', '\t', '\f', ' '}) Set(c, 0x05);
    for (char c : {'\n', '\r'}) Set(c, 0x45);
    for (char c : {'%', '/', '<', '>', '[', ']', '{', '}'}) Set(c, 0x0E);
    for (char c : {'(', ')'}) Set(c, 0x1E);
    Set('\\', 0x1C);
    for (int c = '0'; c <= '7'; ++c) v[c] = 0x20;
    for (char c : {'8', '9'}) Set(c, 0x00);
    for (int c = 'A'; c <= 'F'; ++c) v[c] = v[c + 32] = 0x04;
    v[0xFF] = 0x04;
  }
  constexpr void Set(char c, uint8_t classes) { v[static_cast<uint8_t>(c)] = classes; }
};

constexpr Table kTable;

}  // namespace

const uint8_t kCharClasses[256] = {
#define R(i) kTable.v[i], kTable.v[i + 1], kTable.v[i + 2], kTable.v[i + 3], kTable.v[i + 4], kTable.v[i + 5], \
             kTable.v[i + 6], kTable.v[i + 7]
#define R64(i) R(i), R(i + 8), R(i + 16), R(i + 24), R(i + 32), R(i + 40), R(i + 48), R(i + 56)
    R64(0), R64(64), R64(128), R64(192)
#undef R64
#undef R
};

int HexDigitValue(uint8_t b) {
  if (b >= '0' && b <= '9') return b - '0';
  if (b >= 'A' && b <= 'F') return b - 'A' + 10;
  if (b >= 'a' && b <= 'f') return b - 'a' + 10;
  return -1;
}

}  // namespace vn::pdf::store
