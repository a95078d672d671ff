#include <gtest/gtest.h>

#include <cups/cups.h>

#include <fstream>
#include <iterator>

#include "ppPrinter.h"
#include "ppPrinterInfo.h"
#include "splPrivateCupsd.h"
#include "uiCanvas.h"

namespace {

// Points libcups at the private server for the test's time.
class TCupsServerScope {
public:
  explicit TCupsServerScope(const std::string& socket) { cupsSetServer(socket.c_str()); }
  ~TCupsServerScope() {
    cupsSetServer(nullptr);
    ppSetPrinterSource(nullptr);
  }
  TCupsServerScope(const TCupsServerScope&) = delete;
  TCupsServerScope& operator=(const TCupsServerScope&) = delete;
};

// A job's attribute as the scheduler keeps it.
std::string JobAttribute(const std::string& socket, int jobId, const char* name) {
  http_t* http = httpConnect2(socket.c_str(), 0, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_NEVER, 1, 30000, nullptr);
  if (http == nullptr) return "no connection";
  ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
  const std::string uri = "ipp://localhost/jobs/" + std::to_string(jobId);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri.c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  ipp_t* response = cupsDoRequest(http, request, "/jobs/");
  std::string value = "absent";
  if (ipp_attribute_t* attr = response ? ippFindAttribute(response, name, IPP_TAG_ZERO) : nullptr)
    value = ippGetString(attr, 0, nullptr) ? ippGetString(attr, 0, nullptr) : "";
  ippDelete(response);
  httpClose(http);
  return value;
}

}  // namespace

TEST(PrinterCups, ACustomPaperTravelsWithItsJob) {
  TPrivateCupsd cupsd;
  ASSERT_TRUE(cupsd.Start()) << cupsd.Error();
  ASSERT_TRUE(cupsd.AddQueue("Labels"));
  TCupsServerScope scope(cupsd.Socket());
  ppSetPrinterSource(ppCupsPrinterSource());

  TppPrinter printer;
  TppPrinterSetup& setup = printer.PrinterSetup();
  setup.SetPrinterName("Labels");
  ASSERT_EQ(setup.PrinterName(), "Labels");
  setup.SetPaperName("Custom");
  setup.SetUnits(utMillimeters);
  setup.SetPaperWidth(100);
  setup.SetPaperHeight(150);
  setup.SetDocumentName("Labels");
  printer.SetPrinterSetup(setup);
  printer.StartDoc();
  printer.NewPage();
  printer.GetCanvas()->TextOut(100, 100, "label");
  printer.EndDoc();
  ASSERT_GT(printer.JobId(), 0);
  // The scheduler holds the size as the job's own custom medium.
  EXPECT_EQ(JobAttribute(cupsd.Socket(), printer.JobId(), "media"), "Custom.100x150mm");
  EXPECT_EQ(JobAttribute(cupsd.Socket(), printer.JobId(), "job-name"), "Labels");
}
