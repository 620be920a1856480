#include "outline_compare.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_CID_H

#include <algorithm>
#include <cmath>
#include <cstring>

#include "data_io/raw_data_store.h"
#include "fonts/recognise_font_file.h"
#include "runtime/engine_new.h"

namespace vn::test {

namespace {

class CollectingSink final : public fonts::OutlineSink {
 public:
  explicit CollectingSink(Outline& out) : out_(out) {}
  void MoveTo(FixedPoint p) override { out_.push_back(OutlineContour{Point(p), {}}); }
  void LineTo(FixedPoint p) override { Add({Point(p)}); }
  void CurveTo(FixedPoint c1, FixedPoint c2, FixedPoint end) override { Add({Point(c1), Point(c2), Point(end)}); }
  void Close() override {}

 private:
  static OutlinePoint Point(FixedPoint p) { return OutlinePoint{p.x / 65536.0, p.y / 65536.0}; }
  void Add(std::vector<OutlinePoint> points) {
    if (out_.empty()) out_.push_back(OutlineContour{{0, 0}, {}});
    out_.back().segments.push_back(OutlineSegment{std::move(points)});
  }
  Outline& out_;
};

OutlinePoint Evaluate(const OutlinePoint& from, const OutlineSegment& s, double t) {
  const auto& p = s.points;
  double u = 1 - t;
  if (p.size() == 1) return OutlinePoint{from.x + (p[0].x - from.x) * t, from.y + (p[0].y - from.y) * t};
  if (p.size() == 2) {
    return OutlinePoint{u * u * from.x + 2 * u * t * p[0].x + t * t * p[1].x,
                        u * u * from.y + 2 * u * t * p[0].y + t * t * p[1].y};
  }
  return OutlinePoint{u * u * u * from.x + 3 * u * u * t * p[0].x + 3 * u * t * t * p[1].x + t * t * t * p[2].x,
                      u * u * u * from.y + 3 * u * u * t * p[0].y + 3 * u * t * t * p[1].y + t * t * t * p[2].y};
}

// Per coordinate: FreeType's unscaled CFF outlines are floored to whole
// font units on each axis.
double Distance(OutlinePoint a, OutlinePoint b) { return std::max(std::fabs(a.x - b.x), std::fabs(a.y - b.y)); }

// Closes the contour with a line back to its start when it does not end
// there, and drops zero-length lines; contours without segments go.
Outline Normalise(const Outline& in) {
  Outline out;
  for (const OutlineContour& c : in) {
    OutlineContour n{c.start, {}};
    OutlinePoint at = c.start;
    for (const OutlineSegment& s : c.segments) {
      if (s.points.size() == 1 && Distance(s.points[0], at) < 1e-9) continue;
      n.segments.push_back(s);
      at = s.points.back();
    }
    if (Distance(at, c.start) > 1e-9) n.segments.push_back(OutlineSegment{{c.start}});
    if (!n.segments.empty()) out.push_back(std::move(n));
  }
  return out;
}

std::vector<OutlinePoint> Sample(const OutlineContour& c, int perSegment) {
  std::vector<OutlinePoint> points;
  OutlinePoint at = c.start;
  for (const OutlineSegment& s : c.segments) {
    for (int i = 0; i < perSegment; ++i) points.push_back(Evaluate(at, s, static_cast<double>(i) / perSegment));
    at = s.points.back();
  }
  points.push_back(at);
  return points;
}

double DistanceToPolyline(OutlinePoint p, const std::vector<OutlinePoint>& line) {
  double best = 1e300;
  for (size_t i = 0; i + 1 < line.size(); ++i) {
    OutlinePoint a = line[i], b = line[i + 1];
    double dx = b.x - a.x, dy = b.y - a.y;
    double len = dx * dx + dy * dy;
    double t = len > 0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / len, 0.0, 1.0) : 0.0;
    best = std::min(best, Distance(p, OutlinePoint{a.x + t * dx, a.y + t * dy}));
  }
  if (line.size() == 1) best = Distance(p, line[0]);
  return best;
}

// The largest distance from a sample of one contour to the other's polyline
// (both ways): the contours' shapes, whatever their segment structure.
double ShapeDistance(const OutlineContour& a, const OutlineContour& b) {
  auto pa = Sample(a, 16), pb = Sample(b, 16);
  double worst = 0;
  for (const auto& p : pa) worst = std::max(worst, DistanceToPolyline(p, pb));
  for (const auto& p : pb) worst = std::max(worst, DistanceToPolyline(p, pa));
  return worst;
}

// The same segments in the same order (possibly starting elsewhere in the
// cycle): compared at matching parameters.
bool SegmentsAgree(const OutlineContour& a, const OutlineContour& b, double tolerance) {
  size_t n = a.segments.size();
  if (n != b.segments.size()) return false;
  for (size_t shift = 0; shift < n; ++shift) {
    bool ok = true;
    OutlinePoint atA = a.start, atB = b.start;
    // Start points of segment i in each contour.
    std::vector<OutlinePoint> startsA(n), startsB(n);
    for (size_t i = 0; i < n; ++i) {
      startsA[i] = atA;
      atA = a.segments[i].points.back();
      startsB[i] = atB;
      atB = b.segments[i].points.back();
    }
    for (size_t i = 0; i < n && ok; ++i) {
      size_t j = (i + shift) % n;
      for (double t : {0.0, 0.25, 0.5, 0.75, 1.0}) {
        if (Distance(Evaluate(startsA[i], a.segments[i], t), Evaluate(startsB[j], b.segments[j], t)) > tolerance) {
          ok = false;
          break;
        }
      }
    }
    if (ok) return true;
  }
  return false;
}

int MoveTo(const FT_Vector* to, void* user) {
  static_cast<Outline*>(user)->push_back(OutlineContour{{double(to->x), double(to->y)}, {}});
  return 0;
}
int LineTo(const FT_Vector* to, void* user) {
  static_cast<Outline*>(user)->back().segments.push_back(OutlineSegment{{{double(to->x), double(to->y)}}});
  return 0;
}
int ConicTo(const FT_Vector* c, const FT_Vector* to, void* user) {
  static_cast<Outline*>(user)->back().segments.push_back(
      OutlineSegment{{{double(c->x), double(c->y)}, {double(to->x), double(to->y)}}});
  return 0;
}
int CubicTo(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user) {
  static_cast<Outline*>(user)->back().segments.push_back(
      OutlineSegment{{{double(c1->x), double(c1->y)}, {double(c2->x), double(c2->y)}, {double(to->x), double(to->y)}}});
  return 0;
}

}  // namespace

