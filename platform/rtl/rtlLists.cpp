#include "rtlLists.h"

#include <algorithm>

#include "rtlConsts.h"
#include "rtlExceptions.h"
#include "rtlQuickSort.h"

void TList::CheckIndex(int index) const {
  if (index < 0 || index >= Count()) throw EListError(SListIndexError, {index});
}

void TList::Grow() {
  int delta = capacity > 64 ? capacity / 4 : (capacity > 8 ? 16 : 4);
  SetCapacity(capacity + delta);
}

void TList::SetCapacity(int newCapacity) {
  if (newCapacity < Count()) throw EListError(SListCapacityError, {newCapacity});
  capacity = newCapacity;
  items.reserve(static_cast<size_t>(capacity));
}

void TList::SetCount(int count) {
  if (count < 0) throw EListError(SListCountError, {count});
  if (count > capacity) SetCapacity(count);
  items.resize(static_cast<size_t>(count), nullptr);
}

int TList::Add(void* item) {
  if (Count() == capacity) Grow();
  items.push_back(item);
  return Count() - 1;
}

void TList::Insert(int index, void* item) {
  if (index < 0 || index > Count()) throw EListError(SListIndexError, {index});
  if (Count() == capacity) Grow();
  items.insert(items.begin() + index, item);
}

void TList::Delete(int index) {
  CheckIndex(index);
  items.erase(items.begin() + index);
}

int TList::Remove(void* item) {
  int index = IndexOf(item);
  if (index >= 0) Delete(index);
  return index;
}

int TList::IndexOf(void* item) const {
  auto found = std::find(items.begin(), items.end(), item);
  return found == items.end() ? -1 : static_cast<int>(found - items.begin());
}

void TList::Exchange(int index1, int index2) {
  CheckIndex(index1);
  CheckIndex(index2);
  std::swap(items[index1], items[index2]);
}

void TList::Move(int curIndex, int newIndex) {
  if (curIndex == newIndex) return;
  CheckIndex(curIndex);
  CheckIndex(newIndex);
  void* item = items[curIndex];
  items.erase(items.begin() + curIndex);
  items.insert(items.begin() + newIndex, item);
}

void TList::Sort(TListSortCompare compare) {
  QuickSortRange(
      0, Count() - 1, [&](int i, int j) { return compare(items[i], items[j]); },
      [&](int i, int j) { std::swap(items[i], items[j]); });
}

void TList::Clear() {
  items.clear();
  items.shrink_to_fit();
  capacity = 0;
}

void* TList::First() const { return Items(0); }

void* TList::Last() const { return Items(Count() - 1); }

void TList::Pack() { items.erase(std::remove(items.begin(), items.end(), nullptr), items.end()); }

void* TList::Items(int index) const {
  CheckIndex(index);
  return items[index];
}

void TList::SetItems(int index, void* item) {
  CheckIndex(index);
  items[index] = item;
}
