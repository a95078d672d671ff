#pragma once
// How clause expressions meet the source tables: column references are
// bound to a table and its field while they are checked, and read from
// that table's current row while they are evaluated.

#include <cstdint>

#include "engExpEval.h"
#include "engExpTypeCheck.h"
#include "engFieldDefinition.h"
#include "engTableCursor.h"

class TDataQuery;
struct TSourceTable;

// Gives the node the field's type, subtype, size and scale.
void TypeNodeFromField(const TFieldDefinition& field, TExpToken& node);

// Binds references to the query's source tables (SourceTable and the
// table's field number).
class TSourceColumnResolver final : public TExpColumnResolver {
public:
  explicit TSourceColumnResolver(const TDataQuery& query) : query(query) {}
  bool ResolveColumn(TExpToken& node) override;

private:
  const TDataQuery& query;
};

// Binds references to the fields of one table only (its filters).
class TTableColumnResolver final : public TExpColumnResolver {
public:
  explicit TTableColumnResolver(const TSourceTable& table) : table(table) {}
  bool ResolveColumn(TExpToken& node) override;

private:
  const TSourceTable& table;
};

// Reads a bound reference from its table's current row, its text in the
// code page of the given language; a table without a row (an unmatched
// left join) gives NULL.
class TSourceColumnValues final : public TExpColumnValues {
public:
  explicit TSourceColumnValues(uint16_t languageId) : languageId(languageId) {}
  void GetColumnValue(TExpToken& node) override;

private:
  uint16_t languageId;
};

// A field's number follows the cursor's numbering (a result's field list)
// or the table's (a source table's field, also on a live result's cursor,
// whose field map numbers its columns).
// The field of the record into node, a BLOB read whole.
void ReadFieldValue(TTableCursor& cursor, const uint8_t* record, const TFieldDefinition& field, TExpToken& node,
                    TFieldNumbering numbering = TFieldNumbering::Cursor);
