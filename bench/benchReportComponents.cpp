#include "benchReportComponents.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <memory>

#include "MDBTable.h"
#include "dbDataSource.h"
#include "ppBands.h"
#include "ppComponentRegistry.h"
#include "ppCtrls.h"
#include "ppDBPipeline.h"
#include "ppDevice.h"
#include "ppGroup.h"
#include "ppMemo.h"
#include "ppPage.h"
#include "ppPagePainter.h"
#include "ppPrinterSetup.h"
#include "ppPublisher.h"
#include "ppReport.h"
#include "ppShapes.h"
#include "ppVar.h"
#include "uiGraphicsBitmap.h"
#include "uiMeasuringCanvas.h"

namespace {
using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::time_point since) {
  return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

double CpuMilliseconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

constexpr int mm(int value) { return value * 1000; }

// Draws every page it receives; keeps the time each page took to arrive.
class TPaintingDevice : public TppDevice {
  RTL_DECLARE_CLASS(TPaintingDevice, TppDevice)
  using TppDevice::TppDevice;
  TCanvas* Canvas = nullptr;
  Clock::time_point Last = Clock::now();
  double Slowest = 0;
  int Pages = 0;
  void ReceivePage(TppPage* page) override {
    inherited::ReceivePage(page);
    if (SkipPage() || !PageRequested()) return;
    TppPagePainter(*Canvas).DrawPage(*page);
    if (Pages > 0) Slowest = std::max(Slowest, Milliseconds(Last));
    Last = Clock::now();
    ++Pages;
  }
};
RTL_DEFINE_CLASS(TPaintingDevice)

template <typename T>
T* Place(TppReport& report, TppBand* band, int left, int top, int width, int height) {
  auto* c = new T(&report);
  c->SetBand(band);
  c->SetBounds(left, top, width, height);
  return c;
}

void BuildLayout(TppReport& report, TppDataPipeline& pipeline) {
  TppPrinterSetup* setup = report.PrinterSetup();
  setup->SetUnits(utMMThousandths);
  setup->SetPaperHeight(mm(297));
  setup->SetPaperWidth(mm(210));
  for (auto set : {&TppPrinterSetup::SetMarginTop, &TppPrinterSetup::SetMarginBottom,
                   &TppPrinterSetup::SetMarginLeft, &TppPrinterSetup::SetMarginRight})
    (setup->*set)(mm(10));
  report.CreateDefaultBands();
  report.SetDataPipeline(&pipeline);
  TppBand* header = report.GetBand(btHeader);
  header->SetmmHeight(mm(15));
  Place<TppLabel>(report, header, 0, 0, mm(100), mm(6))->SetCaption("Usage details");
  Place<TppSystemVariable>(report, header, mm(140), 0, mm(50), mm(5))->SetVarType(vtPageSetDesc);
  Place<TppLine>(report, header, 0, mm(12), mm(190), mm(2))->SetPosition(lpBottom);
  report.GetBand(btFooter)->SetmmHeight(mm(8));

  auto* group = new TppGroup(&report);
  group->SetReport(&report);
  group->SetBreakName("OWNER");
  group->SetReprintOnSubsequentPage(true);
  group->HeaderBand()->SetmmHeight(mm(8));
  group->FooterBand()->SetmmHeight(mm(6));
  auto* owner = Place<TppDBText>(report, group->HeaderBand(), 0, mm(1), mm(60), mm(5));
  owner->SetDataPipeline(&pipeline);
  owner->SetDataField("OWNER");
  // Totals of the whole group in its header: known only at its end.
  int left = mm(100);
  for (const char* field : {"PAGES", "SIZE"}) {
    auto* total = Place<TppDBCalc>(report, group->HeaderBand(), left, mm(1), mm(40), mm(5));
    total->SetDataPipeline(&pipeline);
    total->SetDataField(field);
    total->SetResetGroup(group);
    total->SetLookAhead(true);
    left += mm(45);
  }
  auto* count = Place<TppDBCalc>(report, group->FooterBand(), 0, mm(1), mm(40), mm(5));
  count->SetDataPipeline(&pipeline);
  count->SetDataField("ID");
  count->SetDBCalcType(dcCount);
  count->SetResetGroup(group);

  TppBand* detail = report.GetBand(btDetail);
  detail->SetmmHeight(mm(5));
  const char* fields[] = {"ID", "PRINTER", "PAGES", "COPIES", "SUBMITTED", "SIZE", "STATUS", "COMPUTER"};
  const int widths[] = {12, 30, 10, 10, 30, 15, 20, 20};
  left = 0;
  for (int i = 0; i < 8; ++i) {
    auto* text = Place<TppDBText>(report, detail, mm(left), 0, mm(widths[i]), mm(4));
    text->SetDataPipeline(&pipeline);
    text->SetDataField(fields[i]);
    left += widths[i];
  }
  auto* memo = Place<TppDBMemo>(report, detail, mm(left), 0, mm(190 - left), mm(4));
  memo->SetDataPipeline(&pipeline);
  memo->SetDataField("DOCUMENT");
  memo->SetStretch(true);
}
}  // namespace

