#include "pdf/security/password_copier.h"

namespace vn::pdf::security {

char* PasswordCopier::Copy(Arena& arena, const wchar_t* text) {
  uint32_t length = 0;
  if (text != nullptr) {
    while (text[length] != 0) {
      if (++length == 0xFFFF0000u) RaiseOverflow(arena.Context());
    }
  }
  char* out = arena.AllocateArray<char>(length + 1);
  for (uint32_t k = 0; k < length; ++k) out[k] = static_cast<char>(static_cast<uint32_t>(text[k]) & 0xFF);
  out[length] = 0;
  return out;
}

}  // namespace vn::pdf::security
