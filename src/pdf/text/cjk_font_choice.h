// The font file that draws a composite font of a CJK collection when the
// file carries no program: a CID font named like the font in the resource
// folder, else a system font of the collection's script in the font's style
// (serif when the descriptor's Flags say so), else the collection's fallback
// CID font in the resource folder.
#pragma once

#include "pdf/cmap/character_collection.h"
#include "platform/system_fonts.h"
#include "runtime/app_context.h"

namespace vn::pdf::text {

enum class CjkFontSource : uint8_t { kNone, kResourceFolder, kSystem, kFallback };

// `baseFont` without its subset tag; `flags` the descriptor's Flags (32
// when it has none).
CjkFontSource ChooseCjkFont(AppContext& context, cmap::CharacterCollection collection, const char* baseFont, uint32_t flags,
                            platform::SystemFontFile& out);

}  // namespace vn::pdf::text
