// The Gouraud triangle painter of mesh shadings (see mesh_shade.h).
//
// A pixel belongs to a triangle when its centre does, with the top-left
// rule: a row is inside when its centre y is in [top, bottom) of the
// triangle, and on that row the pixels whose centre x is in [left edge,
// right edge). Each edge's crossing is computed exactly from the edge alone
// (its end points taken top to bottom), so triangles that share an edge
// split its pixels between them without gaps or overlaps, and a degenerate
// triangle has no pixel at all.
#include <algorithm>
#include <bit>
#include <cstring>

#include "im/mesh_shade.h"

namespace vn::im {

namespace {

constexpr int32_t kUnit = 1 << kMeshPositionBits;
constexpr int64_t kHalf = kUnit / 2;
// Channels are clamped to this (16.16) before their planes are set up, so
// no product overflows; it is well past any channel's meaningful range.
constexpr int64_t kChannelLimit = int64_t{1} << 27;
// A plane's value at its reference pixel never passes this (32 fraction bits).
constexpr int64_t kValueLimit = int64_t{1} << 60;
// Coordinates of a plane's set-up are brought below this (in position
// units, shifted right as needed): the products stay in 64 bits.
constexpr int32_t kPlaneBits = 16;

inline int64_t Abs(int64_t v) { return v < 0 ? -v : v; }

// The first column (or row) whose pixel centre is at or past `position` (24.8).
inline int64_t FirstCentreAtOrAfter(int64_t position) {
  const int64_t a = position - kHalf;
  return (a + kUnit - 1) >> kMeshPositionBits;
}

// The first column whose centre is at or right of the edge from (xt, yt)
// to (xb, yb) (yt < yb) on the row whose centre is yc (yt <= yc < yb).
// Exact: the crossing is xt + t dx / dy with t = yc - yt < dy < 2^32 and
// |dx| < 2^32, so t |dx| fits in 64 bits unsigned.
int64_t EdgeColumn(int64_t xt, int64_t yt, int64_t xb, int64_t yb, int64_t yc) {
  const uint64_t t = static_cast<uint64_t>(yc - yt), dy = static_cast<uint64_t>(yb - yt);
  const int64_t dx = xb - xt;
  const uint64_t product = t * static_cast<uint64_t>(Abs(dx));
  uint64_t quotient, remainder;
  if (product <= UINT32_MAX && dy <= UINT32_MAX) {  // small triangles: the short division is much faster
    quotient = static_cast<uint32_t>(product) / static_cast<uint32_t>(dy);
    remainder = static_cast<uint32_t>(product) % static_cast<uint32_t>(dy);
  } else {
    quotient = product / dy;
    remainder = product % dy;
  }
  const int64_t q = static_cast<int64_t>(quotient);
  const bool exact = remainder == 0;
  // crossing - half = a + f, 0 <= f < 1, f == 0 only when exact.
  const int64_t a = dx >= 0 ? xt + q - kHalf : xt - q - kHalf - (exact ? 0 : 1);
  if (exact) return (a + kUnit - 1) >> kMeshPositionBits;
  return (a >> kMeshPositionBits) + 1;
}

// num * 2^bits / den (den > 0, den < 2^40, |num| < 2^63), truncated,
// clamped to [-limit, limit].
int64_t ScaledQuotient(int64_t num, int64_t den, int32_t bits, int64_t limit) {
  const bool negative = num < 0;
  const uint64_t n = negative ? 0 - static_cast<uint64_t>(num) : static_cast<uint64_t>(num);
  const uint64_t d = static_cast<uint64_t>(den), most = static_cast<uint64_t>(limit);
  uint64_t q = 0, r = 0;
  if ((n >> (63 - bits)) == 0) {  // the common case (small triangles): one division
    q = (n << bits) / d;
    bits = 0;
  } else {
    q = n / d;
    r = n % d;
  }
  while (bits > 0 && q <= most) {
    const int32_t chunk = bits < 16 ? bits : 16;
    if (q > most >> chunk) {
      q = most;
      break;
    }
    q = (q << chunk) + (r << chunk) / d;
    r = (r << chunk) % d;
    bits -= chunk;
  }
  if (q > most) q = most;
  return negative ? -static_cast<int64_t>(q) : static_cast<int64_t>(q);
}

inline int64_t ClampChannel(Fixed16_16 c) {
  return c < -kChannelLimit ? -kChannelLimit : c > kChannelLimit ? kChannelLimit : c;
}

// The nearest whole channel value of v (32 fraction bits), within [0, most].
inline uint32_t Nearest(int64_t v, int64_t most) {
  const int64_t whole = (v + (int64_t{1} << 31)) >> 32;
  return static_cast<uint32_t>(whole < 0 ? 0 : whole > most ? most : whole);
}

}  // namespace

MeshShadeSampler::MeshShadeSampler(AppContext& context, const ShadeColorTable* table, const PixelRect& area,
                                   uint8_t constantAlpha)
    : SmoothShadeSampler(context, nullptr, constantAlpha), table_(table), area_(area), constantAlpha_(constantAlpha),
      channels_(table != nullptr ? 1 : kMeshChannels), work_(context), bounds_{0, 0, 0, 0}, triangles_(context),
      rowStarts_(context), byTop_(context), active_(context), entering_(context), merged_(context), lineRgb_(context),
      lineCovered_(context) {
  if (area_.Empty()) area_ = PixelRect{0, 0, 0, 0};
  const int64_t extent = static_cast<int64_t>(area_.x1) - area_.x0 + static_cast<int64_t>(area_.y1) - area_.y0;
  stepLimit_ = kValueLimit / (extent + 1);
}

MeshShadeSampler::~MeshShadeSampler() = default;

bool MeshShadeSampler::Full() const { return triangles_.Size() >= kBatchTriangles; }

bool MeshShadeSampler::Empty() const { return triangles_.Empty(); }

PixelRect MeshShadeSampler::Bounds() const { return bounds_; }

void MeshShadeSampler::Clear() {
  triangles_.Clear();
  active_.Clear();
  bounds_ = PixelRect{0, 0, 0, 0};
  scanReady_ = lineValid_ = false;
}

void MeshShadeSampler::Triangle(const MeshVertex& a, const MeshVertex& b, const MeshVertex& c) {
  work_.Charge(20);
  const MeshVertex* v[3] = {&a, &b, &c};
  if (v[1]->p.y < v[0]->p.y) std::swap(v[0], v[1]);
  if (v[2]->p.y < v[1]->p.y) std::swap(v[1], v[2]);
  if (v[1]->p.y < v[0]->p.y) std::swap(v[0], v[1]);
  const int32_t xMin = std::min({a.p.x, b.p.x, c.p.x}), xMax = std::max({a.p.x, b.p.x, c.p.x});
  // The pixels whose centre may be inside, within the area.
  const int64_t top = std::max<int64_t>(FirstCentreAtOrAfter(v[0]->p.y), area_.y0);
  const int64_t bottom = std::min<int64_t>(FirstCentreAtOrAfter(v[2]->p.y), area_.y1);
  const int64_t left = std::max<int64_t>(FirstCentreAtOrAfter(xMin), area_.x0);
  const int64_t right = std::min<int64_t>(FirstCentreAtOrAfter(xMax), area_.x1);
  if (top >= bottom || left >= right) return;
  RasterTriangle t{};
  for (int i = 0; i < 3; ++i) {
    t.x[i] = v[i]->p.x;
    t.y[i] = v[i]->p.y;
  }
  t.top = static_cast<int32_t>(top);
  t.bottom = static_cast<int32_t>(bottom);
  t.left = static_cast<int32_t>(left);
  t.right = static_cast<int32_t>(right);
  if (!SetUpPlanes(v, t)) return;
  const PixelRect box{t.left, t.top, t.right, t.bottom};
  if (triangles_.Empty()) {
    bounds_ = box;
  } else {
    bounds_ = PixelRect{std::min(bounds_.x0, box.x0), std::min(bounds_.y0, box.y0), std::max(bounds_.x1, box.x1),
                        std::max(bounds_.y1, box.y1)};
  }
  triangles_.Push(t);
  scanReady_ = lineValid_ = false;
}

// The plane through the three vertices' channels, by Cramer's rule on
// coordinates relative to the top vertex. Coordinates are shifted down to
// kPlaneBits when the triangle is large (it loses fractions of a pixel on a
// triangle hundreds of pixels wide); a triangle too thin to have a plane
// there takes the top vertex's colour. False for a triangle without area
// (it would paint nothing).
bool MeshShadeSampler::SetUpPlanes(const MeshVertex* const v[3], RasterTriangle& t) const {
  const int64_t ox = v[0]->p.x, oy = v[0]->p.y;
  int64_t d1x = v[1]->p.x - ox, d1y = v[1]->p.y - oy, d2x = v[2]->p.x - ox, d2y = v[2]->p.y - oy;
  int64_t rx = static_cast<int64_t>(t.left) * kUnit + kHalf - ox, ry = static_cast<int64_t>(t.top) * kUnit + kHalf - oy;
  const uint64_t largest = static_cast<uint64_t>(Abs(d1x) | Abs(d1y) | Abs(d2x) | Abs(d2y) | Abs(rx) | Abs(ry));
  const int32_t shift = std::max(0, static_cast<int32_t>(std::bit_width(largest)) - kPlaneBits);
  d1x >>= shift;
  d1y >>= shift;
  d2x >>= shift;
  d2y >>= shift;
  rx >>= shift;
  ry >>= shift;
  int64_t det = d1x * d2y - d2x * d1y;
  if (det == 0 && shift == 0) return false;
  const int64_t sign = det < 0 ? -1 : 1;
  det *= sign;
  for (uint32_t k = 0; k < channels_; ++k) {
    const int64_t c0 = ClampChannel(v[0]->c[k]);
    if (det == 0) {
      t.value[k] = c0 << 16;
      t.stepX[k] = t.stepY[k] = 0;
      continue;
    }
    const int64_t dc1 = ClampChannel(v[1]->c[k]) - c0, dc2 = ClampChannel(v[2]->c[k]) - c0;
    const int64_t numX = sign * (dc1 * d2y - dc2 * d1y), numY = sign * (d1x * dc2 - d2x * dc1);
    // Per pixel: a position unit is 2^shift / 256 of a pixel; 16 more
    // fraction bits than the 16.16 channel.
    t.stepX[k] = ScaledQuotient(numX, det, 24 - shift, stepLimit_);
    t.stepY[k] = ScaledQuotient(numY, det, 24 - shift, stepLimit_);
    t.value[k] = (c0 << 16) + ScaledQuotient(numX * rx + numY * ry, det, 16, kValueLimit);
  }
  return true;
}

void MeshShadeSampler::SortByTop() {
  const uint32_t count = triangles_.Size(), rows = static_cast<uint32_t>(bounds_.y1 - bounds_.y0);
  rowStarts_.Clear();
  rowStarts_.Resize(rows + 1);
  for (const RasterTriangle& t : triangles_) ++rowStarts_[static_cast<uint32_t>(t.top - bounds_.y0) + 1];
  for (uint32_t r = 1; r <= rows; ++r) rowStarts_[r] += rowStarts_[r - 1];
  byTop_.Resize(count);
  for (uint32_t i = 0; i < count; ++i) byTop_[rowStarts_[static_cast<uint32_t>(triangles_[i].top - bounds_.y0)]++] = i;
}

void MeshShadeSampler::UpdateActive(int32_t y) {
  const uint32_t count = triangles_.Size();
  if (!scanReady_ || y < scanRow_) {
    if (!scanReady_) SortByTop();
    nextByTop_ = 0;
    active_.Clear();
    scanReady_ = true;
  }
  scanRow_ = y;
  uint32_t kept = 0;
  for (uint32_t i = 0; i < active_.Size(); ++i) {
    if (triangles_[active_[i]].bottom > y) active_[kept++] = active_[i];
  }
  active_.Truncate(kept);
  entering_.Clear();
  bool ordered = true;
  for (; nextByTop_ < count && triangles_[byTop_[nextByTop_]].top <= y; ++nextByTop_) {
    const uint32_t index = byTop_[nextByTop_];
    if (triangles_[index].bottom <= y) continue;
    if (!entering_.Empty() && index < entering_.Back()) ordered = false;  // from several rows (rows skipped)
    entering_.Push(index);
  }
  if (entering_.Empty()) return;
  if (!ordered) std::sort(entering_.begin(), entering_.end());
  // Drawing order. Meshes mostly come in rows, so the entering ones often
  // all follow the active ones.
  if (active_.Empty() || entering_[0] > active_.Back()) {
    for (uint32_t index : entering_) active_.Push(index);
    return;
  }
  merged_.Resize(active_.Size() + entering_.Size());
  std::merge(active_.begin(), active_.end(), entering_.begin(), entering_.end(), merged_.begin());
  active_.Resize(merged_.Size());
  std::memcpy(active_.Data(), merged_.Data(), merged_.Size() * sizeof(uint32_t));
}

void MeshShadeSampler::PaintSpan(const RasterTriangle& t, int32_t y) {
  const int64_t yc = static_cast<int64_t>(y) * kUnit + kHalf;
  // The long edge spans every row of the triangle; the upper or lower
  // short edge the rest.
  const int64_t along = EdgeColumn(t.x[0], t.y[0], t.x[2], t.y[2], yc);
  const int64_t other = yc < t.y[1] ? EdgeColumn(t.x[0], t.y[0], t.x[1], t.y[1], yc)
                                    : EdgeColumn(t.x[1], t.y[1], t.x[2], t.y[2], yc);
  const int32_t x0 = static_cast<int32_t>(std::max<int64_t>(std::min(along, other), t.left));
  const int32_t x1 = static_cast<int32_t>(std::min<int64_t>(std::max(along, other), t.right));
  if (x0 >= x1) return;
  int64_t value[kMeshChannels];
  for (uint32_t k = 0; k < channels_; ++k) {
    value[k] = t.value[k] + t.stepY[k] * (y - t.top) + t.stepX[k] * (x0 - t.left);
  }
  const uint32_t offset = static_cast<uint32_t>(x0 - area_.x0), n = static_cast<uint32_t>(x1 - x0);
  uint8_t* rgb = lineRgb_.Data() + 3 * offset;
  std::memset(lineCovered_.Data() + offset, 255, n);
  if (table_ != nullptr) {
    const int64_t step = t.stepX[0];
    for (uint32_t i = 0; i < n; ++i, rgb += 3, value[0] += step) {
      std::memcpy(rgb, table_->At(Nearest(value[0], kShadeSteps - 1)), 3);
    }
    return;
  }
  for (uint32_t i = 0; i < n; ++i, rgb += 3) {
    for (int k = 0; k < kMeshChannels; ++k) {
      rgb[k] = static_cast<uint8_t>(Nearest(value[k], 255));
      value[k] += t.stepX[k];
    }
  }
}

void MeshShadeSampler::RasteriseRow(int32_t y) {
  const uint32_t width = static_cast<uint32_t>(area_.x1 - area_.x0);
  if (lineCovered_.Size() < width) {
    lineRgb_.Resize(3 * width);
    lineCovered_.Resize(width);
  }
  UpdateActive(y);
  std::memset(lineCovered_.Data(), 0, width);
  for (uint32_t index : active_) PaintSpan(triangles_[index], y);
  work_.Charge(active_.Size() * 4 + width / 8 + 1);
  lineValid_ = true;
}

PixelRun MeshShadeSampler::RunAt(int32_t x) {
  const int32_t y = row_;
  if (triangles_.Empty() || y < area_.y0 || y >= area_.y1 || x >= area_.x1) return PixelRun{kRunEmpty, kRowEnd};
  if (x < area_.x0) return PixelRun{kRunEmpty, area_.x0};
  if (!lineValid_ || !scanReady_ || scanRow_ != y) RasteriseRow(y);
  const uint8_t* covered = lineCovered_.Data();
  const int32_t width = area_.x1 - area_.x0;
  const uint8_t kind = covered[x - area_.x0];
  int32_t i = x - area_.x0 + 1;
  while (i < width && covered[i] == kind) ++i;
  const int32_t end = area_.x0 + i;
  if (kind == 0) return PixelRun{kRunEmpty, end};
  return PixelRun{constantAlpha_ == 255 ? kRunFull : kRunPartial, end};
}

void MeshShadeSampler::ShadeRun(int32_t x, int32_t y, int32_t n, uint8_t* rgb, uint8_t* covered) {
  std::memset(rgb, 0, 3 * static_cast<size_t>(n));
  std::memset(covered, 0, static_cast<size_t>(n));
  if (triangles_.Empty() || y < area_.y0 || y >= area_.y1) return;
  const int64_t from = std::max<int64_t>(x, area_.x0), to = std::min<int64_t>(static_cast<int64_t>(x) + n, area_.x1);
  if (from >= to) return;
  if (!lineValid_ || !scanReady_ || scanRow_ != y) RasteriseRow(y);
  const size_t skip = static_cast<size_t>(from - x), count = static_cast<size_t>(to - from);
  const size_t offset = static_cast<size_t>(from - area_.x0);
  std::memcpy(rgb + 3 * skip, lineRgb_.Data() + 3 * offset, 3 * count);
  std::memcpy(covered + skip, lineCovered_.Data() + offset, count);
}

}  // namespace vn::im
