#include "sqlJoinHash.h"

#include <cstring>
#include <optional>

#include "rtlAssert.h"
#include "engTableCursor.h"
#include "engExpEval.h"
#include "engExpToken.h"
#include "sqlColumns.h"
#include "sqlEvaluation.h"
#include "sqlItems.h"
#include "sqlQuery.h"
#include "sqlWordHash.h"

namespace {

enum class TKeyFamily { None, Whole, Date, Time, Boolean, Text };

TKeyFamily FamilyOf(uint8_t type) {
  switch (type) {
    case dtSmallInt:
    case dtWord:
    case dtInteger:
      return TKeyFamily::Whole;
    case dtDate:
      return TKeyFamily::Date;
    case dtTime:
      return TKeyFamily::Time;
    case dtBoolean:
      return TKeyFamily::Boolean;
    case dtString:
      return TKeyFamily::Text;
    default:
      return TKeyFamily::None;
  }
}

// Appends the value's key; false for NULL.
bool AppendKey(const TExpToken& value, std::string& key) {
  if (value.IsNull) return false;
  int64_t whole = 0;
  switch (FamilyOf(value.DataType)) {
    case TKeyFamily::Text:
      key.append(value.AsText());
      key += '\0';
      return true;
    case TKeyFamily::Boolean:
      key += value.AsBoolean() ? '\1' : '\0';
      return true;
    case TKeyFamily::Whole:
      whole = value.DataType == dtSmallInt ? value.AsSmallInt()
              : value.DataType == dtWord   ? value.AsWord()
                                           : value.AsInteger();
      break;
    default:
      whole = value.AsInteger();
      break;
  }
  key.append(reinterpret_cast<const char*>(&whole), sizeof whole);
  return true;
}

template <typename Visit>
void ForEachComparison(const TExpToken& condition, Visit visit) {
  if (condition.Kind == nkBinary && condition.Code == opAnd) {
    ForEachComparison(*condition.First, visit);
    ForEachComparison(*condition.Second, visit);
    return;
  }
  visit(condition);
}

}  // namespace

bool CanKeyComparison(const TExpToken& comparison, const TSourceTable& inner, bool innerFirst,
                      uint16_t evaluationLanguage) {
  if (comparison.Kind != nkBinary || comparison.Code != opEqual || !comparison.First || !comparison.Second)
    return false;
  const TExpToken& column = innerFirst ? *comparison.First : *comparison.Second;
  const TExpToken& other = innerFirst ? *comparison.Second : *comparison.First;
  if (column.Kind != nkColumn || column.SourceTable != &inner || column.First || column.Second) return false;
  const TKeyFamily family = FamilyOf(column.DataType);
  if (family == TKeyFamily::None || family != FamilyOf(other.DataType)) return false;
  // Texts compare as bytes only without a language.
  return family != TKeyFamily::Text || (evaluationLanguage == 0 && inner.Cursor->Fields().LanguageId() == 0);
}

std::unique_ptr<TJoinHash> BuildJoinHash(TDataQuery& query, TSourceTable& inner, const TExpToken& condition) {
  auto hash = std::make_unique<TJoinHash>();
  TSourceColumnValues columns(EvaluationLanguage(query));
  TTableCursor& cursor = *inner.Cursor;
  size_t bytes = 0;
  std::string key;
  cursor.SetToBegin();
  inner.HasRow = true;
  inner.Shown = nullptr;
  while (cursor.GetNextRecord(inner.Record.data()) == 0) {
    key.clear();
    bool keyed = true;
    ForEachComparison(condition, [&](const TExpToken& comparison) {
      if (!keyed) return;
      TExpTreePtr value(CloneTokenTree(comparison.First));
      columns.GetColumnValue(*value);
      keyed = AppendKey(*value, key);
    });
    if (!keyed) continue;
    bytes += key.size() + inner.Record.size() + 64;
    if (bytes > MaxHashedBytes) return nullptr;
    hash->Rows.emplace(key, inner.Record);
  }
  hash->IndexKeys();
  return hash;
}

namespace {

// Its words, then its length: a text key's words are found and mixed
// where an outer row holds its text, before its length is known.
uint64_t KeyHash(std::string_view key) {
  const uint64_t words = MixWords(WordHashSeed, reinterpret_cast<const uint8_t*>(key.data()), key.size());
  return FinishWordHash(MixWord(words, key.size()));
}

}  // namespace

