#include "FuzzSupport.h"

#include <cstdio>
#include <cstdlib>

void Violated(const char* invariant) {
  std::fprintf(stderr, "invariant violated: %s\n", invariant);
  std::abort();
}
