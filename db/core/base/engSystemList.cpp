#include "engSystemList.h"

#include <algorithm>
#include <cstring>

TSystemList::~TSystemList() { Clear(); }

void TSystemList::Grow() {
  int32_t delta = capacity > 64 ? capacity / 4 : capacity > 8 ? 16 : 4;
  SetCapacity(capacity + delta);
}

int32_t TSystemList::Add(void* item) {
  if (count == capacity) Grow();
  items[count] = item;
  return count++;
}

void TSystemList::Insert(int32_t index, void* item) {
  ENG_ASSERT(index >= 0 && index <= count);
  if (count == capacity) Grow();
  if (index < count) memmove(&items[index + 1], &items[index], (count - index) * sizeof(void*));
  items[index] = item;
  ++count;
}

void TSystemList::Delete(int32_t index) {
  ENG_ASSERT(index >= 0 && index < count);
  --count;
  if (index < count) memmove(&items[index], &items[index + 1], (count - index) * sizeof(void*));
  items[count] = nullptr;
}

void TSystemList::Exchange(int32_t index1, int32_t index2) {
  ENG_ASSERT(index1 >= 0 && index1 < count && index2 >= 0 && index2 < count);
  std::swap(items[index1], items[index2]);
}

int32_t TSystemList::IndexOf(const void* item) const {
  for (int32_t i = 0; i < count; ++i)
    if (items[i] == item) return i;
  return -1;
}

void TSystemList::SetCapacity(int32_t newCapacity) {
  if (newCapacity == capacity) return;
  if (newCapacity <= 0) {
    EngineFreeMem(items);
    capacity = count = 0;
    return;
  }
  items = static_cast<void**>(EngineReallocMem(items, newCapacity * sizeof(void*)));
  capacity = newCapacity;
  count = std::min(count, capacity);
}

void TSystemList::SetCount(int32_t newCount) {
  if (newCount > capacity) SetCapacity(newCount);
  // Slots past the count are kept empty by Delete and by zeroed growth.
  for (int32_t i = newCount; i < count; ++i) items[i] = nullptr;
  count = std::max(newCount, 0);
}

void TSystemList::Clear() { SetCapacity(0); }

void TSystemList::Assign(const TSystemList& other) {
  if (capacity < other.capacity) SetCapacity(other.capacity);
  SetCount(other.count);
  if (other.count > 0) memcpy(items, other.items, other.count * sizeof(void*));
}
