#pragma once
// How often a row loop reads the clock that ends its lock batches. On a
// virtual machine a reading costs as much as a row of a plain scan, so the
// loop reads it every few rows, and further apart while rows come fast: a
// batch then outlasts its time by a few microseconds at most. Rows that
// turn slow bring the readings back to the fewest rows apart at the next
// reading.

#include <algorithm>
#include <chrono>
#include <cstdint>

class TClockPace {
public:
  static constexpr uint32_t FewestRows = 16;
  static constexpr uint32_t MostRows = 64;

  // A row passed: true when the clock is due.
  bool Row() { return ++rows >= between; }
  // The clock was read, since the last reading: twice the rows apart if
  // that keeps them within a sixteenth of the batch's time, the fewest
  // again once they took longer.
  void Read(std::chrono::nanoseconds since, std::chrono::nanoseconds batch) {
    rows = 0;
    if (since > batch / 16) between = FewestRows;
    else if (2 * since <= batch / 16) between = std::min(2 * between, MostRows);
  }

private:
  uint32_t rows = 0;
  uint32_t between = FewestRows;
};
