#pragma once
// The class library's lock-protected pointer list. Callers that need more
// than one step under the lock take the list with LockList and give it back
// with UnlockList; the lock is re-entrant within a thread, so code running
// under LockList may call Add or Remove. Like TList it never owns its items.

#include <cstdint>
#include <mutex>

#include "rtlExceptions.h"
#include "rtlLists.h"
#include "rtlStringList.h"

inline constexpr const char* SDuplicateItem = "List does not allow duplicates ($0%x)";

template <class T>
class TThreadList {
public:
  TThreadList() = default;
  TThreadList(const TThreadList&) = delete;
  TThreadList& operator=(const TThreadList&) = delete;

  // dupIgnore (the default) skips an item already listed; dupError raises
  // EListError.
  void Add(T* item) {
    std::lock_guard guard(lock);
    if (duplicates == dupAccept || list.IndexOf(item) < 0) {
      list.Add(item);
    } else if (duplicates == dupError) {
      throw EListError(SDuplicateItem, {static_cast<long long>(reinterpret_cast<intptr_t>(item))});
    }
  }
  void Remove(T* item) {
    std::lock_guard guard(lock);
    list.Remove(item);
  }
  void Clear() {
    std::lock_guard guard(lock);
    list.Clear();
  }

  TList<T>* LockList() {
    lock.lock();
    return &list;
  }
  void UnlockList() { lock.unlock(); }

  TDuplicates Duplicates() const { return duplicates; }
  void SetDuplicates(TDuplicates value) { duplicates = value; }

private:
  std::recursive_mutex lock;
  TList<T> list;
  TDuplicates duplicates = dupIgnore;
};

// Holds a thread list's lock for a scope.
template <class T>
class TThreadListLock {
public:
  explicit TThreadListLock(TThreadList<T>& owner) : owner(owner), list(owner.LockList()) {}
  ~TThreadListLock() { owner.UnlockList(); }
  TThreadListLock(const TThreadListLock&) = delete;
  TThreadListLock& operator=(const TThreadListLock&) = delete;

  TList<T>& List() const { return *list; }

private:
  TThreadList<T>& owner;
  TList<T>* list;
};
