#include "im/bezier_raster_painter.h"

#include <algorithm>
#include <cstring>

#include "runtime/error.h"

namespace vn::im {

using rasterizer_detail::ColumnEnd;
using rasterizer_detail::ColumnStart;
using rasterizer_detail::CurveStepper;
using rasterizer_detail::Edge;
using rasterizer_detail::kMaxBoxSide;
using rasterizer_detail::WidePoint;

namespace {

// Work units charged per path element (the scan charges per sub-band).
constexpr uint32_t kWorkPerElement = 500;

int32_t BoxSide(AppContext& context, int32_t from, int32_t to) {
  if (to <= from) return 0;
  if (static_cast<int64_t>(to) - from > kMaxBoxSide) RaiseCode(context, kLimitExceeded);
  return to - from;
}

PixelRect ValidClip(const PixelRect& clip) {
  return clip.Empty() ? PixelRect{clip.x0, clip.y0, clip.x0, clip.y0} : clip;
}

int32_t Clamp(int32_t v, int32_t low, int32_t high) { return v < low ? low : (v > high ? high : v); }

}  // namespace

BezierRasterPainter::BezierRasterPainter(AppContext& context, const Path& path, const FixedMatrix& matrix,
                                         const PixelRect& clip, FillRule rule)
    : context_(context),
      work_(context),
      clip_(ValidClip(clip)),
      rule_(rule),
      width_(BoxSide(context, clip_.x0, clip_.x1)),
      height_(BoxSide(context, clip_.y0, clip_.y1)),
      edges_(context, width_, height_, work_),
      rowStart_(context),
      active_(context),
      merged_(context),
      steppers_(context),
      freeSteppers_(context),
      rowVertices_(context),
      slots_(context),
      waiting_(context),
      area_(context),
      cover_(context),
      bytes_(context),
      runs_(context),
      row_(clip_.y0 - 1),
      scannedRow_(kRowStart),
      repeatsUntil_(kRowStart) {
  bounds_ = PixelRect{clip_.x0, clip_.y0, clip_.x0, clip_.y0};
  SetEmptyRow();
  if (width_ == 0 || height_ == 0) return;
  ReadPath(path, matrix);
  if (edges_.MinX() > edges_.MaxX() || edges_.MinY() >= edges_.MaxY()) return;
  const PixelRect touched{clip_.x0 + ColumnStart(edges_.MinX()), clip_.y0 + (edges_.MinY() >> 16),
                          clip_.x0 + ColumnEnd(edges_.MinX(), edges_.MaxX()),
                          clip_.y0 + ((edges_.MaxY() - 1) >> 16) + 1};
  bounds_ = Intersect(touched, clip_);
  if (bounds_.Empty()) return;
  SortEdges();
  area_.Resize(static_cast<uint32_t>(width_) + 1);
  cover_.Resize(static_cast<uint32_t>(width_) + 1);
  bytes_.Resize(static_cast<uint32_t>(width_));
  output_.x0 = clip_.x0;
  output_.x1 = clip_.x1;
  output_.shape = PixelPlane{bytes_.Data(), 0, 1, 1};
  output_.alpha = output_.shape;
}

void BezierRasterPainter::Reset() {
  edges_.Reset();
  rowStart_.Reset();
  active_.Reset();
  merged_.Reset();
  steppers_.Reset();
  freeSteppers_.Reset();
  rowVertices_.Reset();
  slots_.Reset();
  waiting_.Reset();
  area_.Reset();
  cover_.Reset();
  bytes_.Reset();
  runs_.Reset();
}

uint32_t BezierRasterPainter::MemorySize() const {
  return edges_.MemorySize() + rowStart_.MemorySize() + active_.MemorySize() + merged_.MemorySize() +
         steppers_.MemorySize() + freeSteppers_.MemorySize() + rowVertices_.MemorySize() + slots_.MemorySize() +
         waiting_.MemorySize() + area_.MemorySize() + cover_.MemorySize() + bytes_.MemorySize() + runs_.MemorySize();
}

void BezierRasterPainter::ReadPath(const Path& path, const FixedMatrix& m) {
  // Points go to device space in 64 bits, relative to the clip box, so
  // nothing saturates before the guard band has cut it.
  const int64_t originX = static_cast<int64_t>(clip_.x0) * 0x10000, originY = static_cast<int64_t>(clip_.y0) * 0x10000;
  auto transform = [&](FixedPoint p) {
    return WidePoint{((static_cast<int64_t>(m.a) * p.x) >> 16) + ((static_cast<int64_t>(m.c) * p.y) >> 16) +
                         m.tx - originX,
                     ((static_cast<int64_t>(m.b) * p.x) >> 16) + ((static_cast<int64_t>(m.d) * p.y) >> 16) +
                         m.ty - originY};
  };
  PathIterator points(path);
  PathElement element;
  WidePoint start{0, 0}, current{0, 0};
  bool open = false;
  auto close = [&] {
    if (open && (current.x != start.x || current.y != start.y)) edges_.AddLine(current, start);
    current = start;
  };
  while (points.Next(element)) {
    work_.Charge(kWorkPerElement);
    switch (element.kind) {
      case PathElement::kMove:
        close();
        start = current = transform(element.to);
        open = true;
        break;
      case PathElement::kLine: {
        const WidePoint to = transform(element.to);
        edges_.AddLine(current, to);
        current = to;
        break;
      }
      case PathElement::kCurve: {
        const WidePoint c1 = transform(element.control1), c2 = transform(element.control2);
        const WidePoint to = transform(element.to);
        edges_.AddCurve(current, c1, c2, to);
        current = to;
        break;
      }
      case PathElement::kClose:
        close();
        break;
    }
  }
  close();
  edges_.Finish();
}

void BezierRasterPainter::SortEdges() {
  // Edges only need to be in order of the row where they begin: a counting
  // sort by row, in place (each edge swapped straight into its row's
  // bucket), leaving where each row's edges start.
  EngineArray<Edge>& edges = edges_.Edges();
  const uint32_t rows = static_cast<uint32_t>(height_);
  auto rowOf = [rows](const Edge& e) {
    const int32_t row = e.y0 >> 16;
    return row < 0 ? 0u : (static_cast<uint32_t>(row) >= rows ? rows : static_cast<uint32_t>(row));
  };
  rowStart_.Resize(rows + 2);
  uint32_t* start = rowStart_.Data();
  for (const Edge& e : edges) ++start[rowOf(e) + 1];
  for (uint32_t r = 1; r < rows + 2; ++r) start[r] += start[r - 1];
  EngineArray<uint32_t> next(context_);
  next.Resize(rows + 1);
  for (uint32_t r = 0; r <= rows; ++r) next[r] = start[r];
  for (uint32_t r = 0; r <= rows; ++r) {
    while (next[r] < start[r + 1]) {
      const uint32_t home = rowOf(edges[next[r]]);
      if (home == r) {
        ++next[r];
        continue;
      }
      const Edge moving = edges[next[r]];
      edges[next[r]] = edges[next[home]];
      edges[next[home]++] = moving;
    }
  }
  work_.Charge(edges.Size() * 2);
}

void BezierRasterPainter::SetEmptyRow() {
  runs_.Clear();
  runs_.Push(StoredRun{kRowEnd, kRunEmpty});
  cursor_ = 0;
  rowHasOutput_ = false;
}

void BezierRasterPainter::SetScanline(int32_t y) {
  // Painters shared by several inputs of a chain are set once per row.
  if (y == row_ && rowReady_) return;
  rowReady_ = true;
  row_ = y;
  output_.y0 = y;
  output_.y1 = y + 1;
  if (y < bounds_.y0 || y >= bounds_.y1) {
    SetEmptyRow();
    return;
  }
  ScanRow(y - clip_.y0);
}

void BezierRasterPainter::SeekX(int32_t x) {
  if (cursor_ != 0 && x < runs_[cursor_ - 1].end) cursor_ = 0;
  while (runs_[cursor_].end <= x) ++cursor_;
}

void BezierRasterPainter::RestartScan() {
  nextEdge_ = 0;
  repeatsUntil_ = kRowStart;
  active_.Clear();
  steppers_.Clear();
  freeSteppers_.Clear();
}

void BezierRasterPainter::Activate(uint32_t index) {
  Edge& edge = edges_.Edges()[index];
  Piece piece{index, -1, 0, 0, 0, 0, edge.dir};
  if (edge.curve >= 0) {
    if (freeSteppers_.Empty()) {
      piece.stepper = static_cast<int32_t>(steppers_.Size());
      steppers_.Push(CurveStepper{});
    } else {
      piece.stepper = freeSteppers_.Back();
      freeSteppers_.Pop();
    }
    edges_.StartCurve(edge, steppers_[static_cast<uint32_t>(piece.stepper)]);
  }
  active_.Push(piece);
}

void BezierRasterPainter::Deactivate(const Piece& piece) {
  if (piece.stepper >= 0) freeSteppers_.Push(piece.stepper);
}

void BezierRasterPainter::CutToRow(Piece& piece, int32_t top, int32_t bottom) {
  Edge& e = edges_.Edges()[piece.edge];
  piece.first = rowVertices_.Size();
  if (e.dir == 0) {
    rowVertices_.Push(RowVertex{e.x0, e.y0, 0});
    rowVertices_.Push(RowVertex{e.x1, e.y0, 0});
    piece.count = 2;
    piece.xMin = e.x0;
    piece.xMax = e.x1;
    return;
  }
  if (piece.stepper >= 0) {
    CurveStepper& stepper = steppers_[static_cast<uint32_t>(piece.stepper)];
    while (e.y1 <= top && edges_.NextChord(e, stepper)) {
    }
    const int32_t from = e.y0 > top ? e.y0 : top;
    const int32_t to = e.yEnd < bottom ? e.yEnd : bottom;
    rowVertices_.Push(RowVertex{e.XAt(from), from, e.slope});
    while (e.y1 < to && edges_.NextChord(e, stepper)) rowVertices_.Push(RowVertex{e.x0, e.y0, e.slope});
    rowVertices_.Push(RowVertex{e.XAt(to), to, 0});
  } else {
    const int32_t from = e.y0 > top ? e.y0 : top;
    const int32_t to = e.y1 < bottom ? e.y1 : bottom;
    rowVertices_.Push(RowVertex{e.XAt(from), from, e.slope});
    rowVertices_.Push(RowVertex{e.XAt(to), to, 0});
  }
  piece.count = rowVertices_.Size() - piece.first;
  const int32_t xa = rowVertices_[piece.first].x, xb = rowVertices_.Back().x;
  piece.xMin = xa < xb ? xa : xb;
  piece.xMax = xa < xb ? xb : xa;
}

void BezierRasterPainter::SortPieces(uint32_t appended) {
  auto before = [](const Piece& l, const Piece& r) { return l.xMin < r.xMin; };
  // The pieces kept from the last row barely change order.
  Piece* p = active_.Data();
  const uint32_t kept = active_.Size() - appended;
  rasterizer_detail::SortNearlySorted(p, kept, before);
  if (appended == 0) return;
  // The new ones are sorted apart and merged in.
  std::sort(p + kept, p + active_.Size(), before);
  if (kept == 0 || !before(p[kept], p[kept - 1])) return;
  merged_.Resize(active_.Size());
  std::merge(p, p + kept, p + kept, p + active_.Size(), merged_.Data(), before);
  std::memcpy(static_cast<void*>(p), merged_.Data(), active_.Size() * sizeof(Piece));
}

void BezierRasterPainter::PushRun(RunKind kind, int32_t absoluteEnd) {
  StoredRun& last = runs_.Back();
  if (last.kind == kind) {
    last.end = absoluteEnd;
    return;
  }
  if (last.end == absoluteEnd) return;  // nothing between: the run is empty
  runs_.Push(StoredRun{absoluteEnd, static_cast<uint8_t>(kind)});
  if (kind != kRunEmpty) rowHasOutput_ = true;
}

void BezierRasterPainter::ScanRow(int32_t row) {
  const int32_t top = row << 16, bottom = top + 0x10000;
  if (row <= scannedRow_) {
    RestartScan();
  } else if (row <= repeatsUntil_) {
    // Only vertical edges through this row, as through the last: same runs.
    scannedRow_ = row;
    cursor_ = 0;
    return;
  }
  scannedRow_ = row;
  EngineArray<Edge>& edges = edges_.Edges();

  // Retire edges that ended above this row, take in those that begin in it.
  uint32_t kept = 0;
  for (uint32_t i = 0; i < active_.Size(); ++i) {
    if (edges[active_[i].edge].yEnd > top) {
      active_[kept++] = active_[i];
    } else {
      Deactivate(active_[i]);
    }
  }
  active_.Truncate(kept);
  uint32_t appended = 0;
  const uint32_t lastNew = rowStart_[static_cast<uint32_t>(row) + 1];
  for (; nextEdge_ < lastNew; ++nextEdge_) {
    if (edges[nextEdge_].yEnd > top) {
      Activate(nextEdge_);
      ++appended;
    }
  }

  rowVertices_.Clear();
  for (Piece& piece : active_) CutToRow(piece, top, bottom);
  SortPieces(appended);
  work_.Charge(active_.Size() * 20 + 100);

  // Clusters of pieces whose columns touch, and the gaps between them.
  runs_.Clear();
  runs_.Push(StoredRun{clip_.x0, kRunEmpty});
  rowHasOutput_ = false;
  int32_t winding = 0;
  int32_t gapStart = 0;
  const uint32_t count = active_.Size();
  for (uint32_t i = 0; i < count;) {
    int32_t clusterEnd = ColumnEnd(active_[i].xMin, active_[i].xMax);
    uint32_t j = i + 1;
    while (j < count && ColumnStart(active_[j].xMin) <= clusterEnd) {
      const int32_t end = ColumnEnd(active_[j].xMin, active_[j].xMax);
      if (end > clusterEnd) clusterEnd = end;
      ++j;
    }
    const int32_t start = Clamp(ColumnStart(active_[i].xMin), gapStart, width_);
    const int32_t end = Clamp(clusterEnd, start, width_);
    if (start > gapStart) PushRun(Inside(winding) ? kRunFull : kRunEmpty, clip_.x0 + start);
    winding = SweepCluster(i, j, winding, start, end, top);
    if (end > start) {
      PushRun(kRunPartial, clip_.x0 + end);
      gapStart = end;
    }
    i = j;
  }
  if (gapStart < width_) PushRun(Inside(winding) ? kRunFull : kRunEmpty, clip_.x1);
  PushRun(kRunEmpty, kRowEnd);
  cursor_ = 0;
  FindRepeats(row);
}

void BezierRasterPainter::FindRepeats(int32_t row) {
  // The next rows look the same while every active edge is a vertical line
  // that goes on through them and no other edge begins.
  uint32_t nextRow = static_cast<uint32_t>(row) + 1;
  while (nextRow < static_cast<uint32_t>(height_) && rowStart_[nextRow + 1] == nextEdge_) ++nextRow;
  int32_t until = static_cast<int32_t>(nextRow) << 16;
  for (const Piece& piece : active_) {
    const Edge& e = edges_.Edges()[piece.edge];
    if (e.curve >= 0 || e.dir == 0 || e.x0 != e.x1) {
      until = 0;
      break;
    }
    if (e.yEnd < until) until = e.yEnd;
  }
  repeatsUntil_ = (until >> 16) - 1;
  if (repeatsUntil_ < row) repeatsUntil_ = row;
}

void BezierRasterPainter::RenderMask(const PixelRect& rect, uint8_t* mask, int32_t stride) {
  for (int32_t y = rect.y0; y < rect.y1; ++y) {
    SetScanline(y);
    uint8_t* out = mask + static_cast<ptrdiff_t>(y - rect.y0) * stride - rect.x0;
    for (int32_t x = rect.x0; x < rect.x1;) {
      const PixelRun run = RunAt(x);
      const int32_t end = run.end < rect.x1 ? run.end : rect.x1;
      if (run.kind == kRunPartial) {
        const uint8_t* from = bytes_.Data() - clip_.x0;
        for (int32_t i = x; i < end; ++i) out[i] = from[i];
      } else {
        std::memset(out + x, run.kind == kRunFull ? 255 : 0, static_cast<size_t>(end - x));
      }
      x = end;
    }
  }
}

}  // namespace vn::im
