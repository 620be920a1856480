#include "pdf/security/password_forms.h"

#include "pdf/security/aes256_password.h"
#include "pdf/security/saslprep.h"

namespace vn::pdf::security {

namespace {

bool IsAscii(const uint8_t* bytes, uint32_t length) {
  for (uint32_t i = 0; i < length; ++i) {
    if (bytes[i] >= 0x80) return false;
  }
  return true;
}

// UTF-8 of characters below U+0100 as one byte each; false for anything else.
bool Utf8ToLatin1(const uint8_t* text, uint32_t length, EngineArray<uint8_t>& out) {
  out.Clear();
  for (uint32_t i = 0; i < length; ++i) {
    uint8_t b = text[i];
    if (b < 0x80) {
      out.Push(b);
      continue;
    }
    if ((b != 0xC2 && b != 0xC3) || i + 1 >= length || (text[i + 1] & 0xC0) != 0x80) return false;
    out.Push(static_cast<uint8_t>(((b & 0x03) << 6) | (text[++i] & 0x3F)));
  }
  return true;
}

}  // namespace

bool AlternatePasswordForm(const uint8_t* password, uint32_t length, int32_t revision, EngineArray<uint8_t>& out) {
  if (revision < 5) return !IsAscii(password, length) && Utf8ToLatin1(password, length, out);
  if (!SaslPrep(password, length, out)) return false;
  if (out.Size() > kMaxAes256PasswordLength) out.Truncate(kMaxAes256PasswordLength);
  if (out.Size() != length) return true;
  for (uint32_t i = 0; i < length; ++i) {
    if (out[i] != password[i]) return true;
  }
  return false;
}

}  // namespace vn::pdf::security
