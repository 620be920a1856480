// The TrueType font program on arbitrary bytes (an sfnt file).
#include "fonts/parsers/truetype.h"
#include "fuzz/font_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vn::fuzz::RunFontInput<vn::fonts::parsers::TrueType>(data, size);
  return 0;
}
