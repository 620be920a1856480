#include "pdf/render/mesh_reader.h"

#include <utility>

#include "runtime/engine_array.h"
#include "runtime/engine_new.h"

namespace vn::pdf::render {

MeshSampleDecoder::MeshSampleDecoder(uint32_t bits, Fixed16_16 min, Fixed16_16 max) : min_(min) {
  const uint64_t top = bits >= 32 ? 0xFFFFFFFFu : (uint64_t{1} << bits) - 1;
  const int64_t range = int64_t{max} - min;
  negative_ = range < 0;
  const uint64_t magnitude = static_cast<uint64_t>(negative_ ? -range : range);
  whole_ = magnitude / top;
  // (magnitude % top) / top < 1, as 32 fraction bits: raw (< 2^32) times it
  // fits 64 bits.
  fraction_ = ((magnitude % top) << 32) / top;
}

namespace {

int32_t ClampTo32(int64_t v) {
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(v);
}

}  // namespace

im::MeshPoint MeshPointToDevice(const FixedMatrix& m, Fixed16_16 x, Fixed16_16 y) {
  // Products are 32.32; each is brought to 24.8 before the sum so that no
  // sum can overflow.
  constexpr int shift = 32 - im::kMeshPositionBits;
  constexpr int64_t half = int64_t{1} << (shift - 1);
  auto term = [&](Fixed16_16 f, Fixed16_16 v) { return (int64_t{f} * v + half) >> shift; };
  const int64_t dx = term(m.a, x) + term(m.c, y) + (int64_t{m.tx} >> (16 - im::kMeshPositionBits));
  const int64_t dy = term(m.b, x) + term(m.d, y) + (int64_t{m.ty} >> (16 - im::kMeshPositionBits));
  return im::MeshPoint{ClampTo32(dx), ClampTo32(dy)};
}

namespace {

// The data as a stream of bits, high bits first, fetched a block at a time.
class MeshBits {
 public:
  MeshBits(AppContext& context, data_io::DataBlockStream& data) : data_(data), block_(context) {}

  // The next `n` (1 to 32) bits; false once the data has ended.
  bool Read(uint32_t n, uint32_t& out) {
    while (count_ < n) {
      if (used_ == block_.Length()) {
        if (ended_) return false;
        data_.GetNextBlock(block_);
        used_ = 0;
        if (block_.Empty()) {
          ended_ = true;
          return false;
        }
      }
      buffer_ = (buffer_ << 8) | block_.Data()[used_++];
      count_ += 8;
    }
    count_ -= n;
    out = static_cast<uint32_t>((buffer_ >> count_) & ((uint64_t{1} << n) - 1));
    return true;
  }

  // Drops the rest of the byte being read.
  void Align() { count_ -= count_ % 8; }

  // Whether any byte is left.
  bool AtEnd() {
    if (count_ >= 8 || used_ < block_.Length()) return false;
    if (ended_) return true;
    data_.GetNextBlock(block_);
    used_ = 0;
    ended_ = block_.Empty();
    return ended_;
  }

