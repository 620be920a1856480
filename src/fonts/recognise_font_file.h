// Recognising an embedded font file's format, and making the font program
// that reads it.
#pragma once

#include <cstdint>

#include "data_io/data_store.h"
#include "fonts/font.h"
#include "fonts/font_data.h"

namespace vn::fonts {

enum class FontFileFormat : uint8_t {
  kUnknown = 0,
  kCff = 1,       // bare CFF, or an sfnt with a "CFF " table
  kType1 = 2,     // PFA or PFB
  kTrueType = 3,  // an sfnt without a "CFF " table
};

// Looks at the first bytes (and, for an sfnt, the table directory).
// `cffOffset`/`cffLength` receive the CFF data's place: the whole file for a
// bare CFF, the "CFF " table inside an sfnt. Damaged directories give
// kUnknown; nothing raises but cancellation and running out of memory.
FontFileFormat RecogniseFontFile(FontData& data, uint32_t& cffOffset, uint32_t& cffLength);
FontFileFormat RecogniseFontFile(FontData& data);

// A program for the font file in `store` (owned; given up in every case), or
// null when its format is unknown or its data is damaged (kBadData raised
// while reading it is absorbed: the caller falls back to another program or
// to substitution). Other errors propagate.
Font* MakeProgram(AppContext& context, data_io::DataStore* store);

}  // namespace vn::fonts
