// The cursor's indexes: choosing the current one, keeping index entries
// as records change (through the index tree), adding and dropping indexes, and building the
// deleted-records index again for a table that lost its index file, or
// every index for a table whose indexes disagree with its data.

#include <algorithm>
#include <cstring>
#include <functional>
#include <utility>
#include <vector>

#include "engCursor.h"

#include "rtlAssert.h"
#include "engCursorWalk.h"
#include "engDataFile.h"
#include "engDataHeader.h"
#include "engErrorCodes.h"
#include "engErrors.h"
#include "engIndexFile.h"
#include "engIndexTree.h"
#include "engKeyEncoding.h"
#include "engLittleEndian.h"
#include "engRecordBuffer.h"
#include "engScopeGuard.h"
#include "engTable.h"
#include "rtlStrUtils.h"

// ---- the current index -------------------------------------------------------

int TDataCursor::FindIndexByName(const std::string& name) const {
  const std::string wanted = Trim(name);
  for (int slot = 0; slot <= IndexFile().GetSecondaryCount(); ++slot)
    if (SameText(Trim(IndexFile().GetIndexName(slot)), wanted)) return slot;
  return -1;
}

void TDataCursor::SwitchToIndex(uint8_t n) {
  RequireOpen();
  if (n != indexNo) LoadIndexState(n);
}

void TDataCursor::SetIndexNo(uint8_t n) {
  RequireOpen();
  if (n == indexNo) return;
  // "Sys Deleted" holds deleted records too: only the cursor's own work walks it.
  if (n == DeletedIndexNo || !ValidIndexNo(n)) Raise(EngErrIndexName, {}, std::to_string(n));
  const bool outermost = EnterOperation();
  if (outermost) restarts = 0;
  TScopeGuard endOperation([this] { EndOperation(); });
  if (outermost && table->LockChangeCheck()) Resynchronise();
  const TCursorPlace was = position.Place();
  std::vector<uint8_t> record(GetCurrentRecordBuffer(), GetCurrentRecordBuffer() + CursorRecordSize());
  const bool bitmapsHold = filtering.HoldAcrossOrders();
  range.Reset();
  LoadIndexState(n);
  filtering.UpdateState();
  // Without a range before or after, the records in use and those each
  // filter passes are the same in the new order: only its window is new
  // (evaluating the filters again was a scan of the table per change).
  if (bitmapsHold && filtering.FilteringOn()) {
    TOperationBracket bracket(*this);
    filtering.SettleEdge();
    ComputeRangeWindow();
  } else {
    RebuildWindowAndBitmaps();
  }
  ReFindAfterIndexChange(record.data(), was);
}

// The record the cursor stood on, found again in the new order; from a
// crack, the crack at that end (an empty cursor's at the beginning).
void TDataCursor::ReFindAfterIndexChange(const uint8_t* record, TCursorPlace was) {
  if (was != TCursorPlace::OnRecord) {
    if (was == TCursorPlace::AfterLast) SetToEnd();
    else SetToBegin();
    return;
  }
  if (IsNaturalOrder()) {
    GotoNaturalRecord(GetRecordPhysicalNo(record));
    LoadCurrentRecord();
    return;
  }
  uint8_t key[MaxIndexKeyLength];
  BuildKey(record, key);
  SearchKey(key);
}

void TDataCursor::SetIndexName(const std::string& name) {
  RequireOpen();
  // Natural order has no name: an empty name from there selects the primary index.
  if (indexNo != NaturalOrderIndex && SameText(name, indexState.Name)) return;
  const int slot = FindIndexByName(name);
  if (slot < 0) Raise(EngErrIndexName, {}, name);
  SetIndexNo(uint8_t(slot));
}

void TDataCursor::SetPrimaryIsNatural() {
  RequireOpen();
  IndexFile().SetNoPrimary(true);
}

// ---- index entries -------------------------------------------------------------

TIndexTree TDataCursor::CurrentTree() const {
  return TIndexTree(IndexFile(), indexNo, indexState.Comparer, indexState.KeyLength, tableName);
}

bool TDataCursor::KeyExists(const uint8_t* key) {
  RequireOpen();
  return CurrentTree().KeyExists(key);
}

void TDataCursor::InsertKey(const uint8_t* key, uint32_t record) {
  RequireOpen();
  ORV_ASSERT(table->MayChangeFiles());
  CurrentTree().InsertKey(key, record);
}

void TDataCursor::DeleteKey(const uint8_t* key) {
  RequireOpen();
  ORV_ASSERT(table->MayChangeFiles());
  CurrentTree().DeleteKey(key);
}

void TDataCursor::ReplaceKey(const uint8_t* oldKey, const uint8_t* newKey, uint32_t record) {
  DeleteKey(oldKey);
  InsertKey(newKey, record);
}

void TDataCursor::FreeIndexPages(uint8_t n) {
  TIndexTree(IndexFile(), n, indexState.Comparer, indexState.KeyLength, tableName).FreePages();
}

// ---- adding and dropping indexes -------------------------------------------------

