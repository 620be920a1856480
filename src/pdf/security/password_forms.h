// The other form of a password worth trying when the bytes as typed (UTF-8)
// do not open a document: revisions 2 to 4 compare single-byte
// (PDFDocEncoding) passwords, revisions 5 and 6 the UTF-8 of the password
// after SASLprep (RFC 4013).
#pragma once

#include <cstdint>

#include "runtime/engine_array.h"

namespace vn::pdf::security {

// Writes the other form into `out` and returns true when there is one that
// differs from `password`: for revisions up to 4, UTF-8 whose characters
// all lie below U+0100 as one byte each; for revisions 5 and 6, the
// SASLprep result (cut to 127 bytes). False for ASCII-only passwords of the
// early revisions, for text that is not UTF-8, and for passwords SASLprep
// rejects (prohibited characters, mixed directions).
bool AlternatePasswordForm(const uint8_t* password, uint32_t length, int32_t revision, EngineArray<uint8_t>& out);

}  // namespace vn::pdf::security
