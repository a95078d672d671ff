#include <map>

#include "MDBQuery.h"
#include "MonitorCommon.h"
#include "ReportOptions.h"
#include "ReportViewer.h"
#include "appReportJobs.h"
#include "appTestSupport.h"
#include "ppBands.h"
#include "ppDevice.h"
#include "ppDrwCmd.h"
#include "ppPage.h"
#include "ppPublisher.h"
#include "ppReport.h"
#include "rtlStringList.h"

namespace {

// Keeps a copy of every page it is given.
class TPageCopies : public TppDevice {
public:
  TPageCopies() : TppDevice(nullptr) {}
  void ReceivePage(TppPage* page) override {
    TppDevice::ReceivePage(page);
    if (SkipPage() || !PageRequested()) return;
    auto copy = std::make_unique<TppPage>(nullptr);
    copy->Assign(page);
    Pages.push_back(std::move(copy));
  }
  std::vector<std::unique_ptr<TppPage>> Pages;
};

// "1,234,567": the layouts' number format, made here by hand.
std::string Grouped(int64_t n) {
  std::string digits = std::to_string(n);
  for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(static_cast<size_t>(i), ",");
  return digits;
}

// 90 jobs of three owners on two printers, pages and bytes varied so that
// byte counts run from bytes to tens of megabytes; every seventh failed.
std::vector<TKnownJob> ManyJobs() {
  const char* owners[] = {"carol", "anna", "O'Brien"};
  const char* printers[] = {"\\\\HOST\\Laser", "\\\\HOST\\Ink"};
  std::vector<TKnownJob> jobs;
  for (int i = 0; i < 90; ++i) {
    const uint32_t pages = static_cast<uint32_t>((i * 37) % 120);
    const uint32_t bytes = static_cast<uint32_t>((static_cast<uint64_t>(i) * i * 2654435u) % 40000000u);
    jobs.push_back({owners[i % 3], printers[(i / 3) % 2], 2026, 1 + i / 30, 1 + i % 28, i % 7 != 3, pages, bytes,
                    "Document " + std::to_string(i + 1) + ".pdf"});
  }
  return jobs;
}

struct TTotals {
  int64_t Jobs = 0, Pages = 0, Bytes = 0;
};

class ReportLayoutTest : public AppTest {
protected:
  TScopedEnv language{"LANG", "en_US.UTF-8"};
  std::vector<TKnownJob> jobs = ManyJobs();
  // The texts of each component, page by page, by component name.
  std::map<std::string, std::vector<std::string>> texts;
  std::vector<int> pageNumbers;
  int pageCount = 0;
  int detailHeight = 0;
  std::string caption;

  void SetUp() override {
    AppTest::SetUp();
    WriteKnownJobs(jobs);
  }

  void Print(int report, bool hideDocument) {
    TReportChoice choice;
    choice.Report = report;
    choice.HideDocumentName = hideDocument;
    auto parameters = std::make_unique<TStringList>();
    BuildReportParameters(choice, EncodeDate(2026, 4, 1), ReportFormatSettings(), *parameters);
    TReportViewer viewer(nullptr, std::move(parameters));
    viewer.Prepare();
    viewer.OpenQuery();
    TPageCopies device;
    device.SetPublisher(viewer.Report().Publisher());
    viewer.Setup();
    device.SetPublisher(nullptr);
    caption = viewer.windowTitle().toStdString();
    detailHeight = viewer.Report().GetBand(btDetail) ? viewer.Report().GetBand(btDetail)->mmHeight() : -1;
    texts.clear();
    pageNumbers.clear();
    pageCount = static_cast<int>(device.Pages.size());
    for (const auto& page : device.Pages) {
      pageNumbers.push_back(page->AbsolutePageNo);
      page->ForEachDrawCommand([&](TppDrawCommand* command) {
        auto* text = dynamic_cast<TppDrawText*>(command);
        if (text && text->Component) texts[text->Component->Name()].push_back(text->Text);
      });
    }
  }

  // The printed jobs' totals by owner or printer (empty key: all).
  std::map<std::string, TTotals> Totals(const std::string& by) {
    std::map<std::string, TTotals> totals;
    for (const TKnownJob& job : jobs) {
      if (!job.Printed) continue;
      std::string key;
      if (by == "JobOwner") {
        for (char c : job.Owner) key += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      } else if (by == "PrinterName") {
        key = job.Printer;
      }
      TTotals& t = totals[key];
      ++t.Jobs;
      t.Pages += job.Pages;
      t.Bytes += job.Bytes;
    }
    return totals;
  }

