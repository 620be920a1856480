// The stroke driver: parameters from the graphics state and the matrix,
// the path read into contours (curves flattened, segments that cannot show
// culled), each contour through the dasher and the thick stroker.
#include "im/stroke.h"

#include "im/contour_stroker.h"
#include "im/stroke_params.h"
#include <algorithm>

#include "runtime/engine_new.h"

namespace vn::im {

namespace {

using stroker::stroker_detail::ContourPoint;
using stroker::stroker_detail::ContourStrokerBase;
using stroker::stroker_detail::ContourStrokerDashed;
using stroker::stroker_detail::ContourStrokerThick;
using stroker::stroker_detail::StrokeParams;
using stroker::stroker_detail::ToStrokeSpace;
using stroker::stroker_detail::Vec;

// Flattening stops at this depth (2^16 pieces per curve).
constexpr int kMaxCurveDepth = 16;

int64_t Abs(int64_t v) { return v < 0 ? -v : v; }
Vec Mid(Vec a, Vec b) { return Vec{(a.x + b.x) >> 1, (a.y + b.y) >> 1}; }

// Everything one stroke needs, in engine memory.
class PathStroker {
 public:
  PathStroker(AppContext& context, PathWriter& outline)
      : params_(context), work_(context), thick_(context, params_, outline, work_),
        dashed_(context, params_, thick_, work_), contour_(context), stack_(context), firstPiece_(context) {}
  ~PathStroker() {
    thick_.Reset();
    dashed_.Reset();
  }

  void Stroke(AppContext& context, const Path& path, const StrokeStyle& style, const FixedMatrix& ctm,
              const PixelRect& clip, FixedMatrix& fillMatrix);

 private:
  void Start(Vec p) {
    contour_.Clear();
    contour_.Push(ContourPoint{p, false});
    closed_ = hasCurves_ = hasSegment_ = false;
  }
  void Flush();
  // Strokes what is left of a subpath that was cut (joining its last piece
  // to its first when it is closed), or just the current contour.
  void EndSubpath(bool closing, Vec start);
  // True when nothing of the segment with these control points can show:
  // the contour is ended and restarts at its end.
  bool Culled(const Vec* points, int count);
  void Flatten(Vec p0, Vec p1, Vec p2, Vec p3);

