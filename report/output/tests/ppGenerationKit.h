#pragma once
// What the generation tests build reports from: a jobs-shaped memory
// dataset, a text component that prints its caption or its field, a
// component that stretches over pages, and a device that keeps copies of
// the pages it receives.

#include <memory>
#include <string>
#include <vector>

#include "dbDataSource.h"
#include "dbMemoryDataSet.h"
#include "ppBands.h"
#include "ppDBPipeline.h"
#include "ppDevice.h"
#include "ppPage.h"
#include "ppReport.h"
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

class TRecordingDevice : public TppDevice {
  RTL_DECLARE_CLASS(TRecordingDevice, TppDevice)
  explicit TRecordingDevice(TComponent* owner) : TppDevice(owner) {}
  std::string DeviceName() const override { return "Recorder"; }
  void ReceivePage(TppPage* page) override;
  std::vector<std::unique_ptr<TppPage>> Pages;
};

// A dataset of jobs: OWNER (one per group of groupSize rows), PRINTER (two
// per owner), ID (1..rows), PAGES.
std::unique_ptr<TMemoryDataSet, TObjectFree> MakeJobs(int rows, int groupSize);

// Millimetres in mm-thousandths.
constexpr int mm(int value) { return value * 1000; }

// A report on an A4 page with 10 mm margins over a dataset.
struct TReportFixture {
  TReportFixture(int rows, int groupSize = 10);
  ~TReportFixture();
  std::unique_ptr<TMemoryDataSet, TObjectFree> Data;
  TDataSource* Source;
  TppDBPipeline* Pipeline;
  TppReport* Report;
  TppBand* Header;
  TppBand* Detail;
  TppBand* Footer;
  TObjectPtr<TComponent> Owner;

  TTestText* AddText(TppBand* band, const std::string& captionOrField, bool isField, int top = 0, int height = mm(5));
  TppGroup* AddGroup(const std::string& field, int headerHeight, int footerHeight);
  // A subreport in band over pipeline (the report's own when null), its
  // child's detail band 10 mm high; a pipeline of the owner's over data.
  TppSubReport* AddSubReport(TppBand* band, TppDBPipeline* pipeline, int left, int top, int width, int height);
  TppDBPipeline* AddPipeline(TDataSet* data);
  // Runs all pages into a new recording device.
  std::vector<std::unique_ptr<TppPage>> PrintAll();
  std::vector<std::unique_ptr<TppPage>> Request(TppPageSettingType setting, int page = 1, const std::string& list = "");
};

// The texts and tops of a page's text commands, in drawing order.
std::vector<std::string> Texts(const TppPage& page);
std::vector<int> Tops(const TppPage& page);
// The page in stream form.
std::string PageBytes(TppPage& page);
