// The cursor's indexes: choosing the current one, keeping index entries
// as records change, adding and dropping indexes, and building the
// deleted-records index again for a table that lost its index file, or
// every index for a table whose indexes disagree with its data.

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "engCursor.h"

#include "engAssert.h"
#include "engCursorWalk.h"
#include "engDataFile.h"
#include "engDataHeader.h"
#include "engErrorCodes.h"
#include "engErrors.h"
#include "engIndexFile.h"
#include "engLittleEndian.h"
#include "engRecordBuffer.h"
#include "engTable.h"
#include "rtlStrUtils.h"

namespace {

// Holds a page of the index file until it is handed on or the scope ends.
class THeldPage {
public:
  THeldPage(TIndexFile& file, TPage* page) : file(file), page(page) {}
  ~THeldPage() {
    if (page) file.ReleasePage(page);
  }
  THeldPage(const THeldPage&) = delete;
  THeldPage& operator=(const THeldPage&) = delete;
  TPage* operator->() const { return page; }
  TPage* Get() const { return page; }
  // Gives the held page back and holds the next one.
  void Replace(TPage* next) {
    file.ReleasePage(page);
    page = next;
  }

private:
  TIndexFile& file;
  TPage* page;
};

}  // namespace

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
  try {
    if (outermost && table->LockChangeCheck()) Resynchronise();
    const bool hadRecord = OnRecord();
    const bool wasEof = afterLast && !beforeFirst;
    std::vector<uint8_t> record(GetCurrentRecordBuffer(), GetCurrentRecordBuffer() + CursorRecordSize());
    rangeActive = false;
    rangeLowOpen = rangeHighOpen = true;
    LoadIndexState(n);
    UpdateFilterState();
    RebuildWindowAndBitmaps();
    ReFindAfterIndexChange(record.data(), hadRecord, wasEof);
  } catch (...) {
    EndOperation();
    throw;
  }
  EndOperation();
}

