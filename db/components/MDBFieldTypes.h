#pragma once
// The framework's field types against the engine's type and subtype codes,
// both ways. Creating, restructuring and locating use the first mapping,
// reading a table's definitions the second.

#include <cstdint>

#include "dbTypes.h"
#include "engFieldDefinition.h"

struct TMDBEngineType {
  uint8_t Type = 0;
  uint8_t Subtype = 0;
};

// Every type without an engine counterpart gives 0, 0.
TMDBEngineType EngineTypeOf(TFieldType type);

// The field type and size of an engine field; false for engine types that
// have no field type (the field is left out).
bool FieldTypeOf(const TFieldDefinition& field, TFieldType& type, int& size);

// The precision the framework gives decimal fields read from a table.
inline constexpr int EngineBcdPrecision = 20;
