#include "JobsTable.h"

#include <memory>
#include <mutex>

#include "JobsStore.h"
#include "SynchApp.h"
#include "osApc.h"
#include "osSyncTicks.h"
#include "osSyncWait.h"
#include "rtlFormat.h"
#include "rtlStrUtils.h"
#include "splConstants.h"
#include "thrJobs.h"
#include "uAlerter.h"

TJobList::~TJobList() { FreeAll(); }

int TJobList::Compare(const TPendingJob* Key1, const TPendingJob* Key2) {
  if (const int order = CompareText(Key1->PrinterName, Key2->PrinterName)) return order;
  // Ids are unsigned 32-bit: a difference would overflow.
  if (Key1->JobId < Key2->JobId) return -1;
  return Key1->JobId > Key2->JobId ? 1 : 0;
}

TJobList::TJobKey TJobList::LeftKey(uint32_t JobId, const std::string& PrinterName) {
  // CompareText folds ASCII letters only; so does UpperCase.
  return {UpperCase(PrinterName), JobId};
}

TPendingJob& TJobList::FindOrAdd(const QueueJob& Job, const std::string& PrinterName) {
  TLocked locked(*this);
  TPendingJob key;
  key.JobId = Job.JobId;
  key.PrinterName = PrinterName;
  int32_t index;
  if (Search(&key, index)) return *Item(index);
  auto entry = std::make_unique<TPendingJob>();
  if (!leftKeys.count(LeftKey(Job.JobId, PrinterName))) static_cast<QueueJob&>(*entry) = Job;
  entry->JobId = Job.JobId;
  entry->PrinterName = PrinterName;
  AtInsert(index, entry.get());
  return *entry.release();
}

void TJobList::FreeItem(TPendingJob* Item) {
  if (!Item) return;
  TJobKey key = LeftKey(Item->JobId, Item->PrinterName);
  if (leftKeys.insert(key).second) {
    leftOrder.push_back(std::move(key));
    if (leftOrder.size() > LeftKeysKept) {
      leftKeys.erase(leftOrder.front());
      leftOrder.pop_front();
    }
  }
  delete Item;
}

TJobList& JobList() {
  static TJobList* const list = new TJobList;
  return *list;
}

TPendingJob& FindOrAddPendingJob(const QueueJob& Job, const std::string& PrinterName) {
  return JobList().FindOrAdd(Job, PrinterName);
}

// ---- the data thread ---------------------------------------------------------------

namespace {

std::mutex gDataThreadMutex;
TDataThread* gDataThread = nullptr;

std::mutex gQueuedStatusMutex;
std::function<void(const std::string&)> gQueuedStatus;

// Entries whose write failed, so that each is reported once and not at
// every retry. Main thread only (the flush runs there).
std::set<std::pair<std::string, uint32_t>>& FailedWrites() {
  static auto* const failed = new std::set<std::pair<std::string, uint32_t>>;
  return *failed;
}

std::pair<std::string, uint32_t> FailureKey(const TPendingJob& Entry) {
  return {UpperCase(Entry.PrinterName), Entry.JobId};
}

// True when the entry leaves the list.
bool FlushJobEntry(TPendingJob& Entry, bool Terminating, const TJobWriter& Writer, TFlushResult& Result) {
  const bool finished = (Entry.Status & (JOB_STATUS_PRINTED | JOB_STATUS_DELETED)) != 0;
  if (!finished && !Terminating) return false;
  // A job whose submission time never arrived was never really queued.
  if (Entry.Submitted == 0) return finished;
  if (!Writer || Result.TableBusy) {
    ++Result.Failed;
    return false;
  }
  if (finished) {
    if (Entry.TotalPages == 0) Entry.TotalPages = 1;
    if (Entry.PagesPrinted == 0) Entry.PagesPrinted = 1;
  }
  try {
    if (Writer(Entry, Entry.PrinterName) == TJobWriteResult::Written) ++Result.Written;
  } catch (const Exception& e) {
    // The flush runs on the main thread: one lock wait that another user
    // outlasted per flush, not one per row.
    if (dynamic_cast<const EJobsTableBusy*>(&e)) Result.TableBusy = true;
    ++Result.Failed;
    if (FailedWrites().insert(FailureKey(Entry)).second) {
      Result.Alerts.push_back(Format(SJobWriteFailed, {int32_t(Entry.JobId), Entry.PrinterName, e.Message}));
    }
    return false;
  }
  FailedWrites().erase(FailureKey(Entry));
  // Written: at shutdown an unfinished job leaves too, so that a retry of
  // the last flush cannot write it twice.
  return true;
}

}  // namespace

