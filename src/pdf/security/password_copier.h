// Copying the shell's wide-character password into the engine's bytes.
#pragma once

#include <cstdint>

#include "runtime/arena.h"

namespace vn::pdf::security {

class IStringCopier {
 public:
  virtual ~IStringCopier() = default;
  // A zero-terminated byte copy of `text` (zero-terminated) in `arena`.
  virtual char* Copy(Arena& arena, const wchar_t* text) = 0;
};

// Keeps the low 8 bits of each character, and the terminating zero.
class PasswordCopier final : public IStringCopier {
 public:
  char* Copy(Arena& arena, const wchar_t* text) override;
};

}  // namespace vn::pdf::security
