#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "ppUnits.h"
#include "rtlStringList.h"

namespace {

class TFixedPrinter : public TppPrinterResolution {
public:
  TFixedPrinter(int x, int y) : x(x), y(y) {}
  int PixelsPerInchX() const override { return x; }
  int PixelsPerInchY() const override { return y; }

private:
  int x, y;
};

}  // namespace

TEST(Units, ConversionsFromMMThousandthsRoundAsTheEngineDoes) {
  const TFixedPrinter printer(600, 300);
  struct Case {
    int Value;
    TppUnitType Unit;
    TppAxis Axis;
    const TppPrinterResolution* Printer;
    double Expected;
  };
  const Case cases[] = {
      {1000, utScreenPixels, axHorizontal, nullptr, 4},       // round(3.77952)
      {1000, utInches, axHorizontal, nullptr, 0.0394},        // four decimals of 0.03937
      {25400, utInches, axHorizontal, nullptr, 1.0},           // 0.999998 to four decimals
      {1500, utMillimeters, axHorizontal, nullptr, 1.5},
      {1000, utPrinterPixels, axHorizontal, &printer, 24},     // round(23.622)
      {1000, utPrinterPixels, axVertical, &printer, 12},       // round(11.811)
      {1000, utPrinterPixels, axHorizontal, nullptr, 4},       // screen without a printer
      {123, utMMThousandths, axHorizontal, nullptr, 123},
      {1000, static_cast<TppUnitType>(7), axHorizontal, nullptr, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.Value) + " unit " + std::to_string(c.Unit));
    EXPECT_DOUBLE_EQ(ppMMThousandthsToUnits(c.Value, c.Unit, c.Axis, c.Printer), c.Expected);
  }
}

TEST(Units, ConversionsToMMThousandthsAndBack) {
  const TFixedPrinter printer(600, 600);
  struct Case {
    double Value;
    TppUnitType Unit;
    int Expected;
  };
  const Case cases[] = {
      {96, utScreenPixels, 25400},     // one inch of screen
      {1, utInches, 25400},            // round(25400.05)
      {8.5, utInches, 215900},
      {11, utInches, 279401},
      {2.5, utMillimeters, 2500},
      {600, utPrinterPixels, 25400},
      {2.5, utMMThousandths, 2},       // halves to even
      {3.5, utMMThousandths, 4},
      {1, static_cast<TppUnitType>(9), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.Value) + " unit " + std::to_string(c.Unit));
    EXPECT_EQ(ppUnitsToMMThousandths(c.Value, c.Unit, axHorizontal, &printer), c.Expected);
  }
  EXPECT_EQ(ppUnitsToScreenPixels(1, utInches, axHorizontal), 96);
  EXPECT_DOUBLE_EQ(ppScreenPixelsToUnits(96, utInches, axHorizontal), 1.0);
}

TEST(Units, PaperTenthsOfMillimetres) {
  EXPECT_DOUBLE_EQ(ppTenthsMMToUnits(2100, utMMThousandths, axHorizontal), 210000);
  EXPECT_DOUBLE_EQ(ppTenthsMMToUnits(2105, utMillimeters, axHorizontal), 210);  // round(210.5) to even
  EXPECT_DOUBLE_EQ(ppTenthsMMToUnits(2159, utInches, axHorizontal), ppScreenPixelsToUnits(816, utInches, axHorizontal));
  EXPECT_EQ(ppUnitsToTenthsMM(210, utMillimeters, axHorizontal), 2100);
  EXPECT_EQ(ppUnitsToTenthsMM(210050, utMMThousandths, axHorizontal), 2100);
  EXPECT_EQ(ppUnitsToTenthsMM(96, utScreenPixels, axHorizontal), 254);
}

TEST(Units, RoundingHalvesToEvenAndStaysInRange) {
  EXPECT_EQ(ppRound(0.5), 0);
  EXPECT_EQ(ppRound(1.5), 2);
  EXPECT_EQ(ppRound(-2.5), -2);
  EXPECT_EQ(ppRound(2.5000001), 3);
  EXPECT_EQ(ppRound(1e300), std::numeric_limits<int>::max());
  EXPECT_EQ(ppRound(std::nan("")), 0);
}

TEST(Units, TabStopListsConvertWhateverTheDecimalSeparator) {
  TFormatSettings comma;
  comma.DecimalSeparator = ',';
  for (const TFormatSettings& settings : {TFormatSettings(), comma}) {
    TStringList list;
    list.Add("25400");
    list.Add("12700");
    ppMMThousandthsListToUnits(list, utInches, axHorizontal, settings);
    EXPECT_EQ(list.Get(0), "1");
    EXPECT_EQ(list.Get(1), std::string("0") + settings.DecimalSeparator + "5");
    ppUnitsListToMMThousandths(list, utInches, axHorizontal, settings);
    EXPECT_EQ(list.Get(0), "25400");
    EXPECT_EQ(list.Get(1), "12700");
  }
  TStringList list;
  list.Add("1.25.5");
  ppLocalizeDecimalPoints(list, comma);
  EXPECT_EQ(list.Get(0), "1,25.5");
}
