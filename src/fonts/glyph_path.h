// The outline sink that writes a glyph into a tagged path.
#pragma once

#include "fonts/glyph_outline.h"
#include "im/path.h"

namespace vn::fonts {

class PathOutlineSink final : public OutlineSink {
 public:
  explicit PathOutlineSink(im::PathWriter& path) : path_(path) {}
  void MoveTo(FixedPoint p) override { path_.MoveTo(p); }
  void LineTo(FixedPoint p) override { path_.LineTo(p); }
  void CurveTo(FixedPoint c1, FixedPoint c2, FixedPoint end) override { path_.CurveTo(c1, c2, end); }
  void Close() override { path_.Close(); }

 private:
  im::PathWriter& path_;
};

}  // namespace vn::fonts
