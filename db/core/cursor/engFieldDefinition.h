#pragma once
// A field as the layers above the engine define and read it: its name,
// type, sizes, checks and, in a cursor's field map, where it came from and
// how it is computed. The engine alone turns it into the descriptor the
// data file stores and back.

#include <cstdint>
#include <memory>
#include <string>

#include "engTableLimits.h"
#include "engFieldTypes.h"

class TExpToken;

struct TFieldDefinition {
  // The field's stored number, which a restructure matches old and new
  // fields by; in a field map, the number a cursor knows the field by.
  uint16_t Number = 0;
  std::string Name;  // at most FieldNameLimit bytes; the engine refuses more
  std::string Description;  // at most FieldTextLimit bytes are kept, as of the
                            // three texts below
  uint8_t Type = 0;  // the engine's type code (EngineFieldTypes)
  uint8_t Subtype = 0;
  uint8_t DeclaredSize = 0;  // the length of a text or bytes field
  uint8_t Scale = 0;  // the decimals of a decimal field
  bool Required = false;
  uint8_t CharCase = 0;
  std::string Minimum;
  std::string Maximum;
  std::string Default;
  // Completed by the engine when it checks a definition or reads a table:
  // the value bytes in a record, the scale they are kept with, and where
  // the field's null byte lies (the value follows it).
  uint8_t StoredSize = 0;
  uint8_t StoredScale = 0;
  uint16_t RecordOffset = 0;
  // Computed by a cursor from Expression, never written to a table; a
  // cursor keeps the mark only while it is told not to update filters.
  bool NotStored = false;
  // In a cursor's field map only: the table and field the value comes from
  // ("TABLE.FIELD"), set by the cursor, and a computed field's expression,
  // shared by the cursor and its twins.
  std::string Origin;
  std::shared_ptr<const TExpToken> Expression;

  // The auto-increment field keeps its value in the record's header; a
  // BLOB field keeps a reference to it.
  bool IsAutoInc() const { return Type == EngineFieldTypes::ftInteger && Subtype == stAutoInc; }
  bool IsBlob() const { return Type == EngineFieldTypes::ftBlob; }
  // The bytes a value of the field takes in a caller's buffer: 4 for a
  // BLOB field (its reference) and the auto-increment field, else its
  // stored size.
  int ValueWidth() const { return IsAutoInc() || IsBlob() ? 4 : StoredSize; }
  // Whether the record holds a null byte and value bytes of the field.
  bool HasRecordBytes() const { return !IsAutoInc() && !NotStored; }
  // Everything the data file stores equal; Origin and Expression are not
  // compared.
  bool SameStored(const TFieldDefinition& other) const;
};

// A computed field's expression as a field map holds it: a copy of tree,
// freed when the last cursor holding it lets it go. nil gives nil.
std::shared_ptr<const TExpToken> ShareExpression(const TExpToken* tree);