 private:
  data_io::DataBlockStream& data_;
  data_io::DataBlockRef block_;
  uint32_t used_ = 0;
  uint64_t buffer_ = 0;
  uint32_t count_ = 0;  // unread bits at the bottom of buffer_
  bool ended_ = false;
};

// Stream order of a patch's twelve boundary points (p[i][j]), then the four
// inner points of a tensor-product patch.
constexpr uint8_t kPatchOrder[16][2] = {{0, 0}, {0, 1}, {0, 2}, {0, 3}, {1, 3}, {2, 3}, {3, 3}, {3, 2},
                                        {3, 1}, {3, 0}, {2, 0}, {1, 0}, {1, 1}, {1, 2}, {2, 2}, {2, 1}};

class MeshReader {
 public:
  MeshReader(AppContext& context, const ShadingDescription& d, const MeshColorConverter& colors,
             const FixedMatrix& toDevice, data_io::DataBlockStream& data, im::WorkCounter& work)
      : context_(context), d_(d), colors_(colors), toDevice_(toDevice), bits_(context, data), work_(work) {
    x_ = MeshSampleDecoder(d.bitsPerCoordinate, d.decode[0], d.decode[1]);
    y_ = MeshSampleDecoder(d.bitsPerCoordinate, d.decode[2], d.decode[3]);
    if (d.functions.Count() > 0) {
      // t goes straight to the colour table's step: the table spans the
      // decode range of t.
      values_[0] = MeshSampleDecoder(d.bitsPerComponent, 0, static_cast<Fixed16_16>((im::kShadeSteps - 1) << 16));
      return;
    }
    for (uint32_t k = 0; k < d.space.components; ++k) {
      values_[k] = MeshSampleDecoder(d.bitsPerComponent, d.decode[4 + 2 * k], d.decode[5 + 2 * k]);
    }
  }

  bool Read(MeshElementSink& out) {
    switch (d_.type) {
      case kFreeFormMesh:
        ReadFreeForm(out);
        break;
      case kLatticeMesh:
        ReadLattice(out);
        break;
      default:
        ReadPatches(out);
        break;
    }
    return whole_;
  }

 private:
  bool ReadFlag(uint32_t& flag) {
    if (!bits_.Read(d_.bitsPerFlag, flag)) return false;
    flag &= 3;  // only the low two bits carry the flag
    return true;
  }

  bool ReadPoint(im::MeshPoint& p) {
    uint32_t x, y;
    if (!bits_.Read(d_.bitsPerCoordinate, x) || !bits_.Read(d_.bitsPerCoordinate, y)) return false;
    p = MeshPointToDevice(toDevice_, x_.Decode(x), y_.Decode(y));
    return true;
  }

  // The channels of one colour: the table step for t, or R, G, B.
  bool ReadColor(Fixed16_16* channels) {
    uint32_t raw;
    const uint32_t bits = d_.bitsPerComponent;
    if (d_.functions.Count() > 0) {
      if (!bits_.Read(bits, raw)) return false;
      channels[0] = values_[0].Decode(raw);
      channels[1] = channels[2] = 0;
      return true;
    }
    Fixed16_16 components[pdfcolor::kMaxComponents] = {};
    for (uint32_t k = 0; k < d_.space.components; ++k) {
      if (!bits_.Read(bits, raw)) return false;
      components[k] = values_[k].Decode(raw);
    }
    uint8_t rgb[3];
    colors_.ToRGB(components, rgb);
    for (int i = 0; i < im::kMeshChannels; ++i) channels[i] = static_cast<Fixed16_16>(rgb[i]) << 16;
    return true;
  }

  bool ReadVertex(im::MeshVertex& v) {
    const bool read = ReadPoint(v.p) && ReadColor(v.c);
    bits_.Align();  // each vertex starts on a byte
    return read;
  }

  // Free-form: flag 0 starts a triangle of three new vertices; 1 and 2 add
  // one vertex to the previous triangle's edge (b, c) or (a, c).
  void ReadFreeForm(MeshElementSink& out) {
    im::MeshVertex a, b, c, v;
    bool previous = false;
    while (!bits_.AtEnd()) {
      uint32_t flag;
      if (!ReadFlag(flag)) return Truncated();
      if (flag == 0) {
        im::MeshVertex vb, vc;
        uint32_t ignored;
        if (!ReadVertex(v) || !ReadFlag(ignored) || !ReadVertex(vb) || !ReadFlag(ignored) || !ReadVertex(vc)) {
          return Truncated();
        }
        a = v, b = vb, c = vc;
      } else {
        if (!ReadVertex(v)) return Truncated();
        if (flag == 3 || !previous) {
          whole_ = false;  // an edge flag out of range, or no triangle to continue: skip the vertex
          continue;
        }
        if (flag == 1) a = b;
        b = c;
        c = v;
      }
      previous = true;
      work_.Charge(3);
      out.Triangle(a, b, c);
    }
  }

