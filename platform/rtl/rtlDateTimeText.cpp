#include "rtlDateTimeText.h"

#include <cmath>
#include <cstring>

#include "rtlConsts.h"
#include "rtlExceptions.h"
#include "rtlStrUtils.h"

namespace {

std::string Padded(int value, int width) {
  std::string digits = std::to_string(value);
  if (static_cast<int>(digits.size()) < width) digits.insert(0, width - digits.size(), '0');
  return digits;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool StartsWithNoCase(const std::string& text, size_t pos, const char* prefix) {
  size_t length = std::strlen(prefix);
  return text.size() - pos >= length && SameText(text.substr(pos, length), prefix);
}

class TDateTimeFormatter {
public:
  TDateTimeFormatter(TDateTime value, const TFormatSettings& settings) : settings(settings) {
    DecodeDateTime(value, year, month, day, hour, minute, second, msec);
    weekday = DayOfWeek(value);
  }

  std::string Run(const std::string& format, int depth = 0) {
    std::string out;
    bool afterHour = false;
    size_t i = 0;
    while (i < format.size()) {
      char c = format[i];
      char token = Lower(c);
      if (c == '"' || c == '\'') {
        size_t close = format.find(c, i + 1);
        if (close == std::string::npos) close = format.size();
        out.append(format, i + 1, close - i - 1);
        i = close + 1;
        continue;
      }
      int count = 1;
      if (token >= 'a' && token <= 'z') {
        while (i + count < format.size() && Lower(format[i + count]) == token) ++count;
      }
      bool wasAfterHour = afterHour;
      if (token >= 'a' && token <= 'z') afterHour = false;
      switch (token) {
        case 'y':
          out += count <= 2 ? Padded(year % 100, 2) : Padded(year, 4);
          break;
        case 'm':
          if (wasAfterHour)
            out += count == 1 ? std::to_string(minute) : Padded(minute, 2);
          else
            out += MonthText(count);
          break;
        case 'd':
          out += DayText(count, depth);
          break;
        case 'h':
          out += count == 1 ? std::to_string(ClockHour(format, i + count)) : Padded(ClockHour(format, i + count), 2);
          afterHour = true;
          break;
        case 'n':
          out += count == 1 ? std::to_string(minute) : Padded(minute, 2);
          break;
        case 's':
          out += count == 1 ? std::to_string(second) : Padded(second, 2);
          break;
        case 'z':
          out += count <= 2 ? std::to_string(msec) : Padded(msec, 3);
          break;
        case 't':
          if (depth < 2) out += Run(count == 1 ? settings.ShortTimeFormat : settings.LongTimeFormat, depth + 1);
          break;
        case 'c':
          if (depth < 2) {
            out += Run(settings.ShortDateFormat, depth + 1);
            if (hour || minute || second || msec) out += " " + Run(settings.LongTimeFormat, depth + 1);
          }
          break;
        case 'a':
          i += AmPm(format, i, out);
          continue;
        case '/':
          out += settings.DateSeparator;
          break;
        case ':':
          out += settings.TimeSeparator;
          break;
        default:
          out.append(format, i, count);
          break;
      }
      i += count;
    }
    return out;
  }

private:
  const TFormatSettings& settings;
  int year, month, day, hour, minute, second, msec, weekday;

  std::string MonthText(int count) const {
    if (count == 1) return std::to_string(month);
    if (count == 2) return Padded(month, 2);
    return count == 3 ? settings.ShortMonthNames[month - 1] : settings.LongMonthNames[month - 1];
  }

  std::string DayText(int count, int depth) {
    switch (count) {
      case 1: return std::to_string(day);
      case 2: return Padded(day, 2);
      case 3: return settings.ShortDayNames[weekday - 1];
      case 4: return settings.LongDayNames[weekday - 1];
      case 5: return depth < 2 ? Run(settings.ShortDateFormat, depth + 1) : "";
      default: return depth < 2 ? Run(settings.LongDateFormat, depth + 1) : "";
    }
  }

  // Length of the 12-hour marker at pos, 0 when there is none.
  static size_t AmPmLength(const std::string& format, size_t pos) {
    if (StartsWithNoCase(format, pos, "am/pm")) return 5;
    if (StartsWithNoCase(format, pos, "a/p")) return 3;
    if (StartsWithNoCase(format, pos, "ampm")) return 4;
    return 0;
  }

  // An hour shows on the 12-hour clock when a marker follows it before the
  // next hour specifier.
  int ClockHour(const std::string& format, size_t from) const {
    for (size_t i = from; i < format.size(); ++i) {
      char token = Lower(format[i]);
      if (token == '"' || token == '\'') {
        size_t close = format.find(format[i], i + 1);
        if (close == std::string::npos) break;
        i = close;
      } else if (token == 'h') {
        break;
      } else if (token == 'a' && AmPmLength(format, i)) {
        return hour % 12 == 0 ? 12 : hour % 12;
      }
    }
    return hour;
  }

  size_t AmPm(const std::string& format, size_t pos, std::string& out) const {
    size_t length = AmPmLength(format, pos);
    bool pm = hour >= 12;
    if (length == 5) {
      out += pm ? format.substr(pos + 3, 2) : format.substr(pos, 2);
    } else if (length == 3) {
      out += pm ? format[pos + 2] : format[pos];
    } else if (length == 4) {
      out += pm ? settings.TimePMString : settings.TimeAMString;
    } else {
      out += format[pos];
      length = 1;
    }
    return length;
  }
};

class TDateTimeScanner {
public:
  TDateTimeScanner(const std::string& text, const TFormatSettings& settings) : text(text), settings(settings) {}

  bool AtEnd() {
    SkipBlanks();
    return pos == text.size();
  }

  bool ScanDate(TDateTime& date) {
    int numbers[3], digits[3], count = 0;
    if (!ScanNumber(numbers[0], digits[0])) return false;
    count = 1;
    while (count < 3) {
      size_t before = pos;
      if (!ScanChar(settings.DateSeparator)) break;
      if (!ScanNumber(numbers[count], digits[count])) {
        pos = before;
        break;
      }
      ++count;
    }
    if (count < 2) return false;
    ScanChar(settings.DateSeparator);  // a closing one, as in "yyyy. mm. dd."
    int y, m, d, yearDigits = 4;
    char order = DateOrder();
    if (count == 2) {
      int unusedMonth, unusedDay;
      DecodeDate(Now(), y, unusedMonth, unusedDay);
      m = order == 'd' ? numbers[1] : numbers[0];
      d = order == 'd' ? numbers[0] : numbers[1];
    } else if (order == 'y') {
      y = numbers[0], m = numbers[1], d = numbers[2], yearDigits = digits[0];
    } else if (order == 'd') {
      d = numbers[0], m = numbers[1], y = numbers[2], yearDigits = digits[2];
    } else {
      m = numbers[0], d = numbers[1], y = numbers[2], yearDigits = digits[2];
    }
    if (yearDigits <= 2) y = WidenTwoDigitYear(y);
    return TryEncodeDate(y, m, d, date);
  }

  bool ScanTime(TDateTime& time) {
    int hour, minute = 0, second = 0, msec = 0, digits;
    if (!ScanNumber(hour, digits)) return false;
    bool hasMinutes = ScanChar(settings.TimeSeparator);
    if (hasMinutes) {
      if (!ScanNumber(minute, digits)) return false;
      if (ScanChar(settings.TimeSeparator)) {
        if (!ScanNumber(second, digits)) return false;
        if (ScanChar(settings.DecimalSeparator) && !ScanNumber(msec, digits)) return false;
      }
    }
    int half = ScanAmPm();
    if (!hasMinutes && half < 0) return false;
    if (half >= 0) {
      if (hour > 12) return false;
      hour = hour % 12 + (half == 1 ? 12 : 0);
    }
    return TryEncodeTime(hour, minute, second, msec, time);
  }

  void Restart() { pos = 0; }

private:
  const std::string& text;
  const TFormatSettings& settings;
  size_t pos = 0;

  void SkipBlanks() {
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
  }

  bool ScanChar(char c) {
    SkipBlanks();
    if (pos < text.size() && text[pos] == c) {
      ++pos;
      return true;
    }
    return false;
  }

  bool ScanNumber(int& value, int& digits) {
    SkipBlanks();
    value = 0;
    digits = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
      if (digits == 9) return false;
      value = value * 10 + (text[pos++] - '0');
      ++digits;
    }
    return digits > 0;
  }

  // 0 for AM, 1 for PM, -1 when neither follows.
  int ScanAmPm() {
    SkipBlanks();
    const std::string* markers[] = {&settings.TimeAMString, &settings.TimePMString};
    static const std::string english[] = {"AM", "PM"};
    for (int half = 0; half < 2; ++half) {
      for (const std::string* marker : {markers[half], &english[half]}) {
        if (!marker->empty() && StartsWithNoCase(text, pos, marker->c_str())) {
          pos += marker->size();
          return half;
        }
      }
    }
    return -1;
  }

  char DateOrder() const {
    size_t first = settings.ShortDateFormat.find_first_of("dDmMyY");
    return first == std::string::npos ? 'm' : Lower(settings.ShortDateFormat[first]);
  }

  int WidenTwoDigitYear(int year) const {
    int currentYear, unusedMonth, unusedDay;
    DecodeDate(Now(), currentYear, unusedMonth, unusedDay);
    int windowStart = currentYear - settings.TwoDigitYearCenturyWindow;
    year += windowStart / 100 * 100;
    if (settings.TwoDigitYearCenturyWindow > 0 && year < windowStart) year += 100;
    return year;
  }
};

[[noreturn]] void RaiseInvalid(const char* message, const std::string& text) {
  throw EConvertError(message, {text});
}

}  // namespace

