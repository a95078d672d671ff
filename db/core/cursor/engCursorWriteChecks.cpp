// A new record's default values and the field constraints a record must
// meet before it is stored: required fields, minimum and maximum values.
// Texts convert by the table's own number and date rules.

#include <cstring>
#include <string>

#include "engBcd.h"
#include "engCursor.h"
#include "engCursorWrite.h"
#include "engCursorWriteChecks.h"
#include "engDataFile.h"
#include "engDataHeader.h"
#include "engDataLayout.h"
#include "engErrorCodes.h"
#include "engExpDateTime.h"
#include "engExpEval.h"
#include "engFieldDescCodec.h"
#include "engFieldTypes.h"
#include "engKeyEncoding.h"
#include "engLittleEndian.h"
#include "engStrings.h"
#include "engTextCompare.h"
#include "rtlConsts.h"
#include "rtlConvert.h"
#include "rtlDateTimeText.h"
#include "rtlExceptions.h"
#include "rtlStrUtils.h"

namespace {

using namespace EngineFieldTypes;

// Bytes enough for any field value.
constexpr int ValueBufferSize = 256;

std::string DescText(const uint8_t* fieldDesc, int offset) { return GetShortString(fieldDesc + offset, FieldTextLimit); }

int WholeNumberWithin(const std::string& text, int low, int high) {
  const int value = StrToInt(text);
  if (value < low || value > high) throw EConvertError(SInvalidInteger, {text});
  return value;
}

// The field's value of a default or limit text, in the record's encoding;
// false for the types that take none. A text that is no value of the type
// raises EConvertError.
bool TextToFieldValue(const std::string& text, const uint8_t* fieldDesc, const TFormatSettings& settings,
                      uint8_t* value) {
  std::memset(value, 0, ValueBufferSize);
  switch (fieldDesc[FieldDescTypeOffset]) {
    case ftString: {
      const size_t length = std::min<size_t>(text.size(), ValueBufferSize - 1);
      std::memcpy(value, text.data(), length);
      return true;
    }
    case ftDate:
      PutLE32(value, uint32_t(DateTimeToDayNumber(SameText(text, "DATE") ? Date() : StrToDate(text, settings))));
      return true;
    case ftBoolean:
      PutLE16(value, TextToBool(text) ? 1 : 0);
      return true;
    case ftSmallInt:
      PutLE16(value, uint16_t(int16_t(WholeNumberWithin(text, -32768, 32767))));
      return true;
    case ftInteger:
      PutLE32(value, uint32_t(StrToInt(text)));
      return true;
    case ftWord:
      PutLE16(value, uint16_t(WholeNumberWithin(text, 0, 65535)));
      return true;
    case ftFloat: {
      const double number = StrToFloat(text, settings);
      std::memcpy(value, &number, sizeof number);
      return true;
    }
    case ftDecimal:
      {
      const int64_t stored = CurrencyToStoredBcd(StrToCurr(text, settings), fieldDesc[FieldDescScaleCopyOffset]);
      std::memcpy(value, &stored, sizeof stored);
    }
      return true;
    case ftTime:
      PutLE32(value, uint32_t(DateTimeToTimeOfDay(SameText(text, "TIME") ? Time() : StrToTime(text, settings))));
      return true;
    case ftTimeStamp: {
      TDateTime moment;
      if (SameText(text, "NOW")) moment = Now();
      else if (SameText(text, "DATE")) moment = Date();
      // The time of day on day 0 of the date-time scale.
      else if (SameText(text, "TIME")) moment = Time();
      else moment = StrToDateTime(text, settings);
      const double stamp = DateTimeToTimeStamp(moment);
      std::memcpy(value, &stamp, sizeof stamp);
      return true;
    }
    default:
      return false;
  }
}

template <typename T>
int Order(T a, T b) {
  return a < b ? -1 : (a > b ? 1 : 0);
}

double DoubleAt(const uint8_t* value) {
  double number;
  std::memcpy(&number, value, sizeof number);
  return number;
}

int64_t Int64At(const uint8_t* value) {
  int64_t number;
  std::memcpy(&number, value, sizeof number);
  return number;
}

// Limits are inclusive.
bool WithinLimit(uint16_t languageId, uint16_t sortId, const std::string& limit, bool isMaximum,
                 const uint8_t* fieldDesc, const uint8_t* value, const TFormatSettings& settings) {
  uint8_t bound[ValueBufferSize];
  if (!TextToFieldValue(limit, fieldDesc, settings, bound)) return true;
  int order = 0;  // of the value against the limit
  switch (fieldDesc[FieldDescTypeOffset]) {
    case ftString: {
      char text[ValueBufferSize] = {};
      std::memcpy(text, value, std::min<int>(fieldDesc[FieldDescStoredSizeOffset], ValueBufferSize - 1));
      order = CompareKeyText(languageId, sortId, text, false, 0, reinterpret_cast<char*>(bound));
      break;
    }
    case ftBoolean:
      return true;
    case ftSmallInt:
      order = Order(int16_t(GetLE16(value)), int16_t(GetLE16(bound)));
      break;
    case ftWord:
      order = Order(GetLE16(value), GetLE16(bound));
      break;
    case ftDate:
    case ftInteger:
    case ftTime:
      order = Order(int32_t(GetLE32(value)), int32_t(GetLE32(bound)));
      break;
    case ftFloat:
    case ftTimeStamp:
      order = Order(DoubleAt(value), DoubleAt(bound));
      break;
    case ftDecimal:
      order = Order(StoredBcdToCurrency(Int64At(value)).Scaled, StoredBcdToCurrency(Int64At(bound)).Scaled);
      break;
    default:
      return true;
  }
  return isMaximum ? order <= 0 : order >= 0;
}

}  // namespace

