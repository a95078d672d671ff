// Inserting, changing and deleting records. Each change holds the table's
// write lock from start to end and the record lock of the record it
// changes; it keeps every index and "Sys Deleted" in step and, on a shared
// table, writes the headers back so that other processes see it.

#include <algorithm>
#include <cstring>

#include "engCursorWrite.h"

#include "rtlAssert.h"
#include "engCursor.h"
#include "engCursorRecords.h"
#include "engDataFile.h"
#include "engDataHeader.h"
#include "engDataLayout.h"
#include "engErrorCodes.h"
#include "engIndexFile.h"
#include "engRecordBuffer.h"
#include "engScopeGuard.h"
#include "engTable.h"

namespace {

// The auto-increment value after last, wrapping as the data file does.
int32_t AutoIncAfter(int32_t last) { return last >= MaxAutoIncValue ? 1 : last + 1; }

// The tree of a change key's index.
TIndexTree TreeOf(TIndexFile& file, const TChangeKey& key, const std::string& tableName) {
  return TIndexTree(file, key.IndexNo, key.Comparer, key.Length, tableName);
}

// Lends a change the key storage the cursor's last change left, and takes
// it back emptied (every tree path given back) however the change ends.
class TLentChangeKeys {
public:
  explicit TLentChangeKeys(std::vector<TChangeKey>& spare) : spare(spare) { Keys.Keys.swap(spare); }
  ~TLentChangeKeys() {
    Keys.Keys.clear();
    Keys.Keys.swap(spare);
  }
  TLentChangeKeys(const TLentChangeKeys&) = delete;
  TLentChangeKeys& operator=(const TLentChangeKeys&) = delete;
  TChangeKeys Keys;

private:
  std::vector<TChangeKey>& spare;
};

}  // namespace

void THeldRecord::Read(uint32_t number, TRecordRead how) {
  ORV_ASSERT(!record);
  file.GetRecord(nullptr, number, {.ReadAhead = how == TRecordRead::WithFollowing}, record);
}

bool THeldRecord::TakeNew() {
  ORV_ASSERT(!record);
  return file.NewRecord(nullptr, record);
}

void THeldRecord::Release() {
  file.ReleaseRecord(record);
  record = nullptr;
}

bool TDataCursor::KeepsKeysIn(int n) const { return !(n == 0 && PrimaryIsNatural()); }

void TDataCursor::BuildChangeKeys(const uint8_t* record, const uint8_t* oldRecord, TChangeKeys& keys) {
  const int last = IndexFile().GetSecondaryCount();
  keys.Keys.clear();
  keys.Keys.reserve(size_t(last + 2));
  keys.Replacing = oldRecord != nullptr;
  // Whether the current index's key is the same for both records because
  // every byte BuildKey reads from them is: the key fields' null bytes and
  // values (and the row number of a non-unique key). A field whose value
  // does not lie in the record's own bytes, or a descriptor no longer the
  // one the index state was taken with, answers no: the keys are then built
  // and compared.
  auto keyFieldsUnchanged = [&] {
    for (int i = 0; i < indexState.KeyFieldCount; ++i) {
      const uint8_t* fieldDesc = KeyFieldDesc(i);
      const uint8_t storedSize = fieldDesc[FieldDescStoredSizeOffset];
      if (!HasRecordBytes(fieldDesc) || fieldDesc[FieldDescTypeOffset] == BlobFieldType ||
          storedSize != indexState.Comparer.Fields[i].StoredSize)
        return false;
      const uint16_t at = FieldRecordOffset(fieldDesc);
      if (std::memcmp(record + at, oldRecord + at, size_t(storedSize) + 1) != 0) return false;
    }
    return indexState.Unique || GetRecordAutoInc(record) == GetRecordAutoInc(oldRecord);
  };
  for (int n = 0; n <= last + 1; ++n) {
    // Row numbers given by the caller must stay unique too: two records in
    // use with one row number would share their "Sys Deleted" key.
    const bool deletedIndex = n == last + 1;
    if (deletedIndex ? !noAutoInc : !KeepsKeysIn(n)) continue;
    const uint8_t indexNo = deletedIndex ? DeletedIndexNo : uint8_t(n);
    SwitchToIndex(indexNo);
    // A key that stays as it was is neither checked nor written.
    if (oldRecord && !deletedIndex && keyFieldsUnchanged()) continue;
    TChangeKey& key = keys.Keys.emplace_back();
    key.IndexNo = indexNo;
    key.Unique = indexState.Unique || deletedIndex;
    key.Length = indexState.KeyLength;
    key.Comparer = indexState.Comparer;
    BuildKey(record, key.Key);
    if (oldRecord) BuildKey(oldRecord, key.OldKey);
  }
}

