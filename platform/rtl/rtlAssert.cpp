#include "rtlAssert.h"

#include <cstdio>
#include <cstdlib>

void AssertionFailed(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, condition);
  std::fflush(stderr);
  std::abort();
}
