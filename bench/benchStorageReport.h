#pragma once
// The side-by-side table: one line per measure, both engines' values, their
// ratio (ours / SQLite) and whether rows and checksums agree.

#include <string>
#include <vector>

#include "benchStorageMeasure.h"

struct TEngineMeasures {
  std::vector<TMeasure> Measures;  // in the order the workloads ran
  const TMeasure* Find(const std::string& label) const;
  // Adds the measure, or keeps the faster of it and the one of its label;
  // a run that read other rows than the kept one fails its line.
  void KeepFastest(const TMeasure& measure);
};

// Prints the table; returns the number of lines whose check failed.
int PrintReport(const TEngineMeasures& ours, const TEngineMeasures& sqlite);
