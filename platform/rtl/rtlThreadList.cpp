#include "rtlThreadList.h"

#include <cstdint>

#include "rtlExceptions.h"

void TThreadList::Add(void* item) {
  std::lock_guard guard(lock);
  if (duplicates == dupAccept || list.IndexOf(item) < 0) {
    list.Add(item);
  } else if (duplicates == dupError) {
    throw EListError(SDuplicateItem, {static_cast<long long>(reinterpret_cast<intptr_t>(item))});
  }
}

void TThreadList::Remove(void* item) {
  std::lock_guard guard(lock);
  list.Remove(item);
}

void TThreadList::Clear() {
  std::lock_guard guard(lock);
  list.Clear();
}

TList* TThreadList::LockList() {
  lock.lock();
  return &list;
}

void TThreadList::UnlockList() { lock.unlock(); }
