#include "im/edge_list.h"

#include <algorithm>

#include "runtime/fixed16_16.h"

namespace vn::im::rasterizer_detail {

namespace {

constexpr int64_t kPixel = 0x10000;
// The guard band: geometry within two pixels of the box is kept as it is;
// beyond it only its winding matters.
constexpr int64_t kBandMargin = 2 * kPixel;
// Segments inside this margin are stored whole; a larger one only costs
// work on rows that are never shown. Must exceed every stored piece's
// extent beyond the band, so that splitting ends.
constexpr int64_t kSafeMargin = 1024 * kPixel;
// Curves larger than this are halved before they are flattened, so 2^10
// chords always meet the flatness tolerance.
constexpr int64_t kMaxCurveExtent = 2048 * kPixel;
// A curve piece across a band border this narrow is kept as its chord.
constexpr int64_t kBorderSliver = kPixel / 4;
// Flatness: a piece gets 2^k chords with 4^k >= (its largest second
// difference) / kFlatness; the chords then stay within about 1/120 pixel
// of the curve.
constexpr int64_t kFlatness = 512;
constexpr int kMaxChordShift = 10;

int64_t Abs(int64_t v) { return v < 0 ? -v : v; }
int64_t Max(int64_t a, int64_t b) { return a > b ? a : b; }
int64_t Min(int64_t a, int64_t b) { return a < b ? a : b; }

WidePoint Mid(WidePoint a, WidePoint b) { return WidePoint{(a.x + b.x) >> 1, (a.y + b.y) >> 1}; }

// de Casteljau at t = 1/2: left half into out[0..3], right half into out[3..6].
void Halve(const WidePoint* p, WidePoint* out) {
  const WidePoint p01 = Mid(p[0], p[1]), p12 = Mid(p[1], p[2]), p23 = Mid(p[2], p[3]);
  const WidePoint p012 = Mid(p01, p12), p123 = Mid(p12, p23);
  const WidePoint m = Mid(p012, p123);
  out[0] = p[0];
  out[1] = p01;
  out[2] = p012;
  out[3] = m;
  out[4] = p123;
  out[5] = p23;
  out[6] = p[3];
}

// a + (b - a) * t for t in 16.16, 0..1.
int64_t LerpAt(int64_t a, int64_t b, int64_t t) { return a + (((b - a) * t) >> 16); }

// de Casteljau at t (16.16): left into out[0..3], right into out[3..6].
void SplitAt(const WidePoint* p, int64_t t, WidePoint* out) {
  auto lerp = [t](WidePoint a, WidePoint b) { return WidePoint{LerpAt(a.x, b.x, t), LerpAt(a.y, b.y, t)}; };
  const WidePoint p01 = lerp(p[0], p[1]), p12 = lerp(p[1], p[2]), p23 = lerp(p[2], p[3]);
  const WidePoint p012 = lerp(p01, p12), p123 = lerp(p12, p23);
  out[0] = p[0];
  out[1] = p01;
  out[2] = p012;
  out[3] = lerp(p012, p123);
  out[4] = p123;
  out[5] = p23;
  out[6] = p[3];
}

// Parameters in (0, 1) (16.16) where the derivative of the cubic with
// coordinates v0..v3 vanishes; returns how many (0 to 2), ascending.
int DerivativeRoots(int64_t v0, int64_t v1, int64_t v2, int64_t v3, int64_t* roots) {
  int64_t a = v3 - v0 + 3 * (v1 - v2);
  int64_t b = 2 * (v0 - 2 * v1 + v2);
  int64_t c = v1 - v0;
  while (Max(Abs(a), Max(Abs(b), Abs(c))) > (int64_t{1} << 29)) {
    a >>= 1;
    b >>= 1;
    c >>= 1;
  }
  int count = 0;
  auto keep = [&](int64_t num, int64_t den) {
    if (den == 0) return;
    if (den < 0) {
      num = -num;
      den = -den;
    }
    if (num <= 0 || num >= den) return;
    roots[count++] = (num << 16) / den;
  };
  if (a == 0) {
    keep(-c, b);
  } else {
    const int64_t disc = b * b - 4 * a * c;
    if (disc < 0) return 0;
    const int64_t s = static_cast<int64_t>(IntegerSqrt(static_cast<uint64_t>(disc)));
    // The numerically stable pair: q = -(b + sign(b) s) / 2, roots q/a and c/q.
    const int64_t q = b >= 0 ? -(b + s) : (s - b);  // twice q
    keep(q, 2 * a);
    keep(2 * c, q);
  }
  if (count == 2) {
    if (roots[0] > roots[1]) {
      const int64_t t = roots[0];
      roots[0] = roots[1];
      roots[1] = t;
    }
    if (roots[0] == roots[1]) count = 1;
  }
  return count;
}

}  // namespace

EdgeList::EdgeList(AppContext& context, int32_t width, int32_t height, WorkCounter& work)
    : work_(work), edges_(context), curves_(context), stack_(context), borders_(context), borderEvents_(context),
      netted_(context) {
  stack_.Resize(kStackDepth * 4);
  band_ = Bounds{-kBandMargin, -kBandMargin, width * kPixel + kBandMargin, height * kPixel + kBandMargin};
  safe_ = Bounds{-kSafeMargin, -kSafeMargin, width * kPixel + kSafeMargin, height * kPixel + kSafeMargin};
  minX_ = minY_ = 0x7FFFFFFF;
  maxX_ = maxY_ = -0x7FFFFFFF;
}

int EdgeList::Beyond(const WidePoint* p, int count, const Bounds& r) {
  bool left = true, right = true, above = true, below = true;
  for (int i = 0; i < count; ++i) {
    left = left && p[i].x <= r.x0;
    right = right && p[i].x >= r.x1;
    above = above && p[i].y <= r.y0;
    below = below && p[i].y >= r.y1;
  }
  if (above) return 3;
  if (below) return 4;
  if (left) return 1;
  if (right) return 2;
  return 0;
}

bool EdgeList::Inside(const WidePoint* p, int count, const Bounds& r) {
  for (int i = 0; i < count; ++i) {
    if (p[i].x < r.x0 || p[i].x > r.x1 || p[i].y < r.y0 || p[i].y > r.y1) return false;
  }
  return true;
}

void EdgeList::Widen(int32_t xa, int32_t ya, int32_t xb, int32_t yb) {
  minX_ = static_cast<int32_t>(Min(minX_, Min(xa, xb)));
  maxX_ = static_cast<int32_t>(Max(maxX_, Max(xa, xb)));
  minY_ = static_cast<int32_t>(Min(minY_, Min(ya, yb)));
  maxY_ = static_cast<int32_t>(Max(maxY_, Max(ya, yb)));
}

// What the edges keep is the path with every point beyond the band's left
// or right border moved onto that border (x clamped, y kept): the moved
// path is still closed, and no point inside the band changes its winding.
// Pieces above or below the band are dropped (their breaks lie on rows
// that are never scanned).
//
// Both adders keep an explicit stack of pending pieces (the painter's
// memory, not the thread's small stack): a piece that must be split is
// replaced by its second half and its first half is pushed on top, so the
// pieces come out in path order.

void EdgeList::AddLine(WidePoint from, WidePoint to) {
  int depth = 0;
  stack_[0] = from;
  stack_[1] = to;
  for (;;) {
    WidePoint* s = stack_.Data() + 2 * depth;
    const int side = Beyond(s, 2, band_);
    if (side == 0 && !Inside(s, 2, safe_) && depth + 1 < kStackDepth * 2) {
      const WidePoint mid = Mid(s[0], s[1]);
      s[2] = s[0];
      s[3] = mid;
      s[0] = mid;
      ++depth;
      continue;
    }
    if (side == 1 || side == 2) {
      EmitBorder(side == 1 ? band_.x0 : band_.x1, s[0].y, s[1].y);
    } else if (side == 0) {
      ClipToBand(s[0], s[1]);
    }
    if (depth == 0) return;
    --depth;
  }
}

void EdgeList::ClipToBand(WidePoint a, WidePoint b) {
  // Clamped to the safe region (only a piece the stack could not split
  // further is ever outside it), then cut where it crosses a border.
  a = WidePoint{Max(safe_.x0, Min(safe_.x1, a.x)), Max(safe_.y0, Min(safe_.y1, a.y))};
  b = WidePoint{Max(safe_.x0, Min(safe_.x1, b.x)), Max(safe_.y0, Min(safe_.y1, b.y))};
  // A sliver across a border goes onto the border whole: the change stays
  // within a quarter pixel of it, two pixels outside the box, and a path
  // that runs along the border becomes a few long border edges instead of
  // thousands of pieces.
  if (Abs(b.x - a.x) <= kBorderSliver) {
    if (Min(a.x, b.x) < band_.x0) return EmitBorder(band_.x0, a.y, b.y);
    if (Max(a.x, b.x) > band_.x1) return EmitBorder(band_.x1, a.y, b.y);
  }
  WidePoint cuts[4] = {a, a, a, b};
  int count = 1;
  const int64_t borders[2] = {band_.x0, band_.x1};
  for (int i = 0; i < 2; ++i) {
    const int64_t x = borders[i];
    if ((a.x < x) == (b.x < x) || a.x == b.x) continue;
    // Within the safe region these products fit 64 bits.
    const WidePoint cut{x, a.y + (x - a.x) * (b.y - a.y) / (b.x - a.x)};
    // Keep the cuts in order along the segment.
    if (count == 2 && Abs(cut.x - a.x) < Abs(cuts[1].x - a.x)) {
      cuts[2] = cuts[1];
      cuts[1] = cut;
    } else {
      cuts[count] = cut;
    }
    ++count;
  }
  cuts[count] = b;
  for (int i = 0; i < count; ++i) {
    const WidePoint& p = cuts[i];
    const WidePoint& q = cuts[i + 1];
    const int64_t middle = (p.x + q.x) >> 1;
    if (middle < band_.x0 || (p.x <= band_.x0 && q.x <= band_.x0)) {
      EmitBorder(band_.x0, p.y, q.y);
    } else if (middle > band_.x1 || (p.x >= band_.x1 && q.x >= band_.x1)) {
      EmitBorder(band_.x1, p.y, q.y);
    } else {
      EmitLine(static_cast<int32_t>(p.x), static_cast<int32_t>(p.y), static_cast<int32_t>(q.x),
               static_cast<int32_t>(q.y));
    }
  }
}

void EdgeList::AddCurve(WidePoint p0, WidePoint p1, WidePoint p2, WidePoint p3) {
  int depth = 0;
  stack_[0] = p0;
  stack_[1] = p1;
  stack_[2] = p2;
  stack_[3] = p3;
  for (;;) {
    WidePoint* s = stack_.Data() + 4 * depth;
    const int side = Beyond(s, 4, band_);
    bool keep = true;  // as a curve; else as its chord
    if (side == 0) {
      const int64_t xMin = Min(Min(s[0].x, s[1].x), Min(s[2].x, s[3].x));
      const int64_t xMax = Max(Max(s[0].x, s[1].x), Max(s[2].x, s[3].x));
      const int64_t yExtent = Max(Max(s[0].y, s[1].y), Max(s[2].y, s[3].y)) -
                              Min(Min(s[0].y, s[1].y), Min(s[2].y, s[3].y));
      const bool straddles = xMin < band_.x0 || xMax > band_.x1;
      // A piece across a border is split until it is narrow enough to be
      // replaced by its chord: the change then stays outside the box.
      keep = !straddles;
      const bool split = !Inside(s, 4, safe_) || xMax - xMin > kMaxCurveExtent || yExtent > kMaxCurveExtent ||
                         (straddles && xMax - xMin > kBorderSliver);
      if (split && depth + 1 < kStackDepth) {
        WidePoint halves[7];
        Halve(s, halves);
        for (int i = 0; i < 4; ++i) s[i] = halves[3 + i];
        for (int i = 0; i < 4; ++i) s[4 + i] = halves[i];
        ++depth;
        continue;
      }
      if (!Inside(s, 4, safe_)) keep = false;
    }
    if (side == 1 || side == 2) {
      EmitBorder(side == 1 ? band_.x0 : band_.x1, s[0].y, s[3].y);
    } else if (side == 0) {
      if (keep) EmitCurve(s);
      else ClipToBand(s[0], s[3]);
    }
    if (depth == 0) return;
    --depth;
  }
}

void EdgeList::EmitBorder(int64_t x, int64_t yFrom, int64_t yTo) {
  yFrom = Max(band_.y0, Min(band_.y1, yFrom));
  yTo = Max(band_.y0, Min(band_.y1, yTo));
  if (yFrom == yTo) return;
  work_.Charge(20);
  const uint8_t side = x == band_.x0 ? 0 : 1;
  const int32_t dir = yTo > yFrom ? 1 : -1;
  const int32_t top = static_cast<int32_t>(Min(yFrom, yTo)), bottom = static_cast<int32_t>(Max(yFrom, yTo));
  // Extend the last border span when this one continues it.
  if (!borders_.Empty()) {
    BorderSpan& last = borders_.Back();
    if (last.side == side && last.dir == dir && (dir > 0 ? last.bottom == top : last.top == bottom)) {
      if (dir > 0) last.bottom = bottom;
      else last.top = top;
      return;
    }
  }
  borders_.Push(BorderSpan{top, bottom, dir, side});
  if (borders_.Size() >= compactAt_) {
    NetBorders();
    compactAt_ = 2 * borders_.Size() + 4096;
  }
}

void EdgeList::NetBorders() {
  // Border spans only add winding to what lies right of the left border
  // (or left of the right one): their sum per height is all that matters.
  // Each side becomes the fewest spans with that sum.
  netted_.Clear();
  for (uint8_t side = 0; side < 2; ++side) {
    borderEvents_.Clear();
    for (const BorderSpan& span : borders_) {
      if (span.side != side) continue;
      borderEvents_.Push(BorderEvent{span.top, span.dir});
      borderEvents_.Push(BorderEvent{span.bottom, -span.dir});
    }
    std::sort(borderEvents_.begin(), borderEvents_.end(),
              [](const BorderEvent& l, const BorderEvent& r) { return l.y < r.y; });
    work_.Charge(borderEvents_.Size() * 4);
    int32_t net = 0, from = 0;
    for (uint32_t i = 0; i < borderEvents_.Size();) {
      const int32_t y = borderEvents_[i].y;
      const int32_t before = net;
      while (i < borderEvents_.Size() && borderEvents_[i].y == y) net += borderEvents_[i++].delta;
      if (net == before) continue;
      if (before != 0) netted_.Push(BorderSpan{from, y, before, side});
      from = y;
    }
  }
  borders_.Clear();
  for (const BorderSpan& span : netted_) borders_.Push(span);
}

void EdgeList::Finish() {
  NetBorders();
  for (const BorderSpan& span : borders_) {
    Edge e;
    e.x0 = e.x1 = static_cast<int32_t>(span.side == 0 ? band_.x0 : band_.x1);
    e.y0 = span.top;
    e.y1 = e.yEnd = span.bottom;
    e.slope = 0;
    e.curve = -1;
    e.dir = span.dir;
    edges_.Push(e);
    Widen(e.x0, e.y0, e.x1, e.y1);
  }
  borders_.Reset();
  borderEvents_.Reset();
  netted_.Reset();
}

void EdgeList::EmitLine(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  work_.Charge(50);
  Edge e;
  e.curve = -1;
  if (y0 == y1) {
    // Horizontal edges matter only inside a row (they join the edges at
    // their ends); on a row boundary, or beyond the band, they do nothing.
    if ((y0 & 0xFFFF) == 0 || y0 <= band_.y0 || y0 >= band_.y1) return;
    const int64_t xa = Max(band_.x0, Min(band_.x1, Min(x0, x1)));
    const int64_t xb = Max(band_.x0, Min(band_.x1, Max(x0, x1)));
    if (xa == xb) return;
    e.x0 = static_cast<int32_t>(xa);
    e.x1 = static_cast<int32_t>(xb);
    e.y0 = e.y1 = e.yEnd = y0;
    e.slope = 0;
    e.dir = 0;
    edges_.Push(e);
    return;
  }
  if (y0 < y1) {
    e.x0 = x0, e.y0 = y0, e.x1 = x1, e.y1 = y1, e.dir = 1;
  } else {
    e.x0 = x1, e.y0 = y1, e.x1 = x0, e.y1 = y0, e.dir = -1;
  }
  e.yEnd = e.y1;
  e.slope = SlopeOf(e.x1 - e.x0, e.y1 - e.y0);
  edges_.Push(e);
  Widen(e.x0, e.y0, e.x1, e.y1);
}

void EdgeList::EmitCurve(const WidePoint* p) {
  // Split into pieces monotone in x and y at the roots of the derivatives.
  int64_t roots[4];
  int count = DerivativeRoots(p[0].x, p[1].x, p[2].x, p[3].x, roots);
  int64_t yRoots[2];
  const int yCount = DerivativeRoots(p[0].y, p[1].y, p[2].y, p[3].y, yRoots);
  for (int i = 0; i < yCount; ++i) {
    int j = count++;
    while (j > 0 && roots[j - 1] > yRoots[i]) {
      roots[j] = roots[j - 1];
      --j;
    }
    roots[j] = yRoots[i];
  }
  WidePoint piece[7] = {p[0], p[1], p[2], p[3]};
  int64_t done = 0;  // parameter where the remaining piece starts
  for (int i = 0; i < count; ++i) {
    if (roots[i] <= done || roots[i] >= 0x10000) continue;
    // The root's parameter within the remaining piece.
    const int64_t t = ((roots[i] - done) << 16) / (0x10000 - done);
    if (t <= 0 || t >= 0x10000) continue;
    WidePoint halves[7];
    SplitAt(piece, t, halves);
    EmitMonotone(halves);
    for (int k = 0; k < 4; ++k) piece[k] = halves[3 + k];
    done = roots[i];
  }
  EmitMonotone(piece);
}

void EdgeList::EmitMonotone(const WidePoint* p) {
  int32_t q[8];
  const bool down = p[3].y >= p[0].y;
  for (int i = 0; i < 4; ++i) {
    const WidePoint& s = p[down ? i : 3 - i];
    q[2 * i] = static_cast<int32_t>(s.x);
    q[2 * i + 1] = static_cast<int32_t>(s.y);
  }
  const int64_t m = Max(Max(Abs(int64_t{q[0]} - 2 * int64_t{q[2]} + q[4]), Abs(int64_t{q[1]} - 2 * int64_t{q[3]} + q[5])),
                        Max(Abs(int64_t{q[2]} - 2 * int64_t{q[4]} + q[6]), Abs(int64_t{q[3]} - 2 * int64_t{q[5]} + q[7])));
  int k = 0;
  while (k < kMaxChordShift && (m >> (2 * k)) > kFlatness) ++k;
  if (k == 0 || q[1] == q[7]) {
    if (down) EmitLine(q[0], q[1], q[6], q[7]);
    else EmitLine(q[6], q[7], q[0], q[1]);
    return;
  }
  CurveControl c;
  for (int i = 0; i < 4; ++i) {
    c.x[i] = q[2 * i];
    c.y[i] = q[2 * i + 1];
  }
  c.chordShift = static_cast<uint8_t>(k);
  Edge e;
  e.x1 = e.x0 = q[0];
  e.y1 = e.y0 = q[1];
  e.slope = 0;
  e.yEnd = q[7];
  e.dir = down ? 1 : -1;
  e.curve = static_cast<int32_t>(curves_.Size());
  curves_.Push(c);
  edges_.Push(e);
  Widen(q[0], q[1], q[6], q[7]);
}

void EdgeList::StartCurve(Edge& e, CurveStepper& s) {
  const CurveControl& c = curves_[static_cast<uint32_t>(e.curve)];
  const int k = c.chordShift;
  const int shift = 3 * k;
  // P(t) = A t^3 + B t^2 + C t + D, stepped with h = 2^-k on values scaled
  // by 2^3k: the differences are exact integers.
  int64_t* out[2][4] = {{&s.px, &s.d1x, &s.d2x, &s.d3x}, {&s.py, &s.d1y, &s.d2y, &s.d3y}};
  const int32_t* v[2] = {c.x, c.y};
  for (int axis = 0; axis < 2; ++axis) {
    const int64_t v0 = v[axis][0], v1 = v[axis][1], v2 = v[axis][2], v3 = v[axis][3];
    const int64_t a = v3 - v0 + 3 * (v1 - v2);
    const int64_t b = 3 * (v0 - 2 * v1 + v2);
    const int64_t cc = 3 * (v1 - v0);
    *out[axis][0] = v0 * (int64_t{1} << shift);
    *out[axis][1] = a + b * (int64_t{1} << k) + cc * (int64_t{1} << (2 * k));
    *out[axis][2] = 6 * a + 2 * b * (int64_t{1} << k);
    *out[axis][3] = 6 * a;
  }
  s.xEnd = c.x[3];
  s.yEnd = c.y[3];
  s.stepsLeft = static_cast<uint16_t>(1u << k);
  s.shift = static_cast<uint8_t>(shift);
  e.x1 = e.x0 = c.x[0];
  e.y1 = e.y0 = c.y[0];
  NextChord(e, s);
}

bool EdgeList::NextChord(Edge& e, CurveStepper& c) {
  if (c.stepsLeft == 0) return false;
  work_.Charge(20);
  c.px += c.d1x;
  c.py += c.d1y;
  c.d1x += c.d2x;
  c.d1y += c.d2y;
  c.d2x += c.d3x;
  c.d2y += c.d3y;
  --c.stepsLeft;
  int32_t x = static_cast<int32_t>(c.px >> c.shift);
  int32_t y = static_cast<int32_t>(c.py >> c.shift);
  if (c.stepsLeft == 0) {
    x = c.xEnd;
    y = c.yEnd;
  }
  // The monotone split is exact only to rounding: keep chords monotone.
  const int32_t xFrom = e.x1, yFrom = e.y1;
  if (y < yFrom) y = yFrom;
  if (y > c.yEnd) y = c.yEnd;
  if (c.xEnd >= xFrom) {
    x = x < xFrom ? xFrom : (x > c.xEnd ? c.xEnd : x);
  } else {
    x = x > xFrom ? xFrom : (x < c.xEnd ? c.xEnd : x);
  }
  e.x0 = xFrom;
  e.y0 = yFrom;
  e.x1 = x;
  e.y1 = y;
  e.slope = SlopeOf(x - xFrom, y - yFrom);
  return true;
}

}  // namespace vn::im::rasterizer_detail
