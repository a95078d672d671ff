// The exchange of a restructured table's files for the old ones.

#include "engRestructureFiles.h"

#include "engErrorCodes.h"
#include "engErrors.h"
#include "engFileList.h"
#include "engPaths.h"
#include "engScopeGuard.h"
#include "engTable.h"

namespace {

struct TTableFileExtensions {
  const char* Ext;
  const char* BackupExt;
};
constexpr TTableFileExtensions TableFileKinds[] = {{".DAT", ".DBK"}, {".IDX", ".IBK"}, {".BLB", ".BBK"}};
constexpr int KindCount = 3;

void Check(int32_t result, const std::string& tableName) {
  if (result < 0) RaiseEngineError(uint16_t(-result), tableName);
}

// A rename, or a copy and a delete where the rename would cross file
// systems; placed says whether the target now exists.
int32_t MoveFile(TTableFileOps& ops, const std::string& from, const std::string& to, bool inMemory, bool& placed) {
  const int32_t renamed = ops.Rename(from, to, inMemory);
  if (renamed != -int32_t(EngErrNotSameDevice)) {
    placed = renamed == 0;
    return renamed;
  }
  const int32_t copied = ops.Copy(from, to, inMemory);
  placed = ops.Exists(to, inMemory);
  if (copied < 0) return copied;
  return ops.Delete(from, inMemory);
}

}  // namespace

int32_t TTableFileOps::Rename(const std::string& name, const std::string& newName, bool inMemory) {
  return FileList->RenameFile(name, inMemory, newName);
}

int32_t TTableFileOps::Copy(const std::string& name, const std::string& newName, bool inMemory) {
  TAbstractFile* source = nullptr;
  bool openedReadOnly = false;
  const int32_t handle = FileList->OpenFile(name, CopySourceOptions(inMemory), openedReadOnly, source);
  if (handle < 0) return handle;
  const int32_t copied = FileList->Copy(source, handle, newName, inMemory);
  const int32_t closed = FileList->CloseFile(source, inMemory, handle);
  return copied < 0 ? copied : (closed < 0 ? closed : 0);
}

int32_t TTableFileOps::Delete(const std::string& name, bool inMemory) { return FileList->DeleteFile(name, inMemory); }

bool TTableFileOps::Exists(const std::string& name, bool inMemory) { return FileList->Exists(name, inMemory); }

void ExchangeTableFiles(const std::string& oldTable, const std::string& newTable, bool inMemory,
                        TBackupFiles backups, TTableFileOps& ops) {
  bool backedUp[KindCount] = {};
  bool movedIn[KindCount] = {};
  auto oldName = [&](int k) { return ChangeFileExtension(oldTable, TableFileKinds[k].Ext); };
  auto backupName = [&](int k) { return ChangeFileExtension(oldTable, TableFileKinds[k].BackupExt); };
  // A failure puts back what was moved.
  TScopeGuard undo([&] {
    for (int k = 0; k < KindCount; ++k) {
      if (movedIn[k]) ReleaseQuietly([&] { Check(ops.Delete(oldName(k), inMemory), oldTable); });
      if (backedUp[k]) ReleaseQuietly([&] { Check(ops.Rename(backupName(k), oldName(k), inMemory), oldTable); });
    }
  });
  for (int k = 0; k < KindCount; ++k) {
    if (!ops.Exists(oldName(k), inMemory)) continue;
    // A backup left by an earlier restructure makes way.
    if (ops.Exists(backupName(k), inMemory)) Check(ops.Delete(backupName(k), inMemory), oldTable);
    Check(ops.Rename(oldName(k), backupName(k), inMemory), oldTable);
    backedUp[k] = true;
  }
  for (int k = 0; k < KindCount; ++k) {
    const std::string source = ChangeFileExtension(newTable, TableFileKinds[k].Ext);
    if (!ops.Exists(source, inMemory)) continue;
    Check(MoveFile(ops, source, oldName(k), inMemory, movedIn[k]), oldTable);
  }
  undo.Dismiss();
  if (backups == TBackupFiles::Keep) return;
  int32_t firstFailure = 0;
  for (int k = 0; k < KindCount; ++k) {
    const int32_t result = backedUp[k] ? ops.Delete(backupName(k), inMemory) : 0;
    if (firstFailure == 0) firstFailure = result;
  }
  Check(firstFailure, oldTable);
}

void DeleteTableFiles(const std::string& table, bool inMemory, TTableFileOps& ops) {
  int32_t firstFailure = 0;
  for (const TTableFileExtensions& kind : TableFileKinds) {
    const std::string name = ChangeFileExtension(table, kind.Ext);
    const int32_t result = ops.Exists(name, inMemory) ? ops.Delete(name, inMemory) : 0;
    if (firstFailure == 0) firstFailure = result;
  }
  Check(firstFailure, table);
}
