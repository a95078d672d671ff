#include "splCupsReader.h"

#include <map>

#include "splCupsRecords.h"
#include "splNames.h"

namespace {

void AskFor(ipp_t* request, const char* const* names, size_t count) {
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", static_cast<int>(count), nullptr,
                names);
}

std::string QueuePath(const std::string& queue) { return "/printers/" + queue; }

}  // namespace

OsError CupsReadPrinters(TCupsSession& Session, const std::string& Server, std::vector<PrinterInfo2>& Printers) {
  IppPtr request = Session.NewRequest(IPP_OP_CUPS_GET_PRINTERS, {});
  AskFor(request.get(), PrinterAttributeNames, PrinterAttributeCount);
  IppPtr response;
  if (const OsError e = Session.Do(std::move(request), "/", response)) {
    // A server without printers answers "not found".
    return Session.LastStatus() == IPP_STATUS_ERROR_NOT_FOUND ? ERROR_SUCCESS : e;
  }
  for (const auto& g : IppGroups(response.get(), IPP_TAG_PRINTER)) Printers.push_back(PrinterFromIpp(g, Server));
  return ERROR_SUCCESS;
}

OsError CupsReadPrinter(TCupsSession& Session, const std::string& Server, const std::string& Queue,
                        PrinterInfo2& Printer) {
  IppPtr request = Session.NewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES, QueuePath(Queue));
  AskFor(request.get(), PrinterAttributeNames, PrinterAttributeCount);
  IppPtr response;
  if (const OsError e = Session.Do(std::move(request), QueuePath(Queue).c_str(), response)) return e;
  const auto groups = IppGroups(response.get(), IPP_TAG_PRINTER);
  if (groups.empty()) return ERROR_INVALID_PRINTER_NAME;
  Printer = PrinterFromIpp(groups.front(), Server);
  return ERROR_SUCCESS;
}

CupsPrinterIndex CupsIndexPrinters(const std::vector<PrinterInfo2>& Printers) {
  CupsPrinterIndex index;
  for (size_t i = 0; i < Printers.size(); ++i)
    if (const auto name = ParseSpoolName(Printers[i].PrinterName)) index.emplace(LowerSpoolName(name->Queue), i);
  return index;
}

OsError CupsReadJobs(TCupsSession& Session, const std::vector<PrinterInfo2>& Printers, const std::string& Queue,
                     CupsJobs Which, uint32_t FirstJobId, std::vector<SpoolJobState>& Jobs,
                     const CupsPrinterIndex* Index) {
  const std::string path = Queue.empty() ? "/" : QueuePath(Queue);
  IppPtr request = Session.NewRequest(IPP_OP_GET_JOBS, path);
  ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr,
               Which == CupsJobs::Completed ? "completed" : "not-completed");
  ippAddBoolean(request.get(), IPP_TAG_OPERATION, "my-jobs", 0);
  if (FirstJobId > 1)
    ippAddInteger(request.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "first-job-id", static_cast<int>(FirstJobId));
  AskFor(request.get(), JobAttributeNames, JobAttributeCount);
  IppPtr response;
  if (const OsError e = Session.Do(std::move(request), path.c_str(), response)) return e;
  // By queue name without regard to case: a job's printer is found in one
  // look-up, whatever the number of queues.
  CupsPrinterIndex own;
  if (!Index) {
    own = CupsIndexPrinters(Printers);
    Index = &own;
  }
  std::map<std::string, uint32_t> positions;
  for (const auto& g : IppGroups(response.get(), IPP_TAG_JOB)) {
    const auto found = Index->find(LowerSpoolName(QueueOfPrinterUri(g.Text("job-printer-uri"))));
    const PrinterInfo2* printer = found == Index->end() ? nullptr : &Printers[found->second];
    if (!printer || static_cast<uint32_t>(g.Integer("job-id")) < FirstJobId) continue;
    SpoolJobState job = JobFromIpp(g, *printer);
    job.Info.Position = ++positions[printer->PrinterName];
    Jobs.push_back(std::move(job));
  }
  return ERROR_SUCCESS;
}
