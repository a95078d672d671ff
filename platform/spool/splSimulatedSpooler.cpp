#include "splSimulatedSpooler.h"

#include <stdexcept>

#include "splNames.h"

TSimulatedSpooler::TSimulatedSpooler(std::string LocalServer) : TSpoolerBase(LocalServer) {
  AddServer(LocalServer);
}

TSimulatedSpooler::SimServer* TSimulatedSpooler::FindServer(const std::string& Server) {
  for (auto& s : servers_)
    if (SameSpoolName(s.Name, Server)) return &s;
  return nullptr;
}

TSimulatedSpooler::SimServer& TSimulatedSpooler::ServerOrThrow(const std::string& Server) {
  SimServer* s = FindServer(Server);
  if (!s) throw std::invalid_argument("Unknown server " + Server);
  return *s;
}

TSimulatedSpooler::SimPrinter* TSimulatedSpooler::FindPrinter(SimServer& Server, const std::string& Printer) {
  for (auto& p : Server.Printers)
    if (SameSpoolName(p.State.Info.PrinterName, Printer)) return &p;
  return nullptr;
}

TSimulatedSpooler::SimPrinter& TSimulatedSpooler::PrinterOrThrow(const std::string& Printer, SimServer** Server) {
  const auto name = ParseSpoolName(Printer);
  if (!name || name->Queue.empty()) throw std::invalid_argument("Not a printer name: " + Printer);
  SimServer& s = ServerOrThrow(name->Server);
  SimPrinter* p = FindPrinter(s, Printer);
  if (!p) throw std::invalid_argument("Unknown printer " + Printer);
  if (Server) *Server = &s;
  return *p;
}

SpoolJobState& TSimulatedSpooler::JobOrThrow(SimPrinter& Printer, uint32_t JobId) {
  for (auto& j : Printer.State.Jobs)
    if (j.Info.JobId == JobId) return j;
  throw std::invalid_argument("Unknown job " + std::to_string(JobId));
}

void TSimulatedSpooler::Publish(SimServer& Server) {
  if (!Server.Reachable) return;
  SpoolServerState state;
  for (auto& p : Server.Printers) {
    uint32_t position = 1;
    for (auto& j : p.State.Jobs) j.Info.Position = position++;
    p.State.Info.cJobs = static_cast<uint32_t>(p.State.Jobs.size());
    state.Printers.push_back(p.State);
  }
  Hub().Publish(Server.Name, std::move(state));
}

void TSimulatedSpooler::AddServer(const std::string& Server) {
  const auto name = ParseSpoolName(Server);
  if (!name || !name->Queue.empty()) throw std::invalid_argument("Not a server name: " + Server);
  std::lock_guard<std::mutex> guard(lock_);
  if (FindServer(Server)) throw std::invalid_argument("Server exists: " + Server);
  servers_.push_back({Server, true, 1, {}, {}, {}, false, false});
  Publish(servers_.back());
}

void TSimulatedSpooler::SetServerReachable(const std::string& Server, bool Reachable, const std::string& Text) {
  SpoolServerNotice notice;
  bool tell = false;
  {
    std::lock_guard<std::mutex> guard(lock_);
    SimServer& s = ServerOrThrow(Server);
    if (s.Reachable == Reachable) return;
    s.Reachable = Reachable;
    if (!Reachable) {
      // As with CUPS, only a watched server's outage is noticed.
      s.OutageTold = Hub().WatchCount(s.Name) > 0;
      s.OutageText = Text;
      notice = {s.Name, SpoolServerCondition::Unreachable, RPC_S_SERVER_UNAVAILABLE, Text, {}};
    } else {
      s.GivenUp = false;
      notice = {s.Name, SpoolServerCondition::Reachable, ERROR_SUCCESS, {}, {}};
      if (!Hub().HasState(s.Name)) {
        // Watched from nothing: as the CUPS watch's baseline, the server as
        // it is; what ended meanwhile is in the history, not news.
        s.EndedWhileAway.clear();
        Publish(s);
      } else {
        // As the CUPS watch finds them in the completed-jobs history: the
        // jobs that ended while away, with their last fields, then the
        // server as it is.
        std::vector<SimPrinter> now = s.Printers;
        for (SpoolJobState& ended : s.EndedWhileAway)
          if (SimPrinter* p = FindPrinter(s, ended.Info.PrinterName)) p->State.Jobs.push_back(std::move(ended));
        s.EndedWhileAway.clear();
        Publish(s);
        s.Printers = std::move(now);
        Publish(s);
      }
    }
    tell = s.OutageTold;
  }
  if (tell) NotifyServer(notice);
}