fonts::Font* LoadProgram(AppContext& context, const std::vector<unsigned char>& bytes) {
  auto* store = New<data_io::RawDataStore>(context, context, bytes.data(), bytes.size());
  return fonts::MakeProgram(context, store);
}

Outline OurOutline(fonts::Font& font, uint32_t glyph) {
  Outline outline;
  CollectingSink sink(outline);
  int32_t units = font.Info().unitsPerEm;
  FixedMatrix m{units * 65536, 0, 0, units * 65536, 0, 0};
  font.AppendOutline(glyph, m, sink);
  return outline;
}

ReferenceFace::ReferenceFace(const std::vector<unsigned char>& bytes) {
  FT_Library library;
  if (FT_Init_FreeType(&library) != 0) return;
  library_ = library;
  FT_Face face;
  if (FT_New_Memory_Face(library, bytes.data(), static_cast<FT_Long>(bytes.size()), 0, &face) == 0) face_ = face;
}

ReferenceFace::~ReferenceFace() {
  if (face_ != nullptr) FT_Done_Face(static_cast<FT_Face>(face_));
  if (library_ != nullptr) FT_Done_FreeType(static_cast<FT_Library>(library_));
}

long ReferenceFace::GlyphCount() const { return face_ ? static_cast<FT_Face>(face_)->num_glyphs : 0; }

long ReferenceFace::IndexFor(fonts::Font& font, uint32_t glyph) const {
  FT_Face face = static_cast<FT_Face>(face_);
  if (font.Kind() == fonts::FontKind::kNameKeyed) {
    const char* const* names = font.GlyphNames();
    if (names == nullptr || !FT_HAS_GLYPH_NAMES(face)) return glyph;
    if (glyph == 0) return 0;
    FT_UInt index = FT_Get_Name_Index(face, names[glyph]);
    return index == 0 ? -1 : static_cast<long>(index);
  }
  if (font.Kind() == fonts::FontKind::kCidKeyed) {
    FT_UInt cid = 0;
    if (FT_Get_CID_From_Glyph_Index(face, glyph, &cid) != 0) return glyph;
    return cid;
  }
  return glyph;
}

bool ReferenceFace::Load(long index, Outline& outline) const {
  FT_Face face = static_cast<FT_Face>(face_);
  if (FT_Load_Glyph(face, static_cast<FT_UInt>(index), FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING) != 0) return false;
  if (face->glyph->format != FT_GLYPH_FORMAT_OUTLINE) return false;
  FT_Outline_Funcs funcs{MoveTo, LineTo, ConicTo, CubicTo, 0, 0};
  return FT_Outline_Decompose(&face->glyph->outline, &funcs, &outline) == 0;
}

long ReferenceFace::Advance(long index) const {
  FT_Face face = static_cast<FT_Face>(face_);
  if (FT_Load_Glyph(face, static_cast<FT_UInt>(index), FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING) != 0) return -1;
  return face->glyph->metrics.horiAdvance;
}

long ReferenceFace::CmapGlyph(int platform, int encoding, unsigned long code) const {
  FT_Face face = static_cast<FT_Face>(face_);
  for (int i = 0; i < face->num_charmaps; ++i) {
    FT_CharMap map = face->charmaps[i];
    if (map->platform_id != platform || map->encoding_id != encoding) continue;
    if (face->charmap != map) FT_Set_Charmap(face, map);
    return static_cast<long>(FT_Get_Char_Index(face, code));
  }
  return -1;
}

std::string CompareOutlines(const Outline& oursRaw, const Outline& referenceRaw, double tolerance) {
  Outline ours = Normalise(oursRaw), reference = Normalise(referenceRaw);
  if (ours.size() != reference.size()) {
    return "contours " + std::to_string(ours.size()) + " vs " + std::to_string(reference.size());
  }
  auto agree = [&](const OutlineContour& a, const OutlineContour& b) {
    return SegmentsAgree(a, b, tolerance) || ShapeDistance(a, b) <= tolerance;
  };
  // Contours in the same order, or else (composites and accents are drawn
  // in different orders) each matched with one of the others.
  bool inOrder = true;
  for (size_t i = 0; i < ours.size() && inOrder; ++i) inOrder = agree(ours[i], reference[i]);
  if (inOrder) return "";
  std::vector<bool> used(reference.size(), false);
  for (size_t i = 0; i < ours.size(); ++i) {
    bool found = false;
    for (size_t j = 0; j < reference.size() && !found; ++j) {
      if (!used[j] && agree(ours[i], reference[j])) used[j] = found = true;
    }
    if (!found) {
      double best = 1e300;
      for (size_t j = 0; j < reference.size(); ++j) best = std::min(best, ShapeDistance(ours[i], reference[j]));
      return "contour " + std::to_string(i) + " off by " + std::to_string(best);
    }
  }
  return "";
}

}  // namespace vn::test
