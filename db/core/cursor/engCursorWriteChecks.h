#pragma once
// A cursor's checks of a record before it is written, and a new record's
// defaults: what the table's fields ask (required, minimum, maximum,
// default texts), read by the table's own number and date rules.

#include <cstdint>
#include <span>
#include <string>

#include "engTableCursor.h"

class TDataCursor;

// Invariant: the two flags were taken from the fields of the table the
// cursor has open now (Derive at open, Clear at close), and a record is
// checked or given defaults only then.
class TCursorWriteChecks final : public TCursorRecordChecks {
public:
  explicit TCursorWriteChecks(TDataCursor& cursor) : cursor(cursor) {}
  TCursorWriteChecks(const TCursorWriteChecks&) = delete;
  TCursorWriteChecks& operator=(const TCursorWriteChecks&) = delete;

  // Whether any of the open table's fields is required, has a limit or a
  // default; a table without any pays nothing for the checks.
  void Derive();
  void Clear();

  void ApplyDefaults(uint8_t* record) override;
  // Raises the first field left blank though required (9732), or below its
  // minimum (9730) or above its maximum (9731).
  void CheckConstraints(const uint8_t* record);
  // Whether the field's value respects the limit text; limits are inclusive.
  // value holds the field's ValueWidth bytes.
  bool CheckLimit(const std::string& limit, bool isMaximum, const TFieldDefinition& field,
                  std::span<const uint8_t> value) const;

private:
  TDataCursor& cursor;
  bool derived = false;
  bool hasValidityChecks = false;
  bool hasDefaults = false;
};
