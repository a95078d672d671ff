#include "thrServer.h"

#include <algorithm>

#include "MonitorCommon.h"
#include "SystemErrors.h"
#include "osApc.h"
#include "osErrors.h"
#include "rtlAssert.h"
#include "rtlStrUtils.h"
#include "thrJobs.h"
#include "thrServerAlerts.h"

namespace {

// Holds a thread list's lock for a scope.
class TListLock {
public:
  explicit TListLock(TBaseThreadList& threadList) : list(threadList), threads(threadList.LockList()) {}
  ~TListLock() { list.UnlockList(); }
  TListLock(const TListLock&) = delete;
  TListLock& operator=(const TListLock&) = delete;

  std::vector<TBaseThread*>& Threads() { return threads; }

private:
  TBaseThreadList& list;
  std::vector<TBaseThread*>& threads;
};

}  // namespace

TThreadServer* TServerList::AddServer(const std::string& name, PrinterHandle printerHandle) {
  auto* server = TBaseThread::Create<TThreadServer>(true, name, printerHandle);
  server->ListEvent = &listEvent;
  Add(server);
  return server;
}

TThreadCustom* TServerList::GetItem(int32_t index) {
  ORV_ASSERT(HeldByCurrentThread());
  TListLock locked(*this);
  if (index < 0 || index >= static_cast<int32_t>(locked.Threads().size())) return nullptr;
  return static_cast<TThreadCustom*>(locked.Threads()[index]);
}

TThreadCustom* TServerList::FindByName(const std::string& name) {
  ORV_ASSERT(HeldByCurrentThread());
  TListLock locked(*this);
  for (TBaseThread* thread : locked.Threads()) {
    auto* watch = static_cast<TThreadCustom*>(thread);
    if (SameText(watch->Name(), name)) return watch;
  }
  return nullptr;
}

int32_t TServerList::Count() {
  TListLock locked(*this);
  return static_cast<int32_t>(locked.Threads().size());
}

void TServerList::WakeAll() {
  TListLock locked(*this);
  for (TBaseThread* thread : locked.Threads()) QueueUserAPC(WakeApc, thread->Handle());
}

TServerList& ServerList() {
  static TServerList* const list = new TServerList;
  return *list;
}

TThreadServer::TThreadServer(std::string threadName, ::PrinterHandle printerHandle)
    : TThreadCustom(std::move(threadName), printerHandle) {
  // The same handler for every server: setting it again changes nothing.
  CurrentSpooler()->SetServerNoticeHandler(AlertServerNotice);
}

void TThreadServer::SetModel(std::vector<PrinterInfo2> model) {
  TThreadCustom::SetModel(std::move(model));
}

std::vector<PrinterInfo2>* TThreadServer::GetPrinters() { return LockModelOf<std::vector<PrinterInfo2>>(); }

TThreadJobs* TThreadServer::GetPrinterThread(int32_t index) { return static_cast<TThreadJobs*>(printers->GetItem(index)); }

TThreadJobs* TThreadServer::FindPrinterThread(const std::string& printerName) {
  return static_cast<TThreadJobs*>(printers->FindByName(printerName));
}

void TThreadServer::CreateNotify() {
  if (Notify) return;
  Notify = std::make_unique<TPrinterChangeNotify>(PrinterHandle, nullptr,
                                                  PRINTER_CHANGE_ADD_PRINTER | PRINTER_CHANGE_DELETE_PRINTER |
                                                      PRINTER_CHANGE_ADD_JOB | PRINTER_CHANGE_DELETE_JOB);
  Notify->OnRefresh = [this](TPrinterChangeNotify*) { NotifyRefresh(); };
}

bool TThreadServer::ReadPrinters() {
  std::vector<PrinterInfo2> printerList;
  const OsError error = CurrentSpooler()->EnumPrinters(PRINTER_ENUM_NAME, Name(), printerList);
  // A server that does not answer is an outage that the spooler reports
  // and rides out: the last list stands until it answers again.
  if (error == RPC_S_SERVER_UNAVAILABLE || error == ERROR_TIMEOUT) return false;
  if (error != ERROR_SUCCESS) throw ESysError(OsErrorMessage(error));
  SetModel(std::move(printerList));
  return true;
}

