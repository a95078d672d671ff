#pragma once
// A list that owns its items: removing an item frees it unless it is taken
// out with Extract, and the list frees what it still holds when it goes.
// Pools, caches and open BLOBs keep their entries here, typed, so that no
// delete loop has to stand beside a list.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "rtlAssert.h"

template <typename T>
class TOwnedList {
public:
  TOwnedList() = default;
  TOwnedList(const TOwnedList&) = delete;
  TOwnedList& operator=(const TOwnedList&) = delete;

  int32_t Count() const { return int32_t(items.size()); }
  bool Empty() const { return items.empty(); }
  void Reserve(int32_t capacity) { items.reserve(size_t(capacity)); }

  T* Get(int32_t index) const {
    ORV_ASSERT(index >= 0 && index < Count());
    return items[size_t(index)].get();
  }
  T* operator[](int32_t index) const { return Get(index); }

  // Takes the item over; returns it.
  T* Add(std::unique_ptr<T> item) {
    items.push_back(std::move(item));
    return items.back().get();
  }
  T* Insert(int32_t index, std::unique_ptr<T> item) {
    ORV_ASSERT(index >= 0 && index <= Count());
    return items.insert(items.begin() + index, std::move(item))->get();
  }
  // Takes over an item handed back as a raw pointer (a pool's return).
  T* Adopt(T* item) { return Add(std::unique_ptr<T>(item)); }

  // -1 when the item is not in the list.
  int32_t IndexOf(const T* item) const {
    const auto found = std::find_if(items.begin(), items.end(), [item](const auto& own) { return own.get() == item; });
    return found == items.end() ? -1 : int32_t(found - items.begin());
  }
  // Frees the item.
  void Delete(int32_t index) { Extract(index).reset(); }
  // Hands the item back to the caller, who owns it from now on.
  std::unique_ptr<T> Extract(int32_t index) {
    ORV_ASSERT(index >= 0 && index < Count());
    std::unique_ptr<T> item = std::move(items[size_t(index)]);
    items.erase(items.begin() + index);
    return item;
  }
  std::unique_ptr<T> ExtractLast() {
    ORV_ASSERT(!items.empty());
    std::unique_ptr<T> item = std::move(items.back());
    items.pop_back();
    return item;
  }
  void Clear() { items.clear(); }

private:
  std::vector<std::unique_ptr<T>> items;
};