std::string FormatDateTime(const std::string& format, TDateTime value, const TFormatSettings& settings) {
  return TDateTimeFormatter(value, settings).Run(format.empty() ? "c" : format);
}

std::string FormatDateTime(const std::string& format, TDateTime value) {
  return FormatDateTime(format, value, NeutralFormatSettings());
}

std::string DateToStr(TDateTime value, const TFormatSettings& settings) {
  return FormatDateTime("ddddd", value, settings);
}
std::string DateToStr(TDateTime value) { return DateToStr(value, NeutralFormatSettings()); }
std::string TimeToStr(TDateTime value, const TFormatSettings& settings) { return FormatDateTime("tt", value, settings); }
std::string TimeToStr(TDateTime value) { return TimeToStr(value, NeutralFormatSettings()); }
std::string DateTimeToStr(TDateTime value, const TFormatSettings& settings) {
  return FormatDateTime("c", value, settings);
}
std::string DateTimeToStr(TDateTime value) { return DateTimeToStr(value, NeutralFormatSettings()); }

bool TryStrToDate(const std::string& text, TDateTime& value, const TFormatSettings& settings) {
  TDateTimeScanner scanner(text, settings);
  TDateTime date;
  if (!scanner.ScanDate(date) || !scanner.AtEnd()) return false;
  value = date;
  return true;
}

