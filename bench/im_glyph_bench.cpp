// Glyph masks: the letters a-z and A-Z of a CFF font (Nimbus Roman from
// fonts-urw-base35) at 12 pixels per em, unhinted, each filled into a byte
// mask of its own pixel box, as glyph bitmaps are made. The same outlines go
// through the path rasterizer, FreeType's anti-aliasing rasterizer
// (FT_Outline_Get_Bitmap) and cairo (an A8 surface). Items are glyphs.
#include <benchmark/benchmark.h>
#include <cairo.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <cstring>
#include <vector>

#include "im/bezier_raster_painter.h"
#include "runtime/app_context.h"
#include "runtime/engine_new.h"

namespace {

using vn::im::PathPoint;

constexpr const char* kFontFile = "/usr/share/fonts/opentype/urw-base35/NimbusRoman-Regular.otf";
constexpr int kPixelsPerEm = 12;

struct Glyph {
  FT_Outline outline;            // FreeType's copy, moved so the box starts at (0, 0)
  std::vector<PathPoint> path;   // the same outline, y down, in 16.16
  int width, height;
};

struct Glyphs {
  FT_Library library = nullptr;
  std::vector<Glyph> glyphs;
  Glyphs() {
    FT_Face face;
    if (FT_Init_FreeType(&library) != 0 || FT_New_Face(library, kFontFile, 0, &face) != 0) return;
    FT_Set_Pixel_Sizes(face, 0, kPixelsPerEm);
    for (const char* c = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"; *c; ++c) {
      if (FT_Load_Char(face, static_cast<FT_ULong>(*c), FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0) continue;
      Glyph g;
      if (FT_Outline_New(library, face->glyph->outline.n_points, face->glyph->outline.n_contours, &g.outline) != 0) {
        continue;
      }
      FT_Outline_Copy(&face->glyph->outline, &g.outline);
      FT_BBox box;
      FT_Outline_Get_CBox(&g.outline, &box);
      box.xMin &= ~63;
      box.yMin &= ~63;
      box.xMax = (box.xMax + 63) & ~63;
      box.yMax = (box.yMax + 63) & ~63;
      FT_Outline_Translate(&g.outline, -box.xMin, -box.yMin);
      g.width = static_cast<int>((box.xMax - box.xMin) >> 6);
      g.height = static_cast<int>((box.yMax - box.yMin) >> 6);
      // 26.6 to 16.16, flipped so y grows downward.
      auto point = [&](int i, uint32_t kind) {
        const FT_Vector& v = g.outline.points[i];
        g.path.push_back(vn::im::PackPoint(static_cast<int32_t>(v.x << 10),
                                           static_cast<int32_t>((g.height * 64 - v.y) << 10), kind));
      };
      int first = 0;
      for (int k = 0; k < g.outline.n_contours; ++k) {
        const int last = g.outline.contours[k];
        point(first, vn::im::kMoveTo);
        for (int i = first + 1; i <= last; ++i) {
          // CFF outlines: on-curve points and pairs of cubic control points.
          if (FT_CURVE_TAG(g.outline.tags[i]) == FT_CURVE_TAG_CUBIC) {
            point(i, vn::im::kCurvePoint);
            point(i + 1, vn::im::kCurvePoint);
            if (i + 2 <= last) point(i + 2, vn::im::kCurvePoint);
            else point(first, vn::im::kCurvePoint);
            i += 2;
          } else {
            point(i, vn::im::kLineTo);
          }
        }
        g.path.push_back(vn::im::PackPoint(0, 0, vn::im::kClosePath));
        first = last + 1;
      }
      glyphs.push_back(std::move(g));
    }
    FT_Done_Face(face);
  }
  ~Glyphs() {
    for (Glyph& g : glyphs) FT_Outline_Done(library, &g.outline);
    if (library != nullptr) FT_Done_FreeType(library);
  }
};

const Glyphs& Font() {
  static const Glyphs font;
  return font;
}

bool Skip(benchmark::State& state) {
  if (!Font().glyphs.empty()) return false;
  state.SkipWithError("fonts-urw-base35 is not installed");
  return true;
}

void BM_GlyphMaskFolio(benchmark::State& state) {
  if (Skip(state)) return;
  vn::AppContext context;
  std::vector<uint8_t> mask(64 * 64);
  for (auto _ : state) {
    for (const Glyph& g : Font().glyphs) {
      const vn::im::PixelRect box{0, 0, g.width, g.height};
      const vn::im::Path path{g.path.data(), static_cast<uint32_t>(g.path.size())};
      vn::Scoped<vn::im::BezierRasterPainter> painter(context, context, path, vn::IdentityMatrix(), box,
                                                      vn::im::kNonZero);
      painter->RenderMask(box, mask.data(), g.width);
      benchmark::DoNotOptimize(mask.data());
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(Font().glyphs.size()));
}

void BM_GlyphMaskFreeType(benchmark::State& state) {
  if (Skip(state)) return;
  std::vector<unsigned char> mask(64 * 64);
  for (auto _ : state) {
    for (const Glyph& g : Font().glyphs) {
      FT_Bitmap bitmap{};
      bitmap.rows = static_cast<unsigned>(g.height);
      bitmap.width = static_cast<unsigned>(g.width);
      bitmap.pitch = g.width;
      bitmap.buffer = mask.data();
      bitmap.num_grays = 256;
      bitmap.pixel_mode = FT_PIXEL_MODE_GRAY;
      std::memset(mask.data(), 0, static_cast<size_t>(g.width * g.height));
      FT_Outline_Get_Bitmap(Font().library, const_cast<FT_Outline*>(&g.outline), &bitmap);
      benchmark::DoNotOptimize(mask.data());
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(Font().glyphs.size()));
}

void BM_GlyphMaskCairo(benchmark::State& state) {
  if (Skip(state)) return;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, 64, 64);
  cairo_t* cr = cairo_create(surface);
  for (auto _ : state) {
    for (const Glyph& g : Font().glyphs) {
      cairo_save(cr);
      cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
      cairo_paint(cr);
      cairo_restore(cr);
      const auto& p = g.path;
      for (size_t i = 0; i < p.size(); ++i) {
        const double x = vn::im::PointX(p[i]) / 65536.0, y = vn::im::PointY(p[i]) / 65536.0;
        switch (vn::im::PointKind(p[i])) {
          case vn::im::kMoveTo: cairo_move_to(cr, x, y); break;
          case vn::im::kLineTo: cairo_line_to(cr, x, y); break;
          case vn::im::kCurvePoint:
            cairo_curve_to(cr, x, y, vn::im::PointX(p[i + 1]) / 65536.0, vn::im::PointY(p[i + 1]) / 65536.0,
                           vn::im::PointX(p[i + 2]) / 65536.0, vn::im::PointY(p[i + 2]) / 65536.0);
            i += 2;
            break;
          default: cairo_close_path(cr); break;
        }
      }
      cairo_fill(cr);
      cairo_surface_flush(surface);
      benchmark::DoNotOptimize(cairo_image_surface_get_data(surface));
    }
  }
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(Font().glyphs.size()));
}

}  // namespace

BENCHMARK(BM_GlyphMaskFolio)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GlyphMaskFreeType)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GlyphMaskCairo)->Unit(benchmark::kMicrosecond);
