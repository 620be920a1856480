// Must not compile under the engine rules.
#include "runtime/error.h"

int Scale(int value) {
  double factor = 1.5;
  return static_cast<int>(value * factor);
}
