#include <algorithm>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>

#include "rtlFormatSettings.h"

namespace {

// How a language writes the hour.
enum THourStyle : uint8_t {
  Hour24,        // "hh", 24-hour clock
  Hour24NoZero,  // "h", 24-hour clock
  Hour12,        // "h", 12-hour clock with AMPM
  Hour12Zero,    // "hh", 12-hour clock with AMPM
};

struct TLanguageFormat {
  uint16_t LanguageId;
  const char* ShortDateFormat;  // "/" stands for the date separator
  char DateSeparator;
  char DecimalSeparator;
  const char* ThousandSeparator;
  THourStyle HourStyle;
  char TimeSeparator;
  const char* CurrencyString;
  uint8_t CurrencyFormat;
  uint8_t NegCurrFormat;
  uint8_t CurrencyDecimals;
  const char* TimeAMString;  // nullptr: "AM" and "PM"
  const char* TimePMString;
};

#define NBSP "\xC2\xA0"

// Our own rules for the engine's languages, modelled on the usual
// conventions of each country; texts are UTF-8. Not carried here, and so
// the same for every language: month and day names (English) and the
// two-digit year window (50). The list separator is ";" where the decimal
// separator is ",", else ",". The long date
// format follows the order of the short one: "dddd, mmmm d, yyyy" when the
// month comes first, "dddd, d mmmm yyyy" when the day does, and
// "dddd, yyyy mmmm d" when the year does. Times are the hour, ":mm" (and
// ":ss" in the long form), and " AMPM" on a 12-hour clock.
constexpr TLanguageFormat LanguageFormats[] = {
    {0x0401, "dd/mm/yy", '/', '.', ",", Hour12Zero, ':', "ر.س.", 2, 3, 2, "ص", "م"},  // Arabic (Saudi Arabia)
    {0x0402, "d/m/yyyy", '.', ',', NBSP, Hour24, ':', "лв.", 3, 8, 2, nullptr, nullptr},  // Bulgarian
    {0x0403, "dd/mm/yyyy", '/', ',', ".", Hour24NoZero, ':', "€", 3, 8, 2, nullptr, nullptr},  // Catalan
    {0x0405, "d/m/yyyy", '.', ',', NBSP, Hour24NoZero, ':', "Kč", 3, 8, 2, nullptr, nullptr},  // Czech
    {0x0406, "dd/mm/yyyy", '-', ',', ".", Hour24, ':', "kr.", 2, 12, 2, nullptr, nullptr},  // Danish
    {0x0407, "dd/mm/yyyy", '.', ',', ".", Hour24, ':', "€", 3, 8, 2, nullptr, nullptr},  // German (Standard)
    {0x0408, "d/m/yyyy", '/', ',', ".", Hour12, ':', "€", 3, 8, 2, "πμ", "μμ"},  // Greek
    {0x0409, "m/d/yyyy", '/', '.', ",", Hour12, ':', "$", 0, 0, 2, nullptr, nullptr},  // English (USA)
    {0x040A, "dd/mm/yyyy", '/', ',', ".", Hour24NoZero, ':', "€", 3, 8, 2, nullptr, nullptr},  // Spanish (Castilian)
    {0x040B, "d/m/yyyy", '.', ',', NBSP, Hour24NoZero, ':', "€", 3, 8, 2, nullptr, nullptr},  // Finnish
    {0x040C, "dd/mm/yyyy", '/', ',', NBSP, Hour24, ':', "€", 3, 8, 2, nullptr, nullptr},  // French (Standard)
    {0x040D, "dd/mm/yyyy", '/', '.', ",", Hour24, ':', "₪", 2, 2, 2, nullptr, nullptr},  // Hebrew
    {0x040E, "yyyy/ mm/ dd.", '.', ',', NBSP, Hour24NoZero, ':', "Ft", 3, 8, 2, nullptr, nullptr},  // Hungarian
    {0x040F, "d/m/yyyy", '.', ',', ".", Hour24, ':', "kr.", 3, 8, 2, nullptr, nullptr},  // Icelandic
    {0x0410, "dd/mm/yyyy", '/', ',', ".", Hour24, ':', "€", 2, 9, 2, nullptr, nullptr},  // Italian (Standard)
    {0x0413, "d/m/yyyy", '-', ',', ".", Hour24NoZero, ':', "€", 2, 12, 2, nullptr, nullptr},  // Dutch (Standard)
    {0x0414, "dd/mm/yyyy", '.', ',', NBSP, Hour24, ':', "kr", 2, 12, 2, nullptr, nullptr},  // Norwegian (Bokmal)
    {0x0415, "yyyy/mm/dd", '-', ',', NBSP, Hour24, ':', "zł", 3, 8, 2, nullptr, nullptr},  // Polish
    {0x0416, "dd/mm/yyyy", '/', ',', ".", Hour24, ':', "R$", 2, 9, 2, nullptr, nullptr},  // Portuguese (Brazilian)
    {0x0418, "dd/mm/yyyy", '.', ',', ".", Hour24, ':', "lei", 3, 8, 2, nullptr, nullptr},  // Romanian
    {0x0419, "dd/mm/yyyy", '.', ',', NBSP, Hour24NoZero, ':', "₽", 3, 8, 2, nullptr, nullptr},  // Russian
    {0x041A, "d/m/yyyy", '.', ',', ".", Hour24NoZero, ':', "kn", 3, 8, 2, nullptr, nullptr},  // Croatian
    {0x041B, "d/m/yyyy", '.', ',', NBSP, Hour24NoZero, ':', "€", 3, 8, 2, nullptr, nullptr},  // Slovak
    {0x041C, "yyyy/mm/dd", '-', ',', ".", Hour12, ':', "Lek", 1, 5, 2, "PD", "MD"},  // Albanian
    {0x041D, "yyyy/mm/dd", '-', ',', NBSP, Hour24, ':', "kr", 3, 8, 2, nullptr, nullptr},  // Swedish (Standard)
    {0x041E, "d/m/yyyy", '/', '.', ",", Hour24NoZero, ':', "฿", 0, 1, 2, nullptr, nullptr},  // Thai
    {0x041F, "dd/mm/yyyy", '.', ',', ".", Hour24, ':', "TL", 3, 8, 2, nullptr, nullptr},  // Turkish
    {0x0421, "dd/mm/yyyy", '/', ',', ".", Hour24NoZero, ':', "Rp", 0, 0, 0, nullptr, nullptr},  // Indonesian
    {0x0422, "dd/mm/yyyy", '.', ',', NBSP, Hour24NoZero, ':', "₴", 1, 5, 2, nullptr, nullptr},  // Ukranian
    {0x0423, "dd/mm/yyyy", '.', ',', NBSP, Hour24NoZero, ':', "р.", 3, 8, 2, nullptr, nullptr},  // Belarusian
    {0x0424, "d/m/yyyy", '.', ',', ".", Hour24NoZero, ':', "€", 3, 8, 2, nullptr, nullptr},  // Slovenian
    {0x0425, "d/mm/yyyy", '.', ',', NBSP, Hour24NoZero, ':', "€", 3, 8, 2, nullptr, nullptr},  // Estonian
    {0x0426, "yyyy/mm/dd.", '.', ',', NBSP, Hour24NoZero, ':', "€", 3, 8, 2, nullptr, nullptr},  // Latvian
    {0x0427, "yyyy/mm/dd", '-', ',', NBSP, Hour24, ':', "€", 3, 8, 2, nullptr, nullptr},  // Lithuanian
    {0x0429, "mm/dd/yyyy", '/', '.', ",", Hour12Zero, ':', "ريال", 3, 8, 2, "ق.ظ", "ب.ظ"},  // Farsi
    {0x042A, "dd/mm/yyyy", '/', ',', ".", Hour12Zero, ':', "₫", 3, 8, 2, "SA", "CH"},  // Vietnamese
    {0x042D, "yyyy/mm/dd", '/', ',', ".", Hour24NoZero, ':', "€", 3, 8, 2, nullptr, nullptr},  // Basque
    {0x0436, "yyyy/mm/dd", '/', '.', ",", Hour12Zero, ':', "R", 2, 9, 2, nullptr, nullptr},  // Afrikaans
    {0x0438, "dd/mm/yyyy", '-', ',', ".", Hour24, '.', "kr.", 2, 12, 2, nullptr, nullptr},  // Faeroese
    {0x0801, "dd/mm/yy", '/', '.', ",", Hour12Zero, ':', "د.ع.", 2, 3, 2, "ص", "م"},  // Arabic (Iraq)
    {0x0807, "dd/mm/yyyy", '.', '.', "'", Hour24, ':', "Fr.", 2, 2, 2, nullptr, nullptr},  // German (Swiss)
    {0x0809, "dd/mm/yyyy", '/', '.', ",", Hour24, ':', "£", 0, 1, 2, nullptr, nullptr},  // English (UK)
    {0x080A, "dd/mm/yyyy", '/', '.', ",", Hour12Zero, ':', "$", 0, 1, 2, "a.m.", "p.m."},  // Spanish (Mexican)
    {0x080C, "dd/mm/yyyy", '/', ',', ".", Hour24, ':', "€", 3, 8, 2, nullptr, nullptr},  // French (Belgian)
    {0x0810, "dd/mm/yyyy", '.', '.', "'", Hour24, ':', "fr.", 2, 2, 2, nullptr, nullptr},  // Italian (Swiss)
    {0x0813, "d/mm/yyyy", '/', ',', ".", Hour24NoZero, ':', "€", 2, 12, 2, nullptr, nullptr},  // Dutch (Belgian)
    {0x0814, "dd/mm/yyyy", '.', ',', NBSP, Hour24, ':', "kr", 2, 12, 2, nullptr, nullptr},  // Norwegian (Nynorsk)
    {0x0816, "dd/mm/yyyy", '-', ',', NBSP, Hour24, ':', "€", 3, 8, 2, nullptr, nullptr},  // Portuguese (Standard)
    {0x081A, "d/m/yyyy", '.', ',', ".", Hour24NoZero, ':', "din.", 3, 8, 2, nullptr, nullptr},  // Serbian (Latin)
    {0x081D, "d/m/yyyy", '.', ',', NBSP, Hour24, ':', "€", 3, 8, 2, nullptr, nullptr},  // Swedish (Finland)
    {0x0C01, "dd/mm/yy", '/', '.', ",", Hour12Zero, ':', "ج.م.", 2, 3, 2, "ص", "م"},  // Arabic (Egypt)
    {0x0C07, "dd/mm/yyyy", '.', ',', ".", Hour24, ':', "€", 2, 9, 2, nullptr, nullptr},  // German (Austrian)
    {0x0C09, "d/mm/yyyy", '/', '.', ",", Hour12, ':', "$", 0, 1, 2, nullptr, nullptr},  // English (Australian)
    {0x0C0A, "dd/mm/yyyy", '/', ',', ".", Hour24NoZero, ':', "€", 3, 8, 2, nullptr, nullptr},  // Spanish (Modern)
    {0x0C0C, "yyyy/mm/dd", '-', ',', NBSP, Hour24, ':', "$", 3, 15, 2, nullptr, nullptr},  // French (Canadian)
    {0x0C1A, "d/m/yyyy", '.', ',', ".", Hour24NoZero, ':', "дин.", 3, 8, 2, nullptr, nullptr},  // Serbian (Cyrillic)
    {0x1001, "dd/mm/yyyy", '/', '.', ",", Hour12Zero, ':', "د.ل.", 2, 3, 3, "ص", "م"},  // Arabic (Libya)
    {0x1007, "dd/mm/yyyy", '.', ',', ".", Hour24, ':', "€", 3, 8, 2, nullptr, nullptr},  // German (Luxembourg)
    {0x1009, "dd/mm/yyyy", '/', '.', ",", Hour12, ':', "$", 0, 1, 2, nullptr, nullptr},  // English (Canadian)
    {0x100A, "dd/mm/yyyy", '/', '.', ",", Hour12Zero, ':', "Q", 0, 0, 2, "a.m.", "p.m."},  // Spanish (Guatemala)
    {0x100C, "dd/mm/yyyy", '.', '.', "'", Hour24, ':', "CHF", 2, 12, 2, nullptr, nullptr},  // French (Swiss)
    {0x1401, "dd/mm/yyyy", '-', ',', ".", Hour24NoZero, ':', "د.ج.", 2, 3, 2, nullptr, nullptr},  // Arabic (Algeria)
    {0x1407, "dd/mm/yyyy", '.', '.', "'", Hour24, ':', "CHF", 2, 2, 2, nullptr, nullptr},  // German (Liechtenstein)
    {0x1409, "d/mm/yyyy", '/', '.', ",", Hour12, ':', "$", 0, 1, 2, nullptr, nullptr},  // English (New Zealand)
    {0x140A, "dd/mm/yyyy", '/', ',', ".", Hour12Zero, ':', "₡", 0, 1, 2, "a.m.", "p.m."},  // Spanish (Costa Rica)
    {0x140C, "dd/mm/yyyy", '/', ',', NBSP, Hour24, ':', "€", 3, 8, 2, nullptr, nullptr},  // French (Luxembourg)
    {0x1801, "dd/mm/yyyy", '-', ',', ".", Hour24NoZero, ':', "د.م.", 2, 3, 2, nullptr, nullptr},  // Arabic (Morocco)
    {0x1809, "dd/mm/yyyy", '/', '.', ",", Hour24, ':', "€", 0, 1, 2, nullptr, nullptr},  // English (Irish)
    {0x180A, "mm/dd/yyyy", '/', '.', ",", Hour12Zero, ':', "B/.", 2, 14, 2, "a.m.", "p.m."},  // Spanish (Panama)
    {0x1C01, "dd/mm/yyyy", '-', ',', ".", Hour24NoZero, ':', "د.ت.", 2, 3, 3, nullptr, nullptr},  // Arabic (Tunisia)
    {0x1C09, "yyyy/mm/dd", '/', '.', ",", Hour12Zero, ':', "R", 2, 9, 2, nullptr, nullptr},  // English (South Africa)
    {0x1C0A, "dd/mm/yyyy", '/', '.', ",", Hour12Zero, ':', "RD$", 0, 1, 2, "a.m.", "p.m."},  // Spanish (Dominican Republic)
    {0x2001, "dd/mm/yy", '/', '.', ",", Hour12Zero, ':', "ر.ع.", 2, 3, 3, "ص", "م"},  // Arabic (Oman)
    {0x2009, "dd/mm/yyyy", '/', '.', ",", Hour12Zero, ':', "J$", 0, 1, 2, nullptr, nullptr},  // English (Jamaica)
    {0x200A, "dd/mm/yyyy", '/', ',', ".", Hour12Zero, ':', "Bs.", 2, 12, 2, "a.m.", "p.m."},  // Spanish (Venezuela)
    {0x2401, "dd/mm/yy", '/', '.', ",", Hour12Zero, ':', "ر.ي.", 2, 3, 2, "ص", "م"},  // Arabic (Yemen)
    {0x2409, "mm/dd/yyyy", '/', '.', ",", Hour12Zero, ':', "$", 0, 1, 2, nullptr, nullptr},  // English (Caribbean)
    {0x240A, "dd/mm/yyyy", '/', ',', ".", Hour12Zero, ':', "$", 2, 14, 2, "a.m.", "p.m."},  // Spanish (Colombia)
    {0x2801, "dd/mm/yy", '/', '.', ",", Hour12Zero, ':', "ل.س.", 2, 3, 2, "ص", "م"},  // Arabic (Syria)
    {0x2809, "dd/mm/yyyy", '/', '.', ",", Hour12Zero, ':', "BZ$", 0, 0, 2, nullptr, nullptr},  // English (Belize)
    {0x280A, "dd/mm/yyyy", '/', '.', ",", Hour12Zero, ':', "S/.", 2, 14, 2, "a.m.", "p.m."},  // Spanish (Peru)
    {0x2C01, "dd/mm/yy", '/', '.', ",", Hour12Zero, ':', "د.ا.", 2, 3, 3, "ص", "م"},  // Arabic (Jordan)
    {0x2C09, "dd/mm/yyyy", '/', '.', ",", Hour12Zero, ':', "TT$", 0, 0, 2, nullptr, nullptr},  // English (Trinidad)
    {0x2C0A, "dd/mm/yyyy", '/', ',', ".", Hour12Zero, ':', "$", 2, 14, 2, "a.m.", "p.m."},  // Spanish (Argentina)
    {0x3001, "dd/mm/yy", '/', '.', ",", Hour12Zero, ':', "ل.ل.", 2, 3, 2, "ص", "م"},  // Arabic (Lebanon)
    {0x300A, "dd/mm/yyyy", '/', ',', ".", Hour24NoZero, ':', "$", 2, 14, 2, nullptr, nullptr},  // Spanish (Ecuador)
    {0x3401, "dd/mm/yy", '/', '.', ",", Hour12Zero, ':', "د.ك.", 2, 3, 3, "ص", "م"},  // Arabic (Kuwait)
    {0x340A, "dd/mm/yyyy", '-', ',', ".", Hour24NoZero, ':', "$", 2, 9, 2, nullptr, nullptr},  // Spanish (Chile)
    {0x3801, "dd/mm/yy", '/', '.', ",", Hour12Zero, ':', "د.إ.", 2, 3, 2, "ص", "م"},  // Arabic (U.A.E)
    {0x380A, "dd/mm/yyyy", '/', ',', ".", Hour12Zero, ':', "$U", 2, 14, 2, "a.m.", "p.m."},  // Spanish (Uruguay)
    {0x3C01, "dd/mm/yy", '/', '.', ",", Hour12Zero, ':', "د.ب.", 2, 3, 3, "ص", "م"},  // Arabic (Bahrain)
    {0x3C0A, "dd/mm/yyyy", '/', ',', ".", Hour12Zero, ':', "Gs", 2, 14, 2, "a.m.", "p.m."},  // Spanish (Paraguay)
    {0x4001, "dd/mm/yy", '/', '.', ",", Hour12Zero, ':', "ر.ق.", 2, 3, 2, "ص", "م"},  // Arabic (Qatar)
    {0x400A, "dd/mm/yyyy", '/', ',', ".", Hour12Zero, ':', "$b", 2, 14, 2, "a.m.", "p.m."},  // Spanish (Bolivia)
    {0x440A, "dd/mm/yyyy", '/', '.', ",", Hour12Zero, ':', "$", 0, 1, 2, "a.m.", "p.m."},  // Spanish (El Salvador)
    {0x480A, "dd/mm/yyyy", '/', '.', ",", Hour12Zero, ':', "L.", 2, 12, 2, "a.m.", "p.m."},  // Spanish (Honduras)
    {0x4C0A, "dd/mm/yyyy", '/', '.', ",", Hour12Zero, ':', "C$", 2, 14, 2, "a.m.", "p.m."},  // Spanish (Nicaragua)
    {0x500A, "dd/mm/yyyy", '/', '.', ",", Hour12Zero, ':', "$", 2, 14, 2, "a.m.", "p.m."},  // Spanish (Puerto Rico)
};

#undef NBSP

std::string LongDateFormatFor(const std::string& shortDate) {
  size_t first = shortDate.find_first_of("dmy");
  char leading = first == std::string::npos ? 'm' : shortDate[first];
  if (leading == 'd') return "dddd, d mmmm yyyy";
  if (leading == 'y') return "dddd, yyyy mmmm d";
  return "dddd, mmmm d, yyyy";
}

}  // namespace

