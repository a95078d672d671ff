#include "engDataCache.h"

namespace {

constexpr int RecentlyUsedLook = 4;

}  // namespace

TRecord* TRecordCache::Find(uint32_t recordNumber) const {
  TRecord* record = head;
  for (int i = 0; i < RecentlyUsedLook && record; ++i, record = record->Next)
    if (record->RecordNumber() == recordNumber) return record;
  bool found;
  const int32_t index = SortedIndex(recordNumber, found);
  return found ? Get(index) : nullptr;
}

int32_t TRecordCache::SortedIndex(uint32_t recordNumber, bool& found) const {
  int32_t low = 0;
  int32_t high = sorted.Count() - 1;
  while (low <= high) {
    const int32_t middle = (low + high) / 2;
    const int c = CompareKeyWithNumber(int32_t(recordNumber), int32_t(Get(middle)->RecordNumber()));
    if (c == 0) {
      found = true;
      return middle;
    }
    if (c < 0)
      low = middle + 1;
    else
      high = middle - 1;
  }
  found = false;
  return low;
}

void TRecordCache::Insert(TRecord* record) {
  bool found;
  sorted.Insert(SortedIndex(record->RecordNumber(), found), record);
  ChainAtHead(record);
}

void TRecordCache::Remove(TRecord* record) {
  bool found;
  const int32_t index = SortedIndex(record->RecordNumber(), found);
  if (found) sorted.Delete(index);
  Unchain(record);
}

void TRecordCache::MoveToHead(TRecord* record) {
  if (record == head) return;
  Unchain(record);
  ChainAtHead(record);
}

TRecord* TRecordCache::LeastRecentlyIdle() const {
  for (TRecord* record = tail; record; record = record->Prior)
    if (record->UseCount() == 0 && !record->Modified()) return record;
  return nullptr;
}

void TRecordCache::Clear() {
  for (int32_t i = 0; i < sorted.Count(); ++i) Get(i)->Prior = Get(i)->Next = nullptr;
  sorted.Clear();
  head = tail = nullptr;
}

void TRecordCache::Unchain(TRecord* record) {
  if (record->Prior)
    record->Prior->Next = record->Next;
  else if (head == record)
    head = record->Next;
  if (record->Next)
    record->Next->Prior = record->Prior;
  else if (tail == record)
    tail = record->Prior;
  record->Prior = record->Next = nullptr;
}

void TRecordCache::ChainAtHead(TRecord* record) {
  record->Prior = nullptr;
  record->Next = head;
  if (head) head->Prior = record;
  head = record;
  if (!tail) tail = record;
}
