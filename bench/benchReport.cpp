// The report engine over a jobs table of our engine: a usage-details
// layout (group by owner, eight fields, a wrapping memo, "Page X of Y",
// two passes) over 20,000 and 100,000 jobs, to a device that keeps nothing,
// measuring text on the deterministic canvas and on Qt's.

#include <QGuiApplication>
#include <QImage>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <memory>
#include <string>
#include <vector>

#include "MDBTable.h"
#include "benchReportComponents.h"
#include "benchReportLayout.h"
#include "dbDataSource.h"
#include "dbField.h"
#include "ppDBPipeline.h"
#include "ppDrwCmd.h"
#include "ppDevice.h"
#include "ppEngine.h"
#include "ppPage.h"
#include "ppPublisher.h"
#include "ppReport.h"
#include "uiCanvasQt.h"
#include "uiMeasuringCanvas.h"

namespace {
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

// Resident memory in KB (VmRSS).
long ResidentKB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return 0;
}

class TNullDevice : public TppDevice {
  RTL_DECLARE_CLASS(TNullDevice, TppDevice)
  using TppDevice::TppDevice;
  void ReceivePage(TppPage* page) override {
    inherited::ReceivePage(page);
    if (SkipPage() || !PageRequested()) return;
    ++Pages;
    page->ForEachDrawCommand([this](TppDrawCommand* command) {
      ++Commands;
      if (auto* text = dynamic_cast<TppDrawText*>(command); text && text->IsMemo) ++Memos;
    });
  }
  int Pages = 0;
  long Commands = 0, Memos = 0;
};
RTL_DEFINE_CLASS(TNullDevice)

struct TResult {
  int pages = 0;
  double pagesPerSecond = 0, firstPageMs = 0, page400Ms = 0, page3Ms = 0;
  double kbPerCachedPage = 0, kbStateCacheOn = 0, kbStateCacheOff = 0;
  double commandsPerPage = 0, memosPerPage = 0, bytesPerCachedCommand = 0;
};

// The pages a request delivers; with a result, the draw commands a page
// holds on average too.
int Request(TppReport& report, TppPageSettingType setting, int page, TResult* tally = nullptr) {
  TObjectPtr<TNullDevice> device(new TNullDevice(nullptr));
  device->PageRequest().SetPageSetting(setting);
  device->PageRequest().SetPageRequested(page);
  device->SetPublisher(report.Publisher());
  device->RequestPage();
  device->SetPublisher(nullptr);
  if (tally && device->Pages > 0) {
    tally->commandsPerPage = static_cast<double>(device->Commands) / device->Pages;
    tally->memosPerPage = static_cast<double>(device->Memos) / device->Pages;
  }
  return device->Pages;
}

// Where a cached page's bytes go: the heap bytes of one text command as
// the layout makes them (a field's text, its font), and of the same
// number of copies as the publisher's cache keeps.
void ReportCommandBytes() {
  constexpr int Count = 10000;
  const size_t before = mallinfo2().uordblks;
  {
    TppPage page(nullptr);
    for (int i = 0; i < Count; ++i) {
      auto* text = new TppDrawText(nullptr);
      text->Text = "owner" + std::to_string(i);
      text->Font()->SetName("Arial");
      text->SetPage(&page);
    }
    const size_t made = mallinfo2().uordblks;
    std::fprintf(stderr, "text command: %zu heap bytes each (object %zu, font %zu)\n", (made - before) / Count,
                 sizeof(TppDrawText), sizeof(TppFont));
  }
  const size_t empty = mallinfo2().uordblks;
  {
    std::vector<std::unique_ptr<TppPage>> pages;
    for (int i = 0; i < 100; ++i) pages.push_back(std::make_unique<TppPage>(nullptr));
    std::fprintf(stderr, "empty page: %zu heap bytes\n", (mallinfo2().uordblks - empty) / 100);
  }
}