  StrokeParams params_;
  WorkCounter work_;
  ContourStrokerThick thick_;
  ContourStrokerDashed dashed_;
  ContourStrokerBase* stroker_ = nullptr;
  EngineArray<ContourPoint> contour_;
  EngineArray<Vec> stack_;
  bool closed_ = false, hasCurves_ = false, hasSegment_ = false;
  bool opened_ = false;  // by a moveto, not yet closed
  bool cut_ = false;     // the subpath was cut by the culling rectangle
  EngineArray<ContourPoint> firstPiece_;  // a cut subpath's first piece
  bool firstHasCurves_ = false;
};

void PathStroker::Flush() {
  if (hasSegment_) stroker_->StrokeContour(contour_.Data(), contour_.Size(), closed_, hasCurves_);
  hasSegment_ = false;
}

void PathStroker::EndSubpath(bool closing, Vec start) {
  if (closing) {
    // The subpath was cut where it left the visible area: the last piece
    // ends with the closing line and runs on into the first piece, so the
    // start shows a join as it would uncut.
    const Vec closingLine[2] = {contour_.Back().p, start};
    if (!stroker::stroker_detail::Culled(params_, closingLine, 2)) {
      contour_.Push(ContourPoint{start, false});
      hasSegment_ = true;
      if (!firstPiece_.Empty()) {
        for (uint32_t i = 1; i < firstPiece_.Size(); ++i) contour_.Push(firstPiece_[i]);
        hasCurves_ = hasCurves_ || firstHasCurves_;
        firstPiece_.Clear();
      }
    }
  }
  Flush();
  if (!firstPiece_.Empty()) stroker_->StrokeContour(firstPiece_.Data(), firstPiece_.Size(), false, firstHasCurves_);
  firstPiece_.Clear();
  cut_ = false;
}

bool PathStroker::Culled(const Vec* points, int count) {
  // Dashes are culled one by one by the dasher, which keeps the pattern's
  // phase along the whole contour.
  if (stroker_ == &dashed_ || !stroker::stroker_detail::Culled(params_, points, count)) return false;
  if (!cut_ && hasSegment_) {
    // The subpath's first piece: kept, in case a close joins it to the last.
    firstPiece_.Clear();
    for (const ContourPoint& p : contour_) firstPiece_.Push(p);
    firstHasCurves_ = hasCurves_;
    hasSegment_ = false;
  }
  Flush();
  Start(points[count - 1]);
  cut_ = true;
  return true;
}

void PathStroker::Flatten(Vec p0, Vec p1, Vec p2, Vec p3) {
  // Halve until the control points lie within the flatness of the chord's
  // thirds; each piece ends in a curve vertex (a round join), the last in
  // the path vertex.
  stack_.Resize(4 * (kMaxCurveDepth + 1));
  Vec* s = stack_.Data();
  s[0] = p0, s[1] = p1, s[2] = p2, s[3] = p3;
  int depth = 0;
  for (;;) {
    Vec* c = s + 4 * depth;
    const int64_t deviation =
        std::max(std::max(Abs(3 * c[1].x - 2 * c[0].x - c[3].x), Abs(3 * c[1].y - 2 * c[0].y - c[3].y)),
                 std::max(Abs(3 * c[2].x - c[0].x - 2 * c[3].x), Abs(3 * c[2].y - c[0].y - 2 * c[3].y)));
    if (deviation > 3 * static_cast<int64_t>(params_.flatness) && depth < kMaxCurveDepth) {
      const Vec p01 = Mid(c[0], c[1]), p12 = Mid(c[1], c[2]), p23 = Mid(c[2], c[3]);
      const Vec p012 = Mid(p01, p12), p123 = Mid(p12, p23), m = Mid(p012, p123);
      // Second half stays, first half on top.
      Vec* next = c + 4;
      next[0] = c[0], next[1] = p01, next[2] = p012, next[3] = m;
      c[0] = m, c[1] = p123, c[2] = p23;
      ++depth;
      continue;
    }
    work_.Charge(50);
    contour_.Push(ContourPoint{c[3], depth != 0});
    if (depth == 0) return;
    --depth;
  }
}

void PathStroker::Stroke(AppContext& context, const Path& path, const StrokeStyle& style, const FixedMatrix& ctm,
                         const PixelRect& clip, FixedMatrix& fillMatrix) {
  fillMatrix = ctm;
  // A matrix that collapses the plane onto a line shows no stroke (its
  // minimum width would be infinite).
  if (AxisLengths(ctm).minor == 0) return;
  BuildStrokeParams(context, style, ctm, clip, params_);
  fillMatrix = params_.fillMatrix;
  dashed_.Configure();
  stroker_ = params_.dash.Size() != 0 && dashed_.Dashing() ? static_cast<ContourStrokerBase*>(&dashed_) : &thick_;
  PathIterator points(path);
  PathElement element;
  Vec start{0, 0};
  Start(start);
  while (points.Next(element)) {
    work_.Charge(200);
    const Vec to = ToStrokeSpace(params_, element.to);
    const Vec from = contour_.Back().p;
    switch (element.kind) {
      case PathElement::kMove:
        EndSubpath(false, start);
        Start(to);
        start = to;
        opened_ = true;
        break;
      case PathElement::kLine: {
        const Vec segment[2] = {from, to};
        if (Culled(segment, 2)) break;
        contour_.Push(ContourPoint{to, false});
        hasSegment_ = true;
        break;
      }
      case PathElement::kCurve: {
        const Vec curve[4] = {from, ToStrokeSpace(params_, element.control1), ToStrokeSpace(params_, element.control2),
                              to};
        if (Culled(curve, 4)) break;
        Flatten(curve[0], curve[1], curve[2], curve[3]);
        hasSegment_ = hasCurves_ = true;
        break;
      }
      case PathElement::kClose:
        if (cut_) {
          EndSubpath(true, start);
        } else if (hasSegment_ || opened_) {
          // A subpath closed right after its moveto is a single point: a
          // dot with round caps.
          closed_ = true;
          hasSegment_ = true;
          Flush();
        }
        Start(start);
        opened_ = false;
        break;
    }
  }
  EndSubpath(false, start);
}

}  // namespace

void StrokeOutline(AppContext& context, const Path& path, const StrokeStyle& style, const FixedMatrix& ctm,
                   const PixelRect& clip, PathWriter& outline, FixedMatrix& fillMatrix) {
  Scoped<PathStroker> stroker(context, context, outline);
  stroker->Stroke(context, path, style, ctm, clip, fillMatrix);
}

}  // namespace vn::im
