#include "sqlRowFolding.h"

#include <algorithm>
#include <cstring>

#include "engExpCodes.h"
#include "engTableCursor.h"
#include "rtlAssert.h"
#include "sqlAggregates.h"
#include "sqlEvaluation.h"
#include "sqlQuery.h"

TRowFolder::TRowFolder(TDataQuery& query, TTableCursor& answer)
    : query(query), answer(&answer),
      active((query.Plan.Distinct || query.Plan.Grouping) && !query.Plan.AggregatesOnly),
      recordSize(size_t(answer.Fields().CursorRecordSize())), maxBytes(query.Run.MaxFoldedBytes) {
  if (active && query.Plan.Distinct) {
    const auto& columns = query.Plan.ResultFields;
    bySource = std::all_of(columns.begin(), columns.end(), [&query](const auto& column) {
      if (column->Computed || column->Source < 0 || column->Aggregate != agNone || column->CountStar) return false;
      const TFieldDefinition& field = query.Run.Tables[size_t(column->Source)]->Field(column->SourceFieldNo);
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
    const bool blank = !answer->Fields().ReadField(keyFields[i], row, field);
    key += blank ? '\0' : '\1';
    if (!blank) key.append(reinterpret_cast<const char*>(field.data()), size_t(keyWidths[i]));
  }
  return key;
}

bool TRowFolder::SourceKeyOf(std::string& key) const {
  key.clear();
  for (const auto& column : query.Plan.ResultFields) {
    const TSourceTable& table = *query.Run.Tables[size_t(column->Source)];
    if (!table.HasRow) {
      key += '\2';
      continue;
    }
    const TFieldDefinition& field = table.Field(column->SourceFieldNo);
    bool blank = true;
    const uint8_t* stored = TCursorFields::StoredValueBytes(field, table.Row(), blank);
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

namespace {

// Eight bytes a step: the keys are short and every row hashes one.
uint64_t KeyHash(const std::string& key) {
  uint64_t hash = 0x9E3779B97F4A7C15ull ^ key.size();
  size_t at = 0;
  for (; at + 8 <= key.size(); at += 8) {
    uint64_t word;
    std::memcpy(&word, key.data() + at, 8);
    hash = (hash ^ word) * 0xFF51AFD7ED558CCDull;
    hash ^= hash >> 32;
  }
  uint64_t tail = 0;
  std::memcpy(&tail, key.data() + at, key.size() - at);
  hash = (hash ^ tail) * 0xC4CEB9FE1A85EC53ull;
  return hash ^ (hash >> 29);
}

}  // namespace

bool TRowFolder::SourceSeen() {
  if (!bySource || !SourceKeyOf(sourceKey)) return false;
  const uint64_t hash = KeyHash(sourceKey);
  if (sourceSlots.empty()) sourceSlots.assign(256, 0);
  const size_t mask = sourceSlots.size() - 1;
  size_t slot = size_t(hash) & mask;
  for (; sourceSlots[slot] != 0; slot = (slot + 1) & mask) {
    const TSourceKey& held = sourceKeys[sourceSlots[slot] - 1];
    if (held.Hash == hash && held.Length == sourceKey.size() &&
        std::memcmp(sourceKeyBytes.data() + held.Offset, sourceKey.data(), held.Length) == 0)
      return true;
  }
  // Past the bound the row goes the long way: Take keeps or writes it.
  const size_t cost = sourceKey.size() + sizeof(TSourceKey) + 2 * sizeof(uint32_t);
  if (bytes + cost > maxBytes) return false;
  bytes += cost;
  sourceKeys.push_back({hash, sourceKeyBytes.size(), sourceKey.size()});
  sourceKeyBytes += sourceKey;
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
