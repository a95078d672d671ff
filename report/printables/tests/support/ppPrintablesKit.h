#pragma once
// What the component tests build reports from: a memory dataset of jobs
// given row by row under the shared A4 report.

#include <memory>
#include <string>
#include <vector>

#include "ppReportKit.h"

struct TJobRow {
  std::string Owner;
  int Pages = 0;
  std::string Note;
  std::vector<uint8_t> Picture;  // a picture file's bytes, or none
};

// The A4 report over the rows (fields OWNER, PAGES, NOTE, PICTURE, ZERO:
// always 0.0, ZEROINT: always 0, ZEROTEXT: always "0").
struct TPrintablesFixture : TA4ReportFixture {
  explicit TPrintablesFixture(const std::vector<TJobRow>& rows);

  template <typename T>
  T* Add(TppBand* band, int left, int top, int width, int height) {
    auto* c = new T(Report);
    c->SetBand(band);
    c->SetBounds(left, top, width, height);
    return c;
  }
};

std::vector<TJobRow> Rows(int count, int groupSize = 1000);
