// The query's source tables: their directories and cursors, and the look-up
// of correlation names and columns.

#include <algorithm>

#include "engTableCursor.h"
#include "engDirectory.h"
#include "engSession.h"
#include "engStrings.h"
#include "rtlStrUtils.h"
#include "sqlQuery.h"
#include "sqlStatement.h"

namespace {

constexpr const char* MemoryDatabase = "Memory";

}  // namespace

int TSourceTable::FindField(const std::string& name) const {
  for (int i = 1; i <= FieldCount; ++i)
    if (SameText(Field(i).Name, name)) return i;
  return 0;
}

TDataDirectory* TDataQuery::StatementDirectory() const { return Statement.Database(); }

TSourceTable* TDataQuery::FindCorrelation(const std::string& name) const {
  for (const auto& table : Run.Tables)
    if (SameText(table->Reference.CorrelationName, name)) return table.get();
  return nullptr;
}

TSourceTable* TDataQuery::FindSourceTable(const std::string& qualifier, const std::string& column,
                                          uint16_t& fieldNo) const {
  fieldNo = 0;
  if (!qualifier.empty()) {
    TSourceTable* table = FindCorrelation(qualifier);
    if (table && !column.empty() && column != "*") fieldNo = uint16_t(table->FindField(column));
    return table;
  }
  if (Run.Tables.empty()) return nullptr;
  if (column.empty() || column == "*") return Run.Tables.front().get();
  for (const auto& table : Run.Tables) {
    const int found = table->FindField(column);
    if (found > 0) {
      fieldNo = uint16_t(found);
      return table.get();
    }
  }
  return nullptr;
}

void TDataQuery::OpenSourceTables(bool readOnly) {
  TDataSession* session = StatementDirectory()->Session();
  if (!Run.Tables.empty()) return;
  for (const auto& reference : Parsed.Sources.Tables) {
    Run.Tables.push_back(std::make_unique<TSourceTable>(*reference));
    TSourceTable& table = *Run.Tables.back();
    table.Place = Run.Tables.size() - 1;
    if (reference->InMemory) {
      table.Directory = session->OpenDirectory(MemoryDatabase, "");
      table.OwnsDirectory = true;
    } else if (!reference->DatabaseName.empty()) {
      table.Directory = session->OpenDirectory(reference->DatabaseName, reference->DatabaseName);
      table.OwnsDirectory = true;
    } else {
      table.Directory = StatementDirectory();
    }
    auto cursor = NewTableCursor(table.Directory);
    cursor->SetOpenOptions({.TableName = reference->TableName,
                            .ReadOnly = readOnly,
                            .InMemory = reference->InMemory,
                            .SqlSourceTable = true});
    cursor->SetPasswordHandler(Run.PasswordProc);
    cursor->Open();
    cursor->SetPasswordHandler(nullptr);
    table.FieldCount = cursor->Fields().GetFieldCount();
    table.Fields.clear();
    table.Fields.reserve(size_t(table.FieldCount));
    // Opened just above, without a field map: the cursor lists the table's
    // own fields, each copied once into place.
    for (int i = 1; i <= table.FieldCount; ++i) table.Fields.push_back(cursor->Fields().FieldDefinition(i));
    table.Record.assign(cursor->Fields().CursorRecordSize(), 0);
    table.Cursor = std::move(cursor);
    table.CheckInvariants();
  }
}
