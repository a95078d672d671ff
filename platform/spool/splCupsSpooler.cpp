#include "splCupsSpooler.h"

#include <algorithm>
#include <cctype>
#include <thread>

#include "splCupsReader.h"
#include "splNames.h"

namespace {

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

struct DestsDeleter {
  int Count;
  void operator()(cups_dest_t* dests) const { cupsFreeDests(Count, dests); }
};

}  // namespace

TCupsSpooler::TCupsSpooler(CupsConfig Config) : TSpoolerBase(Config.LocalServer), config_(std::move(Config)) {}

TCupsSpooler::~TCupsSpooler() {
  std::lock_guard<std::mutex> guard(watchesLock_);
  watches_.clear();
}

TCupsSpooler::Endpoint TCupsSpooler::EndpointOf(const std::string& Server) const {
  if (SameSpoolName(Server, config_.LocalServer)) return {config_.LocalHost, config_.LocalPort};
  return {ServerHost(Server), config_.RemotePort};
}

std::unique_ptr<TCupsSession> TCupsSpooler::SessionFor(const std::string& Server) const {
  const Endpoint endpoint = EndpointOf(Server);
  return std::make_unique<TCupsSession>(endpoint.Host, endpoint.Port, config_.RequestTimeoutMs);
}

std::string TCupsSpooler::ErrorText(OsError Code) const {
  // Only an unreachable or silent server leaves the library's words behind;
  // other errors are decided here, without a request.
  const std::string& words = TCupsSession::ThreadLastErrorText();
  if ((Code == RPC_S_SERVER_UNAVAILABLE || Code == ERROR_TIMEOUT) && !words.empty()) return words;
  return TSpooler::ErrorText(Code);
}

OsError TCupsSpooler::ListServers(std::vector<std::string>& Servers) {
  Servers.push_back(config_.LocalServer);
  return ERROR_SUCCESS;
}

bool TCupsSpooler::Watched(const std::string& Server) {
  std::lock_guard<std::mutex> guard(watchesLock_);
  const auto found = watches_.find(Lower(Server));
  return found != watches_.end() && found->second->Current();
}

OsError TCupsSpooler::ReadPrinters(const std::string& Server, std::vector<PrinterInfo2>& Printers) {
  if (Watched(Server) && Hub().StatePrinters(Server, Printers)) return ERROR_SUCCESS;
  return CupsReadPrinters(*SessionFor(Server), Server, Printers);
}

OsError TCupsSpooler::ReadPrinter(const std::string& Server, const std::string& Printer, PrinterInfo2& Info) {
  OsError e = ERROR_SUCCESS;
  if (Watched(Server) && Hub().StatePrinter(Server, Printer, Info, nullptr, e)) return e;
  return CupsReadPrinter(*SessionFor(Server), Server, ParseSpoolName(Printer)->Queue, Info);
}

namespace {

OsError ReadQueueJobs(TCupsSession& Session, const std::string& Server, const std::string& Printer, CupsJobs Which,
                      std::vector<JobInfo2>& Jobs) {
  const std::string queue = ParseSpoolName(Printer)->Queue;
  std::vector<PrinterInfo2> printers(1);
  if (const OsError e = CupsReadPrinter(Session, Server, queue, printers[0])) return e;
  std::vector<SpoolJobState> jobs;
  if (const OsError e = CupsReadJobs(Session, printers, queue, Which, 0, jobs)) return e;
  for (auto& j : jobs) Jobs.push_back(std::move(j.Info));
  return ERROR_SUCCESS;
}

}  // namespace

OsError TCupsSpooler::ReadJobs(const std::string& Server, const std::string& Printer, std::vector<JobInfo2>& Jobs) {
  PrinterInfo2 info;
  OsError e = ERROR_SUCCESS;
  if (Watched(Server) && Hub().StatePrinter(Server, Printer, info, &Jobs, e)) return e;
  return ReadQueueJobs(*SessionFor(Server), Server, Printer, CupsJobs::NotCompleted, Jobs);
}

OsError TCupsSpooler::ReadJobHistory(const std::string& Server, const std::string& Printer,
                                     std::vector<JobInfo2>& Jobs) {
  // The client library keeps a 32 KB line on the stack of the thread that
  // reads an answer. Each printer thread asks for its history once and then
  // never talks to the server: asked on a thread of its own, the history
  // leaves the printer thread's stack small, whatever the number of queues.
  OsError result = ERROR_SUCCESS;
  std::string words;
  std::thread reader([&] {
    result = ReadQueueJobs(*SessionFor(Server), Server, Printer, CupsJobs::Completed, Jobs);
    words = TCupsSession::ThreadLastErrorText();
  });
  reader.join();
  if (result) TCupsSession::SetThreadLastErrorText(std::move(words));
  return result;
}

OsError TCupsSpooler::CheckOpen(const std::string& Server, const std::string& Printer, uint32_t Access) {
  // Rights are the server's policy, which shows only when a call is refused.
  if (Printer.empty()) {
    std::vector<PrinterInfo2> printers;
    return ReadPrinters(Server, printers);
  }
  PrinterInfo2 info;
  return ReadPrinter(Server, Printer, info);
}

OsError TCupsSpooler::PrepareWatch(const std::string& Server) {
  std::lock_guard<std::mutex> guard(watchesLock_);
  auto& watch = watches_[Lower(Server)];
  if (!watch) {
    const Endpoint endpoint = EndpointOf(Server);
    watch = std::make_unique<TCupsServerWatch>(config_, Server, endpoint.Host, endpoint.Port, Hub(),
                                               [this](const SpoolServerNotice& Notice) { NotifyServer(Notice); });
  }
  return watch->Prepare();
}

OsError TCupsSpooler::DoGetDefaultPrinter(std::string& Name) {
  const auto session = SessionFor(config_.LocalServer);
  http_t* http = session->Connection();
  if (!http) return RPC_S_SERVER_UNAVAILABLE;
  cups_dest_t* dest = cupsGetNamedDest(http, nullptr, nullptr);
  if (!dest) return ERROR_FILE_NOT_FOUND;
  Name = PrinterFullName(config_.LocalServer, dest->name);
  cupsFreeDests(1, dest);
  return ERROR_SUCCESS;
}

OsError TCupsSpooler::DoSetDefaultPrinter(const std::string& Name) {
  const auto name = ParseSpoolName(Name);
  if (!name || name->Queue.empty()) return ERROR_INVALID_PRINTER_NAME;
  if (!SameSpoolName(name->Server, config_.LocalServer)) return ERROR_NOT_SUPPORTED;
  const auto session = SessionFor(config_.LocalServer);
  PrinterInfo2 info;
  if (const OsError e = CupsReadPrinter(*session, config_.LocalServer, name->Queue, info)) return e;
  http_t* http = session->Connection();
  if (!http) return RPC_S_SERVER_UNAVAILABLE;
  cups_dest_t* list = nullptr;
  const int count = cupsGetDests2(http, &list);
  std::unique_ptr<cups_dest_t, DestsDeleter> dests(list, DestsDeleter{count});
  bool found = false;
  for (int i = 0; i < count; ++i) {
    list[i].is_default = !list[i].instance && SameSpoolName(list[i].name, name->Queue);
    found = found || list[i].is_default;
  }
  if (!found) return ERROR_INVALID_PRINTER_NAME;
  return cupsSetDests2(http, count, list) == 0 ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}
