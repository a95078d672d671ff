#include "thrJobs.h"

#include <mutex>
#include <vector>

#include "JobsTable.h"
#include "rtlAssert.h"
#include "thrServer.h"

namespace {

std::atomic<int32_t> gPrinterThreads{0};

std::mutex gDataThreadWakeMutex;
std::function<void()> gDataThreadWake;

void WakeDataThread() {
  std::function<void()> wake;
  {
    std::lock_guard guard(gDataThreadWakeMutex);
    wake = gDataThreadWake;
  }
  if (wake) wake();
}

// What a printer watch asks the spooler to report, in the order the
// spooler is asked for it.
const PrinterNotifyOptions& PrinterWatchOptions() {
  static const PrinterNotifyOptions options{
      2,
      0,
      {{JOB_NOTIFY_TYPE,
        {JOB_NOTIFY_FIELD_STATUS, JOB_NOTIFY_FIELD_STATUS_STRING, JOB_NOTIFY_FIELD_MACHINE_NAME,
         JOB_NOTIFY_FIELD_DOCUMENT, JOB_NOTIFY_FIELD_USER_NAME, JOB_NOTIFY_FIELD_TOTAL_PAGES,
         JOB_NOTIFY_FIELD_PAGES_PRINTED, JOB_NOTIFY_FIELD_SUBMITTED, JOB_NOTIFY_FIELD_BYTES_PRINTED,
         JOB_NOTIFY_FIELD_TOTAL_BYTES}},
       {PRINTER_NOTIFY_TYPE,
        {PRINTER_NOTIFY_FIELD_STATUS, PRINTER_NOTIFY_FIELD_CJOBS, PRINTER_NOTIFY_FIELD_PRINTER_NAME,
         PRINTER_NOTIFY_FIELD_SERVER_NAME, PRINTER_NOTIFY_FIELD_SHARE_NAME, PRINTER_NOTIFY_FIELD_PORT_NAME,
         PRINTER_NOTIFY_FIELD_COMMENT, PRINTER_NOTIFY_FIELD_LOCATION}}}};
  return options;
}

}  // namespace

void SetDataThreadWake(std::function<void()> wake) {
  std::lock_guard guard(gDataThreadWakeMutex);
  gDataThreadWake = std::move(wake);
}

int32_t PrinterThreadCount() { return gPrinterThreads; }

TThreadJobs::TThreadJobs(std::string threadName, ::PrinterHandle printerHandle)
    : TThreadCustom(std::move(threadName), printerHandle) {}

void TThreadJobs::SetServer(TThreadServer& server) {
  serverStop = server.stopEvent;
  serverPrinters = server.printers;
  ListEvent = server.ListEvent;
}

PrinterQueue* TThreadJobs::GetQueue() { return LockModelOf<PrinterQueue>(); }

void TThreadJobs::Initialize() {
  TThreadCustom::Initialize();
  ++gPrinterThreads;
  JobHistoryExpected();
  historyCounted = true;
}

void TThreadJobs::DoTerminate() {
  HistoryTried();
  if (serverPrinters) serverPrinters->Remove(this);
  TThreadCustom::DoTerminate();
  // Counted until its handles are closed.
  --gPrinterThreads;
}

void TThreadJobs::DoStart() {
  TThreadCustom::DoStart();
  RefreshAndNotify();
}

void TThreadJobs::CreateNotify() {
  if (Notify) return;
  Notify = std::make_unique<TPrinterChangeNotify>(PrinterHandle, &PrinterWatchOptions(), PRINTER_CHANGE_DELETE_JOB);
  Notify->OnRefresh = [this](TPrinterChangeNotify*) { NotifyRefresh(); };
}

void TThreadJobs::SetWaitHandles() {
  // Not the application terminate event: a printer thread ends through its
  // server.
  std::vector<THandleObject*> handles;
  if (ListEvent) handles.push_back(ListEvent);
  if (serverStop) handles.push_back(serverStop.get());
  Notify->SetWaitHandles(handles);
}

bool TThreadJobs::CanContinue() {
  if (serverStop && serverStop->IsSignalled()) {
    Terminate();
    return false;
  }
  return TThreadCustom::CanContinue();
}

void TThreadJobs::Refresh() {
  PrinterQueue queue;
  queue.PrinterHandle = PrinterHandle;
  queue.PrinterName = Name();
  // A failed read (the server does not answer) keeps the model there is:
  // its jobs are still in the queue as far as anyone knows. Only the first
  // read leaves a model without jobs; the next change reads again.
  if (!queue.Refresh() && THeldModel(*this, GetQueue()).Get()) return;
  hasJobs = queue.Count() > 0;
  SetModel(std::move(queue));
}

void TThreadJobs::FirstRefresh() {
  Refresh();
  // After the watch opened: a job that ends from now on is heard of, one
  // that ended before is in the history.
  TakeJobHistory();
}

void TThreadJobs::TakeJobHistory() {
  ORV_ASSERT(OnOwnThread());
  if (!historyDue) return;
  std::vector<JobInfo2> history;
  const OsError error = CurrentSpooler()->EnumJobHistory(PrinterHandle, history);
  // A server that does not answer is asked again at a later change; the
  // other printers' count is told meanwhile.
  if (error != RPC_S_SERVER_UNAVAILABLE && error != ERROR_TIMEOUT) {
    // Another failure is for good: a spooler that keeps no history.
    historyDue = false;
    if (error == ERROR_SUCCESS) AddJobHistory(history, Name());
  }
  HistoryTried();
  // Also for entries of other printers written meanwhile: their count is
  // told once no history is due.
  if (JobHistoryUntold()) WakeDataThread();
}

void TThreadJobs::HistoryTried() {
  if (!historyCounted) return;
  historyCounted = false;
  JobHistoryTried();
}

void TThreadJobs::ApplyToModel(const PrinterNotifyInfo& info) {
  // The queue model changes on its printer's thread alone.
  ORV_ASSERT(OnOwnThread());
  THeldModel held(*this, GetQueue());
  ApplyNotifyInfo(*held.Get(), info);
  hasJobs = held.Get()->Count() > 0;
}

bool TThreadJobs::HandleChange() {
  if (const PrinterNotifyInfo* info = Notify->NotifyInfo()) ApplyToModel(*info);
  TakeJobHistory();
  if (!Notify->WokenByApc() && !(Notify->ChangeWord() & PRINTER_CHANGE_DELETE_JOB)) {
    DoChange();
    return false;
  }
  Refresh();
  WakeDataThread();
  DoChange();
  return false;
}

void TThreadJobs::KeepLastChanges() {
  if (!Notify || !THeldModel(*this, GetQueue()).Get()) return;
  if (const PrinterNotifyInfo* info = Notify->NotifyInfo()) ApplyToModel(*info);
  // Applied once: the info is freed before the next fetch or wait.
  if (Notify->FetchSignalled()) ApplyToModel(*Notify->NotifyInfo());
  Notify->FreeInfo();
}

void TThreadJobs::NotifyRefresh() {
  if (Terminated()) return;
  Refresh();
  // The refresh data holds every field of every queued job, also those whose
  // changes the spooler dropped: applied, it brings their pending entries up
  // to date.
  if (const PrinterNotifyInfo* info = Notify->NotifyInfo()) ApplyToModel(*info);
  WakeDataThread();
  DoChange();
}
