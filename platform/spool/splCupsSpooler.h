#pragma once
// The spooler over CUPS: the local server "\\HOST" is the configured CUPS
// server, any other "\\HOST" is the CUPS server at ipp://HOST:631. Printers
// are the servers' queues, "\\HOST\queue"; the queue holds the jobs that
// have not completed. Change notifications follow the servers through IPP
// event subscriptions (see splCupsServerWatch.h). The default printer is the
// user's CUPS default destination on the local server.

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "splCupsConfig.h"
#include "splCupsServerWatch.h"
#include "splSpoolerBase.h"

class TCupsSpooler : public TSpoolerBase {
 public:
  explicit TCupsSpooler(CupsConfig Config);
  ~TCupsSpooler() override;

  std::string ErrorText(OsError Code) const override;

 protected:
  OsError ListServers(std::vector<std::string>& Servers) override;
  OsError ReadPrinters(const std::string& Server, std::vector<PrinterInfo2>& Printers) override;
  OsError ReadPrinter(const std::string& Server, const std::string& Printer, PrinterInfo2& Info) override;
  OsError ReadJobs(const std::string& Server, const std::string& Printer, std::vector<JobInfo2>& Jobs) override;
  OsError ReadJobHistory(const std::string& Server, const std::string& Printer, std::vector<JobInfo2>& Jobs) override;
  OsError CheckOpen(const std::string& Server, const std::string& Printer, uint32_t Access) override;
  OsError PrepareWatch(const std::string& Server) override;
  OsError DoGetDefaultPrinter(std::string& Name) override;
  OsError DoSetDefaultPrinter(const std::string& Name) override;

 private:
  struct Endpoint {
    std::string Host;
    int Port;
  };
  Endpoint EndpointOf(const std::string& Server) const;
  std::unique_ptr<TCupsSession> SessionFor(const std::string& Server) const;
  // A watched server is read from its watch's last look while that look
  // succeeded: a request for each job's re-read would make the server send
  // its whole printer list per job.
  bool Watched(const std::string& Server);

  const CupsConfig config_;
  std::mutex watchesLock_;
  std::map<std::string, std::unique_ptr<TCupsServerWatch>> watches_;  // by lower-case server name
};
