#include "benchStorageMeasure.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace {
constexpr const char* Tag = "MEASURE";
}

std::string FormatMeasure(const TMeasure& measure) {
  char text[512];
  std::snprintf(text, sizeof text, "%s\t%d\t%.9g\t%lld\t%lld\t%llu\t%s", Tag, int(measure.Kind), measure.Value,
                static_cast<long long>(measure.Rows), static_cast<long long>(measure.ExpectedRows),
                static_cast<unsigned long long>(measure.Checksum), measure.Label.c_str());
  return text;
}

bool ParseMeasure(const std::string& line, TMeasure& measure) {
  std::istringstream in(line);
  std::string tag;
  int kind = 0;
  long long rows = 0;
  long long expected = 0;
  unsigned long long checksum = 0;
  if (!std::getline(in, tag, '\t') || tag != Tag) return false;
  if (!(in >> kind >> measure.Value >> rows >> expected >> checksum) || kind < 0 || kind > TMeasure::NotRun)
    return false;
  in.get();
  std::getline(in, measure.Label);
  measure.Kind = TMeasure::TKind(kind);
  measure.Rows = rows;
  measure.ExpectedRows = expected;
  measure.Checksum = checksum;
  return !measure.Label.empty();
}

TBenchSizes TBenchSizes::Scaled(double scale) {
  auto scaled = [scale](int32_t count) { return std::max<int32_t>(10, int32_t(std::lround(count * scale))); };
  TBenchSizes sizes;
  sizes.SharedAppends = scaled(sizes.SharedAppends);
  sizes.BulkRows = scaled(sizes.BulkRows);
  sizes.Lookups = scaled(sizes.Lookups);
  sizes.LiveAppends = scaled(sizes.LiveAppends);
  for (TMemoSize& memo : sizes.Memos) memo.Rows = scaled(memo.Rows);
  return sizes;
}
