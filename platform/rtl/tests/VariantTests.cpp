#include <gtest/gtest.h>

#include "rtlVariant.h"

#include <functional>

namespace {

std::string CastErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const EVariantError& e) {
    return e.Message;
  }
  return "no error";
}

TFormatSettings CommaDecimals() {
  TFormatSettings settings;
  settings.DecimalSeparator = ',';
  settings.ThousandSeparator = ".";
  settings.ShortDateFormat = "dd/mm/yyyy";
  settings.DateSeparator = '/';
  return settings;
}

}  // namespace

TEST(Variant, EmptyAndNullAreKindsOfTheirOwn) {
  Variant empty;
  EXPECT_TRUE(VarIsEmpty(empty));
  EXPECT_TRUE(VarIsClear(empty));
  EXPECT_EQ(empty.AsInteger(), 0);
  EXPECT_EQ(empty.AsString(), "");
  EXPECT_FALSE(empty.AsBoolean());
  EXPECT_EQ(empty.AsFloat(), 0.0);

  Variant null = Variant::Null();
  EXPECT_TRUE(VarIsNull(null));
  EXPECT_TRUE(VarIsClear(null));
  EXPECT_EQ(CastErrorOf([&] { null.AsInteger(); }), "Could not convert variant of type (Null) into type (Integer)");
  EXPECT_EQ(CastErrorOf([&] { null.AsString(); }), "Could not convert variant of type (Null) into type (String)");
  EXPECT_FALSE(null == empty);
  EXPECT_TRUE(null == Variant::Null());
}

TEST(Variant, ScalarKindsConvertByFixedRules) {
  EXPECT_EQ(Variant(int16_t(-5)).VarType(), varSmallint);
  EXPECT_EQ(Variant(uint16_t(5)).VarType(), varWord);
  EXPECT_EQ(Variant(int64_t(1) << 40).AsInt64(), int64_t(1) << 40);
  EXPECT_EQ(CastErrorOf([] { Variant(int64_t(1) << 40).AsInteger(); }),
            "Could not convert variant of type (Int64) into type (Integer)");

  // Floats and currency round half to even.
  EXPECT_EQ(Variant(2.5).AsInteger(), 2);
  EXPECT_EQ(Variant(3.5).AsInteger(), 4);
  EXPECT_EQ(Variant(-2.5).AsInteger(), -2);
  EXPECT_EQ(Variant(Currency::FromScaled(25000)).AsInteger(), 2);
  EXPECT_EQ(Variant(Currency::FromScaled(35000)).AsInteger(), 4);
  EXPECT_EQ(Variant(Currency::FromScaled(-35001)).AsInteger(), -4);
  EXPECT_EQ(Variant(Currency::FromScaled(-25000)).AsInteger(), -2);

  EXPECT_EQ(Variant(true).AsInteger(), -1);
  EXPECT_EQ(Variant(false).AsFloat(), 0.0);
  EXPECT_EQ(Variant(true).AsString(), "True");
  EXPECT_TRUE(Variant(7).AsBoolean());
  EXPECT_EQ(Variant(1.5).AsCurrency(), Currency::FromScaled(15000));
  EXPECT_EQ(Variant(Currency::FromScaled(12345)).AsString(), "1.2345");
  EXPECT_EQ(Variant(0.1).AsString(), "0.1");
  EXPECT_EQ(CastErrorOf([] { Variant(1e300).AsCurrency(); }),
            "Could not convert variant of type (Double) into type (Currency)");
  EXPECT_EQ(CastErrorOf([] { Variant(1e300).AsInt64(); }),
            "Could not convert variant of type (Double) into type (Int64)");
}

TEST(Variant, TextsConvertWithTheSettingsGiven) {
  const TFormatSettings comma = CommaDecimals();
  EXPECT_EQ(Variant("12").AsInteger(), 12);
  EXPECT_EQ(Variant("2,5").AsFloat(comma), 2.5);
  EXPECT_EQ(Variant("3,5").AsInteger(comma), 4);
  EXPECT_EQ(Variant(2.5).AsString(comma), "2,5");
  EXPECT_EQ(Variant("1,25").AsCurrency(comma), Currency::FromScaled(12500));
  EXPECT_TRUE(Variant("true").AsBoolean());
  EXPECT_FALSE(Variant("FALSE").AsBoolean());
  EXPECT_TRUE(Variant("2").AsBoolean());
  EXPECT_EQ(CastErrorOf([] { Variant("abc").AsInteger(); }),
            "Could not convert variant of type (String) into type (Integer)");
  EXPECT_EQ(CastErrorOf([] { Variant("yes").AsBoolean(); }),
            "Could not convert variant of type (String) into type (Boolean)");

  const TDateTime day = EncodeDate(2024, 2, 29);
  Variant date = Variant::FromDate(day + EncodeTime(13, 5, 0, 0));
  EXPECT_EQ(date.VarType(), varDate);
  EXPECT_EQ(date.AsString(), "2024-02-29 13:05:00");
  EXPECT_EQ(Variant::FromDate(day).AsString(comma), "29/02/2024");
  EXPECT_EQ(Variant("29/02/2024").AsDateTime(comma), day);
  EXPECT_EQ(CastErrorOf([&] { Variant("31/02/2024").AsDateTime(comma); }),
            "Could not convert variant of type (String) into type (Date)");
}

TEST(Variant, ArraysAndBytesAreHeldByValue) {
  Variant keys = VarArrayOf({1, "Smith", Variant::Null()});
  EXPECT_TRUE(VarIsArray(keys));
  ASSERT_EQ(keys.ArrayCount(), 3);
  EXPECT_EQ(keys.Element(1).AsString(), "Smith");
  EXPECT_TRUE(keys.Element(2).IsNull());

  Variant copy = keys;
  copy.SetElement(0, 2);
  EXPECT_EQ(keys.Element(0).AsInteger(), 1);
  EXPECT_FALSE(copy == keys);
  EXPECT_EQ(CastErrorOf([&] { keys.Element(3); }), SVarArrayBounds);
  EXPECT_EQ(CastErrorOf([&] { keys.AsString(); }),
            "Could not convert variant of type (Array Variant) into type (String)");
  EXPECT_EQ(CastErrorOf([] { Variant(1).ArrayCount(); }), SVarNotArray);

  Variant bytes = Variant::FromBytes({0, 1, 255});
  EXPECT_TRUE(bytes.IsBytes());
  EXPECT_EQ(bytes.ArrayCount(), 3);
  EXPECT_EQ(bytes.AsBytes(), (std::vector<uint8_t>{0, 1, 255}));
  EXPECT_EQ(Variant("ab").AsBytes(), (std::vector<uint8_t>{'a', 'b'}));
  EXPECT_TRUE(bytes == Variant::FromBytes({0, 1, 255}));
  EXPECT_FALSE(Variant(1) == Variant(int64_t(1)));
}
