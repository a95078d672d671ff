#pragma once
// Jobs of known values written into the data module's table, for the
// report tests.

#include <cstdint>
#include <string>
#include <vector>

struct TKnownJob {
  std::string Owner;
  std::string Printer;
  int Year, Month, Day;
  bool Printed;
  uint32_t Pages;
  uint32_t Bytes = 0;
  std::string Document = "";
};

// One row each, JobIDs from 1 in order, submitted at 9:30 on the day.
void WriteKnownJobs(const std::vector<TKnownJob>& jobs);
