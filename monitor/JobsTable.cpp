#include "JobsTable.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>

#include "Alerter.h"
#include "JobsStore.h"
#include "SynchApp.h"
#include "osApc.h"
#include "osSyncTicks.h"
#include "osSyncWait.h"
#include "osThreadContext.h"
#include "rtlAssert.h"
#include "rtlFormat.h"
#include "rtlStrUtils.h"
#include "splConstants.h"
#include "thrJobs.h"

TJobList::~TJobList() { FreeAll(); }

int TJobList::Compare(const TPendingJob* key1, const TPendingJob* key2) {
  if (const int order = CompareText(key1->PrinterName, key2->PrinterName)) return order;
  // Ids are unsigned 32-bit: a difference would overflow.
  if (key1->JobId < key2->JobId) return -1;
  return key1->JobId > key2->JobId ? 1 : 0;
}

TJobList::TJobKey TJobList::LeftKey(uint32_t jobId, const std::string& printerName) {
  // CompareText folds ASCII letters only; so does UpperCase.
  return {UpperCase(printerName), jobId};
}

TPendingJob& TJobList::FindOrAdd(const QueueJob& job, const std::string& printerName) {
  TLocked locked(*this);
  TPendingJob key;
  key.JobId = job.JobId;
  key.PrinterName = printerName;
  int32_t index;
  if (Search(&key, index)) return *Item(index);
  auto entry = std::make_unique<TPendingJob>();
  if (!leftKeys.count(LeftKey(job.JobId, printerName))) static_cast<QueueJob&>(*entry) = job;
  entry->JobId = job.JobId;
  entry->PrinterName = printerName;
  TPendingJob& added = *entry;
  AtInsert(index, std::move(entry));
  return added;
}

bool TJobList::AddEnded(const QueueJob& job, const std::string& printerName) {
  TLocked locked(*this);
  TPendingJob key;
  key.JobId = job.JobId;
  key.PrinterName = printerName;
  int32_t index;
  if (Search(&key, index)) {
    TPendingJob& entry = *Item(index);
    // Its watch has not heard of its end (yet); a job id used again is
    // another job, left alone.
    if (!(entry.Status & (JOB_STATUS_PRINTED | JOB_STATUS_DELETED)) && entry.Submitted == job.Submitted) {
      entry.Status = job.Status;
      entry.PagesPrinted = job.PagesPrinted;
      entry.TotalPages = job.TotalPages;
      entry.Size = job.Size;
      entry.BytesPrinted = job.BytesPrinted;
    }
    return false;
  }
  auto entry = std::make_unique<TPendingJob>();
  static_cast<QueueJob&>(*entry) = job;
  entry->PrinterName = printerName;
  entry->FromHistory = true;
  AtInsert(index, std::move(entry));
  return true;
}

void TJobList::Notify(TPendingJob* item, int32_t action) {
  if (action != caFreeing || !item) return;
  // A job written unfinished at shutdown is not over: seen again, it starts
  // as a copy of its model record, so that its end reaches its row.
  if (!(item->Status & (JOB_STATUS_PRINTED | JOB_STATUS_DELETED))) return;
  TJobKey key = LeftKey(item->JobId, item->PrinterName);
  if (leftKeys.insert(key).second) {
    leftOrder.push_back(std::move(key));
    if (leftOrder.size() > LeftKeysKept) {
      leftKeys.erase(leftOrder.front());
      leftOrder.pop_front();
    }
  }
}

TJobList& JobList() {
  static TJobList* const list = new TJobList;
  return *list;
}

TPendingJob& FindOrAddPendingJob(const QueueJob& job, const std::string& printerName) {
  // The entry lives only as long as the caller's hold on the list.
  ORV_ASSERT(JobList().LockedByCurrentThread());
  return JobList().FindOrAdd(job, printerName);
}

namespace {

std::atomic<int32_t> gHistoriesDue{0};
std::atomic<bool> gHistoryUntold{false};
std::atomic<uint32_t> gLastHistoryTried{0};

}  // namespace

void AddJobHistory(const std::vector<JobInfo2>& history, const std::string& printerName) {
  TJobListLock locked;
  for (const JobInfo2& info : history) {
    QueueJob job;
    job.FillFromJobInfo(info);
    // No notification follows to tell the machine and the bytes printed.
    job.MachineName = info.MachineName;
    if (job.Status & JOB_STATUS_PRINTED) job.BytesPrinted = job.Size;
    if (JobList().AddEnded(job, printerName)) gHistoryUntold = true;
  }
}

bool JobHistoryUntold() { return gHistoryUntold; }

