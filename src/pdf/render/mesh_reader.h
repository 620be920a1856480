// Mesh shadings' data (free-form and lattice triangle meshes, Coons and
// tensor-product patch meshes) read as a bit stream into device triangles
// and patches.
//
// The decoded stream is read block by block as it is consumed, so a large
// mesh never sits in memory: only the previous triangle or patch (and, for
// a lattice, two rows of vertices) is kept. Positions are mapped to device
// pixels (24.8) by the drawing's matrix; colours become the channels that
// im::MeshShadeSampler interpolates: the step of the shading's colour table
// for a mesh with a function, else display R, G, B.
#pragma once

#include <cstdint>

#include "data_io/data_store.h"
#include "im/mesh_shade.h"
#include "im/work_counter.h"
#include "pdf/render/shading_description.h"

namespace vn::pdf::render {

// Where a mesh's triangles and patches go, in the file's order.
class MeshElementSink {
 public:
  virtual void Triangle(const im::MeshVertex& a, const im::MeshVertex& b, const im::MeshVertex& c) = 0;
  // For a Coons mesh the patch's four inner points are left for the sink
  // to fill (im::FillCoonsInnerPoints).
  virtual void Patch(const im::MeshPatch& patch) = 0;

 protected:
  ~MeshElementSink() = default;
};

// The display colour of a vertex's colour components (meshes without a
// function).
class MeshColorConverter {
 public:
  virtual void ToRGB(const Fixed16_16* components, uint8_t* rgb) const = 0;

 protected:
  ~MeshColorConverter() = default;
};

// Reads `data` (the decoded stream of the mesh `description`, mesh types
// only) and hands its elements to `out`. `colors` converts vertex colours
// (meshes without a function). Returns false when the data was not whole:
// it ended inside an element (that element is dropped) or held an edge flag
// out of range or with no element before it (that element is skipped).
// Everything complete was handed over first.
bool ReadMesh(AppContext& context, const ShadingDescription& description, const MeshColorConverter& colors,
              const FixedMatrix& toDevice, data_io::DataBlockStream& data, im::WorkCounter& work,
              MeshElementSink& out);

// Packed samples of `bits` (1 to 32) bits decoded into [min, max]:
// min + raw * (max - min) / (2^bits - 1), to the nearest 16.16 value or
// the next, with no division per sample and no overflow at any width.
class MeshSampleDecoder {
 public:
  MeshSampleDecoder() = default;
  MeshSampleDecoder(uint32_t bits, Fixed16_16 min, Fixed16_16 max);
  Fixed16_16 Decode(uint32_t raw) const {
    // raw * |max - min| / top = raw * whole + raw * part / top, the second
    // term through part / top as a 32-bit fraction.
    const uint64_t scaled = raw * whole_ + ((raw * fraction_ + (uint64_t{1} << 31)) >> 32);
    return static_cast<Fixed16_16>(min_ + (negative_ ? -static_cast<int64_t>(scaled) : static_cast<int64_t>(scaled)));
  }

 private:
  int64_t min_ = 0;
  uint64_t whole_ = 0, fraction_ = 0;
  bool negative_ = false;
};

// A shading-space point on the device, 24.8, clamped to the 24.8 range.
im::MeshPoint MeshPointToDevice(const FixedMatrix& toDevice, Fixed16_16 x, Fixed16_16 y);

}  // namespace vn::pdf::render
