#include "splSpoolerBase.h"

#include "splNames.h"

TSpoolerBase::TSpoolerBase(std::string LocalServer) : localServer_(std::move(LocalServer)) {}

int TSpoolerBase::ChangeNotificationFd(ChangeHandle Change) { return hub_.Fd(Change); }

OsError TSpoolerBase::ServerOf(uint32_t Flags, const std::string& Name, std::string& Server) const {
  if (Flags & PRINTER_ENUM_NAME) {
    if (Name.empty()) {
      Server = localServer_;
      return ERROR_SUCCESS;
    }
    const auto parsed = ParseSpoolName(Name);
    if (!parsed || !parsed->Queue.empty()) return ERROR_INVALID_PRINTER_NAME;
    Server = parsed->Server;
    return ERROR_SUCCESS;
  }
  if (Flags & PRINTER_ENUM_LOCAL) {
    Server = localServer_;
    return ERROR_SUCCESS;
  }
  return ERROR_INVALID_PARAMETER;
}

OsError TSpoolerBase::DoEnumPrinters1(uint32_t Flags, const std::string& Name, std::vector<PrinterInfo1>& Printers) {
  if (Flags & PRINTER_ENUM_REMOTE || (Flags & PRINTER_ENUM_NAME && Name.empty())) {
    std::vector<std::string> servers;
    if (const OsError e = ListServers(servers)) return e;
    for (const auto& s : servers) Printers.push_back({PRINTER_ENUM_CONTAINER, s, s, {}});
    return ERROR_SUCCESS;
  }
  std::vector<PrinterInfo2> level2;
  if (const OsError e = DoEnumPrinters2(Flags, Name, level2)) return e;
  for (const auto& p : level2)
    Printers.push_back({PRINTER_ENUM_ICON8, p.PrinterName + "," + p.DriverName + "," + p.Location, p.PrinterName,
                        p.Comment});
  return ERROR_SUCCESS;
}

OsError TSpoolerBase::DoEnumPrinters2(uint32_t Flags, const std::string& Name, std::vector<PrinterInfo2>& Printers) {
  if (Flags & PRINTER_ENUM_REMOTE) return ERROR_INVALID_LEVEL;
  if ((Flags & (PRINTER_ENUM_NAME | PRINTER_ENUM_LOCAL)) == 0 && Flags & PRINTER_ENUM_CONNECTIONS)
    return ERROR_SUCCESS;  // every queue is local to its server: no connections
  std::string server;
  if (const OsError e = ServerOf(Flags, Name, server)) return e;
  return ReadPrinters(server, Printers);
}

OsError TSpoolerBase::DoOpenPrinter(const std::string& Name, uint32_t DesiredAccess, PrinterHandle& Handle) {
  const auto parsed = ParseSpoolName(Name);
  if (!parsed) return ERROR_INVALID_PRINTER_NAME;
  Opened entry{parsed->Server, parsed->Queue.empty() ? std::string() : Name};
  if (const OsError e = CheckOpen(entry.Server, entry.Printer, DesiredAccess)) return e;
  std::lock_guard<std::mutex> guard(handlesLock_);
  Handle = nextHandle_++;
  handles_.emplace(Handle, std::move(entry));
  return ERROR_SUCCESS;
}

OsError TSpoolerBase::DoClosePrinter(PrinterHandle Handle) {
  std::lock_guard<std::mutex> guard(handlesLock_);
  return handles_.erase(Handle) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

bool TSpoolerBase::Lookup(PrinterHandle Handle, Opened& Entry) {
  std::lock_guard<std::mutex> guard(handlesLock_);
  const auto found = handles_.find(Handle);
  if (found == handles_.end()) return false;
  Entry = found->second;
  return true;
}

OsError TSpoolerBase::DoGetPrinter(PrinterHandle Handle, PrinterInfo2& Info) {
  Opened entry;
  if (!Lookup(Handle, entry) || entry.Printer.empty()) return ERROR_INVALID_HANDLE;
  return ReadPrinter(entry.Server, entry.Printer, Info);
}

OsError TSpoolerBase::DoEnumJobs(PrinterHandle Handle, uint32_t FirstJob, uint32_t NoJobs,
                                 std::vector<JobInfo2>& Jobs) {
  Opened entry;
  if (!Lookup(Handle, entry) || entry.Printer.empty()) return ERROR_INVALID_HANDLE;
  std::vector<JobInfo2> all;
  if (const OsError e = ReadJobs(entry.Server, entry.Printer, all)) return e;
  for (size_t i = FirstJob; i < all.size() && Jobs.size() < NoJobs; ++i) Jobs.push_back(std::move(all[i]));
  return ERROR_SUCCESS;
}

OsError TSpoolerBase::DoEnumJobHistory(PrinterHandle Handle, std::vector<JobInfo2>& Jobs) {
  Opened entry;
  if (!Lookup(Handle, entry) || entry.Printer.empty()) return ERROR_INVALID_HANDLE;
  return ReadJobHistory(entry.Server, entry.Printer, Jobs);
}

OsError TSpoolerBase::DoFindFirstChange(PrinterHandle Handle, uint32_t Filter, const PrinterNotifyOptions* Options,
                                        ChangeHandle& Change) {
  Opened entry;
  if (!Lookup(Handle, entry)) return ERROR_INVALID_HANDLE;
  if (const OsError e = PrepareWatch(entry.Server)) return e;
  return hub_.Open(entry.Server, entry.Printer, Filter, Options, Change);
}

OsError TSpoolerBase::DoFindNextChange(ChangeHandle Change, uint32_t& ChangeWord, const PrinterNotifyOptions* Options,
                                       std::optional<PrinterNotifyInfo>& Info) {
  const bool refresh = Options && Options->Flags & PRINTER_NOTIFY_OPTIONS_REFRESH;
  return hub_.Next(Change, refresh, ChangeWord, Info);
}

OsError TSpoolerBase::DoFindCloseChange(ChangeHandle Change) { return hub_.Close(Change); }
