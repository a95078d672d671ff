#pragma once
// The cursor as the layers above the engine use it: the SQL engine, the
// database components and the programs over them. It names the cursor's
// operations and the types they take, and nothing of how the cursor finds
// its way through the table's files. NewTableCursor makes one.
//
// A cursor belongs to one session, and so to one thread at a time.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engExpToken.h"
#include "engFieldAccess.h"
#include "engFilter.h"
#include "engSortOptions.h"

class TDataDirectory;

inline constexpr int MaxCursorFilters = 64;
inline constexpr int MaxFieldNameLength = 30;
inline constexpr int MaxIndexDefinitions = 32;

// A bookmark never exceeds the longest key (524 field bytes and a row number).
inline constexpr int MaxBookmarkSize = 528;

// The notification procedures a caller may give a cursor; each carries
// what it needs of its caller.
using TCursorMessageProc = std::function<void(const std::string& text)>;
using TCursorProgressProc = std::function<void(int32_t done, int32_t percent)>;
// Answers whether opening an encrypted table should try again (after the
// caller added a password to the session).
using TCursorPasswordProc = std::function<bool()>;

// A key field of a record sort, by the cursor's numbering.
struct TSortField {
  int FieldNo = 0;
  bool Descending = false;
};

// What a fill knows of the table's use after it: the keys of the one sort
// it ends with (none: no sort, or not known).
struct TFillOptions {
  std::vector<TSortField> SortKeys;
  bool SortCaseInsensitive = false;
};

// A table's indexes in the engine's stored form, the primary first: whole
// descriptors, each as the index file keeps it, one after the other.
class TIndexDescList {
public:
  TIndexDescList() = default;
  // descs holds whole descriptors (asserted).
  explicit TIndexDescList(std::vector<uint8_t> descs);
  int32_t Count() const;
  // Descriptor n, 0 <= n < Count() (asserted).
  uint8_t* At(int32_t n);
  // The first descriptor, the others after it; nil when there is none.
  uint8_t* Data() { return bytes.empty() ? nullptr : bytes.data(); }
  const uint8_t* Data() const { return bytes.empty() ? nullptr : bytes.data(); }

private:
  std::vector<uint8_t> bytes;
};

// A table definition handed to CreateTable and CheckTableDefinition.
struct TTableDefinition {
  // In stored order; their numbers are what restructuring matches old and
  // new fields by. CheckTableDefinition completes them.
  std::vector<TFieldDefinition> Fields;
  // SetIndexes fills it from definitions; the engine completes it.
  TIndexDescList IndexDescs;
  void SetIndexes(const std::vector<TIndexDefinition>& indexes);
  std::string Description;
  uint16_t LanguageId = 0;
  uint16_t SortId = 0;
  uint32_t BlobBlockSize = DefaultBlobBlockSize;
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

// How a cursor opens its table.
struct TCursorOpenOptions {
  std::string TableName;
  bool Exclusive = false;
  bool ReadOnly = false;
  bool InMemory = false;
  // The cursor's own record changes leave its filters' bitmaps as they
  // were (an SQL statement's source, which it walks while it writes).
  bool NoFilterUpdate = false;
  // A temporary table (an SQL answer) whose contents a close may discard.
  bool TemporaryTable = false;
  // A component's table is read in order, so its files read sequentially.
  bool ComponentTable = false;
  // An SQL statement's source table opens in natural order.
  bool SqlSourceTable = false;
};

// What closing the last cursor of a temporary table does with its contents.
enum class TTemporaryContents : uint8_t { Keep, Discard };

// What GotoBookmark answers when no record carries the bookmark's key
// (it stands on the next one either way): Exact false, Nearest true.
enum class TKeyMatch : uint8_t { Exact, Nearest };

// The part of the key a FindKey compares: the first FieldCount key fields
// (0: all), the last of them cut to PartialLength bytes when not 0.
struct TKeySearch {
  int FieldCount = 0;
  int PartialLength = 0;
};

// Why GetRecord reads the current record: to show it, or to change it.
enum class TRecordPurpose : uint8_t { View, Edit };

// Where a record change of the cursor's own leaves it.
struct TRecordChangeOptions {
  // Stand on the changed record afterwards.
  bool GoToRecord = false;
  // ModifyRecord: release the lock the record was read for editing with.
  bool ReleaseLock = false;
};

// The operations on a cursor's table as a whole: its creation, removal,
// restructure and header values, its indexes and bulk fills. Reached
// through TTableCursor::Admin.
class TCursorTableAdmin {
public:
  // A record a restructure cannot carry over: the cause (TRestructureLoss),
  // a field or index name, and two flags the handler may change: stopAsking
  // ends the calls, carryOn false stops the restructure, table unchanged.
  using TDataLostProc = std::function<void(int cause, const std::string& text, bool& stopAsking, bool& carryOn)>;

