// The fixture of the font-program tests: loads a font built in the test
// and compares its outlines with FreeType's.
#pragma once

#include <gtest/gtest.h>

#include "font_builders.h"
#include "outline_compare.h"
#include "runtime/engine_new.h"

namespace vn::test {

class FontProgramTest : public ::testing::Test {
 protected:
  fonts::Font* Load(const Bytes& bytes) {
    bytes_ = bytes;
    font_.Set(LoadProgram(context_, bytes_));
    return font_.get();
  }
  // Every glyph FreeType loads (from `first` on) agrees with ours within a
  // hundredth of a unit; with `advances`, so do the advance widths.
  void ExpectAgreement(uint32_t first = 0, bool advances = false) {
    ReferenceFace reference(bytes_);
    ASSERT_TRUE(reference.Ok());
    for (uint32_t g = first; g < font_->GlyphCount(); ++g) {
      Outline theirs;
      long index = reference.IndexFor(*font_, g);
      if (!reference.Load(index, theirs)) continue;
      EXPECT_EQ(CompareOutlines(OurOutline(*font_, g), theirs, 0.01), "") << "glyph " << g;
      if (advances) {
        EXPECT_EQ(FixedRound(font_->GlyphAdvance(g)), reference.Advance(index)) << "glyph " << g;
      }
    }
  }
  AppContext context_;
  Bytes bytes_;
  Owned<fonts::Font> font_{context_};
};

}  // namespace vn::test
