#include "sqlRowFolding.h"

#include <algorithm>
#include <cstring>

#include "engExpCodes.h"
#include "engTableCursor.h"
#include "sqlAggregates.h"
#include "sqlEvaluation.h"
#include "sqlQuery.h"

TRowFolder::TRowFolder(TDataQuery& query, TTableCursor& answer)
    : query(query), answer(answer),
      active((query.Plan.Distinct || query.Plan.Grouping) && !query.Plan.AggregatesOnly),
      recordSize(size_t(answer.Fields().CursorRecordSize())), maxBytes(query.Run.MaxFoldedBytes) {
  if (active && query.Plan.Distinct) {
    bySource = std::all_of(query.Plan.ResultFields.begin(), query.Plan.ResultFields.end(), [](const auto& column) {
      if (column->Computed || !column->Source || column->Aggregate != agNone || column->CountStar) return false;
      const TFieldDefinition& field = column->Source->Field(column->SourceFieldNo);
      return !field.IsBlob() && !field.IsAutoInc();
    });
  }
  if (!active || query.Plan.Distinct) return;
  int widest = 0;
  for (const TColumnItem& item : query.Plan.GroupBy) {
    const int width = answer.Fields().FieldDefinition(item.ColumnNo).ValueWidth();
    keyFields.push_back(item.ColumnNo);
    keyWidths.push_back(width);
    widest = std::max(widest, width);
  }
  field.assign(size_t(widest) + 1, 0);
}

std::string TRowFolder::KeyOf(const uint8_t* row) {
  if (keyFields.empty()) return std::string(reinterpret_cast<const char*>(row), recordSize);
  std::string key;
  for (size_t i = 0; i < keyFields.size(); ++i) {
    std::fill(field.begin(), field.end(), 0);
    const bool blank = !answer.Fields().ReadField(keyFields[i], row, field);
    key += blank ? '\0' : '\1';
    if (!blank) key.append(reinterpret_cast<const char*>(field.data()), size_t(keyWidths[i]));
  }
  return key;
}

bool TRowFolder::SourceKeyOf(std::string& key) const {
  key.clear();
  for (const auto& column : query.Plan.ResultFields) {
    const TSourceTable& table = *column->Source;
    if (!table.HasRow) {
      key += '\2';
      continue;
    }
    const TFieldDefinition& field = table.Field(column->SourceFieldNo);
    bool blank = true;
    const uint8_t* stored = TCursorFields::StoredValueBytes(field, table.Record.data(), blank);
    if (!stored) return false;
    if (blank) {
      key += '\0';
      continue;
    }
    key += '\1';
    // A text is read up to its end: what follows in the field builds nothing.
    const char* bytes = reinterpret_cast<const char*>(stored);
    if (field.Type == dtString) {
      key.append(bytes, strnlen(bytes, field.StoredSize));
      key += '\0';
    } else {
      key.append(bytes, field.StoredSize);
    }
  }
  return true;
}

bool TRowFolder::SourceSeen() {
  if (!bySource || !SourceKeyOf(sourceKey)) return false;
  if (sourceKeys.contains(sourceKey)) return true;
  // Past the bound the row goes the long way: Take keeps or writes it.
  const size_t cost = sourceKey.size() + 64;
  if (bytes + cost > maxBytes) return false;
  bytes += cost;
  sourceKeys.insert(sourceKey);
  return false;
}

bool TRowFolder::Take(const uint8_t* row) {
  if (!active) return false;
  std::string key = KeyOf(row);
  const auto found = index.find(key);
  if (found != index.end()) {
    // A DISTINCT duplicate is simply dropped.
    if (!query.Plan.Distinct) AccumulateRow(query, answer, rows[found->second].data(), row);
    return true;
  }
  const size_t cost = key.size() + recordSize + 64;
  if (bytes + cost > maxBytes) return false;
  bytes += cost;
  index.emplace(std::move(key), rows.size());
  rows.emplace_back(row, row + recordSize);
  return true;
}

void TRowFolder::Flush() {
  for (std::vector<uint8_t>& row : rows) answer.InsertRecord(row.data());
  rows.clear();
  index.clear();
  sourceKeys.clear();
  bytes = 0;
}
