// Compiles under the engine rules.
#include "runtime/app_context.h"
#include "runtime/engine_new.h"

int Scale(int value) { return value * 3 / 2; }
