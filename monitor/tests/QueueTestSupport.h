#pragma once
// A simulated spooler with one opened printer whose name is unique per test
// run (so no test meets another's pending entries), and the notify options
// a printer watch asks for.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "JobsTable.h"
#include "PrnNotify.h"
#include "rtlStrUtils.h"
#include "splSimulatedSpooler.h"
#include "splTestJobs.h"

inline PrinterNotifyOptions PrinterWatchOptions() {
  PrinterNotifyOptions options;
  options.Types.push_back({JOB_NOTIFY_TYPE,
                           {JOB_NOTIFY_FIELD_STATUS, JOB_NOTIFY_FIELD_STATUS_STRING, JOB_NOTIFY_FIELD_MACHINE_NAME,
                            JOB_NOTIFY_FIELD_DOCUMENT, JOB_NOTIFY_FIELD_USER_NAME, JOB_NOTIFY_FIELD_TOTAL_PAGES,
                            JOB_NOTIFY_FIELD_PAGES_PRINTED, JOB_NOTIFY_FIELD_SUBMITTED,
                            JOB_NOTIFY_FIELD_BYTES_PRINTED, JOB_NOTIFY_FIELD_TOTAL_BYTES}});
  options.Types.push_back({PRINTER_NOTIFY_TYPE,
                           {PRINTER_NOTIFY_FIELD_STATUS, PRINTER_NOTIFY_FIELD_CJOBS,
                            PRINTER_NOTIFY_FIELD_PRINTER_NAME, PRINTER_NOTIFY_FIELD_SERVER_NAME,
                            PRINTER_NOTIFY_FIELD_SHARE_NAME, PRINTER_NOTIFY_FIELD_PORT_NAME,
                            PRINTER_NOTIFY_FIELD_COMMENT, PRINTER_NOTIFY_FIELD_LOCATION}});
  return options;
}

inline JobInfo2 SampleJob(const std::string& document) {
  return SpoolingJob(document, {.MachineName = "\\\\DESK7", .TotalPages = 12, .Size = 40960});
}

class SpoolerTest : public ::testing::Test {
protected:
  const std::string Server = "\\\\HOST";
  std::shared_ptr<TSimulatedSpooler> spooler = std::make_shared<TSimulatedSpooler>(Server);
  std::string printerName;
  PrinterHandle handle = 0;
  PrinterNotifyOptions options = PrinterWatchOptions();

  void SetUp() override {
    static int runs = 0;
    SetCurrentSpooler(spooler);
    printerName = Server + "\\" + ::testing::UnitTest::GetInstance()->current_test_info()->name() +
                  std::to_string(++runs);
    PrinterInfo2 printer;
    printer.PrinterName = printerName;
    printer.ShareName = "laser";
    printer.PortName = "LPT1:";
    printer.DriverName = "Generic Driver";
    printer.Location = "Floor 2";
    printer.Comment = "by the stairs";
    printer.Status = PRINTER_STATUS_IO_ACTIVE;
    spooler->AddPrinter(printer);
    ASSERT_EQ(ERROR_SUCCESS, spooler->OpenPrinter(printerName, PRINTER_ACCESS_USE, handle));
  }

  void TearDown() override {
    JobList().FreeIf([this](TPendingJob* entry) { return SameText(entry->PrinterName, printerName); });
    SetCurrentSpooler(nullptr);
  }

  // The job's pending entry on this test's printer, or null.
  TPendingJob* PendingEntry(uint32_t jobId) {
    TPendingJob key;
    key.JobId = jobId;
    key.PrinterName = printerName;
    int32_t index;
    return JobList().Search(&key, index) ? JobList().At(index) : nullptr;
  }
};
