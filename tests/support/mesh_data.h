// Packs the data of mesh shadings for tests: values of any width, high bits
// first, as a shading stream holds them.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>

namespace vn::test {

// The order of a patch's points p[i][j] in its data: the twelve boundary
// points, then a tensor-product patch's four inner ones.
inline constexpr int kPatchPointOrder[16][2] = {{0, 0}, {0, 1}, {0, 2}, {0, 3}, {1, 3}, {2, 3}, {3, 3}, {3, 2},
                                                {3, 1}, {3, 0}, {2, 0}, {1, 0}, {1, 1}, {1, 2}, {2, 2}, {2, 1}};

class MeshData {
 public:
  // `value`'s low `bits` bits.
  MeshData& Put(uint64_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) {
      pending_ = static_cast<uint8_t>((pending_ << 1) | ((value >> i) & 1));
      if (++count_ == 8) Flush();
    }
    return *this;
  }
  // `v` in [min, max] as the nearest sample of `bits` bits.
  MeshData& Sample(double v, double min, double max, int bits) {
    const double top = std::ldexp(1.0, bits) - 1;
    return Put(static_cast<uint64_t>(std::llround((v - min) / (max - min) * top)), bits);
  }
  // Pads the byte being written with zeros.
  MeshData& Align() {
    while (count_ != 0) Put(0, 1);
    return *this;
  }
  const std::string& Bytes() {
    Align();
    return bytes_;
  }

 private:
  void Flush() {
    bytes_.push_back(static_cast<char>(pending_));
    pending_ = 0;
    count_ = 0;
  }
  std::string bytes_;
  uint8_t pending_ = 0;
  int count_ = 0;
};

}  // namespace vn::test
