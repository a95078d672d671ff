#pragma once
// What both back ends share: name checks, the enumeration flags, printer
// handles and the change notifications. A back end reads servers, printers
// and jobs and publishes each server's state to Hub().

#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "splNotifyHub.h"
#include "splSpooler.h"

class TSpoolerBase : public TSpooler {
 public:
  int ChangeNotificationFd(ChangeHandle Change) override;
  const std::string& LocalServer() const { return localServer_; }

 protected:
  explicit TSpoolerBase(std::string LocalServer);

  // The print servers a network scan finds.
  virtual OsError ListServers(std::vector<std::string>& Servers) = 0;
  virtual OsError ReadPrinters(const std::string& Server, std::vector<PrinterInfo2>& Printers) = 0;
  virtual OsError ReadPrinter(const std::string& Server, const std::string& Printer, PrinterInfo2& Info) = 0;
  // The queue in order, with Position set.
  virtual OsError ReadJobs(const std::string& Server, const std::string& Printer, std::vector<JobInfo2>& Jobs) = 0;
  // The ended jobs the server remembers.
  virtual OsError ReadJobHistory(const std::string& Server, const std::string& Printer,
                                 std::vector<JobInfo2>& Jobs) = 0;
  // Whether the server or printer (Printer empty: the server) can be opened
  // with those rights.
  virtual OsError CheckOpen(const std::string& Server, const std::string& Printer, uint32_t Access) = 0;
  // Makes sure Hub() holds the server's state and keeps it current.
  virtual OsError PrepareWatch(const std::string& Server) = 0;

  TSpoolNotifyHub& Hub() { return hub_; }

  OsError DoEnumPrinters1(uint32_t Flags, const std::string& Name, std::vector<PrinterInfo1>& Printers) final;
  OsError DoEnumPrinters2(uint32_t Flags, const std::string& Name, std::vector<PrinterInfo2>& Printers) final;
  OsError DoOpenPrinter(const std::string& Name, uint32_t DesiredAccess, PrinterHandle& Handle) final;
  OsError DoClosePrinter(PrinterHandle Handle) final;
  OsError DoGetPrinter(PrinterHandle Handle, PrinterInfo2& Info) final;
  OsError DoEnumJobs(PrinterHandle Handle, uint32_t FirstJob, uint32_t NoJobs, std::vector<JobInfo2>& Jobs) final;
  OsError DoEnumJobHistory(PrinterHandle Handle, std::vector<JobInfo2>& Jobs) final;
  OsError DoFindFirstChange(PrinterHandle Handle, uint32_t Filter, const PrinterNotifyOptions* Options,
                            ChangeHandle& Change) final;
  OsError DoFindNextChange(ChangeHandle Change, uint32_t& ChangeWord, const PrinterNotifyOptions* Options,
                           std::optional<PrinterNotifyInfo>& Info) final;
  OsError DoFindCloseChange(ChangeHandle Change) final;

 private:
  struct Opened {
    std::string Server;
    std::string Printer;  // full name; empty for a server handle
  };
  bool Lookup(PrinterHandle Handle, Opened& Entry);
  OsError ServerOf(uint32_t Flags, const std::string& Name, std::string& Server) const;

  const std::string localServer_;
  TSpoolNotifyHub hub_;
  std::mutex handlesLock_;
  std::unordered_map<PrinterHandle, Opened> handles_;
  PrinterHandle nextHandle_ = 1;
};