void TSimulatedSpooler::GiveUpServer(const std::string& Server) {
  SpoolServerNotice notice;
  {
    std::lock_guard<std::mutex> guard(lock_);
    SimServer& s = ServerOrThrow(Server);
    if (s.Reachable) throw std::invalid_argument("Server is reachable: " + Server);
    Hub().Fail(s.Name, RPC_S_SERVER_UNAVAILABLE);
    s.OutageTold = false;
    s.GivenUp = true;
    notice = {s.Name, SpoolServerCondition::GivenUp, RPC_S_SERVER_UNAVAILABLE, s.OutageText, {}};
  }
  NotifyServer(notice);
}

void TSimulatedSpooler::AddPrinter(PrinterInfo2 Info, uint32_t GrantedAccess) {
  const auto name = ParseSpoolName(Info.PrinterName);
  if (!name || name->Queue.empty()) throw std::invalid_argument("Not a printer name: " + Info.PrinterName);
  std::lock_guard<std::mutex> guard(lock_);
  SimServer& s = ServerOrThrow(name->Server);
  if (FindPrinter(s, Info.PrinterName)) throw std::invalid_argument("Printer exists: " + Info.PrinterName);
  Info.ServerName = s.Name;
  Info.cJobs = 0;
  s.Printers.push_back({{std::move(Info), {}}, GrantedAccess});
  Publish(s);
}

void TSimulatedSpooler::UpdatePrinter(const PrinterInfo2& Info) {
  std::lock_guard<std::mutex> guard(lock_);
  SimServer* s = nullptr;
  SimPrinter& p = PrinterOrThrow(Info.PrinterName, &s);
  PrinterInfo2& kept = p.State.Info;
  PrinterInfo2 next = Info;
  next.PrinterName = kept.PrinterName;
  next.ServerName = kept.ServerName;
  next.cJobs = kept.cJobs;
  kept = std::move(next);
  Publish(*s);
}

void TSimulatedSpooler::SetPrinterStatus(const std::string& Printer, uint32_t Status) {
  std::lock_guard<std::mutex> guard(lock_);
  SimServer* s = nullptr;
  PrinterOrThrow(Printer, &s).State.Info.Status = Status;
  Publish(*s);
}

void TSimulatedSpooler::DeletePrinter(const std::string& Printer) {
  std::lock_guard<std::mutex> guard(lock_);
  SimServer* s = nullptr;
  SimPrinter& p = PrinterOrThrow(Printer, &s);
  s->Printers.erase(s->Printers.begin() + (&p - s->Printers.data()));
  Publish(*s);
}

uint32_t TSimulatedSpooler::SubmitJob(const std::string& Printer, JobInfo2 Job) {
  std::lock_guard<std::mutex> guard(lock_);
  SimServer* s = nullptr;
  SimPrinter& p = PrinterOrThrow(Printer, &s);
  Job.JobId = s->NextJobId++;
  Job.PrinterName = p.State.Info.PrinterName;
  p.State.Jobs.push_back({std::move(Job), 0});
  Publish(*s);
  return p.State.Jobs.back().Info.JobId;
}

void TSimulatedSpooler::UpdateJob(const std::string& Printer, uint32_t JobId,
                                  const std::function<void(SpoolJobState&)>& Change) {
  std::lock_guard<std::mutex> guard(lock_);
  SimServer* s = nullptr;
  Change(JobOrThrow(PrinterOrThrow(Printer, &s), JobId));
  Publish(*s);
}

void TSimulatedSpooler::SetJobStatus(const std::string& Printer, uint32_t JobId, uint32_t Status) {
  UpdateJob(Printer, JobId, [&](SpoolJobState& j) { j.Info.Status = Status; });
}

