// The font programs built into the engine: the URW clones of the fourteen
// standard PDF fonts (metric-compatible, so the standard widths are theirs),
// which also serve as the master designs of substituted fonts. Their CFF data
// is static (generated at build time by tools/gen_builtin_fonts.py); a
// program made over it holds only its parsing state.
#pragma once

#include <cstdint>

#include "fonts/font.h"

namespace vn::fonts {

// In the order of the generated data.
enum class BuiltInFace : uint8_t {
  kSans = 0,  // Nimbus Sans (Helvetica): regular, bold, italic, bold italic
  kSansBold,
  kSansItalic,
  kSansBoldItalic,
  kSerif,  // Nimbus Roman (Times)
  kSerifBold,
  kSerifItalic,
  kSerifBoldItalic,
  kMono,  // Nimbus Mono PS (Courier)
  kMonoBold,
  kMonoItalic,
  kMonoBoldItalic,
  kSymbol,     // Standard Symbols PS (Symbol)
  kDingbats,   // D050000L (ZapfDingbats)
};
inline constexpr uint32_t kBuiltInFaceCount = 14;

struct BuiltInFaceData {
  const char* name;  // the face's PostScript name
  const uint8_t* bytes;
  uint32_t length;
};
extern const BuiltInFaceData kBuiltInFaceData[kBuiltInFaceCount];

// The Latin face of a family (kSans, kSerif or kMono) in a style.
inline BuiltInFace StyledFace(BuiltInFace family, bool bold, bool italic) {
  return static_cast<BuiltInFace>(static_cast<uint32_t>(family) + (bold ? 1 : 0) + (italic ? 2 : 0));
}

inline const char* BuiltInFaceName(BuiltInFace face) { return kBuiltInFaceData[static_cast<uint32_t>(face)].name; }

// A CFF program over the face's static data (owned by the caller).
Font* MakeBuiltInProgram(AppContext& context, BuiltInFace face);

}  // namespace vn::fonts
