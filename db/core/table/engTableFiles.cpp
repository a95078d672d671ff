// Whole-table operations on the three files: renaming (also to backup
// names), deleting, emptying, backing up and restoring the index file, and
// the verify-and-repair pass.

#include "engErrorCodes.h"
#include "engTable.h"

#include "engDirectory.h"
#include "engPaths.h"
#include "rtlStrUtils.h"

namespace {

struct TTableFileKind {
  const char* Ext;
  const char* BackupExt;
};
constexpr TTableFileKind DataKind{".DAT", ".DBK"};
constexpr TTableFileKind IndexKind{".IDX", ".IBK"};
constexpr TTableFileKind BlobKind{".BLB", ".BBK"};

void DeleteFileIfExists(const std::string& name, bool inMemory) {
  TFileHandler file;
  file.FileName = name;
  file.InMemory = inMemory;
  if (file.Exists()) file.DeleteFile();
}

}  // namespace

void TDataTable::RenameTo(const std::string& newName, bool asBackup) {
  if (Trim(newName).empty()) Raise(EngErrInvalidName);
  BuildFileNames();
  const std::string target = HasPathChars(newName) || inMemory ? newName : directory->LocalPath() + newName;
  const std::pair<TFileHandler*, TTableFileKind> files[] = {
      {&dataFile, DataKind}, {&indexFile, IndexKind}, {&blobFile, BlobKind}};
  for (const auto& [file, kind] : files) {
    if (!file->Exists()) continue;
    const std::string targetName = ChangeFileExtension(target, asBackup ? kind.BackupExt : kind.Ext);
    if (asBackup) DeleteFileIfExists(targetName, inMemory);
    file->RenameFile(targetName);
  }
}

void TDataTable::DeleteFiles() {
  BuildFileNames();
  dataFile.DeleteFile();
  indexFile.DeleteFile();
  if (blobFile.Exists()) blobFile.DeleteFile();
}

void TDataTable::BackupIndex() {
  WriteHeaders({});
  indexFile.CopyFile(FileNameFor(IndexKind.BackupExt));
}

void TDataTable::RestoreIndex(bool keepCurrent, bool deleteBackup) {
  const std::string backup = FileNameFor(IndexKind.BackupExt);
  if (!keepCurrent) indexFile.RestoreFromBackup(backup);
  if (deleteBackup) DeleteFileIfExists(backup, inMemory);
}

void TDataTable::Empty() {
  dataFile.ResetHeader();
  indexFile.EmptyIndexes();
  if (HasBlobFile()) blobFile.ResetHeader();
  ReloadFiles(true, false);
}

void TDataTable::Repair() {
  dataFile.VerifyDataFile(!readOnly);
  // An index file made empty by the open has nothing to verify yet.
  if (!indexRecreated) indexFile.VerifyIndexFile();
  if (HasBlobFile()) blobFile.VerifyHeader();
}