int32_t JobHistoriesDue() { return gHistoriesDue; }
void JobHistoryExpected() { ++gHistoriesDue; }
void JobHistoryTried() {
  gLastHistoryTried = GetTickCount();
  --gHistoriesDue;
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

std::pair<std::string, uint32_t> FailureKey(const TPendingJob& entry) {
  return {UpperCase(entry.PrinterName), entry.JobId};
}

// True when the entry leaves the list.
bool FlushJobEntry(TPendingJob& entry, bool terminating, const TJobWriter& writer, TFlushResult& result) {
  const bool finished = (entry.Status & (JOB_STATUS_PRINTED | JOB_STATUS_DELETED)) != 0;
  if (!finished && !terminating) return false;
  // A job whose submission time never arrived was never really queued.
  if (entry.Submitted == 0) return finished;
  if (!writer || result.TableBusy) {
    ++result.Failed;
    return false;
  }
  if (finished) {
    if (entry.TotalPages == 0) entry.TotalPages = 1;
    if (entry.PagesPrinted == 0) entry.PagesPrinted = 1;
  }
  try {
    const TJobWriteResult written = writer(entry, entry.PrinterName);
    if (written != TJobWriteResult::AlreadyRecorded) ++result.Written;
    if (written == TJobWriteResult::Written && entry.FromHistory) ++result.Recovered;
  } catch (const Exception& e) {
    // The flush runs on the main thread: one lock wait that another user
    // outlasted per flush, not one per row.
    if (dynamic_cast<const EJobsTableBusy*>(&e)) result.TableBusy = true;
    ++result.Failed;
    if (FailedWrites().insert(FailureKey(entry)).second) {
      result.Alerts.push_back(Format(SJobWriteFailed, {int32_t(entry.JobId), entry.PrinterName, e.Message}));
    }
    return false;
  }
  FailedWrites().erase(FailureKey(entry));
  // Written: at shutdown an unfinished job leaves too, so that a retry of
  // the last flush cannot write it twice.
  return true;
}

}  // namespace

TFlushResult FlushJobList(bool terminating, const TJobWriter& writer) {
  TFlushResult result;
  TJobList& list = JobList();
  // The count left belongs to the same walk.
  TJobListLock locked;
  list.FreeIf([&](TPendingJob* entry) { return FlushJobEntry(*entry, terminating, writer, result); });
  result.Queued = list.Count();
  return result;
}

TFlushResult FlushPendingJobs(bool terminating) {
  // The data thread flushes through the main thread, which owns the jobs
  // table's components.
  ORV_ASSERT(IsMainThread());
  TFlushResult result = FlushJobList(terminating, GetJobWriter());
  std::function<void(const std::string&)> status;
  {
    std::lock_guard guard(gQueuedStatusMutex);
    status = gQueuedStatus;
  }
  if (status) status(Format(SQueuedStatus, {result.Queued}));
  return result;
}

void SetQueuedStatusHandler(std::function<void(const std::string& text)> handler) {
  std::lock_guard guard(gQueuedStatusMutex);
  gQueuedStatus = std::move(handler);
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
  TellRecovered();
}

void TDataThread::Step(uint32_t& interval, bool& done) {
  ORV_ASSERT(OnOwnThread());
  bool left = false;
  {
    TJobListLock locked;
    left = JobList().Count() > 0;
  }
  const bool failed = left && Flush();
  interval = std::min(failed ? RetryInterval : INFINITE, TellRecovered());
  done = Terminated();
}

uint32_t TDataThread::TellRecovered() {
  if (!terminating) {
    // The printer that tries its history last wakes this thread.
    if (JobHistoriesDue() > 0) return INFINITE;
    const uint32_t quiet = GetTickCount() - gLastHistoryTried;
    if (recoveredUntold > 0 && quiet < HistoryQuietTime) return HistoryQuietTime - quiet;
  }
  gHistoryUntold = false;
  if (recoveredUntold == 0) return INFINITE;
  const int32_t count = recoveredUntold;
  recoveredUntold = 0;
  try {
    throw EAlertInfo(Format(SJobsRecovered, {count}));
  } catch (...) {
    HandleException();
  }
  return INFINITE;
}

void TDataThread::Sleep(uint32_t ms, int32_t stateWhileSleeping) {
  SetState(stateWhileSleeping);
  TWaitable* const terminate[] = {AppTerminateEvent().Handle()};
  WaitForObjects(terminate, ms, TWaitOptions{.alertable = true});
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
  TellRecovered();
  TBaseThread::DoFinish();
}

bool TDataThread::Flush() {
  TFlushResult result;
  Synchronize([&] { result = FlushPendingJobs(terminating); });
  recoveredUntold += result.Recovered;
  for (const std::string& text : result.Alerts) {
    try {
      throw EAlertFailure(text);
    } catch (...) {
      HandleException();
    }
  }
  return result.Failed > 0;
}