void TSimulatedSpooler::ProgressJob(const std::string& Printer, uint32_t JobId, uint32_t PagesPrinted,
                                    uint32_t BytesPrinted) {
  UpdateJob(Printer, JobId, [&](SpoolJobState& j) {
    j.Info.PagesPrinted = PagesPrinted;
    j.BytesPrinted = BytesPrinted;
  });
}

void TSimulatedSpooler::PrintJob(const std::string& Printer, uint32_t JobId) {
  UpdateJob(Printer, JobId, [](SpoolJobState& j) {
    j.Info.Status = JOB_STATUS_PRINTED;
    j.Info.PagesPrinted = j.Info.TotalPages;
    j.BytesPrinted = j.Info.Size;
  });
}

void TSimulatedSpooler::DeleteJob(const std::string& Printer, uint32_t JobId) {
  UpdateJob(Printer, JobId, [](SpoolJobState& j) { j.Info.Status |= JOB_STATUS_DELETING; });
  RemoveJob(Printer, JobId);
}

void TSimulatedSpooler::RemoveJob(const std::string& Printer, uint32_t JobId) {
  std::lock_guard<std::mutex> guard(lock_);
  SimServer* s = nullptr;
  SimPrinter& p = PrinterOrThrow(Printer, &s);
  const SpoolJobState& j = JobOrThrow(p, JobId);
  if (!s->Reachable) s->EndedWhileAway.push_back(j);
  JobInfo2 ended = j.Info;
  if (!(ended.Status & JOB_STATUS_PRINTED)) ended.Status |= JOB_STATUS_DELETED;
  ended.Position = 0;
  p.History.push_back(std::move(ended));
  p.State.Jobs.erase(p.State.Jobs.begin() + (&j - p.State.Jobs.data()));
  Publish(*s);
}

void TSimulatedSpooler::ForceOverflow(const std::string& Server) {
  std::lock_guard<std::mutex> guard(lock_);
  if (!Server.empty()) ServerOrThrow(Server);
  Hub().Overflow(Server);
}

void TSimulatedSpooler::SetNotifyCapacity(size_t Items) { Hub().SetCapacity(Items); }

void TSimulatedSpooler::FailCall(SpoolCall Call, OsError Error, unsigned Times) {
  std::lock_guard<std::mutex> guard(lock_);
  failures_[Call] = {Error, Times};
}

void TSimulatedSpooler::OnCall(SpoolCall Call, std::function<void()> Hook) {
  std::lock_guard<std::mutex> guard(lock_);
  if (Hook)
    hooks_[Call] = std::move(Hook);
  else
    hooks_.erase(Call);
}

OsError TSimulatedSpooler::BeginCall(SpoolCall Call) {
  TSpoolerBase::BeginCall(Call);
  std::function<void()> hook;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (const auto found = hooks_.find(Call); found != hooks_.end()) hook = found->second;
  }
  if (hook) hook();
  std::lock_guard<std::mutex> guard(lock_);
  const auto found = failures_.find(Call);
  if (found == failures_.end()) return ERROR_SUCCESS;
  const OsError error = found->second.Error;
  if (--found->second.Times == 0) failures_.erase(found);
  return error;
}

OsError TSimulatedSpooler::Reach(const std::string& Server, SimServer** Found) {
  SimServer* s = FindServer(Server);
  if (!s || !s->Reachable) return RPC_S_SERVER_UNAVAILABLE;
  *Found = s;
  return ERROR_SUCCESS;
}

OsError TSimulatedSpooler::ListServers(std::vector<std::string>& Servers) {
  std::lock_guard<std::mutex> guard(lock_);
  for (const auto& s : servers_)
    if (s.Reachable) Servers.push_back(s.Name);
  return ERROR_SUCCESS;
}

OsError TSimulatedSpooler::ReadPrinters(const std::string& Server, std::vector<PrinterInfo2>& Printers) {
  std::lock_guard<std::mutex> guard(lock_);
  SimServer* s = nullptr;
  if (const OsError e = Reach(Server, &s)) return e;
  for (const auto& p : s->Printers) Printers.push_back(p.State.Info);
  return ERROR_SUCCESS;
}

