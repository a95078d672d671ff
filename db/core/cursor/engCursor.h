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
#include "engCharMaps.h"
#include "engCursorFilterSet.h"
#include "engDataSort.h"
#include "engExpToken.h"
#include "engFieldAccess.h"
#include "engFilter.h"
#include "engHeap.h"
#include "engIndexPage.h"
#include "engIndexTree.h"
#include "engKeyCompare.h"
#include "engOwnedList.h"
#include "engReadContext.h"
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
class TSystemList;
struct TKeyStretch;

inline constexpr int MaxCursorFilters = 64;
inline constexpr int MaxFieldNameLength = 30;
inline constexpr int MaxIndexDefinitions = 32;

// In-memory field descriptors of a field map: where a field came from
// (table name, ".", field name) and the expression of a computed field.
// Table files leave these bytes zero.
inline constexpr int FieldDescOriginOffset = 248;  // short string
inline constexpr int FieldOriginLimit = 100;
inline constexpr int FieldDescExpressionOffset = 352;  // a TExpToken pointer

// A bookmark never exceeds the longest key.
inline constexpr int MaxBookmarkSize = MaxIndexKeyLength;

// The notification procedures a caller may give a cursor.
using TCursorMessageProc = void (*)(void* context, const std::string& text);
using TCursorProgressProc = void (*)(void* context, int32_t done, int32_t percent);
// Answers whether opening an encrypted table should try again (after the
// caller added a password to the session).
using TCursorPasswordProc = bool (*)(void* context);

// A table definition handed to CreateTable and CheckTableDefinition.
struct TTableDefinition {
  uint8_t* FieldDescs = nullptr;  // FieldCount descriptors of 768 bytes
  int32_t FieldCount = 0;
  uint8_t* IndexDescs = nullptr;  // IndexCount descriptors of 120 bytes, the primary first
  int32_t IndexCount = 0;
  std::string Description;
  uint16_t LanguageId = 0;
  uint16_t SortId = 0;
  uint32_t BlobBlockSize = 512;
  uint16_t UserMajorVersion = 0;
  uint16_t UserMinorVersion = 0;
  bool Encrypted = false;
  std::string Password;
  // A signed limit that restructuring passes (the auto-increment value);
  // below -1 is refused.
  int32_t LimitValue = 0;
  // A primary index without fields is natural record order.
  bool AllowNaturalPrimary = true;
};