  // Lattice: rows of verticesPerRow vertices; each cell of two rows is two
  // triangles.
  void ReadLattice(MeshElementSink& out) {
    const uint32_t perRow = d_.verticesPerRow;
    // The rows grow as their vertices arrive: a row count that the data
    // does not back costs nothing.
    EngineArray<im::MeshVertex> first(context_), second(context_);
    EngineArray<im::MeshVertex>* above = &first;
    EngineArray<im::MeshVertex>* row = &second;
    im::MeshVertex v;
    bool hasAbove = false;
    while (!bits_.AtEnd()) {
      row->Clear();
      while (row->Size() < perRow) {
        if (!ReadVertex(v)) return Truncated();
        row->Push(v);
        const uint32_t n = row->Size();
        if (hasAbove && n >= 2) {
          const EngineArray<im::MeshVertex>& up = *above;
          const EngineArray<im::MeshVertex>& down = *row;
          work_.Charge(6);
          out.Triangle(up[n - 2], up[n - 1], down[n - 2]);
          out.Triangle(up[n - 1], down[n - 1], down[n - 2]);
        }
      }
      std::swap(above, row);
      hasAbove = true;
    }
    // A lone row is no mesh, but is no damage either.
  }

  // Coons and tensor-product patches: flag 0 gives a whole patch; 1, 2 and 3
  // reuse the previous patch's edge (p03-p33, p33-p30, p30-p00) as the new
  // patch's first edge (p00-p03), with its two colours.
  void ReadPatches(MeshElementSink& out) {
    const uint32_t points = d_.type == kTensorMesh ? 16 : 12;
    im::MeshPatch patch, previous;
    bool hasPrevious = false;
    while (!bits_.AtEnd()) {
      uint32_t flag;
      if (!ReadFlag(flag)) return Truncated();
      const uint32_t shared = flag == 0 ? 0 : 4;
      if (flag != 0 && hasPrevious) {
        for (uint32_t i = 0; i < 4; ++i) {
          const uint8_t* to = kPatchOrder[i];
          const uint8_t* from = kPatchOrder[(3 * flag + i) % 12];
          patch.p[to[0]][to[1]] = previous.p[from[0]][from[1]];
        }
        for (uint32_t i = 0; i < 2; ++i) {
          for (int k = 0; k < im::kMeshChannels; ++k) patch.color[i][k] = previous.color[(flag + i) % 4][k];
        }
      }
      for (uint32_t i = shared; i < points; ++i) {
        if (!ReadPoint(patch.p[kPatchOrder[i][0]][kPatchOrder[i][1]])) return Truncated();
      }
      for (uint32_t i = shared / 2; i < 4; ++i) {
        if (!ReadColor(patch.color[i])) return Truncated();
      }
      if (flag != 0 && !hasPrevious) {
        whole_ = false;  // no patch to continue: skip this one
        continue;
      }
      previous = patch;
      hasPrevious = true;
      work_.Charge(16);
      out.Patch(patch);
    }
  }

  void Truncated() { whole_ = false; }

  AppContext& context_;
  const ShadingDescription& d_;
  const MeshColorConverter& colors_;
  const FixedMatrix& toDevice_;
  MeshBits bits_;
  im::WorkCounter& work_;
  MeshSampleDecoder x_, y_;
  MeshSampleDecoder values_[pdfcolor::kMaxComponents];  // the components, or t as a table step
  bool whole_ = true;
};

}  // namespace

bool ReadMesh(AppContext& context, const ShadingDescription& description, const MeshColorConverter& colors,
              const FixedMatrix& toDevice, data_io::DataBlockStream& data, im::WorkCounter& work,
              MeshElementSink& out) {
  Scoped<MeshReader> reader(context, context, description, colors, toDevice, data, work);
  return reader->Read(out);
}

}  // namespace vn::pdf::render
