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
#include <set>
#include <string>
#include <utility>

#include "Objects.h"
#include "Queue.h"

// A job as recorded so far, with its printer's name.
struct TPendingJob : QueueJob {
  std::string PrinterName;
};

// In order of printer name (without regard to case), then job id.
class TJobList : public TSafeSortedCollection<TPendingJob> {
public:
  // Keys of entries that left the list, remembered so that a job seen again
  // after it was recorded does not start over as a copy of its model record.
  static constexpr size_t LeftKeysKept = 16384;

  TJobList() = default;
  ~TJobList() override;

  int Compare(const TPendingJob* Key1, const TPendingJob* Key2) override;

  // The entry of Job on PrinterName, made when missing. A new entry starts
  // as a copy of Job (the model's record of a job queued before the watch
  // began holds what no later notification repeats), unless an entry of
  // that job left the list before. Valid only while the caller holds the
  // list's lock.
  TPendingJob& FindOrAdd(const QueueJob& Job, const std::string& PrinterName);

protected:
  void FreeItem(TPendingJob* Item) override;

private:
  using TJobKey = std::pair<std::string, uint32_t>;  // upper-case printer name, job id
  static TJobKey LeftKey(uint32_t JobId, const std::string& PrinterName);

  std::set<TJobKey> leftKeys;
  std::deque<TJobKey> leftOrder;  // oldest first
};

// The process-wide list. Never freed: a thread that did not stop in time
// may still reach it while the process ends.
TJobList& JobList();

// JobList().FindOrAdd; the same locking rule holds.
TPendingJob& FindOrAddPendingJob(const QueueJob& Job, const std::string& PrinterName);

// Holds the process-wide list's lock for a scope.
class TJobListLock {
public:
  TJobListLock() { JobList().Lock(); }
  ~TJobListLock() { JobList().Unlock(); }
  TJobListLock(const TJobListLock&) = delete;
  TJobListLock& operator=(const TJobListLock&) = delete;
};
