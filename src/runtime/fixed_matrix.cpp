#include "runtime/fixed_matrix.h"

#include "runtime/error.h"

namespace vn {

namespace {

Fixed16_16 Sum3(Fixed16_16 p, Fixed16_16 q, Fixed16_16 r) {
  return FixedSaturate(static_cast<int64_t>(p) + q + r);
}

uint32_t Max(uint32_t p, uint32_t q) { return p > q ? p : q; }

// floor(sqrt(v * 65536)) for 0 <= v < 2^32: FixedSqrt for values that may
// exceed the 16.16 range (the result, below 256.0, fits).
Fixed16_16 WideSqrt(uint64_t v) { return static_cast<Fixed16_16>(IntegerSqrt(v << 16)); }

// FixedMul without saturation, for products known to stay below 2^32 raw.
int64_t WideMul(int64_t p, int64_t q) { return (p * q) >> 16; }

}  // namespace

bool IsIdentity(const FixedMatrix& m) { return m == IdentityMatrix(); }

bool operator==(const FixedMatrix& l, const FixedMatrix& r) {
  return l.a == r.a && l.b == r.b && l.c == r.c && l.d == r.d && l.tx == r.tx && l.ty == r.ty;
}

FixedMatrix Concat(const FixedMatrix& m, const FixedMatrix& n) {
  FixedMatrix r;
  r.a = FixedAddSat(FixedMul(m.a, n.a), FixedMul(m.b, n.c));
  r.b = FixedAddSat(FixedMul(m.a, n.b), FixedMul(m.b, n.d));
  r.c = FixedAddSat(FixedMul(m.c, n.a), FixedMul(m.d, n.c));
  r.d = FixedAddSat(FixedMul(m.c, n.b), FixedMul(m.d, n.d));
  r.tx = Sum3(FixedMul(m.tx, n.a), FixedMul(m.ty, n.c), n.tx);
  r.ty = Sum3(FixedMul(m.tx, n.b), FixedMul(m.ty, n.d), n.ty);
  return r;
}

FixedPoint TransformPoint(const FixedMatrix& m, FixedPoint p) {
  return FixedPoint{Sum3(FixedMul(m.a, p.x), FixedMul(m.c, p.y), m.tx),
                    Sum3(FixedMul(m.b, p.x), FixedMul(m.d, p.y), m.ty)};
}

FixedPoint TransformVector(const FixedMatrix& m, FixedPoint v) {
  return FixedPoint{FixedAddSat(FixedMul(m.a, v.x), FixedMul(m.c, v.y)),
                    FixedAddSat(FixedMul(m.b, v.x), FixedMul(m.d, v.y))};
}

FixedRect TransformRect(const FixedMatrix& m, const FixedRect& r) {
  const FixedPoint corners[4] = {
      TransformPoint(m, {r.x0, r.y0}), TransformPoint(m, {r.x1, r.y0}),
      TransformPoint(m, {r.x0, r.y1}), TransformPoint(m, {r.x1, r.y1})};
  FixedRect out{corners[0].x, corners[0].y, corners[0].x, corners[0].y};
  for (const FixedPoint& p : corners) {
    if (p.x < out.x0) out.x0 = p.x;
    if (p.x > out.x1) out.x1 = p.x;
    if (p.y < out.y0) out.y0 = p.y;
    if (p.y > out.y1) out.y1 = p.y;
  }
  return out;
}

bool Normalize(Fixed16_16& a, Fixed16_16& b, Fixed16_16& c, Fixed16_16& d, NormalizeMode mode,
               Fixed16_16& reciprocal) {
  const uint32_t mags[4] = {FixedMagnitude(a), FixedMagnitude(b), FixedMagnitude(c),
                            FixedMagnitude(d)};
  uint32_t h = Max(Max(mags[0], mags[1]), Max(mags[2], mags[3]));
  // s as a 16.16 power of two, 2^-16 .. 2^14.
  Fixed16_16 s = kFixedOne;
  if (mode == kNormalizeForInversion) {
    // The partner of an entry is the one it meets in the determinant (a with
    // d, b with c). When several entries share the largest magnitude, the
    // largest of their partners is taken, so the check covers both products.
    static constexpr int kPartner[4] = {3, 2, 1, 0};
    uint32_t partner = 0;
    for (int i = 0; i < 4; ++i) {
      if (mags[i] == h) partner = Max(partner, mags[kPartner[i]] >> 16);
    }
    uint32_t l = partner * (h >> 16);
    while (l > 16000) {
      l /= 4;
      s >>= 1;
      h >>= 1;
    }
  } else {
    while (h > 0x7FFFF) {
      s >>= 1;
      h >>= 1;
    }
  }
  // s stops at 16384.0 (the largest power of two in range): an entry below
  // 4 raw units then stays below 1.0 instead of overflowing the scale.
  while (h != 0 && h < static_cast<uint32_t>(kFixedOne) && s < 0x40000000) {
    s <<= 1;
    h <<= 1;
  }
  if (s == kFixedOne) {
    reciprocal = kFixedOne;
    return false;
  }
  a = FixedMul(a, s);
  b = FixedMul(b, s);
  c = FixedMul(c, s);
  d = FixedMul(d, s);
  reciprocal = FixedDiv(kFixedOne, s);
  return true;
}

FixedMatrix Invert(AppContext& context, const FixedMatrix& m) {
  if (m.a == 0 && m.b == 0 && m.c == 0 && m.d == 0) RaiseBadData(context);
  Fixed16_16 a = m.a, b = m.b, c = m.c, d = m.d;
  Fixed16_16 reciprocal = kFixedOne;
  const bool scaled = Normalize(a, b, c, d, kNormalizeForInversion, reciprocal);

  const Fixed16_16 checkDet = FixedDet2(a, b, c, d);
  const uint32_t absDet = FixedMagnitude(checkDet);
  if (absDet < static_cast<uint32_t>(kFixedOne)) {
    const uint32_t limit = static_cast<uint32_t>(FixedMul(kFixedMax, static_cast<Fixed16_16>(absDet)));
    if (!(FixedMagnitude(a) < limit && FixedMagnitude(b) < limit && FixedMagnitude(c) < limit &&
          FixedMagnitude(d) < limit)) {
      RaiseBadData(context);
    }
  }

  const Fixed16_16 det = FixedSubSat(FixedMul(a, d), FixedMul(c, b));
  FixedMatrix r;
  r.a = FixedDiv(d, det);
  // Negated saturating: an entry of 0x80000000 may come through unscaled.
  r.b = FixedDiv(FixedSubSat(0, b), det);
  r.c = FixedDiv(FixedSubSat(0, c), det);
  r.d = FixedDiv(a, det);
  const Fixed16_16 tx = scaled ? FixedDiv(m.tx, reciprocal) : m.tx;
  const Fixed16_16 ty = scaled ? FixedDiv(m.ty, reciprocal) : m.ty;
  r.tx = FixedSubSat(FixedMul(-r.a, tx), FixedMul(r.c, ty));
  r.ty = FixedSubSat(FixedMul(-r.b, tx), FixedMul(r.d, ty));
  if (scaled) {
    r.a = FixedDiv(r.a, reciprocal);
    r.b = FixedDiv(r.b, reciprocal);
    r.c = FixedDiv(r.c, reciprocal);
    r.d = FixedDiv(r.d, reciprocal);
  }
  return r;
}

AxisPair AxisLengths(const FixedMatrix& m) {
  AxisPair out;
  if (m.b == 0 && m.c == 0) {
    const Fixed16_16 x = static_cast<Fixed16_16>(FixedMagnitude(m.a));
    const Fixed16_16 y = static_cast<Fixed16_16>(FixedMagnitude(m.d));
    out = x >= y ? AxisPair{x, y} : AxisPair{y, x};
    return out;
  }
  Fixed16_16 a = m.a, b = m.b, c = m.c, d = m.d;
  Fixed16_16 reciprocal = kFixedOne;
  const bool scaled = Normalize(a, b, c, d, kNormalizeForDecomposition, reciprocal);
  // Entries are now below 8.0, so p, q and |o| are below 128.0.
  const Fixed16_16 p = FixedMul(a, a) + FixedMul(b, b);
  const Fixed16_16 q = FixedMul(c, c) + FixedMul(d, d);
  const Fixed16_16 o = FixedMul(a, c) + FixedMul(b, d);
  Fixed16_16 major, minor;
  if (o > 3 || o < -3) {
    // (p - q)^2 + 4 o^2 can reach 65536.0, past the 16.16 range: it is
    // formed in 64 bits (the same floor products) and rooted wide.
    const int64_t pq = static_cast<int64_t>(p) - q;
    const int64_t disc = WideMul(pq, pq) + 4 * WideMul(o, o);
    const Fixed16_16 r = WideSqrt(static_cast<uint64_t>(disc));
    const Fixed16_16 sum = p + q;
    major = FixedSqrt((sum + r) / 2);
    minor = r < sum ? FixedSqrt((sum - r) / 2) : 0;
  } else {
    major = FixedSqrt(p);
    minor = FixedSqrt(q);
  }
  if (scaled) {
    major = FixedMul(major, reciprocal);
    minor = FixedMul(minor, reciprocal);
  }
  return major >= minor ? AxisPair{major, minor} : AxisPair{minor, major};
}

namespace {

Fixed16_16 Cross(Fixed16_16 ux, Fixed16_16 uy, Fixed16_16 vx, Fixed16_16 vy) {
  return FixedSubSat(FixedMul(ux, vy), FixedMul(uy, vx));
}

bool SameSide(Fixed16_16 s0, Fixed16_16 s1) { return (s0 > 0 && s1 > 0) || (s0 < 0 && s1 < 0); }

}  // namespace

bool Intersect(FixedPoint p0, FixedPoint p1, FixedPoint q0, FixedPoint q1, bool segmentsOnly,
               FixedPoint& result) {
  // Centre the four points on their mean (each coordinate quartered first)
  // and halve until every coordinate is within 64.0, so the cross products
  // cannot overflow. The centred values are wide: centring can double them.
  const int64_t mx = p0.x / 4 + p1.x / 4 + q0.x / 4 + q1.x / 4;
  const int64_t my = p0.y / 4 + p1.y / 4 + q0.y / 4 + q1.y / 4;
  int64_t v[8] = {p0.x - mx, p0.y - my, p1.x - mx, p1.y - my,
                  q0.x - mx, q0.y - my, q1.x - mx, q1.y - my};
  while (true) {
    int64_t largest = 0;
    for (int64_t e : v) {
      const int64_t mag = e < 0 ? -e : e;
      if (mag > largest) largest = mag;
    }
    if (largest <= 0x400000) break;
    for (int64_t& e : v) e >>= 1;
  }
  const Fixed16_16 ax = static_cast<Fixed16_16>(v[0]), ay = static_cast<Fixed16_16>(v[1]);
  const Fixed16_16 bx = static_cast<Fixed16_16>(v[2]), by = static_cast<Fixed16_16>(v[3]);
  const Fixed16_16 cx = static_cast<Fixed16_16>(v[4]), cy = static_cast<Fixed16_16>(v[5]);
  const Fixed16_16 dx = static_cast<Fixed16_16>(v[6]), dy = static_cast<Fixed16_16>(v[7]);
  const Fixed16_16 rx = bx - ax, ry = by - ay;  // direction of p
  const Fixed16_16 sx = dx - cx, sy = dy - cy;  // direction of q

  if (segmentsOnly) {
    // A segment whose both ends are strictly on one side of the other line
    // cannot meet it; an end on the line counts as meeting.
    if (SameSide(Cross(rx, ry, cx - ax, cy - ay), Cross(rx, ry, dx - ax, dy - ay))) return false;
    if (SameSide(Cross(sx, sy, ax - cx, ay - cy), Cross(sx, sy, bx - cx, by - cy))) return false;
  }
  // p0 + t (p1 - p0) lies on q when t = ((q0 - p0) x s) / (r x s).
  const Fixed16_16 numerator = Cross(cx - ax, cy - ay, sx, sy);
  const Fixed16_16 denominator = Cross(rx, ry, sx, sy);
  if (FixedDivOverflows(numerator, denominator)) return false;
  Fixed16_16 t = FixedDiv(numerator, denominator);
  if (segmentsOnly) t = t < 0 ? 0 : (t > kFixedOne ? kFixedOne : t);

  const int64_t u = static_cast<int64_t>(kFixedOne) - t;
  if (u > kFixedMax) return false;
  bool overflow = false;
  const int64_t x = static_cast<int64_t>(FixedMulChecked(static_cast<Fixed16_16>(u), p0.x, overflow)) +
                    FixedMulChecked(t, p1.x, overflow);
  const int64_t y = static_cast<int64_t>(FixedMulChecked(static_cast<Fixed16_16>(u), p0.y, overflow)) +
                    FixedMulChecked(t, p1.y, overflow);
  if (overflow || x > kFixedMax || x < kFixedMin || y > kFixedMax || y < kFixedMin) return false;
  result = FixedPoint{static_cast<Fixed16_16>(x), static_cast<Fixed16_16>(y)};
  return true;
}

bool TransformFits(const FixedMatrix& m, const FixedRect& extent) {
  const uint32_t x = Max(FixedMagnitude(extent.x0), FixedMagnitude(extent.x1));
  const uint32_t y = Max(FixedMagnitude(extent.y0), FixedMagnitude(extent.y1));
  bool overflow = false;
  const int64_t bound =
      static_cast<int64_t>(FixedMulChecked(static_cast<Fixed16_16>(Max(FixedMagnitude(m.a), FixedMagnitude(m.b))),
                                           static_cast<Fixed16_16>(x), overflow)) +
      FixedMulChecked(static_cast<Fixed16_16>(Max(FixedMagnitude(m.c), FixedMagnitude(m.d))),
                      static_cast<Fixed16_16>(y), overflow) +
      Max(FixedMagnitude(m.tx), FixedMagnitude(m.ty));
  return !overflow && bound <= kFixedMax;
}

}  // namespace vn
