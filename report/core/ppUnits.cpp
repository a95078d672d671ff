#include "ppUnits.h"

#include <cmath>
#include <limits>

#include "rtlConvert.h"
#include "rtlFloatText.h"
#include "rtlStrings.h"

namespace {

// Stored layouts were measured with this single-precision value.
constexpr double inchesPerMM = static_cast<double>(0.03937f);

int PrinterPixelsPerInch(TppAxis axis, const TppPrinterResolution* printer) {
  if (!printer) return ppScreenPixelsPerInch;
  const int ppi = axis == axVertical ? printer->PixelsPerInchY() : printer->PixelsPerInchX();
  return ppi > 0 ? ppi : ppScreenPixelsPerInch;
}

}  // namespace

int ppRound(double value) {
  if (!std::isfinite(value)) return 0;
  constexpr double limit = static_cast<double>(std::numeric_limits<int>::max());
  if (value >= limit) return std::numeric_limits<int>::max();
  if (value <= -limit) return -std::numeric_limits<int>::max();
  const double floor = std::floor(value);
  const double diff = value - floor;
  double result = floor;
  if (diff > 0.5 || (diff == 0.5 && std::fmod(floor, 2.0) != 0.0)) result = floor + 1.0;
  return static_cast<int>(result);
}

double ppMMThousandthsToUnits(int value, TppUnitType unit, TppAxis axis, const TppPrinterResolution* printer) {
  const double inches = value / 1000.0 * inchesPerMM;
  switch (unit) {
    case utScreenPixels: return ppRound(inches * ppScreenPixelsPerInch);
    case utInches: return ppRound(inches * 10000) / 10000.0;
    case utMillimeters: return value / 1000.0;
    case utPrinterPixels: return ppRound(inches * PrinterPixelsPerInch(axis, printer));
    case utMMThousandths: return value;
  }
  return 0;
}

int ppUnitsToMMThousandths(double value, TppUnitType unit, TppAxis axis, const TppPrinterResolution* printer) {
  switch (unit) {
    case utScreenPixels: return ppRound(value / ppScreenPixelsPerInch / inchesPerMM * 1000);
    case utInches: return ppRound(value / inchesPerMM * 1000);
    case utMillimeters: return ppRound(value * 1000);
    case utPrinterPixels: return ppRound(value / PrinterPixelsPerInch(axis, printer) / inchesPerMM * 1000);
    case utMMThousandths: return ppRound(value);
  }
  return 0;
}

double ppScreenPixelsToUnits(int value, TppUnitType unit, TppAxis axis, const TppPrinterResolution* printer) {
  return ppMMThousandthsToUnits(ppUnitsToMMThousandths(value, utScreenPixels, axis, printer), unit, axis, printer);
}

int ppUnitsToScreenPixels(double value, TppUnitType unit, TppAxis axis, const TppPrinterResolution* printer) {
  return ppRound(
      ppMMThousandthsToUnits(ppUnitsToMMThousandths(value, unit, axis, printer), utScreenPixels, axis, printer));
}

double ppTenthsMMToUnits(int value, TppUnitType unit, TppAxis axis, const TppPrinterResolution* printer) {
  switch (unit) {
    case utScreenPixels:
    case utPrinterPixels: return ppMMThousandthsToUnits(value * 100, unit, axis, printer);
    case utInches: {
      const int pixels = ppRound(ppMMThousandthsToUnits(value * 100, utScreenPixels, axis, printer));
      return ppScreenPixelsToUnits(pixels, utInches, axis, printer);
    }
    case utMillimeters: return ppRound(value / 10.0);
    case utMMThousandths: return value * 100;
  }
  return 0;
}

int ppUnitsToTenthsMM(double value, TppUnitType unit, TppAxis axis, const TppPrinterResolution* printer) {
  switch (unit) {
    case utScreenPixels:
    case utPrinterPixels: return ppUnitsToMMThousandths(value, unit, axis, printer) / 100;
    case utInches: {
      const int pixels = ppUnitsToScreenPixels(value, utInches, axis, printer);
      return ppUnitsToMMThousandths(pixels, utScreenPixels, axis, printer) / 100;
    }
    case utMillimeters: return ppRound(value * 10);
    case utMMThousandths: return ppRound(value / 100);
  }
  return 0;
}

void ppMMThousandthsListToUnits(TStrings& list, TppUnitType unit, TppAxis axis, const TFormatSettings& settings,
                                const TppPrinterResolution* printer) {
  for (int i = 0; i < list.Count(); ++i) {
    const double units = ppMMThousandthsToUnits(StrToIntDef(list.Get(i), 0), unit, axis, printer);
    list.Put(i, FloatToStrF(units, ffGeneral, 7, 0, settings));
  }
}

void ppUnitsListToMMThousandths(TStrings& list, TppUnitType unit, TppAxis axis, const TFormatSettings& settings,
                                const TppPrinterResolution* printer) {
  for (int i = 0; i < list.Count(); ++i) {
    double units = 0;
    if (!TryStrToFloat(list.Get(i), units, settings)) units = 0;
    list.Put(i, IntToStr(ppUnitsToMMThousandths(units, unit, axis, printer)));
  }
}

void ppLocalizeDecimalPoints(TStrings& list, const TFormatSettings& settings) {
  for (int i = 0; i < list.Count(); ++i) {
    std::string entry = list.Get(i);
    const size_t dot = entry.find('.');
    if (dot == std::string::npos) continue;
    entry[dot] = settings.DecimalSeparator;
    list.Put(i, entry);
  }
}
