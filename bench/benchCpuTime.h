#pragma once
// Processor time of the calling thread, for benchmarks whose sides run on
// one thread: on a shared machine the wall clock counts other programs too.

#include <algorithm>
#include <ctime>
#include <functional>

inline double ThreadMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

// The least processor time of `rounds` runs.
inline double BestMilliseconds(int rounds, const std::function<void()>& run) {
  double best = 1e30;
  for (int round = 0; round < rounds; ++round) {
    const double start = ThreadMilliseconds();
    run();
    best = std::min(best, ThreadMilliseconds() - start);
  }
  return best;
}
