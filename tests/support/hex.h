// Bytes as lower-case hexadecimal text, for comparing keys and digests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vn::test {

std::string Hex(const uint8_t* bytes, size_t length);

}  // namespace vn::test
