#include "engFileList.h"

#include <memory>

#include "engBuffer.h"
#include "engErrorCodes.h"
#include "engMemoryFile.h"
#include "engOsErrors.h"
#include "engPaths.h"
#include "engPhysicalFile.h"
#include "engScopeGuard.h"
#include "engTextCompare.h"
#include "osPath.h"
#include "rtlAssert.h"
#include "rtlStrUtils.h"

TFileList* FileList = nullptr;

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

constexpr int32_t CopyChunk = 65535;

// Names compare trimmed and upper-cased (UTF-8, by English casing rules).
std::string NameKey(const std::string& name) {
  std::string key = Trim(name);
  UpperText(0, 0, key.c_str(), key.data());
  return key;
}

class TFileSection {
public:
  explicit TFileSection(TAbstractFile* file) : file(file) { file->Enter(); }
  ~TFileSection() { file->Leave(); }
  TFileSection(const TFileSection&) = delete;
  TFileSection& operator=(const TFileSection&) = delete;

private:
  TAbstractFile* file;
};

}  // namespace

TFileList::~TFileList() = default;

int32_t TFileList::Find(const std::string& name, bool inMemory, const TAbstractFile* except) const {
  const std::string key = NameKey(name);
  for (int32_t i = 0; i < files.Count(); ++i) {
    const TAbstractFile* file = Get(i);
    if (file != except && !file->Hidden && file->InMemory() == inMemory && NameKey(file->Name()) == key) return i;
  }
  return -1;
}

int32_t TFileList::AddFile(const std::string& name, bool inMemory) {
  std::unique_ptr<TAbstractFile> file;
  if (inMemory)
    file = std::make_unique<TMemoryFile>(name);
  else
    file = std::make_unique<TPhysicalFile>(name);
  files.Add(std::move(file));
  return files.Count() - 1;
}

void TFileList::RemoveFile(int32_t index) {
  files.Delete(index);
}

int32_t TFileList::CreateFile(const std::string& name, const TFileCreateOptions& options, TAbstractFile*& file) {
  Guard guard(section);
  return CreateLocked(name, options, file);
}

int32_t TFileList::CreateLocked(const std::string& name, const TFileCreateOptions& options, TAbstractFile*& file) {
  file = nullptr;
  const bool inMemory = options.Kind == TFileKind::Memory;
  // A file in memory lies in no folder: its name is not made absolute,
  // which asks the system for the current folder at every creation.
  if (inMemory ? Trim(name).empty() : OsPath::ExpandFileName(Trim(name)).empty()) return -EngErrInvalidName;
  int32_t index = Find(name, inMemory);
  const bool added = index < 0;
  if (added) {
    index = AddFile(name, inMemory);
  } else if (Get(index)->OpenCount() >= 1) {
    return -EngErrAccessDenied;
  }
  TAbstractFile* created = Get(index);
  created->Exclusive = true;
  created->Temporary = options.Temporary;
  const int32_t result = created->CreateNew();
  if (result < 0) {
    // A file that could not be created must not be listed as existing.
    if (added) RemoveFile(index);
    return result;
  }
  file = created;
  return result;
}

int32_t TFileList::OpenFile(const std::string& name, const TFileOpenOptions& options, bool& openedReadOnly,
                            TAbstractFile*& file) {
  Guard guard(section);
  return OpenLocked(name, options, openedReadOnly, file);
}

int32_t TFileList::OpenLocked(const std::string& name, const TFileOpenOptions& options, bool& openedReadOnly,
                              TAbstractFile*& file) {
  file = nullptr;
  openedReadOnly = false;
  int32_t index = Find(name, options.InMemory);
  const bool added = index < 0;
  if (added) {
    if (options.InMemory) return -EngErrInvalidName;
    index = AddFile(name, false);
  } else if (Get(index)->OpenCount() >= 1) {
    // Later openers share the first opener's options.
    if (Get(index)->Exclusive || options.Exclusive) return -EngErrAccessDenied;
  }
  TAbstractFile* opened = Get(index);
  if (opened->OpenCount() < 1) {
    opened->Exclusive = options.Exclusive;
    opened->Temporary = options.Temporary;
    opened->WriteThrough = options.WriteThrough;
    opened->SequentialAccess = options.Sequential;
  }
  const int32_t result = opened->OpenHandle();
  if (result < 0) {
    if (added) RemoveFile(index);
    return result;
  }
  openedReadOnly = opened->OpenedReadOnly;
  file = opened;
  return result;
}

int32_t TFileList::CloseFile(TAbstractFile* file, bool inMemory, int32_t handle) {
  Guard guard(section);
  return CloseLocked(file, inMemory, handle);
}

int32_t TFileList::CloseLocked(TAbstractFile* file, bool inMemory, int32_t handle) {
  const int32_t index = files.IndexOf(file);
  if (index < 0 || file->InMemory() != inMemory || file->OpenCount() < 1) return -EngErrInvalidName;
  if (!file->CloseHandle(handle)) return -EngErrInvalidHandle;
  // A temporary disk file was opened delete-on-close: closing its last
  // handle removed it from the disk already.
  if (file->OpenCount() == 0 && file->Temporary) RemoveFile(index);
  return 0;
}

