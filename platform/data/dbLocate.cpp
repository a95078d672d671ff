// TDataSet: record location by key fields and values, and the search over
// the filter (FindRecord).
//
// The comparison: a Null or Empty key matches a blank field; text fields
// compare as text (a blank one reads as the empty text, so "" matches it),
// without regard to ASCII letter case under loCaseInsensitive, and as a
// prefix under loPartialKey (a trailing '*' of the key is dropped first);
// every other key is converted to the field's native value and compared
// with it, so a date key matches the stored day and a BCD key the stored
// digits at the field's scale. A key that does not convert to the field's
// type raises.

#include <cstring>

#include "dbConsts.h"
#include "dbDataSet.h"
#include "dbNativeValues.h"
#include "rtlStrUtils.h"

namespace {

bool IsTextField(const TField* field) {
  switch (field->DataType()) {
    case ftString:
    case ftFixedChar:
    case ftWideString:
    case ftMemo:
    case ftFmtMemo: return true;
    default: return false;
  }
}

bool TextMatches(std::string fieldText, std::string key, TLocateOptions options) {
  if (options.Contains(loPartialKey)) {
    if (!key.empty() && key.back() == '*') key.pop_back();
    if (fieldText.size() < key.size()) return false;
    fieldText.resize(key.size());
  }
  return options.Contains(loCaseInsensitive) ? SameText(fieldText, key) : fieldText == key;
}

bool ValueMatches(TField* field, const Variant& key) {
  switch (field->DataType()) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftAutoInc:
    case ftLargeint:
    case ftFloat:
    case ftCurrency: return field->AsFloat() == key.AsFloat(field->FormatSettings());
    case ftBCD:
      return NativeCurrencyToStoredBcd(field->AsCurrency(), field->Size()) ==
             NativeCurrencyToStoredBcd(key.AsCurrency(field->FormatSettings()), field->Size());
    case ftBoolean: return field->AsBoolean() == key.AsBoolean(field->FormatSettings());
    case ftDate:
    case ftTime:
    case ftDateTime: {
      // Compared in the stored form: both sides at the field's precision.
      std::vector<uint8_t> stored(static_cast<size_t>(field->DataSize()));
      std::vector<uint8_t> wanted(stored.size());
      const TDateTime keyTime = key.AsDateTime(field->FormatSettings());
      field->GetData(stored.data());
      ConvertNativeValue(field->DataType(), field->Size(), &keyTime, wanted.data(), true);
      return stored == wanted;
    }
    case ftBytes:
    case ftVarBytes:
    case ftBlob:
    case ftGraphic:
    case ftTypedBinary: {
      const std::vector<uint8_t> bytes = key.AsBytes();
      const std::string value = field->AsString();
      return value.size() == bytes.size() && std::memcmp(value.data(), bytes.data(), bytes.size()) == 0;
    }
    default: throw EDatabaseError(SFieldUnsupportedType, {field->DisplayName()});
  }
}

}  // namespace

bool TDataSet::KeysMatch(const std::vector<TField*>& keyFields, const Variant& keyValues,
                         TLocateOptions options) const {
  const bool single = keyFields.size() == 1 && !keyValues.IsArray();
  if (!single && (!keyValues.IsArray() || keyValues.ArrayCount() != static_cast<int>(keyFields.size())))
    throw EDatabaseError(SFieldIndexError);
  for (size_t i = 0; i < keyFields.size(); ++i) {
    TField* field = keyFields[i];
    const Variant& key = single ? keyValues : keyValues.Element(static_cast<int>(i));
    if (IsTextField(field)) {
      const std::string text = VarIsClear(key) ? std::string() : key.AsString(field->FormatSettings());
      if (!TextMatches(field->IsNull() ? std::string() : field->AsString(), text, options)) return false;
    } else if (VarIsClear(key)) {
      if (!field->IsNull()) return false;
    } else if (field->IsNull() || !ValueMatches(field, key)) {
      return false;
    }
  }
  return true;
}

bool TDataSet::LocateRecord(const std::string& keyFields, const Variant& keyValues, TLocateOptions options) {
  CheckBrowseMode();
  CursorPosChanged();
  const std::vector<TField*> fieldList = GetFieldList(keyFields);
  const TRecordBuffer savedFilterBuffer = filterBuffer;
  const TDataSetState saved = SetTempState(dsFilter);
  filterBuffer = tempBuffer.get();
  bool found = false;
  try {
    InternalFirst();
    while (!found && GetRecord(tempBuffer.get(), gmNext, true) == grOK) found = KeysMatch(fieldList, keyValues, options);
  } catch (...) {
    RestoreState(saved);
    filterBuffer = savedFilterBuffer;
    throw;
  }
  RestoreState(saved);
  filterBuffer = savedFilterBuffer;
  return found;
}

Variant TDataSet::TempBufferValues(const std::string& resultFields) {
  const std::vector<TField*> fieldList = GetFieldList(resultFields);
  GetCalcFields(tempBuffer.get());
  const TRecordBuffer savedCalcBuffer = calcBuffer;
  const TDataSetState saved = SetTempState(dsCalcFields);
  calcBuffer = tempBuffer.get();
  std::vector<Variant> values;
  try {
    for (TField* field : fieldList) values.push_back(field->AsVariant());
  } catch (...) {
    RestoreState(saved);
    calcBuffer = savedCalcBuffer;
    throw;
  }
  RestoreState(saved);
  calcBuffer = savedCalcBuffer;
  if (values.size() == 1) return values.front();
  return Variant::ArrayOf(std::move(values));
}

bool TDataSet::Locate(const std::string& keyFields, const Variant& keyValues, TLocateOptions options) {
  CheckBrowseMode();
  DoBeforeScroll();
  const bool found = LocateRecord(keyFields, keyValues, options);
  if (found) {
    Resync({rmExact, rmCenter});
    DoAfterScroll();
  }
  return found;
}

Variant TDataSet::Lookup(const std::string& keyFields, const Variant& keyValues, const std::string& resultFields) {
  if (!LocateRecord(keyFields, keyValues, {})) return Variant::Null();
  return TempBufferValues(resultFields);
}

// ---- Searching over the filter ----

bool TDataSet::FindRecord(bool restart, bool goForward) {
  CheckBrowseMode();
  DoBeforeScroll();
  found = false;
  UpdateCursorPos();
  CursorPosChanged();
  // Outside Filtered the filters apply to this search only.
  const bool switching = !filtered;
  // After an error quietly: the error to report is the search's.
  auto endSearchFilters = [&](bool quiet) {
    if (!switching) return;
    searchFilters = false;
    if (!quiet) return FiltersActiveChanged();
    try {
      FiltersActiveChanged();
    } catch (...) {
    }
  };
  bool result = false;
  try {
    if (switching) {
      searchFilters = true;
      FiltersActiveChanged();
    }
    if (restart) {
      if (goForward)
        InternalFirst();
      else
        InternalLast();
    }
    result = GetRecord(tempBuffer.get(), goForward ? gmNext : gmPrior, true) == grOK;
  } catch (...) {
    endSearchFilters(true);
    throw;
  }
  endSearchFilters(false);
  if (!result) return false;
  Resync({rmExact, rmCenter});
  found = true;
  DoAfterScroll();
  return true;
}

int TDataSet::Translate(const char* source, char* dest, bool /*toOem*/) {
  const size_t length = std::strlen(source);
  if (dest != source) std::memmove(dest, source, length + 1);
  return static_cast<int>(length);
}