void TDataCursor::CheckKeysAreFree(TChangeKeys& keys) {
  for (TChangeKey& key : keys.Keys) {
    if (!key.Unique) continue;
    // A key that compares equal to the record's own old key is its own.
    if (keys.Replacing && key.Comparer.CompareKeys(key.Key, key.OldKey, key.Length) == 0) continue;
    key.Placed = true;
    TIndexTree tree = TreeOf(IndexFile(), key, tableName);
    // The way is held for the change that follows it; an insert changes
    // "Sys Deleted" through the record it takes, not through this place.
    if (keys.Replacing) tree.FindKeys(key.Key, key.Place, key.OldKey, key.OldWay);
    else if (key.IndexNo == DeletedIndexNo) tree.FindKey(key.Key, key.Place);
    else tree.HoldWay(key.Key, key.Place);
    if (key.Place.Found()) Raise(EngErrDuplicateKey, {}, IndexFile().GetIndexName(key.IndexNo));
  }
}

void TDataCursor::FlushTable(bool forceIndex) {
  if (table->FilesReadOnly()) return;
  if (exclusive) table->NoteHeldChange();
  else table->WriteHeaders({.ForceData = true, .ForceIndex = forceIndex});
  TakeChangeSnapshot();
}

// The cursor keeps its bitmaps current with the one record it wrote, so
// that its counts and steps see the change at once, and finds its place
// again; without filtering it builds its window again from the files.
void TDataCursor::BeginFill(const TFillOptions& options) {
  RequireOpen();
  if (!exclusive) Raise(EngErrNotExclusive);
  // Only a sort SortRecords makes: of a temporary table in natural order.
  if (!options.SortKeys.empty() && table->IsTemporary() && IndexFile().GetSecondaryCount() == 0 &&
      PrimaryIsNatural()) {
    std::vector<TSortKeyField> keyFields(options.SortKeys.size());
    for (size_t i = 0; i < keyFields.size(); ++i) {
      GetFieldDesc(options.SortKeys[i].FieldNo, keyFields[i].Desc);
      keyFields[i].Descending = options.SortKeys[i].Descending;
    }
    DataFile().SortOnOverflow(keyFields.data(), int(keyFields.size()), options.SortCaseInsensitive);
  }
  filling = true;
}

void TDataCursor::EndFill() {
  if (!filling) return;
  filling = false;
  if (!open) return;
  // Runs no sort took go to the file.
  DataFile().SortOnOverflow(nullptr, 0, false);
  // A temporary table's keys wait until needed: most answers are read,
  // never deleted from, and then discarded.
  if (!table->IsTemporary()) FlushDeferredKeys();
  Resynchronise();
}

void TDataCursor::FollowOwnChange(uint32_t number, const uint8_t* record, bool goTo) {
  if (filling) return;
  if (filtering.FilteringOn()) {
    filtering.KeepRecordBits(number, record != nullptr);
    FindPositionAgain(false);
  } else {
    Resynchronise();
  }
  if (!goTo) return;
  if (IsNaturalOrder()) {
    GotoNaturalRecord(GetRecordPhysicalNo(record));
    LoadCurrentRecord();
    return;
  }
  uint8_t key[MaxIndexKeyLength];
  BuildKey(record, key);
  SearchKey(key);
}

// Every change runs inside this bracket: the write lock, and on the way
// out the current index put back; a failure releases the record lock the
// change took itself, a success the lock the change asks to release.
template <typename TWork>
void TDataCursor::RunRecordChange(TRecordChange& change, TWork&& work) {
  RequireOpen();
  if (IsReadOnly()) Raise(EngErrAccessDenied);
  BeginWrite();
  TScopeGuard endWrite([this] { EndWrite(); });
  const uint8_t savedIndex = indexNo;
  TScopeGuard undo([&] {
    ReleaseQuietly([&] { SwitchToIndex(savedIndex); });
    if (change.LockedHere && change.Number != 0 && HoldsRecordLock(change.Number)) UnlockRecord(change.Number);
  });
  work();
  SwitchToIndex(savedIndex);
  // A cursor that kept its key keeps its place: the write began by
  // following every change made before it, and the change brought its
  // count of keys before it up to date. Only its record is read again,
  // without the descent a search would make.
  const bool keepsPlace = change.KeptCurrentKey && !change.GoTo && !filling && !filtering.FilteringOn() &&
                          !filtering.EdgePending() && !IsNaturalOrder() && OnRecord();
  if (keepsPlace) {
    TakeChangeSnapshot();
    RebuildWindowAndBitmaps();
    TOperationBracket bracket(*this);
    LoadCurrentRecord();
  } else {
    FollowOwnChange(change.Number, change.Result, change.GoTo);
  }
  if (change.UnlockAfter && HoldsRecordLock(change.Number)) UnlockRecord(change.Number);
  undo.Dismiss();
}

