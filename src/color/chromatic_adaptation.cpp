#include "color/chromatic_adaptation.h"

#include "color/icc_steps.h"

namespace vn::color {

namespace {

// The Bradford cone-response matrix and its inverse, rows, 30 fraction bits.
constexpr int64_t kBradford[9] = {961106307, 286044822, -173301930, -805521116, 1839856615,
                                  39406325,  41768557,  -73551315,  1105524582};
constexpr int64_t kBradfordInverse[9] = {1059775563, -157898306, 171758589, 464184249, 556585103,
                                         52926053,   -9157584,   42995652,  1039904671};

// m (30 fraction bits) times v (30 fraction bits).
void Multiply(const int64_t* m, const int64_t* v, int64_t* out) {
  for (int r = 0; r < 3; ++r) out[r] = (m[3 * r] * v[0] + m[3 * r + 1] * v[1] + m[3 * r + 2] * v[2]) >> 30;
}

void Widen(const Fixed16_16* v, int64_t* out) {
  for (int i = 0; i < 3; ++i) out[i] = static_cast<int64_t>(v[i]) << 14;
}

}  // namespace

bool AdaptToD50(const Fixed16_16* white, Fixed16_16* xyz, uint32_t count) {
  int64_t w[3], d50[3], source[3], target[3];
  Widen(white, w);
  Widen(color_detail::kD50, d50);
  Multiply(kBradford, w, source);
  Multiply(kBradford, d50, target);
  for (int64_t s : source) {
    if (s <= 0) return false;
  }
  for (uint32_t i = 0; i < count; ++i) {
    int64_t v[3], cone[3], adapted[3];
    Widen(xyz + 3 * i, v);
    Multiply(kBradford, v, cone);
    for (int c = 0; c < 3; ++c) cone[c] = cone[c] * (target[c] >> 10) / (source[c] >> 10);
    Multiply(kBradfordInverse, cone, adapted);
    for (int c = 0; c < 3; ++c) xyz[3 * i + c] = FixedSaturate((adapted[c] + (1 << 13)) >> 14);
  }
  return true;
}

}  // namespace vn::color
