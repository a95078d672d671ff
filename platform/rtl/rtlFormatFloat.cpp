// FormatFloat: a picture is first read into a layout (where its digit
// placeholders are), the value is rounded to what the layout can show, and
// the picture is then walked again, digits put in place of placeholders.

#include <algorithm>
#include <cmath>
#include <vector>

#include "rtlDecimalDigits.h"
#include "rtlFloatText.h"

namespace {

constexpr int FixedPrecision = 15;
constexpr int MaxIntegerDigits = 18;

struct TPictureLayout {
  int integerPlaceholders = 0;
  int integerZeros = 0;  // placeholders from the first integer "0" on
  int fractionPlaceholders = 0;
  int fractionZeros = 0;  // fraction placeholders up to the last "0"
  bool thousands = false;
  bool scientific = false;
};

bool IsQuote(char c) { return c == '"' || c == '\''; }

bool IsExponentAt(const std::string& picture, size_t i) {
  return (picture[i] == 'E' || picture[i] == 'e') && i + 1 < picture.size() &&
         (picture[i + 1] == '+' || picture[i + 1] == '-');
}

size_t SkipQuoted(const std::string& picture, size_t i) {
  size_t close = picture.find(picture[i], i + 1);
  return close == std::string::npos ? picture.size() : close + 1;
}

std::vector<std::string> SplitSections(const std::string& picture) {
  std::vector<std::string> sections(1);
  for (size_t i = 0; i < picture.size();) {
    if (IsQuote(picture[i])) {
      size_t next = SkipQuoted(picture, i);
      sections.back().append(picture, i, next - i);
      i = next;
    } else if (picture[i] == ';' && sections.size() < 3) {
      sections.emplace_back();
      ++i;
    } else {
      sections.back() += picture[i++];
    }
  }
  return sections;
}

TPictureLayout ReadLayout(const std::string& picture) {
  TPictureLayout layout;
  bool inFraction = false;
  bool seenIntegerZero = false;
  for (size_t i = 0; i < picture.size();) {
    char c = picture[i];
    if (IsQuote(c)) {
      i = SkipQuoted(picture, i);
      continue;
    }
    if (IsExponentAt(picture, i)) {
      layout.scientific = true;
      break;
    }
    if (c == '.' && !inFraction) {
      inFraction = true;
    } else if (c == ',' && !inFraction) {
      layout.thousands = true;
    } else if (c == '0' || c == '#') {
      if (inFraction) {
        ++layout.fractionPlaceholders;
        if (c == '0') layout.fractionZeros = layout.fractionPlaceholders;
      } else {
        ++layout.integerPlaceholders;
        seenIntegerZero = seenIntegerZero || c == '0';
        if (seenIntegerZero) ++layout.integerZeros;
      }
    }
    ++i;
  }
  return layout;
}

// The value's digits for the layout: integer digits, fraction digits and,
// in scientific notation, the exponent.
struct TPictureDigits {
  std::string integer;
  std::string fraction;
  int exponent = 0;
  bool zero = true;
};

TPictureDigits DigitsFor(long double magnitude, const TPictureLayout& layout) {
  TPictureDigits out;
  if (layout.scientific) {
    int mantissaIntegers = std::max(1, layout.integerZeros);
    TDecimalDigits d =
        TDecimalDigits::FromFloat(magnitude, std::min(FixedPrecision, mantissaIntegers + layout.fractionPlaceholders), 9999);
    out.zero = d.IsZero();
    out.exponent = out.zero ? 0 : d.Exponent - mantissaIntegers;
    for (int i = 0; i < mantissaIntegers + layout.fractionPlaceholders; ++i) {
      char digit = i < static_cast<int>(d.Digits.size()) ? d.Digits[i] : '0';
      (i < mantissaIntegers ? out.integer : out.fraction) += digit;
    }
    return out;
  }
  TDecimalDigits d = TDecimalDigits::FromFloat(magnitude, FixedPrecision, layout.fractionPlaceholders);
  out.zero = d.IsZero();
  for (int power = std::max(d.Exponent, layout.integerZeros) - 1; power >= 0; --power) out.integer += d.DigitAt(power);
  for (int power = -1; power >= -layout.fractionPlaceholders; --power) out.fraction += d.DigitAt(power);
  return out;
}

class TPictureWriter {
public:
  TPictureWriter(const TPictureLayout& layout, const TPictureDigits& digits, const TFormatSettings& settings)
      : layout(layout), digits(digits), settings(settings) {
    size_t lastNonZero = digits.fraction.find_last_not_of('0');
    int significant = lastNonZero == std::string::npos ? 0 : static_cast<int>(lastNonZero) + 1;
    fractionShown = std::max(layout.fractionZeros, significant);
  }

