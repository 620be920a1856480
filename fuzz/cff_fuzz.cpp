// The CFF font program on arbitrary bytes (bare CFF data).
#include "fonts/parsers/cff.h"
#include "fuzz/font_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vn::fuzz::RunFontInput<vn::fonts::parsers::CFF>(data, size);
  return 0;
}
