// Whole-table work through a cursor: creating, deleting, renaming and
// backing up a table (cursor closed), emptying and sorting it and handling
// its index file (cursor open and exclusive), and the header values of a
// table that is not open.

#include <cstring>

#include "engCursor.h"
#include "engDataFile.h"
#include "engDataHeader.h"
#include "engDataSort.h"
#include "engDirectory.h"
#include "engFieldDescCodec.h"
#include "engErrorCodes.h"
#include "engErrors.h"
#include "engFileHandler.h"
#include "engIndexFile.h"
#include "engScopeGuard.h"
#include "engSession.h"
#include "engTable.h"
#include "engTableCipher.h"
#include "rtlStreams.h"

namespace {

// Keeps a password in the session while a call needs it.
class TSessionPassword {
public:
  TSessionPassword(TDataSession* session, const std::string& password, bool needed) : session(session) {
    if (needed && !session->PasswordExists(password)) {
      session->AddPassword(password);
      added = password;
    }
  }
  ~TSessionPassword() {
    if (!added.empty()) session->RemovePassword(added);
  }
  TSessionPassword(const TSessionPassword&) = delete;
  TSessionPassword& operator=(const TSessionPassword&) = delete;

private:
  TDataSession* session;
  std::string added;
};

}  // namespace

void TDataCursor::CreateTable(TTableDefinition& definition, bool overwrite) {
  TDataTable* created = CreateTableFiles(definition, overwrite);
  const int32_t result = directory->CloseTable(created, false);
  if (result < 0) Raise(uint16_t(-result));
}

// A table in memory is taken over as made: no other process can reach it,
// and between the creation and this no call of this process could. Any
// other is closed and opened again, as other processes may see it.
void TDataCursor::CreateTableAndOpen(TTableDefinition& definition, bool overwrite) {
  if (inMemory && !definition.Encrypted && !componentTable) {
    TDataTable* created = CreateTableFiles(definition, overwrite);
    {
      TScopeGuard closeOnFailure([this, created] { ReleaseQuietly([&] { directory->CloseTable(created, true); }); });
      directory->KeepCreatedTable(created, {.Exclusive = exclusive,
                                            .InMemory = inMemory,
                                            .Temporary = temporaryTable,
                                            .NoFilterUpdate = noFilterUpdate,
                                            .SqlSource = sqlSourceTable});
      closeOnFailure.Dismiss();
    }
    TakeTable(created, TTableArrival::Created, &definition.Fields);
    return;
  }
  // A temporary table in memory would go with the close: it is made
  // lasting and becomes temporary with the open.
  const bool temporary = temporaryTable;
  if (inMemory) temporaryTable = false;
  {
    TScopeGuard restore([this, temporary] { temporaryTable = temporary; });
    CreateTable(definition, overwrite);
  }
  // Made lasting for the open alone, it would stay for the process's life.
  TScopeGuard dropOnFailure([this] {
    if (inMemory && temporaryTable) directory->DeleteTable(tableName, true);
  });
  Open();
  dropOnFailure.Dismiss();
}

TDataTable* TDataCursor::CreateTableFiles(TTableDefinition& definition, bool overwrite) {
  RequireClosed();
  if (!exclusive) Raise(EngErrNotExclusive);
  if (readOnly) Raise(EngErrAccessDenied);
  TSessionPassword password(directory->Session(), definition.Password, definition.Encrypted);
  const auto fieldDescs = CheckTableDefinition(definition, true);
  if (!overwrite && directory->TableExists(tableName, inMemory)) Raise(EngErrTableExists);
  TDataTable* created = nullptr;
  TTableFilesDefinition files;
  files.FieldDescs = fieldDescs->data();
  files.FieldCount = int32_t(definition.Fields.size());
  files.IndexDescs = definition.IndexDescs.Data();
  files.IndexCount = definition.IndexDescs.Count();
  files.BlobBlockSize = definition.BlobBlockSize;
  files.Description = definition.Description;
  files.Password = definition.Password;
  files.Encrypted = definition.Encrypted;
  files.LanguageId = definition.LanguageId;
  files.SortId = definition.SortId;
  files.UserMajorVersion = definition.UserMajorVersion;
  files.UserMinorVersion = definition.UserMinorVersion;
  const int32_t result =
      directory->CreateTable(tableName, {.InMemory = inMemory, .Temporary = temporaryTable}, files, created);
  if (result < 0) Raise(uint16_t(-result));
  return created;
}

void TDataCursor::DeleteTable() {
  RequireClosed();
  const int32_t result = directory->DeleteTable(tableName, inMemory);
  if (result < 0) Raise(uint16_t(-result));
}

void TDataCursor::RenameTable(const std::string& newName) {
  RequireClosed();
  const int32_t result = directory->RenameTable(tableName, newName, false, inMemory);
  if (result < 0) Raise(uint16_t(-result));
}

void TDataCursor::BackupTable() {
  RequireClosed();
  const int32_t result = directory->RenameTable(tableName, tableName, true, inMemory);
  if (result < 0) Raise(uint16_t(-result));
}

void TDataCursor::EmptyTable() {
  RequireExclusiveWritable();
  table->Empty();
  TakeChangeSnapshot();
  RebuildWindowAndBitmaps();
  SetToBegin();
}

