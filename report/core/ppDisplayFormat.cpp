#include "ppDisplayFormat.h"

#include <cmath>
#include <initializer_list>
#include <utility>

#include "rtlDateTimeText.h"
#include "rtlFloatText.h"
#include "rtlStrings.h"

namespace {

using TEntry = std::pair<const char*, const char*>;

constexpr TEntry booleanFormats[] = {{"Yes", "Yes;No"}, {"Y", "Y;N"},     {"True", "True;False"},
                                     {"T", "T;F"},      {"OK", "OK;"},    {"Done", "Done;"},
                                     {"", ";Not OK"},   {"", ";Not Done"}};
constexpr TEntry dateFormats[] = {{"3/4/95", "m/d/yy"},          {"03/04/95", "mm/dd/yy"},
                                  {"03/04/1995", "mm/dd/yyyy"},  {"4-Mar-95 ", "d-mmm-yy"},
                                  {"04-Mar-95 ", "dd-mmm-yy"},   {"March 4, 1995", "mmmm d, yyyy"},
                                  {"3/4", "m/d"},                {"Mar-95", "mmm-yy"},
                                  {"March-95", "mmmm-yy"}};
constexpr TEntry timeFormats[] = {{"1:30 PM", "h:nn AM/PM"},
                                  {"13:30", "h:nn"},
                                  {"1:30:55 PM", "h:nn:ss AM/PM"},
                                  {"13:30:55", "h:nn:ss"}};
constexpr TEntry dateTimeFormats[] = {{"3/4/95 1:30:55 PM", "m/d/yy h:nn:ss AM/PM"},
                                      {"3/4/95 13:30:55", "m/d/yy h:nn:ss"}};
constexpr TEntry numberFormats[] = {{"-1,234", "#,0;-#,0"},
                                    {"-1,234.40", "#,0.00;-#,0.00"},
                                    {"(1,234.40)", "#,0.00;(#,0.00)"},
                                    {"($1,234.40)", "$#,0.00;($#,0.00)"},
                                    {"-$1,234.40", "$#,0.00;-$#,0.00"},
                                    {"-$1,234", "$#,0;-$#,0"},
                                    {"($1,234)", "$#,0;($#,0)"},
                                    {"-1234.4 %", "0 %"},
                                    {"-1234.40 %", "0.00 %"}};
constexpr TEntry stringFormats[] = {{"Phone", "!\\(999\\)\\ 000\\-0000;0; "},
                                    {"Extension", "!99999;0; "},
                                    {"Social Security", "000\\-00\\-0000;0; "},
                                    {"Short Zip Code", "00000;0; "},
                                    {"Long Zip Code", "00000\\-9999;0; "},
                                    {"Date", "!99/99/00;0; "},
                                    {"Long Time", "!90:00:00\\ >LL;0; "},
                                    {"Short Time", "!90:00;0; "}};

template <size_t N>
void AddEntries(TStrings& list, const TEntry (&entries)[N]) {
  for (const TEntry& entry : entries) list.Add(std::string(entry.first) + ppDisplayFormatSeparator + entry.second);
}

bool IsNumberType(TppDataType type) {
  switch (type) {
    case dtInteger:
    case dtSingle:
    case dtDouble:
    case dtExtended:
    case dtCurrency:
    case dtLongint: return true;
    default: return false;
  }
}

bool IsNumberVariant(const Variant& value) {
  switch (value.VarType()) {
    case varSmallint:
    case varInteger:
    case varDouble:
    case varByte:
    case varWord:
    case varLongWord:
    case varInt64: return true;
    default: return false;
  }
}

// Decimals of a currency mask: the digit places after the "." of its
// positive part.
int MaskDecimals(const std::string& mask) {
  const std::string positive = mask.substr(0, mask.find(';'));
  const size_t dot = positive.find('.');
  if (dot == std::string::npos) return 0;
  int decimals = 0;
  for (size_t i = dot + 1; i < positive.size(); ++i)
    if (positive[i] == '0' || positive[i] == '#') ++decimals;
  return decimals;
}

std::unique_ptr<TppDisplayFormat>& InstalledFormat() {
  static std::unique_ptr<TppDisplayFormat> installed = std::make_unique<TppDisplayFormat>();
  return installed;
}

}  // namespace

void TppDisplayFormat::GetDisplayFormats(TppDataType dataType, TStrings& list) {
  list.Clear();
  switch (dataType) {
    case dtBoolean: AddEntries(list, booleanFormats); break;
    case dtDate: AddEntries(list, dateFormats); break;
    case dtTime: AddEntries(list, timeFormats); break;
    case dtDateTime:
      AddEntries(list, dateTimeFormats);
      AddEntries(list, dateFormats);
      break;
    case dtString: AddEntries(list, stringFormats); break;
    default:
      if (IsNumberType(dataType)) AddEntries(list, numberFormats);
      break;
  }
}

std::string TppDisplayFormat::Format(const std::string& mask, TppDataType dataType, const Variant& value,
                                     const TFormatSettings& settings) {
  if (value.IsNull() || value.IsEmpty()) return {};
  if (value.VarType() == varString && value.AsString().empty()) return {};
  switch (dataType) {
    case dtBoolean: {
      if (mask.empty() || value.VarType() != varBoolean) return value.AsString(settings);
      const size_t semicolon = mask.find(';');
      if (value.AsBoolean()) return mask.substr(0, semicolon);
      return semicolon == std::string::npos ? std::string() : mask.substr(semicolon + 1);
    }
    case dtDate:
    case dtTime:
    case dtDateTime: {
      std::string format = mask;
      if (format.empty())
        format = dataType == dtDate ? settings.ShortDateFormat : dataType == dtTime ? settings.LongTimeFormat : "c";
      return FormatDateTime(format, value.AsDateTime(settings), settings);
    }
    case dtChar:
    case dtString:
    case dtMemo:
      return mask.empty() ? value.AsString(settings) : FormatMaskText(mask, value.AsString(settings));
    default: break;
  }
  if (!IsNumberType(dataType)) return {};
  if (mask.find('$') != std::string::npos)
    return FloatToStrF(value.AsFloat(settings), ffCurrency, 15, MaskDecimals(mask), settings);
  if (!mask.empty()) return FormatFloat(mask, value.AsFloat(settings), settings);
  if (dataType == dtCurrency)
    return FloatToStrF(value.AsFloat(settings), ffCurrency, 15, settings.CurrencyDecimals, settings);
  // Whole numbers below fifteen digits (counts, sizes, their sums) print as
  // their digits in the general format: written directly, as every data row
  // formats several.
  if (IsNumberVariant(value)) {
    const double number = value.AsFloat(settings);
    if (std::abs(number) < 1e15 && number == std::trunc(number) && !(number == 0 && std::signbit(number)))
      return std::to_string(static_cast<int64_t>(number));
  }
  return FloatToStrF(value.AsFloat(settings), ffGeneral, 15, 0, settings);
}

void ppSetDisplayFormat(std::unique_ptr<TppDisplayFormat> displayFormat) {
  InstalledFormat() = displayFormat ? std::move(displayFormat) : std::make_unique<TppDisplayFormat>();
}

void ppGetDisplayFormats(TppDataType dataType, TStrings& list) { InstalledFormat()->GetDisplayFormats(dataType, list); }

std::string ppFormatDisplayValue(const std::string& mask, TppDataType dataType, const Variant& value,
                                 const TFormatSettings& settings) {
  return InstalledFormat()->Format(mask, dataType, value, settings);
}