  void ExpectReportTotals() {
    const TTotals all = Totals("")[""];
    EXPECT_EQ(texts["ppSumJobs"], std::vector<std::string>({Grouped(all.Jobs)}));
    EXPECT_EQ(texts["ppSumPages"], std::vector<std::string>({Grouped(all.Pages)}));
    EXPECT_EQ(texts["ppSumBytes"], std::vector<std::string>({FormatByteSize(static_cast<uint64_t>(all.Bytes), true)}));
  }

  void ExpectPageNumbers() {
    ASSERT_GT(pageCount, 0);
    std::vector<std::string> expected;
    for (int n = 1; n <= pageCount; ++n) {
      EXPECT_EQ(pageNumbers[static_cast<size_t>(n - 1)], n);
      expected.push_back("Page " + std::to_string(n) + " of " + std::to_string(pageCount));
    }
    EXPECT_EQ(texts["ppPageNo"], expected);
  }
};

}  // namespace

TEST_F(ReportLayoutTest, DetailLayoutsListEveryPrintedJobWithGroupAndReportTotals) {
  const TTotals all = Totals("")[""];
  const char* groupFields[] = {"", "JobOwner", "PrinterName"};
  for (int report = 0; report < 3; ++report) {
    SCOPED_TRACE(ReportLayouts[report].DisplayName);
    Print(report, false);
    EXPECT_EQ(caption, std::string("Orvelle - Report [") + ReportLayouts[report].DisplayName + "]");
    EXPECT_EQ(texts["ppTitle"].size(), static_cast<size_t>(pageCount)) << "the title heads every page";
    EXPECT_EQ(texts["DateRange"].front(), "Up to Apr 1, 2026");
    ASSERT_EQ(texts["ppJobID"].size(), static_cast<size_t>(all.Jobs));
    EXPECT_EQ(texts["pp_Document"].size(), static_cast<size_t>(all.Jobs));
    // Every byte count as the program shows sizes.
    std::map<std::string, int> shownBytes, expectedBytes;
    for (const std::string& shown : texts["ppBytes"]) ++shownBytes[shown];
    for (const TKnownJob& job : jobs)
      if (job.Printed) ++expectedBytes[FormatByteSize(job.Bytes, true)];
    EXPECT_EQ(shownBytes, expectedBytes);
    if (report > 0) {
      std::vector<std::string> jobsPerGroup, pagesPerGroup, names;
      for (const auto& [key, totals] : Totals(groupFields[report])) {
        names.push_back(key);
        jobsPerGroup.push_back(Grouped(totals.Jobs));
        pagesPerGroup.push_back(Grouped(totals.Pages));
      }
      EXPECT_EQ(texts["ppGroupJobs"], jobsPerGroup);
      EXPECT_EQ(texts["ppGroupPages"], pagesPerGroup);
      // A group's name heads it (and again on a page it continues on).
      std::vector<std::string> heads = texts["ppGroupName"];
      heads.erase(std::unique(heads.begin(), heads.end()), heads.end());
      EXPECT_EQ(heads, names);
    }
    ExpectReportTotals();
    ExpectPageNumbers();
    EXPECT_GT(pageCount, 2);

    const int fullHeight = detailHeight;
    Print(report, true);
    EXPECT_TRUE(texts["pp_Document"].empty());
    EXPECT_EQ(texts["ppJobID"].size(), static_cast<size_t>(all.Jobs));
    EXPECT_NEAR(fullHeight - detailHeight, 6858, 1) << "0.27 in";
    ExpectReportTotals();
    ExpectPageNumbers();
  }
}

TEST_F(ReportLayoutTest, SummariesTotalEachOwnerOrPrinterAndTheReport) {
  const char* groupFields[] = {"JobOwner", "PrinterName"};
  for (int report = 3; report < 5; ++report) {
    SCOPED_TRACE(ReportLayouts[report].DisplayName);
    // The summaries have no document column to hide.
    Print(report, true);
    std::vector<std::string> names, jobCounts, pages, bytes;
    for (const auto& [key, totals] : Totals(groupFields[report - 3])) {
      names.push_back(key);
      jobCounts.push_back(Grouped(totals.Jobs));
      pages.push_back(Grouped(totals.Pages));
      bytes.push_back(FormatByteSize(static_cast<uint64_t>(totals.Bytes), true));
    }
    EXPECT_EQ(texts["ppGroupName"], names);
    EXPECT_EQ(texts["ppJobs"], jobCounts);
    EXPECT_EQ(texts["ppPages"], pages);
    EXPECT_EQ(texts["ppBytes"], bytes);
    EXPECT_TRUE(texts["ppJobID"].empty()) << "no job lines";
    ExpectReportTotals();
    ExpectPageNumbers();
  }
}
