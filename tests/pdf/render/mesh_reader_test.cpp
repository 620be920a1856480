// Mesh data read into device triangles and patches: the packing of each
// mesh type, edge flags, decode ranges, and damaged data, recorded as the
// reader hands elements over.
#include "pdf/render/mesh_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "data_io/data_store_stream.h"
#include "data_io/raw_data_store.h"
#include "runtime/app_context.h"
#include "support/mesh_data.h"

namespace vn::test {
namespace {

using namespace pdf::render;

constexpr int32_t kPixel = 1 << im::kMeshPositionBits;

// Components taken as R, G, B.
class IdentityColors final : public MeshColorConverter {
 public:
  void ToRGB(const Fixed16_16* c, uint8_t* rgb) const override {
    for (int i = 0; i < 3; ++i) rgb[i] = static_cast<uint8_t>((c[i] * 255 + 32768) >> 16);
  }
};

struct Recorder final : MeshElementSink {
  void Triangle(const im::MeshVertex& a, const im::MeshVertex& b, const im::MeshVertex& c) override {
    triangles.push_back({a, b, c});
  }
  void Patch(const im::MeshPatch& patch) override { patches.push_back(patch); }
  std::vector<std::vector<im::MeshVertex>> triangles;
  std::vector<im::MeshPatch> patches;
};

class MeshReaderTest : public ::testing::Test {
 protected:
  MeshReaderTest() : d(context) {}

  // A DeviceRGB mesh of `type`: 8-bit flags and components, 16-bit
  // coordinates over [0, 100].
  void Describe(int32_t type) {
    d.type = type;
    d.space.components = 3;
    d.bitsPerCoordinate = 16;
    d.bitsPerComponent = 8;
    d.bitsPerFlag = type == kLatticeMesh ? 0 : 8;
    const Fixed16_16 decode[] = {0, 100 << 16, 0, 100 << 16, 0, kFixedOne, 0, kFixedOne, 0, kFixedOne};
    for (int i = 0; i < 10; ++i) d.decode[i] = decode[i];
  }

