#include "thrWatchHarness.h"

#include <algorithm>

#include "CheckAPI.h"
#include "SynchApp.h"
#include "gTools.h"
#include "osApc.h"
#include "osDispatcher.h"
#include "osErrors.h"
#include "osSyncTicks.h"
#include "osTestWait.h"
#include "rtlStrUtils.h"
#include "uAlerter.h"

TVirtualNode* TTreeStub::AddNode(TVirtualNode* Parent) {
  std::lock_guard guard(lock);
  nodes.push_back(std::make_unique<TVirtualNode>());
  nodes.back()->Parent = Parent;
  return nodes.back().get();
}

void TTreeStub::DeleteNode(TVirtualNode* Node) noexcept {
  std::lock_guard guard(lock);
  // The node and everything below it.
  for (const auto& node : nodes) {
    for (TVirtualNode* up = node.get(); up; up = up->Parent) {
      if (up == Node) {
        node->Deleted = true;
        break;
      }
    }
  }
}

int TTreeStub::LiveNodes() {
  std::lock_guard guard(lock);
  return static_cast<int>(std::count_if(nodes.begin(), nodes.end(), [](const auto& node) { return !node->Deleted; }));
}

TWatchHarness::TWatchHarness() {
  SetApplicationExceptionHandler([this](TBaseThread* sender, Exception& e) {
    // Alert classes are kept, any other becomes a serious one.
    const bool alertClass = dynamic_cast<EAlertException*>(&e) != nullptr;
    std::lock_guard guard(lock);
    alerts.push_back((alertClass ? e.ClassName() : std::string("EAlertSerious")) + ": " + e.Message);
  });
  SetDataThreadWake([this] { ++dataThreadWakes; });
}

TWatchHarness::~TWatchHarness() {
  if (!shutDown) ShutdownMonitoring(60000);
  SetApplicationExceptionHandler(nullptr);
  SetDataThreadWake(nullptr);
  SetScanWaitForm({});
}

bool TWatchHarness::IsExcluded(const std::string& Name) const {
  return std::any_of(Excluded.begin(), Excluded.end(), [&](const std::string& name) { return SameText(name, Name); });
}

void TWatchHarness::StartEnumeration(const std::string& ServerName) {
  auto* thread = TBaseThread::Create<TThreadEnumerateRemote>(true, ServerName);
  thread->OnServerFound = [this](TThreadEnumerateRemote* sender, const std::string& name, int32_t count,
                                 const std::vector<PrinterInfo2>& buffer) {
    return OnServerFound(sender, name, count, buffer);
  };
  thread->OnPrinterFound = [this](TThreadEnumerateRemote* sender, const std::string& name,
                                  const PrinterInfo2& printer) { OnPrinterFound(sender, name, printer); };
  enumerations.push_back(thread->Handle());
  thread->Resume();
}

bool TWatchHarness::OnServerFound(TThreadEnumerateRemote*, const std::string& ServerName, int32_t,
                                  const std::vector<PrinterInfo2>& Buffer) {
  Reported.push_back("server " + ServerName);
  if (IsExcluded(ServerName)) return false;
  THeldList held(ServerList());
  if (ServerList().FindByName(ServerName)) return true;
  PrinterHandle handle = 0;
  if (const OsError error = CurrentSpooler()->OpenPrinter(ServerName, 0, handle)) throw ESysError(OsErrorMessage(error));
  TThreadServer* server = ServerList().AddServer(ServerName, handle);
  server->OnChange = [this](TThreadCustom* sender) { OnServerChanged(sender); };
  server->SetModel(Buffer);
  server->Node = Tree->AddNode(nullptr);
  server->NodeOwner = Tree;
  server->Resume();
  return true;
}

void TWatchHarness::OnPrinterFound(TThreadEnumerateRemote*, const std::string& ServerName, const PrinterInfo2& Printer) {
  Reported.push_back("printer " + Printer.PrinterName);
  if (IsExcluded(Printer.PrinterName)) return;
  THeldList held(ServerList());
  auto* server = static_cast<TThreadServer*>(ServerList().FindByName(ServerName));
  if (server && !server->FindPrinterThread(Printer.PrinterName)) StartPrinterWatch(*server, Printer);
}

void TWatchHarness::StartPrinterWatch(TThreadServer& Server, const PrinterInfo2& Printer) {
  PrinterHandle handle = 0;
  OpenPrinterChecked(Printer.PrinterName, handle);
  auto* thread = TBaseThread::Create<TThreadJobs>(true, Printer.PrinterName, handle);
  thread->SetServer(Server);
  thread->OnChange = [this](TThreadCustom* sender) { OnPrinterJobsChanged(sender); };
  thread->Node = Tree->AddNode(Server.Node);
  thread->NodeOwner = Tree;
  Server.Printers().Add(thread);
  thread->Resume();
}

