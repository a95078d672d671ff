// The output devices over the usage-details report of 20,000 jobs: to an
// archive, a comma text file, a report text file and a PDF (printing to a
// file), each as pages per second of the device alone (the pages served
// from the publisher's cache) and of the whole run (generation included),
// beside the peers doing the same output of the same rows: Qt's
// QTextDocument printed to a QPdfWriter, and Python's csv module.

#include <QGuiApplication>
#include <QPdfWriter>
#include <QTextDocument>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "MDBTable.h"
#include "benchReportLayout.h"
#include "dbDataSource.h"
#include "dbField.h"
#include "ppArchiveDevice.h"
#include "ppDBPipeline.h"
#include "ppDrwCmd.h"
#include "ppPage.h"
#include "ppPrinter.h"
#include "ppPrinterDevice.h"
#include "ppPrinterInfo.h"
#include "ppPublisher.h"
#include "ppReport.h"
#include "ppTextFileDevice.h"
#include "uiMeasuringCanvas.h"

namespace {
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

constexpr int Rows = 20000;
// The device alone and the csv peer: the best of this many rounds.
constexpr int Rounds = 5;
constexpr int Resolution = 600;
constexpr const char* PrinterName = "Bench";
const char* const Fields[] = {"ID", "OWNER", "PRINTER", "PAGES", "COPIES", "SUBMITTED", "SIZE", "STATUS", "COMPUTER",
                              "DOCUMENT"};

// One printer, printing to files only.
class TBenchPrinters : public TppPrinterSource {
public:
  std::vector<std::string> PrinterNames() override { return {PrinterName}; }
  std::string DefaultPrinterName() override { return PrinterName; }
  TppDriverCapabilities Capabilities(const std::string&) override {
    TppDriverCapabilities caps;
    caps.PaperNames = {"A4"};
    caps.PaperCodes = {9};
    caps.PaperSizes = {{2100, 2970}};
    caps.MaxCopies = 99;
    return caps;
  }
  int Resolution(const std::string&) override { return ::Resolution; }
  bool IsColor(const std::string&) override { return true; }
  bool IsNetwork(const std::string&) override { return false; }
};

// Counts the pages a request delivers and keeps nothing.
class TCountingDevice : public TppDevice {
  RTL_DECLARE_CLASS(TCountingDevice, TppDevice)
  using TppDevice::TppDevice;
  void ReceivePage(TppPage* page) override {
    inherited::ReceivePage(page);
    if (PageRequested() && !SkipPage()) ++Pages;
  }
  int Pages = 0;
};
RTL_DEFINE_CLASS(TCountingDevice)

struct TBench {
  std::string folder;
  TObjectPtr<TComponent> owner{new TComponent(nullptr)};
  TppReport* report = nullptr;
  TMeasuringCanvas measuring{Resolution};
  TBenchPrinter printer{measuring};

  void Open() {
    auto* table = new TMDBTable(owner.get());
    table->SetDatabaseName(folder);
    table->SetTableName("JOBS.DAT");
    table->SetIndexName("ByOwner");
    table->Open();
    auto* source = new TDataSource(owner.get());
    source->SetDataSet(table);
    auto* pipeline = new TppDBPipeline(owner.get());
    pipeline->SetDataSource(source);
    report = new TppReport(owner.get());
    report->SetShowPrintDialog(false);
    BuildUsageDetailsLayout(*report, *pipeline, printer);
  }

