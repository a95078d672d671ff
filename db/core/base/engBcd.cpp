#include "engBcd.h"

#include <algorithm>

#include "engNumbers.h"
#include "rtlConvert.h"

namespace {

// The text never leaves these routines, so one fixed separator serves.
const TFormatSettings& Settings() { return NeutralFormatSettings(); }

int64_t StoredFromText(std::string text, int scale) {
  size_t separator = text.find(Settings().DecimalSeparator);
  if (separator != std::string::npos) {
    size_t decimals = text.size() - separator - 1;
    text.erase(separator, 1);
    if (decimals < static_cast<size_t>(scale)) text.append(scale - decimals, '0');
  }
  return StrToInt64(text + static_cast<char>('0' + scale));
}

std::string TextFromStored(int64_t stored) {
  std::string digits = IntToStr(stored);
  bool negative = digits.front() == '-';
  if (negative) digits.erase(0, 1);
  size_t scale = digits.back() - '0';
  digits.pop_back();
  if (scale > digits.size()) digits.insert(0, scale - digits.size(), '0');
  if (scale > 0) digits.insert(digits.size() - scale, 1, Settings().DecimalSeparator);
  // A zero stored at scale 0 leaves no digits at all.
  if (digits.empty() || digits.front() == Settings().DecimalSeparator) digits.insert(0, 1, '0');
  return negative ? "-" + digits : digits;
}

}  // namespace

int64_t FloatToStoredBcd(double value, int scale) {
  scale = std::clamp(scale, 0, 4);
  return StoredFromText(FormatFloat(DecimalsFormat(scale), RoundFloat(value, scale), Settings()), scale);
}

int64_t CurrencyToStoredBcd(Currency value, int scale) {
  scale = std::clamp(scale, 0, 4);
  return StoredFromText(CurrToStrF(RoundCurrency(value, scale), ffFixed, scale, Settings()), scale);
}

double StoredBcdToFloat(int64_t stored) { return StrToFloat(TextFromStored(stored), Settings()); }

Currency StoredBcdToCurrency(int64_t stored) { return StrToCurr(TextFromStored(stored), Settings()); }
