#pragma once
// Watch-thread tests over the simulated spooler: a spooler with names unique
// to the test (so no test meets another's pending entries), the headless
// windows, and a wait until each printer's watch is open.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "gTools.h"
#include "splSimulatedSpooler.h"
#include "thrWatchHarness.h"

inline std::string UniqueName(const std::string& Prefix) {
  static int runs = 0;
  return Prefix + std::to_string(++runs);
}

inline JobInfo2 SampleJob(const std::string& Document, uint32_t TotalPages, uint32_t Size) {
  JobInfo2 job;
  job.Document = Document;
  job.UserName = "anna";
  job.MachineName = "\\\\DESK7";
  job.StatusText = "Toner low";
  job.Status = JOB_STATUS_SPOOLING;
  job.TotalPages = TotalPages;
  job.Size = Size;
  job.Submitted = {2024, 2, 6, 3, 14, 5, 9, 250};
  return job;
}

class SimulatedWatchTest : public ::testing::Test {
protected:
  const std::string Local = UniqueName("\\\\HOST");
  std::shared_ptr<TSimulatedSpooler> spooler = std::make_shared<TSimulatedSpooler>(Local);
  std::unique_ptr<TWatchHarness> harness;

  void SetUp() override {
    ASSERT_EQ(0, RunningThreads().GetValue());
    SetCurrentSpooler(spooler);
    harness = std::make_unique<TWatchHarness>();
  }

  void TearDown() override {
    harness.reset();
    EXPECT_EQ(0, RunningThreads().GetValue());
    SetCurrentSpooler(nullptr);
  }

  std::string AddPrinter(const std::string& Server, const std::string& Queue) {
    PrinterInfo2 printer;
    printer.PrinterName = Server + "\\" + Queue;
    printer.ShareName = Queue;
    printer.PortName = "LPT1:";
    printer.DriverName = "Generic Driver";
    printer.Location = "Floor 2";
    printer.Comment = "by the stairs";
    spooler->AddPrinter(printer);
    return printer.PrinterName;
  }

  // Starts Enumeration (empty: the network scan) and waits until it ended
  // and every printer has its thread with an open watch.
  void StartWatching(const std::string& Enumeration, const std::vector<std::string>& Printers) {
    harness->StartEnumeration(Enumeration);
    ASSERT_TRUE(harness->WaitUntil([&] {
      return harness->EnumerationsEnded() && PrinterThreadCount() == static_cast<int32_t>(Printers.size());
    }));
    for (const std::string& printer : Printers) {
      uint32_t status = 0;
      ASSERT_TRUE(harness->WaitUntilWatched(printer, [&] {
        status ^= PRINTER_STATUS_PAUSED;
        spooler->SetPrinterStatus(printer, status);
      })) << printer;
      spooler->SetPrinterStatus(printer, 0);
    }
  }

  static void ExpectEveryField(const TPendingJob& Entry, const std::string& Printer, const JobInfo2& Submitted,
                               uint32_t Status, uint32_t PagesPrinted, uint32_t BytesPrinted) {
    EXPECT_EQ(Printer, Entry.PrinterName);
    EXPECT_EQ(Submitted.MachineName, Entry.MachineName);
    EXPECT_EQ(Submitted.Document, Entry.Document);
    EXPECT_EQ(Submitted.StatusText, Entry.StatusText);
    EXPECT_EQ(Submitted.UserName, Entry.UserName);
    EXPECT_EQ(Status, Entry.Status);
    EXPECT_EQ(PagesPrinted, Entry.PagesPrinted);
    EXPECT_EQ(Submitted.TotalPages, Entry.TotalPages);
    EXPECT_EQ(Submitted.Size, Entry.Size);
    EXPECT_EQ(BytesPrinted, Entry.BytesPrinted);
    EXPECT_EQ(SystemTimeToLocalDateTime(Submitted.Submitted), Entry.Submitted);
  }
};
