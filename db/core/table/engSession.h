#pragma once
// An engine session: its directories, the table passwords it knows, its
// private directory for work files, and the lock and buffer settings that
// its tables follow. A session and all that hangs from it is used by one
// thread at a time.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "rtlAssert.h"
#include "engFileTable.h"
#include "engHeap.h"
#include "engLockRetry.h"
#include "engOwnedList.h"

class TDataDirectory;
class TDataTable;
struct TTableFilesDefinition;

class TDataSession : public TEngineObject {
public:
  TDataSession();
  // Frees every directory, whatever its use count.
  ~TDataSession() override;

  // The current directory when the session was made, ending in "/".
  const std::string& DefaultDirectory() const { return defaultDirectory; }
  // The private directory, or the default one while none is set.
  std::string GetPrivateDirectory() const;
  // An empty path changes nothing.
  void SetPrivateDirectory(const std::string& path);

  // Passwords compare exactly, case included.
  void AddPassword(const std::string& password);
  void RemovePassword(const std::string& password);
  void RemoveAllPasswords();
  bool PasswordExists(const std::string& password) const;

  // "MEMORY" (any case) is the in-memory directory; an empty path is the
  // default directory. A directory already open under the same path is
  // shared and its use count raised.
  TDataDirectory* OpenDirectory(const std::string& name, const std::string& path);
  // 0, or -11013 for a directory that is not open in this session. The
  // last close frees it.
  int32_t CloseDirectory(TDataDirectory* directory);
  int32_t DirectoryCount() const { return directories.Count(); }

  // Tables in memory that their last close set aside (TDataTable::SetAside)
  // for a later creation in this session to take: at most SpareTableLimit.
  // Keep drops the one set aside longest ago to make room: the layouts the
  // session uses now are the ones it will ask for next, where the first
  // few it ever set aside would hold the places for good. Take hands back
  // the first that fits the definition, or nothing.
  void KeepSpareTable(std::unique_ptr<TDataTable> table);
  std::unique_ptr<TDataTable> TakeSpareTable(const TTableFilesDefinition& definition);
  int32_t SpareTableCount() const { return spareTables.Count(); }
  static constexpr int32_t SpareTableLimit = 4;

  // Table files are opened write-through and not flushed separately.
  bool ForceBufferFlush = false;
  // With it, cursors check for other users' changes before every
  // operation; without it, locking a record checks first.
  bool StrictChangeDetection = false;
  uint8_t LockRetryCount = 15;
  uint16_t LockWaitTime = 100;  // milliseconds
  // What each table opened afterwards may keep in its caches.
  TCacheSizes CacheSizes;
  // The locale of new tables.
  uint16_t LanguageID = 0;
  uint16_t SortID = 0;

  // Brackets the outermost operation of each cursor of the session: while
  // one is running, only its thread may start another (an assertion). Two
  // brackets a row (a step and a memo's open) make these plain counts: the
  // owner is taken atomically only where assertions check it.
  void EnterUse() {
#if defined(ORV_ASSERTIONS)
    std::thread::id current{};
    if (!user.compare_exchange_strong(current, std::this_thread::get_id()))
      ORV_ASSERT(current == std::this_thread::get_id());
#endif
    // Locks that other users hold are waited for as this session's settings say.
    if (++useDepth == 1) lockWait.Enter({LockRetryCount, LockWaitTime});
  }
  void LeaveUse() {
#if defined(ORV_ASSERTIONS)
    ORV_ASSERT(user.load() == std::this_thread::get_id());
#endif
    ORV_ASSERT(useDepth > 0);
    if (--useDepth > 0) return;
    lockWait.Leave();
#if defined(ORV_ASSERTIONS)
    user.store(std::thread::id{});
#endif
  }

private:
  std::string defaultDirectory;
  std::string privateDirectory;
  std::vector<std::string> passwords;  // at most 255 bytes each, as stored in tables
  TOwnedList<TDataDirectory> directories;
  // Freed before the directories: a table set aside may still name one.
  TOwnedList<TDataTable> spareTables;
  int32_t useDepth = 0;
  TSessionLockWait lockWait;  // installed while useDepth > 0
#if defined(ORV_ASSERTIONS)
  std::atomic<std::thread::id> user{};
#endif

  int32_t FindPassword(const std::string& password) const;
};
