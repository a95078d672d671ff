#pragma once
// The class library's pointer list. It never owns its items. Indexes are
// checked: a bad one raises EListError "List index out of bounds (n)".

#include <vector>

using TListSortCompare = int (*)(void* item1, void* item2);

class TList {
public:
  TList() = default;
  TList(const TList&) = delete;
  TList& operator=(const TList&) = delete;
  virtual ~TList() = default;

  int Add(void* item);
  void Insert(int index, void* item);
  void Delete(int index);
  // Deletes the first occurrence; returns its former index or -1.
  int Remove(void* item);
  int IndexOf(void* item) const;
  void Exchange(int index1, int index2);
  void Move(int curIndex, int newIndex);
  void Sort(TListSortCompare compare);
  virtual void Clear();
  void* First() const;
  void* Last() const;
  // Deletes every nil item.
  void Pack();

  int Count() const { return static_cast<int>(items.size()); }
  // Growing fills with nil; shrinking drops the last items.
  void SetCount(int count);
  int Capacity() const { return capacity; }
  void SetCapacity(int newCapacity);

  void* Items(int index) const;
  void SetItems(int index, void* item);
  void* operator[](int index) const { return Items(index); }

private:
  std::vector<void*> items;
  int capacity = 0;

  void Grow();
  void CheckIndex(int index) const;
};
