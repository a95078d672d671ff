#pragma once
// The process-wide registry of the engine's file objects, one per distinct
// file and kind (disk or memory). It applies the sharing rule between the
// tables of one process: a file held exclusively admits no further opener,
// and an open file cannot be opened exclusively, renamed or deleted.
//
// Names match trimmed and ignoring case; a memory file and a disk file of
// one name are different files. Results: a handle number (at least 1) or 0
// on success, a negative engine error code on failure. Each operation runs
// whole under the list's section, which is taken before any file's section.

#include <cstdint>
#include <mutex>
#include <span>
#include <string>

#include "engAbstractFile.h"
#include "engHeap.h"
#include "engOwnedList.h"

// How a file is opened. Later openers of an open file share the first
// opener's options; Exclusive admits no other opener.
struct TFileOpenOptions {
  bool InMemory = false;
  bool Sequential = false;
  bool WriteThrough = false;
  bool Temporary = false;
  bool Exclusive = false;
};

// Which of the two file objects a name stands for: a file on disk or one
// held in the process's memory.
enum class TFileKind : uint8_t { Disk, Memory };

inline TFileKind FileKindOf(bool inMemory) { return inMemory ? TFileKind::Memory : TFileKind::Disk; }

// How a file is created. A temporary file is removed by its last close.
struct TFileCreateOptions {
  TFileKind Kind = TFileKind::Disk;
  bool Temporary = false;
};

// A copy's source: read straight through, and held alone while it is read.
inline TFileOpenOptions CopySourceOptions(bool inMemory) {
  return {.InMemory = inMemory, .Sequential = true, .Exclusive = true};
}

class TFileList : public TEngineObject {
public:
  ~TFileList() override;

  // Creates (or empties) the file and holds it exclusively.
  int32_t CreateFile(const std::string& name, const TFileCreateOptions& options, TAbstractFile*& file);
  int32_t OpenFile(const std::string& name, const TFileOpenOptions& options, bool& openedReadOnly,
                   TAbstractFile*& file);
  // The last close of a temporary file removes it.
  int32_t CloseFile(TAbstractFile* file, bool inMemory, int32_t handle);
  int32_t RenameFile(const std::string& name, bool inMemory, const std::string& newName);
  int32_t DeleteFile(const std::string& name, bool inMemory);
  bool Exists(const std::string& name, bool inMemory);
  // A file its only opener keeps for later: no look-up by name finds it
  // until Reveal gives it a name again.
  void Hide(TAbstractFile* file);
  // Names the hidden files anew and lists them again, all or none: -11013
  // when a listed file of the same kind already has one of the names.
  int32_t Reveal(std::span<TAbstractFile* const> hidden, std::span<const std::string> names);
  // Empties a file its one opener holds exclusively, as a creation would;
  // the handle stays open.
  int32_t Recreate(TAbstractFile* file, int32_t handle);
  // Copies the source from its start into a new file.
  int32_t Copy(TAbstractFile* sourceFile, int32_t sourceHandle, const std::string& targetName,
               bool targetInMemory);
  // Copies the named file into the target at the target handle's position;
  // the target then ends where the copy ends.
  int32_t CopyFrom(TAbstractFile* targetFile, int32_t targetHandle, const std::string& sourceName,
                   bool sourceInMemory);

private:
  std::recursive_mutex section;
  TOwnedList<TAbstractFile> files;

  TAbstractFile* Get(int32_t index) const { return files.Get(index); }
  int32_t Find(const std::string& name, bool inMemory, const TAbstractFile* except = nullptr) const;
  int32_t AddFile(const std::string& name, bool inMemory);
  void RemoveFile(int32_t index);
  int32_t CreateLocked(const std::string& name, const TFileCreateOptions& options, TAbstractFile*& file);
  int32_t OpenLocked(const std::string& name, const TFileOpenOptions& options, bool& openedReadOnly,
                     TAbstractFile*& file);
  int32_t CloseLocked(TAbstractFile* file, bool inMemory, int32_t handle);
  static int32_t CopyContent(TAbstractFile* source, int32_t sourceHandle, TAbstractFile* target,
                             int32_t targetHandle);
};

// The process's file list; exists between engine library start and stop.
extern TFileList* FileList;

// GetUniqueFileName (engPaths.h) with the file list answering for memory files.
std::string GetUniqueFileName(const std::string& directory, const std::string& ext, bool inMemory);
