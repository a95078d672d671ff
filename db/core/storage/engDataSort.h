#pragma once
// What record sorting is given: the key fields (engSortOptions.h has how
// equal keys are folded).

#include <cstdint>

#include "engDataLayout.h"
#include "engSortOptions.h"

// One key field: a copy of the field's descriptor and its direction.
struct TSortKeyField {
  uint8_t Desc[FieldDescSize] = {};
  bool Descending = false;
};