  // The seconds the device takes to receive every page of the report.
  double Serve(TppDevice& device) {
    const Clock::time_point start = Clock::now();
    device.SetPublisher(report->Publisher());
    device.RequestPage();
    device.SetPublisher(nullptr);
    return Seconds(start);
  }
};

// Every text of a page is saved, one record per line of the page: what a
// report whose bands and fields are all marked for saving gives.
void SaveEveryText(TppDevice*, TppPage* page) {
  page->ForEachDrawCommand([](TppDrawCommand* command) {
    if (auto* text = dynamic_cast<TppDrawText*>(command)) {
      text->BandSave = text->ComponentSave = true;
      text->BandSaveNo = text->Top();
      text->ComponentSaveNo = text->Left();
    }
  });
}

// The cached pages marked once, so that the text file device alone is timed.
void MarkCachedPages(TppPublisher& publisher, int pages) {
  for (int n = 1; n <= pages; ++n)
    if (TppPage* page = publisher.GetCachedPage(n)) SaveEveryText(nullptr, page);
}

struct TDeviceCase {
  const char* Name;
  // markSaved: the device marks the texts of the pages it receives.
  std::function<std::unique_ptr<TppDevice>(const std::string& file, bool markSaved)> Make;
  const char* Extension;
};

std::vector<TDeviceCase> DeviceCases() {
  return {
      {"archive",
       [](const std::string& file, bool) {
         auto device = std::make_unique<TppArchiveDevice>(nullptr);
         device->SetFileName(file);
         return std::unique_ptr<TppDevice>(std::move(device));
       },
       "raf"},
      {"comma text",
       [](const std::string& file, bool markSaved) {
         auto device = std::make_unique<TppTextFileDevice>(nullptr);
         device->SetFileName(file);
         if (markSaved) device->OnPageReceive = SaveEveryText;
         return std::unique_ptr<TppDevice>(std::move(device));
       },
       "csv"},
      {"report text",
       [](const std::string& file, bool) {
         auto device = std::make_unique<TppReportTextFileDevice>(nullptr);
         device->SetFileName(file);
         return std::unique_ptr<TppDevice>(std::move(device));
       },
       "txt"},
      {"pdf",
       [](const std::string& file, bool) {
         auto device = std::make_unique<TppPrinterDevice>(nullptr);
         TppPrinterSetup setup;
         setup.SetPrinterName(PrinterName);
         setup.SetDocumentName("Usage details");
         setup.SetOutputFileName(file);
         device->Printer().SetPrinterSetup(setup);
         return std::unique_ptr<TppDevice>(std::move(device));
       },
       "pdf"},
  };
}

// The rows as the report shows them, grouped by owner as the report is.
std::vector<std::vector<std::string>> ReadRows(const std::string& folder) {
  TObjectPtr<TMDBTable> table(new TMDBTable(nullptr));
  table->SetDatabaseName(folder);
  table->SetTableName("JOBS.DAT");
  table->SetIndexName("ByOwner");
  table->Open();
  std::vector<std::vector<std::string>> rows;
  for (table->First(); !table->Eof(); table->Next()) {
    std::vector<std::string> row;
    for (const char* field : Fields) row.push_back(table->FieldByName(field)->AsString());
    rows.push_back(std::move(row));
  }
  return rows;
}

std::string Escaped(const std::string& text) { return QString::fromStdString(text).toHtmlEscaped().toStdString(); }

// Qt's own route to a PDF: the rows as an HTML table, one heading per
// owner, laid out by QTextDocument and printed to a QPdfWriter at the same
// resolution.
void QtDocumentToPdf(const std::vector<std::vector<std::string>>& rows, const std::string& file) {
  std::string html = "<h3>Usage details</h3>";
  std::string owner;
  for (const auto& row : rows) {
    if (row[1] != owner) {
      if (!owner.empty()) html += "</table>";
      owner = row[1];
      html += "<p><b>" + Escaped(owner) + "</b></p><table cellspacing=0 cellpadding=1>";
    }
    html += "<tr>";
    for (size_t i = 0; i < row.size(); ++i)
      if (i != 1) html += "<td>" + Escaped(row[i]) + "</td>";
    html += "</tr>";
  }
  html += "</table>";
  QPdfWriter writer(QString::fromStdString(file));
  writer.setResolution(Resolution);
  writer.setPageSize(QPageSize(QPageSize::A4));
  writer.setPageMargins(QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter);
  QTextDocument document;
  QFont font("Liberation Sans");
  font.setPointSize(8);
  document.setDefaultFont(font);
  document.setHtml(QString::fromStdString(html));
  document.print(&writer);
}

// The pages of a PDF as pdfinfo counts them; 0 without poppler's tools.
int PdfPages(const std::string& file) {
  FILE* pipe = popen(("pdfinfo '" + file + "' 2>/dev/null").c_str(), "r");
  if (!pipe) return 0;
  int pages = 0;
  char line[512];
  while (std::fgets(line, sizeof line, pipe))
    if (std::sscanf(line, "Pages: %d", &pages) == 1) break;
  pclose(pipe);
  return pages;
}

// Python's csv module writing the rows; the seconds its writing took, the
// best of Rounds (timed inside Python, without starting it or reading the
// rows).
double PythonCsv(const std::vector<std::vector<std::string>>& rows, const std::string& folder) {
  const std::string input = folder + "/rows.tsv";
  {
    std::ofstream out(input, std::ios::binary);
    for (const auto& row : rows) {
      for (size_t i = 0; i < row.size(); ++i) out << (i ? "\t" : "") << row[i];
      out << "\n";
    }
  }
  const std::string script =
      "import csv, sys, time\n"
      "rows = [line.rstrip('\\n').split('\\t') for line in open(sys.argv[1], encoding='utf-8')]\n"
      "best = None\n"
      "for _ in range(int(sys.argv[3])):\n"
      "    start = time.perf_counter()\n"
      "    with open(sys.argv[2], 'w', newline='', encoding='utf-8') as f:\n"
      "        csv.writer(f).writerows(rows)\n"
      "    seconds = time.perf_counter() - start\n"
      "    best = seconds if best is None else min(best, seconds)\n"
      "print(best)\n";
  std::ofstream(folder + "/peer.py") << script;
  const std::string command = "python3 '" + folder + "/peer.py' '" + input + "' '" + folder + "/peer.csv' " + std::to_string(Rounds);
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return 0;
  double seconds = 0;
  if (std::fscanf(pipe, "%lf", &seconds) != 1) seconds = 0;
  pclose(pipe);
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  ppRegisterReportClasses();
  ppSetPrinterSource(std::make_unique<TBenchPrinters>());
  const std::string folder = (std::filesystem::temp_directory_path() / "orvelle-bench-devices").string();
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  CreateUsageJobs(folder, Rows);

  TBench bench;
  bench.folder = folder;
  bench.Open();
  bench.report->Publisher()->SetCachePages(true);
  TCountingDevice counter(nullptr);
  const double generation = bench.Serve(counter);
  const int pages = counter.Pages;
  MarkCachedPages(*bench.report->Publisher(), pages);
  std::printf("%d rows, %d pages; generation alone (both passes) %.2f s, %.0f pages/s\n\n", Rows, pages, generation,
              pages / generation);
  std::printf("%-12s %12s %12s %12s %12s %10s\n", "device", "device s", "device pg/s", "run s", "run pg/s", "file KB");
  std::printf("(device: the best of %d, pages from the publisher's cache; run: generation included)\n", Rounds);
  std::vector<double> aloneTimes, runTimes;
  for (const TDeviceCase& c : DeviceCases()) {
    const std::string file = folder + "/out." + c.Extension;
    // The device alone: the pages come from the publisher's cache.
    double alone = 0;
    for (int round = 0; round < Rounds; ++round) {
      std::unique_ptr<TppDevice> cached = c.Make(file, false);
      const double seconds = bench.Serve(*cached);
      alone = round == 0 ? seconds : std::min(alone, seconds);
    }
    // The whole run: the report generates its pages for the device.
    bench.report->Publisher()->Reset();
    bench.report->Publisher()->SetCachePages(false);
    std::unique_ptr<TppDevice> device = c.Make(file, true);
    const double run = bench.Serve(*device);
    device.reset();
    bench.report->Publisher()->SetCachePages(true);
    bench.Serve(counter);  // the cache filled again for the next device
    MarkCachedPages(*bench.report->Publisher(), pages);
    aloneTimes.push_back(alone);
    runTimes.push_back(run);
    std::printf("%-12s %12.3f %12.0f %12.3f %12.0f %10.0f\n", c.Name, alone, pages / alone, run, pages / run,
                std::filesystem::file_size(file) / 1024.0);
  }

  const std::vector<std::vector<std::string>> rows = ReadRows(folder);
  Clock::time_point start = Clock::now();
  QtDocumentToPdf(rows, folder + "/peer.pdf");
  const double qtSeconds = Seconds(start);
  const int qtPages = PdfPages(folder + "/peer.pdf");
  const double csvSeconds = PythonCsv(rows, folder);
  // Ratios above 1: ours is faster.
  std::printf("\n%-20s %8s %7s %9s %16s %14s\n", "peer", "s", "pages", "pages/s", "peer/our device", "peer/our run");
  std::printf("%-20s %8.3f %7d %9.0f %16.2f %14.2f\n", "QTextDocument->PDF", qtSeconds, qtPages, qtPages / qtSeconds,
              qtSeconds / aloneTimes[3], qtSeconds / runTimes[3]);
  if (csvSeconds > 0)
    std::printf("%-20s %8.3f %7d %9.0f %16.2f %14.2f\n", "Python csv", csvSeconds, pages, pages / csvSeconds,
                csvSeconds / aloneTimes[1], csvSeconds / runTimes[1]);
  else
    std::printf("Python csv: python3 did not run\n");
  std::filesystem::remove_all(folder);
  return 0;
}
