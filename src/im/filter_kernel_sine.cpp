// The sinc of the windowed-sinc kernel. This is one of the few engine
// sources allowed to use floating point: the sine comes from the platform's
// run-time routines, and the quotient is taken there too (in 16.16 it
// would lose most of its digits near 0, where the weights matter most).
#include <cmath>

#include "im/filter_kernels.h"

namespace vn::im {

Fixed16_16 FixedSinc(Fixed16_16 u) {
  if (u == 0) return kFixedOne;
  const double angle = static_cast<double>(FixedMul(kFixedPi, u)) / 65536.0;
  if (angle == 0) return kFixedOne;
  return static_cast<Fixed16_16>(std::lround(std::sin(angle) / angle * 65536.0));
}

}  // namespace vn::im
