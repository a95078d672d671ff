#include "vtTestSupport.h"

std::string TEventLog::Joined() const {
  std::string result;
  for (const std::string& line : Lines) {
    if (!result.empty()) result += ' ';
    result += line;
  }
  return result;
}


QRgb Rgb(TColor c) {
  const TColor v = ColorToRGB(c);
  return qRgb(GetRValue(v), GetGValue(v), GetBValue(v));
}
