#pragma once
// Growable collections of owned objects that carry their own lock, so that
// threads add, find and remove items without an outside lock. Every public
// operation takes the lock; it is re-entrant, so walk callbacks may use the
// collection. Lock and Unlock make several operations one.
//
// The collection owns its items. Its limit grows by Delta slots up to
// MaxLimit (no ceiling when 0 or less). Removing an item frees it.

#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "Synchro.h"
#include "rtlAssert.h"
#include "rtlExceptions.h"

RTL_EXCEPTION_CLASS(ECOLLECTION, Exception);
// Kept for handlers that name it; an owned item's release cannot fail.
RTL_EXCEPTION_CLASS(ELongFreeError, ECOLLECTION);
RTL_EXCEPTION_CLASS(ELongRangeError, ECOLLECTION);
RTL_EXCEPTION_CLASS(EDuplicates, ECOLLECTION);
RTL_EXCEPTION_CLASS(ELongRealloc, ECOLLECTION);
RTL_EXCEPTION_CLASS(ELongOverflow, ELongRealloc);

inline constexpr const char* SLongRangeError = "Index not within established range.";
inline constexpr const char* SDuplicates = "Duplicates not allowed.";
inline constexpr const char* SLongRealloc = "Couldn't (re)alloc memory block.";
inline constexpr const char* SLongOverflow = "Cannot grow. Collection limit reached.";

// Actions reported to Notify.
inline constexpr int32_t caInserted = 0;
inline constexpr int32_t caRead = 1;
inline constexpr int32_t caFreeing = 3;

// The hard ceiling of slots.
inline constexpr int32_t MaxCollectionSize = 0x1FFFFFFF;

template <class T, class TKey = T>
class TSafeCollection {
public:
  using TKeyFunc = std::function<const TKey*(T* item)>;
  using TCompareFunc = std::function<int(const TKey* key1, const TKey* key2)>;

  TSafeCollection(int32_t initialLimit, int32_t delta, int32_t maxLimit) : Delta(delta), MaxLimit(maxLimit) {
    SetLimit(initialLimit);
  }
  TSafeCollection() : TSafeCollection(10, 5, 0) {}
  TSafeCollection(const TSafeCollection&) = delete;
  TSafeCollection& operator=(const TSafeCollection&) = delete;
  virtual ~TSafeCollection() = default;

  void Lock() { lock.Acquire(); }
  void Unlock() { lock.Release(); }
  bool LockedByCurrentThread() const { return lock.HeldByCurrentThread(); }

  int32_t Count() const { return static_cast<int32_t>(items.size()); }
  int32_t Limit() const { return limit; }

  T* At(int32_t index) {
    TLocked locked(*this);
    CheckIndex(index);
    T* item = Item(index);
    Notify(item, caRead);
    return item;
  }

  // Returns the index given to item.
  virtual int32_t InsertWith(std::unique_ptr<T> item, const TKeyFunc& keyOf, const TCompareFunc& compare) {
    TLocked locked(*this);
    return AtInsert(Count(), std::move(item));
  }
  int32_t Insert(std::unique_ptr<T> item) { return InsertWith(std::move(item), nullptr, nullptr); }

  // The item's index, or -1.
  virtual int32_t IndexOfWith(T* item, const TKeyFunc& keyOf, const TCompareFunc& compare) {
    TLocked locked(*this);
    return IndexOfIdentity(item, 0);
  }
  int32_t IndexOf(T* item) { return IndexOfWith(item, nullptr, nullptr); }

  // The caller holds the collection's lock.
  int32_t AtInsert(int32_t index, std::unique_ptr<T> item) {
    ORV_ASSERT(lock.HeldByCurrentThread());
    if (index < 0 || index > Count()) throw ELongRangeError(SLongRangeError);
    if (Count() == limit) {
      if (Delta == 0) throw ELongOverflow(SLongOverflow);
      SetLimit(limit + Delta);
    }
    T* inserted = item.get();
    items.insert(items.begin() + index, std::move(item));
    Notify(inserted, caInserted);
    return index;
  }

