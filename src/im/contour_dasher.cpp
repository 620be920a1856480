// ContourStrokerDashed: the dash pattern walked along a contour by arc
// length (see contour_stroker.h).
//
// The work is bounded: a pattern whose period is shorter than half a device
// pixel cannot be seen as dashes and strokes solid, and only the stretch of
// each segment inside the culling rectangle (the clip box, widened by what
// a join or cap can add) is walked dash by dash; the rest is skipped in one
// step (its length taken modulo the period). So the dashes walked one by
// one are at most about two per device pixel of the path near the box.
#include "im/contour_stroker.h"

#include "runtime/fixed16_16.h"

namespace vn::im::stroker::stroker_detail {

namespace {

// The shortest period that dashes at all (in 16.16 units).
constexpr int64_t kShortestPeriod = 5;
// 0.207 in 16.16 (sqrt(2) - 1, rounded as the thresholds use it).
constexpr Fixed16_16 kSquareCurveFactor = 13566;

Vec PointAt(Vec a, Vec b, int64_t distance, int64_t length) {
  const int64_t f = (distance << 30) / length;
  return Vec{a.x + (((b.x - a.x) * f) >> 30), a.y + (((b.y - a.y) * f) >> 30)};
}

}  // namespace

ContourStrokerDashed::ContourStrokerDashed(AppContext& context, const StrokeParams& params,
                                           ContourStrokerBase& inner, WorkCounter& work)
    : params_(params), inner_(inner), work_(work), piece_(context), first_(context) {}

void ContourStrokerDashed::Configure() {
  const StrokeParams& params = params_;
  const uint32_t count = params.dash.Size();
  int64_t sum = 0;
  bool negative = false;
  for (uint32_t i = 0; i < count; ++i) {
    if (params.dash[i] < 0) negative = true;
    sum += params.dash[i];
    if (sum > kFixedMax) sum = kFixedMax;
  }
  entries_ = count % 2 == 1 ? 2 * count : count;
  period_ = count % 2 == 1 ? 2 * sum : sum;
  dashing_ = count > 0 && !negative && period_ >= kShortestPeriod && 2 * period_ >= params.devicePixel;
}

bool ContourStrokerDashed::GapsInvisible(bool hasCurves) const {
  const Fixed16_16 p = params_.devicePixel, w = params_.width;
  Fixed16_16 threshold;
  switch (params_.cap) {
    case kRoundCap:
      threshold = p < w / 2 ? 2 * FixedSqrt(FixedMul(p, w - p)) : FixedAddSat(w, p);
      break;
    case kSquareCap:
      threshold = hasCurves && p < FixedMul(w, kSquareCurveFactor) ? 0 : FixedAddSat(w, p);
      break;
    default:
      threshold = !hasCurves ? p : (p < w / 2 ? 0 : p - w);
      break;
  }
  const uint32_t count = params_.dash.Size();
  for (uint32_t i = count % 2 == 1 ? 0 : 1; i < count; i += count % 2 == 1 ? 1 : 2) {
    if (params_.dash[i] > threshold) return false;
  }
  return true;
}

void ContourStrokerDashed::StartDashes() {
  int64_t phase = params_.dashPhase % period_;
  if (phase < 0) phase += period_;
  k_ = 0;
  on_ = true;
  left_ = Entry(0);
  // Entries the phase has passed are skipped; a zero-length dash where the
  // phase lands is kept (a dot at the start).
  while (phase > left_ || (phase == left_ && left_ > 0)) {
    phase -= left_;
    k_ = (k_ + 1) % entries_;
    on_ = !on_;
    left_ = Entry(k_);
  }
  left_ -= phase;
}

void ContourStrokerDashed::Advance(int64_t distance) {
  if (distance < left_) {
    left_ -= distance;
    return;
  }
  distance -= left_;
  // From the start of the next entry a whole period comes back to it.
  k_ = (k_ + 1) % entries_;
  on_ = !on_;
  distance %= period_;
  left_ = Entry(k_);
  while (distance >= left_) {
    distance -= left_;
    k_ = (k_ + 1) % entries_;
    on_ = !on_;
    left_ = Entry(k_);
  }
  left_ -= distance;
  work_.Charge(20 * entries_);
}

bool ContourStrokerDashed::VisibleStretch(Vec a, Vec b, int64_t length, int64_t& from, int64_t& to) const {
  int64_t enter = 0, leave = 0;
  if (!VisibleFractions(params_, a, b, enter, leave)) return false;
  from = (length * enter) >> 30;
  to = (length * leave + (int64_t{1} << 30) - 1) >> 30;
  if (to > length) to = length;
  return from < to;
}

void ContourStrokerDashed::WalkStretch(Vec a, const ContourPoint& end, int64_t length, int64_t at, int64_t to) {
  const Vec b = end.p;
  for (;;) {
    const int64_t step = left_ < to - at ? left_ : to - at;
    at += step;
    left_ -= step;
    if (left_ > 0) {  // the stretch ends inside this entry
      if (on_) piece_.Push(to == length ? end : ContourPoint{PointAt(a, b, to, length), false});
      return;
    }
    // A dash boundary: the dash that ends here is stroked, the next entry
    // begins.
    const Vec here = at == length ? b : PointAt(a, b, at, length);
    if (on_) {
      piece_.Push(ContourPoint{here, false});
      Flush();
    }
    k_ = (k_ + 1) % entries_;
    on_ = !on_;
    left_ = Entry(k_);
    if (on_) piece_.Push(ContourPoint{here, false});
    work_.Charge(100);
    if (at == to && left_ > 0) return;
  }
}

void ContourStrokerDashed::Flush() {
  if (piece_.Empty()) return;
  if (holdFirst_ && first_.Empty()) {
    // A closed contour's first dash waits for its last, to meet at the seam.
    for (const ContourPoint& p : piece_) first_.Push(p);
  } else {
    inner_.StrokeContour(piece_.Data(), piece_.Size(), false, hasCurves_);
  }
  piece_.Clear();
}

void ContourStrokerDashed::StrokeContour(const ContourPoint* points, uint32_t count, bool closed, bool hasCurves) {
  bool oneSegment = !closed && count >= 2;
  for (uint32_t i = 1; oneSegment && i + 1 < count; ++i) oneSegment = points[i].curveVertex;
  if (!dashing_ || (oneSegment && GapsInvisible(hasCurves))) {
    inner_.StrokeContour(points, count, closed, hasCurves);
    return;
  }
  if (count == 0) return;
  hasCurves_ = hasCurves;
  StartDashes();
  piece_.Clear();
  first_.Clear();
  holdFirst_ = closed && on_;
  if (on_) piece_.Push(ContourPoint{points[0].p, false});
  const uint32_t segments = closed ? count : count - 1;
  for (uint32_t i = 0; i < segments; ++i) {
    const ContourPoint& end = points[(i + 1) % count];
    const Vec a = points[i].p, b = end.p;
    const int64_t length = Length(b - a);
    if (length == 0) continue;
    // Only the stretch inside the culling rectangle is walked dash by dash;
    // the rest is skipped in one step each side.
    int64_t from = 0, to = 0;
    if (!VisibleStretch(a, b, length, from, to)) {
      Flush();
      Advance(length);
      if (on_) piece_.Push(ContourPoint{b, false});
      continue;
    }
    if (from > 0) {
      Flush();
      Advance(from);
      if (on_) piece_.Push(ContourPoint{PointAt(a, b, from, length), false});
    }
    WalkStretch(a, end, length, from, to);
    if (to < length) {
      Flush();
      Advance(length - to);
      if (on_) piece_.Push(ContourPoint{b, false});
    }
  }
  if (holdFirst_ && first_.Empty() && on_) {
    // One dash all the way round: the contour as it is.
    inner_.StrokeContour(points, count, true, hasCurves);
    return;
  }
  if (holdFirst_ && on_) {
    // The last dash runs into the first across the seam.
    for (uint32_t i = 1; i < first_.Size(); ++i) piece_.Push(first_[i]);
    holdFirst_ = false;
    Flush();
    return;
  }
  holdFirst_ = false;
  Flush();
  if (!first_.Empty()) inner_.StrokeContour(first_.Data(), first_.Size(), false, hasCurves);
}

}  // namespace vn::im::stroker::stroker_detail