void TThreadServer::Refresh() { ReadPrinters(); }

// The windows start this thread with the enumeration's list, which may be
// older than its watching: a printer added or deleted in between shows
// only in this first read, so a list that differs is reported as a change
// (otherwise the windows would go on watching a deleted printer, or never
// watch an added one, until the server's next change).
void TThreadServer::FirstRefresh() {
  std::vector<std::string> given;
  {
    THeldModel held(*this, GetPrinters());
    if (const std::vector<PrinterInfo2>* model = held.Get())
      for (const PrinterInfo2& printer : *model) given.push_back(printer.PrinterName);
  }
  if (!ReadPrinters()) return;
  bool same = true;
  {
    THeldModel held(*this, GetPrinters());
    if (const std::vector<PrinterInfo2>* model = held.Get())
      same = std::equal(given.begin(), given.end(), model->begin(), model->end(),
                        [](const std::string& name, const PrinterInfo2& printer) {
                          return SameText(name, printer.PrinterName);
                        });
  }
  if (same) return;
  PrinterChanged = true;
  JobsChanged = false;
  RefreshAsked = false;
  DoChange();
}

void TThreadServer::RefreshAndNotify() {
  if (Terminated()) return;
  // Nothing is known to have changed while the server does not answer, so
  // the windows keep its printers and their threads.
  if (ReadPrinters()) DoChange();
}

bool TThreadServer::HandleChange() {
  ORV_ASSERT(OnOwnThread());
  const uint32_t change = Notify->ChangeWord();
  PrinterChanged = (change & (PRINTER_CHANGE_ADD_PRINTER | PRINTER_CHANGE_DELETE_PRINTER)) || Notify->WokenByApc();
  JobsChanged = (change & (PRINTER_CHANGE_ADD_JOB | PRINTER_CHANGE_DELETE_JOB)) != 0;
  RefreshAsked = Notify->WokenByApc();
  if (PrinterChanged) return true;
  // A job changes its printer's queue, not this list: the printer's own
  // watch reads it. Reading every printer again for each job would make a
  // job's cost grow with the server's size.
  if (JobsChanged) DoChange();
  return false;
}

void TThreadServer::StopPrinterThreads() {
  // Judged by the threads listed, not by the printers last enumerated: a
  // server whose printers all vanished still has threads to stop.
  if (printers->Count() == 0) return;
  stopEvent->SetEvent();
  AwaitPrinterThreads([](const TBaseThread*) { return true; });
  stopEvent->ResetEvent();
}

void TThreadServer::StopPrinterThread(const std::string& printerName) {
  const TBaseThread* stopping = nullptr;
  {
    // Held while it is told to end: it cannot leave the list, so cannot be
    // freed, before that.
    TListLock locked(*printers);
    TThreadJobs* thread = FindPrinterThread(printerName);
    if (!thread) return;
    thread->Terminate();
    QueueUserAPC(WakeApc, thread->Handle());
    stopping = thread;
  }
  AwaitPrinterThreads([stopping](const TBaseThread* thread) { return thread == stopping; });
}

void TThreadServer::AwaitPrinterThreads(const std::function<bool(const TBaseThread*)>& stopping) {
  TimedWaitLoop(
      *this,
      [this, &stopping](TBaseThread&, uint32_t& interval, bool& done) {
        TListLock locked(*printers);
        if (std::none_of(locked.Threads().begin(), locked.Threads().end(), stopping)) {
          done = true;
          interval = 0;
        }
      },
      100, false, PrinterStopLimitDays);
  TListLock locked(*printers);
  // Those still listed have stopped responding. Each one leaves the count
  // now and frees itself whenever it returns; nothing of this server that
  // it uses goes away with the server.
  std::erase_if(locked.Threads(), [&stopping](TBaseThread* thread) {
    if (!stopping(thread)) return false;
    thread->Abandon();
    return true;
  });
}

void TThreadServer::DoFinish() {
  StopPrinterThreads();
  TThreadCustom::DoFinish();
}

void TThreadServer::DoTerminate() {
  // Also when the body never ran: no printer thread may be left waiting for
  // a stop event that nobody sets.
  StopPrinterThreads();
  ServerList().Remove(this);
  TThreadCustom::DoTerminate();
}
