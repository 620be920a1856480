// The rasterizer's row sweep inside one cluster: sub-bands, crossings and
// the exact area of every span (see bezier_raster_painter.h).
#include "im/bezier_raster_painter.h"

namespace vn::im {

using rasterizer_detail::ColumnEnd;

namespace {

constexpr int32_t kRowHeight = 0x10000;
// Two edges whose order flips by no more than this (16.16 units) within a
// sub-band are not split at their crossing: the error is below 1/20000 of a
// pixel's area.
constexpr int32_t kCrossingTolerance = 2;
// Work budget of one cluster on one row, in edge evaluations (sub-bands
// times edges). Real paths stay far below; past the first budget a
// sub-band is at least 1/256 pixel tall, past the second 1/16 pixel (at
// most 16 more). So a hostile row (thousands of edges crossing in it) costs
// a bounded amount; crossings inside one such sub-band are not resolved, an
// error below that sub-band's height in those pixels.
constexpr uint64_t kExactBandWork = 1 << 14;
constexpr uint64_t kFineBandWork = 1 << 16;

}  // namespace

int32_t BezierRasterPainter::SweepCluster(uint32_t first, uint32_t end, int32_t windingLeft, int32_t columnStart,
                                          int32_t columnEnd, int32_t top) {
  // No edge crosses the gap right of the cluster, so the winding there is
  // the same all down the row: read it at the row's top.
  int32_t flux = 0;
  for (uint32_t i = first; i < end; ++i) {
    const Piece& piece = active_[i];
    if (piece.dir != 0 && rowVertices_[piece.first].y == top) flux += piece.dir;
  }
  if (columnStart >= columnEnd) return windingLeft + flux;

  if (end - first == 1) {
    // One edge alone (the sides of large shapes): its segments are the
    // sub-bands, and nothing can cross it.
    const Piece& piece = active_[first];
    if (Inside(windingLeft)) cover_[static_cast<uint32_t>(columnStart)] += kRowHeight;
    const bool after = Inside(windingLeft + piece.dir);
    if (after != Inside(windingLeft)) {
      const RowVertex* v = rowVertices_.Data() + piece.first;
      for (uint32_t i = 0; i + 1 < piece.count; ++i) {
        if (v[i + 1].y > v[i].y) Deposit(v[i].x, v[i + 1].x, v[i + 1].y - v[i].y, after ? 1 : -1, columnStart, columnEnd);
      }
    }
    work_.Charge(1200);
    FinishCluster(columnStart, columnEnd);
    return windingLeft + flux;
  }

  if (SweepUncrossedCluster(first, end, windingLeft, columnStart, columnEnd, top)) {
    FinishCluster(columnStart, columnEnd);
    return windingLeft + flux;
  }

  slots_.Clear();
  for (uint32_t i = first; i < end; ++i) {
    const Piece& piece = active_[i];
    if (piece.dir == 0) continue;
    const int32_t x = rowVertices_[piece.first].x;
    slots_.Push(SweepSlot{piece.first, piece.first + piece.count - 1, x, x, piece.dir, false});
  }
  const int32_t bottom = top + kRowHeight;
  uint64_t spent = 0;
  for (int32_t band = top; band < bottom;) {
    const int32_t least = spent < kExactBandWork ? 1 : spent < kFineBandWork ? 0x100 : 0x1000;
    const int32_t lowest = bottom - band < least ? bottom : band + least;
    int32_t next = NextBandBottom(band, bottom);
    if (next < lowest) next = lowest;
    EvaluateSlots(band, next, false);
    int32_t crossing = FirstCrossing(band, next);
    if (crossing < lowest) crossing = lowest;
    if (crossing < next) {
      next = crossing;
      EvaluateSlots(band, next, true);
    }
    SweepBand(band, next, windingLeft, columnStart, columnEnd);
    work_.Charge(1000 + 200 * slots_.Size());
    spent += slots_.Size();
    band = next;
  }
  FinishCluster(columnStart, columnEnd);
  return windingLeft + flux;
}

bool BezierRasterPainter::SweepUncrossedCluster(uint32_t first, uint32_t end, int32_t windingLeft,
                                                int32_t columnStart, int32_t columnEnd, int32_t top) {
  // The common case (glyphs, the sides of shapes): no two edges of the
  // cluster cross inside the row. Then the row needs sub-bands only where
  // an edge begins or ends: inside such a band the edges keep their order,
  // each one enters or leaves the filled region for the whole band, and its
  // chords deposit their areas directly. A crossing found on the way wipes
  // what was deposited and leaves the row to the full sweep.
  const RowVertex* v = rowVertices_.Data();
  const int32_t bottom = top + kRowHeight;
  slots_.Clear();
  for (uint32_t i = first; i < end; ++i) {
    const Piece& piece = active_[i];
    if (piece.dir != 0) slots_.Push(SweepSlot{piece.first, piece.first + piece.count - 1, 0, 0, piece.dir, false});
  }
  if (Inside(windingLeft)) cover_[static_cast<uint32_t>(columnStart)] += kRowHeight;
  auto xAt = [v](uint32_t segment, uint32_t last, int32_t y) {
    for (; segment < last && v[segment + 1].y <= y; ++segment) {
    }
    const RowVertex& a = v[segment];
    if (segment == last) return a.x;
    return a.x + static_cast<int32_t>((static_cast<int64_t>(y - a.y) * a.slope) >> rasterizer_detail::kSlopeShift);
  };
  auto before = [](const SweepSlot& l, const SweepSlot& r) {
    return l.active > r.active || (l.active == r.active && (l.xTop < r.xTop || (l.xTop == r.xTop && l.xBottom < r.xBottom)));
  };
  for (int32_t band = top; band < bottom;) {
    int32_t next = bottom;
    for (const SweepSlot& slot : slots_) {
      const int32_t from = v[slot.segment].y, to = v[slot.last].y;
      if (from > band) {
        if (from < next) next = from;
      } else if (to > band && to < next) {
        next = to;
      }
    }
    uint32_t active = 0;
    for (SweepSlot& slot : slots_) {
      slot.active = v[slot.segment].y <= band && v[slot.last].y > band;
      if (!slot.active) continue;
      ++active;
      while (slot.segment < slot.last && v[slot.segment + 1].y <= band) ++slot.segment;
      slot.xTop = xAt(slot.segment, slot.last, band);
      slot.xBottom = xAt(slot.segment, slot.last, next);
    }
    rasterizer_detail::SortNearlySorted(slots_.Data(), slots_.Size(), before);
    work_.Charge(1000 + 200 * active);
    bool crossed = false;
    for (uint32_t i = 1; i < active && !crossed; ++i) crossed = Crosses(slots_[i - 1], slots_[i], band, next);
    if (crossed) {
      for (int32_t c = columnStart; c < columnEnd; ++c) area_[static_cast<uint32_t>(c)] = cover_[static_cast<uint32_t>(c)] = 0;
      return false;
    }
    bool inside = Inside(windingLeft);
    int32_t winding = windingLeft;
    for (uint32_t i = 0; i < active; ++i) {
      const SweepSlot& slot = slots_[i];
      winding += slot.dir;
      const bool now = Inside(winding);
      if (now == inside) continue;
      inside = now;
      // The slot's chords within the band.
      int32_t x = slot.xTop, y = band;
      for (uint32_t k = slot.segment; y < next; ++k) {
        const bool inBand = k < slot.last && v[k + 1].y < next;
        const int32_t toX = inBand ? v[k + 1].x : slot.xBottom, toY = inBand ? v[k + 1].y : next;
        if (toY > y) Deposit(x, toX, toY - y, now ? 1 : -1, columnStart, columnEnd);
        x = toX;
        y = toY;
      }
    }
    band = next;
  }
  return true;
}

bool BezierRasterPainter::Crosses(const SweepSlot& left, const SweepSlot& right, int32_t top, int32_t bottom) const {
  // Apart in x, the two cannot meet.
  const int32_t leftMax = left.xTop > left.xBottom ? left.xTop : left.xBottom;
  const int32_t rightMin = right.xTop < right.xBottom ? right.xTop : right.xBottom;
  if (leftMax <= rightMin) return false;
  if (left.xBottom > right.xBottom) return true;
  // Else both are straight between the vertices of either, so they keep
  // their order if they keep it at every vertex: walk down both at once. A
  // flat chord (two vertices at one y) is left to the full sweep.
  const RowVertex* v = rowVertices_.Data();
  auto xAt = [v](uint32_t segment, uint32_t last, int32_t y) {
    const RowVertex& a = v[segment];
    if (segment == last) return a.x;
    return a.x + static_cast<int32_t>((static_cast<int64_t>(y - a.y) * a.slope) >> rasterizer_detail::kSlopeShift);
  };
  uint32_t l = left.segment, r = right.segment;
  for (int32_t y = top;;) {
    for (; l < left.last && v[l + 1].y <= y; ++l) {
      if (v[l + 1].y == v[l].y) return true;
    }
    for (; r < right.last && v[r + 1].y <= y; ++r) {
      if (v[r + 1].y == v[r].y) return true;
    }
    if (xAt(l, left.last, y) > xAt(r, right.last, y)) return true;
    const int32_t nextLeft = l < left.last ? v[l + 1].y : bottom;
    const int32_t nextRight = r < right.last ? v[r + 1].y : bottom;
    y = nextLeft < nextRight ? nextLeft : nextRight;
    if (y >= bottom) return false;  // the bottoms were compared above
  }
}

int32_t BezierRasterPainter::NextBandBottom(int32_t top, int32_t bottom) {
  const RowVertex* v = rowVertices_.Data();
  int32_t next = bottom;
  for (SweepSlot& slot : slots_) {
    if (v[slot.segment].y > top) {  // not begun
      if (v[slot.segment].y < next) next = v[slot.segment].y;
      continue;
    }
    while (slot.segment < slot.last && v[slot.segment + 1].y <= top) ++slot.segment;
    if (slot.segment < slot.last && v[slot.segment + 1].y < next) next = v[slot.segment + 1].y;
  }
  return next;
}

void BezierRasterPainter::EvaluateSlots(int32_t top, int32_t bottom, bool bottomOnly) {
  const RowVertex* v = rowVertices_.Data();
  auto xAt = [v](const SweepSlot& slot, int32_t y) {
    const RowVertex& a = v[slot.segment];
    if (y <= a.y || slot.segment == slot.last) return a.x;
    const RowVertex& b = v[slot.segment + 1];
    if (y >= b.y) return b.x;
    return a.x + static_cast<int32_t>((static_cast<int64_t>(y - a.y) * a.slope) >> rasterizer_detail::kSlopeShift);
  };
  for (SweepSlot& slot : slots_) {
    slot.active = v[slot.segment].y < bottom && v[slot.last].y > top;
    if (!bottomOnly) slot.xTop = xAt(slot, top);
    slot.xBottom = xAt(slot, bottom);
  }
  if (bottomOnly) return;
  // Keep the slots ordered by x at the top (then at the bottom); the order
  // changes little from one sub-band to the next.
  auto before = [](const SweepSlot& l, const SweepSlot& r) {
    return l.xTop < r.xTop || (l.xTop == r.xTop && l.xBottom < r.xBottom);
  };
  // From one sub-band to the next the order barely changes.
  rasterizer_detail::SortNearlySorted(slots_.Data(), slots_.Size(), before);
}

int32_t BezierRasterPainter::FirstCrossing(int32_t top, int32_t bottom) {
  // Straight edges first cross between neighbours: the earliest flip of a
  // neighbouring pair is the first crossing of the sub-band.
  int32_t first = bottom;
  const SweepSlot* left = nullptr;
  for (const SweepSlot& slot : slots_) {
    if (!slot.active) continue;
    if (left != nullptr && left->xBottom > slot.xBottom + kCrossingTolerance) {
      const int64_t apart = static_cast<int64_t>(slot.xTop) - left->xTop;
      const int64_t flipped = static_cast<int64_t>(left->xBottom) - slot.xBottom;
      int32_t y = top + static_cast<int32_t>(static_cast<int64_t>(bottom - top) * apart / (apart + flipped));
      if (y <= top) y = top + 1;
      if (y < first) first = y;
    }
    left = &slot;
  }
  return first;
}

void BezierRasterPainter::SweepBand(int32_t top, int32_t bottom, int32_t windingLeft, int32_t columnStart,
                                    int32_t columnEnd) {
  const int32_t height = bottom - top;
  int32_t winding = windingLeft;
  bool inside = Inside(winding);
  if (inside) cover_[static_cast<uint32_t>(columnStart)] += height;
  for (const SweepSlot& slot : slots_) {
    if (!slot.active) continue;
    winding += slot.dir;
    const bool now = Inside(winding);
    if (now == inside) continue;
    Deposit(slot.xTop, slot.xBottom, height, now ? 1 : -1, columnStart, columnEnd);
    inside = now;
  }
}

// Adds sign * (the area of each column right of the segment from x = xTop
// to x = xBottom over a sub-band `height` tall), and sign * height to every
// column right of the segment's columns through the running cover.
void BezierRasterPainter::Deposit(int32_t xTop, int32_t xBottom, int32_t height, int32_t sign,
                                  int32_t columnStart, int32_t columnEnd) {
  const int32_t xa = xTop < xBottom ? xTop : xBottom;
  const int32_t xz = xTop < xBottom ? xBottom : xTop;
  const int32_t c0 = xa >> 16;
  const int32_t c1 = ColumnEnd(xa, xz);
  const int32_t carried = c1 > columnStart ? c1 : columnStart;
  if (carried < columnEnd) cover_[static_cast<uint32_t>(carried)] += sign * height;
  if (c1 <= c0 || c1 <= columnStart || c0 >= columnEnd) return;
  int32_t* area = area_.Data();
  const int64_t h = height;
  if (c1 == c0 + 1) {
    // Within one column: the height times the part of the column right of
    // the segment's middle.
    area[c0] += sign * static_cast<int32_t>((h * (((int64_t{c0} + 1) << 17) - xa - xz)) >> 17);
    return;
  }
  // Across columns: with w the segment's width, the area right of it up to
  // X is h (X - xa)^2 / 2w while X is on it; each column takes a difference.
  const int64_t w = static_cast<int64_t>(xz) - xa;
  const int32_t last = c1 - 1;
  if (c0 >= columnStart) {
    const int64_t t = ((int64_t{c0} + 1) << 16) - xa;
    area[c0] += sign * static_cast<int32_t>(h * t * t / (w << 17));
  }
  if (last < columnEnd) {
    const int64_t t = static_cast<int64_t>(xz) - (int64_t{last} << 16);
    area[last] += sign * static_cast<int32_t>(h - h * t * t / (w << 17));
  }
  // Columns wholly crossed: h (2 (X - xa) + 1 pixel) / 2w each, growing by
  // h / w per column; an exact quotient-and-remainder walk, no division.
  const int32_t from = c0 + 1 > columnStart ? c0 + 1 : columnStart;
  const int32_t to = last < columnEnd ? last : columnEnd;
  if (from >= to) return;
  const int64_t den = 2 * w;
  const int64_t num = h * (2 * ((int64_t{from} << 16) - xa) + 0x10000);
  int64_t q = num / den, r = num % den;
  const int64_t step = h << 17;
  const int64_t stepQ = step / den, stepR = step % den;
  for (int32_t c = from; c < to; ++c) {
    area[c] += sign * static_cast<int32_t>(q);
    q += stepQ;
    r += stepR;
    if (r >= den) {
      r -= den;
      ++q;
    }
  }
}

void BezierRasterPainter::FinishCluster(int32_t columnStart, int32_t columnEnd) {
  int32_t* area = area_.Data();
  int32_t* cover = cover_.Data();
  uint8_t* bytes = bytes_.Data();
  int32_t running = 0;
  for (int32_t c = columnStart; c < columnEnd; ++c) {
    running += cover[c];
    bytes[c] = FixedToByte(area[c] + running);
    area[c] = 0;
    cover[c] = 0;
  }
}

}  // namespace vn::im