void TCursorWriteChecks::Derive() {
  hasValidityChecks = hasDefaults = false;
  for (int position = 1; position <= cursor.FieldListCount(); ++position) {
    const uint8_t* desc = cursor.FieldDescAt(position);
    if (desc[FieldDescRequiredOffset] || desc[FieldDescMinOffset] || desc[FieldDescMaxOffset])
      hasValidityChecks = true;
    if (desc[FieldDescDefaultOffset]) hasDefaults = true;
  }
  derived = true;
}

void TCursorWriteChecks::Clear() { derived = hasValidityChecks = hasDefaults = false; }

void TCursorWriteChecks::ApplyDefaults(uint8_t* record) {
  cursor.RequireOpen();
  ORV_ASSERT(derived);
  std::memset(record, 0, cursor.GetRecordSize());
  if (!hasDefaults) return;
  const TFormatSettings& settings = GetLocaleFormatSettings(cursor.LanguageId(), cursor.SortId());
  uint8_t fieldDesc[FieldDescSize];
  uint8_t value[ValueBufferSize];
  for (int fieldNo = 1; fieldNo <= cursor.GetFieldCount(); ++fieldNo) {
    cursor.GetTableFieldDesc(fieldNo, fieldDesc);
    const std::string text = DescText(fieldDesc, FieldDescDefaultOffset);
    if (!text.empty() && TextToFieldValue(text, fieldDesc, settings, value))
      cursor.PutTableField(fieldNo, record, value);
  }
}

// Every insert and change runs this: a field without a constraint costs a
// look at three bytes of its descriptor (read where the data file keeps it
// unless the cursor numbers fields its own way), and the number and date
// rules are made only for a field with a limit (most tables mark fields
// required only).
void TCursorWriteChecks::CheckConstraints(const uint8_t* record) {
  cursor.RequireOpen();
  ORV_ASSERT(derived);
  if (!hasValidityChecks) return;
  const bool descsInPlace = !cursor.HasFieldMap() && !cursor.HasOwnFieldList();
  const uint16_t languageId = cursor.LanguageId();
  const uint16_t sortId = cursor.SortId();
  const TFormatSettings* settings = nullptr;
  uint8_t copy[FieldDescSize];
  uint8_t value[ValueBufferSize];
  for (int fieldNo = 1; fieldNo <= cursor.GetFieldCount(); ++fieldNo) {
    const uint8_t* fieldDesc = descsInPlace ? cursor.DataFile().FieldDescAt(fieldNo) : nullptr;
    if (!fieldDesc) {
      cursor.GetTableFieldDesc(fieldNo, copy);
      fieldDesc = copy;
    }
    const bool required = fieldDesc[FieldDescRequiredOffset] != 0;
    const bool hasMinimum = fieldDesc[FieldDescMinOffset] != 0;  // the text's length byte
    const bool hasMaximum = fieldDesc[FieldDescMaxOffset] != 0;
    if (!required && !hasMinimum && !hasMaximum) continue;
    auto fail = [&](uint16_t code) {
      cursor.Raise(code, GetShortString(fieldDesc + FieldDescNameOffset, FieldNameLimit));
    };
    std::memset(value, 0, sizeof value);
    bool blank = true;
    cursor.GetFieldValue(fieldDesc, record, blank, value);
    if (required && blank) fail(EngErrValueRequired);
    if (!hasMinimum && !hasMaximum) continue;
    if (!settings) settings = &GetLocaleFormatSettings(languageId, sortId);
    // A blank field is held against the limits as its zero value.
    if (hasMinimum && !WithinLimit(languageId, sortId, DescText(fieldDesc, FieldDescMinOffset), false, fieldDesc,
                                   value, *settings))
      fail(EngErrBelowMinimum);
    if (hasMaximum && !WithinLimit(languageId, sortId, DescText(fieldDesc, FieldDescMaxOffset), true, fieldDesc,
                                   value, *settings))
      fail(EngErrAboveMaximum);
  }
}

bool TCursorWriteChecks::CheckLimit(const std::string& limit, bool isMaximum, const TFieldDefinition& field,
                                    std::span<const uint8_t> value) const {
  ORV_ASSERT(value.size() >= size_t(field.ValueWidth()));
  uint8_t fieldDesc[FieldDescSize];
  FieldDescFromDefinition(field, fieldDesc);
  return WithinLimit(cursor.LanguageId(), cursor.SortId(), limit, isMaximum, fieldDesc, value.data(),
                     GetLocaleFormatSettings(cursor.LanguageId(), cursor.SortId()));
}