  // On the cursor's table name and kind; the cursor must be exclusive and
  // writable, and ends closed.
  virtual void CreateTable(TTableDefinition& definition, bool overwrite) = 0;
  // CreateTable, then Open with the cursor's options: the cursor ends open
  // on the new table. A temporary table in memory, which lives only while
  // open, is made temporary by the open.
  virtual void CreateTableAndOpen(TTableDefinition& definition, bool overwrite) = 0;
  // On a closed cursor.
  virtual void DeleteTable() = 0;
  virtual void RenameTable(const std::string& newName) = 0;
  // On an open exclusive cursor.
  virtual void EmptyTable() = 0;
  // Only on a table without indexes (natural order); duplicates and
  // callbacks fold records of equal key.
  virtual void SortRecords(std::span<const TSortField> keys, bool caseInsensitive, TSortDuplicates duplicates,
                           const TSortGroupCallbacks* callbacks) = 0;
  // Header values: from the open table, or from the data file on disk.
  virtual uint32_t GetBlobBlockSize() = 0;
  virtual uint16_t GetLanguageID() = 0;
  virtual uint16_t GetSortID() = 0;
  virtual uint16_t GetUserMajorVersion() = 0;
  virtual uint16_t GetUserMinorVersion() = 0;
  virtual std::string GetTableDescription() = 0;
  virtual bool IsTableEncrypted() = 0;
  // Empty for a plain table.
  virtual std::string GetTablePassword() = 0;
  virtual void AddIndex(const TIndexDefinition& index) = 0;
  virtual void DeleteIndex(const std::string& name) = 0;
  // A fill of an exclusive table (an SQL answer): its record changes leave
  // window, bitmaps and position as they were, and EndFill rebuilds them
  // once, so n inserts cost n, not n times the table. Shared cursors are
  // refused (10253). A temporary table told the sort the fill ends with
  // sorts the records that outgrow its memory as they go (SortRecords'
  // rules), and that sort takes them as they were sorted.
  virtual void BeginFill(const TFillOptions& options = {}) = 0;
  virtual void EndFill() = 0;
  virtual void SetRestructureProgressHandler(TCursorProgressProc proc) = 0;
  virtual void SetDataLostHandler(TDataLostProc proc) = 0;
  // On a closed, exclusive, writable cursor; LimitValue is the new last
  // auto-increment value, -1 keeping the table's. The cursor ends closed.
  virtual void RestructureTable(TTableDefinition& definition, bool deleteBackup) = 0;

protected:
  ~TCursorTableAdmin() = default;
};

// A cursor's filters (engCursorFilters, engCursorFilterEval,
// engCursorKeyStretch, engCursorOptimize). Reached through
// TTableCursor::Filters.
class TCursorFilterAccess {
public:
  // Added inactive, at most MaxCursorFilters (9482). A dependent filter
  // goes last, any other before the first dependent one.
  // A condition text, parsed and checked against the table (10051), then
  // copied for it with the options' case and partial-compare rules.
  virtual TFilter* AddFilter(const std::string& text, const TCursorFilterOptions& options = {}) = 0;
  // A condition already checked and copied for this table, owned by the
  // filter.
  virtual TFilter* AddFilter(TExpTreePtr condition, const TCursorFilterOptions& options = {}) = 0;
  // The caller's record test.
  virtual TFilter* AddFilter(TFilterCallback callback, const TCursorFilterOptions& options = {}) = 0;
  // nil: every filter. A handle the cursor does not hold gives 10050 and
  // changes nothing.
  virtual void DropFilter(TFilter* filter) = 0;
  virtual void ActivateFilter(TFilter* filter) = 0;
  virtual void DeactivateFilter(TFilter* filter) = 0;
  // The new condition of an active condition filter, which owns it once
  // the handle is accepted; 10050 for an inactive one. Nothing without a
  // tree.
  virtual void UpdateFilter(TExpToken* tree, TFilter* filter) = 0;
  virtual int32_t FilterCount() const = 0;
  virtual TFilter* FilterAt(int32_t index) const = 0;
  virtual bool FilteringOn() const = 0;

protected:
  ~TCursorFilterAccess() = default;
};

// Whose numbers the field numbers of the BLOB operations are: the cursor's
// (those of its field map) or the table's.
enum class TFieldNumbering : uint8_t { Cursor, Table };

// How OpenBlob opens a field's value: whether the record change that
// writes it frees it, and the numbering of the field number. Reading and
// writing need no mode: an open value takes both.
struct TBlobOpenOptions {
  bool Release = false;
  TFieldNumbering Numbering = TFieldNumbering::Cursor;
};

// Where ReadWholeBlob puts a value: room for its length bytes, asked once
// the length is known, and again (the bytes written again) when the read
// starts over.
class TBlobValueRoom {
public:
  virtual uint8_t* Room(int32_t length) = 0;

protected:
  ~TBlobValueRoom() = default;
};

// The BLOB fields of a cursor's records (engCursorBlobs). A record's open
// BLOBs reach the BLOB file when the record is inserted, changed or
// deleted; closing one before discards its changes. Results and numbering
// as TCursorBlobs has them. Reached through TTableCursor::Blobs.
class TCursorBlobAccess {
public:
  // A record's open BLOBs reach the BLOB file when the record is inserted,
  // changed or deleted; closing one before discards its changes. Results
  // and numbering as TCursorBlobs has them.
  virtual int32_t OpenBlob(int fieldNo, uint8_t* record, const TBlobOpenOptions& options) = 0;
  virtual int32_t FreeBlob(int fieldNo, uint8_t* record, TFieldNumbering numbering) = 0;
  // At most destination's size (up to 2 GB) from offset; countRead says
  // how much came.
  virtual int32_t ReadBlob(int fieldNo, const uint8_t* record, TFieldNumbering numbering, int32_t& countRead,
                           std::span<uint8_t> destination, int32_t offset) = 0;
  virtual int32_t WriteBlob(int fieldNo, const uint8_t* record, TFieldNumbering numbering,
                            std::span<const uint8_t> source, int32_t offset) = 0;
  virtual int32_t TruncateBlob(int fieldNo, const uint8_t* record, TFieldNumbering numbering, int32_t newSize) = 0;
  virtual int32_t GetBlobSize(int fieldNo, const uint8_t* record, TFieldNumbering numbering, int32_t& size) const = 0;
  // The field's whole value read straight into room, from its chain or
  // from the BLOB open in it: the bytes OpenBlob and a read of them give,
  // under the same checks, without a buffer or a handle. length 0 (room
  // not asked) when the field holds none.
  virtual int32_t ReadWholeBlob(int fieldNo, const uint8_t* record, TFieldNumbering numbering, TBlobValueRoom& room,
                                int32_t& length) = 0;
  // Opens the field (cursor numbering) for release and makes its value
  // the whole of source's field (table numbering) in sourceRecord, read by
  // source's ReadWholeBlob into the open BLOB itself: what OpenBlob,
  // TruncateBlob to 0 and WriteBlob of those bytes would leave. length is
  // the value's; an empty one leaves the field's BLOB open and empty.
  virtual int32_t CopyBlob(int fieldNo, uint8_t* record, TCursorBlobAccess& source, int sourceFieldNo,
                           const uint8_t* sourceRecord, int32_t& length) = 0;
  // Whether AppendBlobCopy may take a value now: the table is a temporary
  // one held exclusively (an answer: nobody else reads its files, and a
  // fill that fails leaves it to be emptied or discarded) whose BLOB file
  // appends new chains at its end.
  virtual bool AppendsBlobCopies() const = 0;
  // The whole of source's field (table numbering) in sourceRecord made the
  // committed value of the field (cursor numbering, holding no open BLOB)
  // of a record about to be inserted: its chain appended at once with the
  // data file's next sequence number, and the field naming both, as
  // CopyBlob and the record's insert would leave them, without an open
  // BLOB. length is the value's; an empty one appends nothing and leaves
  // the field as it was. Only while AppendsBlobCopies.
  virtual int32_t AppendBlobCopy(int fieldNo, uint8_t* record, TCursorBlobAccess& source, int sourceFieldNo,
                                 const uint8_t* sourceRecord, int32_t& length) = 0;

protected:
  ~TCursorBlobAccess() = default;
};

// The checks of a record before it is written (engCursorWriteChecks).
// Reached through TTableCursor::Checks.
class TCursorRecordChecks {
public:
  // Zeros and the fields' default values (texts read by the table's rules).
  virtual void ApplyDefaults(uint8_t* record) = 0;

protected:
  ~TCursorRecordChecks() = default;
};

// Records handed out together by GetNextRecords, each of the cursor's
// record size, with its physical record number; valid until the next call.
class TRecordBatch {
public:
  int32_t Count() const { return count; }
  const uint8_t* Record(int32_t i) const {
    if (!read) return images.data() + size_t(i) * size;
    if (fromFile && i + RecordsAhead < count) AskAhead(read + size_t(numbers[size_t(i + RecordsAhead)] - readFirst) * size);
    return read + size_t(numbers[size_t(i)] - readFirst) * size;
  }
  uint32_t RecordNumber(int32_t i) const { return numbers[size_t(i)]; }
  size_t RecordSize() const { return size; }

private:
  friend class TDataCursor;
  std::vector<uint8_t> images;
  // Records of the cursor's own size are shown where its read put them
  // (record readFirst first), not copied; nil: in images.
  const uint8_t* read = nullptr;
  uint32_t readFirst = 0;
  // Where read lies in the file's pages, not in a buffer a read just
  // filled, a reader taking the records in turn with its own work on each
  // in between waited for memory at each one (half of a DISTINCT's scan):
  // each record asks for the one so many places on. A hint: nothing is
  // read from it.
  static constexpr int32_t RecordsAhead = 6;
  bool fromFile = false;
  void AskAhead(const uint8_t* record) const {
    constexpr uintptr_t CacheLine = 64;
    const uintptr_t start = reinterpret_cast<uintptr_t>(record);
    for (uintptr_t at = start & ~(CacheLine - 1); at < start + size; at += CacheLine)
      __builtin_prefetch(reinterpret_cast<const void*>(at));
  }
  std::vector<uint32_t> numbers;
  size_t size = 0;
  int32_t count = 0;
};

// What the layers above see of a cursor: opening and closing, moving,
// ranges, bookmarks, record reads, locks and changes. Its fields (typed
// reads and writes, descriptors), filters, BLOBs, record checks and its
// table's own operations are collaborators reached through the accessors.
class TTableCursor : protected TCursorFields {
public:
  TCursorFields& Fields() { return *this; }
  const TCursorFields& Fields() const { return *this; }
  virtual TCursorTableAdmin& Admin() = 0;
  virtual TCursorFilterAccess& Filters() = 0;
  virtual TCursorBlobAccess& Blobs() = 0;
  virtual TCursorRecordChecks& Checks() = 0;