void TDataCursor::ReportProgress(uint32_t done, uint32_t total) {
  if (progressProc && total > 0) progressProc(int32_t(done), int32_t(uint64_t(done) * 100 / total));
}

void TDataCursor::AddIndex(const TIndexDefinition& index) {
  RequireExclusiveWritable();
  // A unique index's duplicate leaves the table through "Sys Deleted".
  FlushDeferredKeys();
  uint8_t desc[IndexDescSize];
  IndexDescFromDefinition(index, desc);
  const std::string name = GetShortString(desc + IdxDescName, IdxDescNameLimit);
  const int fields = std::min<int>(desc[IdxDescFieldCount], MaxKeyFields);
  int keyBytes = 0;
  uint8_t fieldDesc[FieldDescSize];
  for (int i = 0; i < fields; ++i) {
    GetTableFieldDesc(GetLE16(desc + IdxDescFieldNumbers + 2 * i), fieldDesc);
    keyBytes += fieldDesc[FieldDescStoredSizeOffset] + 1;
  }
  if (keyBytes == 0 || keyBytes > MaxKeyFieldBytes) Raise(EngErrKeySize, {}, name);
  desc[IdxDescFieldCount] = uint8_t(fields);
  PutLE16(desc + IdxDescKeyLength, uint16_t(desc[IdxDescUnique] ? keyBytes : keyBytes + 4));
  IndexFile().AddIndex(desc);

  const uint8_t added = uint8_t(IndexFile().GetSecondaryCount());
  const uint8_t previous = indexNo;
  {
    TScopeGuard restore([&] { LoadIndexState(previous); });
    InsertKeysOfRecords(added, true);
  }
  filtering.ReassessLevels();
  filtering.UpdateState();
  RebuildWindowAndBitmaps();
  SetToBegin();
}

// Index n, empty, takes the key of every record in use. A key that a
// unique index holds already removes the later record, or, without
// removeDuplicates, is refused (9729) with nothing removed. A key of a
// non-unique index ends with the row number, so meeting it twice means
// rows share their number: refused too, since walks need distinct keys.
void TDataCursor::InsertKeysOfRecords(uint8_t n, bool removeDuplicates) {
  ORV_ASSERT(table->MayChangeFiles());
  LoadIndexState(n);
  const uint32_t slots = DataFile().PhysicalRecordCount();
  uint8_t key[MaxIndexKeyLength];
  TTreePath place;
  for (uint32_t slot = 1; slot <= slots; ++slot) {
    TRecord* record = nullptr;
    DataFile().GetRecord(nullptr, slot, {.ReadAhead = true}, record);
    {
      TScopeGuard release([this, record] { DataFile().ReleaseRecord(record); });
      if (!record->IsDeleted()) {
        BuildKey(record->Buffer(), key);
        // The look-up's descent is the insert's too.
        if (!CurrentTree().FindKey(key, place)) CurrentTree().InsertAt(place, key, slot);
        else if (indexState.Unique && removeDuplicates) RemoveDuplicateRecord(n, record);
        else Raise(EngErrDuplicateKey);
      }
    }
    ReportProgress(slot, slots);
  }
}

// The later of two records with one key of a new unique index leaves the
// table: its BLOBs, its keys in the other indexes, its place in use.
void TDataCursor::RemoveDuplicateRecord(uint8_t newIndex, TRecord* record) {
  const uint8_t* buffer = record->Buffer();
  uint8_t key[MaxIndexKeyLength];
  for (int n = 0; n <= IndexFile().GetSecondaryCount(); ++n) {
    if (n == newIndex || (n == 0 && PrimaryIsNatural())) continue;
    LoadIndexState(uint8_t(n));
    BuildKey(buffer, key);
    DeleteKey(key);
  }
  LoadIndexState(DeletedIndexNo);
  uint8_t deletedKey[MaxIndexKeyLength];
  BuildDeletedKey(buffer, key);
  std::memcpy(deletedKey, key, indexState.KeyLength);
  deletedKey[0] = 1;
  ReplaceKey(key, deletedKey, record->RecordNumber());
  FreeRecordBlobs(record);
  DataFile().FreeRecord(record);
  IndexFile().DecRecordCount();
  LoadIndexState(newIndex);
}

void TDataCursor::DeleteIndex(const std::string& name) {
  RequireExclusiveWritable();
  const int slot = FindIndexByName(name);
  if (slot < 0) Raise(EngErrIndexName, {}, name);
  FreeIndexPages(uint8_t(slot));
  IndexFile().DeleteIndex(slot, true);
  LoadIndexState(0);
  filtering.ReassessLevels();
  filtering.UpdateState();
  RebuildWindowAndBitmaps();
  SetToBegin();
}