TFormatSettings FormatSettingsForLanguage(uint16_t languageId) {
  TFormatSettings settings;
  auto row = std::find_if(std::begin(LanguageFormats), std::end(LanguageFormats),
                          [languageId](const TLanguageFormat& f) { return f.LanguageId == languageId; });
  if (languageId == 0 || row == std::end(LanguageFormats)) return settings;
  settings.ShortDateFormat = row->ShortDateFormat;
  settings.LongDateFormat = LongDateFormatFor(settings.ShortDateFormat);
  settings.DateSeparator = row->DateSeparator;
  settings.DecimalSeparator = row->DecimalSeparator;
  settings.ListSeparator = row->DecimalSeparator == ',' ? ';' : ',';
  settings.ThousandSeparator = row->ThousandSeparator;
  settings.TimeSeparator = row->TimeSeparator;
  settings.CurrencyString = row->CurrencyString;
  settings.CurrencyFormat = row->CurrencyFormat;
  settings.NegCurrFormat = row->NegCurrFormat;
  settings.CurrencyDecimals = row->CurrencyDecimals;
  bool twelveHour = row->HourStyle == Hour12 || row->HourStyle == Hour12Zero;
  std::string hour = row->HourStyle == Hour24 || row->HourStyle == Hour12Zero ? "hh" : "h";
  std::string ending = twelveHour ? " AMPM" : "";
  settings.ShortTimeFormat = hour + ":mm" + ending;
  settings.LongTimeFormat = hour + ":mm:ss" + ending;
  if (row->TimeAMString) {
    settings.TimeAMString = row->TimeAMString;
    settings.TimePMString = row->TimePMString;
  }
  return settings;
}

// The table above is fixed, so one language's rules are the same value for
// the whole process: small statements spent a twentieth of their time
// building them again. Never freed, so that closing at exit may still ask.
const TFormatSettings& SharedFormatSettingsForLanguage(uint16_t languageId) {
  static std::mutex guard;
  static auto* const built = new std::map<uint16_t, std::unique_ptr<const TFormatSettings>>;
  const std::lock_guard<std::mutex> hold(guard);
  std::unique_ptr<const TFormatSettings>& settings = (*built)[languageId];
  if (!settings) settings = std::make_unique<const TFormatSettings>(FormatSettingsForLanguage(languageId));
  return *settings;
}
