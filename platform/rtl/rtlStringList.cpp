#include "rtlStringList.h"

#include "rtlConsts.h"
#include "rtlExceptions.h"
#include "rtlQuickSort.h"
#include "rtlStrUtils.h"

void TStringList::CheckIndex(int index) const {
  if (index < 0 || index >= Count()) Error(SListIndexError, index);
}

void TStringList::Changed() {
  if (UpdateCount() == 0 && OnChange) OnChange(*this);
}

void TStringList::SetUpdateState(bool updating) {
  if (!updating) Changed();
}

std::string TStringList::Get(int index) const {
  CheckIndex(index);
  return items[index].String;
}

void TStringList::Put(int index, const std::string& s) {
  if (sorted) throw EStringListError(SSortedListError);
  CheckIndex(index);
  items[index].String = s;
  Changed();
}

TObject* TStringList::GetObject(int index) const {
  CheckIndex(index);
  return items[index].Object;
}

void TStringList::PutObject(int index, TObject* object) {
  CheckIndex(index);
  items[index].Object = object;
  Changed();
}

void TStringList::InsertItem(int index, const std::string& s, TObject* object) {
  items.insert(items.begin() + index, TStringItem{s, object});
  Changed();
}

void TStringList::Insert(int index, const std::string& s) {
  if (sorted) throw EStringListError(SSortedListError);
  if (index < 0 || index > Count()) Error(SListIndexError, index);
  InsertItem(index, s, nullptr);
}

int TStringList::Add(const std::string& s) {
  if (!sorted) {
    InsertItem(Count(), s, nullptr);
    return Count() - 1;
  }
  int index;
  if (Find(s, index)) {
    if (Duplicates == dupIgnore) return index;
    if (Duplicates == dupError) throw EStringListError(SDuplicateString);
  }
  InsertItem(index, s, nullptr);
  return index;
}

void TStringList::Delete(int index) {
  CheckIndex(index);
  items.erase(items.begin() + index);
  Changed();
}

void TStringList::Clear() {
  if (items.empty()) return;
  items.clear();
  Changed();
}

void TStringList::Exchange(int index1, int index2) {
  CheckIndex(index1);
  CheckIndex(index2);
  std::swap(items[index1], items[index2]);
  Changed();
}

int TStringList::IndexOf(const std::string& s) const {
  if (!sorted) return TStrings::IndexOf(s);
  int index;
  return Find(s, index) ? index : -1;
}

bool TStringList::Find(const std::string& s, int& index) const {
  int low = 0, high = Count() - 1;
  bool found = false;
  while (low <= high) {
    int middle = (low + high) / 2;
    int compared = CompareStrings(items[middle].String, s);
    if (compared < 0) {
      low = middle + 1;
    } else {
      high = middle - 1;
      if (compared == 0) {
        found = true;
        // With duplicates accepted, the first of equal strings.
        if (Duplicates != dupAccept) low = middle;
      }
    }
  }
  index = low;
  return found;
}

void TStringList::CustomSort(TStringListSortCompare compare) {
  if (Count() < 2) return;
  QuickSortRange(
      0, Count() - 1, [&](int i, int j) { return compare(*this, i, j); },
      [&](int i, int j) { std::swap(items[i], items[j]); });
  Changed();
}

void TStringList::Sort() {
  CustomSort([](TStringList& list, int i, int j) {
    return list.CompareStrings(list.items[i].String, list.items[j].String);
  });
}

void TStringList::SetSorted(bool value) {
  if (value && !sorted) Sort();
  sorted = value;
}

void TStringList::SetCaseSensitive(bool value) {
  if (value == caseSensitive) return;
  caseSensitive = value;
  if (sorted) Sort();
}

int TStringList::CompareStrings(const std::string& s1, const std::string& s2) const {
  return caseSensitive ? CompareStr(s1, s2) : CompareText(s1, s2);
}
