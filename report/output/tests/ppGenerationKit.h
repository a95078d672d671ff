#pragma once
// What the generation tests build reports from, beside the shared A4
// report: a jobs-shaped memory dataset, a text component that prints its
// caption or its field, and a component that stretches over pages.

#include <memory>
#include <string>
#include <vector>

#include "ppReportKit.h"
#include "ppSubReport.h"

class TTestText : public TppCustomComponent {
  RTL_DECLARE_CLASS(TTestText, TppCustomComponent)
  explicit TTestText(TComponent* owner);
  bool IsDataAware() const override { return true; }

protected:
  void PropertiesToDrawCommand(TppDrawCommand* command) override;
};

// Prints TotalHeight mm-thousandths of content, as much as fits on each
// page (a memo's lines, in effect).
class TTestStretch : public TppComponent {
  RTL_DECLARE_CLASS(TTestStretch, TppComponent)
  explicit TTestStretch(TComponent* owner);
  int TotalHeight = 0;
  void Generate() override;
  void InitGeneration() override;
  void CaptureState(uint8_t* record) const override;
  void ApplyState(const uint8_t* record) override;

private:
  int printed = 0;
  int segment = 0;
};

// A dataset of jobs: OWNER (one per group of groupSize rows), PRINTER (two
// per owner), ID (1..rows), PAGES.
std::unique_ptr<TMemoryDataSet, TObjectFree> MakeJobs(int rows, int groupSize);

// The A4 report over MakeJobs(rows, groupSize).
struct TReportFixture : TA4ReportFixture {
  explicit TReportFixture(int rows, int groupSize = 10);

  TTestText* AddText(TppBand* band, const std::string& captionOrField, bool isField, int top = 0, int height = mm(5));
  // A subreport in band over pipeline (the report's own when null), its
  // child's detail band 10 mm high; a pipeline of the owner's over data.
  TppSubReport* AddSubReport(TppBand* band, TppDBPipeline* pipeline, int left, int top, int width, int height);
  TppDBPipeline* AddPipeline(TDataSet* data);
};
