// Tensor-product patches into triangles (see mesh_shade.h).
//
// A patch is cut into a grid of Nu x Nv sub-quads, two triangles each, Nu
// and Nv chosen from the device length of the control polygon in u and in v
// so that a sub-quad spans a few pixels at most. Every grid point is
// evaluated from the control points directly (no accumulated error): first
// the four curves in u at the row's v, then that row's point.
//
// Neighbouring patches share a border but not their divisions, so a border
// is drawn as a polyline of its own: its divisions come from its four
// control points alone, its vertices (and their colours) are evaluated from
// those points alone, and the grid points on it move to the nearest of
// them. Both patches then end at the same polyline, whichever grids they
// have, and no pixel between them is left out.
//
// Rows run in v and, within a row, in u, so where a patch folds over itself
// the parts with larger v, then larger u, paint last.
#include <algorithm>

#include "im/mesh_shade.h"

namespace vn::im {

namespace {

// The most sub-quads along either side of one patch: a patch is at most
// 2 x 64 x 64 triangles.
constexpr int32_t kMaxDivisions = 64;
// The device length (24.8) of control polygon one sub-quad may span.
constexpr int64_t kSubQuadLength = int64_t{4} << kMeshPositionBits;

inline int64_t Abs(int64_t v) { return v < 0 ? -v : v; }

// |(dx, dy)| within 12 %, never below it.
inline int64_t Length(int64_t dx, int64_t dy) {
  const int64_t a = Abs(dx), b = Abs(dy);
  return a > b ? a + b / 2 : b + a / 2;
}

// Divisions for the curve of control points p: a few pixels of its control
// polygon each.
int64_t CurveDivisions(const MeshPoint* const p[4]) {
  int64_t length = 0;
  for (int i = 0; i < 3; ++i) length += Length(int64_t{p[i + 1]->x} - p[i]->x, int64_t{p[i + 1]->y} - p[i]->y);
  return std::clamp<int64_t>((length + kSubQuadLength - 1) / kSubQuadLength, 1, kMaxDivisions);
}

// The control points of row j (a curve in u) or of column i (a curve in v).
void RowPoints(const MeshPatch& patch, int j, const MeshPoint* p[4]) {
  for (int i = 0; i < 4; ++i) p[i] = &patch.p[i][j];
}
void ColumnPoints(const MeshPatch& patch, int i, const MeshPoint* p[4]) {
  for (int j = 0; j < 4; ++j) p[j] = &patch.p[i][j];
}

// The divisions in u (enough for each curve in u) or in v.
int64_t Divisions(const MeshPatch& patch, bool alongU) {
  int64_t most = 1;
  for (int k = 0; k < 4; ++k) {
    const MeshPoint* p[4];
    if (alongU) {
      RowPoints(patch, k, p);
    } else {
      ColumnPoints(patch, k, p);
    }
    most = std::max(most, CurveDivisions(p));
  }
  return most;
}

// The cubic Bernstein weights at a / n, times n^3.
void Weights(int64_t a, int64_t n, int64_t w[4]) {
  const int64_t b = n - a;
  w[0] = b * b * b;
  w[1] = 3 * a * b * b;
  w[2] = 3 * a * a * b;
  w[3] = a * a * a;
}

// v / d rounded half away from zero (d > 0): the same for a sum taken in
// either direction.
inline int64_t RoundedDivide(int64_t v, int64_t d) { return v >= 0 ? (v + d / 2) / d : -((-v + d / 2) / d); }

// The Bezier curve through p[0..3] at the weights w (their sum `total`).
MeshPoint CurvePoint(const MeshPoint* const p[4], const int64_t w[4], int64_t total) {
  int64_t x = 0, y = 0;
  for (int i = 0; i < 4; ++i) {
    x += p[i]->x * w[i];
    y += p[i]->y * w[i];
  }
  return MeshPoint{static_cast<int32_t>(RoundedDivide(x, total)), static_cast<int32_t>(RoundedDivide(y, total))};
}

// A border of the patch: its control points from one corner to the other,
// the colours at those corners, and its own divisions.
struct Border {
  Border(const MeshPatch& patch, bool row, int index, int fromCorner, int toCorner)
      : from(patch.color[fromCorner]), to(patch.color[toCorner]) {
    if (row) {
      RowPoints(patch, index, p);
    } else {
      ColumnPoints(patch, index, p);
    }
    divisions = CurveDivisions(p);
  }
  // The vertex of the border's own polyline nearest to a / n of the way
  // (n is at least its divisions, so every vertex is some grid point's).
  // The same whichever way the border is walked.
  MeshVertex Vertex(int64_t a, int64_t n) const {
    const int64_t d = divisions, k = (2 * a * d + n) / (2 * n);
    int64_t w[4];
    Weights(k, d, w);
    MeshVertex v;
    v.p = CurvePoint(p, w, d * d * d);
    for (int c = 0; c < kMeshChannels; ++c) {
      v.c[c] = static_cast<Fixed16_16>(RoundedDivide((d - k) * from[c] + k * to[c], d));
    }
    return v;
  }

