#pragma once
// One measured line of the benchmark, as a child process reports it to the
// parent on its standard output, and the sizes every workload runs at.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct TMeasure {
  enum TKind { Seconds, Megabytes, NotRun };
  std::string Label;  // also the key that pairs the two engines' lines
  TKind Kind = Seconds;
  double Value = 0;
  int64_t Rows = 0;
  // Rows the workload must see; -1 when only the engines' agreement counts.
  int64_t ExpectedRows = -1;
  uint64_t Checksum = 0;
  // False when runs kept as one line read different rows (parent side).
  bool RunsAgree = true;
};

using TMeasureSink = std::function<void(const TMeasure&)>;

std::string FormatMeasure(const TMeasure& measure);
// false for a line that is no measure (a child's other output).
bool ParseMeasure(const std::string& line, TMeasure& measure);

struct TMemoSize {
  int32_t Bytes;
  int32_t Rows;
};

struct TBenchSizes {
  int32_t SharedAppends = 100000;
  int32_t BulkRows = 1000000;
  int32_t Lookups = 100000;
  int32_t LiveAppends = 20000;
  std::vector<TMemoSize> Memos = {{100, 10000}, {10 * 1024, 2000}, {1024 * 1024, 50}};
  // Every count times scale, at least ten.
  static TBenchSizes Scaled(double scale);
};
