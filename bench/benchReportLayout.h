#pragma once
// The usage-details layout of the report benchmark: a header with the
// title and "Page X of Y", one group by owner, eight job fields and a
// wrapping document-name memo in a dynamic detail band, two passes.

#include <string>

#include "ppPrintable.h"
#include "ppPrinterCanvas.h"

class TppReport;
class TppDataPipeline;
class TCanvas;

// The canvas text is measured on: the deterministic one or Qt's.
class TBenchPrinter : public TppCanvasPrinter {
public:
  explicit TBenchPrinter(TCanvas& canvas) : canvas(canvas) {}
  int PixelsPerInchX() const override { return 600; }
  int PixelsPerInchY() const override { return 600; }
  TCanvas* MeasuringCanvas() override { return &canvas; }

private:
  TCanvas& canvas;
};

// A field as text.
class TBenchField : public TppCustomComponent {
  RTL_DECLARE_CLASS(TBenchField, TppCustomComponent)
  explicit TBenchField(TComponent* owner);
  bool IsDataAware() const override { return true; }

protected:
  void PropertiesToDrawCommand(TppDrawCommand* command) override;
};

// A field wrapped into lines on the printer's canvas; the band grows.
class TBenchMemo : public TppComponent {
  RTL_DECLARE_CLASS(TBenchMemo, TppComponent)
  explicit TBenchMemo(TComponent* owner);
  bool IsDataAware() const override { return true; }
  void Generate() override;
  TppCanvasPrinter* Printer = nullptr;

protected:
  void PropertiesToDrawCommand(TppDrawCommand* command) override;

private:
  std::string lines;
};

// "Page X of Y" from the engine's page numbers.
class TBenchPageOf : public TppCustomComponent {
  RTL_DECLARE_CLASS(TBenchPageOf, TppCustomComponent)
  explicit TBenchPageOf(TComponent* owner);

protected:
  void PropertiesToDrawCommand(TppDrawCommand* command) override;
};

void BuildUsageDetailsLayout(TppReport& report, TppDataPipeline& pipeline, TppCanvasPrinter& printer);

// The jobs table "JOBS.DAT" of our engine in the folder, with rows jobs
// (ids 1..rows, 200 owners) and the index "ByOwner".
void CreateUsageJobs(const std::string& folder, int rows);
