// The path rasterizer: exact-area anti-aliased coverage of a filled path,
// one row at a time, in integer arithmetic only.
//
// Every pixel's coverage is the exact fraction of its unit square where the
// path's winding number is nonzero (or odd, under the even-odd rule), in
// 16.16, with no super-sampling. Lines are exact; curves are flattened into
// chords within about 1/120 pixel of the curve, lazily, as rows reach them.
//
// How a row is computed:
// - The path's edges (edge_list.h) that cross the row are cut to the row.
// - Edges whose pixel columns touch form clusters. Between clusters no edge
//   passes, so the winding there is the same over the whole row: such gaps
//   are empty or full runs, found without touching their pixels.
// - Inside a cluster the row is cut into sub-bands at every vertex, chord
//   end and crossing of two edges; within a sub-band the edges are straight
//   and keep their order, so each span between an edge that enters the
//   filled region and the next that leaves it covers an exact trapezoid.
//   Each such edge adds the area to its right, column by column, and the
//   span's far edge takes it away again (a running cover sum carries it
//   across the columns in between). A row crowded beyond any real drawing
//   (thousands of crossing edges) gets coarser sub-bands (coverage_sweep.cpp),
//   so its cost stays bounded.
// - Geometry far outside the clip box never reaches the 16.16 edges: it is
//   cut in 64 bits against a guard band two pixels around the box, and what
//   lies left or right of the band moves onto its border, keeping the
//   winding of every visible pixel (so visible edges keep their exact slope
//   however far off-screen their ends are).
// - Work is charged to a counter that yields the engine thread every
//   million units (work_counter.h); a kill then raises kCancelled.
//
// Usage (the painter owns engine memory, so a local is a Scoped):
//
//   Scoped<BezierRasterPainter> coverage(context, context, path, matrix, clip, kNonZero);
//   for (int32_t y = clip.y0; y < clip.y1; ++y) {
//     coverage->SetScanline(y);
//     for (int32_t x = clip.x0; x < clip.x1;) {
//       PixelRun run = coverage->RunAt(x);   // kRunEmpty, kRunFull, kRunPartial
//       ... partial runs: coverage->CoverageAt(x) ... (one byte per pixel)
//       x = run.end;
//     }
//   }
//
// or RenderMask() for a whole byte mask (glyph bitmaps), or hand it to the
// compositing painters (raster_compositing.h) as the shape of a mark.
#pragma once

#include <cstdint>

#include "im/edge_list.h"
#include "im/path.h"
#include "im/raster_painter.h"
#include "im/work_counter.h"
#include "runtime/engine_array.h"
#include "runtime/fixed_matrix.h"

namespace vn::im {

enum FillRule : int32_t { kNonZero = 0, kEvenOdd = 1 };

class BezierRasterPainter final : public RasterPainter {
 public:
  // Reads the whole path, transformed by `matrix` into device pixels, for
  // the pixels of `clip` (whose sides may not exceed 16384 pixels: a larger
  // box raises kLimitExceeded). Raises kOutOfMemory when the edges do not
  // fit the budget, kCancelled when the thread is killed while it works.
  BezierRasterPainter(AppContext& context, const Path& path, const FixedMatrix& matrix, const PixelRect& clip,
                      FillRule rule);
  ~BezierRasterPainter() { Reset(); }
  BezierRasterPainter(const BezierRasterPainter&) = delete;
  BezierRasterPainter& operator=(const BezierRasterPainter&) = delete;

  // Rows should come top to bottom; an earlier row restarts the scan.
  void SetScanline(int32_t y) override;
  void NextScanline() override { SetScanline(row_ + 1); }
  void SeekX(int32_t x) override;

  // The run at x on the current row (moves the cursor there).
  PixelRun RunAt(int32_t x) {
    SeekX(x);
    return PixelRun{static_cast<RunKind>(runs_[cursor_].kind), runs_[cursor_].end};
  }
  // The coverage byte of pixel x, valid inside a partial run.
  uint8_t CoverageAt(int32_t x) const { return bytes_[static_cast<uint32_t>(x - clip_.x0)]; }
  // The row's coverage bytes, indexed from the clip box's left edge.
  const uint8_t* CoverageRow() const { return bytes_.Data(); }

  // The pixels the path can touch, within the clip box (empty when none).
  const PixelRect& Bounds() const { return bounds_; }
  const PixelRect& Clip() const { return clip_; }
  int32_t Row() const { return row_; }

