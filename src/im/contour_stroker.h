// The contour strokers: a contour (a subpath as a polyline, curves already
// flattened) becomes closed outlines appended to the output path.
//   ContourStrokerThick: offsets at half the width on both sides, joins at
//     the vertices, caps at the ends of open contours;
//   ContourStrokerDashed: cuts the contour into dashes and hands each to the
//     stroker it wraps as an open contour of its own.
#pragma once

#include <cstdint>

#include "im/path.h"
#include "im/stroke_params.h"
#include "im/work_counter.h"
#include "runtime/engine_array.h"

namespace vn::im::stroker::stroker_detail {

struct ContourPoint {
  Vec p;
  bool curveVertex;  // between two flattened pieces of one curve: a round join
};

class ContourStrokerBase {
 public:
  // `hasCurves`: the contour came (partly) from curves.
  virtual void StrokeContour(const ContourPoint* points, uint32_t count, bool closed, bool hasCurves) = 0;

 protected:
  ~ContourStrokerBase() = default;
};

class ContourStrokerThick final : public ContourStrokerBase {
 public:
  ContourStrokerThick(AppContext& context, const StrokeParams& params, PathWriter& out, WorkCounter& work);
  void StrokeContour(const ContourPoint* points, uint32_t count, bool closed, bool hasCurves) override;
  void Reset() {
    points_.Reset();
    normals_.Reset();
  }

 private:
  void MoveTo(Vec p);
  void LineTo(Vec p);
  void CurveTo(Vec c1, Vec c2, Vec p);
  // The offset of the segment from a to b: its direction turned a quarter
  // turn, at length r.
  Vec Normal(Vec a, Vec b) const;
  // At vertex v the outline is at v + d1 and goes on from v + d2.
  void Join(Vec v, Vec d1, Vec d2, bool curveVertex);
  // An arc of radius r around c from c + a to c + b (at most a half turn;
  // `ahead` says which way a half turn goes).
  void Arc(Vec c, Vec a, Vec b, Vec ahead);
  void ShortArc(Vec c, Vec a, Vec b);
  // The cap at end point e: the outline is at e + a and goes to e - a;
  // `out` points away from the contour, at length r.
  void Cap(Vec e, Vec a, Vec out);
  void Dot(Vec center);
  void StrokeOpen(uint32_t count);
  void StrokeClosed(uint32_t count);

  const StrokeParams& params_;
  PathWriter& out_;
  WorkCounter& work_;
  Vec current_{0, 0};
  EngineArray<ContourPoint> points_;  // the contour without repeated points
  EngineArray<Vec> normals_;          // per segment
};

class ContourStrokerDashed final : public ContourStrokerBase {
 public:
  ContourStrokerDashed(AppContext& context, const StrokeParams& params, ContourStrokerBase& inner, WorkCounter& work);
  // Reads the dash pattern from the parameters (once they are built).
  void Configure();
  void StrokeContour(const ContourPoint* points, uint32_t count, bool closed, bool hasCurves) override;
  // False when the dash array draws a solid line (a negative length, or a
  // period too short to show).
  bool Dashing() const { return dashing_; }
  void Reset() {
    piece_.Reset();
    first_.Reset();
  }

 private:
  Fixed16_16 Entry(uint32_t k) const { return params_.dash[k % params_.dash.Size()]; }
  bool GapsInvisible(bool hasCurves) const;
  void StartDashes();
  void Advance(int64_t distance);
  // The part [from, to] of the segment a-b (by distance along it) inside
  // the culling rectangle; false when there is none.
  bool VisibleStretch(Vec a, Vec b, int64_t length, int64_t& from, int64_t& to) const;
  // Walks the dashes over [at, to] of the segment from a to end.
  void WalkStretch(Vec a, const ContourPoint& end, int64_t length, int64_t at, int64_t to);
  void Flush();

  const StrokeParams& params_;
  ContourStrokerBase& inner_;
  WorkCounter& work_;
  bool dashing_ = false;
  uint32_t entries_ = 0;  // the array's length, doubled when odd
  int64_t period_ = 0;
  // The walk: entry k, on or off, what is left of it.
  uint32_t k_ = 0;
  bool on_ = true;
  int64_t left_ = 0;
  EngineArray<ContourPoint> piece_;  // the dash being collected
  EngineArray<ContourPoint> first_;  // a closed contour's first dash, kept for the seam
  bool holdFirst_ = false;
  bool hasCurves_ = false;
};

}  // namespace vn::im::stroker::stroker_detail
