#pragma once
// A deterministic in-process spooler that tests script: servers, printers,
// jobs and their changes, lost notification data, unreachable servers and
// failures of single calls. Every change of the script reaches the open
// change notifications as the fields the real spooler sends for it.
// Script calls with an unknown server, printer or job throw
// std::invalid_argument.

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "splSpoolerBase.h"

class TSimulatedSpooler : public TSpoolerBase {
 public:
  // LocalServer: "\\HOST", created with the spooler.
  explicit TSimulatedSpooler(std::string LocalServer);

  void AddServer(const std::string& Server);
  // Unreachable: every call on the server fails with RPC_S_SERVER_UNAVAILABLE
  // but a new notification; its open notifications stay open and hear
  // nothing while the script goes on. Reachable again: they hear of the jobs
  // that left the queues meanwhile (first with their last fields), then the
  // server as it is now. A notification opened while nothing watched the
  // server watches it from nothing, as the CUPS watch does when it cannot
  // read a baseline: its outage is a notice from then on, and the server as
  // it is when it answers is all news (the jobs that ended meanwhile are in
  // the history). Each change of reachability of a watched server is a
  // server notice, Text that of an outage.
  void SetServerReachable(const std::string& Server, bool Reachable, const std::string& Text = "Connection refused");
  // An unreachable server past the outage limit: its notifications fail
  // with RPC_S_SERVER_UNAVAILABLE, and a GivenUp notice tells so. That ends
  // the outage: a later notification begins another.
  void GiveUpServer(const std::string& Server);

  // Info.PrinterName is "\\HOST\queue" on a known server; ServerName and cJobs
  // are filled in. GrantedAccess: the rights OpenPrinter may ask for.
  void AddPrinter(PrinterInfo2 Info, uint32_t GrantedAccess = PRINTER_ALL_ACCESS);
  // Replaces every field but the name, the server and cJobs.
  void UpdatePrinter(const PrinterInfo2& Info);
  void SetPrinterStatus(const std::string& Printer, uint32_t Status);
  void DeletePrinter(const std::string& Printer);

  // Appends Job to the queue; JobId (numbered per server from 1), PrinterName
  // and Position are filled in. Returns the job id.
  uint32_t SubmitJob(const std::string& Printer, JobInfo2 Job);
  void SetJobStatus(const std::string& Printer, uint32_t JobId, uint32_t Status);
  void ProgressJob(const std::string& Printer, uint32_t JobId, uint32_t PagesPrinted, uint32_t BytesPrinted);
  // The job printed in full: status JOB_STATUS_PRINTED, every page and byte.
  void PrintJob(const std::string& Printer, uint32_t JobId);
  // A user's cancel: the job shows JOB_STATUS_DELETING, then leaves the queue.
  void DeleteJob(const std::string& Printer, uint32_t JobId);
  // The job leaves the queue. A job that leaves printed or deleted stays in
  // the printer's history (EnumJobHistory) with JOB_STATUS_DELETED added
  // when it did not print.
  void RemoveJob(const std::string& Printer, uint32_t JobId);

  // The open notifications of the server (all of them for "") lose their
  // pending data: the next fetch reports PRINTER_NOTIFY_INFO_DISCARDED.
  void ForceOverflow(const std::string& Server = {});
  // Data items a notification holds before it overflows by itself.
  void SetNotifyCapacity(size_t Items);

  // The next Times calls of that kind fail with Error before doing anything.
  void FailCall(SpoolCall Call, OsError Error, unsigned Times = 1);
  // Hook runs at the start of every call of that kind, on the calling
  // thread, with no lock of the spooler held (it may script the spooler or
  // wait); an empty one is removed. For a test that must act at one point
  // of another thread's road.
  void OnCall(SpoolCall Call, std::function<void()> Hook);

 protected:
  OsError BeginCall(SpoolCall Call) override;
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
  struct SimPrinter {
    SpoolPrinterState State;
    uint32_t GrantedAccess = 0;
    std::vector<JobInfo2> History;  // the jobs that left, oldest first
  };
  struct SimServer {
    std::string Name;
    bool Reachable = true;
    uint32_t NextJobId = 1;
    std::vector<SimPrinter> Printers;
    // The jobs that left a queue while the server was unreachable.
    std::vector<SpoolJobState> EndedWhileAway;
    std::string OutageText;
    bool OutageTold = false;  // the outage was a notice, so its end is one
    // Past the outage limit: new watches are refused until it answers.
    bool GivenUp = false;
  };
  struct Failure {
    OsError Error;
    unsigned Times;
  };

  SimServer* FindServer(const std::string& Server);
  SimServer& ServerOrThrow(const std::string& Server);
  SimPrinter* FindPrinter(SimServer& Server, const std::string& Printer);
  SimPrinter& PrinterOrThrow(const std::string& Printer, SimServer** Server = nullptr);
  SpoolJobState& JobOrThrow(SimPrinter& Printer, uint32_t JobId);
  OsError Reach(const std::string& Server, SimServer** Found);
  void UpdateJob(const std::string& Printer, uint32_t JobId, const std::function<void(SpoolJobState&)>& Change);
  // Renumbers positions and counts, then hands the server's state to the
  // notifications, unless it is unreachable. Called under lock_.
  void Publish(SimServer& Server);

  std::mutex lock_;
  std::vector<SimServer> servers_;
  std::string defaultPrinter_;
  std::map<SpoolCall, Failure> failures_;
  std::map<SpoolCall, std::function<void()>> hooks_;
};