// The new record's stored copy: taken at number, the caller's record copied
// in with the auto-increment value due, its BLOBs committed and its number
// given back in the caller's record. freeKey (when asked for) receives the
// "Sys Deleted" key the record had as a free one.
void TDataCursor::StoreNewRecord(THeldRecord& stored, uint8_t* record, uint32_t number, uint8_t* freeKey) {
  TDataFile& data = DataFile();
  if (!stored.TakeNew() || stored->RecordNumber() != number) Raise(EngErrRecordsCorrupt);
  if (freeKey) BuildDeletedKey(stored->Buffer(), freeKey);
  stored->Clear(false);
  if (noAutoInc) {
    const int32_t given = GetRecordAutoInc(record);
    const int32_t next = AutoIncAfter(data.GetAutoIncValue());
    data.SetAutoIncValue(given > next ? given : next);
  } else {
    data.NextAutoIncValue();
  }
  stored->CopyFields(record);
  stored->SetAutoIncValue(GetRecordAutoInc(record));
  CommitRecordBlobs(stored.Get());
  SetRecordPhysicalNo(record, number);
}

// A fill's appended record takes its key with the others at the end: its
// row number is above every one given before.
void TDataCursor::WaitDeletedKey(uint32_t number, const uint8_t* record) {
  TDataTable::TWaitingDeletedKeys& waiting = table->WaitingDeletedKeys();
  if (waiting.RowNumbers.empty()) waiting.FirstSlot = number;
  ORV_ASSERT(number == waiting.FirstSlot + waiting.RowNumbers.size());
  waiting.RowNumbers.push_back(GetRecordAutoInc(record));
}

// A fill's row (the answer's, a record a row) appended to a table whose
// records keep keys in no index but "Sys Deleted", and whose "Sys Deleted"
// key waits with the fill's: there is no key to build, check or place, no
// record lock to take and no index to put back, which were most of the
// insert's own work. False, with nothing changed, for a row that needs the
// whole way: given row numbers, an index, a free record to reuse, a
// transaction, or a number some cursor marked.
bool TDataCursor::AppendToFill(uint8_t* record) {
  ORV_ASSERT(filling);
  RequireOpen();
  if (noAutoInc || KeepsKeysIn(0) || IndexFile().GetSecondaryCount() != 0) return false;
  if (IsReadOnly()) Raise(EngErrAccessDenied);
  BeginWrite();
  // A table held exclusively (as a fill's is) took no write lock: there is
  // none to give back, on any way out.
  if (table->TableLocksSkipped()) return AppendFilled(record);
  TScopeGuard endWrite([this] { EndWrite(); });
  return AppendFilled(record);
}

// AppendToFill's row inside the write bracket.
bool TDataCursor::AppendFilled(uint8_t* record) {
  TDataFile& data = DataFile();
  const uint32_t number = data.NextRecordNumber();
  if (data.NewRecordNumber() != number || table->HoldsTransactionLock() || table->HasCursorLock(number))
    return false;
  checks.CheckConstraints(record);
  SetRecordAutoInc(record, AutoIncAfter(data.GetAutoIncValue()));
  ORV_ASSERT(table->MayChangeFiles());
  // An answer's row goes straight to where its records are held, its
  // BLOBs committed there: taking the held record, its clearing, and giving
  // it back were half of the row's append.
  if (uint8_t* image = data.AppendHeldRecord(record)) {
    data.NextAutoIncValue();
    CommitRecordBlobs(image);
    SetRecordPhysicalNo(record, number);
  } else {
    THeldRecord stored(data);
    StoreNewRecord(stored, record, number, nullptr);
  }
  WaitDeletedKey(number, record);
  IndexFile().IncRecordCount();
  FlushTable(true);
  return true;
}

