// Text and Boolean fields.

#include <cstring>
#include <vector>

#include "dbConsts.h"
#include "dbDataSet.h"
#include "dbFieldClasses.h"
#include "rtlConvert.h"
#include "rtlStrUtils.h"

namespace {

// The longest prefix of at most limit bytes that ends on a character
// boundary of UTF-8 text.
size_t CharacterCut(const std::string& text, size_t limit) {
  if (text.size() <= limit) return text.size();
  size_t cut = limit;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return cut;
}

}  // namespace

// ---- TStringField ----

TStringField::TStringField(TComponent* owner) : TField(owner) {
  SetDataType(ftString);
  SetSizeValue(20);
}

bool TStringField::ReadText(std::string& text) const {
  std::vector<char> buffer(static_cast<size_t>(DataSize()) + 1, '\0');
  if (!GetData(buffer.data())) return false;
  text.assign(buffer.data(), strnlen(buffer.data(), static_cast<size_t>(DataSize())));
  if (FixedChar()) text = TrimRight(text);
  return true;
}

std::string TStringField::GetAsString() const {
  std::string text;
  ReadText(text);
  return text;
}

void TStringField::SetAsStringValue(const std::string& value) {
  std::vector<char> buffer(static_cast<size_t>(DataSize()), '\0');
  const size_t length = CharacterCut(value, static_cast<size_t>(Size()));
  std::memcpy(buffer.data(), value.data(), length);
  SetData(buffer.data());
}

int TStringField::GetAsInteger() const {
  const std::string text = Trim(GetAsString());
  return text.empty() ? 0 : StrToInt(text);
}

void TStringField::SetAsIntegerValue(int value) { SetAsStringValue(IntToStr(value)); }

int64_t TStringField::GetAsLargeInt() const {
  const std::string text = Trim(GetAsString());
  return text.empty() ? 0 : StrToInt64(text);
}

void TStringField::SetAsLargeIntValue(int64_t value) { SetAsStringValue(IntToStr(value)); }

double TStringField::GetAsFloat() const {
  const std::string text = Trim(GetAsString());
  return text.empty() ? 0 : StrToFloat(text, FormatSettings());
}

void TStringField::SetAsFloatValue(double value) { SetAsStringValue(FloatToStr(value, FormatSettings())); }

Currency TStringField::GetAsCurrency() const {
  const std::string text = Trim(GetAsString());
  return text.empty() ? Currency() : StrToCurr(text, FormatSettings());
}

void TStringField::SetAsCurrencyValue(Currency value) { SetAsStringValue(CurrToStr(value, FormatSettings())); }

bool TStringField::GetAsBoolean() const {
  const std::string text = GetAsString();
  return !text.empty() && (text[0] == 'T' || text[0] == 't' || text[0] == 'Y' || text[0] == 'y');
}

void TStringField::SetAsBooleanValue(bool value) { SetAsStringValue(value ? "T" : "F"); }

TDateTime TStringField::GetAsDateTime() const {
  const std::string text = Trim(GetAsString());
  return text.empty() ? 0 : StrToDateTime(text, FormatSettings());
}

void TStringField::SetAsDateTimeValue(TDateTime value) { SetAsStringValue(DateTimeToStr(value, FormatSettings())); }

Variant TStringField::GetAsVariant() const { return Variant(GetAsString()); }

bool TStringField::GetVariantIfSet(Variant& value) const {
  std::string text;
  if (!ReadText(text)) return false;
  value = Variant(std::move(text));
  return true;
}

void TStringField::SetVariantValue(const Variant& value) { SetAsStringValue(value.AsString(FormatSettings())); }

std::string TStringField::GetText(bool /*displayText*/) const { return GetAsString(); }

void TStringField::SetTextValue(const std::string& value) { SetAsStringValue(value); }

// ---- TBooleanField ----

TBooleanField::TBooleanField(TComponent* owner) : TField(owner) { SetDataType(ftBoolean); }

void TBooleanField::SetDisplayValues(const std::string& value) {
  const size_t separator = value.find(';');
  std::string yes = value.substr(0, separator);
  std::string no = separator == std::string::npos ? std::string() : value.substr(separator + 1);
  if (value.empty()) {
    yes = "True";
    no = "False";
  } else if (yes.empty() && no.empty()) {
    throw EDatabaseError(SInvalidBoolDisplayValues, {value});
  }
  displayValues = value;
  trueText = yes;
  falseText = no;
  PropertyChanged(false);
}

bool TBooleanField::GetAsBoolean() const {
  uint16_t value = 0;
  return GetData(&value) && value != 0;
}

void TBooleanField::SetAsBooleanValue(bool value) {
  const uint16_t word = value ? 1 : 0;
  SetData(&word);
}

std::string TBooleanField::GetAsString() const {
  uint16_t value = 0;
  if (!GetData(&value)) return {};
  return value ? trueText : falseText;
}

void TBooleanField::SetAsStringValue(const std::string& value) {
  if (value.empty()) {
    if (falseText.empty())
      SetAsBooleanValue(false);
    else if (trueText.empty())
      SetAsBooleanValue(true);
    else
      Clear();
    return;
  }
  // A leading part of either text will do ("t" for "True").
  auto starts = [&](const std::string& text) {
    return value.size() <= text.size() && SameText(value, text.substr(0, value.size()));
  };
  if (starts(falseText))
    SetAsBooleanValue(false);
  else if (starts(trueText))
    SetAsBooleanValue(true);
  else
    throw EDatabaseError(SInvalidBoolValue, {value, DisplayName()});
}

Variant TBooleanField::GetAsVariant() const { return Variant(GetAsBoolean()); }

bool TBooleanField::GetVariantIfSet(Variant& value) const {
  uint16_t word = 0;
  if (!GetData(&word)) return false;
  value = Variant(word != 0);
  return true;
}

void TBooleanField::SetVariantValue(const Variant& value) {
  if (value.VarType() == varString)
    SetAsStringValue(value.AsString());
  else
    SetAsBooleanValue(value.AsBoolean(FormatSettings()));
}

std::string TBooleanField::GetText(bool /*displayText*/) const { return GetAsString(); }

int TBooleanField::DefaultDisplayWidth() const {
  return static_cast<int>(std::max(trueText.size(), falseText.size()));
}
