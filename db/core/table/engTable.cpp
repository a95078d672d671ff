// The table object: its options and file names, opening and closing its
// files, creating a new table's files, and what the files ask of it.

#include "engTable.h"

#include "rtlAssert.h"
#include "engDirectory.h"
#include "engErrors.h"
#include "engPaths.h"
#include "engScopeGuard.h"
#include "engSession.h"
#include "engTableCipher.h"

namespace {

constexpr int32_t InitialLockRecords = 8192;

}  // namespace

TDataTable::TDataTable(TDataDirectory* directory)
    : directory(directory), dataFile(this), indexFile(this), blobFile(this) {
  heldLocks.SetRecordCount(InitialLockRecords);
  cursorLocks.SetRecordCount(InitialLockRecords);
  deferredUnlocks.SetRecordCount(InitialLockRecords);
}

TDataTable::~TDataTable() {
  if (!open) return;
  // A session freed with tables still in use: nothing must stay locked.
  ReleaseQuietly([this] { Rollback(); });
  ReleaseQuietly([this] { ReleaseFiles(true); });
}

TDataSession* TDataTable::Session() const { return directory->Session(); }

void TDataTable::Raise(uint16_t code) const { RaiseEngineError(code, name); }

void TDataTable::SetName(const std::string& newName) { name = ChangeFileExtension(newName, ".DAT"); }

void TDataTable::SetExclusive(bool value) { exclusive = value; }
void TDataTable::SetInMemory(bool value) { inMemory = value; }
void TDataTable::SetNoFilterUpdate(bool value) { noFilterUpdate = value; }
void TDataTable::SetSqlSource(bool value) { sqlSource = value; }
void TDataTable::SetTemporary(bool value) { temporary = value; }
void TDataTable::SetSequentialAccess(bool value) { sequentialAccess = value; }

std::string TDataTable::FileNameFor(const std::string& ext) const {
  const std::string file = ChangeFileExtension(name, ext);
  return inMemory ? file : directory->LocalPath() + file;
}

void TDataTable::BuildFileNames() {
  const bool writeThrough = Session()->ForceBufferFlush;
  auto prepare = [&](TFileHandler& file, const char* ext) {
    file.FileName = FileNameFor(ext);
    file.Exclusive = exclusive;
    file.ReadOnly = readOnly;
    file.InMemory = inMemory;
    file.Temporary = temporary;
    file.SequentialAccess = sequentialAccess;
    file.WriteThrough = writeThrough;
  };
  prepare(dataFile, ".DAT");
  prepare(indexFile, ".IDX");
  prepare(blobFile, ".BLB");
}

void TDataTable::Open() {
  useCount = 1;
  if (open) return;
  indexRecreated = false;
  commitCarries = false;
  open = true;
  BuildFileNames();
  TScopeGuard closeOnFailure([this] { Close(true); });
  OpenFiles();
  closeOnFailure.Dismiss();
  filesReadOnly = dataFile.OpenedReadOnly() || indexFile.OpenedReadOnly() ||
                  (blobFile.IsOpen() && blobFile.OpenedReadOnly());
  readOnly = readOnly || filesReadOnly;
  readIndexLock = readBlobLock = changeCheckIndexLock = changeCheckBlobLock = 0;
  deferredUnlocks.ClearAll();
}

void TDataTable::OpenFiles() {
  dataFile.Open();
  OpenIndexFile();
  if (dataFile.BlobFieldCount() > 0) {
    blobFile.SetBlockSize(uint16_t(dataFile.BlobBlockSize()));
    blobFile.Open();
  }
}

void TDataTable::OpenIndexFile() {
  if (!indexFile.Exists()) {
    indexRecreated = true;
    indexFile.CreateIndexFile();
    indexFile.WriteHeader(true);
    indexFile.Close();
  }
  indexFile.Open();
}

void TDataTable::Close(bool discardTemporary) {
  if (!open) return;
  if (useCount > 0) --useCount;
  if (useCount > 0 || transactionActive) return;
  ReleaseFiles(discardTemporary);
}

void TDataTable::ReleaseFiles(bool discardTemporary) {
  // Every release runs, the last armed first, whatever failed before it;
  // the first failure is raised once the files are closed.
  TScopeGuard closeFiles([this] { CloseFiles(); });
  TScopeGuard unlockWrite([this] { UnlockWrite(); });
  TScopeGuard unlockChangeCheck([this] { UnlockChangeCheck(); });
  TScopeGuard clearCursorLocks([this] { cursorLocks.ClearAll(); });
  TScopeGuard unlockRecords([this] { UnlockAllRecords(false); });
  if (exclusive && !readOnly) {
    if (temporary && discardTemporary) {
      dataFile.DropHeld();
      blobFile.DropHeld();
      ReloadFiles(true, false);
    } else {
      // Lasting files hold every key: the last cursor's close put them in.
      ORV_ASSERT(waitingDeletedKeys.RowNumbers.empty() || temporary);
      WriteHeaders({.TrimCaches = true});
    }
  }
}

void TDataTable::CloseFiles() {
  waitingDeletedKeys = {};
  indexFile.Close();
  blobFile.Close();
  dataFile.Close();
  readIndexLock = readBlobLock = changeCheckIndexLock = changeCheckBlobLock = 0;
  open = false;
  indexRecreated = false;
  dataChanged = false;
}

