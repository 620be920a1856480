// Must not compile under the engine rules.
#include "runtime/error.h"

int Checked(int value) {
  if (value < 0) throw value;
  return value;
}
