#pragma once
// The class library's pointer list, typed by what it lists. It never owns
// its items. Indexes are checked: a bad one raises EListError "List index
// out of bounds (n)".

#include <algorithm>
#include <utility>
#include <vector>

#include "rtlConsts.h"
#include "rtlExceptions.h"
#include "rtlQuickSort.h"

template <class T>
class TList {
public:
  using TSortCompare = int (*)(T* item1, T* item2);

  TList() = default;
  TList(const TList&) = delete;
  TList& operator=(const TList&) = delete;

  int Add(T* item) {
    if (Count() == capacity) Grow();
    items.push_back(item);
    return Count() - 1;
  }
  void Insert(int index, T* item) {
    if (index < 0 || index > Count()) throw EListError(SListIndexError, {index});
    if (Count() == capacity) Grow();
    items.insert(items.begin() + index, item);
  }
  void Delete(int index) {
    CheckIndex(index);
    items.erase(items.begin() + index);
  }
  // Deletes the first occurrence; returns its former index or -1.
  int Remove(T* item) {
    const int index = IndexOf(item);
    if (index >= 0) Delete(index);
    return index;
  }
  int IndexOf(const T* item) const {
    const auto found = std::find(items.begin(), items.end(), item);
    return found == items.end() ? -1 : static_cast<int>(found - items.begin());
  }
  void Exchange(int index1, int index2) {
    CheckIndex(index1);
    CheckIndex(index2);
    std::swap(items[static_cast<size_t>(index1)], items[static_cast<size_t>(index2)]);
  }
  void Move(int curIndex, int newIndex) {
    if (curIndex == newIndex) return;
    CheckIndex(curIndex);
    CheckIndex(newIndex);
    T* item = items[static_cast<size_t>(curIndex)];
    items.erase(items.begin() + curIndex);
    items.insert(items.begin() + newIndex, item);
  }
  // Any compare, even one that is no order, keeps the items in the list.
  template <class TCompare>
  void Sort(TCompare compare) {
    QuickSortRange(
        0, Count() - 1,
        [&](int i, int j) { return compare(items[static_cast<size_t>(i)], items[static_cast<size_t>(j)]); },
        [&](int i, int j) { std::swap(items[static_cast<size_t>(i)], items[static_cast<size_t>(j)]); });
  }
  void Clear() {
    items.clear();
    items.shrink_to_fit();
    capacity = 0;
  }
  T* First() const { return Items(0); }
  T* Last() const { return Items(Count() - 1); }
  // Deletes every nil item.
  void Pack() { items.erase(std::remove(items.begin(), items.end(), nullptr), items.end()); }

  int Count() const { return static_cast<int>(items.size()); }
  // Growing fills with nil; shrinking drops the last items.
  void SetCount(int count) {
    if (count < 0) throw EListError(SListCountError, {count});
    if (count > capacity) SetCapacity(count);
    items.resize(static_cast<size_t>(count), nullptr);
  }
  int Capacity() const { return capacity; }
  void SetCapacity(int newCapacity) {
    if (newCapacity < Count()) throw EListError(SListCapacityError, {newCapacity});
    capacity = newCapacity;
    items.reserve(static_cast<size_t>(capacity));
  }

  T* Items(int index) const {
    CheckIndex(index);
    return items[static_cast<size_t>(index)];
  }
  void SetItems(int index, T* item) {
    CheckIndex(index);
    items[static_cast<size_t>(index)] = item;
  }
  T* operator[](int index) const { return Items(index); }

private:
  std::vector<T*> items;
  int capacity = 0;

  void Grow() { SetCapacity(capacity + (capacity > 64 ? capacity / 4 : (capacity > 8 ? 16 : 4))); }
  void CheckIndex(int index) const {
    if (index < 0 || index >= Count()) throw EListError(SListIndexError, {index});
  }
};
