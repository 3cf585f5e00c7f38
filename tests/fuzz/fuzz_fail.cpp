#include <cstdio>
#include <cstdlib>

#include "fuzz_targets.h"

void FuzzFail(const char* what) {
  std::fprintf(stderr, "fuzz target rule broken: %s\n", what);
  std::abort();
}