  virtual bool IsOpen() const = 0;

  // ---- open options ------------------------------------------------------
  // Set on a closed cursor (0x272F while open); the table name is kept as
  // the data file's name: trimmed, with ".DAT".
  virtual void SetOpenOptions(const TCursorOpenOptions& options) = 0;
  virtual TCursorOpenOptions OpenOptions() const = 0;
  virtual const std::string& TableName() const = 0;
  // Set by the caller, or by a table that cannot be written.
  virtual bool IsReadOnly() const = 0;
  // The two modes accepted at any time.
  virtual void SetNoFilterUpdate(bool value) = 0;
  // Only a table with an auto-increment field takes it (once open).
  virtual void SetNoAutoInc(bool value) = 0;

  // ---- lifecycle ---------------------------------------------------------
  // Opens or shares the table and stands before the first record of the
  // primary index (natural order for an SQL source). A failure leaves the
  // cursor closed.
  virtual void Open() = 0;
  virtual void Close(TTemporaryContents contents) = 0;

  virtual void SetPasswordHandler(TCursorPasswordProc proc) = 0;

  // ---- field map -----------------------------------------------------------
  // Replaces the cursor's field list: fields marked not stored and fields
  // beyond the table's are placed after the table's record (assignOffsets;
  // else where the fields say). The cursor sets each field's Origin.
  virtual void SetFieldMap(std::vector<TFieldDefinition> fields, bool assignOffsets) = 0;