void TDataCursor::AddDeletedKeysInUse(uint32_t firstSlot, const std::vector<int32_t>& rowNumbers) {
  ORV_ASSERT(indexNo == DeletedIndexNo && table->MayChangeFiles());
  const size_t count = rowNumbers.size();
  if (count == 0) return;
  // Slots by row number: a fill gives them in order, a sort of a fill a
  // permutation of a run of numbers, each put in its place; any other
  // order is sorted.
  std::vector<std::pair<int32_t, uint32_t>> order(count);
  const auto [lowest, highest] = std::minmax_element(rowNumbers.begin(), rowNumbers.end());
  const bool ascending = std::adjacent_find(rowNumbers.begin(), rowNumbers.end(),
                                            [](int32_t a, int32_t b) { return a >= b; }) == rowNumbers.end();
  if (ascending) {
    for (size_t i = 0; i < count; ++i) order[i] = {rowNumbers[i], firstSlot + uint32_t(i)};
  } else if (int64_t(*highest) - *lowest + 1 == int64_t(count)) {
    for (size_t i = 0; i < count; ++i) {
      auto& place = order[size_t(rowNumbers[i] - *lowest)];
      if (place.second != 0) Raise(EngErrDuplicateKey);
      place = {rowNumbers[i], firstSlot + uint32_t(i)};
    }
  } else {
    for (size_t i = 0; i < count; ++i) order[i] = {rowNumbers[i], firstSlot + uint32_t(i)};
    std::sort(order.begin(), order.end());
    for (size_t i = 1; i < count; ++i)
      if (order[i].first == order[i - 1].first) Raise(EngErrDuplicateKey);
  }
  const size_t keyLength = indexState.KeyLength;
  std::vector<uint8_t> keys(count * keyLength, 0);
  std::vector<uint32_t> slots(count);
  for (size_t i = 0; i < count; ++i) {
    EncodeInt32Key(order[i].first, keys.data() + i * keyLength + 1);
    slots[i] = order[i].second;
  }
  if (CurrentTree().AppendInOrder(keys.data(), slots.data(), count)) return;
  TTreePath place;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* key = keys.data() + i * keyLength;
    if (CurrentTree().FindKey(key, place)) Raise(EngErrDuplicateKey);
    CurrentTree().InsertAt(place, key, slots[i]);
  }
}

void TDataCursor::InsertDeferredKeys() {
  TDataTable::TWaitingDeletedKeys& waiting = table->WaitingDeletedKeys();
  if (waiting.RowNumbers.empty()) return;
  // Gone from the list first: a failure leaves the tree short of keys,
  // which the next open's check finds, never a key twice.
  const TDataTable::TWaitingDeletedKeys keys = std::exchange(waiting, {});
  const uint8_t previous = indexNo;
  TScopeGuard restore([&] { SwitchToIndex(previous); });
  SwitchToIndex(DeletedIndexNo);
  AddDeletedKeysInUse(keys.FirstSlot, keys.RowNumbers);
}

void TDataCursor::FlushDeferredKeys() {
  if (table->WaitingDeletedKeys().RowNumbers.empty()) return;
  table->LockWrite();
  TScopeGuard unlock([this] { table->UnlockWrite(); });
  InsertDeferredKeys();
}

void TDataCursor::RebuildDeletedIndex() {
  RebuildIndexes([this] { SetPrimaryIsNatural(); });
}

// Every index is built again from the data records, after an interrupted
// writer left them out of step with the data and with each other.
void TDataCursor::RebuildAllIndexes() {
  RebuildIndexes([this] {
    IndexFile().EmptyIndexes();
    for (int n = 0; n <= IndexFile().GetSecondaryCount(); ++n)
      if (n != 0 || !PrimaryIsNatural()) InsertKeysOfRecords(uint8_t(n), false);
  });
}

// Under the write lock, after prepare, every record slot gets its key
// (status byte, row number) in the deleted-records index again, and the
// record count is recounted. Two slots of one row number are refused
// (9729): their keys would be equal.
void TDataCursor::RebuildIndexes(const std::function<void()>& prepare) {
  table->LockWrite();
  TScopeGuard unlock([this] { table->UnlockWrite(); });
  // Every slot's key comes from its record below.
  table->WaitingDeletedKeys() = {};
  const uint8_t previous = indexNo;
  TScopeGuard restore([&] { LoadIndexState(previous); });
  prepare();
  LoadIndexState(DeletedIndexNo);
  IndexFile().SetRecordCount(0);
  ORV_ASSERT(table->MayChangeFiles());
  uint8_t key[MaxIndexKeyLength];
  TTreePath place;
  const uint32_t slots = DataFile().PhysicalRecordCount();
  for (uint32_t slot = 1; slot <= slots; ++slot) {
    TRecord* record = nullptr;
    DataFile().GetRecord(nullptr, slot, {.ReadAhead = true}, record);
    if (!record->IsDeleted()) IndexFile().IncRecordCount();
    BuildDeletedKey(record->Buffer(), key);
    DataFile().ReleaseRecord(record);
    if (CurrentTree().FindKey(key, place)) Raise(EngErrDuplicateKey);
    CurrentTree().InsertAt(place, key, slot);
  }
  table->WriteHeaders({.ForceData = true, .ForceIndex = true});
  TakeChangeSnapshot();
}