  // Writes coverage bytes (0 empty, 255 full, else the partial value) for
  // every pixel of `rect` (within the clip box) into `mask`, row by row,
  // `stride` bytes apart. Pixels of rect outside the clip box are 0.
  void RenderMask(const PixelRect& rect, uint8_t* mask, int32_t stride);

  // PainterInput operations (see raster_painter.h).
  const PixelBuffer& Output() { return output_; }
  bool HasOutput() const { return rowHasOutput_; }
  void Produce(int32_t, int32_t) {}

  uint32_t MemorySize() const;
  void Reset();

 private:
  struct StoredRun {
    int32_t end;
    uint8_t kind;
  };
  // An active edge, and its cut to the current row: a polyline of row
  // vertices, monotone in x and y.
  struct Piece {
    uint32_t edge;
    int32_t stepper;  // curves: index in steppers_; lines: -1
    int32_t xMin, xMax;
    uint32_t first, count;  // its vertices in rowVertices_
    int32_t dir;
  };
  struct RowVertex {
    int32_t x, y;
    int64_t slope;  // of the segment that starts here
  };
  // A piece's state while a cluster is swept.
  struct SweepSlot {
    uint32_t segment;  // the vertex whose segment holds the sub-band
    uint32_t last;     // the piece's last vertex
    int32_t xTop, xBottom;
    int32_t dir;
    bool active;       // crosses the current sub-band
  };

  void ReadPath(const Path& path, const FixedMatrix& matrix);
  void SortEdges();
  void RestartScan();
  void ScanRow(int32_t row);
  void Activate(uint32_t edge);
  void Deactivate(const Piece& piece);
  void CutToRow(Piece& piece, int32_t top, int32_t bottom);
  void SortPieces(uint32_t appended);
  int32_t SweepCluster(uint32_t first, uint32_t end, int32_t windingLeft, int32_t columnStart,
                       int32_t columnEnd, int32_t top);
  bool SweepUncrossedCluster(uint32_t first, uint32_t end, int32_t windingLeft, int32_t columnStart,
                             int32_t columnEnd, int32_t top);
  bool Crosses(const SweepSlot& left, const SweepSlot& right, int32_t top, int32_t bottom) const;
  int32_t NextBandBottom(int32_t top, int32_t bottom);
  int32_t FirstCrossing(int32_t top, int32_t bottom);
  void EvaluateSlots(int32_t top, int32_t bottom, bool bottomOnly);
  void SweepBand(int32_t top, int32_t bottom, int32_t windingLeft, int32_t columnStart, int32_t columnEnd);
  void Deposit(int32_t xTop, int32_t xBottom, int32_t height, int32_t sign, int32_t columnStart,
               int32_t columnEnd);
  void FinishCluster(int32_t columnStart, int32_t columnEnd);
  void PushRun(RunKind kind, int32_t absoluteEnd);
  void FindRepeats(int32_t row);
  void SetEmptyRow();
  bool Inside(int32_t winding) const { return rule_ == kEvenOdd ? (winding & 1) != 0 : winding != 0; }

  AppContext& context_;
  WorkCounter work_;
  PixelRect clip_;
  PixelRect bounds_;
  FillRule rule_;
  int32_t width_, height_;
  rasterizer_detail::EdgeList edges_;
  EngineArray<uint32_t> rowStart_;   // first edge of each row (edges sorted by their first row)
  uint32_t nextEdge_ = 0;            // first edge not yet taken in
  EngineArray<Piece> active_;
  EngineArray<Piece> merged_;  // room for merging new pieces into active_
  EngineArray<rasterizer_detail::CurveStepper> steppers_;
  EngineArray<int32_t> freeSteppers_;
  EngineArray<RowVertex> rowVertices_;
  EngineArray<SweepSlot> slots_;
  EngineArray<int32_t> area_;        // per column: exact partial areas
  EngineArray<int32_t> cover_;       // per column: heights carried to the right
  EngineArray<uint8_t> bytes_;       // per column: coverage bytes of partial runs
  EngineArray<StoredRun> runs_;
  uint32_t cursor_ = 0;
  int32_t row_;
  int32_t scannedRow_;               // last row the edges were advanced to
  int32_t repeatsUntil_;             // rows up to this one repeat the last scanned
  bool rowHasOutput_ = false;
  bool rowReady_ = false;            // row_ has been computed
  PixelBuffer output_;
};

}  // namespace vn::im
