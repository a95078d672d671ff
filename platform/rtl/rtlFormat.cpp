#include "rtlFormat.h"

#include <cstdio>
#include <vector>

#include "rtlConsts.h"
#include "rtlExceptions.h"
#include "rtlFloatText.h"
#include "rtlFormatSettings.h"
#include "rtlUtf8.h"

namespace {

// Fixed forms show the 15 significant digits a double holds.
constexpr int FixedPrecision = 15;
constexpr int DefaultGeneralPrecision = 15;

class TFormatter {
public:
  TFormatter(std::string_view fmt, std::initializer_list<TVarRec> args, const TFormatSettings& settings)
      : fmt(fmt), args(args), settings(settings) {}

  std::string Run() {
    while (pos < fmt.size()) {
      char c = fmt[pos++];
      if (c != '%') {
        result += c;
      } else if (pos < fmt.size() && fmt[pos] == '%') {
        result += '%';
        ++pos;
      } else {
        FormatOne();
      }
    }
    return result;
  }

private:
  std::string_view fmt;
  std::initializer_list<TVarRec> args;
  const TFormatSettings& settings;
  size_t pos = 0;
  size_t nextArg = 0;
  std::string result;

  [[noreturn]] void Invalid() const { throw EConvertError(SInvalidFormat, {fmt}); }

  const TVarRec& NextArg() {
    if (nextArg >= args.size()) Invalid();
    return args.begin()[nextArg++];
  }

  // A number written out, or "*" taking the next argument; -1 when absent.
  int ReadNumber() {
    if (pos < fmt.size() && fmt[pos] == '*') {
      ++pos;
      const TVarRec& arg = NextArg();
      if (arg.VType() != TVarRec::vtInteger) Invalid();
      return static_cast<int>(arg.AsInt64());
    }
    if (pos >= fmt.size() || fmt[pos] < '0' || fmt[pos] > '9') return -1;
    int value = 0;
    while (pos < fmt.size() && fmt[pos] >= '0' && fmt[pos] <= '9') {
      value = value * 10 + (fmt[pos++] - '0');
      if (value > 1000000) Invalid();
    }
    return value;
  }

  void FormatOne() {
    bool leftJustify = false;
    int width = -1;
    if (pos < fmt.size() && fmt[pos] == '-') {
      leftJustify = true;
      ++pos;
    }
    width = ReadNumber();
    if (!leftJustify && pos < fmt.size() && fmt[pos] == ':') {
      ++pos;
      if (width < 0) Invalid();
      nextArg = static_cast<size_t>(width);
      width = -1;
      if (pos < fmt.size() && fmt[pos] == '-') {
        leftJustify = true;
        ++pos;
      }
      width = ReadNumber();
    }
    int precision = -1;
    if (pos < fmt.size() && fmt[pos] == '.') {
      ++pos;
      precision = ReadNumber();
      if (precision < 0) Invalid();
    }
    if (pos >= fmt.size()) Invalid();
    char type = static_cast<char>(fmt[pos++] & ~0x20);  // upper case for letters
    std::string text = Convert(type, NextArg(), precision);
    size_t length = Utf8Length(text);
    if (width > 0 && static_cast<size_t>(width) > length) {
      std::string padding(width - length, ' ');
      text = leftJustify ? text + padding : padding + text;
    }
    result += text;
  }

  static std::string ZeroPadded(std::string digits, int precision) {
    if (precision > 0 && static_cast<size_t>(precision) > digits.size())
      digits.insert(0, precision - digits.size(), '0');
    return digits;
  }

  static std::string HexDigits(uint64_t value) {
    char text[20];
    std::snprintf(text, sizeof text, "%llX", static_cast<unsigned long long>(value));
    return text;
  }

  // Whole numbers as unsigned: a 32-bit argument wraps at 32 bits.
  uint64_t AsUnsigned(const TVarRec& arg) const {
    if (arg.VType() == TVarRec::vtInteger) return static_cast<uint32_t>(arg.AsInt64());
    return arg.AsUInt64();
  }

  std::string Convert(char type, const TVarRec& arg, int precision) {
    switch (type) {
      case 'D':
        if (!arg.IsWholeNumber()) Invalid();
        if (arg.VType() == TVarRec::vtUInt64) return ZeroPadded(std::to_string(arg.AsUInt64()), precision);
        if (arg.AsInt64() < 0)
          return "-" + ZeroPadded(std::to_string(0 - static_cast<uint64_t>(arg.AsInt64())), precision);
        return ZeroPadded(std::to_string(arg.AsInt64()), precision);
      case 'U':
        if (!arg.IsWholeNumber()) Invalid();
        return ZeroPadded(std::to_string(AsUnsigned(arg)), precision);
      case 'X':
        if (!arg.IsWholeNumber()) Invalid();
        return ZeroPadded(HexDigits(AsUnsigned(arg)), precision);
      case 'P':
        if (arg.VType() != TVarRec::vtPointer) Invalid();
        return ZeroPadded(HexDigits(reinterpret_cast<uintptr_t>(arg.AsPointer())), 2 * sizeof(void*));
      case 'S':
        if (arg.VType() == TVarRec::vtChar) return Utf8Truncated(std::string(1, arg.AsChar()), precision);
        if (arg.VType() != TVarRec::vtString) Invalid();
        return Utf8Truncated(std::string(arg.AsString()), precision);
      case 'E':
        return FloatText(arg, ffExponent, precision < 0 ? DefaultGeneralPrecision : precision, 3);
      case 'G':
        return FloatText(arg, ffGeneral, precision < 0 ? DefaultGeneralPrecision : precision, 0);
      case 'F':
        return FloatText(arg, ffFixed, FixedPrecision, precision < 0 ? 2 : precision);
      case 'N':
        return FloatText(arg, ffNumber, FixedPrecision, precision < 0 ? 2 : precision);
      case 'M':
        return FloatText(arg, ffCurrency, FixedPrecision, precision < 0 ? settings.CurrencyDecimals : precision);
      default:
        Invalid();
    }
  }

  std::string FloatText(const TVarRec& arg, TFloatFormat format, int precision, int digits) {
    if (arg.VType() == TVarRec::vtCurrency) {
      bool exponentForm = format == ffGeneral || format == ffExponent;
      if (!exponentForm) return CurrToStrF(Currency::FromScaled(arg.AsInt64()), format, digits, settings);
      return FloatToStrF(static_cast<long double>(arg.AsInt64()) / Currency::Scale, format, precision, digits,
                         settings);
    }
    if (arg.VType() != TVarRec::vtExtended) Invalid();
    return FloatToStrF(arg.AsExtended(), format, precision, digits, settings);
  }
};

}  // namespace

std::string Format(std::string_view fmt, std::initializer_list<TVarRec> args, const TFormatSettings& settings) {
  return TFormatter(fmt, args, settings).Run();
}

std::string Format(std::string_view fmt, std::initializer_list<TVarRec> args) {
  return Format(fmt, args, NeutralFormatSettings());
}