TFlushResult FlushJobList(bool Terminating, const TJobWriter& Writer) {
  TFlushResult result;
  TJobList& list = JobList();
  // The count left belongs to the same walk.
  TJobListLock locked;
  list.FreeIf([&](TPendingJob* entry) { return FlushJobEntry(*entry, Terminating, Writer, result); });
  result.Queued = list.Count();
  return result;
}

TFlushResult FlushPendingJobs(bool Terminating) {
  TFlushResult result = FlushJobList(Terminating, GetJobWriter());
  std::function<void(const std::string&)> status;
  {
    std::lock_guard guard(gQueuedStatusMutex);
    status = gQueuedStatus;
  }
  if (status) status(Format(SQueuedStatus, {result.Queued}));
  return result;
}

void SetQueuedStatusHandler(std::function<void(const std::string& Text)> Handler) {
  std::lock_guard guard(gQueuedStatusMutex);
  gQueuedStatus = std::move(Handler);
}

TDataThread* GetDataThread() {
  std::lock_guard guard(gDataThreadMutex);
  if (gDataThread == nullptr) {
    gDataThread = TBaseThread::Create<TDataThread>(true);
    // The handle outlives the thread object: a printer thread that wakes an
    // ended data thread finds its queue closed and nothing else.
    SetDataThreadWake([handle = gDataThread->Handle()] { QueueUserAPC(WakeApc, handle); });
    gDataThread->Resume();
  }
  return gDataThread;
}

TDataThread::~TDataThread() {
  std::lock_guard guard(gDataThreadMutex);
  if (gDataThread == this) gDataThread = nullptr;
}

void TDataThread::Initialize() {
  FreeOnTerminate = true;
  UseTimedLoop = true;
  Interval = INFINITE;
}

void TDataThread::DoStart() {
  TBaseThread::DoStart();
  // It records for as long as the program runs: no run-time limit.
  Flush();
}

void TDataThread::Step(uint32_t& interval, bool& done) {
  bool left = false;
  {
    TJobListLock locked;
    left = JobList().Count() > 0;
  }
  const bool failed = left && Flush();
  interval = failed ? RetryInterval : INFINITE;
  done = Terminated();
}

void TDataThread::Sleep(uint32_t ms, int32_t stateWhileSleeping) {
  SetState(stateWhileSleeping);
  TWaitable* const terminate[] = {AppTerminateEvent().Handle()};
  WaitForObjects(terminate, ms, TWaitOptions{true, false});
  SetState(tsRunning);
}

void TDataThread::DoFinish() {
  // The watch threads' last notifications come before the last flush.
  const uint32_t start = GetTickCount();
  while (RunningThreads().GetValue() > 1 && GetTickCount() - start < WatchStopWait) {
    SleepEx(10, true);
  }
  terminating = true;
  for (int attempt = 0; attempt < FinalFlushAttempts && Flush(); ++attempt) SleepEx(RetryInterval / 4, true);
  TBaseThread::DoFinish();
}

bool TDataThread::Flush() {
  TFlushResult result;
  Synchronize([&] { result = FlushPendingJobs(terminating); });
  for (const std::string& text : result.Alerts) {
    try {
      throw EAlertFailure(text);
    } catch (...) {
      HandleException();
    }
  }
  return result.Failed > 0;
}