  // ---- keys ------------------------------------------------------------------
  virtual uint8_t GetIndexNo() const = 0;
  // Natural record order: index 255, or the primary index of a table
  // without primary key.
  virtual bool IsNaturalOrder() const = 0;

  // ---- navigation --------------------------------------------------------
  // The key of the record buffer, or the part search names; without a
  // match the cursor stands on the next key. The record reached is copied
  // to found when given.
  virtual bool FindKey(const uint8_t* record, const TKeySearch& search = {}, uint8_t* found = nullptr) = 0;
  virtual void MoveBy(int32_t n) = 0;
  virtual void SetToBegin() = 0;
  virtual void SetToEnd() = 0;
  virtual int32_t GetRecordCount() const = 0;
  virtual int32_t GetSequenceNo() const = 0;
  virtual void SetToSequenceNo(int32_t n) = 0;
  // The physical record of the position, 0 off a record.
  virtual uint32_t CurrentRecordNumber() const = 0;
  // The current record (zeros when there is none), of the cursor's record size.
  virtual const uint8_t* GetCurrentRecordBuffer() const = 0;

  // A key range on the current index, its bounds the keys of record
  // buffers; a count of 0 fields takes every field, a nil bound leaves
  // that side open. Natural order has no ranges.
  virtual void SetRange(const uint8_t* low, int lowFieldCount, const uint8_t* high, int highFieldCount) = 0;
  virtual void ResetRange() = 0;
  virtual bool RangeActive() const = 0;

