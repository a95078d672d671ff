#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "engExpDateTime.h"
#include "engExpEvalConvert.h"
#include "rtlExceptions.h"

namespace {

struct TTarget {
  uint8_t Type;
  int32_t Size = 8;
  uint8_t Scale = 0;
};

class ExpEvalConvert : public ::testing::Test {
protected:
  TFormatSettings settings;
  uint16_t languageId = 0;

  std::optional<std::vector<uint8_t>> Convert(uint8_t type, const void* value, int32_t size, TTarget target) {
    std::vector<uint8_t> out(target.Size + 8, 0xEE);
    if (!ConvertFieldValue(type, {static_cast<const uint8_t*>(value), size_t(size)}, target.Type,
                           {out.data(), size_t(target.Size)}, target.Scale, settings, languageId))
      return std::nullopt;
    return out;
  }
  template <typename T>
  std::optional<std::vector<uint8_t>> From(uint8_t type, T value, TTarget target) {
    return Convert(type, &value, sizeof value, target);
  }
  std::optional<std::vector<uint8_t>> FromText(const std::string& text, TTarget target) {
    return Convert(dtString, text.c_str(), static_cast<int32_t>(text.size()) + 1, target);
  }

  template <typename T>
  static T As(const std::optional<std::vector<uint8_t>>& bytes) {
    T value{};
    if (bytes) std::memcpy(&value, bytes->data(), sizeof value);
    return value;
  }
  static std::string Text(const std::optional<std::vector<uint8_t>>& bytes) {
    return bytes ? reinterpret_cast<const char*>(bytes->data()) : "(none)";
  }
};

TEST_F(ExpEvalConvert, FromText) {
  EXPECT_EQ(As<int32_t>(FromText("123", {dtInteger})), 123);
  EXPECT_EQ(As<int16_t>(FromText("70000", {dtSmallInt})), 4464);  // the low 16 bits
  EXPECT_FALSE(FromText("12x", {dtInteger}));
  EXPECT_FALSE(FromText("99999999999", {dtInteger}));
  EXPECT_EQ(As<int64_t>(FromText("12.345", {dtBcd, 8, 2})), 12352);
  EXPECT_EQ(As<uint16_t>(FromText("true", {dtBoolean})), 1);
  EXPECT_EQ(As<uint16_t>(FromText("FALSE", {dtBoolean})), 0);
  EXPECT_FALSE(FromText("yes", {dtBoolean}));
  EXPECT_EQ(As<int32_t>(FromText("2004-01-31", {dtDate})), DateTimeToDayNumber(EncodeDate(2004, 1, 31)));
  EXPECT_FALSE(FromText("31.01.2004", {dtDate}));
  EXPECT_EQ(Text(FromText("abcdef", {dtString, 4})), "abc");

  settings = FormatSettingsForLanguage(0x0407);
  EXPECT_EQ(As<int32_t>(FromText("31.01.2004", {dtDate})), DateTimeToDayNumber(EncodeDate(2004, 1, 31)));
  EXPECT_DOUBLE_EQ(As<double>(FromText("1,5", {dtFloat})), 1.5);
}

TEST_F(ExpEvalConvert, ToText) {
  EXPECT_EQ(Text(From<int32_t>(dtDate, DateTimeToDayNumber(EncodeDate(2004, 1, 31)), {dtString, 20})), "2004-01-31");
  EXPECT_EQ(Text(From<int32_t>(dtTime, 6 * 3600000 + 30 * 60000, {dtString, 20})), "06:30:00");
  EXPECT_EQ(Text(From<uint16_t>(dtBoolean, 1, {dtString, 10})), "True");
  EXPECT_EQ(Text(From<int64_t>(dtBcd, 123452, {dtString, 10})), "123.45");
  EXPECT_EQ(Text(From<double>(dtFloat, 0.5, {dtString, 10})), "0.5");
  EXPECT_EQ(Text(From<int16_t>(dtSmallInt, -7, {dtString, 10})), "-7");
  // Cut to the size, never inside a UTF-8 sequence under language 0.
  EXPECT_EQ(Text(FromText("M\xC3\xBCller", {dtString, 3})), "M");
  languageId = 0x0407;
  EXPECT_EQ(Text(FromText("M\xC3\xBCller", {dtString, 3})), "M\xC3");
}

TEST_F(ExpEvalConvert, Numbers) {
  EXPECT_EQ(As<int32_t>(From<double>(dtFloat, 2.5, {dtInteger})), 2);  // ties to even
  EXPECT_EQ(As<int32_t>(From<double>(dtFloat, -3.5, {dtInteger})), -4);
  EXPECT_FALSE(From<double>(dtFloat, 1e300, {dtInteger}));
  EXPECT_FALSE(From<double>(dtFloat, std::nan(""), {dtWord}));
  EXPECT_FALSE(From<double>(dtFloat, 1e300, {dtBcd, 8, 2}));
  EXPECT_EQ(As<int32_t>(From<int64_t>(dtBcd, 123452, {dtInteger})), 123);
  EXPECT_EQ(As<int64_t>(From<int64_t>(dtBcd, 123452, {dtBcd, 8, 1})), 12351);
  EXPECT_EQ(As<int64_t>(From<int32_t>(dtInteger, 5, {dtBcd, 8, 2})), 5002);
  EXPECT_EQ(As<int64_t>(From<uint16_t>(dtBoolean, 7, {dtBcd, 8, 2})), 1002);
  EXPECT_EQ(As<uint16_t>(From<int32_t>(dtInteger, 7, {dtBoolean})), 1);
  EXPECT_EQ(As<uint16_t>(From<uint16_t>(dtBoolean, 1, {dtWord})), 1);
  EXPECT_FALSE(From<double>(dtFloat, 1.0, {dtBoolean}));
  EXPECT_FALSE(From<int64_t>(dtBcd, 10, {dtBoolean}));
  EXPECT_DOUBLE_EQ(As<double>(From<int16_t>(dtSmallInt, -3, {dtFloat})), -3.0);
}

TEST_F(ExpEvalConvert, MomentsAndBytes) {
  const int32_t day = DateTimeToDayNumber(EncodeDate(2004, 1, 31));
  const double stamp = day * 86400000.0 + 3600000;
  EXPECT_DOUBLE_EQ(As<double>(From<int32_t>(dtDate, day, {dtTimeStamp})), day * 86400000.0);
  EXPECT_DOUBLE_EQ(As<double>(From<int32_t>(dtTime, 3600000, {dtTimeStamp})), 3600000.0);
  EXPECT_EQ(As<int32_t>(From<double>(dtTimeStamp, stamp, {dtTime})), 3600000);
  EXPECT_EQ(As<int32_t>(From<double>(dtTimeStamp, stamp, {dtDate})), day);
  EXPECT_FALSE(From<int32_t>(dtDate, day, {dtTime}));
  EXPECT_FALSE(From<int32_t>(dtInteger, day, {dtDate}));

  std::optional<std::vector<uint8_t>> bytes = From<int32_t>(dtInteger, 0x04030201, {dtBytes, 6});
  ASSERT_TRUE(bytes);
  EXPECT_EQ(std::vector<uint8_t>(bytes->begin(), bytes->begin() + 7), (std::vector<uint8_t>{1, 2, 3, 4, 0, 0, 0xEE}));
  EXPECT_FALSE(Convert(dtBytes, "ab", 3, {dtInteger}));
  EXPECT_EQ(Text(Convert(dtBytes, "ab", 3, {dtString, 5})), "ab");
}

TEST_F(ExpEvalConvert, InMemory) {
  auto node = [](uint8_t type, uint8_t scale = 0) {
    TExpTreePtr token(NewToken());
    token->DataType = type;
    token->Scale = scale;
    return token;
  };
  uint8_t out[8] = {};
  const double half = 2.5;
  ASSERT_TRUE(ConvertValueToType(*node(dtFloat), &half, *node(dtSmallInt), out));
  EXPECT_EQ(As<int16_t>(std::vector<uint8_t>(out, out + 8)), 2);
  const int32_t five = 5;
  ASSERT_TRUE(ConvertValueToType(*node(dtInteger), &five, *node(dtBcd, 2), out));
  EXPECT_EQ(As<int64_t>(std::vector<uint8_t>(out, out + 8)), 5002);
  EXPECT_FALSE(ConvertValueToType(*node(dtString), "5", *node(dtInteger), out));
  EXPECT_FALSE(ConvertValueToType(*node(dtInteger), &five, *node(dtTime), out));
  const double huge = 1e20;
  EXPECT_THROW(ConvertValueToType(*node(dtFloat), &huge, *node(dtInteger), out), EConvertError);
}

}  // namespace
