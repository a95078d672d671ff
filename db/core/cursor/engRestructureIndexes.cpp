// Restructuring by rebuilding the indexes that changed. The index file is
// backed up first; records whose keys the new unique indexes refuse leave
// the table only once every record has been seen, so that a stop puts the
// backed-up index file back over a data file that never changed.

#include <algorithm>
#include <cstring>

#include "engCursorWrite.h"
#include "engDataFile.h"
#include "engDataHeader.h"
#include "engErrors.h"
#include "engIndexFile.h"
#include "engIndexFileLayout.h"
#include "engRecordBuffer.h"
#include "engRestructure.h"
#include "engScopeGuard.h"
#include "engTable.h"

void TRestructure::RebuildIndexes() {
  cursor.BackupIndex();
  std::vector<uint32_t> duplicates;
  std::vector<bool> marked;
  {
    TScopeGuard restore([this] { cursor.RestoreIndex(false, true); });
    marked = ReplaceChangedIndexes();
    BuildMarkedIndexes(marked, duplicates);
    restore.Dismiss();
  }
  if (!carryOn) {
    cursor.RestoreIndex(false, true);
    cursor.table->ReloadFiles(false, true);
    return;
  }
  RemoveRecords(marked, duplicates);
  StoreTableInfo(cursor);
  cursor.RestoreIndex(true, deleteBackup);
}

// Surplus indexes go from the highest down; changed and new ones take
// their new descriptors, empty, and are marked for building.
std::vector<bool> TRestructure::ReplaceChangedIndexes() {
  TIndexFile& indexes = cursor.IndexFile();
  const int oldCount = OldIndexCount();
  const int newCount = definition.IndexDescs.Count();
  std::vector<bool> changed(size_t(std::max(oldCount, newCount)), false);
  for (int n = 0; n < newCount; ++n) changed[size_t(n)] = IndexChanged(n);
  const bool newPrimaryHasKeys = newCount > 0 && NewIndexDesc(0)[IdxDescFieldCount] != 0;
  if (newPrimaryHasKeys && cursor.PrimaryIsNatural()) changed[0] = true;

  for (int n = oldCount - 1; n >= std::max(newCount, 1); --n) {
    cursor.FreeIndexPages(uint8_t(n));
    indexes.DeleteIndex(n, true);
  }
  indexes.SetSecondaryCount(std::max(newCount - 1, 0));
  std::vector<bool> marked(changed.size(), false);
  for (int n = newCount - 1; n >= 0; --n) {
    if (!changed[size_t(n)]) continue;
    if (n < oldCount) cursor.FreeIndexPages(uint8_t(n));
    indexes.SetIndexDescriptor(n, NewIndexDesc(n));
    marked[size_t(n)] = n != 0 || newPrimaryHasKeys;
  }
  indexes.SetNoPrimary(!newPrimaryHasKeys);
  cursor.LoadIndexState(0);
  return marked;
}

void TRestructure::BuildMarkedIndexes(const std::vector<bool>& marked, std::vector<uint32_t>& duplicates) {
  TDataFile& data = cursor.DataFile();
  const uint32_t total = data.PhysicalRecordCount();
  if (std::find(marked.begin(), marked.end(), true) == marked.end()) return;
  uint8_t key[MaxIndexKeyLength];
  for (uint32_t r = 1; r <= total && carryOn; ++r) {
    THeldRecord record(data);
    record.Read(r, TRecordRead::WithFollowing);
    if (!record->IsDeleted()) {
      int duplicateIn = -1;
      for (size_t n = 0; n < marked.size() && duplicateIn < 0; ++n) {
        if (!marked[n] || !NewIndexDesc(int(n))[IdxDescUnique]) continue;
        cursor.SwitchToIndex(uint8_t(n));
        cursor.BuildKey(record->Buffer(), key);
        if (cursor.KeyExists(key)) duplicateIn = int(n);
      }
      if (duplicateIn >= 0) {
        ReportLoss(rlDuplicateKey, GetShortString(NewIndexDesc(duplicateIn) + IdxDescName, IdxDescNameLimit));
        if (carryOn) duplicates.push_back(r);
      } else {
        try {
          for (size_t n = 0; n < marked.size(); ++n) {
            if (!marked[n]) continue;
            cursor.SwitchToIndex(uint8_t(n));
            cursor.BuildKey(record->Buffer(), key);
            cursor.InsertKey(key, r);
          }
        } catch (const Exception&) {
          ReportLoss(rlInsertFailed, {});
        }
      }
    }
    ReportProgress(r, total);
  }
}

// The records refused by a new unique index have keys only in the indexes
// that were not rebuilt.
void TRestructure::RemoveRecords(const std::vector<bool>& marked, const std::vector<uint32_t>& records) {
  TDataFile& data = cursor.DataFile();
  TIndexFile& indexes = cursor.IndexFile();
  uint8_t key[MaxIndexKeyLength];
  uint8_t deletedKey[MaxIndexKeyLength];
  for (uint32_t r : records) {
    THeldRecord record(data);
    record.Read(r, TRecordRead::WithFollowing);
    for (int n = 0; n <= indexes.GetSecondaryCount(); ++n) {
      if ((n == 0 && cursor.PrimaryIsNatural()) || marked[size_t(n)]) continue;
      cursor.SwitchToIndex(uint8_t(n));
      cursor.BuildKey(record->Buffer(), key);
      cursor.DeleteKey(key);
    }
    cursor.SwitchToIndex(DeletedIndexNo);
    TDataCursor::BuildDeletedKey(record->Buffer(), key);
    std::memcpy(deletedKey, key, DeletedKeyLength);
    deletedKey[RecordDeletedOffset] = 1;
    cursor.ReplaceKey(key, deletedKey, r);
    cursor.FreeRecordBlobs(record.Get());
    data.FreeRecord(record.Get());
    indexes.DecRecordCount();
  }
  cursor.LoadIndexState(0);
}
