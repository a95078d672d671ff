#include "sqlRowFolding.h"

#include <algorithm>

#include "engExpCodes.h"
#include "engTableCursor.h"
#include "rtlAssert.h"
#include "sqlAggregates.h"
#include "sqlEvaluation.h"
#include "sqlQuery.h"
#include "sqlWordHash.h"

bool DistinctFoldsBySource(const TDataQuery& query) {
  if (!query.Plan.Distinct || query.Plan.AggregatesOnly) return false;
  const auto& columns = query.Plan.ResultFields;
  return std::all_of(columns.begin(), columns.end(), [&query](const auto& column) {
    if (column->Computed || column->Source < 0 || column->Aggregate != agNone || column->CountStar) return false;
    const TFieldDefinition& field = query.Run.Tables[size_t(column->Source)]->Field(column->SourceFieldNo);
    return !field.IsBlob() && !field.IsAutoInc();
  });
}

TRowFolder::TRowFolder(TDataQuery& query, TTableCursor& answer)
    : query(query), answer(&answer),
      active((query.Plan.Distinct || query.Plan.Grouping) && !query.Plan.AggregatesOnly && !query.Plan.HasBlobColumn),
      recordSize(size_t(answer.Fields().CursorRecordSize())), maxBytes(query.Run.MaxFoldedBytes) {
  if (active && query.Plan.Distinct) {
    const auto& columns = query.Plan.ResultFields;
    bySource = DistinctFoldsBySource(query);
    if (bySource)
      for (const auto& column : columns) {
        const TSourceTable& table = *query.Run.Tables[size_t(column->Source)];
        const TFieldDefinition& field = table.Field(column->SourceFieldNo);
        sourceParts.push_back({.Table = &table, .Field = &field, .Text = field.Type == dtString});
      }
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
    const bool blank = !answer->Fields().ReadField(keyFields[i], row, field);
    key += blank ? '\0' : '\1';
    if (!blank) key.append(reinterpret_cast<const char*>(field.data()), size_t(keyWidths[i]));
  }
  return key;
}

uint64_t TRowFolder::ReadSourceParts(size_t& length) {
  uint64_t hash = WordHashSeed;
  length = 0;
  for (TSourcePart& part : sourceParts) {
    part.Length = 0;
    if (!part.Table->HasRow) {
      part.Flag = 2;
    } else {
      const uint8_t* nullByte = part.Table->Row() + part.Field->RecordOffset;
      part.Flag = *nullByte == 0 ? 0 : 1;
      part.Bytes = nullByte + 1;
    }
    hash = MixWord(hash, part.Flag);
    ++length;
    if (part.Flag != 1) continue;
    if (part.Text) {
      part.Length = MixText(hash, part.Bytes, part.Field->StoredSize);
      length += part.Length + 1;
    } else {
      part.Length = part.Field->StoredSize;
      hash = MixWords(hash, part.Bytes, part.Length);
      length += part.Length;
    }
  }
  return FinishWordHash(hash);
}

bool TRowFolder::SourcePartsEqual(const char* held) const {
  for (const TSourcePart& part : sourceParts) {
    if (uint8_t(*held++) != part.Flag) return false;
    if (part.Flag != 1) continue;
    if (!BytesAlike(held, part.Bytes, part.Length)) return false;
    held += part.Length;
    if (part.Text && *held++ != '\0') return false;
  }
  return true;
}

bool TRowFolder::SourceSeen() {
  if (!bySource) return false;
  size_t length = 0;
  const uint64_t hash = ReadSourceParts(length);
  if (sourceSlots.empty()) sourceSlots.assign(256, 0);
  const size_t mask = sourceSlots.size() - 1;
  size_t slot = size_t(hash) & mask;
  for (; sourceSlots[slot] != 0; slot = (slot + 1) & mask) {
    const TSourceKey& held = sourceKeys[sourceSlots[slot] - 1];
    if (held.Hash == hash && held.Length == length && SourcePartsEqual(sourceKeyBytes.data() + held.Offset))
      return true;
  }
  // Past the bound the row goes the long way: Take keeps or writes it.
  const size_t cost = length + sizeof(TSourceKey) + 2 * sizeof(uint32_t);
  if (bytes + cost > maxBytes) return false;
  bytes += cost;
  sourceKeys.push_back({hash, sourceKeyBytes.size(), length});
  for (const TSourcePart& part : sourceParts) {
    sourceKeyBytes += char(part.Flag);
    if (part.Flag != 1) continue;
    sourceKeyBytes.append(reinterpret_cast<const char*>(part.Bytes), part.Length);
    if (part.Text) sourceKeyBytes += '\0';
  }
  sourceSlots[slot] = uint32_t(sourceKeys.size());
  // At most half the slots taken: probes stay short.
  if (sourceKeys.size() * 2 > sourceSlots.size()) {
    sourceSlots.assign(sourceSlots.size() * 2, 0);
    const size_t wider = sourceSlots.size() - 1;
    for (size_t i = 0; i < sourceKeys.size(); ++i) {
      size_t at = size_t(sourceKeys[i].Hash) & wider;
      while (sourceSlots[at] != 0) at = (at + 1) & wider;
      sourceSlots[at] = uint32_t(i + 1);
    }
  }
  return false;
}

bool TRowFolder::Take(const uint8_t* row) {
  if (!active) return false;
  std::string key = KeyOf(row);
  const auto found = index.find(key);
  if (found != index.end()) {
    // A DISTINCT duplicate is simply dropped.
    if (!query.Plan.Distinct) AccumulateRow(query, *answer, rows[found->second].data(), row);
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
  for (std::vector<uint8_t>& row : rows) answer->InsertRecord(row.data());
  rows.clear();
  index.clear();
  sourceKeys.clear();
  sourceKeyBytes.clear();
  sourceSlots.clear();
  bytes = 0;
}

void TRowFolder::Retarget(TTableCursor& next) {
  ORV_ASSERT(rows.empty() && size_t(next.Fields().CursorRecordSize()) == recordSize);
  answer = &next;
}
