// Mesh shadings on the device: Gouraud-shaded triangles and tensor-product
// patches, painted as a colour source ("what" painter, see
// raster_compositing.h) like the other shade samplers.
//
// The document side reads a mesh (free-form or lattice triangles, Coons or
// tensor-product patches), maps its points to the device and its colours to
// channels, and hands triangles and patches over in the order the file
// gives them: later ones paint over earlier ones.
//
// Colour channels are 16.16 values: R, G, B in [0, 255] for a mesh whose
// vertices carry colours, or, for a mesh whose vertices carry a parameter
// of a colour function, channel 0 alone: the step in [0, kShadeSteps - 1]
// of a ShadeColorTable. Inside a triangle the channels are interpolated
// linearly on the device.
//
// Positions are device pixels in 24.8 fixed point, so that points far off
// the page (a zoomed-in mesh) still fit.
#pragma once

#include <cstdint>

#include "im/shade_sampler.h"
#include "im/work_counter.h"
#include "runtime/engine_array.h"

namespace vn::im {

inline constexpr int32_t kMeshPositionBits = 8;  // fraction bits of a MeshPoint coordinate
inline constexpr int32_t kMeshChannels = 3;

struct MeshPoint {
  int32_t x = 0, y = 0;  // device pixels, 24.8
};

struct MeshVertex {
  MeshPoint p;
  Fixed16_16 c[kMeshChannels] = {};
};

// A tensor-product patch: S(u, v) = sum over i, j of p[i][j] B_i(u) B_j(v)
// (cubic Bernstein polynomials B), colours at its corners: color[0] at
// (u, v) = (0, 0), color[1] at (0, 1), color[2] at (1, 1), color[3] at
// (1, 0), interpolated bilinearly in (u, v).
struct MeshPatch {
  MeshPoint p[4][4];
  Fixed16_16 color[4][kMeshChannels] = {};
};

// A Coons patch carries only its twelve boundary points: fills the four
// inner points p[1][1], p[1][2], p[2][1], p[2][2] so that the patch is the
// same surface as a tensor-product patch.
void FillCoonsInnerPoints(MeshPatch& patch);

// Where triangles go.
class MeshTriangleSink {
 public:
  virtual void Triangle(const MeshVertex& a, const MeshVertex& b, const MeshVertex& c) = 0;

 protected:
  ~MeshTriangleSink() = default;
};

// Divides `patch` into triangles, finely enough for its size on the device
// (a depth chosen from the device length of its control polygon, bounded),
// and hands them to `sink`: at most 2 x 64 x 64 of them, more than a
// MeshShadeSampler batch holds, so a sink that feeds a sampler paints and
// clears the batch whenever it is Full().
void TessellatePatch(const MeshPatch& patch, MeshTriangleSink& sink);

// The colour source for a batch of triangles. It holds up to a fixed
// number of triangles (Full() says when no more fit): the caller paints the
// batch over Bounds(), then Clear()s it and goes on with the rest of the
// mesh, so the memory held is bounded however large the mesh is.
// Pixels whose centre lies in no triangle are transparent: a shading's
// background is painted by the caller before the first batch.
class MeshShadeSampler final : public SmoothShadeSampler, public MeshTriangleSink {
 public:
  // `table` (may be null: the channels are R, G, B) turns channel 0 into a
  // colour. `area` is the device area that will be painted.
  MeshShadeSampler(AppContext& context, const ShadeColorTable* table, const PixelRect& area, uint8_t constantAlpha);
  ~MeshShadeSampler() override;

  void Triangle(const MeshVertex& a, const MeshVertex& b, const MeshVertex& c) override;
  bool Full() const;
  bool Empty() const;
  // The device pixels the batch's triangles may touch, within `area`.
  PixelRect Bounds() const;
  void Clear();

  void ShadeRun(int32_t x, int32_t y, int32_t n, uint8_t* rgb, uint8_t* covered) override;

  // The runs of the current row, over the base's: empty where no triangle
  // of the batch lies, so that a mark chain skips them. Wrap the sampler as
  // itself (RasterPainterImpl<MeshShadeSampler>) to use them.
  PixelRun RunAt(int32_t x);

  // Triangles a batch holds (some 230 KB of them).
  static constexpr uint32_t kBatchTriangles = 2048;

 private:
  // A triangle ready for rows: its vertices sorted by y, the pixels it may
  // touch, and each channel's plane as a value at the centre of pixel
  // (left, top) and its change per pixel right and down (32 fraction bits
  // of a channel unit).
  struct RasterTriangle {
    int32_t x[3], y[3];
    int32_t top, bottom, left, right;
    int64_t value[kMeshChannels], stepX[kMeshChannels], stepY[kMeshChannels];
  };

  bool SetUpPlanes(const MeshVertex* const sorted[3], RasterTriangle& t) const;
  // Makes the line buffer hold row y of the batch.
  void RasteriseRow(int32_t y);
  void SortByTop();
  void UpdateActive(int32_t y);
  void PaintSpan(const RasterTriangle& t, int32_t y);

  const ShadeColorTable* table_;
  PixelRect area_;
  uint8_t constantAlpha_;
  uint32_t channels_;
  int64_t stepLimit_;  // |change per pixel| past which a plane is clamped: no sum over the area overflows
  WorkCounter work_;
  PixelRect bounds_;
  EngineArray<RasterTriangle> triangles_;
  // Triangle indices by top row, in drawing order within a row (a counting
  // sort over the rows of the bounds); the triangles on the scanned row in
  // drawing order (those entering it merged in).
  EngineArray<uint32_t> rowStarts_, byTop_, active_, entering_, merged_;
  uint32_t nextByTop_ = 0;
  bool scanReady_ = false;  // byTop_ sorted and the scan at scanRow_
  int32_t scanRow_ = 0;
  bool lineValid_ = false;  // the line buffer holds scanRow_
  EngineArray<uint8_t> lineRgb_, lineCovered_;
};

}  // namespace vn::im