void TDataCursor::InsertRecord(uint8_t* record, const TRecordChangeOptions& options) {
  if (filling && AppendToFill(record)) return;
  const uint8_t currentIndex = indexNo;
  TRecordChange change{0, true, true, record, options.GoToRecord};
  RunRecordChange(change, [&] {
    TDataFile& data = DataFile();
    const uint32_t number = data.NewRecordNumber();
    change.Number = number;
    // A fill's table is exclusive: outside a transaction a record lock
    // there is only the cursor's mark, taken and dropped again within this
    // change (and the write's start followed every change). A number some
    // cursor marked already goes the whole way, which refuses or keeps it.
    if (!filling || table->HoldsTransactionLock() || table->HasCursorLock(number)) LockRecord(number);
    checks.CheckConstraints(record);
    // A row number the caller gives is checked against every one in use;
    // outside a fill the new key goes in beside the ones waiting.
    if (noAutoInc || !filling) InsertDeferredKeys();
    if (!noAutoInc) SetRecordAutoInc(record, AutoIncAfter(data.GetAutoIncValue()));
    TLentChangeKeys lent(spareChangeKeys);
    TChangeKeys& keys = lent.Keys;
    BuildChangeKeys(record, nullptr, keys);
    if (!noFilterUpdate || sqlSourceTable) CheckKeysAreFree(keys);

    // The record is taken before any key goes in, so that a full table
    // leaves the indexes untouched.
    const bool append = number == data.NextRecordNumber();
    THeldRecord stored(data);
    uint8_t freeKey[MaxIndexKeyLength];
    StoreNewRecord(stored, record, number, freeKey);

    // A key whose place the check found goes in without a second descent:
    // nothing has changed that index since.
    ORV_ASSERT(table->MayChangeFiles());
    for (TChangeKey& entry : keys.Keys) {
      if (entry.IndexNo == DeletedIndexNo) continue;  // the stored record's key, below
      TIndexTree tree = TreeOf(IndexFile(), entry, tableName);
      if (entry.Placed) tree.InsertAt(entry.Place, entry.Key, number);
      else tree.InsertKey(entry.Key, number);
    }
    if (append && filling && !noAutoInc) {
      WaitDeletedKey(number, record);
    } else {
      uint8_t key[MaxIndexKeyLength];
      SwitchToIndex(DeletedIndexNo);
      BuildDeletedKey(stored->Buffer(), key);
      if (append) InsertKey(key, number);
      else CurrentTree().ReplaceKey(freeKey, key, number);
    }
    IndexFile().IncRecordCount();
    stored.Release();
    FlushTable(true);

    // The cursor keeps its key; the new one counts before it when it sorts
    // first. The leaf the cursor stood on may have changed: its next step
    // descends instead of taking up the walk where it left it.
    const auto current = std::find_if(keys.Keys.begin(), keys.Keys.end(),
                                      [&](const TChangeKey& entry) { return entry.IndexNo == currentIndex; });
    if (current != keys.Keys.end() && !options.GoToRecord && !filling && OnRecord() && !IsNaturalOrder()) {
      SwitchToIndex(currentIndex);
      position.AfterKeyInserted(CompareKeys(current->Key, position.Key(), indexState.KeyLength) < 0);
      readAhead.LeafMayHaveChanged();
      change.KeptCurrentKey = true;
    }
  });
}