int32_t TFileList::RenameFile(const std::string& name, bool inMemory, const std::string& newName) {
  Guard guard(section);
  const int32_t index = Find(name, inMemory);
  if (index < 0) return inMemory ? -EngErrInvalidName : TPhysicalFile::RenameOnDisk(name, newName);
  TAbstractFile* file = Get(index);
  if (file->OpenCount() >= 1) return -EngErrAccessDenied;
  // Disk files are refused by the operating system; a memory file must not
  // end up with the name of another one.
  if (inMemory && Find(newName, true, file) >= 0) return -int32_t(EngineErrorFromOsError(ERROR_FILE_EXISTS));
  return file->Rename(newName);
}

int32_t TFileList::DeleteFile(const std::string& name, bool inMemory) {
  Guard guard(section);
  const int32_t index = Find(name, inMemory);
  if (index < 0) return inMemory ? -EngErrInvalidName : TPhysicalFile::DeleteOnDisk(name);
  TAbstractFile* file = Get(index);
  if (file->OpenCount() >= 1) return -EngErrAccessDenied;
  const int32_t result = file->Delete();
  if (result < 0) return result;
  RemoveFile(index);
  return 0;
}

bool TFileList::Exists(const std::string& name, bool inMemory) {
  Guard guard(section);
  const int32_t index = Find(name, inMemory);
  if (inMemory) return index >= 0;
  // A closed disk file object says nothing about the disk: another process
  // may have deleted the file since.
  return (index >= 0 && Get(index)->OpenCount() >= 1) || TPhysicalFile::ExistsOnDisk(name);
}

void TFileList::Hide(TAbstractFile* file) {
  Guard guard(section);
  // A memory file's rename cannot fail, so Reveal renames all or none.
  ORV_ASSERT(files.IndexOf(file) >= 0 && file->InMemory() && file->OpenCount() == 1 && file->Exclusive);
  file->Hidden = true;
}

int32_t TFileList::Reveal(std::span<TAbstractFile* const> hidden, std::span<const std::string> names) {
  ORV_ASSERT(hidden.size() == names.size());
  Guard guard(section);
  for (size_t i = 0; i < hidden.size(); ++i) {
    ORV_ASSERT(hidden[i]->Hidden && files.IndexOf(hidden[i]) >= 0);
    if (Trim(names[i]).empty()) return -EngErrInvalidName;
    if (Find(names[i], hidden[i]->InMemory()) >= 0) return -EngErrAccessDenied;
  }
  for (size_t i = 0; i < hidden.size(); ++i) {
    const int32_t result = hidden[i]->Rename(names[i]);
    if (result < 0) return result;
  }
  for (TAbstractFile* file : hidden) file->Hidden = false;
  return 0;
}

int32_t TFileList::Recreate(TAbstractFile* file, int32_t handle) {
  Guard guard(section);
  if (files.IndexOf(file) < 0 || file->OpenCount() != 1 || !file->Exclusive) return -EngErrAccessDenied;
  TFileSection fileSection(file);
  if (file->Seek(handle, 0, soFromBeginning) != 0 || file->Write(handle, nullptr, 0) != 0) return -EngErrWriteFailed;
  return 0;
}

int32_t TFileList::CopyContent(TAbstractFile* source, int32_t sourceHandle, TAbstractFile* target,
                               int32_t targetHandle) {
  const TEngineBuffer buffer(CopyChunk);
  int32_t read;
  do {
    read = source->Read(sourceHandle, buffer.Get(), CopyChunk);
    if (read < 0) return -EngErrReadFailed;
    if (read > 0 && target->Write(targetHandle, buffer.Get(), read) != read) return -EngErrWriteFailed;
  } while (read == CopyChunk);
  return 0;
}

int32_t TFileList::Copy(TAbstractFile* sourceFile, int32_t sourceHandle, const std::string& targetName,
                        bool targetInMemory) {
  Guard guard(section);
  TAbstractFile* target;
  const int32_t targetHandle = CreateLocked(targetName, {.Kind = FileKindOf(targetInMemory)}, target);
  if (targetHandle < 0) return targetHandle;
  TScopeGuard closeTarget([&] { CloseLocked(target, targetInMemory, targetHandle); });
  TFileSection sourceSection(sourceFile);
  sourceFile->Seek(sourceHandle, 0, soFromBeginning);
  return CopyContent(sourceFile, sourceHandle, target, targetHandle);
}

int32_t TFileList::CopyFrom(TAbstractFile* targetFile, int32_t targetHandle, const std::string& sourceName,
                            bool sourceInMemory) {
  Guard guard(section);
  TAbstractFile* source;
  bool openedReadOnly;
  const int32_t sourceHandle = OpenLocked(sourceName, CopySourceOptions(sourceInMemory), openedReadOnly, source);
  if (sourceHandle < 0) return sourceHandle;
  TScopeGuard closeSource([&] { CloseLocked(source, sourceInMemory, sourceHandle); });
  TFileSection targetSection(targetFile);
  source->Seek(sourceHandle, 0, soFromBeginning);
  const int32_t result = CopyContent(source, sourceHandle, targetFile, targetHandle);
  if (result == 0 && targetFile->Write(targetHandle, nullptr, 0) < 0) return -EngErrWriteFailed;
  return result;
}

std::string GetUniqueFileName(const std::string& directory, const std::string& ext, bool inMemory) {
  return GetUniqueFileName(directory, ext, inMemory,
                           [](const std::string& name) { return FileList && FileList->Exists(name, true); });
}
