#pragma once
// Lengths inside the engine are Integers in thousandths of a millimetre.
// These routines convert them to and from the units a designer chooses,
// with the engine's own constant of 0.03937 inches per millimetre (a
// single-precision value, not 1/25.4) and rounding halves to even.

#include "ppTypes.h"
#include "rtlFormatSettings.h"

class TStrings;

// The screen resolution every conversion to screen pixels uses: pinned, so
// that layouts measure alike on every display.
constexpr int ppScreenPixelsPerInch = 96;

// What a conversion to printer pixels asks of a printer.
class TppPrinterResolution {
public:
  virtual ~TppPrinterResolution() = default;
  virtual int PixelsPerInchX() const = 0;
  virtual int PixelsPerInchY() const = 0;
};

// Nearest integer, halves to even.
int ppRound(double value);

// Unknown units give 0. Without a printer, printer pixels use the screen's
// resolution.
double ppMMThousandthsToUnits(int value, TppUnitType unit, TppAxis axis,
                              const TppPrinterResolution* printer = nullptr);
int ppUnitsToMMThousandths(double value, TppUnitType unit, TppAxis axis,
                           const TppPrinterResolution* printer = nullptr);
double ppScreenPixelsToUnits(int value, TppUnitType unit, TppAxis axis,
                             const TppPrinterResolution* printer = nullptr);
int ppUnitsToScreenPixels(double value, TppUnitType unit, TppAxis axis,
                          const TppPrinterResolution* printer = nullptr);
// Paper sizes of printer drivers come in tenths of a millimetre.
double ppTenthsMMToUnits(int value, TppUnitType unit, TppAxis axis,
                         const TppPrinterResolution* printer = nullptr);
int ppUnitsToTenthsMM(double value, TppUnitType unit, TppAxis axis,
                      const TppPrinterResolution* printer = nullptr);

// Tab-stop lists: integer mm-thousandths texts to unit texts (general
// format, 7 digits) and back. Entries that are not numbers become 0.
void ppMMThousandthsListToUnits(TStrings& list, TppUnitType unit, TppAxis axis,
                                const TFormatSettings& settings,
                                const TppPrinterResolution* printer = nullptr);
void ppUnitsListToMMThousandths(TStrings& list, TppUnitType unit, TppAxis axis,
                                const TFormatSettings& settings,
                                const TppPrinterResolution* printer = nullptr);
// In each entry the first "." becomes the settings' decimal separator.
void ppLocalizeDecimalPoints(TStrings& list, const TFormatSettings& settings);
