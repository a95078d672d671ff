#pragma once
// How a record sort folds records of equal key, and for grouping the
// callbacks that fold a record into its group.

#include <cstdint>
#include <functional>

enum class TSortDuplicates { None, Distinct, Group };

// The bytes of records and keys a sort takes in memory; a larger file is
// sorted through runs of a work file.
inline constexpr int64_t DefaultSortMemoryBytes = int64_t(64) << 20;

// Records are plain record buffers of the table's record size. The group
// record is the group's first record as it goes to the output.
struct TSortGroupCallbacks {
  // Called with the group record and itself for a group's first record,
  // then with the group record and each further record of equal key.
  std::function<void(uint8_t* group, const uint8_t* record)> Accumulate;
  // Optional: the finished group.
  std::function<void(uint8_t* group)> Finish;
  // Optional: false drops the finished group from the output.
  std::function<bool(const uint8_t* group)> Keep;
};