void TWatchHarness::OnServerChanged(TThreadCustom* Sender) {
  auto* server = static_cast<TThreadServer*>(Sender);
  {
    std::lock_guard guard(lock);
    ++serverChanges[{server->Name(), server->PrinterChanged}];
  }
  if (!server->PrinterChanged) return;
  const std::vector<PrinterInfo2>* printers = server->GetPrinters();
  try {
    server->StopPrinterThreads();
    for (const PrinterInfo2& printer : *printers) {
      if (!IsExcluded(printer.PrinterName)) StartPrinterWatch(*server, printer);
    }
  } catch (...) {
    server->UnlockModel();
    throw;
  }
  server->UnlockModel();
}

void TWatchHarness::OnPrinterJobsChanged(TThreadCustom* Sender) {
  {
    std::lock_guard guard(lock);
    ++jobsChanges[Sender->Name()];
    int32_t& latest = latestCallers[Sender->Name()];
    latest = std::max(latest, Sender->Sequence());
  }
  if (AfterJobsChanged) AfterJobsChanged(static_cast<TThreadJobs&>(*Sender));
}

bool TWatchHarness::ShutdownMonitoring(uint32_t LimitMs) {
  shutDown = true;
  SignalAppTerminate();
  const uint32_t start = GetTickCount();
  int32_t running = RunningThreads().GetValueTimeout(100);
  while (running != 0) {
    if (GetTickCount() - start > LimitMs) return false;
    SleepEx(1, false);
    if (const int32_t count = RunningThreads().GetValueTimeout(100); count >= 0) running = count;
  }
  // What the ended threads handed to the main thread.
  ProcessMessages();
  return true;
}

bool TWatchHarness::WaitUntil(const std::function<bool()>& Condition, uint32_t LimitMs) {
  return ::WaitUntil(Condition, LimitMs);
}

bool TWatchHarness::WaitUntilWatched(const std::string& Printer, const std::function<void()>& Probe) {
  if (!WaitUntil([&] { return JobsChanges(Printer) >= 1; })) return false;
  const int started = JobsChanges(Printer);
  const uint32_t start = GetTickCount();
  while (GetTickCount() - start < 20000) {
    Probe();
    if (WaitUntil([&] { return JobsChanges(Printer) > started; }, 250)) return true;
  }
  return false;
}

bool TWatchHarness::EnumerationsEnded() {
  return std::all_of(enumerations.begin(), enumerations.end(), [](const TThreadHandle& thread) {
    return WaitForSingleObject(thread.get(), 0) == WAIT_OBJECT_0;
  });
}

bool TWatchHarness::HasPrinterThread(const std::string& Server, const std::string& Printer) {
  return ListedThread(Server, Printer) != 0;
}

int32_t TWatchHarness::ListedThread(const std::string& Server, const std::string& Printer) {
  THeldList heldServers(ServerList());
  auto* server = static_cast<TThreadServer*>(ServerList().FindByName(Server));
  if (!server) return 0;
  THeldList heldPrinters(server->Printers());
  const TThreadJobs* thread = server->FindPrinterThread(Printer);
  return thread ? thread->Sequence() : 0;
}

std::optional<PrinterQueue> TWatchHarness::QueueOf(const std::string& Server, const std::string& Printer) {
  THeldList heldServers(ServerList());
  auto* server = static_cast<TThreadServer*>(ServerList().FindByName(Server));
  if (!server) return std::nullopt;
  THeldList heldPrinters(server->Printers());
  TThreadJobs* thread = server->FindPrinterThread(Printer);
  if (!thread) return std::nullopt;
  std::optional<PrinterQueue> copy;
  if (const PrinterQueue* queue = thread->GetQueue()) copy = *queue;
  thread->UnlockModel();
  return copy;
}

std::optional<TPendingJob> TWatchHarness::PendingJob(const std::string& Printer, uint32_t JobId) {
  TJobListLock locked;
  TPendingJob key;
  key.JobId = JobId;
  key.PrinterName = Printer;
  int32_t index;
  if (!JobList().Search(&key, index)) return std::nullopt;
  return *JobList().At(index);
}

std::vector<TPendingJob> TWatchHarness::TakePendingJobs(const std::string& Printer) {
  std::vector<TPendingJob> taken;
  JobList().FreeIf([&](TPendingJob* entry) {
    if (!SameText(entry->PrinterName, Printer)) return false;
    taken.push_back(*entry);
    return true;
  });
  return taken;
}

int32_t TWatchHarness::LatestCaller(const std::string& Printer) {
  std::lock_guard guard(lock);
  const auto found = latestCallers.find(Printer);
  return found == latestCallers.end() ? 0 : found->second;
}

std::vector<std::string> TWatchHarness::Alerts() {
  std::lock_guard guard(lock);
  return alerts;
}

int TWatchHarness::ServerChanges(const std::string& Server, bool PrinterChanged) {
  std::lock_guard guard(lock);
  const auto found = serverChanges.find({Server, PrinterChanged});
  return found == serverChanges.end() ? 0 : found->second;
}

int TWatchHarness::JobsChanges(const std::string& Printer) {
  std::lock_guard guard(lock);
  const auto found = jobsChanges.find(Printer);
  return found == jobsChanges.end() ? 0 : found->second;
}
