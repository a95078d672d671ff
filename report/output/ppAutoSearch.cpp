#include "ppAutoSearch.h"

#include <algorithm>
#include <cctype>

#include "ppDataPipeline.h"
#include "ppMessages.h"
#include "rtlConvert.h"
#include "rtlDateTimeText.h"
#include "rtlFormat.h"
#include "rtlStrUtils.h"

namespace {

bool IsDateType(TppDataType type) { return type == dtDate || type == dtTime || type == dtDateTime; }

std::string WithoutThousands(std::string text) {
  std::erase(text, ',');
  return text;
}

}  // namespace

std::string ppSearchOperatorCaption(TppSearchOperatorType op, TppDataType dataType) {
  static const char* const comparisons[2][6] = {
      {"is equal to", "is not equal to", "is less than", "is less than or equal to", "is greater than",
       "is greater than or equal to"},
      {"is", "is not", "is before", "is on or before", "is after", "is on or after"}};
  static const char* const others[] = {"begins with",
                                       "does not begin with",
                                       "is between",
                                       "is not between",
                                       "matches one of the values in this list",
                                       "does not match any of the values in this list",
                                       "is blank",
                                       "is not blank"};
  if (op <= soGreaterThanOrEqualTo) return comparisons[IsDateType(dataType) ? 1 : 0][op];
  return others[op - soLike];
}

std::vector<std::string> ppSplitSearchExpression(const std::string& expression) {
  std::vector<std::string> entries;
  if (Trim(expression).empty()) return entries;
  size_t start = 0;
  while (true) {
    const size_t comma = expression.find(',', start);
    entries.push_back(Trim(expression.substr(start, comma == std::string::npos ? std::string::npos : comma - start)));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return entries;
}

bool ppCheckSearchEntry(TppDataType dataType, const std::string& entry, std::string& error) {
  error.clear();
  const std::string text = Trim(entry);
  switch (dataType) {
    case dtBoolean: {
      const char first = text.empty() ? '\0' : static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
      if (std::string_view("01TFYN").find(first) == std::string_view::npos || first == '\0')
        error = ppLoadMessage(60);
      break;
    }
    case dtDate:
    case dtTime:
    case dtDateTime: {
      TDateTime value;
      const bool ok = dataType == dtDate   ? TryStrToDate(text, value)
                      : dataType == dtTime ? TryStrToTime(text, value)
                                           : TryStrToDateTime(text, value);
      if (!ok) error = Format("'%s' is not a valid %s", {text, dataType == dtTime ? "time" : "date"});
      break;
    }
    case dtInteger:
    case dtLongint: {
      int64_t value;
      if (!TryStrToInt64(WithoutThousands(text), value)) error = Format("'%s' is not a valid integer value", {text});
      break;
    }
    case dtSingle:
    case dtDouble:
    case dtExtended:
    case dtCurrency: {
      double value;
      if (!TryStrToFloat(WithoutThousands(text), value))
        error = Format("'%s' is not a valid floating point value", {text});
      break;
    }
    default: break;
  }
  return error.empty();
}

RTL_DEFINE_CLASS(TppAutoSearchField)

TppAutoSearchField::TppAutoSearchField(TComponent* owner) : TppCommunicator(owner) {}

void TppAutoSearchField::Changed() {
  if (ComponentState().Contains(csLoading)) return;
  if (OnChange) OnChange(this);
}

void TppAutoSearchField::SetDataPipelineName(const std::string& value) {
  dataPipelineName = value;
  Changed();
}

void TppAutoSearchField::SetFieldName(const std::string& value) {
  if (fieldAlias == value) fieldAlias.clear();
  fieldName = value;
  Changed();
}

void TppAutoSearchField::SetFieldAlias(const std::string& value) {
  fieldAlias = value == fieldName ? std::string() : value;
  Changed();
}

void TppAutoSearchField::SetSearchOperator(TppSearchOperatorType value) {
  searchOperator = value;
  Changed();
}

void TppAutoSearchField::SetSearchExpression(const std::string& value) {
  searchExpression = value;
  Changed();
}

void TppAutoSearchField::SetMandatory(bool value) {
  mandatory = value;
  Changed();
}

void TppAutoSearchField::SetShowAllValues(bool value) {
  showAllValues = value;
  Changed();
}

void TppAutoSearchField::SetDisableCriteria(bool value) {
  disableCriteria = value;
  Changed();
}

void TppAutoSearchField::SetDataPipeline(TppDataPipeline* value) {
  if (dataPipeline == value) return;
  if (dataPipeline) dataPipeline->RemoveFreeNotification(this);
  dataPipeline = value;
  if (dataPipeline) {
    dataPipeline->FreeNotification(this);
    if (dataPipelineName.empty()) dataPipelineName = dataPipeline->GetUserName();
  }
}

void TppAutoSearchField::Notification(TComponent* component, TOperation operation) {
  inherited::Notification(component, operation);
  if (operation == opRemove && component == dataPipeline) dataPipeline = nullptr;
}

TppDataType TppAutoSearchField::DataType() const {
  return dataPipeline ? dataPipeline->GetFieldDataType(fieldName) : dtString;
}

std::vector<std::string> TppAutoSearchField::Entries() const { return ppSplitSearchExpression(searchExpression); }

int TppAutoSearchField::ValueCount() const { return static_cast<int>(Entries().size()); }

Variant TppAutoSearchField::Values(int index) const {
  const std::vector<std::string> entries = Entries();
  if (index < 0 || index >= static_cast<int>(entries.size())) return Variant::Null();
  const std::string& entry = entries[static_cast<size_t>(index)];
  switch (DataType()) {
    case dtDate:
    case dtTime:
    case dtDateTime: {
      TDateTime value;
      const bool ok = DataType() == dtDate   ? TryStrToDate(entry, value)
                      : DataType() == dtTime ? TryStrToTime(entry, value)
                                             : TryStrToDateTime(entry, value);
      return ok ? Variant::FromDate(value) : Variant::Null();
    }
    case dtInteger:
    case dtLongint: {
      int64_t value;
      return TryStrToInt64(WithoutThousands(entry), value) ? Variant(value) : Variant::Null();
    }
    case dtSingle:
    case dtDouble:
    case dtExtended: {
      double value;
      return TryStrToFloat(WithoutThousands(entry), value) ? Variant(value) : Variant::Null();
    }
    case dtCurrency: {
      Currency value;
      return TryStrToCurr(WithoutThousands(entry), value) ? Variant(value) : Variant::Null();
    }
    case dtBoolean: {
      const char first = entry.empty() ? 'F' : static_cast<char>(std::toupper(static_cast<unsigned char>(entry[0])));
      return Variant(first == '1' || first == 'T' || first == 'Y');
    }
    default:
      if (!Wildcard.empty() && entry.find(Wildcard) == std::string::npos) return Variant(entry + Wildcard);
      return Variant(entry);
  }
}

std::string TppAutoSearchField::Description() const {
  std::string text = ppLoadMessage(firstField ? 54 : 55) + " " + FieldAlias() + " ";
  if (showAllValues) return text + ppLoadMessage(1036);
  return text + OperatorCaption() + " " + searchExpression;
}