void TDataCursor::ModifyRecord(uint8_t* record, const TRecordChangeOptions& options) {
  const uint32_t number = CurrentRecordNumber();
  const uint8_t currentIndex = indexNo;
  // The lock of a record read for editing is the caller's; one taken here
  // keeps other cursors and processes off the record for the change.
  const bool lockedHere = number != 0 && !HoldsRecordLock(number);
  TRecordChange change{number, lockedHere, options.ReleaseLock || lockedHere, record, options.GoToRecord};
  RunRecordChange(change, [&] {
    if (number == 0) Raise(uint16_t(EngErrNoCurrentRecord));
    InsertDeferredKeys();
    LockRecord(number);
    TDataFile& data = DataFile();
    THeldRecord stored(data);
    stored.Read(number, TRecordRead::Alone);
    if (stored->IsDeleted()) Raise(EngErrRecordChanged);
    checks.CheckConstraints(record);
    if (!noAutoInc) SetRecordAutoInc(record, stored->AutoIncValue());
    else if (GetRecordAutoInc(record) > data.GetAutoIncValue()) data.SetAutoIncValue(GetRecordAutoInc(record));
    SetRecordPhysicalNo(record, number);
    TLentChangeKeys lent(spareChangeKeys);
    TChangeKeys& keys = lent.Keys;
    BuildChangeKeys(record, stored->Buffer(), keys);
    if (!noFilterUpdate || sqlSourceTable) CheckKeysAreFree(keys);

    // The bytes decide here, not the comparison: a key that compares equal
    // to the old one but differs in its bytes is stored anew. The place the
    // check found for a key stays good: each index changes once.
    ORV_ASSERT(table->MayChangeFiles());
    bool keyChanged = false;
    // The cursor on the record keeps its key when the change moves no key
    // of the cursor's index.
    change.KeptCurrentKey = OnRecord() && position.Record() == number;
    for (TChangeKey& entry : keys.Keys) {
      if (std::memcmp(entry.Key, entry.OldKey, entry.Length) == 0) continue;
      if (entry.IndexNo == currentIndex) change.KeptCurrentKey = false;
      TIndexTree tree = TreeOf(IndexFile(), entry, tableName);
      if (entry.Placed) tree.ReplaceKey(entry.OldKey, entry.Key, number, &entry.Place, &entry.OldWay);
      else tree.ReplaceKey(entry.OldKey, entry.Key, number);
      keyChanged = true;
    }
    stored->CopyFields(record);
    stored->SetAutoIncValue(GetRecordAutoInc(record));
    CommitRecordBlobs(stored.Get());
    stored.Release();
    FlushTable(keyChanged);
  });
}

void TDataCursor::DeleteRecord(const uint8_t* record) {
  const uint32_t number = CurrentRecordNumber();
  const uint8_t currentIndex = indexNo;
  TRecordChange change{number, true, true, nullptr, false};
  RunRecordChange(change, [&] {
    if (number == 0) Raise(uint16_t(EngErrNoCurrentRecord));
    InsertDeferredKeys();
    TDataFile& data = DataFile();
    THeldRecord stored(data);
    stored.Read(number, TRecordRead::Alone);
    if (stored->IsDeleted() || (!exclusive && !stored->SameAs(record))) Raise(EngErrRecordChanged);
    LockRecord(number);

    // A cursor standing on the record in an index order moves to the entry
    // after its key, which its own delete reads on the key's leaf; only a
    // key that was its leaf's last leaves the search to find that entry.
    // The key's descent searches each page from the entry the way to the
    // cursor's key took, as the look-up that placed the cursor left it.
    const bool onKey = OnRecord() && position.Record() == number && !IsNaturalOrder();
    const bool mayTakeNext = onKey && !filling && !filtering.FilteringOn() && !filtering.EdgePending();
    TEntryAfter next;
    ORV_ASSERT(table->MayChangeFiles());
    uint8_t key[MaxIndexKeyLength];
    for (int n = 0; n <= IndexFile().GetSecondaryCount(); ++n) {
      if (!KeepsKeysIn(n)) continue;
      SwitchToIndex(uint8_t(n));
      BuildKey(stored->Buffer(), key);
      const bool current = onKey && n == currentIndex && std::memcmp(key, position.Key(), indexState.KeyLength) == 0;
      CurrentTree().DeleteKey(key, current && mayTakeNext ? &next : nullptr,
                              current ? position.WayToKeptKey() : nullptr);
    }
    SwitchToIndex(DeletedIndexNo);
    uint8_t deletedKey[MaxIndexKeyLength];
    BuildDeletedKey(stored->Buffer(), key);
    std::memcpy(deletedKey, key, indexState.KeyLength);
    deletedKey[RecordDeletedOffset] = 1;
    CurrentTree().ReplaceKey(key, deletedKey, number);
    IndexFile().DecRecordCount();
    FreeRecordBlobs(stored.Get());
    data.FreeRecord(stored.Get());
    stored.Release();
    FlushTable(true);

    // The entry after the key is where a search for the key now lands:
    // the first key above it, with as many keys before it as the deleted
    // one had. One past the range's end leaves the search to place the
    // cursor at the range's edge.
    if (!next.Found) return;
    SwitchToIndex(currentIndex);
    if (range.Outside(next.Key, indexState.Comparer, indexState.KeyLength)) return;
    filtering.DropEdge();
    position.TakeFollowingKey(next.Key, indexState.KeyLength, next.Record);
    readAhead.CountAtFirstStep();
    change.KeptCurrentKey = true;
  });
}