// Sorting renumbers the records and leaves the deleted ones out, so the
// deleted-records index is built again, from the row numbers the sort
// wrote (every record is in use), in one pass: no record is read back and
// no key descends. A fill's waiting keys named the old places: the new
// index takes every record, a temporary table's when first needed.
void TDataCursor::SortRecords(std::span<const TSortField> keys, bool caseInsensitive, TSortDuplicates duplicates,
                              const TSortGroupCallbacks* callbacks) {
  RequireOpen();
  if (!exclusive) Raise(EngErrNotExclusive);
  if (IndexFile().GetSecondaryCount() != 0 || !PrimaryIsNatural()) return;
  std::vector<TSortKeyField> keyFields(keys.size());
  for (size_t i = 0; i < keys.size(); ++i) {
    GetFieldDesc(keys[i].FieldNo, keyFields[i].Desc);
    keyFields[i].Descending = keys[i].Descending;
  }
  std::vector<int32_t> rowNumbers;
  DataFile().SortRecords(keyFields.data(), int(keyFields.size()), caseInsensitive, duplicates, callbacks, &rowNumbers);
  table->WaitingDeletedKeys() = {};
  FreeIndexPages(DeletedIndexNo);
  {
    table->LockWrite();
    TScopeGuard unlock([this] { table->UnlockWrite(); });
    const uint8_t previous = indexNo;
    TScopeGuard restore([&] { LoadIndexState(previous); });
    SetPrimaryIsNatural();
    LoadIndexState(DeletedIndexNo);
    IndexFile().SetRecordCount(uint32_t(rowNumbers.size()));
    if (table->IsTemporary()) table->WaitingDeletedKeys() = {1, std::move(rowNumbers)};
    else AddDeletedKeysInUse(1, rowNumbers);
    table->WriteHeaders({.ForceData = true, .ForceIndex = true});
    TakeChangeSnapshot();
  }
  RebuildWindowAndBitmaps();
  SetToBegin();
}

void TDataCursor::DropIndexPages(uint8_t n) {
  RequireExclusiveWritable();
  if (!ValidIndexNo(n) || n == NaturalOrderIndex) Raise(EngErrIndexName, {}, std::to_string(n));
  FreeIndexPages(n);
  if (n == indexNo) SetEmptyPosition();
}

void TDataCursor::BackupIndex() {
  RequireExclusiveWritable();
  // The copy is restored in place of the tree the keys would go to.
  FlushDeferredKeys();
  table->BackupIndex();
}

void TDataCursor::RestoreIndex(bool keepCurrent, bool deleteBackup) {
  RequireOpen();
  if (!exclusive) Raise(EngErrNotExclusive);
  table->RestoreIndex(keepCurrent, deleteBackup);
  if (!keepCurrent) {
    LoadIndexState(ValidIndexNo(indexNo) ? indexNo : 0);
    RebuildWindowAndBitmaps();
    SetToBegin();
  }
}

void TDataCursor::SetTableInfo(const std::string& password, const std::string& description, uint16_t userMajor,
                               uint16_t userMinor, int32_t lastAutoInc) {
  RequireOpen();
  DataFile().SetTableInfo(password, description, userMajor, userMinor, lastAutoInc);
}

// ---- header values -----------------------------------------------------------

void TDataCursor::ReadDataHeader(uint8_t* header) {
  if (open) {
    DataFile().GetHeader(header);
    return;
  }
  TFileHandler file;
  file.InMemory = inMemory;
  file.FileName = inMemory ? tableName : directory->LocalPath() + tableName;
  file.ReadOnly = true;
  file.Open();
  {
    TScopeGuard close([&file] { file.Close(); });
    TFileSection section(file);
    file.Seek(0, soFromBeginning);
    file.Read(header, DataHeaderSize, false);
  }
  if (!header[DatHdrEncrypted]) return;
  const std::string password = HeaderText(header, DatHdrPassword, PasswordLimit);
  while (!directory->Session()->PasswordExists(password))
    if (!CallPasswordHandler()) Raise(EngErrPasswordRequired);
}

std::string TDataCursor::HeaderText(const uint8_t* header, int offset, int limit) const {
  std::string text = GetShortString(header + offset, limit);
  if (header[DatHdrEncrypted] && !text.empty())
    ApplyTableCipher(reinterpret_cast<uint8_t*>(text.data()), uint32_t(text.size()));
  return text;
}

uint32_t TDataCursor::GetBlobBlockSize() {
  TDataHeader header;
  ReadDataHeader(header.Image);
  return header.BlobBlockSize();
}

uint16_t TDataCursor::DataHeaderWord(int offset) {
  TDataHeader header;
  ReadDataHeader(header.Image);
  return header.Get16(offset);
}

uint16_t TDataCursor::GetLanguageID() { return DataHeaderWord(DatHdrLanguageId); }

uint16_t TDataCursor::GetSortID() { return DataHeaderWord(DatHdrSortId); }

uint16_t TDataCursor::GetUserMajorVersion() { return DataHeaderWord(DatHdrUserMajor); }

uint16_t TDataCursor::GetUserMinorVersion() { return DataHeaderWord(DatHdrUserMinor); }

std::string TDataCursor::GetTableDescription() {
  TDataHeader header;
  ReadDataHeader(header.Image);
  return HeaderText(header.Image, DatHdrDescription, DescriptionLimit);
}

bool TDataCursor::IsTableEncrypted() {
  TDataHeader header;
  ReadDataHeader(header.Image);
  return header.Encrypted();
}

std::string TDataCursor::GetTablePassword() {
  TDataHeader header;
  ReadDataHeader(header.Image);
  return header.Encrypted() ? HeaderText(header.Image, DatHdrPassword, PasswordLimit) : std::string();
}
