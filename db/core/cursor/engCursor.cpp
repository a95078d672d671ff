// The cursor's life: creation, the open-mode flags, opening and sharing
// its table, closing, and what the table asks of the cursors that read it.

#include "engCursor.h"

#include <exception>

#include "engCursorWalk.h"
#include "engDataFile.h"
#include "engDataHeader.h"
#include "engDirectory.h"
#include "engErrorCodes.h"
#include "engErrors.h"
#include "engExpParser.h"
#include "engIndexFile.h"
#include "engPaths.h"
#include "engRecordsBitmap.h"
#include "engScopeGuard.h"
#include "engSession.h"
#include "engTable.h"

TDataCursor::TDataCursor(TDataDirectory* directory)
    : directory(directory) {}

TDataCursor::~TDataCursor() { ReleaseQuietly([this] { Close(TTemporaryContents::Discard); }); }

std::unique_ptr<TTableCursor> NewTableCursor(TDataDirectory* directory) {
  return std::make_unique<TDataCursor>(directory);
}

void TDataCursor::Raise(uint16_t code, const std::string& fieldName, const std::string& index) const {
  RaiseEngineError(code, tableName, fieldName, index);
}

void TDataCursor::RequireClosed() const {
  if (open) Raise(EngErrTableInUse);
}

void TDataCursor::RequireOpen() const {
  // Nothing is known of a closed cursor's table beyond its name.
  if (!open) Raise(EngErrAccessDenied);
}

void TDataCursor::RequireExclusiveWritable() const {
  RequireOpen();
  if (!exclusive) Raise(EngErrNotExclusive);
  if (IsReadOnly()) Raise(EngErrAccessDenied);
}

TDataFile& TDataCursor::DataFile() const { return table->DataFile(); }
TIndexFile& TDataCursor::IndexFile() const { return table->IndexFile(); }

// ---- open-mode flags -------------------------------------------------------

void TDataCursor::SetOpenOptions(const TCursorOpenOptions& options) {
  const std::string name = options.TableName.empty() ? std::string() : ChangeFileExtension(options.TableName, ".DAT");
  // An open cursor keeps the table it opened and how; only the filter
  // update mode may change while open.
  if (open && (name != tableName || options.Exclusive != exclusive || options.ReadOnly != readOnly ||
               options.InMemory != inMemory || options.TemporaryTable != temporaryTable ||
               options.ComponentTable != componentTable || options.SqlSourceTable != sqlSourceTable))
    Raise(EngErrTableInUse);
  tableName = name;
  exclusive = options.Exclusive;
  readOnly = options.ReadOnly;
  inMemory = options.InMemory;
  noFilterUpdate = options.NoFilterUpdate;
  temporaryTable = options.TemporaryTable;
  componentTable = options.ComponentTable;
  sqlSourceTable = options.SqlSourceTable;
}

TCursorOpenOptions TDataCursor::OpenOptions() const {
  return {.TableName = tableName,
          .Exclusive = exclusive,
          .ReadOnly = readOnly,
          .InMemory = inMemory,
          .NoFilterUpdate = noFilterUpdate,
          .TemporaryTable = temporaryTable,
          .ComponentTable = componentTable,
          .SqlSourceTable = sqlSourceTable};
}

void TDataCursor::SetOverrideExclusive(bool value) {
  RequireClosed();
  overrideExclusive = value;
}

void TDataCursor::SetNoFilterUpdate(bool value) { noFilterUpdate = value; }

void TDataCursor::SetNoAutoInc(bool value) {
  if (hasAutoIncrement) noAutoInc = value;
}

bool TDataCursor::IsReadOnly() const { return readOnly || tableIsReadOnly; }

void TDataCursor::SetRepairHandler(TCursorMessageProc proc) {
  repairProc = std::move(proc);
}

void TDataCursor::SetIndexProgressHandler(TCursorProgressProc proc) {
  progressProc = std::move(proc);
}

void TDataCursor::SetPasswordHandler(TCursorPasswordProc proc) {
  passwordProc = std::move(proc);
}

void TDataCursor::ReportRepair(const std::string& text) {
  if (repairProc) repairProc(text);
}

bool TDataCursor::CallPasswordHandler() { return passwordProc && passwordProc(); }

// ---- open and close --------------------------------------------------------

void TDataCursor::Open() {
  if (open) return;
  TDataTable* opened = nullptr;
  // A component's table is read in order, so its files read sequentially.
  const TTableOpenOptions options{.Exclusive = exclusive,
                                  .OverrideExclusive = overrideExclusive,
                                  .InMemory = inMemory,
                                  .Temporary = temporaryTable,
                                  .SequentialAccess = componentTable,
                                  .NoFilterUpdate = noFilterUpdate,
                                  .SqlSource = sqlSourceTable};
  const int32_t result = directory->OpenTable(tableName, options, opened);
  if (result < 0) Raise(uint16_t(-result));
  TakeTable(opened, TTableArrival::Opened);
}

