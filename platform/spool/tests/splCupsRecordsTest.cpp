#include <gtest/gtest.h>

#include "splCupsRecords.h"
#include "splCupsSession.h"

namespace {

const std::string Server = "\\\\PRN";

IppPtr PrinterMessage() {
  IppPtr m(ippNew());
  ipp_t* p = m.get();
  ippAddString(p, IPP_TAG_PRINTER, IPP_TAG_NAME, "printer-name", nullptr, "laser");
  ippAddInteger(p, IPP_TAG_PRINTER, IPP_TAG_ENUM, "printer-state", IPP_PSTATE_PROCESSING);
  const char* reasons[] = {"media-empty-error", "toner-low-report"};
  ippAddStrings(p, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "printer-state-reasons", 2, nullptr, reasons);
  ippAddBoolean(p, IPP_TAG_PRINTER, "printer-is-accepting-jobs", 1);
  ippAddBoolean(p, IPP_TAG_PRINTER, "printer-is-shared", 1);
  ippAddInteger(p, IPP_TAG_PRINTER, IPP_TAG_ENUM, "printer-type", CUPS_PRINTER_DEFAULT);
  ippAddInteger(p, IPP_TAG_PRINTER, IPP_TAG_INTEGER, "queued-job-count", 4);
  ippAddString(p, IPP_TAG_PRINTER, IPP_TAG_URI, "device-uri", nullptr, "socket://10.0.0.9");
  ippAddString(p, IPP_TAG_PRINTER, IPP_TAG_TEXT, "printer-make-and-model", nullptr, "Acme 9000");
  ippAddString(p, IPP_TAG_PRINTER, IPP_TAG_TEXT, "printer-location", nullptr, "Hall");
  ippAddString(p, IPP_TAG_PRINTER, IPP_TAG_TEXT, "printer-info", nullptr, "Front laser");
  ippAddInteger(p, IPP_TAG_PRINTER, IPP_TAG_INTEGER, "pages-per-minute", 30);
  ippAddSeparator(p);
  ippAddString(p, IPP_TAG_PRINTER, IPP_TAG_NAME, "printer-name", nullptr, "plotter");
  ippAddInteger(p, IPP_TAG_PRINTER, IPP_TAG_ENUM, "printer-state", IPP_PSTATE_STOPPED);
  ippAddBoolean(p, IPP_TAG_PRINTER, "printer-is-accepting-jobs", 0);
  ippAddInteger(p, IPP_TAG_PRINTER, IPP_TAG_ENUM, "printer-type", CUPS_PRINTER_REMOTE);
  return m;
}

TEST(CupsRecordsTest, PrinterAttributesBecomeLevelTwo) {
  IppPtr m = PrinterMessage();
  const auto groups = IppGroups(m.get(), IPP_TAG_PRINTER);
  ASSERT_EQ(groups.size(), 2u);
  const PrinterInfo2 laser = PrinterFromIpp(groups[0], Server);
  EXPECT_EQ(laser.PrinterName, "\\\\PRN\\laser");
  EXPECT_EQ(laser.ServerName, Server);
  EXPECT_EQ(laser.ShareName, "laser");
  EXPECT_EQ(laser.PortName, "socket://10.0.0.9");
  EXPECT_EQ(laser.DriverName, "Acme 9000");
  EXPECT_EQ(laser.Location, "Hall");
  EXPECT_EQ(laser.Comment, "Front laser");
  EXPECT_EQ(laser.Status, PRINTER_STATUS_PRINTING | PRINTER_STATUS_PAPER_OUT | PRINTER_STATUS_TONER_LOW);
  EXPECT_EQ(laser.Attributes, PRINTER_ATTRIBUTE_LOCAL | PRINTER_ATTRIBUTE_SHARED | PRINTER_ATTRIBUTE_DEFAULT);
  EXPECT_EQ(laser.cJobs, 4u);
  EXPECT_EQ(laser.AveragePPM, 30u);
  const PrinterInfo2 plotter = PrinterFromIpp(groups[1], Server);
  EXPECT_EQ(plotter.Status, PRINTER_STATUS_PAUSED | PRINTER_STATUS_NOT_AVAILABLE);
  EXPECT_EQ(plotter.Attributes, PRINTER_ATTRIBUTE_NETWORK);
  EXPECT_EQ(plotter.ShareName, "");
}

TEST(CupsRecordsTest, StateReasonsMapToStatusBits) {
  EXPECT_EQ(PrinterStatusFromIpp(IPP_PSTATE_IDLE, {"none"}, true), 0u);
  EXPECT_EQ(PrinterStatusFromIpp(IPP_PSTATE_IDLE, {"media-jam-error", "door-open-warning"}, true),
            PRINTER_STATUS_PAPER_JAM | PRINTER_STATUS_DOOR_OPEN);
  EXPECT_EQ(PrinterStatusFromIpp(IPP_PSTATE_IDLE, {"something-new-error", "something-else-report"}, true),
            PRINTER_STATUS_ERROR);
  EXPECT_EQ(PrinterStatusFromIpp(IPP_PSTATE_IDLE, {"offline-report"}, true), PRINTER_STATUS_OFFLINE);

  EXPECT_EQ(JobStatusFromIpp(IPP_JSTATE_PENDING, {"none"}), 0u);
  EXPECT_EQ(JobStatusFromIpp(IPP_JSTATE_PENDING, {"job-incoming"}), JOB_STATUS_SPOOLING);
  EXPECT_EQ(JobStatusFromIpp(IPP_JSTATE_HELD, {"job-hold-until-specified"}), JOB_STATUS_PAUSED);
  EXPECT_EQ(JobStatusFromIpp(IPP_JSTATE_PROCESSING, {}), JOB_STATUS_PRINTING);
  EXPECT_EQ(JobStatusFromIpp(IPP_JSTATE_STOPPED, {}), JOB_STATUS_PRINTING | JOB_STATUS_BLOCKED_DEVQ);
  EXPECT_EQ(JobStatusFromIpp(IPP_JSTATE_CANCELED, {}), JOB_STATUS_DELETED);
  EXPECT_EQ(JobStatusFromIpp(IPP_JSTATE_ABORTED, {}), JOB_STATUS_ERROR | JOB_STATUS_DELETED);
  EXPECT_EQ(JobStatusFromIpp(IPP_JSTATE_COMPLETED, {"job-completed-successfully"}), JOB_STATUS_PRINTED);
}

TEST(CupsRecordsTest, JobAttributesBecomeLevelTwo) {
  IppPtr m(ippNew());
  ipp_t* j = m.get();
  ippAddInteger(j, IPP_TAG_JOB, IPP_TAG_INTEGER, "job-id", 42);
  ippAddString(j, IPP_TAG_JOB, IPP_TAG_URI, "job-printer-uri", nullptr, "ipp://prn/printers/laser");
  ippAddString(j, IPP_TAG_JOB, IPP_TAG_NAME, "job-name", nullptr, "minutes.odt");
  ippAddString(j, IPP_TAG_JOB, IPP_TAG_NAME, "job-originating-user-name", nullptr, "ben");
  ippAddString(j, IPP_TAG_JOB, IPP_TAG_NAME, "job-originating-host-name", nullptr, "desk12");
  ippAddInteger(j, IPP_TAG_JOB, IPP_TAG_ENUM, "job-state", IPP_JSTATE_COMPLETED);
  ippAddInteger(j, IPP_TAG_JOB, IPP_TAG_INTEGER, "job-k-octets", 5);
  ippAddInteger(j, IPP_TAG_JOB, IPP_TAG_INTEGER, "job-impressions", 6);
  ippAddInteger(j, IPP_TAG_JOB, IPP_TAG_INTEGER, "job-media-sheets-completed", 3);
  ippAddInteger(j, IPP_TAG_JOB, IPP_TAG_INTEGER, "time-at-creation", 1700000000);
  ippAddInteger(j, IPP_TAG_JOB, IPP_TAG_INTEGER, "time-at-processing", 1700000002);
  ippAddInteger(j, IPP_TAG_JOB, IPP_TAG_INTEGER, "time-at-completed", 1700000007);
  ippAddOutOfBand(j, IPP_TAG_JOB, IPP_TAG_NOVALUE, "job-priority");
  const auto groups = IppGroups(m.get(), IPP_TAG_JOB);
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(QueueOfPrinterUri(groups[0].Text("job-printer-uri")), "laser");
  PrinterInfo2 printer;
  printer.ServerName = Server;
  printer.PrinterName = "\\\\PRN\\laser";
  printer.DriverName = "Acme 9000";
  const SpoolJobState job = JobFromIpp(groups[0], printer);
  EXPECT_EQ(job.Info.JobId, 42u);
  EXPECT_EQ(job.Info.PrinterName, "\\\\PRN\\laser");
  EXPECT_EQ(job.Info.Document, "minutes.odt");
  EXPECT_EQ(job.Info.UserName, "ben");
  EXPECT_EQ(job.Info.MachineName, "\\\\desk12");
  EXPECT_EQ(job.Info.DriverName, "Acme 9000");
  EXPECT_EQ(job.Info.Status, JOB_STATUS_PRINTED);
  EXPECT_EQ(job.Info.Size, 5u * 1024);
  EXPECT_EQ(job.BytesPrinted, 5u * 1024);
  EXPECT_EQ(job.Info.TotalPages, 6u);
  EXPECT_EQ(job.Info.PagesPrinted, 3u);
  EXPECT_EQ(job.Info.Priority, 0u);
  EXPECT_EQ(job.Info.Time, 5000u);
  EXPECT_EQ(job.Info.Submitted, SystemTimeFromUnixMs(1700000000000));

  ippDeleteAttribute(j, ippFindAttribute(j, "job-originating-host-name", IPP_TAG_NAME));
  ippAddString(j, IPP_TAG_JOB, IPP_TAG_NAME, "job-originating-host-name", nullptr, "localhost");
  EXPECT_EQ(JobFromIpp(IppGroups(m.get(), IPP_TAG_JOB)[0], printer).Info.MachineName, Server);
}

}  // namespace