  // The caller holds the collection's lock.
  void AtFree(int32_t index) {
    ORV_ASSERT(lock.HeldByCurrentThread());
    ORV_ASSERT(index >= 0 && index < Count());
    Notify(Item(index), caFreeing);
    items.erase(items.begin() + index);
  }

  void AtDelete(int32_t index) {
    TLocked locked(*this);
    CheckIndex(index);
    AtFree(index);
  }

  // Frees item when it is in the collection.
  void Free(T* item) {
    if (!item) return;
    TLocked locked(*this);
    const int32_t index = IndexOf(item);
    if (index >= 0) AtDelete(index);
  }

  void FreeAll() {
    TLocked locked(*this);
    for (const std::unique_ptr<T>& item : items) Notify(item.get(), caFreeing);
    items.clear();
    SetLimit(0);
  }

  void Exchange(int32_t i, int32_t j) {
    TLocked locked(*this);
    CheckIndex(i);
    CheckIndex(j);
    std::swap(items[static_cast<size_t>(i)], items[static_cast<size_t>(j)]);
  }

  void Move(int32_t from, int32_t to) {
    TLocked locked(*this);
    CheckIndex(from);
    CheckIndex(to);
    std::unique_ptr<T> item = std::move(items[static_cast<size_t>(from)]);
    items.erase(items.begin() + from);
    items.insert(items.begin() + to, std::move(item));
  }

  // Frees every item that test accepts, in one walk under the lock.
  void FreeIf(const std::function<bool(T* item)>& test) {
    TLocked locked(*this);
    if (items.empty()) return;
    const bool savedForward = Forward;
    Forward = true;
    CurrentIndex = 0;
    int32_t i = 0;
    for (;;) {
      while (i < Count() && !test(Item(i))) ++i;
      if (i >= Count()) break;
      AtFree(i);
      CurrentIndex = i;
    }
    CurrentIndex = -1;
    Forward = savedForward;
  }

  // Calls proc for every item, in the direction of Forward. With
  // StopAllowed, a proc that sets CurrentIndex to -1 ends the walk.
  void ForEach(const std::function<void(T* item)>& proc) {
    TLocked locked(*this);
    if (items.empty()) return;
    int32_t i = Forward ? 0 : Count() - 1;
    for (;;) {
      CurrentIndex = i;
      proc(At(i));
      i += Forward ? 1 : -1;
      if (i < 0 || i >= Count()) break;
      if (StopAllowed && CurrentIndex == -1) break;
    }
  }

  // Clamped to at least Count and at most MaxLimit and the hard ceiling.
  // The limit is the collection's own ceiling on growth; the storage
  // reserves it.
  void SetLimit(int32_t newLimit) {
    if (newLimit < Count()) newLimit = Count();
    if (newLimit == limit) return;
    if (MaxLimit > 0 && newLimit > MaxLimit) {
      newLimit = MaxLimit;
      if (newLimit == limit) throw ELongOverflow(SLongOverflow);
    }
    if (newLimit > MaxCollectionSize) newLimit = MaxCollectionSize;
    if (newLimit == 0) {
      items.shrink_to_fit();
    } else {
      try {
        items.reserve(static_cast<size_t>(newLimit));
      } catch (const std::bad_alloc&) {
        throw ELongRealloc(SLongRealloc);
      }
    }
    limit = newLimit;
  }

  int32_t Delta;
  int32_t MaxLimit;
  bool Forward = true;
  int32_t CurrentIndex = -1;
  bool StopAllowed = false;

protected:
  class TLocked {
  public:
    explicit TLocked(TSafeCollection& owner) : collection(owner) { collection.Lock(); }
    ~TLocked() { collection.Unlock(); }
    TLocked(const TLocked&) = delete;
    TLocked& operator=(const TLocked&) = delete;

  private:
    TSafeCollection& collection;
  };

