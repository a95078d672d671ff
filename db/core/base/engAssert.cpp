#include "engAssert.h"

#include <cstdio>
#include <cstdlib>

#if defined(ENG_ASSERTIONS)
void EngineAssertionFailed(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: engine invariant broken: %s\n", file, line, condition);
  std::fflush(stderr);
  std::abort();
}
#endif