  std::string Write(const std::string& picture) {
    for (size_t i = 0; i < picture.size();) {
      char c = picture[i];
      if (IsQuote(c)) {
        size_t close = std::min(picture.find(c, i + 1), picture.size());
        out.append(picture, i + 1, close - i - 1);
        i = close + 1;
      } else if (!inExponent && IsExponentAt(picture, i)) {
        i = WriteExponent(picture, i);
      } else if (c == '.' && !inFraction && !inExponent) {
        inFraction = true;
        if (layout.integerPlaceholders == 0) WriteIntegerDigits();
        if (fractionShown > 0) out += settings.DecimalSeparator;
        ++i;
      } else if ((c == '0' || c == '#') && !inExponent) {
        inFraction ? WriteFractionDigit() : WriteIntegerDigits();
        ++i;
      } else {
        if (c != ',') out += c;
        ++i;
      }
    }
    return out;
  }

private:
  const TPictureLayout& layout;
  const TPictureDigits& digits;
  const TFormatSettings& settings;
  std::string out;
  int fractionShown = 0;
  int integerIndex = 0;
  int fractionIndex = 0;
  bool inFraction = false;
  bool inExponent = false;

  // The first placeholder takes every digit the others have no room for.
  void WriteIntegerDigits() {
    int length = static_cast<int>(digits.integer.size());
    int others = std::max(0, layout.integerPlaceholders - 1 - integerIndex);
    int from = integerIndex == 0 ? 0 : length - others - 1;
    int to = length - others;
    for (int q = std::max(from, 0); q < to; ++q) {
      out += digits.integer[q];
      int power = length - 1 - q;
      if (layout.thousands && power > 0 && power % 3 == 0) out += settings.ThousandSeparator;
    }
    ++integerIndex;
  }

  void WriteFractionDigit() {
    if (fractionIndex < fractionShown) out += digits.fraction[fractionIndex];
    ++fractionIndex;
  }

  size_t WriteExponent(const std::string& picture, size_t i) {
    inExponent = true;
    out += picture[i];
    bool alwaysSign = picture[i + 1] == '+';
    if (digits.exponent < 0)
      out += '-';
    else if (alwaysSign)
      out += '+';
    i += 2;
    int minDigits = 0;
    while (i < picture.size() && picture[i] == '0') ++minDigits, ++i;
    std::string text = std::to_string(std::abs(digits.exponent));
    int width = std::clamp(minDigits, 1, 4);
    if (static_cast<int>(text.size()) < width) text.insert(0, width - text.size(), '0');
    out += text;
    return i;
  }
};

}  // namespace

std::string FormatFloat(const std::string& format, long double value, const TFormatSettings& settings) {
  if (format.empty() || !std::isfinite(value)) return FloatToStr(value, settings);
  std::vector<std::string> sections = SplitSections(format);
  bool negative = value < 0;
  long double magnitude = std::fabs(value);

  const std::string* section = &sections[0];
  bool showMinus = negative;
  if (negative && sections.size() >= 2 && !sections[1].empty()) {
    section = &sections[1];
    showMinus = false;
  }
  TPictureLayout layout = ReadLayout(*section);
  TPictureDigits digits = DigitsFor(magnitude, layout);
  if (!layout.scientific && static_cast<int>(digits.integer.size()) > MaxIntegerDigits)
    return FloatToStr(value, settings);
  if (digits.zero) {
    showMinus = false;
    if (sections.size() >= 3 && !sections[2].empty()) {
      section = &sections[2];
      layout = ReadLayout(*section);
      digits = DigitsFor(0, layout);
    }
  }
  std::string text = TPictureWriter(layout, digits, settings).Write(*section);
  return showMinus ? "-" + text : text;
}

std::string FormatFloat(const std::string& format, long double value) {
  return FormatFloat(format, value, NeutralFormatSettings());
}