bool TryStrToTime(const std::string& text, TDateTime& value, const TFormatSettings& settings) {
  TDateTimeScanner scanner(text, settings);
  TDateTime time;
  if (!scanner.ScanTime(time) || !scanner.AtEnd()) return false;
  value = time;
  return true;
}

bool TryStrToDateTime(const std::string& text, TDateTime& value, const TFormatSettings& settings) {
  TDateTimeScanner scanner(text, settings);
  TDateTime date, time = 0;
  if (scanner.ScanDate(date)) {
    if (!scanner.AtEnd() && (!scanner.ScanTime(time) || !scanner.AtEnd())) return false;
    value = CombineDateTime(date, time);
    return true;
  }
  scanner.Restart();
  if (!scanner.ScanTime(time) || !scanner.AtEnd()) return false;
  value = time;
  return true;
}

bool TryStrToDate(const std::string& text, TDateTime& value) {
  return TryStrToDate(text, value, NeutralFormatSettings());
}
bool TryStrToTime(const std::string& text, TDateTime& value) {
  return TryStrToTime(text, value, NeutralFormatSettings());
}
bool TryStrToDateTime(const std::string& text, TDateTime& value) {
  return TryStrToDateTime(text, value, NeutralFormatSettings());
}

TDateTime StrToDate(const std::string& text, const TFormatSettings& settings) {
  TDateTime value;
  if (!TryStrToDate(text, value, settings)) RaiseInvalid(SInvalidDate, text);
  return value;
}

TDateTime StrToTime(const std::string& text, const TFormatSettings& settings) {
  TDateTime value;
  if (!TryStrToTime(text, value, settings)) RaiseInvalid(SInvalidTime, text);
  return value;
}

TDateTime StrToDateTime(const std::string& text, const TFormatSettings& settings) {
  TDateTime value;
  if (!TryStrToDateTime(text, value, settings)) RaiseInvalid(SInvalidDateTime, text);
  return value;
}

TDateTime StrToDate(const std::string& text) { return StrToDate(text, NeutralFormatSettings()); }
TDateTime StrToTime(const std::string& text) { return StrToTime(text, NeutralFormatSettings()); }
TDateTime StrToDateTime(const std::string& text) { return StrToDateTime(text, NeutralFormatSettings()); }
