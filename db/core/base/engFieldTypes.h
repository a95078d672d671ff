#pragma once

#include <cstdint>

// Field type codes of the record layout, as the field descriptors store them.
// They live in their own namespace because the dataset framework uses the same
// names for its own, differently numbered, field types.
namespace EngineFieldTypes {
enum : uint8_t {
  ftString = 1,
  ftDate = 2,
  ftBlob = 3,
  ftBoolean = 4,
  ftSmallInt = 5,
  ftInteger = 6,
  ftFloat = 7,
  ftDecimal = 8,
  ftTime = 10,
  ftTimeStamp = 11,
  ftWord = 12,
  // No column type produces these codes; they still have fixed sizes.
  ftReserved13 = 13,
  ftReserved14 = 14,
};
}  // namespace EngineFieldTypes

// Field subtype codes, stored beside the type in a field descriptor; an
// expression's value carries the same codes.
enum : uint8_t {
  stNone = 0,
  stMoney = 21,    // with ftFloat
  stMemo = 22,     // with ftBlob
  stAutoInc = 29,  // with ftInteger: the table's auto-increment field
};
