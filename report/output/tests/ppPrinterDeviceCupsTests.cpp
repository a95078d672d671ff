#include <gtest/gtest.h>

#include <fstream>
#include <optional>

#include "ppErrors.h"
#include "ppPage.h"
#include "ppPdfTools.h"
#include "ppPrinter.h"
#include "ppPrinterDevice.h"
#include "ppPublisher.h"
#include "ppTestCups.h"
#include "ppTestPrinters.h"

namespace {

// A printer that makes copies itself and one that cannot.
constexpr const char* copier = "Office";
constexpr const char* basic = "Basic";

// A private cupsd with two queues printing to files, and the printers the
// report layer knows under the queues' names.
class PrinterDeviceCups : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(cupsd.Start()) << cupsd.Error();
    ASSERT_TRUE(cupsd.AddQueue(copier));
    ASSERT_TRUE(cupsd.AddQueue(basic));
    scope = std::make_unique<TCupsServerScope>(cupsd.Socket());
    auto printers = std::make_unique<TppScriptedPrinters>();
    printers->Printers[copier] = {OfficeDriver(), 600};
    TppDriverCapabilities single = OfficeDriver();
    single.MaxCopies = 1;
    printers->Printers[basic] = {single, 600};
    printers->Default = copier;
    ppSetPrinterSource(std::move(printers));
  }

  // Pages 1 to 3 on Letter, A4 and landscape Letter, each with the copies.
  void Generate(int copies, bool collation) {
    ++passes;
    const std::pair<const char*, TPrinterOrientation> papers[] = {
        {"Letter", poPortrait}, {"A4", poPortrait}, {"Letter", poLandscape}};
    for (int n = 1; n <= 3; ++n) {
      TObjectPtr<TppPage> page(new TppPage(nullptr));
      page->AbsolutePageNo = n;
      page->AbsolutePageCount = n;
      page->FirstPage = n == 1;
      page->LastPage = n == 3;
      page->Final = true;
      TppPrinterSetup& setup = *page->PrinterSetup();
      setup.SetPrinterName(queue);
      setup.SetPaperName(papers[n - 1].first);
      setup.SetOrientation(papers[n - 1].second);
      setup.SetCopies(copies);
      setup.SetCollation(collation);
      publisher.ReceivePage(page.get());
      if (publisher.RequestSatisfied()) return;
    }
  }

  // Prints the report's pages the way the producer does; the device's
  // printer is told the report's copies and collation.
  // The pages may want another collation than the document was started
  // with.
  void Print(int copies, bool collation, std::optional<bool> pageCollation = std::nullopt) {
    TppPrinterSetup setup;
    setup.SetPrinterName(queue);
    setup.SetDocumentName("Usage");
    setup.SetCopies(copies);
    setup.SetCollation(collation);
    collation = pageCollation.value_or(collation);
    device.Printer().SetPrinterSetup(setup);
    device.OnStartPage = [this](TppDevice*, TppPage* page) { startedPages.push_back(page->AbsolutePageNo); };
    publisher.SetCachePages(true);
    publisher.OnPageRequest = [=, this](TppPublisher*, TppPageRequest&) { Generate(copies, collation); };
    device.SetPublisher(&publisher);
    publisher.StartJob();
    publisher.RequestPages();
    publisher.EndJob();
  }

  // The document the scheduler keeps of a job (its job history holds
  // the files).
  std::string Printed(int job) const {
    char name[32];
    std::snprintf(name, sizeof name, "/spool/d%05d-001", job);
    return cupsd.Folder() + name;
  }

  TPrivateCupsd cupsd;
  std::unique_ptr<TCupsServerScope> scope;
  std::string queue = copier;
  TppPublisher publisher{nullptr};
  TppPrinterDevice device{nullptr};
  std::vector<int> startedPages;
  int passes = 0;
};

}  // namespace

TEST_F(PrinterDeviceCups, AThreePageJobCompletesWithEachPagesPaper) {
  Print(1, true);
  const int job = device.Printer().JobId();
  ASSERT_GT(job, 0);
  ASSERT_TRUE(WaitUntilCompleted(cupsd, queue, job)) << CompletedJobs(cupsd, queue);
  const std::vector<TPdfPageSize> sizes = PdfPageSizes(Printed(job));
  ASSERT_EQ(sizes.size(), 3u) << "pdfinfo (poppler-utils) must be installed";
  const TPdfPageSize expected[] = {{612, 792}, {595.28, 841.89}, {792, 612}};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_NEAR(sizes[i].Width, expected[i].Width, 1) << "page " << i + 1;
    EXPECT_NEAR(sizes[i].Height, expected[i].Height, 1) << "page " << i + 1;
  }
  EXPECT_EQ(JobAttribute(cupsd.Socket(), job, "job-name"), "Usage");
}

TEST_F(PrinterDeviceCups, CopiesAreMadeOneWayOnly) {
  struct TCase {
    const char* Name;
    bool Collation;
    const char* Queue;
    std::optional<bool> PageCollation;
    std::vector<int> Pages;  // the pages the device drew, in order
    int Passes;
    const char* ServerCopies;
  };
  // Collated copies are passes of the whole job in one document; a
  // printer that copies is told the count and gets each page once; one
  // that cannot gets each page three times.
  const TCase cases[] = {
      {"collated", true, copier, {}, {1, 2, 3, 1, 2, 3, 1, 2, 3}, 1, "1"},
      {"uncollated, printer copies", false, copier, {}, {1, 2, 3}, 1, "3"},
      {"uncollated, printer cannot copy", false, basic, {}, {1, 1, 1, 2, 2, 2, 3, 3, 3}, 1, "1"},
      // The server copies the document: pages that ask for collated
      // copies get no passes on top.
      {"server copies, pages collated", false, copier, true, {1, 2, 3}, 1, "3"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    queue = c.Queue;
    startedPages.clear();
    passes = 0;
    publisher.Reset();
    const std::string before = CompletedJobs(cupsd, queue);
    Print(3, c.Collation, c.PageCollation);
    const int job = device.Printer().JobId();
    ASSERT_GT(job, 0);
    EXPECT_FALSE(device.JobRunning());
    EXPECT_EQ(startedPages, c.Pages);
    // The later passes are served from the publisher's cache.
    EXPECT_EQ(passes, c.Passes);
    ASSERT_TRUE(WaitUntilCompleted(cupsd, queue, job));
    EXPECT_EQ(JobAttribute(cupsd.Socket(), job, "copies"), c.ServerCopies);
    // One document: one more completed job line.
    const std::string after = CompletedJobs(cupsd, queue);
    EXPECT_EQ(std::count(after.begin(), after.end(), '\n'), std::count(before.begin(), before.end(), '\n') + 1);
    if (std::string(c.ServerCopies) == "1") {
      EXPECT_EQ(PdfPageSizes(Printed(job)).size(), c.Pages.size());
    }
  }
}

TEST_F(PrinterDeviceCups, AQueueThatRefusesTheJobIsAnErrorNotAPrint) {
  ASSERT_EQ(cupsd.Run({"cupsreject", "-h", cupsd.Socket(), queue}), 0);
  bool cancelled = false;
  device.OnCancelJob = [&](TppDevice*) { cancelled = true; };
  EXPECT_THROW(Print(1, true), EPrintError);
  EXPECT_FALSE(device.JobRunning());
  EXPECT_TRUE(cancelled);
  EXPECT_EQ(device.Printer().JobId(), 0);
  EXPECT_EQ(CompletedJobs(cupsd, queue), "");
}
