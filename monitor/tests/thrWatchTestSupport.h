#pragma once
// Watch-thread tests over the simulated spooler: a spooler with names unique
// to the test (so no test meets another's pending entries), the headless
// windows, and a wait until each printer's watch is open.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "MonitorCommon.h"
#include "splSimulatedSpooler.h"
#include "splTestJobs.h"
#include "thrWatchHarness.h"

inline std::string UniqueName(const std::string& prefix) {
  static int runs = 0;
  return prefix + std::to_string(++runs);
}

inline JobInfo2 SampleJob(const std::string& document, uint32_t totalPages, uint32_t size) {
  return SpoolingJob(document,
                     {.MachineName = "\\\\DESK7", .StatusText = "Toner low", .TotalPages = totalPages, .Size = size});
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

  std::string AddPrinter(const std::string& server, const std::string& queue) {
    PrinterInfo2 printer;
    printer.PrinterName = server + "\\" + queue;
    printer.ShareName = queue;
    printer.PortName = "LPT1:";
    printer.DriverName = "Generic Driver";
    printer.Location = "Floor 2";
    printer.Comment = "by the stairs";
    spooler->AddPrinter(printer);
    return printer.PrinterName;
  }

  // Starts enumeration (empty: the network scan) and waits until it ended
  // and every printer has its thread with an open watch.
  void StartWatching(const std::string& enumeration, const std::vector<std::string>& printers) {
    harness->StartEnumeration(enumeration);
    ASSERT_TRUE(harness->WaitUntil([&] {
      return harness->EnumerationsEnded() && PrinterThreadCount() == static_cast<int32_t>(printers.size());
    }));
    WaitUntilEachWatched(printers);
  }

  // Each printer's watch hears a change: its status is toggled until it does.
  void WaitUntilEachWatched(const std::vector<std::string>& printers) {
    for (const std::string& printer : printers) {
      uint32_t status = 0;
      ASSERT_TRUE(harness->WaitUntilWatched(printer, [&] {
        status ^= PRINTER_STATUS_PAUSED;
        spooler->SetPrinterStatus(printer, status);
      })) << printer;
      spooler->SetPrinterStatus(printer, 0);
    }
  }

  static void ExpectEveryField(const TPendingJob& entry, const std::string& printer, const JobInfo2& submitted,
                               uint32_t status, uint32_t pagesPrinted, uint32_t bytesPrinted) {
    EXPECT_EQ(printer, entry.PrinterName);
    EXPECT_EQ(submitted.MachineName, entry.MachineName);
    EXPECT_EQ(submitted.Document, entry.Document);
    EXPECT_EQ(submitted.StatusText, entry.StatusText);
    EXPECT_EQ(submitted.UserName, entry.UserName);
    EXPECT_EQ(status, entry.Status);
    EXPECT_EQ(pagesPrinted, entry.PagesPrinted);
    EXPECT_EQ(submitted.TotalPages, entry.TotalPages);
    EXPECT_EQ(submitted.Size, entry.Size);
    EXPECT_EQ(bytesPrinted, entry.BytesPrinted);
    EXPECT_EQ(SystemTimeToLocalDateTime(submitted.Submitted), entry.Submitted);
  }
};
