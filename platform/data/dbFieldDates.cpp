// Date and time fields. Their values are TDateTime; the dataset converts
// to and from the native day numbers and milliseconds.

#include "dbDataSet.h"
#include "dbFieldClasses.h"
#include "rtlConvert.h"
#include "rtlStrUtils.h"

TDateTimeField::TDateTimeField(TComponent* owner) : TField(owner) { SetDataType(ftDateTime); }

void TDateTimeField::SetDisplayFormat(const std::string& value) {
  displayFormat = value;
  PropertyChanged(false);
}

TDateTime TDateTimeField::ParseText(const std::string& text) const { return StrToDateTime(text, FormatSettings()); }

TDateTime TDateTimeField::GetAsDateTime() const {
  TDateTime value = 0;
  GetData(&value, false);
  return value;
}

void TDateTimeField::SetAsDateTimeValue(TDateTime value) { SetData(&value, false); }

std::string TDateTimeField::GetAsString() const { return GetText(false); }

void TDateTimeField::SetAsStringValue(const std::string& value) {
  const std::string text = Trim(value);
  if (text.empty())
    Clear();
  else
    SetAsDateTimeValue(ParseText(text));
}

double TDateTimeField::GetAsFloat() const { return GetAsDateTime(); }

void TDateTimeField::SetAsFloatValue(double value) { SetAsDateTimeValue(value); }

Variant TDateTimeField::GetAsVariant() const { return Variant::FromDate(GetAsDateTime()); }

bool TDateTimeField::GetVariantIfSet(Variant& value) const {
  TDateTime moment = 0;
  if (!GetData(&moment, false)) return false;
  value = Variant::FromDate(moment);
  return true;
}

void TDateTimeField::SetVariantValue(const Variant& value) {
  if (value.VarType() == varString)
    SetAsStringValue(value.AsString());
  else
    SetAsDateTimeValue(value.AsDateTime(FormatSettings()));
}

std::string TDateTimeField::GetText(bool displayText) const {
  TDateTime value = 0;
  if (!GetData(&value, false)) return {};
  const std::string format = displayText && !displayFormat.empty() ? displayFormat : DefaultFormat();
  return FormatDateTime(format, value, FormatSettings());
}

int TDateTimeField::DefaultDisplayWidth() const { return 18; }

TDateField::TDateField(TComponent* owner) : TDateTimeField(owner) { SetDataType(ftDate); }

TDateTime TDateField::ParseText(const std::string& text) const { return StrToDate(text, FormatSettings()); }

TTimeField::TTimeField(TComponent* owner) : TDateTimeField(owner) { SetDataType(ftTime); }

TDateTime TTimeField::ParseText(const std::string& text) const { return StrToTime(text, FormatSettings()); }
