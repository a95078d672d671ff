#pragma once
// The engine's pointer list. It never owns its items: owners free what the
// items point to before they clear or free the list. No bounds checks: an
// index must lie within 0 .. Count() - 1.

#include <cstdint>
#include <utility>

#include "engAssert.h"
#include "engHeap.h"

class TSystemList : public TEngineObject {
public:
  ~TSystemList() override;

  int32_t Count() const { return count; }
  int32_t Capacity() const { return capacity; }

  int32_t Add(void* item);
  void Insert(int32_t index, void* item);
  void Delete(int32_t index);
  void Exchange(int32_t index1, int32_t index2);
  void* Get(int32_t index) const {
    ENG_ASSERT(index >= 0 && index < count);
    return items[index];
  }
  void* First() const {
    ENG_ASSERT(count > 0);
    return items[0];
  }
  void* Last() const {
    ENG_ASSERT(count > 0);
    return items[count - 1];
  }
  int32_t IndexOf(const void* item) const;
  // 0 frees the array; a capacity below the count drops the items beyond it.
  void SetCapacity(int32_t newCapacity);
  // New slots are empty.
  void SetCount(int32_t newCount);
  void Clear();
  void Assign(const TSystemList& other);

  // Quicksort with compare(item1, item2) returning negative, zero or positive.
  template <typename Compare>
  void Sort(Compare compare) {
    if (count > 1) QuickSort(0, count - 1, compare);
  }

protected:
  virtual void Grow();

private:
  void** items = nullptr;
  int32_t count = 0;
  int32_t capacity = 0;

  template <typename Compare>
  void QuickSort(int32_t left, int32_t right, Compare& compare) {
    int32_t i;
    do {
      i = left;
      int32_t j = right;
      void* pivot = items[(left + right) >> 1];
      do {
        while (compare(items[i], pivot) < 0) ++i;
        while (compare(items[j], pivot) > 0) --j;
        if (i <= j) {
          std::swap(items[i], items[j]);
          ++i;
          --j;
        }
      } while (i <= j);
      if (left < j) QuickSort(left, j, compare);
      left = i;
    } while (i < right);
  }
};

// Sorted caches (records of the data file, pages of the index file, blocks
// of the BLOB file) are ordered by a 32-bit number. A search compares its key
// with an entry's number and answers from the entry's side: -1 when the key
// lies above, 1 when below.
inline int CompareKeyWithNumber(int32_t key, int32_t number) {
  return key > number ? -1 : key < number ? 1 : 0;
}
// Two entries' numbers, first against second.
inline int CompareNumbers(int32_t first, int32_t second) {
  return first > second ? 1 : first < second ? -1 : 0;
}
