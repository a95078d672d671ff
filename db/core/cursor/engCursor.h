#pragma once
// The engine's cursor over one table. Every open table component, every
// source table of an SQL statement and every SQL result set owns one.
// Cursors of one process share the table object of their directory; each
// keeps its own position, current index, range and field descriptors.
//
// A cursor holds no page or record of the table between two operations:
// it keeps the key (index order) or the record number (natural order) it
// stands on, and every operation finds its way back from there. A change
// by another cursor or process is noticed at the start of an operation,
// or by a read that meets it, and the cursor then resynchronises and
// starts the operation over.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engBlobField.h"
#include "engBuffer.h"
#include "engCharMaps.h"
#include "engCursorFilterSet.h"
#include "engCursorPosition.h"
#include "engCursorRecord.h"
#include "engCursorReadAhead.h"
#include "engCursorSnapshot.h"
#include "engCursorWrite.h"
#include "engCursorWriteChecks.h"
#include "engDataRecord.h"
#include "engDataSort.h"
#include "engExpToken.h"
#include "engFieldBytes.h"
#include "engFilter.h"
#include "engHeap.h"
#include "engIndexFile.h"
#include "engIndexPage.h"
#include "engIndexTree.h"
#include "engKeyCompare.h"
#include "engOwnedList.h"
#include "engReadContext.h"
#include "engTableCursor.h"
#include "engRecordsBitmap.h"

class TDataDirectory;
class TDataTable;
class TDataFile;
class TIndexFile;
class TRecord;
class TRecordsBitmap;
class TLeafWalker;
class TExpressionParser;
class TExpToken;
struct TKeyStretch;

static_assert(MaxBookmarkSize == MaxIndexKeyLength, "a bookmark holds the longest key");