OsError TSimulatedSpooler::ReadPrinter(const std::string& Server, const std::string& Printer, PrinterInfo2& Info) {
  std::lock_guard<std::mutex> guard(lock_);
  SimServer* s = nullptr;
  if (const OsError e = Reach(Server, &s)) return e;
  const SimPrinter* p = FindPrinter(*s, Printer);
  if (!p) return ERROR_INVALID_PRINTER_NAME;
  Info = p->State.Info;
  return ERROR_SUCCESS;
}

OsError TSimulatedSpooler::ReadJobs(const std::string& Server, const std::string& Printer,
                                    std::vector<JobInfo2>& Jobs) {
  std::lock_guard<std::mutex> guard(lock_);
  SimServer* s = nullptr;
  if (const OsError e = Reach(Server, &s)) return e;
  const SimPrinter* p = FindPrinter(*s, Printer);
  if (!p) return ERROR_INVALID_PRINTER_NAME;
  for (const auto& j : p->State.Jobs) Jobs.push_back(j.Info);
  return ERROR_SUCCESS;
}

OsError TSimulatedSpooler::ReadJobHistory(const std::string& Server, const std::string& Printer,
                                          std::vector<JobInfo2>& Jobs) {
  std::lock_guard<std::mutex> guard(lock_);
  SimServer* s = nullptr;
  if (const OsError e = Reach(Server, &s)) return e;
  const SimPrinter* p = FindPrinter(*s, Printer);
  if (!p) return ERROR_INVALID_PRINTER_NAME;
  Jobs = p->History;
  return ERROR_SUCCESS;
}

OsError TSimulatedSpooler::CheckOpen(const std::string& Server, const std::string& Printer, uint32_t Access) {
  std::lock_guard<std::mutex> guard(lock_);
  SimServer* s = nullptr;
  if (const OsError e = Reach(Server, &s)) return e;
  if (Printer.empty()) return ERROR_SUCCESS;
  const SimPrinter* p = FindPrinter(*s, Printer);
  if (!p) return ERROR_INVALID_PRINTER_NAME;
  const uint32_t wanted = (Access ? Access : PRINTER_ACCESS_USE) & ~STANDARD_RIGHTS_REQUIRED;
  return (wanted & ~p->GrantedAccess) ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
}

OsError TSimulatedSpooler::PrepareWatch(const std::string& Server) {
  SpoolServerNotice notice;
  {
    std::lock_guard<std::mutex> guard(lock_);
    SimServer* s = FindServer(Server);
    if (!s) return RPC_S_SERVER_UNAVAILABLE;
    if (s->Reachable) return ERROR_SUCCESS;
    if (s->GivenUp) return RPC_S_SERVER_UNAVAILABLE;
    // As with CUPS, a server that does not answer is watched all the same.
    // One watched already is heard as the open watches hear it, the outage
    // included. One nobody watches is watched from nothing until it answers,
    // and its outage is told now.
    if (Hub().WatchCount(s->Name) > 0) return ERROR_SUCCESS;
    Hub().ForgetState(s->Name);
    if (s->OutageTold) return ERROR_SUCCESS;
    s->OutageTold = true;
    notice = {s->Name, SpoolServerCondition::Unreachable, RPC_S_SERVER_UNAVAILABLE, s->OutageText, {}};
  }
  NotifyServer(notice);
  return ERROR_SUCCESS;
}

OsError TSimulatedSpooler::DoGetDefaultPrinter(std::string& Name) {
  std::lock_guard<std::mutex> guard(lock_);
  if (defaultPrinter_.empty()) return ERROR_FILE_NOT_FOUND;
  Name = defaultPrinter_;
  return ERROR_SUCCESS;
}

OsError TSimulatedSpooler::DoSetDefaultPrinter(const std::string& Name) {
  std::lock_guard<std::mutex> guard(lock_);
  const auto name = ParseSpoolName(Name);
  if (!name || name->Queue.empty()) return ERROR_INVALID_PRINTER_NAME;
  SimServer* s = nullptr;
  if (const OsError e = Reach(name->Server, &s)) return e;
  const SimPrinter* p = FindPrinter(*s, Name);
  if (!p) return ERROR_INVALID_PRINTER_NAME;
  defaultPrinter_ = p->State.Info.PrinterName;
  return ERROR_SUCCESS;
}