  const MeshPoint* p[4];
  const Fixed16_16* from;
  const Fixed16_16* to;
  int64_t divisions;
};

}  // namespace

void FillCoonsInnerPoints(MeshPatch& patch) {
  const auto inner = [&patch](int i, int j) {
    // The corner nearest to p[i][j], its two border neighbours, the far
    // points of those borders, the two points next to the opposite corner
    // on the other borders, and the opposite corner.
    const int ci = i == 1 ? 0 : 3, cj = j == 1 ? 0 : 3, oi = 3 - ci, oj = 3 - cj;
    const auto& p = patch.p;
    const auto combine = [&](int32_t MeshPoint::*c) {
      const int64_t sum = -4 * int64_t{p[ci][cj].*c} + 6 * (int64_t{p[ci][j].*c} + p[i][cj].*c) -
                          2 * (int64_t{p[ci][oj].*c} + p[oi][cj].*c) + 3 * (int64_t{p[oi][j].*c} + p[i][oj].*c) -
                          p[oi][oj].*c;
      return static_cast<int32_t>(std::clamp<int64_t>(RoundedDivide(sum, 9), INT32_MIN, INT32_MAX));
    };
    patch.p[i][j] = MeshPoint{combine(&MeshPoint::x), combine(&MeshPoint::y)};
  };
  inner(1, 1);
  inner(1, 2);
  inner(2, 1);
  inner(2, 2);
}

void TessellatePatch(const MeshPatch& patch, MeshTriangleSink& sink) {
  const int64_t nu = Divisions(patch, true), nv = Divisions(patch, false);
  const int64_t cubeU = nu * nu * nu, cubeV = nv * nv * nv, cells = nu * nv;
  // Corner colours: 0 at (u, v) = (0, 0), 1 at (0, 1), 2 at (1, 1), 3 at (1, 0).
  const Border atV0(patch, true, 0, 0, 3), atV1(patch, true, 3, 1, 2);
  const Border atU0(patch, false, 0, 0, 1), atU1(patch, false, 3, 3, 2);
  // The previous row of grid points.
  MeshVertex previous[kMaxDivisions + 1];
  for (int64_t b = 0; b <= nv; ++b) {
    // The four curves in u at this v.
    int64_t wv[4];
    Weights(b, nv, wv);
    MeshPoint curve[4];
    for (int i = 0; i < 4; ++i) {
      const MeshPoint* column[4];
      ColumnPoints(patch, i, column);
      curve[i] = CurvePoint(column, wv, cubeV);
    }
    const MeshPoint* const row[4] = {&curve[0], &curve[1], &curve[2], &curve[3]};
    MeshVertex left;
    for (int64_t a = 0; a <= nu; ++a) {
      MeshVertex here;
      if (b == 0 || b == nv) {
        here = (b == 0 ? atV0 : atV1).Vertex(a, nu);
      } else if (a == 0 || a == nu) {
        here = (a == 0 ? atU0 : atU1).Vertex(b, nv);
      } else {
        int64_t wu[4];
        Weights(a, nu, wu);
        here.p = CurvePoint(row, wu, cubeU);
        // Colours bilinear in (u, v) = (a / nu, b / nv).
        const int64_t w00 = (nu - a) * (nv - b), w01 = (nu - a) * b, w11 = a * b, w10 = a * (nv - b);
        for (int k = 0; k < kMeshChannels; ++k) {
          const int64_t sum = w00 * patch.color[0][k] + w01 * patch.color[1][k] + w11 * patch.color[2][k] +
                              w10 * patch.color[3][k];
          here.c[k] = static_cast<Fixed16_16>(RoundedDivide(sum, cells));
        }
      }
      if (b > 0 && a > 0) {
        const MeshVertex& below = previous[a - 1];  // (a - 1, b - 1)
        sink.Triangle(below, previous[a], here);
        sink.Triangle(below, here, left);
      }
      if (a > 0) previous[a - 1] = left;
      left = here;
    }
    previous[nu] = left;
  }
}

}  // namespace vn::im
