#pragma once
// The side-by-side table: one line per measure, both engines' values, their
// ratio (ours / SQLite) and whether rows and checksums agree.

#include <string>
#include <vector>

#include "benchStorageMeasure.h"

struct TEngineMeasures {
  std::vector<TMeasure> Measures;  // in the order the workloads ran
  const TMeasure* Find(const std::string& label) const;
};

// Prints the table; returns the number of lines whose check failed.
int PrintReport(const TEngineMeasures& ours, const TEngineMeasures& sqlite);
