#include <gtest/gtest.h>

#include "ppDisplayFormat.h"
#include "rtlDateTime.h"
#include "rtlFloatText.h"
#include "rtlStringList.h"

namespace {

TFormatSettings UsSettings() {
  TFormatSettings s;
  s.CurrencyString = "$";
  s.DateSeparator = '/';
  s.ShortDateFormat = "m/d/yyyy";
  s.LongTimeFormat = "h:nn:ss AMPM";
  return s;
}

}  // namespace

TEST(DisplayFormat, FormatsByDataTypeAndMask) {
  const TFormatSettings us = UsSettings();
  const TDateTime when = EncodeDateTime(1995, 3, 4, 13, 30, 55, 0);
  struct Case {
    const char* Mask;
    TppDataType Type;
    Variant Value;
    const char* Expected;
  };
  const Case cases[] = {
      {"Yes;No", dtBoolean, Variant(true), "Yes"},
      {"Yes;No", dtBoolean, Variant(false), "No"},
      {";Not OK", dtBoolean, Variant(true), ""},
      {";Not OK", dtBoolean, Variant(false), "Not OK"},
      {"OK", dtBoolean, Variant(false), ""},
      {"#,0.00", dtDouble, Variant(1234.4), "1,234.40"},
      {"#,0;-#,0", dtInteger, Variant(-1234), "-1,234"},
      {"$#,0.00;($#,0.00)", dtDouble, Variant(1234.4), "$1,234.40"},
      {"$#,0", dtCurrency, Variant(1234.4), "$1,234"},
      {"0.00 %", dtDouble, Variant(-1234.4), "-1234.40 %"},
      {"", dtDouble, Variant(1234.4), "1234.4"},
      {"", dtCurrency, Variant(2.5), "$2.50"},
      {"m/d/yy", dtDate, Variant::FromDate(when), "3/4/95"},
      {"mmmm d, yyyy", dtDate, Variant::FromDate(when), "March 4, 1995"},
      {"h:nn AM/PM", dtTime, Variant::FromDate(when), "1:30 PM"},
      {"", dtDate, Variant::FromDate(when), "3/4/1995"},
      {"!\\(999\\)\\ 000\\-0000;0; ", dtString, Variant("2065551234"), "(206) 555-1234"},
      {"000\\-00\\-0000;0; ", dtString, Variant("123456789"), "123-45-6789"},
      {"!99999;0; ", dtString, Variant("12"), "   12"},
      {"00000;0;_", dtString, Variant("12"), "12___"},
      {"!90:00:00\\ >LL;0; ", dtString, Variant("123456pm"), "12:34:56 PM"},
      {"", dtString, Variant("plain"), "plain"},
      {"Yes;No", dtBoolean, Variant::Null(), ""},
      {"#,0", dtInteger, Variant(), ""},
      {"", dtGraphic, Variant(5), ""},
  };
  for (const Case& c : cases) EXPECT_EQ(ppFormatDisplayValue(c.Mask, c.Type, c.Value, us), c.Expected) << c.Mask;
}

// Numbers without a mask print as the general format gives them, whole or
// not, at the edges of fifteen digits and of the sign.
TEST(DisplayFormat, UnmaskedNumbersPrintAsTheGeneralFormat) {
  const TFormatSettings us = UsSettings();
  const Variant values[] = {Variant(0),          Variant(-0.0),       Variant(0.0),
                            Variant(7),          Variant(-1234),      Variant(int64_t{999999999999999}),
                            Variant(1e15),       Variant(-1e15),      Variant(int64_t{1234567890123456789}),
                            Variant(2.5),        Variant(-0.125),     Variant(123456789012345.0),
                            Variant(1e-7),       Variant(uint32_t{4000000000u}), Variant(int16_t{-3})};
  for (const Variant& v : values)
    for (TppDataType type : {dtInteger, dtDouble, dtSingle, dtExtended, dtLongint})
      EXPECT_EQ(ppFormatDisplayValue("", type, v, us), FloatToStrF(v.AsFloat(), ffGeneral, 15, 0, us))
          << v.AsFloat() << " as type " << type;
}

TEST(DisplayFormat, BuiltInListsPerType) {
  TStringList list;
  list.Add("stale");
  ppGetDisplayFormats(dtDateTime, list);
  ASSERT_EQ(list.Count(), 11);
  EXPECT_EQ(list.Get(0), std::string("3/4/95 1:30:55 PM") + ppDisplayFormatSeparator + "m/d/yy h:nn:ss AM/PM");
  EXPECT_EQ(list.Get(2), std::string("3/4/95") + ppDisplayFormatSeparator + "m/d/yy");
  ppGetDisplayFormats(dtLongint, list);
  EXPECT_EQ(list.Count(), 9);
  ppGetDisplayFormats(dtBoolean, list);
  EXPECT_EQ(list.Get(6), std::string("") + ppDisplayFormatSeparator + ";Not OK");
  ppGetDisplayFormats(dtBLOB, list);
  EXPECT_EQ(list.Count(), 0);
  // Every built-in sample is what its own mask makes of the sample value.
  const TFormatSettings us = UsSettings();
  ppGetDisplayFormats(dtDouble, list);
  for (int i = 0; i < list.Count(); ++i) {
    const std::string entry = list.Get(i);
    const std::string sample = entry.substr(0, entry.find(ppDisplayFormatSeparator));
    const std::string mask = entry.substr(entry.find(ppDisplayFormatSeparator) + 1);
    // Currency follows the locale; the percent samples are hints only.
    if (mask.find('$') != std::string::npos || mask.find('%') != std::string::npos) continue;
    const double value = sample.find('.') != std::string::npos ? -1234.4 : -1234;
    EXPECT_EQ(ppFormatDisplayValue(mask, dtDouble, Variant(value), us), sample) << mask;
  }
}

TEST(DisplayFormat, AReplacementIsUsedUntilRemoved) {
  class TUpper : public TppDisplayFormat {
  public:
    std::string Format(const std::string&, TppDataType, const Variant&, const TFormatSettings&) override {
      return "replaced";
    }
  };
  ppSetDisplayFormat(std::make_unique<TUpper>());
  EXPECT_EQ(ppFormatDisplayValue("", dtString, Variant("x"), TFormatSettings()), "replaced");
  ppSetDisplayFormat(nullptr);
  EXPECT_EQ(ppFormatDisplayValue("", dtString, Variant("x"), TFormatSettings()), "x");
}