// The files read for a cursor through its read context, never the cursor itself.
class TDataCursor final : public TEngineObject,
                          public TTableCursor,
                          public TCursorTableAdmin,
                          public TReadContext,
                          private TBlobOperationBracket {
public:
  explicit TDataCursor(TDataDirectory* directory);
  ~TDataCursor() override;

  TCursorTableAdmin& Admin() override { return *this; }
  TCursorFilterSet& Filters() override { return filtering; }
  TCursorBlobs& Blobs() override { return blobs; }
  TCursorWriteChecks& Checks() override { return checks; }
  // The engine works with the whole of its fields' access.
  using TCursorFields::ClearRecord;
  using TCursorFields::CopyFieldDescByPos;
  using TCursorFields::CursorRecordSize;
  using TCursorFields::FieldAt;
  using TCursorFields::FieldDefinition;
  using TCursorFields::FieldDefinitions;
  using TCursorFields::FieldDescAt;
  using TCursorFields::FieldListCount;
  using TCursorFields::FindFieldDescByNo;
  using TCursorFields::GetBlobFieldCount;
  using TCursorFields::GetBlobRef;
  using TCursorFields::GetField;
  using TCursorFields::GetFieldCount;
  using TCursorFields::GetFieldDesc;
  using TCursorFields::GetFieldNo;
  using TCursorFields::GetFieldValue;
  using TCursorFields::GetIndexDefinition;
  using TCursorFields::GetIndexDesc;
  using TCursorFields::GetIndexFieldList;
  using TCursorFields::GetRecordSize;
  using TCursorFields::GetSecondaryIndexCount;
  using TCursorFields::GetTableField;
  using TCursorFields::GetTableFieldDesc;
  using TCursorFields::HasFieldMap;
  using TCursorFields::HasOwnFieldList;
  using TCursorFields::LanguageId;
  using TCursorFields::PrimaryIsNatural;
  using TCursorFields::PutBlobReference;
  using TCursorFields::PutField;
  using TCursorFields::PutFieldValue;
  using TCursorFields::PutTableField;
  using TCursorFields::ReadField;
  using TCursorFields::SetBlobRef;
  using TCursorFields::SortId;
  using TCursorFields::ReadValue;
  using TCursorFields::StoredFieldBytes;
  using TCursorFields::StoredValueBytes;
  using TCursorFields::TableFieldDefinition;
  using TCursorFields::WriteBlank;
  using TCursorFields::WriteField;

  // TTableCursor: the operations engTableCursor.h describes.
  TDataDirectory* Directory() const { return directory; }
  bool IsOpen() const override { return open; }
  void SetOpenOptions(const TCursorOpenOptions& options) override;
  TCursorOpenOptions OpenOptions() const override;
  const std::string& TableName() const override { return tableName; }
  bool IsReadOnly() const override;
  void SetNoFilterUpdate(bool value) override;
  void SetNoAutoInc(bool value) override;
  // A twin opens its table beside an exclusive owner.
  void SetOverrideExclusive(bool value);
  bool IsOverrideExclusive() const { return overrideExclusive; }
  bool NoAutoInc() const { return noAutoInc; }
  bool HasComputedFields() const { return hasComputedFields; }
  void Open() override;
  void Close(TTemporaryContents contents) override;
  // Notifications: verify-and-repair findings (a cursor with one set is
  // in repair mode) and index-build progress.
  void SetRepairHandler(TCursorMessageProc proc);
  void SetIndexProgressHandler(TCursorProgressProc proc);
  void SetPasswordHandler(TCursorPasswordProc proc) override;
  // Checks (and completes) a definition before a table is created or
  // restructured; assignOffsets lays the fields out in the record. Gives
  // the completed fields' descriptors, shared with the process's last
  // checked definition when equal to it.
  std::shared_ptr<const std::vector<uint8_t>> CheckTableDefinition(TTableDefinition& definition, bool assignOffsets);
  void CreateTable(TTableDefinition& definition, bool overwrite) override;
  void CreateTableAndOpen(TTableDefinition& definition, bool overwrite) override;
  void DeleteTable() override;
  void RenameTable(const std::string& newName) override;
  // Moves the files aside to ".DBK", ".IBK" and ".BBK".
  void BackupTable();
  void EmptyTable() override;
  void SortRecords(std::span<const TSortField> keys, bool caseInsensitive, TSortDuplicates duplicates,
                   const TSortGroupCallbacks* callbacks) override;
  void SetTableInfo(const std::string& password, const std::string& description, uint16_t userMajor,
                    uint16_t userMinor, int32_t lastAutoInc);
  uint32_t GetBlobBlockSize() override;
  uint16_t GetLanguageID() override;
  uint16_t GetSortID() override;
  uint16_t GetUserMajorVersion() override;
  uint16_t GetUserMinorVersion() override;
  std::string GetTableDescription() override;
  bool IsTableEncrypted() override;
  std::string GetTablePassword() override;
  void SetFieldMap(std::vector<TFieldDefinition> fields, bool assignOffsets) override;
  uint8_t GetIndexNo() const override { return indexNo; }
  const std::string& GetIndexName() const { return indexState.Name; }
  uint16_t KeyLength() const { return indexState.KeyLength; }
  uint8_t KeyFieldCount() const { return indexState.KeyFieldCount; }
  bool IsNaturalOrder() const override;
  // Stands on the key, or without a match on the next one; the result says
  // whether it matched. With TCrack::Keep a cursor that stood before the
  // first (or after the last) record it sees goes back to that crack.
  enum class TCrack : uint8_t { Leave, Keep };
  bool SearchKey(const uint8_t* key, TCrack crack = TCrack::Leave);
  bool FindKey(const uint8_t* record, const TKeySearch& search = {}, uint8_t* found = nullptr) override;
  void MoveBy(int32_t n) override;
  void SetToBegin() override;
  void SetToEnd() override;
  int32_t GetRecordCount() const override;
  int32_t GetSequenceNo() const override;
  void SetToSequenceNo(int32_t n) override;
  bool AtBeginning() const { return position.AtBeginning(); }
  bool AtEnd() const { return position.AtEnd(); }
  bool OnRecord() const { return position.OnRecord(); }
  uint32_t CurrentRecordNumber() const override { return OnRecord() ? position.Record() : 0; }
  const uint8_t* GetCurrentRecordBuffer() const override;
  void SetRange(const uint8_t* low, int lowFieldCount, const uint8_t* high, int highFieldCount) override;
  void ResetRange() override;
  bool RangeActive() const override { return range.Active(); }
  int GetBookmarkSize() const override;
  void GetBookmark(uint8_t* bookmark) const override;
  bool GotoBookmark(const uint8_t* bookmark, TKeyMatch match = TKeyMatch::Exact) override;
  int CompareBookmarks(const uint8_t* a, const uint8_t* b) const override;
  void RefreshPosition() override;
  void SetIndexNo(uint8_t n) override;
  void SetIndexName(const std::string& name) override;
  void AddIndex(const TIndexDefinition& index) override;
  void DeleteIndex(const std::string& name) override;
  int32_t GetRecord(uint8_t* buffer, TRecordPurpose purpose = TRecordPurpose::View) override;
  int32_t GetNextRecord(uint8_t* buffer) override;
  int32_t GetPriorRecord(uint8_t* buffer) override;
  int32_t GetNextRecords(TRecordBatch& batch) override;
  int32_t CopyRecord(uint8_t* buffer) override;
  void LockRecord(uint32_t recordNumber) override;
  void UnlockRecord(uint32_t recordNumber) override;
  bool HoldsRecordLock(uint32_t recordNumber) const override;
  bool BeginRead() override;
  void EndRead() override;
  void PauseRead() override;
  bool BeginWrite();
  void EndWrite();
  // Every table cursor is a TDataCursor.
  int32_t SyncWith(TTableCursor& other) override { return SyncWith(static_cast<TDataCursor&>(other)); }
  int32_t SyncWith(TDataCursor& other);
  TDataCursor* Clone() override;
  // From the open table, or the data file on disk.
  uint32_t GetPhysicalRecordCount();
  // The BLOB file's end offset; 0 without BLOB fields.
  uint32_t GetBlobFileEnd();
  void InsertRecord(uint8_t* record, const TRecordChangeOptions& options = {}) override;
  void BeginFill(const TFillOptions& options = {}) override;
  void EndFill() override;
  void ModifyRecord(uint8_t* record, const TRecordChangeOptions& options = {}) override;
  void DeleteRecord(const uint8_t* record) override;

  // For the engine's own layers (restructure, tests, the filter set).
  TDataTable* Table() const { return table; }
  bool CallPasswordHandler();
  bool InRepairMode() const override { return bool(repairProc); }
  // CheckTableDefinition's work for a definition not checked just before.
  std::vector<uint8_t> CheckWholeDefinition(TTableDefinition& definition, bool assignOffsets);
  void CheckFieldNameLengths(const std::vector<TFieldDefinition>& fields);
  void CheckFieldDefs(uint8_t* fieldDescs, int32_t count, uint16_t languageId, uint16_t sortId,
                      bool assignOffsets);
  void CheckIndexDefs(uint8_t* indexDescs, int32_t count, const uint8_t* fieldDescs, int32_t fieldCount,
                      bool allowNaturalPrimary);
  // Whether restructuring must treat the field or index as changed.
  static bool FieldDefChanged(const uint8_t* oldDesc, const uint8_t* newDesc);
  bool IndexDefChanged(const uint8_t* oldDesc, const uint8_t* newDesc, const uint8_t* newFieldDescs,
                       int32_t newFieldCount);
  // After a restructure: fields numbered by position, index references
  // following them.
  void RenumberFields();
  void DropIndexPages(uint8_t indexNo);
  void BackupIndex();
  void RestoreIndex(bool keepCurrent, bool deleteBackup);
  // The current index's key of a record buffer, KeyLength() bytes.
  void BuildKey(const uint8_t* record, uint8_t* key);
  int CompareKeys(const uint8_t* a, const uint8_t* b, int length) const;
  // Fill the key from byte position from on with the lowest or highest
  // values its fields can take.
  void FillKeyLow(uint8_t* key, int from) const;
  void FillKeyHigh(uint8_t* key, int from) const;
  // Successor and predecessor of a key prefix of length bytes.
  static void IncrementKey(uint8_t* key, int length);
  static void DecrementKey(uint8_t* key, int length);
  void ComputeRangeWindow();
  // How far the table's indexes answer the condition under node, stored in
  // every node it looks at (and AND sides put in the order to evaluate).
  // With estimate, a node under a parent that selects more than 90% of the
  // table's keys is given up.
  uint8_t CanOptimizeCondition(uint8_t parentOperator, TExpToken* node, bool estimate);
  // The bracket of one cursor operation; the result says whether another
  // user's change was found (the cursor has resynchronised then).
  bool BeginOperation();
  // Counts one more operation level; true for the outermost, which the
  // session's thread check brackets.
  bool EnterOperation();
  void EndOperation();
  // Takes the table's change counters as seen.
  void TakeChangeSnapshot();
  // Rebuilds the window and the bitmaps and returns to the position.
  void Resynchronise();
  // Makes another index current for building and changing keys, without
  // moving: the record operations go through every index this way.
  void SwitchToIndex(uint8_t n);
  bool KeyExists(const uint8_t* key);
  void InsertKey(const uint8_t* key, uint32_t recordNumber);
  void DeleteKey(const uint8_t* key);
  void ReplaceKey(const uint8_t* oldKey, const uint8_t* newKey, uint32_t recordNumber);
  // Tells the index file that the table has no primary key.
  void SetPrimaryIsNatural();
  // The keys of the deleted-records index: status byte and row number.
  static void BuildDeletedKey(const uint8_t* record, uint8_t* key);
  bool FindOpenBlob(const TBlobBuffer* buffer) const { return blobs.FindOpenBlob(buffer); }
  int32_t OpenBlobCount() const { return blobs.OpenBlobCount(); }

protected:
  // TCursorFields.
  std::string FieldsTableName() const override { return tableName; }
  bool FindOpenBlobSize(int32_t reference, int32_t& size) const override;
  void ComputeFields(uint8_t* buffer) override;

private:
  friend class TLeafWalker;
  friend class TCursorTableLink;
  friend class TFilter;
  friend class TCursorFilterSet;
  friend class TCursorWriteChecks;

  TDataDirectory* directory;
  TDataTable* table = nullptr;
  std::string tableName;

  // Open-mode flags.
  bool open = false;
  bool exclusive = false;
  bool overrideExclusive = false;
  bool readOnly = false;
  bool inMemory = false;
  bool noFilterUpdate = false;
  bool temporaryTable = false;
  bool componentTable = false;
  bool sqlSourceTable = false;
  // Derived on open.
  bool tableIsReadOnly = false;
  bool hasAutoIncrement = false;
  bool noAutoInc = false;

  TCharMap charMap = {};
  // The table's change counters as last seen.
  TChangeSnapshot snapshot;

  // What the cursor works with from one index: its descriptor's values and
  // the comparer its key fields give. One structure, so that a kept state is
  // taken over, and the current one kept, as a whole.
  struct TIndexState {
    std::string Name;
    uint16_t KeyLength = 0;
    uint8_t KeyFieldCount = 0;
    bool Descending = false;
    bool CaseInsensitive = false;
    bool Unique = false;
    uint16_t KeyFieldNumbers[MaxKeyFields] = {};
    TKeyComparer Comparer;
  };

  // Current index.
  uint8_t indexNo = NaturalOrderIndex;
  TIndexState indexState;
  // Copies of the key fields' descriptors (MaxKeyFields slots), taken only
  // with a field map or the cursor's own field list; otherwise KeyFieldDesc
  // reads them where the data file keeps them.
  TEngineBuffer keyFieldDescs;
  // Index states as LoadIndexState took them, by index number, each with the
  // descriptor bytes it came from: a record change switches through every
  // index and back, a dozen switches for a delete and an append, and taking
  // a state anew (its name, each key field's descriptor) cost each of them
  // several hundred instructions. A state is taken over again only while
  // those bytes, the key fields' types and sizes and the language are the
  // same, so it is what taking it anew would give.
  struct TTakenIndexState {
    uint8_t Definition[IdxDescRoot] = {};
    TIndexState State;
  };
  std::unique_ptr<TTakenIndexState> takenIndexStates[IndexSlotCount];

  // The key (index order) or record (natural order) stood on.
  TCursorPosition position;
  // The key range and its window of logical positions.
  TCursorRange range;

  // Held while open.
  TCursorRecord currentRecord;
  // The records one step of GetNextRecords read.
  TRecordRun scanRun;

  // Navigation sees only the records of the visible bitmap while
  // filtering is on: always in natural order.
  TCursorFilterSet filtering{*this};
  TCursorWriteChecks checks{*this};
  bool computingWindow = false;
  // The current key's leaf, as it sizes the read-ahead.
  TLeafReadAhead readAhead;

  int operationDepth = 0;
  int restarts = 0;
  bool resynchronising = false;
  bool movingForward = true;
  bool computingFields = false;
  bool filling = false;

  TCursorMessageProc repairProc;
  TCursorProgressProc progressProc;
  TCursorPasswordProc passwordProc;

  [[noreturn]] void Raise(uint16_t code, const std::string& fieldName = {}, const std::string& indexName = {}) const;
  void RequireClosed() const;
  void RequireOpen() const;
  void RequireExclusiveWritable() const;
  TDataFile& DataFile() const;
  TIndexFile& IndexFile() const;

  // Lifecycle steps.
  // How the table reached the cursor: opened, or made a moment before by
  // this cursor in memory, where nothing else can have touched it.
  enum class TTableArrival : uint8_t { Opened, Created };
  // A created table comes with the checked definition's fields, which are
  // what its descriptors decode to.
  void TakeTable(TDataTable* taken, TTableArrival arrival, const std::vector<TFieldDefinition>* created = nullptr);
  // The files of a new table, open and with a use count of 1.
  TDataTable* CreateTableFiles(TTableDefinition& definition, bool overwrite);
  void AskForPassword();
  void TakeTableValues(const std::vector<TFieldDefinition>* created);
  void DeriveFieldFlags();
  // True when the table's repair pass ran for this open.
  bool RepairOnFirstOpen();
  void RebuildDeletedIndex();
  void RebuildAllIndexes();
  // Every index tree in the order and shape its walks rely on, its keys
  // those of the records (engCursorIndexCheck.cpp).
  bool CheckIndexTrees();
  bool IndexTreesSound();
  // expectedKeys and expectedSum: how many leaf entries the records give
  // the tree, and the sum of their shares.
  bool IndexTreeSound(uint8_t n, const std::vector<bool>& inUse, std::vector<bool>& pagesTaken, uint32_t expectedKeys,
                      uint64_t expectedSum);
  void RebuildIndexes(const std::function<void()>& prepare);
  // The 127-byte data file header of the table, open or on disk.
  void ReadDataHeader(uint8_t* header);
  uint16_t DataHeaderWord(int offset);
  std::string HeaderText(const uint8_t* header, int offset, int limit) const;

  // Index state.
  void LoadIndexState(uint8_t n);
  // LoadIndexState's two ends: the state taken before for index n from the
  // descriptor desc, when it still holds; the state just taken, kept.
  bool TakeKnownIndexState(uint8_t n, const uint8_t* desc);
  void KeepIndexState(const uint8_t* desc);
  const uint8_t* KeyFieldDesc(int i) const;
  // Takes the key fields' descriptors again (a field map changes how the
  // table numbering finds them).
  void RefreshKeyFieldDescs();
  bool KeyFieldDescsCurrent() const;
  void ClearIndexState();
  bool ValidIndexNo(int n) const;
  int FindIndexByName(const std::string& name) const;

  // Positions.
  enum class TEntryFit { Take, Pass, Stop };
  void SetEmptyPosition();
  void SetNaturalPosition(uint32_t record, int32_t logical, TCursorPlace place = TCursorPlace::OnRecord);
  // The runs and next records of the leaf sized the read-ahead of a walk:
  // counted at once, or, after a search (which a walk seldom follows), by
  // the first step that needs them. OnStep: counted at once for the landing
  // of a walk's step of one record, whose read takes the next records along
  // even where the step went on into another leaf.
  enum class TRunCount { Now, OnStep, AtFirstStep };
  void SetIndexPosition(const TLeafWalker& walker, TCursorPlace place = TCursorPlace::OnRecord,
                        TRunCount runs = TRunCount::Now);
  // Loads the record under the cursor into currentRecord; true when it
  // holds that record now (false off a record, or when a change met on the
  // way moved the cursor).
  bool LoadCurrentRecord();
  // A hint to memory for the held record a few places past held.
  void AskAheadForHeld(const uint8_t* held) const;
  // MoveBy's step and load, inside an operation already bracketed.
  bool MoveAndLoad(int32_t n);
  bool SeesRecords() const;
  bool RecordVisible(uint32_t record) const;
  // Whether the cursor may stand on the walker's entry, must pass it (a
  // record it does not see), or has left its range.
  TEntryFit FitOf(const TLeafWalker& walker) const;
  // How a walk looks for the next entry to stand on: its direction, and
  // whether the entry the walker stands on may be that one (else it steps
  // off it first).
  struct TStepOptions {
    bool Forward = true;
    bool TakeCurrent = false;
  };
  // Each Try... and step returns false when a read met another user's
  // change; the caller then resynchronises and tries again.
  bool StepToAcceptable(TLeafWalker& walker, const TStepOptions& options, bool& found);
  enum class TEdge : uint8_t { First, Last };
  bool TryPlaceAtEdge(TEdge edge, bool& found);
  bool TrySearchKey(const uint8_t* key, bool& found);
  // Leaves walker on the entry the cursor landed on, when it landed on one.
  bool TryMoveIndex(TLeafWalker& walker, int32_t n);
  void MoveNatural(int32_t n);
  void SetNaturalEnd();
  bool TrySetSequenceIndex(int32_t n);
  void SetSequenceNatural(int32_t n);
  void GotoNaturalRecord(uint32_t record);
  void KeepCrack(TCursorPlace was);
  // The keys below key, or not above it with inclusive.
  bool TryCountKeys(const uint8_t* key, bool inclusive, uint32_t& count);
  // A key's compared length: the given fields and a partial last one.
  int PartialKeyLength(int fieldCount, int partialLength) const;
  void BuildRangeBound(const uint8_t* record, int fieldCount, bool low, uint8_t* bound);
  void ReFindAfterIndexChange(const uint8_t* record, TCursorPlace was);

  // The range window, then the bitmaps (engCursorBitmaps).
  void RebuildWindowAndBitmaps();
  // The read context: a read-ahead stops at the records this cursor shows.
  int32_t ReadAheadCount(uint32_t record, bool forward, int32_t limit) override;
  int32_t UpcomingRecords(uint32_t record, bool forward, uint32_t* numbers, int32_t limit) override;
  void ReportRepair(const std::string& text) override;

  // After a change of the filters: filter state, bitmaps (of the one
  // filter rebuilt, or of all; none without evaluate), position.
  void AfterFilterChange(TFilter* rebuilt, bool evaluate);

  // Index-served conditions (engCursorKeyStretch, engCursorOptimize).
  // The index whose first field is the column a condition tests, with the
  // case flag it asks for; -1 when none.
  // secondField, when not 0: the index's second field must be that one.
  int FindConditionIndex(const TExpToken& node, uint16_t secondField = 0) const;
  // The records of an index-served condition leaf, into bits.
  void FillBitmapFromCondition(const TExpToken& node, bool costChoice, TRecordsBitmap& bits);
  // Both conditions, ANDed, as one stretch of their common index's keys;
  // false (bits untouched) when they are not two value stretches of one
  // index that meet in one.
  bool FillBitmapFromBoth(const TExpToken& first, const TExpToken& second, TRecordsBitmap& bits);
  // An "=" on an index's first field and a BETWEEN on its second, ANDed,
  // as the one stretch of that index's keys they meet in; false (bits
  // untouched) when no index has the two fields so.
  bool FillBitmapFromPair(const TExpToken& equal, const TExpToken& range, TRecordsBitmap& bits);
  // The keys an index-served condition leaf selects.
  uint32_t CountKeysOfCondition(const TExpToken& node);
  void BuildNullStretch(const TExpToken& column, TKeyStretch& stretch);
  void BuildConditionStretches(const TExpToken& node, std::vector<TKeyStretch>& stretches, bool& negated);
  bool TryFindEdge(const uint8_t* bound, int length, bool strict, uint32_t& logical);
  bool TrySeekEdge(TLeafWalker& walker, const uint8_t* bound, int length, bool strict);
  bool TryStretchPositions(const TKeyStretch& stretch, uint32_t& first, uint32_t& end);
  bool TryFillFromStretch(const TKeyStretch& stretch, TRecordsBitmap& bits);
  bool TryFillOutsideStretch(const TKeyStretch& stretch, TRecordsBitmap& bits);
  bool TryFillPositions(uint32_t first, uint32_t end, const uint8_t* nullKey, TRecordsBitmap& bits);
  // The records of keys keys from the one the walker stands on.
  bool TryFillWalked(TLeafWalker& walker, uint32_t keys, const uint8_t* nullKey, TRecordsBitmap& bits);
  bool NullSatisfies(const TExpToken& node);

  // Change detection.
  bool SkipsSnapshotCheck() const;
  void NoteRestart();
  // A read met another user's change: resynchronise before starting over.
  void AfterChangeSeen();
  // Takes the counters as seen and returns to the position; the bitmaps
  // are built again unless the caller keeps them current itself.
  void FindPositionAgain(bool rebuildBitmaps);

  // Index maintenance.
  // The B-tree of the current index.
  TIndexTree CurrentTree() const;
  void FreeIndexPages(uint8_t n);
  // "Sys Deleted" (the current index) takes the key of each record in use
  // from firstSlot on, rowNumbers[i] that of slot firstSlot + i: put in
  // order and appended leaf by leaf when they all sort after its keys. Two
  // records of one row number are refused (9729).
  void AddDeletedKeysInUse(uint32_t firstSlot, const std::vector<int32_t>& rowNumbers);
  // The table's waiting "Sys Deleted" keys go in (TDataTable::
  // WaitingDeletedKeys): under the write lock, or taking it. Whatever
  // reads or changes that index's keys of records in use calls one first.
  void InsertDeferredKeys();
  void FlushDeferredKeys();
  void RemoveDuplicateRecord(uint8_t newIndex, TRecord* record);
  void InsertKeysOfRecords(uint8_t n, bool removeDuplicates);
  void ReportProgress(uint32_t done, uint32_t total);

  // ---- record reads, locks and twins ------------------------------------------
  // The records this cursor has locked.
  std::vector<uint32_t> lockedRecords;
  // After a table lock: a change it found, or one the snapshot shows,
  // resynchronises the cursor; true then.
  bool FollowChanges(bool changed);
  // Loads the current record into buffer (zeros without one); false
  // without a current record.
  bool RefreshInto(uint8_t* buffer);
  // Steps n records and copies the record landed on into buffer; false
  // without a current record after the step.
  bool StepInto(int32_t n, uint8_t* buffer);
  int32_t CrackResult() const;
  // GetNextRecords in index order.
  int32_t NextIndexRecords(TRecordBatch& batch);
  // The current record as a batch of one, when the cursor holds it (a
  // step's load that met a change loads again).
  int32_t HandOutCurrent(TRecordBatch& batch, bool loaded);
  void CopyRangeTo(TDataCursor& twin) const;
  void CopyFiltersTo(TDataCursor& twin) const;
  void CopyBlobInto(int fieldNo, uint8_t* buffer);
  // ---- end of record reads, locks and twins ----------------------------------

  // ---- record changes ----------------------------------------------------------
  // The indexes a record has keys in: 0 (unless natural) to the last
  // secondary one.
  bool KeepsKeysIn(int n) const;
  // The keys of record (and of oldRecord, the one it replaces) in every
  // index that keeps keys, and in "Sys Deleted" for given row numbers.
  void BuildChangeKeys(const uint8_t* record, const uint8_t* oldRecord, TChangeKeys& keys);
  // 9729 when a key is new to a unique index that holds it already.
  void CheckKeysAreFree(TChangeKeys& keys);
  // Writes the headers back for other processes (unless exclusive or
  // read-only on disk) and takes the counters as seen.
  void FlushTable(bool forceIndex);
  // An insert's stored record, filled from the caller's (engCursorWrite.cpp).
  void StoreNewRecord(THeldRecord& stored, uint8_t* record, uint32_t number, uint8_t* freeKey);
  // A fill's appended record's "Sys Deleted" key, left waiting.
  void WaitDeletedKey(uint32_t number, const uint8_t* record);
  // A fill's row appended the short way; false when it needs InsertRecord's.
  bool AppendToFill(uint8_t* record);
  bool AppendFilled(uint8_t* record);
  // One record change: the record it locks (released on failure when the
  // change took the lock, after success when asked), the record as it now
  // stands (nil: deleted) and whether the cursor goes to it.
  struct TRecordChange {
    uint32_t Number;
    bool LockedHere;
    bool UnlockAfter;
    const uint8_t* Result;
    bool GoTo;
    // The change set the cursor's place in its current index (its key
    // kept, or the key after a deleted one taken) and its count of keys
    // before it: it needs no search.
    bool KeptCurrentKey = false;
  };
  // A template, not a std::function: an insert's work captures more than
  // one fits without taking it from the heap, once per record written.
  template <typename TWork>
  void RunRecordChange(TRecordChange& change, TWork&& work);
  // The keys of the last change, lent to the next one: each change takes
  // two or more keys of a few KB each (two keys and two tree paths), and a
  // fill writes a record a row.
  std::vector<TChangeKey> spareChangeKeys;
  // After this cursor's own change of record number (record nil: deleted):
  // where it now stands, and what it sees.
  void FollowOwnChange(uint32_t number, const uint8_t* record, bool goTo);
  // ---- end of record changes ---------------------------------------------------

  // ---- BLOB fields ---------------------------------------------------------------
  TCursorBlobs blobs{this, *this, *this};
  // TBlobOperationBracket: an open runs inside the operation bracket.
  void BeginBlobOperation() override;
  void EndBlobOperation() override;
  // A record object's open BLOBs written and put into it, with table
  // numbering; those opened for release are freed after.
  void CommitRecordBlobs(TRecord* record);
  // The same for a stored image (a held append) that no record object holds.
  void CommitRecordBlobs(uint8_t* buffer);
  // The chains of a record object that leaves the table are freed.
  void FreeRecordBlobs(TRecord* record);
  // ---- end of BLOB fields -----------------------------------------------------------

  // ---- restructure (engRestructure*) -------------------------------------------
public:
  void SetRestructureProgressHandler(TCursorProgressProc proc) override;
  void SetDataLostHandler(TDataLostProc proc) override;
  // On a closed, exclusive, writable cursor; LimitValue is the new last
  // auto-increment value, -1 keeping the table's. The cursor ends closed.
  void RestructureTable(TTableDefinition& definition, bool deleteBackup) override;

private:
  friend class TRestructure;
  TCursorProgressProc restructureProgressProc;
  TDataLostProc dataLostProc;
  // ---- end of restructure --------------------------------------------------------
};

// Brackets one cursor operation: BeginOperation on entry, EndOperation on
// every way out.
class TOperationBracket {
public:
  explicit TOperationBracket(TDataCursor& cursor) : cursor(cursor) { cursor.BeginOperation(); }
  ~TOperationBracket() { cursor.EndOperation(); }
  TOperationBracket(const TOperationBracket&) = delete;
  TOperationBracket& operator=(const TOperationBracket&) = delete;

private:
  TDataCursor& cursor;
};