// The files read for a cursor through its read context, never the cursor itself.
class TDataCursor : public TEngineObject,
                    public TCursorFields,
                    public TReadContext,
                    private TBlobOperationBracket {
public:
  explicit TDataCursor(TDataDirectory* directory);
  ~TDataCursor() override;

  TDataDirectory* Directory() const { return directory; }
  TDataTable* Table() const { return table; }
  bool IsOpen() const { return open; }

  // ---- open-mode flags (0x272F while open) ----------------------------
  // Kept as the data file's name: trimmed, with ".DAT".
  const std::string& TableName() const { return tableName; }
  void SetTableName(const std::string& name);
  void SetExclusive(bool value);
  void SetOverrideExclusive(bool value);
  void SetReadOnly(bool value);
  void SetInMemory(bool value);
  // Accepted at any time.
  void SetNoFilterUpdate(bool value);
  // Refused on an open cursor only when the value changes.
  void SetTemporaryTable(bool value);
  void SetComponentTable(bool value);
  void SetSqlSourceTable(bool value);
  // Only a table with an auto-increment field takes it.
  void SetNoAutoInc(bool value);
  bool IsExclusive() const { return exclusive; }
  bool IsOverrideExclusive() const { return overrideExclusive; }
  // Set by the caller, or by a table that cannot be written.
  bool IsReadOnly() const;
  bool IsInMemory() const { return inMemory; }
  bool NoFilterUpdate() const { return noFilterUpdate; }
  bool IsTemporaryTable() const { return temporaryTable; }
  bool IsComponentTable() const { return componentTable; }
  bool IsSqlSourceTable() const { return sqlSourceTable; }
  bool NoAutoInc() const { return noAutoInc; }
  bool TableIsReadOnly() const { return tableIsReadOnly; }
  bool HasValidityChecks() const { return hasValidityChecks; }
  bool HasDefaults() const { return hasDefaults; }
  bool HasAutoIncrement() const { return hasAutoIncrement; }
  bool HasComputedFields() const { return hasComputedFields; }

  // ---- lifecycle ---------------------------------------------------------
  // Opens or shares the table and stands before the first record of the
  // primary index (natural order for an SQL source). A failure leaves the
  // cursor closed.
  void Open();
  // closeTable lets a temporary table's unsaved contents go.
  void Close(bool closeTable);

  // Notifications: verify-and-repair findings (a cursor with one set is
  // in repair mode), index-build progress, password requests.
  // No caller in the engine: the components' table verification sets it.
  void SetRepairHandler(TCursorMessageProc proc, void* context);
  void SetIndexProgressHandler(TCursorProgressProc proc, void* context);
  void SetPasswordHandler(TCursorPasswordProc proc, void* context);
  bool CallPasswordHandler();
  bool InRepairMode() const override { return repairProc != nullptr; }

  // ---- definitions -------------------------------------------------------
  // Checks (and completes) a definition before a table is created or
  // restructured; assignOffsets lays the fields out in the record.
  void CheckTableDefinition(TTableDefinition& definition, bool assignOffsets);
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

  // ---- table-level operations --------------------------------------------
  // On the cursor's table name and kind; the cursor must be exclusive and
  // writable, and ends closed.
  void CreateTable(TTableDefinition& definition, bool overwrite);
  // On a closed cursor.
  void DeleteTable();
  void RenameTable(const std::string& newName);
  // Moves the files aside to ".DBK", ".IBK" and ".BBK".
  void BackupTable();
  // On an open exclusive cursor.
  void EmptyTable();
  // Only on a table without indexes (natural order); duplicates and
  // callbacks fold records of equal key.
  void SortRecords(const TSortKeyField* keys, int keyCount, bool caseInsensitive, TSortDuplicates duplicates,
                   const TSortGroupCallbacks* callbacks);
  void DropIndexPages(uint8_t indexNo);
  void BackupIndex();
  void RestoreIndex(bool keepCurrent, bool deleteBackup);
  void SetTableInfo(const std::string& password, const std::string& description, uint16_t userMajor,
                    uint16_t userMinor, int32_t lastAutoInc);

  // Header values: from the open table, or from the data file on disk.
  uint32_t GetBlobBlockSize();
  uint16_t GetLanguageID();
  uint16_t GetSortID();
  uint16_t GetUserMajorVersion();
  uint16_t GetUserMinorVersion();
  std::string GetTableDescription();
  bool IsTableEncrypted();
  // Empty for a plain table.
  std::string GetTablePassword();

  // ---- field map -----------------------------------------------------------
  // Replaces the cursor's field list: fields marked not stored and fields
  // beyond the table's are placed after the table's record.
  void SetFieldMap(const uint8_t* fieldDescs, int32_t count, bool assignOffsets);

  // ---- keys ------------------------------------------------------------------
  uint8_t GetIndexNo() const { return indexNo; }
  const std::string& GetIndexName() const { return indexName; }
  uint16_t KeyLength() const { return keyLength; }
  uint8_t KeyFieldCount() const { return keyFieldCount; }
  bool IndexIsUnique() const { return indexUnique; }
  bool IndexIsDescending() const { return indexDescending; }
  bool IndexIsCaseInsensitive() const { return indexCaseInsensitive; }
  // Natural record order: index 255, or the primary index of a table
  // without primary key.
  bool IsNaturalOrder() const;

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

  // ---- navigation --------------------------------------------------------
  // Positions on the key, or on the nearest key after it; true for a hit.
  bool SearchKey(const uint8_t* key, bool nearest, bool keepCrack);
  // key is a record buffer unless keyIsReady. fieldCount and
  // partialLength make a partial key (0 and 0: the whole key). The
  // record reached is copied to found when given.
  bool FindKey(const uint8_t* key, bool keyIsReady, int fieldCount, int partialLength, bool nearest,
               uint8_t* found);
  void MoveBy(int32_t n);
  void SetToBegin();
  void SetToEnd();
  int32_t GetRecordCount() const;
  int32_t GetSequenceNo() const;
  void SetToSequenceNo(int32_t n);
  void ComputeRangeWindow();
  bool AtBeginning() const { return beforeFirst; }
  bool AtEnd() const { return afterLast; }
  bool OnRecord() const { return !beforeFirst && !afterLast; }
  // The physical record of the position, 0 when none.
  uint32_t CurrentRecordNumber() const { return OnRecord() ? recordNumber : 0; }
  // The current record (zeros when there is none), of the cursor's record size.
  const uint8_t* GetCurrentRecordBuffer() const;

  // A key range on the current index; keys are built from record buffers
  // unless keyIsReady; a count of 0 fields (or nil) leaves that side open
  // or takes every field. Natural order has no ranges.
  void SetRange(bool keyIsReady, const uint8_t* low, int lowFieldCount, const uint8_t* high, int highFieldCount);
  void ResetRange();
  bool RangeActive() const { return rangeActive; }

  // ---- filters (engCursorFilters, engCursorFilterEval, engCursorKeyStretch,
  // engCursorOptimize) ----------------------------------------------------
  // Added inactive, at most MaxCursorFilters (9482). A dependent filter
  // goes last, any other before the first dependent one.
  // A condition text, parsed and checked against the table (10051), then
  // copied for it with the options' case and partial-compare rules.
  TFilter* AddFilter(const std::string& text, const TCursorFilterOptions& options = {});
  // A condition already checked and copied for this table (PrepareFilterText):
  // owned by the filter, or, shared, kept alive by the caller until the
  // filter is dropped.
  TFilter* AddFilter(TExpTreePtr condition, const TCursorFilterOptions& options = {});
  TFilter* AddSharedFilter(TExpToken* condition, const TCursorFilterOptions& options = {});
  // The caller's record test.
  TFilter* AddFilter(TFilterCallback callback, void* context, const TCursorFilterOptions& options = {});
  // The former all-in-one form, kept only until the SQL engine, the
  // components and the storage benchmark call the forms above: a text
  // (or neither tree nor callback) makes a text filter, else tree (owned
  // when ownsTree), else the callback.
  TFilter* AddFilter(void* callbackContext, const std::string& text, bool noPartialCompare, bool caseInsensitive,
                     bool costChoice, bool dependent, TFilterCallback callback, bool ownsTree, TExpToken* tree);
  // nil: every filter. A handle the cursor does not hold gives 10050 and
  // changes nothing.
  void DropFilter(TFilter* filter);
  void ActivateFilter(TFilter* filter);
  void DeactivateFilter(TFilter* filter);
  // The new condition of an active condition filter, which owns it once
  // the handle is accepted; 10050 for an inactive one. Nothing without a
  // tree.
  void UpdateFilter(TExpToken* tree, TFilter* filter);
  // A filter text parsed, checked and copied for this table as AddFilter
  // does (10051); the caller owns the tree, which UpdateFilter takes.
  TExpToken* PrepareFilterText(const std::string& text, const TCursorFilterOptions& options = {});
  int32_t FilterCount() const;
  TFilter* FilterAt(int32_t index) const;
  bool FilteringOn() const { return filtering.On(); }
  // How far the table's indexes answer the condition under node, stored in
  // every node it looks at (and AND sides put in the order to evaluate).
  // With estimate, a node under a parent that selects more than 90% of the
  // table's keys is given up.
  uint8_t CanOptimizeCondition(uint8_t parentOperator, TExpToken* node, bool estimate);

  // ---- bookmarks -----------------------------------------------------------
  int GetBookmarkSize() const;
  void GetBookmark(uint8_t* bookmark) const;
  bool GotoBookmark(const uint8_t* bookmark, bool nearest, bool noBracket);
  int CompareBookmarks(const uint8_t* a, const uint8_t* b) const;

  // ---- changes by others -------------------------------------------------
  // The bracket of one cursor operation; the result says whether another
  // user's change was found (the cursor has resynchronised then).
  bool BeginOperation();
  // Counts one more operation level; true for the outermost, which the
  // session's thread check brackets.
  bool EnterOperation();
  void EndOperation();
  void RefreshPosition();
  // Takes the table's change counters as seen.
  void TakeChangeSnapshot();
  // Rebuilds the window and the bitmaps and returns to the position.
  void Resynchronise();

  // ---- indexes -----------------------------------------------------------
  void SetIndexNo(uint8_t n);
  void SetIndexName(const std::string& name);
  // Makes another index current for building and changing keys, without
  // moving: the record operations go through every index this way.
  void SwitchToIndex(uint8_t n);
  bool KeyExists(const uint8_t* key);
  void InsertKey(const uint8_t* key, uint32_t recordNumber);
  void DeleteKey(const uint8_t* key);
  void ReplaceKey(const uint8_t* oldKey, const uint8_t* newKey, uint32_t recordNumber);
  void AddIndex(const uint8_t* indexDesc);
  void DeleteIndex(const std::string& name);
  // Tells the index file that the table has no primary key.
  void SetPrimaryIsNatural();

  // The keys of the deleted-records index: status byte and row number.
  static void BuildDeletedKey(const uint8_t* record, uint8_t* key);

  // ---- record reads, locks and twins (engCursorRecords, engCursorLocks,
  // engCursorTwins) ---------------------------------------------------------
  // Results: 0, or 8705, 8706, 8709 with a given buffer zero-filled. With
  // lock, the current record is locked and must still equal buffer (8708).
  int32_t GetRecord(uint8_t* buffer, bool lock);
  int32_t GetNextRecord(uint8_t* buffer);
  int32_t GetPriorRecord(uint8_t* buffer);
  // A new record buffer with the current record's values; its BLOBs are
  // copies, open in the buffer's fields until the buffer is inserted.
  int32_t CopyRecord(uint8_t* buffer);
  // 0 is the current record. Another cursor of this process holding the
  // record gives 10258 at once; the cursor holding it may lock it again
  // (a change of a record read for editing) and one unlock releases it.
  void LockRecord(uint32_t recordNumber);
  void UnlockRecord(uint32_t recordNumber);
  bool HoldsRecordLock(uint32_t recordNumber) const;
  // Table lock brackets; the result says whether another user's change was
  // found (the cursor has resynchronised then).
  bool BeginRead();
  void EndRead();
  bool BeginWrite();
  void EndWrite();
  // Stands on the other cursor's record (or crack); 8710 when this cursor
  // cannot see that record.
  int32_t SyncWith(TDataCursor& other);
  // A new open cursor on the same table, field map, index and range,
  // standing where this one stands. The caller frees it.
  TDataCursor* Clone();
  // From the open table, or the data file on disk.
  uint32_t GetPhysicalRecordCount();
  // The BLOB file's end offset; 0 without BLOB fields.
  uint32_t GetBlobFileEnd();
  // ---- end of record reads, locks and twins ----------------------------------

  // ---- record changes (engCursorWrite, engCursorWriteChecks) ---------------
  // Each change runs under the table's write lock and keeps every index
  // and "Sys Deleted" in step; a shared table's headers are written back
  // before it returns. Records are buffers of the cursor's record size.
  // Zeros and the fields' default values (texts read by the table's rules).
  void ApplyDefaults(uint8_t* record);
  // Raises the first field left blank though required (9732), or below its
  // minimum (9730) or above its maximum (9731).
  void CheckConstraints(const uint8_t* record);
  // Whether the field's value respects the limit text; limits are inclusive.
  bool CheckLimit(const std::string& limit, bool isMaximum, const uint8_t* fieldDesc, const uint8_t* value);
  // 9729 for a key a unique index holds already. With goToNew the cursor
  // stands on the new record afterwards.
  void InsertRecord(uint8_t* record, bool goToNew);
  // A fill of an exclusive table (an SQL answer): its record changes leave
  // window, bitmaps and position as they were, and EndFill rebuilds them
  // once, so n inserts cost n, not n times the table. Shared cursors are
  // refused (10253).
  void BeginFill();
  void EndFill();
  // Writes the record over the current one, which this cursor may hold
  // locked for editing; unlock releases that lock afterwards.
  void ModifyRecord(uint8_t* record, bool unlock, bool goTo);
  // record is the current record as the caller last read it (8708 when it
  // differs, unless exclusive). Left on a record that is gone, a cursor
  // would count and step wrongly, so it always moves to the record that
  // takes its place, whatever reposition says.
  void DeleteRecord(const uint8_t* record, bool reposition);
  // ---- end of record changes -------------------------------------------------

  // ---- BLOB fields (engCursorBlobs) -------------------------------------------
  // A record's open BLOBs reach the BLOB file when the record is inserted,
  // changed or deleted; closing one before discards its changes. Results
  // and numbering as TCursorBlobs has them.
  int32_t OpenBlob(int fieldNo, uint8_t* record, bool release, bool tableNumbering, uint8_t mode);
  int32_t FreeBlob(int fieldNo, uint8_t* record, bool tableNumbering);
  int32_t ReadBlob(int fieldNo, const uint8_t* record, bool tableNumbering, int32_t& countRead, int32_t count,
                   void* destination, int32_t offset);
  int32_t WriteBlob(int fieldNo, const uint8_t* record, bool tableNumbering, int32_t count, const void* source,
                    int32_t offset);
  int32_t TruncateBlob(int fieldNo, const uint8_t* record, bool tableNumbering, int32_t newSize);
  int32_t GetBlobSize(int fieldNo, const uint8_t* record, bool tableNumbering, int32_t& size) const;
  bool FindOpenBlob(const TBlobBuffer* buffer) const { return blobs.FindOpenBlob(buffer); }
  int32_t OpenBlobCount() const { return blobs.OpenBlobCount(); }
  // ---- end of BLOB fields -------------------------------------------------------

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
  bool hasValidityChecks = false;
  bool hasDefaults = false;
  bool hasAutoIncrement = false;
  bool hasComputedFields = false;
  bool noAutoInc = false;

  TCharMap charMap = {};
  // The table's change counters as last seen.
  uint32_t dataChanges = 0;
  uint32_t indexChanges = 0;
  uint32_t blobChanges = 0;

  // Current index.
  uint8_t indexNo = NaturalOrderIndex;
  std::string indexName;
  uint16_t keyLength = 0;
  uint8_t keyFieldCount = 0;
  bool indexDescending = false;
  bool indexCaseInsensitive = false;
  bool indexUnique = false;
  uint8_t indexCompression = 0;
  uint16_t keyFieldNumbers[MaxKeyFields] = {};
  TKeyComparer comparer;

  // Position: the key (index order) or record (natural order) stood on.
  uint8_t currentKey[MaxIndexKeyLength] = {};
  uint32_t recordNumber = 0;
  int32_t logicalPosition = 0;
  bool beforeFirst = true;
  bool afterLast = true;

  // Range and its window of logical positions.
  bool rangeActive = false;
  // A side given no bound reaches to that end of the index.
  bool rangeLowOpen = true;
  bool rangeHighOpen = true;
  uint8_t* rangeLow = nullptr;
  uint8_t* rangeHigh = nullptr;
  int32_t windowFirst = 0;
  int32_t windowLast = 0;

  TRecord* currentRecord = nullptr;
  TRecord* workRecord = nullptr;

  // Navigation sees only the records of the visible bitmap while
  // filtering is on: always in natural order.
  TCursorFilterSet filtering{*this};
  bool computingWindow = false;
  std::unique_ptr<TExpressionParser> parser;
  // Records that follow the current key's in its leaf without a gap.
  int32_t runForward = 0;
  int32_t runBackward = 0;

  int operationDepth = 0;
  int restarts = 0;
  bool resynchronising = false;
  bool movingForward = true;
  bool computingFields = false;
  bool filling = false;

  TCursorMessageProc repairProc = nullptr;
  void* repairContext = nullptr;
  TCursorProgressProc progressProc = nullptr;
  void* progressContext = nullptr;
  TCursorPasswordProc passwordProc = nullptr;
  void* passwordContext = nullptr;

  [[noreturn]] void Raise(uint16_t code, const std::string& fieldName = {}, const std::string& indexName = {}) const;
  void RequireClosed() const;
  void RequireOpen() const;
  void RequireExclusiveWritable() const;
  TDataFile& DataFile() const;
  TIndexFile& IndexFile() const;

  // Lifecycle steps.
  void AskForPassword();
  void TakeTableValues();
  void DeriveFieldFlags();
  // True when the table's repair pass ran for this open.
  bool RepairOnFirstOpen();
  void RebuildDeletedIndex();
  void RebuildAllIndexes();
  // Every index tree in the order and shape its walks rely on, its keys
  // those of the records (engCursorIndexCheck.cpp).
  bool CheckIndexTrees();
  bool IndexTreesSound();
  bool IndexTreeSound(uint8_t n, const std::vector<bool>& inUse, std::vector<bool>& pagesTaken);
  void RebuildIndexes(const std::function<void()>& prepare);
  // The 127-byte data file header of the table, open or on disk.
  void ReadDataHeader(uint8_t* header);
  uint16_t DataHeaderWord(int offset);
  std::string HeaderText(const uint8_t* header, int offset, int limit) const;

  // Index state.
  void LoadIndexState(uint8_t n);
  void ClearIndexState();
  bool ValidIndexNo(int n) const;
  int FindIndexByName(const std::string& name) const;

  // Positions.
  enum class TEntryFit { Take, Pass, Stop };
  void SetEmptyPosition();
  void SetNaturalPosition(uint32_t record, int32_t logical, bool bof, bool eof);
  void SetIndexPosition(const TLeafWalker& walker, bool bof, bool eof);
  void LoadCurrentRecord();
  bool SeesRecords() const;
  bool BelowRange(const uint8_t* key) const;
  bool AboveRange(const uint8_t* key) const;
  bool RecordVisible(uint32_t record) const;
  // Whether the cursor may stand on the walker's entry, must pass it (a
  // record it does not see), or has left its range.
  TEntryFit FitOf(const TLeafWalker& walker) const;
  // Steps (or, with takeCurrent, starts) to the next entry to stand on.
  // Each Try... and step returns false when a read met another user's
  // change; the caller then resynchronises and tries again.
  bool StepToAcceptable(TLeafWalker& walker, bool forward, bool takeCurrent, bool& found);
  bool TryPlaceAtEdge(bool first, bool& found);
  bool TrySearchKey(const uint8_t* key, bool nearest, bool& found);
  bool TryMoveIndex(int32_t n);
  void MoveNatural(int32_t n);
  void SetNaturalEnd();
  bool TrySetSequenceIndex(int32_t n);
  void SetSequenceNatural(int32_t n);
  void GotoNaturalRecord(uint32_t record);
  void KeepCrack(bool wasBof, bool wasEof);
  // The keys below key, or not above it with inclusive.
  bool TryCountKeys(const uint8_t* key, bool inclusive, uint32_t& count);
  // A key's compared length: the given fields and a partial last one.
  int PartialKeyLength(int fieldCount, int partialLength) const;
  void BuildRangeBound(bool keyIsReady, const uint8_t* given, int fieldCount, bool low, uint8_t* bound);
  void ReFindAfterIndexChange(const uint8_t* record, bool hadRecord, bool wasEof);

  // The range window, then the bitmaps (engCursorBitmaps).
  void RebuildWindowAndBitmaps();
  // The read context: a read-ahead stops at the records this cursor shows.
  int32_t ReadAheadCount(uint32_t record, bool forward, int32_t limit) override;
  void ReportRepair(const std::string& text) override;

  // Filters.
  void RequireFilterRoom() const;
  TFilter* InsertFilter(std::unique_ptr<TFilter> filter, const TCursorFilterOptions& options);
  // After a change of the filters: filter state, bitmaps (of the one
  // filter rebuilt, or of all; none without evaluate), position.
  void AfterFilterChange(TFilter* rebuilt, bool evaluate);

  // Index-served conditions (engCursorKeyStretch, engCursorOptimize).
  // The index whose first field is the column a condition tests, with the
  // case flag it asks for; -1 when none.
  int FindConditionIndex(const TExpToken& node) const;
  // The records of an index-served condition leaf, into bits.
  void FillBitmapFromCondition(const TExpToken& node, bool costChoice, TRecordsBitmap& bits);
  // The keys an index-served condition leaf selects.
  uint32_t CountKeysOfCondition(const TExpToken& node);
  void BuildNullStretch(const TExpToken& column, TKeyStretch& stretch);
  void BuildConditionStretches(const TExpToken& node, std::vector<TKeyStretch>& stretches, bool& negated);
  bool TryFindEdge(const uint8_t* bound, int length, bool strict, uint32_t& logical);
  bool TryStretchPositions(const TKeyStretch& stretch, uint32_t& first, uint32_t& end);
  bool TryFillFromStretch(const TKeyStretch& stretch, TRecordsBitmap& bits);
  bool TryFillOutsideStretch(const TKeyStretch& stretch, TRecordsBitmap& bits);
  bool TryFillPositions(uint32_t first, uint32_t end, const uint8_t* nullKey, TRecordsBitmap& bits);
  bool NullSatisfies(const TExpToken& node);

  // Change detection.
  bool SnapshotDiffers() const;
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
  int32_t CrackResult() const;
  void CopyRangeTo(TDataCursor& twin) const;
  void CopyFiltersTo(TDataCursor& twin) const;
  void CopyBlobInto(int fieldNo, uint8_t* buffer);
  // ---- end of record reads, locks and twins ----------------------------------

  // ---- record changes ----------------------------------------------------------
  // The indexes a record has keys in: 0 (unless natural) to the last
  // secondary one.
  bool KeepsKeysIn(int n) const;
  // 9729 when the record's key is new to a unique index that holds it.
  void CheckKeyIsFree(const uint8_t* record, const uint8_t* oldRecord);
  // Writes the headers back for other processes (unless exclusive or
  // read-only on disk) and takes the counters as seen.
  void FlushTable(bool forceIndex);
  // One record change: the record it locks (released on failure when the
  // change took the lock, after success when asked), the record as it now
  // stands (nil: deleted) and whether the cursor goes to it.
  struct TRecordChange {
    uint32_t Number;
    bool LockedHere;
    bool UnlockAfter;
    const uint8_t* Result;
    bool GoTo;
  };
  void RunRecordChange(TRecordChange& change, const std::function<void()>& work);
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
  // The chains of a record object that leaves the table are freed.
  void FreeRecordBlobs(TRecord* record);
  // ---- end of BLOB fields -----------------------------------------------------------

  // ---- restructure (engRestructure*) -------------------------------------------
public:
  // A record a restructure cannot carry over: the cause (TRestructureLoss),
  // a field or index name, and two flags the handler may change: stopAsking
  // ends the calls, carryOn false stops the restructure, table unchanged.
  using TDataLostProc = void (*)(void* context, int cause, const std::string& text, bool& stopAsking,
                                 bool& carryOn);
  void SetRestructureProgressHandler(TCursorProgressProc proc, void* context);
  void SetDataLostHandler(TDataLostProc proc, void* context);
  // On a closed, exclusive, writable cursor; LimitValue is the new last
  // auto-increment value, -1 keeping the table's. The cursor ends closed.
  void RestructureTable(TTableDefinition& definition, bool deleteBackup);

private:
  friend class TRestructure;
  TCursorProgressProc restructureProgressProc = nullptr;
  void* restructureProgressContext = nullptr;
  TDataLostProc dataLostProc = nullptr;
  void* dataLostContext = nullptr;
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