TComponentRun RunComponentLayout(const std::string& folder, const std::string& canvasName) {
  ppStartPrintables();
  TComponentRun result;
  TMeasuringCanvas measuring(600);
  TBitmap bitmap(96);
  bitmap.SetSize(794, 1123);
  TCanvas* canvas = canvasName == "qt" ? &bitmap.Canvas() : static_cast<TCanvas*>(&measuring);

  TObjectPtr<TComponent> owner(new TComponent(nullptr));
  auto* table = new TMDBTable(owner.get());
  table->SetDatabaseName(folder);
  table->SetTableName("JOBS.DAT");
  table->SetIndexName("ByOwner");
  table->Open();
  auto* source = new TDataSource(owner.get());
  source->SetDataSet(table);
  auto* pipeline = new TppDBPipeline(owner.get());
  pipeline->SetDataSource(source);
  {
    // What any pass costs at least: every row read, each of its fields once.
    const Clock::time_point start = Clock::now();
    const double cpu = CpuMilliseconds();
    pipeline->Open();
    pipeline->First();
    for (; !pipeline->Eof(); pipeline->Next())
      for (const char* field : {"ID", "OWNER", "PRINTER", "COMPUTER", "DOCUMENT", "PAGES", "COPIES", "SIZE", "STATUS",
                                "SUBMITTED"})
        pipeline->GetFieldValue(field);
    result.DataMs = Milliseconds(start);
    result.DataCpuMs = CpuMilliseconds() - cpu;
    pipeline->Close();
  }
  TObjectPtr<TppReport> report(new TppReport(owner.get()));
  report->SetShowPrintDialog(false);
  BuildLayout(*report, *pipeline);

  const auto request = [&](TppPageSettingType setting, TPaintingDevice& device) {
    device.Canvas = canvas;
    device.PageRequest().SetPageSetting(setting);
    device.PageRequest().SetPageRequested(1);
    device.SetPublisher(report->Publisher());
    device.Last = Clock::now();
    device.RequestPage();
    device.SetPublisher(nullptr);
  };
  {
    TObjectPtr<TPaintingDevice> device(new TPaintingDevice(nullptr));
    const Clock::time_point start = Clock::now();
    const double cpu = CpuMilliseconds();
    request(psAll, *device);
    result.Pages = device->Pages;
    result.PagesPerSecond = device->Pages / (Milliseconds(start) / 1000);
    result.PagesPerCpuSecond = device->Pages / ((CpuMilliseconds() - cpu) / 1000);
    result.SlowestPageMs = device->Slowest;
  }
  report->Reset();
  report->Publisher()->Clear();
  {
    TObjectPtr<TPaintingDevice> device(new TPaintingDevice(nullptr));
    const Clock::time_point start = Clock::now();
    const double cpu = CpuMilliseconds();
    request(psFirstPage, *device);
    result.FirstPageMs = Milliseconds(start);
    result.FirstPageCpuMs = CpuMilliseconds() - cpu;
  }
  report.reset();
  return result;
}
