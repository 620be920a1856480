// The Type 1 font program on arbitrary bytes (PFA or PFB).
#include "fonts/parsers/type1.h"
#include "fuzz/font_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vn::fuzz::RunFontInput<vn::fonts::parsers::Type1>(data, size);
  return 0;
}
