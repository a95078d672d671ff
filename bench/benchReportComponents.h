#pragma once
// The usage-details layout made of the engine's own components (labels,
// data texts, a data memo, look-ahead group totals, "Page n of m") over the
// jobs table of the report benchmark, each page drawn on a canvas.

#include <string>

struct TComponentRun {
  int Pages = 0;
  double PagesPerSecond = 0;  // delivered pages over the time of both passes
  double FirstPageMs = 0;     // a new run's first page, its first pass included
  double SlowestPageMs = 0;   // the slowest page of the second pass
  double DataMs = 0;          // one pass over the rows reading each field once
  // The same three by the process's CPU time, which a busy machine's
  // other work does not stretch.
  double PagesPerCpuSecond = 0;
  double FirstPageCpuMs = 0;
  double DataCpuMs = 0;
};

// canvas: "measuring" (600 dpi) or "qt" (a 96 dpi bitmap).
TComponentRun RunComponentLayout(const std::string& folder, const std::string& canvas);
