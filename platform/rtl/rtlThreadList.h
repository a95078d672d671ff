#pragma once
// The class library's lock-protected pointer list. Callers that need more
// than one step under the lock take the list with LockList and give it back
// with UnlockList; the lock is re-entrant within a thread, so code running
// under LockList may call Add or Remove. Like TList it never owns its items.

#include <mutex>

#include "rtlLists.h"
#include "rtlStringList.h"

inline constexpr const char* SDuplicateItem = "List does not allow duplicates ($0%x)";

class TThreadList {
public:
  TThreadList() = default;
  TThreadList(const TThreadList&) = delete;
  TThreadList& operator=(const TThreadList&) = delete;

  // dupIgnore (the default) skips an item already listed; dupError raises
  // EListError.
  void Add(void* item);
  void Remove(void* item);
  void Clear();

  TList* LockList();
  void UnlockList();

  TDuplicates Duplicates() const { return duplicates; }
  void SetDuplicates(TDuplicates value) { duplicates = value; }

private:
  std::recursive_mutex lock;
  TList list;
  TDuplicates duplicates = dupIgnore;
};

// Holds a thread list's lock for a scope.
class TThreadListLock {
public:
  explicit TThreadListLock(TThreadList& owner) : owner(owner), list(owner.LockList()) {}
  ~TThreadListLock() { owner.UnlockList(); }
  TThreadListLock(const TThreadListLock&) = delete;
  TThreadListLock& operator=(const TThreadListLock&) = delete;

  TList& List() const { return *list; }

private:
  TThreadList& owner;
  TList* list;
};
