#pragma once
// The pending jobs: one process-wide list with an entry per (printer, job)
// that the printer threads have seen, kept current field by field from the
// notifications until the data thread moves the finished ones into the
// jobs table.
//
// Entries are freed by the flush under the list's lock, so an entry may be
// touched only while that lock is held (TJobListLock).

#include <cstdint>
#include <deque>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "BaseThread.h"
#include "JobsStore.h"
#include "Objects.h"
#include "Queue.h"

// A job as recorded so far, with its printer's name.
struct TPendingJob : QueueJob {
  std::string PrinterName;
  // Taken from the server's history of ended jobs, not seen by a watch.
  bool FromHistory = false;
};

// In order of printer name (without regard to case), then job id.
class TJobList : public TSafeSortedCollection<TPendingJob> {
public:
  // Keys of entries that left the list, remembered so that a job seen again
  // after it was recorded does not start over as a copy of its model record.
  static constexpr size_t LeftKeysKept = 16384;

  TJobList() = default;
  ~TJobList() override;

  int Compare(const TPendingJob* key1, const TPendingJob* key2) override;

  // The entry of job on printerName, made when missing. A new entry starts
  // as a copy of job (the model's record of a job queued before the watch
  // began holds what no later notification repeats), unless an entry of
  // that job left the list before. Valid only while the caller holds the
  // list's lock.
  TPendingJob& FindOrAdd(const QueueJob& job, const std::string& printerName);

  // A job of the server's history (it has ended) that no watch may have
  // seen: an entry unless one of that job is listed. A listed entry of the
  // same job that has not ended takes its end. True when an entry was made.
  // The same locking rule holds.
  bool AddEnded(const QueueJob& job, const std::string& printerName);

protected:
  // An entry about to be freed: an ended job's key is remembered.
  void Notify(TPendingJob* item, int32_t action) override;

private:
  using TJobKey = std::pair<std::string, uint32_t>;  // upper-case printer name, job id
  static TJobKey LeftKey(uint32_t jobId, const std::string& printerName);

  std::set<TJobKey> leftKeys;
  std::deque<TJobKey> leftOrder;  // oldest first
};

// The process-wide list. Never freed: a thread that did not stop in time
// may still reach it while the process ends.
TJobList& JobList();

// JobList().FindOrAdd; the same locking rule holds.
TPendingJob& FindOrAddPendingJob(const QueueJob& job, const std::string& printerName);

// The ended jobs of a printer's history (the spooler's EnumJobHistory)
// as pending entries, for the data thread to record those the jobs table
// lacks; the data thread then raises one alert counting them once no
// other history is being taken.
void AddJobHistory(const std::vector<JobInfo2>& history, const std::string& printerName);
// Entries of a history were made and not yet told: the data thread is to be
// woken once the taking has ended.
bool JobHistoryUntold();
// Histories still to be taken: each printer thread's from its making
// until its first try ended, so that the data thread's one alert counts
// the jobs of all the printers that start together.
int32_t JobHistoriesDue();
void JobHistoryExpected();
void JobHistoryTried();

// Holds the process-wide list's lock for a scope.
class TJobListLock {
public:
  TJobListLock() { JobList().Lock(); }
  ~TJobListLock() { JobList().Unlock(); }
  TJobListLock(const TJobListLock&) = delete;
  TJobListLock& operator=(const TJobListLock&) = delete;
};

// ---- the data thread ---------------------------------------------------------------
//
// Moves finished jobs from the pending list into the jobs table: woken by
// the printer threads after a job left a queue, it runs the flush on the
// main thread (where the data module lives). A row that cannot be written
// stays pending, is reported once and is tried again at later flushes; the
// thread never ends over it. At shutdown it waits for the watch threads to
// end, so their last notifications are in the list, and then writes the jobs
// still in progress as well.


class TDataThread : public TBaseThread {
public:
  // While writes fail, the flush is tried again after this long without a
  // wake-up.
  static constexpr uint32_t RetryInterval = 2000;
  // At shutdown: how long the last flush waits for the other threads to
  // end, and how often it tries rows that fail.
  static constexpr uint32_t WatchStopWait = 15000;
  static constexpr int FinalFlushAttempts = 5;
  static constexpr uint32_t HistoryQuietTime = 1000;

  void Initialize() override;
  void DoStart() override;
  void Step(uint32_t& interval, bool& done) override;
  void DoFinish() override;
  // Also ends at the application terminate event.
  void Sleep(uint32_t ms, int32_t stateWhileSleeping) override;

protected:
  ~TDataThread() override;

private:
  // Set for the last flush, which writes the unfinished jobs as well.
  bool terminating = false;
  // Jobs of the servers' histories written and not yet told.
  int32_t recoveredUntold = 0;

  // The alert counting the jobs recorded from the histories, once no
  // history is due and none was taken for HistoryQuietTime: printer
  // threads that start together (at the program's start) have one. How long
  // to wait before it is tried again.
  uint32_t TellRecovered();

  // Runs the flush on the main thread and reports its failures here; true
  // when rows are left that could not be written.
  bool Flush();
};

// The data thread, made and started on first use.
TDataThread* GetDataThread();

// What one walk over the pending list did.
struct TFlushResult {
  int32_t Queued = 0;  // entries left in the list
  int32_t Written = 0;
  // Of them, jobs of a server's history that the table lacked.
  int32_t Recovered = 0;
  // Entries that could not be written (they stay pending; all of them
  // while no writer is installed).
  int32_t Failed = 0;
  // One text per entry whose write failed for the first time.
  std::vector<std::string> Alerts;
  // Another user held the table: the walk wrote nothing more.
  bool TableBusy = false;
};

// The walk under the list's lock: finished entries are written through
// writer and leave; with terminating the unfinished ones are written
// too (and leave, the run being over). A row that the table holds already
// (the same job written at an earlier shutdown) is not written again.
TFlushResult FlushJobList(bool terminating, const TJobWriter& writer);
// On the main thread: FlushJobList and the "Queued: %d" status text.
TFlushResult FlushPendingJobs(bool terminating);

// The windows' status panel; called on the main thread after each flush.
void SetQueuedStatusHandler(std::function<void(const std::string& text)> handler);
inline constexpr const char* SQueuedStatus = "Queued: %d";
inline constexpr const char* SJobsRecovered =
    "%d job(s) that ended while they were not watched were recorded from the print server's history.";
inline constexpr const char* SJobWriteFailed = "Job %d of printer \"%s\" could not be written, it stays queued: %s";
