#include "benchStorageReport.h"

#include <cstdio>

namespace {

constexpr int LabelWidth = 44;

std::string Value(const TMeasure* measure) {
  if (!measure) return "missing";
  if (measure->Kind == TMeasure::NotRun) return "not run";
  char text[32];
  // Times below a hundredth of a second (an open) keep their microseconds.
  const char* format = measure->Kind != TMeasure::Seconds ? "%.1f" : measure->Value < 0.01 ? "%.6f" : "%.3f";
  std::snprintf(text, sizeof text, format, measure->Value);
  return text;
}

// Empty when the line is sound: both ran, saw what they must, and agree.
std::string Problem(const TMeasure* ours, const TMeasure* sqlite) {
  if (!ours || !sqlite) return "missing on one side";
  char text[160];
  for (const TMeasure* side : {ours, sqlite}) {
    const char* name = side == ours ? "ours" : "SQLite";
    if (!side->RunsAgree) return std::string(name) + " read different rows in its runs";
    if (side->ExpectedRows >= 0 && side->Rows != side->ExpectedRows) {
      std::snprintf(text, sizeof text, "%s saw %lld rows of %lld", name, static_cast<long long>(side->Rows),
                    static_cast<long long>(side->ExpectedRows));
      return text;
    }
    if (side->Kind == TMeasure::Seconds && side->Rows <= 0) return std::string(name) + " did nothing";
  }
  if (ours->Rows != sqlite->Rows) {
    std::snprintf(text, sizeof text, "rows %lld vs %lld", static_cast<long long>(ours->Rows),
                  static_cast<long long>(sqlite->Rows));
    return text;
  }
  if (ours->Checksum != sqlite->Checksum) {
    std::snprintf(text, sizeof text, "checksum %016llx vs %016llx", static_cast<unsigned long long>(ours->Checksum),
                  static_cast<unsigned long long>(sqlite->Checksum));
    return text;
  }
  return "";
}

}  // namespace

const TMeasure* TEngineMeasures::Find(const std::string& label) const {
  for (const TMeasure& measure : Measures)
    if (measure.Label == label) return &measure;
  return nullptr;
}

void TEngineMeasures::KeepFastest(const TMeasure& measure) {
  for (TMeasure& kept : Measures)
    if (kept.Label == measure.Label) {
      if (kept.Rows != measure.Rows || kept.Checksum != measure.Checksum) kept.RunsAgree = false;
      if (measure.Value < kept.Value) kept.Value = measure.Value;
      return;
    }
  Measures.push_back(measure);
}

int PrintReport(const TEngineMeasures& ours, const TEngineMeasures& sqlite) {
  int failures = 0;
  std::printf("%-*s | %10s | %10s | %6s | %s\n", LabelWidth, "workload", "ours s", "SQLite s", "ratio",
              "rows/checksum ok");
  std::printf("%s\n", std::string(LabelWidth + 54, '-').c_str());
  std::vector<std::string> labels;
  for (const TEngineMeasures* side : {&ours, &sqlite})
    for (const TMeasure& measure : side->Measures) {
      bool listed = false;
      for (const std::string& label : labels) listed = listed || label == measure.Label;
      if (!listed) labels.push_back(measure.Label);
    }
  for (const std::string& label : labels) {
    const TMeasure* mine = ours.Find(label);
    const TMeasure* theirs = sqlite.Find(label);
    if ((mine && mine->Kind == TMeasure::NotRun) || (theirs && theirs->Kind == TMeasure::NotRun)) {
      std::printf("%-*s | %10s | %10s | %6s | not run (filters not landed)\n", LabelWidth, label.c_str(),
                  Value(mine).c_str(), Value(theirs).c_str(), "-");
      continue;
    }
    char ratio[16] = "-";
    if (mine && theirs && theirs->Value > 0) std::snprintf(ratio, sizeof ratio, "%.2f", mine->Value / theirs->Value);
    const std::string problem = Problem(mine, theirs);
    if (!problem.empty()) ++failures;
    std::printf("%-*s | %10s | %10s | %6s | %s\n", LabelWidth, label.c_str(), Value(mine).c_str(),
                Value(theirs).c_str(), ratio, problem.empty() ? "yes" : ("NO: " + problem).c_str());
  }
  return failures;
}