TResult Run(const std::string& folder, TppCanvasPrinter& printer) {
  TResult result;
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
  TObjectPtr<TppReport> report(new TppReport(owner.get()));
  report->SetShowPrintDialog(false);
  BuildUsageDetailsLayout(*report, *pipeline, printer);

  // Both passes, every page.
  Clock::time_point start = Clock::now();
  result.pages = Request(*report, psAll, 1, &result);
  result.pagesPerSecond = 2.0 * result.pages / Seconds(start);

  // Time to the first page of a new run (a two-pass report runs its first
  // pass before it).
  report->Reset();
  start = Clock::now();
  Request(*report, psSinglePage, 1);
  result.firstPageMs = Seconds(start) * 1000;

  // Out of order, the publisher's page cache off: from the page state.
  report->Publisher()->SetCachePages(false);
  Request(*report, psAll, 1);
  start = Clock::now();
  Request(*report, psSinglePage, 400);
  result.page400Ms = Seconds(start) * 1000;
  start = Clock::now();
  Request(*report, psSinglePage, 3);
  result.page3Ms = Seconds(start) * 1000;

  // Memory: a new run with the publisher's page cache on, then off.
  double heapOn = 0, heapOff = 0;
  for (const bool cache : {true, false}) {
    report->Reset();
    report->Publisher()->SetCachePages(cache);
    const long before = ResidentKB();
    const size_t heapBefore = mallinfo2().uordblks;
    Request(*report, psAll, 1);
    const double grown = static_cast<double>(ResidentKB() - before);
    (cache ? result.kbStateCacheOn : result.kbStateCacheOff) = grown;
    (cache ? heapOn : heapOff) = static_cast<double>(mallinfo2().uordblks) - static_cast<double>(heapBefore);
    report->Publisher()->Clear();
  }
  result.kbPerCachedPage = (result.kbStateCacheOn - result.kbStateCacheOff) / std::max(result.pages, 1);
  result.bytesPerCachedCommand = (heapOn - heapOff) / std::max(result.pages * result.commandsPerPage, 1.0);
  report.reset();
  return result;
}
}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  ppRegisterReportClasses();
  // "components": only the layout of the engine's own components; then
  // optionally one row count and one canvas (to profile a single run).
  const bool componentsOnly = argc > 1 && std::string(argv[1]) == "components";
  const int onlyRows = componentsOnly && argc > 2 ? std::atoi(argv[2]) : 0;
  const std::string onlyCanvas = componentsOnly && argc > 3 ? argv[3] : std::string();
  if (!componentsOnly) ReportCommandBytes();
  const std::string folder = (std::filesystem::temp_directory_path() / "orvelle-bench-report").string();
  TMeasuringCanvas measuring(600);
  QImage image(8, 8, QImage::Format_ARGB32);
  TQtCanvas qt(image, 600);
  TBenchPrinter measuringPrinter(measuring), qtPrinter(qt);
  std::printf("%-8s %-10s %6s %10s %11s %10s %9s %13s %12s %12s %8s %8s\n", "rows", "canvas", "pages", "pages/s",
              "first ms", "p400 ms", "p3 ms", "KB/cached pg", "KB run on", "KB run off", "cmds/pg", "B/cmd");
  struct TComponentRows {
    int Rows;
    TComponentRun Measuring, Qt;
  };
  std::vector<TComponentRows> components;
  for (const int rows : {20000, 100000}) {
    if (onlyRows > 0 && rows != onlyRows) continue;
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const Clock::time_point fill = Clock::now();
    CreateUsageJobs(folder, rows);
    std::fprintf(stderr, "%d jobs written in %.1f s\n", rows, Seconds(fill));
    for (auto [name, printer] : {std::pair<const char*, TppCanvasPrinter*>{"measuring", &measuringPrinter},
                                 std::pair<const char*, TppCanvasPrinter*>{"qt", &qtPrinter}}) {
      if (componentsOnly) break;
      const TResult r = Run(folder, *printer);
      std::printf("%-8d %-10s %6d %10.0f %11.1f %10.1f %9.1f %13.1f %12.0f %12.0f %8.1f %8.0f\n", rows, name,
                  r.pages, r.pagesPerSecond, r.firstPageMs, r.page400Ms, r.page3Ms, r.kbPerCachedPage,
                  r.kbStateCacheOn, r.kbStateCacheOff, r.commandsPerPage, r.bytesPerCachedCommand);
    }
    const auto run = [&](const char* canvas) {
      return onlyCanvas.empty() || onlyCanvas == canvas ? RunComponentLayout(folder, canvas) : TComponentRun{};
    };
    components.push_back({rows, run("measuring"), run("qt")});
  }
  // The same layout made of the engine's components, every page drawn.
  std::printf("\n%-8s %-10s %6s %10s %11s %14s %12s %12s %12s %12s\n", "rows", "canvas", "pages", "pages/s",
              "first ms", "slowest pg ms", "rows read ms", "pages/cpu s", "first cpu ms", "read cpu ms");
  for (const auto& [rows, measuringRun, qtRun] : components)
    for (const auto& [name, run] : {std::pair<const char*, TComponentRun>{"measuring", measuringRun}, {"qt", qtRun}})
      std::printf("%-8d %-10s %6d %10.0f %11.1f %14.2f %12.1f %12.0f %12.1f %12.1f\n", rows, name, run.Pages,
                  run.PagesPerSecond, run.FirstPageMs, run.SlowestPageMs, run.DataMs, run.PagesPerCpuSecond,
                  run.FirstPageCpuMs, run.DataCpuMs);
  std::filesystem::remove_all(folder);
  return 0;
}