  // Told of each item inserted, read and about to be freed. A subclass that
  // watches caFreeing calls FreeAll from its own destructor: the items
  // left to this destructor go without a word.
  virtual void Notify(T* item, int32_t action) {}

  void CheckIndex(int32_t index) const {
    if (index < 0 || index >= Count()) throw ELongRangeError(SLongRangeError);
  }
  int32_t IndexOfIdentity(T* item, int32_t from) const {
    for (int32_t i = from; i < Count(); ++i) {
      if (Item(i) == item) return i;
    }
    return -1;
  }
  // Under the lock: an item may be freed by another thread once it is
  // released.
  T* Item(int32_t index) const {
    ORV_ASSERT(lock.HeldByCurrentThread());
    ORV_ASSERT(index >= 0 && index < Count());
    return items[static_cast<size_t>(index)].get();
  }

private:
  TCriticalSection lock;
  int32_t limit = 0;
  std::vector<std::unique_ptr<T>> items;
};

// Kept in key order: Compare orders two keys, KeyOf gives an item's key
// (the item itself unless overridden).
template <class T, class TKey = T>
class TSafeSortedCollection : public TSafeCollection<T, TKey> {
  using TBase = TSafeCollection<T, TKey>;

public:
  using typename TBase::TCompareFunc;
  using typename TBase::TKeyFunc;

  TSafeSortedCollection(int32_t initialLimit, int32_t delta, int32_t maxLimit)
      : TBase(initialLimit, delta, maxLimit) {}
  TSafeSortedCollection() : TBase() {}

  virtual int Compare(const TKey* key1, const TKey* key2) = 0;
  virtual const TKey* KeyOf(T* item) { return item; }

  // True when key is present; index is its first position, or where it
  // would be inserted.
  bool Search(const TKey* key, int32_t& index) { return SearchWith(key, index, nullptr, nullptr); }

  bool SearchWith(const TKey* key, int32_t& index, const TKeyFunc& keyOf, const TCompareFunc& compare) {
    typename TBase::TLocked locked(*this);
    int32_t low = 0;
    int32_t high = this->Count() - 1;
    bool found = false;
    while (low <= high) {
      const int32_t i = (low + high) / 2;
      const int order = CompareKeys(KeyOfWith(this->Item(i), keyOf), key, compare);
      if (order < 0) {
        low = i + 1;
      } else {
        high = i - 1;
        if (order == 0) {
          found = true;
          if (!Duplicates) low = i;
        }
      }
    }
    index = low;
    return found;
  }

  // A duplicate key where Duplicates is false frees item, then raises
  // EDuplicates.
  int32_t InsertWith(std::unique_ptr<T> item, const TKeyFunc& keyOf, const TCompareFunc& compare) override {
    typename TBase::TLocked locked(*this);
    int32_t index = this->Count();
    if (Sorted && SearchWith(KeyOfWith(item.get(), keyOf), index, keyOf, compare) && !Duplicates)
      throw EDuplicates(SDuplicates);
    return this->AtInsert(index, std::move(item));
  }

  int32_t IndexOfWith(T* item, const TKeyFunc& keyOf, const TCompareFunc& compare) override {
    typename TBase::TLocked locked(*this);
    if (!Sorted) return this->IndexOfIdentity(item, 0);
    int32_t index;
    if (!SearchWith(KeyOfWith(item, keyOf), index, keyOf, compare)) return -1;
    // The very item, not just one with its key: Free must not free another.
    if (!Duplicates) return this->Item(index) == item ? index : -1;
    return this->IndexOfIdentity(item, index);
  }

  bool Duplicates = false;
  bool Sorted = true;

private:
  const TKey* KeyOfWith(T* item, const TKeyFunc& keyOf) { return keyOf ? keyOf(item) : KeyOf(item); }
  int CompareKeys(const TKey* key1, const TKey* key2, const TCompareFunc& compare) {
    return compare ? compare(key1, key2) : Compare(key1, key2);
  }
};