void TJoinHash::IndexKeys() {
  KeyRows.clear();
  for (auto row = Rows.cbegin(); row != Rows.cend();) {
    const TRange range = Rows.equal_range(row->first);
    KeyRows.push_back({KeyHash(row->first), row->first, range});
    row = range.second;
  }
  size_t slots = 16;
  while (slots < KeyRows.size() * 2) slots *= 2;
  Slots.assign(slots, 0);
  for (size_t i = 0; i < KeyRows.size(); ++i) {
    size_t at = size_t(KeyRows[i].Hash) & (slots - 1);
    while (Slots[at] != 0) at = (at + 1) & (slots - 1);
    Slots[at] = uint32_t(i + 1);
  }
}

TJoinHash::TRange TJoinHash::Find() const {
  const std::string_view key = Probe;
  const uint64_t hash = ProbeHash;
  const size_t mask = Slots.size() - 1;
  for (size_t at = size_t(hash) & mask; Slots[at] != 0; at = (at + 1) & mask) {
    const TKeyRows& held = KeyRows[Slots[at] - 1];
    if (held.Hash == hash && held.Key.size() == key.size() &&
        BytesAlike(held.Key.data(), reinterpret_cast<const uint8_t*>(key.data()), key.size()))
      return held.Range;
  }
  return {Rows.cend(), Rows.cend()};
}

namespace {

// The field of an outer side that is a bare text column of a table in the
// evaluation's language, whose stored bytes are its value; false when it
// is another kind of side, which is evaluated.
bool StoredTextColumn(const TExpToken& side, uint16_t evaluationLanguage, const TSourceTable*& table,
                      const TFieldDefinition*& field) {
  if (side.Kind != nkColumn || side.DataType != dtString || side.FieldNo == 0) return false;
  table = BoundSourceTable(side);
  if (!table || table->Cursor->Fields().LanguageId() != evaluationLanguage) return false;
  field = &table->Field(side.FieldNo);
  return field->Type == dtString;
}

// The current row's bytes of such a column, width bytes, with keyed false
// for NULL.
void StoredTextOf(const TSourceTable& table, const TFieldDefinition& field, const uint8_t*& bytes, size_t& width,
                  bool& keyed) {
  if (!table.HasRow) {
    keyed = false;
    return;
  }
  bool blank = true;
  bytes = TCursorFields::StoredValueBytes(field, table.Row(), blank);
  ORV_ASSERT(bytes);  // a text field's value lies in the record
  keyed = !blank;
  width = field.StoredSize;
}

}  // namespace

// AppendKey's key from the stored bytes where it can: the text up to its
// end, then a zero byte. A lone text column whose end lies in its field is
// the key where the row holds it, that zero byte included, hashed in the
// pass that finds its end.
bool OuterJoinKey(TDataQuery& query, const TExpToken& condition, TJoinHash& hash) {
  const uint16_t language = EvaluationLanguage(query);
  const uint8_t* bytes = nullptr;
  size_t width = 0;
  bool keyed = true;
  using TOuterSide = TJoinHash::TOuterSide;
  if (hash.OuterSide == TOuterSide::Unknown)
    hash.OuterSide = !(condition.Kind == nkBinary && condition.Code == opAnd) &&
                             StoredTextColumn(*condition.Second, language, hash.OuterTable, hash.OuterField)
                         ? TOuterSide::StoredText
                         : TOuterSide::Other;
  if (hash.OuterSide == TOuterSide::StoredText) {
    StoredTextOf(*hash.OuterTable, *hash.OuterField, bytes, width, keyed);
    if (!keyed) return false;
    uint64_t words = WordHashSeed;
    const size_t length = MixText(words, bytes, width);
    if (length < width) {
      hash.Probe = std::string_view(reinterpret_cast<const char*>(bytes), length + 1);
      hash.ProbeHash = FinishWordHash(MixWord(words, length + 1));
      return true;
    }
  }
  hash.Key.clear();
  std::optional<TSourceColumnValues> columns;
  std::optional<TExpEvalContext> context;
  keyed = true;
  ForEachComparison(condition, [&](const TExpToken& comparison) {
    if (!keyed) return;
    const TSourceTable* table = nullptr;
    const TFieldDefinition* field = nullptr;
    if (StoredTextColumn(*comparison.Second, language, table, field)) {
      StoredTextOf(*table, *field, bytes, width, keyed);
      if (keyed) {
        hash.Key.append(reinterpret_cast<const char*>(bytes), strnlen(reinterpret_cast<const char*>(bytes), width));
        hash.Key += '\0';
      }
      return;
    }
    if (!context) {
      columns.emplace(language);
      context = SourceEvalContext(query, &*columns);
      context->Scratch = &hash.Scratch;
    }
    EvaluateExpressionInto(*context, *comparison.Second, hash.Value);
    keyed = AppendKey(hash.Value, hash.Key);
  });
  hash.Probe = hash.Key;
  hash.ProbeHash = KeyHash(hash.Key);
  return keyed;
}
