#include "JobsTable.h"

#include <memory>

#include "rtlStrUtils.h"

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
