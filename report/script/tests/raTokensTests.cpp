#include <gtest/gtest.h>

#include "raTokens.h"

namespace {

struct TTokenCase {
  const char* Source;
  std::vector<std::pair<TraTokenType, std::string>> Tokens;
};

class TokenizeTest : public testing::TestWithParam<TTokenCase> {};

TEST_P(TokenizeTest, CutsTheSourceIntoTokens) {
  TraParser parser;
  parser.Tokenize(GetParam().Source);
  std::vector<std::pair<TraTokenType, std::string>> tokens;
  for (int i = 0; i < parser.TokenCount(); ++i) tokens.emplace_back(parser.Token(i).Kind, parser.Token(i).Text);
  EXPECT_EQ(tokens, GetParam().Tokens);
}

INSTANTIATE_TEST_SUITE_P(
    Tokens, TokenizeTest,
    testing::Values(
        TTokenCase{"a^b", {{ttIdentifier, "a"}, {ttError, "^"}, {ttIdentifier, "b"}}},
        TTokenCase{"1..5", {{ttNumber, "1"}, {ttDotDot, ".."}, {ttNumber, "5"}}},
        TTokenCase{"1.5", {{ttNumber, "1.5"}}},
        TTokenCase{"'it''s'", {{ttString, "it's"}}},
        TTokenCase{"x := 'open\r\ny", {{ttIdentifier, "x"}, {ttColonEqual, ":="}, {ttError, "'open"}, {ttIdentifier, "y"}}},
        TTokenCase{"BeGiN bEgIn", {{ttBegin, "BeGiN"}, {ttBegin, "bEgIn"}}},
        TTokenCase{"<> < >", {{ttNe, "<>"}, {ttLt, "<"}, {ttGt, ">"}}},
        TTokenCase{"a<=b>=c:=d.e", {{ttIdentifier, "a"}, {ttLe, "<="}, {ttIdentifier, "b"}, {ttGe, ">="},
                                    {ttIdentifier, "c"}, {ttColonEqual, ":="}, {ttIdentifier, "d"}, {ttPeriod, "."},
                                    {ttIdentifier, "e"}}},
        TTokenCase{"x1_y {note} 2E5 99999999999", {{ttIdentifier, "x1_y"}, {ttError, "2E5"}, {ttError, "99999999999"}}},
        TTokenCase{"1.5e2 \"q\"", {{ttNumber, "1.5e2"}, {ttError, "\""}, {ttIdentifier, "q"}, {ttError, "\""}}},
        TTokenCase{"1.5e99999 2.5E-3 7.", {{ttError, "1.5e99999"}, {ttNumber, "2.5E-3"}, {ttNumber, "7."}}}));

TEST(Tokens, TypeWordsCarryTheirDataType) {
  struct {
    const char* Word;
    TraDataType Type;
  } cases[] = {{"TColor", daInteger}, {"string", daString}, {"TDate", daDate}, {"Variant", daVariant},
               {"boolean", daBoolean}, {"Extended", daExtended}};
  for (const auto& c : cases) {
    TraParser parser;
    parser.Tokenize(c.Word);
    ASSERT_EQ(parser.TokenCount(), 1) << c.Word;
    EXPECT_EQ(parser.Token(0).Kind, ttType) << c.Word;
    EXPECT_EQ(parser.Token(0).DataType, c.Type) << c.Word;
  }
}

TEST(Tokens, NumbersKeepTheirValues) {
  TraParser parser;
  parser.Tokenize("42 0.25 1..2");
  EXPECT_EQ(parser.Token(0).IntegerValue, 42);
  EXPECT_EQ(parser.Token(0).DataType, daInteger);
  EXPECT_EQ(parser.Token(1).FloatValue, 0.25L);
  EXPECT_EQ(parser.Token(1).DataType, daExtended);
  EXPECT_EQ(parser.Token(2).DataType, daInteger);
}

TEST(Tokens, LinesAndColumnsFollowTheSource) {
  for (const char* lineBreak : {"\r\n", "\n", "\r"}) {
    const std::string br = lineBreak;
    TraParser parser;
    // A comment over three lines moves the following line by two.
    parser.Tokenize("a {one" + br + "two" + br + "three} b" + br + "  c ^");
    ASSERT_EQ(parser.TokenCount(), 4);
    EXPECT_EQ(parser.Token(0).Line, 1);
    EXPECT_EQ(parser.Token(1).Line, 3) << "break " << testing::PrintToString(br);
    EXPECT_EQ(parser.Token(2).Line, 4);
    EXPECT_EQ(parser.Token(2).Column, 2);
    EXPECT_EQ(parser.ErrorTokenCount(), 1);
    EXPECT_EQ(parser.ErrorToken(0).Column, 4);
  }
}

TEST(Tokens, ReservedListHasEveryWordAndSymbol) {
  const char* entries[] = {"^", "*", "(", ")", "-", "+", "=", "[", "]", ":", ";", "<", ">", ",", ".", "/",
                           ":=", "<=", ">=", "<>", "..", "and", "as", "begin", "case", "const", "div", "do",
                           "downto", "else", "end", "for", "function", "if", "in", "is", "mod", "not", "of",
                           "or", "procedure", "repeat", "then", "to", "until", "var", "while"};
  ASSERT_EQ(std::size(entries), 47u);
  for (const char* entry : entries) {
    TraTokenType kind = ttUnknown;
    EXPECT_TRUE(raReservedWord(entry, kind)) << entry;
    EXPECT_EQ(raTokenKindName(kind), std::string("'") + entry + "'");
  }
  TraTokenType kind;
  EXPECT_FALSE(raReservedWord("result", kind));
  EXPECT_EQ(raTokenKindName(ttIdentifier), "identifier");
  EXPECT_EQ(raTokenKindName(ttOperator), "operator");
}

TEST(Tokens, CharacterClasses) {
  struct {
    unsigned char Byte;
    TraCharClass Class;
  } cases[] = {{'A', ccWord}, {'_', ccWord}, {0xC3, ccWord}, {0xFF, ccWord}, {'7', ccDigit}, {'[', ccSpecial},
               {'\'', ccQuote}, {'\t', ccWhiteSpace}, {'\n', ccWhiteSpace}, {'{', ccComment}, {'}', ccError},
               {'^', ccError}, {'~', ccError}, {0, ccError}, {11, ccError}, {127, ccError}};
  for (const auto& c : cases) EXPECT_EQ(raCharClass(c.Byte), c.Class) << int(c.Byte);
  // Bytes of UTF-8 text belong to words.
  TraParser parser;
  parser.Tokenize("Größe := 1");
  ASSERT_EQ(parser.TokenCount(), 3);
  EXPECT_EQ(parser.Token(0).Text, "Größe");
}

TEST(Tokens, DescriptionsAndKeptComments) {
  TraParser parser;
  parser.Options = {.DiscardComments = false, .StripQuotes = false};
  parser.Tokenize("'it''s' Total end 12 2.75 := ^ {a comment longer than ten} {short}");
  std::vector<std::string> descriptions;
  for (int i = 0; i < parser.TokenCount(); ++i) descriptions.push_back(parser.Token(i).Description());
  EXPECT_EQ(descriptions, (std::vector<std::string>{"string: 'it''s'", "identifier: Total", "reserved word: end",
                                                    "integer: 12", "float: 2", "special: :=", "error: ^",
                                                    "comment: {a comment ...}", "comment: {short}"}));
}

TEST(Tokens, ErrorTextsNameWhatWasExpectedAndFound) {
  TraToken found;
  found.Text = "end";
  const std::string one = raErrorText(&found, {ttSemiColon}, raExpectedToken);
  EXPECT_NE(one.find("';'"), std::string::npos);
  EXPECT_NE(one.find("end"), std::string::npos);
  const std::string three = raErrorText(&found, {ttIdentifier, ttNumber, ttSemiColon}, raExpectedToken);
  EXPECT_NE(three.find("identifier, number"), std::string::npos) << three;
  EXPECT_NE(three.find("';'"), std::string::npos);
  found.Text = "Foo";
  EXPECT_NE(raErrorText(&found, {}, raUndeclared).find("'Foo'"), std::string::npos);
  EXPECT_EQ(raErrorText(&found, {}, 14), "");
  EXPECT_FALSE(raErrorText(nullptr, {}, raUnexpectedEnd).empty());
}

}  // namespace
