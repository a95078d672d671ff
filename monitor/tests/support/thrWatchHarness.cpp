#include "thrWatchHarness.h"

#include <algorithm>

#include "Alerter.h"
#include "MonitorCommon.h"
#include "SynchApp.h"
#include "SystemErrors.h"
#include "osApc.h"
#include "osDispatcher.h"
#include "osErrors.h"
#include "osSyncTicks.h"
#include "osTestWait.h"
#include "rtlStrUtils.h"

TVirtualNode* TTreeStub::AddNode(TVirtualNode* parent) {
  std::lock_guard guard(lock);
  nodes.push_back(std::make_unique<TVirtualNode>());
  nodes.back()->Parent = parent;
  return nodes.back().get();
}

void TTreeStub::DeleteNode(TVirtualNode* node) noexcept {
  std::lock_guard guard(lock);
  // The node and everything below it.
  for (const auto& held : nodes) {
    for (TVirtualNode* up = held.get(); up; up = up->Parent) {
      if (up == node) {
        held->Deleted = true;
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

bool TWatchHarness::IsExcluded(const std::string& name) const {
  return std::any_of(Excluded.begin(), Excluded.end(), [&](const std::string& excluded) { return SameText(excluded, name); });
}

void TWatchHarness::StartEnumeration(const std::string& serverName) {
  auto* thread = TBaseThread::Create<TThreadEnumerateRemote>(true, serverName);
  thread->OnServerFound = [this](TThreadEnumerateRemote* sender, const std::string& name, int32_t count,
                                 const std::vector<PrinterInfo2>& buffer) {
    return OnServerFound(sender, name, count, buffer);
  };
  thread->OnPrinterFound = [this](TThreadEnumerateRemote* sender, const std::string& name,
                                  const PrinterInfo2& printer) { OnPrinterFound(sender, name, printer); };
  enumerations.push_back(thread->Handle());
  thread->Resume();
}

bool TWatchHarness::OnServerFound(TThreadEnumerateRemote*, const std::string& serverName, int32_t,
                                  const std::vector<PrinterInfo2>& buffer) {
  Reported.push_back("server " + serverName);
  if (IsExcluded(serverName)) return false;
  THeldList held(ServerList());
  if (ServerList().FindByName(serverName)) return true;
  PrinterHandle handle = 0;
  if (const OsError error = CurrentSpooler()->OpenPrinter(serverName, 0, handle)) throw ESysError(OsErrorMessage(error));
  TThreadServer* server = ServerList().AddServer(serverName, handle);
  server->OnChange = [this](TThreadCustom* sender) { OnServerChanged(sender); };
  server->SetModel(buffer);
  server->Node = Tree->AddNode(nullptr);
  server->NodeOwner = Tree;
  server->Resume();
  return true;
}

void TWatchHarness::OnPrinterFound(TThreadEnumerateRemote*, const std::string& serverName, const PrinterInfo2& printer) {
  Reported.push_back("printer " + printer.PrinterName);
  if (IsExcluded(printer.PrinterName)) return;
  THeldList held(ServerList());
  auto* server = static_cast<TThreadServer*>(ServerList().FindByName(serverName));
  if (!server) return;
  THeldList heldPrinters(server->Printers());
  if (!server->FindPrinterThread(printer.PrinterName)) StartPrinterWatch(*server, printer);
}

void TWatchHarness::SetBeforePrinterWatch(std::function<void(const PrinterInfo2& printer)> hook) {
  std::lock_guard guard(lock);
  beforePrinterWatch = std::move(hook);
}

void TWatchHarness::StartPrinterWatch(TThreadServer& server, const PrinterInfo2& printer) {
  std::function<void(const PrinterInfo2&)> before;
  {
    std::lock_guard guard(lock);
    before = beforePrinterWatch;
  }
  if (before) before(printer);
  PrinterHandle handle = 0;
  OpenPrinterChecked(printer.PrinterName, handle);
  auto* thread = TBaseThread::Create<TThreadJobs>(true, printer.PrinterName, handle);
  thread->SetServer(server);
  thread->OnChange = [this](TThreadCustom* sender) { OnPrinterJobsChanged(sender); };
  thread->Node = Tree->AddNode(server.Node);
  thread->NodeOwner = Tree;
  server.Printers().Add(thread);
  thread->Resume();
}

void TWatchHarness::OnServerChanged(TThreadCustom* sender) {
  auto* server = static_cast<TThreadServer*>(sender);
  {
    std::lock_guard guard(lock);
    ++serverChanges[{server->Name(), server->PrinterChanged}];
  }
  if (!server->PrinterChanged) return;
  THeldModel held(*server, server->GetPrinters());
  server->StopPrinterThreads();
  for (const PrinterInfo2& printer : *held.Get()) {
    if (!IsExcluded(printer.PrinterName)) StartPrinterWatch(*server, printer);
  }
}

void TWatchHarness::OnPrinterJobsChanged(TThreadCustom* sender) {
  {
    std::lock_guard guard(lock);
    ++jobsChanges[sender->Name()];
    int32_t& latest = latestCallers[sender->Name()];
    latest = std::max(latest, sender->Sequence());
  }
  if (AfterJobsChanged) AfterJobsChanged(static_cast<TThreadJobs&>(*sender));
}

bool TWatchHarness::ShutdownMonitoring(uint32_t limitMs) {
  shutDown = true;
  SignalAppTerminate();
  const uint32_t start = GetTickCount();
  int32_t running = RunningThreads().GetValueTimeout(100);
  while (running != 0) {
    if (GetTickCount() - start > limitMs) return false;
    SleepEx(1, false);
    if (const int32_t count = RunningThreads().GetValueTimeout(100); count >= 0) running = count;
  }
  // What the ended threads handed to the main thread.
  ProcessMessages();
  return true;
}

bool TWatchHarness::WaitUntil(const std::function<bool()>& condition, uint32_t limitMs) {
  return ::WaitUntil(condition, limitMs);
}

bool TWatchHarness::WaitUntilWatched(const std::string& printer, const std::function<void()>& probe) {
  if (!WaitUntil([&] { return JobsChanges(printer) >= 1; })) return false;
  const int started = JobsChanges(printer);
  const uint32_t start = GetTickCount();
  while (GetTickCount() - start < 20000) {
    probe();
    if (WaitUntil([&] { return JobsChanges(printer) > started; }, 250)) return true;
  }
  return false;
}

bool TWatchHarness::EnumerationsEnded() {
  return std::all_of(enumerations.begin(), enumerations.end(), [](const TThreadHandle& thread) {
    return WaitForSingleObject(thread.get(), 0) == WAIT_OBJECT_0;
  });
}

bool TWatchHarness::HasPrinterThread(const std::string& serverName, const std::string& printerName) {
  return ListedThread(serverName, printerName) != 0;
}

int32_t TWatchHarness::ListedThread(const std::string& serverName, const std::string& printerName) {
  THeldList heldServers(ServerList());
  auto* server = static_cast<TThreadServer*>(ServerList().FindByName(serverName));
  if (!server) return 0;
  THeldList heldPrinters(server->Printers());
  const TThreadJobs* thread = server->FindPrinterThread(printerName);
  return thread ? thread->Sequence() : 0;
}

std::optional<PrinterQueue> TWatchHarness::QueueOf(const std::string& serverName, const std::string& printerName) {
  THeldList heldServers(ServerList());
  auto* server = static_cast<TThreadServer*>(ServerList().FindByName(serverName));
  if (!server) return std::nullopt;
  THeldList heldPrinters(server->Printers());
  TThreadJobs* thread = server->FindPrinterThread(printerName);
  if (!thread) return std::nullopt;
  std::optional<PrinterQueue> copy;
  THeldModel held(*thread, thread->GetQueue());
  if (const PrinterQueue* queue = held.Get()) copy = *queue;
  return copy;
}

std::optional<TPendingJob> TWatchHarness::PendingJob(const std::string& printer, uint32_t jobId) {
  TJobListLock locked;
  TPendingJob key;
  key.JobId = jobId;
  key.PrinterName = printer;
  int32_t index;
  if (!JobList().Search(&key, index)) return std::nullopt;
  return *JobList().At(index);
}

std::vector<TPendingJob> TWatchHarness::TakePendingJobs(const std::string& printer) {
  std::vector<TPendingJob> taken;
  JobList().FreeIf([&](TPendingJob* entry) {
    if (!SameText(entry->PrinterName, printer)) return false;
    taken.push_back(*entry);
    return true;
  });
  return taken;
}

int32_t TWatchHarness::LatestCaller(const std::string& printer) {
  std::lock_guard guard(lock);
  const auto found = latestCallers.find(printer);
  return found == latestCallers.end() ? 0 : found->second;
}

std::vector<std::string> TWatchHarness::Alerts() {
  std::lock_guard guard(lock);
  return alerts;
}

int TWatchHarness::ServerChanges(const std::string& server, bool printerChanged) {
  std::lock_guard guard(lock);
  const auto found = serverChanges.find({server, printerChanged});
  return found == serverChanges.end() ? 0 : found->second;
}

int TWatchHarness::JobsChanges(const std::string& printer) {
  std::lock_guard guard(lock);
  const auto found = jobsChanges.find(printer);
  return found == jobsChanges.end() ? 0 : found->second;
}