namespace {

// The most bytes the files of a table set aside keep in memory.
constexpr int64_t SetAsideBytes = 256 * 1024;

}  // namespace

bool TDataTable::MayBeSetAside() const {
  if (!open || useCount != 1 || !inMemory || !temporary || !exclusive || readOnly || transactionActive ||
      IsEncrypted() || !dataFile.IsOpen() || !indexFile.IsOpen())
    return false;
  // Only the layout is taken again: a table with indexes would need them
  // made as its creation made them.
  if (!indexFile.GetNoPrimary() || indexFile.GetSecondaryCount() != 0) return false;
  const int64_t held =
      dataFile.MemoryBytes() + indexFile.MemoryBytes() + (blobFile.IsOpen() ? blobFile.MemoryBytes() : 0);
  return held <= SetAsideBytes;
}

void TDataTable::SetAside() {
  ORV_ASSERT(MayBeSetAside());
  useCount = 0;
  {
    // Released as ReleaseFiles releases a temporary table at its last
    // close, but for closing the files.
    TScopeGuard unlockWrite([this] { UnlockWrite(); });
    TScopeGuard unlockChangeCheck([this] { UnlockChangeCheck(); });
    TScopeGuard clearCursorLocks([this] { cursorLocks.ClearAll(); });
    TScopeGuard unlockRecords([this] { UnlockAllRecords(false); });
    dataFile.DropHeld();
    blobFile.DropHeld();
    ReloadFiles(true, false);
  }
  dataFile.Hide();
  indexFile.Hide();
  if (blobFile.IsOpen()) blobFile.Hide();
  waitingDeletedKeys = {};
  deferredUnlocks.ClearAll();
  readIndexLock = readBlobLock = changeCheckIndexLock = changeCheckBlobLock = 0;
  open = false;
  indexRecreated = false;
  dataChanged = false;
}

bool TDataTable::FitsCreation(const TTableFilesDefinition& definition) const {
  ORV_ASSERT(!open && dataFile.IsOpen());
  if (definition.IndexCount != 0 || !dataFile.HoldsDescriptors(definition)) return false;
  // A table without BLOB fields never opened its BLOB file.
  return blobFile.IsOpen() == (dataFile.BlobFieldCount() > 0);
}

void TDataTable::TakeBack(TDataDirectory* owner, const std::string& newName) {
  ORV_ASSERT(!open && dataFile.IsOpen());
  directory = owner;
  SetName(newName);
  // As a table object made for the creation has them; the open sets them.
  sequentialAccess = noFilterUpdate = sqlSource = false;
  std::vector<TFileHandler*> files = {&dataFile, &indexFile};
  std::vector<std::string> names = {FileNameFor(".DAT"), FileNameFor(".IDX")};
  if (blobFile.IsOpen()) {
    files.push_back(&blobFile);
    names.push_back(FileNameFor(".BLB"));
  }
  TFileHandler::Reveal(files, names);
}

void TDataTable::CreateFiles(const TTableFilesDefinition& definition) {
  BuildFileNames();
  // Only what this call created (or a table set aside took back) is open,
  // and only that is deleted.
  TScopeGuard deleteOnFailure([this] {
    for (TFileHandler* file : {static_cast<TFileHandler*>(&indexFile), static_cast<TFileHandler*>(&blobFile),
                               static_cast<TFileHandler*>(&dataFile)}) {
      if (!file->IsOpen()) continue;
      file->Close();
      ReleaseQuietly([file] { file->DeleteFile(); });
    }
  });
  if (dataFile.IsOpen()) dataFile.CreateOverDescriptors(definition);
  else dataFile.CreateDataFile(definition);
  dataFile.WriteHeader(true);
  dataFile.WriteFieldDescriptors();
  indexFile.CreateIndexFile();
  if (definition.IndexCount > 0) {
    indexFile.SetPrimaryIndex(definition.IndexDescs);
    for (int i = 1; i < definition.IndexCount; ++i) indexFile.AddIndex(definition.IndexDescs + i * IndexDescSize);
  } else {
    indexFile.SetNoPrimary(true);
  }
  indexFile.WriteHeader(true);
  if (dataFile.BlobFieldCount() > 0) {
    blobFile.SetBlockSize(uint16_t(dataFile.BlobBlockSize()));
    blobFile.CreateFile();
    blobFile.WriteHeader(true);
  }
  deleteOnFailure.Dismiss();
  open = true;
  useCount = 1;
  filesReadOnly = false;
  indexRecreated = false;
}

void TDataTable::Encipher(uint8_t* buffer, uint32_t length) { ApplyTableCipher(buffer, length); }

void TDataTable::Decipher(uint8_t* buffer, uint32_t length) { ApplyTableCipher(buffer, length); }

bool TDataTable::CheckChangesBeforeRead(TReadContext* reader) {
  if (!reader || Session()->StrictChangeDetection) return false;
  return LockChangeCheck();
}

std::string TDataTable::PrivateDirectory() const { return Session()->GetPrivateDirectory(); }

bool TDataTable::GetKeyField(uint16_t fieldNo, uint8_t& fieldType, uint8_t& storedSize) const {
  uint8_t desc[FieldDescSize];
  if (!dataFile.FindFieldDescByNo(fieldNo, desc)) return false;
  fieldType = desc[FieldDescTypeOffset];
  storedSize = desc[FieldDescStoredSizeOffset];
  return true;
}
