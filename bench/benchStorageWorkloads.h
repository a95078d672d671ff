#pragma once
// Workloads 1 to 7, written once over the engine interface; each reports
// its time with the row count and checksum read back.

#include "benchStorageEngine.h"
#include "benchStorageMeasure.h"

void RunEngineWorkloads(TStorageEngine& engine, const TBenchSizes& sizes, const TMeasureSink& sink);

// Accumulates the time of the measured calls only, so that generating the
// rows between them costs neither engine anything.
class TStopwatch {
public:
  void Start();
  void Stop();
  double Seconds() const { return seconds; }

private:
  double seconds = 0;
  int64_t startedAt = 0;
};