  // ---- bookmarks -----------------------------------------------------------
  virtual int GetBookmarkSize() const = 0;
  virtual void GetBookmark(uint8_t* bookmark) const = 0;
  virtual bool GotoBookmark(const uint8_t* bookmark, TKeyMatch match = TKeyMatch::Exact) = 0;
  virtual int CompareBookmarks(const uint8_t* a, const uint8_t* b) const = 0;
  virtual void RefreshPosition() = 0;

  // ---- indexes -----------------------------------------------------------
  virtual void SetIndexNo(uint8_t n) = 0;
  virtual void SetIndexName(const std::string& name) = 0;

  // ---- record reads, locks and twins (engCursorRecords, engCursorLocks,
  // engCursorTwins) ---------------------------------------------------------
  // Results: 0, or 8705, 8706, 8709 with a given buffer zero-filled. Read
  // for editing, the current record is locked and must still equal buffer
  // (8708).
  virtual int32_t GetRecord(uint8_t* buffer, TRecordPurpose purpose = TRecordPurpose::View) = 0;
  virtual int32_t GetNextRecord(uint8_t* buffer) = 0;
  virtual int32_t GetPriorRecord(uint8_t* buffer) = 0;
  // Steps forward over several records at once: the visible records that
  // one read of the data file takes, read beside the table's record cache
  // (a scan passes each record once): in natural order those of the read,
  // in index order those of the rest of one leaf whose records lie close
  // together; else one record as GetNextRecord. The cursor stands on the
  // last one handed out. Results as GetNextRecord's, with no record in the
  // batch when not 0.
  virtual int32_t GetNextRecords(TRecordBatch& batch) = 0;
  // A new record buffer with the current record's values; its BLOBs are
  // copies, open in the buffer's fields until the buffer is inserted.
  virtual int32_t CopyRecord(uint8_t* buffer) = 0;
  // 0 is the current record. Another cursor of this process holding the
  // record gives 10258 at once; the cursor holding it may lock it again
  // (a change of a record read for editing) and one unlock releases it.
  virtual void LockRecord(uint32_t recordNumber) = 0;
  virtual void UnlockRecord(uint32_t recordNumber) = 0;
  virtual bool HoldsRecordLock(uint32_t recordNumber) const = 0;
  // Table lock brackets; the result says whether another user's change was
  // found (the cursor has resynchronised then).
  virtual bool BeginRead() = 0;
  virtual void EndRead() = 0;
  // Ends the bracket for a moment, for other users waiting to write: the
  // caller reads nothing the cursor handed out until BeginRead, after
  // which it reads as before.
  virtual void PauseRead() = 0;
  // Stands on the other cursor's record (or crack); 8710 when this cursor
  // cannot see that record.
  virtual int32_t SyncWith(TTableCursor& other) = 0;
  // A new open cursor on the same table, field map, index and range,
  // standing where this one stands. The caller frees it.
  virtual TTableCursor* Clone() = 0;
  // ---- end of record reads, locks and twins ----------------------------------

  // ---- record changes (engCursorWrite) -----------------------------------
  // Each change runs under the table's write lock and keeps every index
  // and "Sys Deleted" in step; a shared table's headers are written back
  // before it returns. Records are buffers of the cursor's record size.
  // 9729 for a key a unique index holds already.
  virtual void InsertRecord(uint8_t* record, const TRecordChangeOptions& options = {}) = 0;
  // Writes the record over the current one, which this cursor may hold
  // locked for editing.
  virtual void ModifyRecord(uint8_t* record, const TRecordChangeOptions& options = {}) = 0;
  // record is the current record as the caller last read it (8708 when it
  // differs, unless exclusive). Left on a record that is gone, a cursor
  // would count and step wrongly, so it always moves to the record that
  // takes its place.
  virtual void DeleteRecord(const uint8_t* record) = 0;
};

// A closed cursor on directory, for the caller to set up and open.
std::unique_ptr<TTableCursor> NewTableCursor(TDataDirectory* directory);
