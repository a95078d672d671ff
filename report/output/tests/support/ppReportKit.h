#pragma once
// What every report test above the engine builds on: an A4 report with
// 10 mm margins and header, detail and footer bands over a memory dataset,
// and a device that keeps copies of the pages it receives.

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

class TRecordingDevice : public TppDevice {
  RTL_DECLARE_CLASS(TRecordingDevice, TppDevice)
  explicit TRecordingDevice(TComponent* owner) : TppDevice(owner) {}
  std::string DeviceName() const override { return "Recorder"; }
  void ReceivePage(TppPage* page) override;
  std::vector<std::unique_ptr<TppPage>> Pages;
};

// Millimetres in mm-thousandths.
constexpr int mm(int value) { return value * 1000; }

// A pipeline of owner's over data, named for the layouts that bind it.
TppDBPipeline* AddDataPipeline(TComponent* owner, TDataSet* data, const std::string& name);
// A page of width by height in mm-thousandths with its margins.
void SetPage(TppPrinterSetup& setup, int width, int height, int topAndBottom, int leftAndRight);

// The report reads the open dataset through pipeline "plJobs"; header and
// footer are 20 mm, the detail band 10 mm; the report's clock stands at
// noon on 14 March 2026.
struct TA4ReportFixture {
  explicit TA4ReportFixture(std::unique_ptr<TMemoryDataSet, TObjectFree> data);
  ~TA4ReportFixture();
  std::unique_ptr<TMemoryDataSet, TObjectFree> Data;
  TObjectPtr<TComponent> Owner;
  TDataSource* Source;
  TppDBPipeline* Pipeline;
  TppReport* Report;
  TppBand* Header;
  TppBand* Detail;
  TppBand* Footer;

  TppGroup* AddGroup(const std::string& field, int headerHeight, int footerHeight);
  // Runs all pages into a new recording device.
  std::vector<std::unique_ptr<TppPage>> PrintAll();
  std::vector<std::unique_ptr<TppPage>> Request(TppPageSettingType setting, int page = 1, const std::string& list = "");
};

// The texts and tops of a page's text commands, in drawing order.
std::vector<std::string> Texts(const TppPage& page);
std::vector<int> Tops(const TppPage& page);
// The page in stream form.
std::string PageBytes(TppPage& page);