  // Reads `bytes` with the identity matrix.
  bool Read(const std::string& bytes, Recorder& out) {
    data_io::DataStoreStream* stream = New<data_io::DataStoreStream>(
        context, context,
        New<data_io::RawDataStore>(context, context, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    Owned<data_io::DataBlockStream> data(context, stream);
    im::WorkCounter work(context);
    return ReadMesh(context, d, colors, IdentityMatrix(), *data, work, out);
  }

  static MeshData& Vertex(MeshData& m, double x, double y, int r, int g, int b) {
    return m.Sample(x, 0, 100, 16).Sample(y, 0, 100, 16).Put(r, 8).Put(g, 8).Put(b, 8);
  }

  AppContext context;
  ShadingDescription d;
  IdentityColors colors;
};

void ExpectVertex(const im::MeshVertex& v, double x, double y, int r, int g, int b) {
  EXPECT_NEAR(v.p.x, x * kPixel, 1);
  EXPECT_NEAR(v.p.y, y * kPixel, 1);
  EXPECT_EQ(v.c[0], r << 16);
  EXPECT_EQ(v.c[1], g << 16);
  EXPECT_EQ(v.c[2], b << 16);
}

TEST(MeshSampleDecoding, WidthsUpTo32BitsAndExtremeRanges) {
  // Checked against an exact double computation (every input fits a double).
  const Fixed16_16 extremes[][2] = {
      {INT32_MIN, INT32_MAX}, {INT32_MAX, INT32_MIN}, {0, 100 << 16}, {-5 << 16, 7 << 16}};
  for (uint32_t bits : {1u, 2u, 4u, 8u, 12u, 16u, 24u, 32u}) {
    const uint64_t top = (uint64_t{1} << bits) - 1;
    for (const auto& range : extremes) {
      for (uint64_t raw : {uint64_t{0}, top / 3, top / 2, top - 1, top}) {
        const double want = range[0] + static_cast<double>(raw) * (static_cast<double>(range[1]) - range[0]) / top;
        EXPECT_NEAR(MeshSampleDecoder(bits, range[0], range[1]).Decode(static_cast<uint32_t>(raw)), want, 1.0)
            << bits << " bits, raw " << raw;
      }
    }
  }
}

TEST(MeshSampleDecoding, DevicePointsClampToTheirRange) {
  const FixedMatrix zoom{1000 << 16, 0, 0, -(1000 << 16), 10 << 16, 20 << 16};
  im::MeshPoint p = MeshPointToDevice(zoom, kFixedOne / 2, kFixedOne / 4);
  EXPECT_EQ(p.x, 510 * kPixel);
  EXPECT_EQ(p.y, -230 * kPixel);
  p = MeshPointToDevice(zoom, INT32_MAX, INT32_MIN);
  EXPECT_EQ(p.x, INT32_MAX);
  EXPECT_EQ(p.y, INT32_MAX);
}

TEST_F(MeshReaderTest, FreeFormTrianglesFollowTheirEdgeFlags) {
  Describe(kFreeFormMesh);
  MeshData m;
  Vertex(m.Put(0, 8), 10, 10, 255, 0, 0);
  Vertex(m.Put(0, 8), 50, 10, 0, 255, 0);
  Vertex(m.Put(0, 8), 30, 40, 0, 0, 255);
  Vertex(m.Put(1, 8), 70, 40, 9, 9, 9);   // (b, c, new)
  Vertex(m.Put(2, 8), 50, 80, 7, 7, 7);   // (a, c, new): a = 50,10
  Recorder out;
  EXPECT_TRUE(Read(m.Bytes(), out));
  ASSERT_EQ(out.triangles.size(), 3u);
  ExpectVertex(out.triangles[0][0], 10, 10, 255, 0, 0);
  ExpectVertex(out.triangles[0][2], 30, 40, 0, 0, 255);
  ExpectVertex(out.triangles[1][0], 50, 10, 0, 255, 0);
  ExpectVertex(out.triangles[1][1], 30, 40, 0, 0, 255);
  ExpectVertex(out.triangles[1][2], 70, 40, 9, 9, 9);
  ExpectVertex(out.triangles[2][0], 50, 10, 0, 255, 0);
  ExpectVertex(out.triangles[2][1], 70, 40, 9, 9, 9);
  ExpectVertex(out.triangles[2][2], 50, 80, 7, 7, 7);
}

TEST_F(MeshReaderTest, FreeFormVerticesStartOnBytes) {
  // 2-bit flags, 4-bit coordinates and components: 22 bits per vertex,
  // padded to 3 bytes.
  Describe(kFreeFormMesh);
  d.bitsPerFlag = 2;
  d.bitsPerCoordinate = 4;
  d.bitsPerComponent = 4;
  MeshData m;
  for (int i = 0; i < 3; ++i) m.Put(0, 2).Put(3 * i, 4).Put(15 - 5 * i, 4).Put(15, 4).Put(0, 4).Put(5 * i, 4).Align();
  Recorder out;
  EXPECT_TRUE(Read(m.Bytes(), out));
  ASSERT_EQ(out.triangles.size(), 1u);
  ExpectVertex(out.triangles[0][1], 20, 66.667, 255, 0, 85);
  ExpectVertex(out.triangles[0][2], 40, 33.333, 255, 0, 170);
}

TEST_F(MeshReaderTest, DamagedFreeFormDataKeepsWhatIsWhole) {
  Describe(kFreeFormMesh);
  // An edge flag with no triangle before it, then a triangle, a flag out of
  // range, a good continuation, and a vertex cut short.
  MeshData m;
  Vertex(m.Put(1, 8), 5, 5, 1, 1, 1);
  Vertex(m.Put(0, 8), 10, 10, 255, 0, 0);
  Vertex(m.Put(0, 8), 50, 10, 0, 255, 0);
  Vertex(m.Put(0, 8), 30, 40, 0, 0, 255);
  Vertex(m.Put(3, 8), 90, 90, 1, 1, 1);
  Vertex(m.Put(1, 8), 70, 40, 9, 9, 9);
  std::string bytes = m.Bytes();
  Recorder out;
  EXPECT_FALSE(Read(bytes, out));
  EXPECT_EQ(out.triangles.size(), 2u);
  MeshData whole;
  Vertex(whole.Put(0, 8), 10, 10, 255, 0, 0);
  Vertex(whole.Put(0, 8), 50, 10, 0, 255, 0);
  Vertex(whole.Put(0, 8), 30, 40, 0, 0, 255);
  Vertex(whole.Put(0, 8), 10, 10, 255, 0, 0);
  bytes = whole.Bytes();
  for (size_t cut : {size_t{31}, size_t{25}, size_t{23}, size_t{1}}) {  // 8 bytes a vertex
    Recorder partial;
    EXPECT_FALSE(Read(bytes.substr(0, cut), partial)) << cut;
    EXPECT_EQ(partial.triangles.size(), cut >= 24 ? 1u : 0u) << cut;
  }
}

TEST_F(MeshReaderTest, LatticeRowsMakeTwoTrianglesPerCell) {
  Describe(kLatticeMesh);
  d.verticesPerRow = 3;
  MeshData m;
  for (int row = 0; row < 2; ++row) {
    for (int i = 0; i < 3; ++i) Vertex(m, 10 + 20 * i, 10 + 30 * row, 100 * row, 50 * i, 0);
  }
  Recorder out;
  EXPECT_TRUE(Read(m.Bytes(), out));
  ASSERT_EQ(out.triangles.size(), 4u);
  // Cell (0, 1): (v00, v01, v10) and (v01, v11, v10).
  ExpectVertex(out.triangles[2][0], 30, 10, 0, 50, 0);
  ExpectVertex(out.triangles[2][1], 50, 10, 0, 100, 0);
  ExpectVertex(out.triangles[2][2], 30, 40, 100, 50, 0);
  ExpectVertex(out.triangles[3][1], 50, 40, 100, 100, 0);
  // A third row cut after two vertices adds its first cell, then reports.
  Vertex(m, 10, 70, 0, 0, 0);
  Vertex(m, 30, 70, 0, 0, 0);
  Recorder more;
  EXPECT_FALSE(Read(m.Bytes() + "\x01", more));
  EXPECT_EQ(more.triangles.size(), 6u);
  // A row count far beyond the data costs only the data read.
  d.verticesPerRow = 0x7FFFFFFF;
  Recorder huge;
  EXPECT_FALSE(Read(m.Bytes(), huge));
  EXPECT_TRUE(huge.triangles.empty());
}

// Twelve (or sixteen) points on a grid, p[i][j] at (10 + 10 i + offset, 10 + 10 j).
MeshData& Points(MeshData& m, int first, int count, bool tensor, double offset) {
  for (int k = first; k < first + count && k < (tensor ? 16 : 12); ++k) {
    const int i = kPatchPointOrder[k][0], j = kPatchPointOrder[k][1];
    m.Sample(10 + 10 * i + offset, 0, 100, 16).Sample(10 + 10 * j + 0.5 * i, 0, 100, 16);
  }
  return m;
}

TEST_F(MeshReaderTest, PatchesMapPointsAndSharedEdges) {
  for (int32_t type : {kCoonsMesh, kTensorMesh}) {
    SCOPED_TRACE(type);
    Describe(type);
    const bool tensor = type == kTensorMesh;
    MeshData m;
    Points(m.Put(0, 8), 0, 16, tensor, 0);
    for (int c = 0; c < 4; ++c) m.Put(60 * c, 8).Put(0, 8).Put(255 - 60 * c, 8);
    // Flag 2: the new patch's first edge is the old p33 .. p30.
    Points(m.Put(2, 8), 4, 12, tensor, 40);
    for (int c = 2; c < 4; ++c) m.Put(7, 8).Put(7, 8).Put(7, 8);
    Recorder out;
    EXPECT_TRUE(Read(m.Bytes(), out));
    ASSERT_EQ(out.patches.size(), 2u);
    const im::MeshPatch& first = out.patches[0];
    for (int i = 0; i < 4; ++i) {
      for (int j = 0; j < 4; ++j) {
        if (!tensor && (i == 1 || i == 2) && (j == 1 || j == 2)) continue;
        EXPECT_NEAR(first.p[i][j].x, (10 + 10 * i) * kPixel, 1) << i << j;
        EXPECT_NEAR(first.p[i][j].y, (10 + 10 * j + 0.5 * i) * kPixel, 1) << i << j;
      }
    }
    EXPECT_EQ(first.color[1][0], 60 << 16);  // c2 at p03
    EXPECT_EQ(first.color[3][2], (255 - 180) << 16);
    const im::MeshPatch& second = out.patches[1];
    for (int j = 0; j < 4; ++j) {
      EXPECT_EQ(second.p[0][j].x, first.p[3][3 - j].x);
      EXPECT_EQ(second.p[0][j].y, first.p[3][3 - j].y);
    }
    EXPECT_EQ(second.color[0][0], first.color[2][0]);
    EXPECT_EQ(second.color[1][0], first.color[3][0]);
    EXPECT_EQ(second.color[2][0], 7 << 16);
    EXPECT_NEAR(second.p[1][3].x, (20 + 40) * kPixel, 1);  // the first point read: p13
  }
}

TEST_F(MeshReaderTest, PatchesWithNothingToContinueOrCutShort) {
  Describe(kCoonsMesh);
  d.bitsPerComponent = 16;
  auto corner = [](MeshData& m, int r) -> MeshData& { return m.Put(r * 257, 16).Put(0, 16).Put(0, 16); };
  MeshData m;
  Points(m.Put(3, 8), 4, 8, false, 0);  // flag 3 first: skipped, with its data
  corner(m, 1);
  corner(m, 2);
  Points(m.Put(0, 8), 0, 12, false, 0);
  for (int c = 0; c < 4; ++c) corner(m, 60 * c);
  Points(m.Put(0, 8), 0, 5, false, 0);  // cut short
  Recorder out;
  EXPECT_FALSE(Read(m.Bytes(), out));
  ASSERT_EQ(out.patches.size(), 1u);
  EXPECT_EQ(out.patches[0].color[3][0], 180 << 16);
}

}  // namespace
}  // namespace vn::test