// A table this cursor has just made needs neither the repair pass nor the
// check of its trees: its files are as the creation wrote them.
void TDataCursor::TakeTable(TDataTable* taken, TTableArrival arrival, const std::vector<TFieldDefinition>* created) {
  table = taken;
  open = true;
  TScopeGuard closeOnFailure([this] { Close(TTemporaryContents::Keep); });
  tableIsReadOnly = table->IsReadOnly();
  const bool repaired = arrival == TTableArrival::Opened && RepairOnFirstOpen();
  AskForPassword();
  TakeTableValues(created);
  currentRecord.Take(DataFile(), CursorRecordSize());
  range.Open(int32_t(IndexFile().GetRecordCount()));
  SetEmptyPosition();
  if (table->IndexRecreated() && table->UseCount() == 1) RebuildDeletedIndex();
  else if (table->UseCount() == 1 && repaired && !CheckIndexTrees()) {
    // A table that may not be written cannot be mended: its walks would
    // answer with rows missing, so the damage is reported at once.
    if (table->IsReadOnly()) Raise(EngErrPageCorrupt);
    RebuildAllIndexes();
  }
  LoadIndexState(sqlSourceTable ? NaturalOrderIndex : 0);
  filtering.UpdateState();
  RebuildWindowAndBitmaps();
  SetToBegin();
  closeOnFailure.Dismiss();
}

bool TDataCursor::RepairOnFirstOpen() {
  if (HasOwnFieldList() || table->UseCount() != 1) return false;
  if (table->InTransaction() && table->DataChanged()) return false;
  table->LockChangeCheck();
  TScopeGuard unlock([this] { table->UnlockChangeCheck(); });
  table->Repair();
  return true;
}

// The trees are compared with the records they name under the same lock
// as the repair, so no writer changes them meanwhile. An index file just
// made empty is left alone: its trees are built next.
bool TDataCursor::CheckIndexTrees() {
  if (table->IndexRecreated()) return true;
  FlushDeferredKeys();
  table->LockChangeCheck();
  TScopeGuard unlock([this] { table->UnlockChangeCheck(); });
  return IndexTreesSound();
}

void TDataCursor::AskForPassword() {
  if (!table->IsEncrypted()) return;
  const std::string password = DataFile().GetPassword();
  while (!directory->Session()->PasswordExists(password))
    if (!CallPasswordHandler()) Raise(EngErrPasswordRequired);
}

void TDataCursor::TakeTableValues(const std::vector<TFieldDefinition>* created) {
  AttachFields(DataFile(), IndexFile(), created);
  blobs.Attach(*table);
  GetCharMap(LanguageId(), SortId(), charMap);
  TakeChangeSnapshot();
  DeriveFieldFlags();
}

void TDataCursor::DeriveFieldFlags() {
  hasAutoIncrement = hasComputedFields = false;
  for (int position = 1; position <= FieldListCount(); ++position)
    if (IsAutoIncField(FieldDescAt(position))) hasAutoIncrement = true;
  checks.Derive();
  if (!hasAutoIncrement) noAutoInc = false;
}

void TDataCursor::Close(TTemporaryContents contents) {
  if (!open) return;
  // A temporary table's files go with its last close, unread: another
  // cursor still on it builds the keys when it needs them.
  if (!table->IsTemporary()) ReleaseQuietly([this] { FlushDeferredKeys(); });
  // Open BLOBs go unposted: their changes are discarded.
  blobs.Detach();
  // The table may stay open for other cursors: a record lock left behind
  // would keep every other user off the record until the table closes.
  for (const uint32_t number : std::vector<uint32_t>(lockedRecords))
    ReleaseQuietly([&] { UnlockRecord(number); });
  lockedRecords.clear();
  filtering.Reset();
  range.Close();
  currentRecord.Release();
  // Its window is listed with the table's data file, which may go now.
  scanRun.ReleaseWindow();
  SetEmptyPosition();
  DetachFields();
  charMap[0] = 0;
  snapshot.Clear();
  hasComputedFields = false;
  checks.Clear();
  tableIsReadOnly = false;
  if (operationDepth > 0) directory->Session()->LeaveUse();
  operationDepth = 0;
  filling = false;

  TDataTable* closing = table;
  table = nullptr;
  open = false;
  ClearIndexState();
  for (std::unique_ptr<TTakenIndexState>& state : takenIndexStates) state.reset();
  const int32_t result = directory->CloseTable(closing, contents == TTemporaryContents::Discard);
  if (result < 0) Raise(uint16_t(-result));
}

// ---- the table's questions -------------------------------------------------

bool TDataCursor::FindOpenBlobSize(int32_t reference, int32_t& size) const {
  return blobs.FindOpenBlobSize(reference, size);
}