// The record the cursor stood on, found again in the new order.
void TDataCursor::ReFindAfterIndexChange(const uint8_t* record, bool hadRecord, bool wasEof) {
  if (!hadRecord) {
    if (wasEof) SetToEnd();
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
  SearchKey(key, true, false);
}

void TDataCursor::SetIndexName(const std::string& name) {
  RequireOpen();
  // Natural order has no name: an empty name from there selects the primary index.
  if (indexNo != NaturalOrderIndex && SameText(name, indexName)) return;
  const int slot = FindIndexByName(name);
  if (slot < 0) Raise(EngErrIndexName, {}, name);
  SetIndexNo(uint8_t(slot));
}

void TDataCursor::SetPrimaryIsNatural() {
  RequireOpen();
  IndexFile().SetNoPrimary(true);
}

// ---- index entries -------------------------------------------------------------
// Tree changes run under the table's write lock (or on an exclusive
// table), so their page reads look for no other user's changes.

bool TDataCursor::KeyExists(const uint8_t* key) {
  RequireOpen();
  TIndexFile& file = IndexFile();
  const uint32_t root = file.GetRootOffset(indexNo);
  if (root == 0) return false;
  THeldPage page(file, file.GetTreePage(indexNo, root));
  for (int depth = 0; !page->IsLeaf(); ++depth) {
    if (depth > MaxTreeDepth || page->Count == 0) Raise(EngErrPageCorrupt);
    page->Search(comparer, key, keyLength);
    page.Replace(file.GetTreePage(indexNo, page->CurrentPointer()));
  }
  return page->Count > 0 && page->Search(comparer, key, keyLength);
}

void TDataCursor::InsertKey(const uint8_t* key, uint32_t record) {
  RequireOpen();
  ENG_ASSERT(table->MayChangeFiles());
  TIndexFile& file = IndexFile();
  const uint32_t root = file.GetRootOffset(indexNo);
  if (root == 0) {
    THeldPage page(file, file.NewPage(indexNo));
    page->SetPageType(ptRootLeaf);
    page->Position = 0;
    page->InsertEntry(key, record, 0);
    file.SetRootOffset(indexNo, page->Offset);
    return;
  }
  THeldPage page(file, file.GetTreePage(indexNo, root));
  page->Parent = 0;
  for (int depth = 0; !page->IsLeaf(); ++depth) {
    if (depth > MaxTreeDepth || page->Count == 0) Raise(EngErrPageCorrupt);
    page->SearchForInsert(comparer, key, keyLength);
    page->SetCurrentKeyCount(page->CurrentKeyCount() + 1);
    TPage* child = file.GetTreePage(indexNo, page->CurrentPointer());
    child->Parent = page->Offset;
    page.Replace(child);
  }
  page->SearchForInsert(comparer, key, keyLength);
  page->InsertEntry(key, record, 0);
}

// The key is looked for first, so a missing one changes no key count.
void TDataCursor::DeleteKey(const uint8_t* key) {
  RequireOpen();
  ENG_ASSERT(table->MayChangeFiles());
  if (!KeyExists(key)) Raise(EngErrPageCorrupt);
  TIndexFile& file = IndexFile();
  THeldPage page(file, file.GetTreePage(indexNo, file.GetRootOffset(indexNo)));
  page->Parent = 0;
  for (int depth = 0; !page->IsLeaf(); ++depth) {
    if (depth > MaxTreeDepth || page->Count == 0) Raise(EngErrPageCorrupt);
    page->Search(comparer, key, keyLength);
    const uint32_t below = page->CurrentKeyCount();
    if (below == 0) Raise(EngErrPageCorrupt);
    page->SetCurrentKeyCount(below - 1);
    TPage* child = file.GetTreePage(indexNo, page->CurrentPointer());
    child->Parent = page->Offset;
    page.Replace(child);
  }
  page->Search(comparer, key, keyLength);
  page->DeleteEntry();
}

void TDataCursor::ReplaceKey(const uint8_t* oldKey, const uint8_t* newKey, uint32_t record) {
  DeleteKey(oldKey);
  InsertKey(newKey, record);
}

// ---- pages of a whole index ------------------------------------------------------

// A page met a second time is already free (or empty on disk): the tree
// names it twice, and freeing it again would link the free list to itself.
void TDataCursor::FreePageTree(uint8_t n, uint32_t offset, int depth) {
  if (depth > MaxTreeDepth) Raise(EngErrPageCorrupt);
  TIndexFile& file = IndexFile();
  THeldPage page(file, file.GetTreePage(n, offset));
  if (page->Free || page->Count == 0) Raise(EngErrPageCorrupt);
  if (!page->IsLeaf())
    for (int entry = 1; entry <= page->Count; ++entry) FreePageTree(n, page->PointerAt(entry), depth + 1);
  file.FreePage(page.Get());
}

void TDataCursor::FreeIndexPages(uint8_t n) {
  const uint32_t root = IndexFile().GetRootOffset(n);
  if (root != 0) FreePageTree(n, root, 0);
  IndexFile().SetRootOffset(n, 0);
}

// ---- adding and dropping indexes -------------------------------------------------

void TDataCursor::ReportProgress(uint32_t done, uint32_t total) {
  if (progressProc && total > 0) progressProc(progressContext, int32_t(done), int32_t(uint64_t(done) * 100 / total));
}

void TDataCursor::AddIndex(const uint8_t* indexDesc) {
  RequireExclusiveWritable();
  uint8_t desc[IndexDescSize];
  std::memcpy(desc, indexDesc, IndexDescSize);
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
  try {
    InsertKeysOfRecords(added, true);
  } catch (...) {
    ReleaseQuietly([&] { LoadIndexState(previous); });
    throw;
  }
  LoadIndexState(previous);
  ReassessFilterLevels();
  UpdateFilterState();
  RebuildWindowAndBitmaps();
  SetToBegin();
}

// Index n, empty, takes the key of every record in use. A key that a
// unique index holds already removes the later record, or, without
// removeDuplicates, is refused (9729) with nothing removed. A key of a
// non-unique index ends with the row number, so meeting it twice means
// rows share their number: refused too, since walks need distinct keys.
void TDataCursor::InsertKeysOfRecords(uint8_t n, bool removeDuplicates) {
  LoadIndexState(n);
  const uint32_t slots = DataFile().PhysicalRecordCount();
  uint8_t key[MaxIndexKeyLength];
  for (uint32_t slot = 1; slot <= slots; ++slot) {
    TRecord* record = nullptr;
    DataFile().GetRecord(nullptr, slot, 1, false, true, record);
    try {
      if (!record->IsDeleted()) {
        BuildKey(record->Buffer(), key);
        if (!KeyExists(key)) InsertKey(key, slot);
        else if (indexUnique && removeDuplicates) RemoveDuplicateRecord(n, record);
        else Raise(EngErrDuplicateKey);
      }
    } catch (...) {
      DataFile().ReleaseRecord(record);
      throw;
    }
    DataFile().ReleaseRecord(record);
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
  std::memcpy(deletedKey, key, keyLength);
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
  ReassessFilterLevels();
  UpdateFilterState();
  RebuildWindowAndBitmaps();
  SetToBegin();
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
  const uint8_t previous = indexNo;
  try {
    prepare();
    LoadIndexState(DeletedIndexNo);
    IndexFile().SetRecordCount(0);
    uint8_t key[MaxIndexKeyLength];
    const uint32_t slots = DataFile().PhysicalRecordCount();
    for (uint32_t slot = 1; slot <= slots; ++slot) {
      TRecord* record = nullptr;
      DataFile().GetRecord(nullptr, slot, 1, false, true, record);
      if (!record->IsDeleted()) IndexFile().IncRecordCount();
      BuildDeletedKey(record->Buffer(), key);
      DataFile().ReleaseRecord(record);
      if (KeyExists(key)) Raise(EngErrDuplicateKey);
      InsertKey(key, slot);
    }
    table->WriteHeaders(false, true, true);
    TakeChangeSnapshot();
    LoadIndexState(previous);
  } catch (...) {
    ReleaseQuietly([&] { LoadIndexState(previous); });
    ReleaseQuietly([this] { table->UnlockWrite(); });
    throw;
  }
  table->UnlockWrite();
}
