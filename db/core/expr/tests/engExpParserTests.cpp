#include <gtest/gtest.h>

#include "engErrorCodes.h"
#include "engExpTestSupport.h"
#include "rtlDateTime.h"

namespace {

using ExpScannerTest = TExpFixture;
using ExpParserTest = TExpFixture;

std::vector<uint8_t> KindsOf(TExpressionParser& parser, const std::string& text) {
  std::vector<uint8_t> kinds;
  parser.SetText(text);
  while (parser.NextToken() != tkEnd) kinds.push_back(parser.TokenKind());
  return kinds;
}

TEST_F(ExpScannerTest, TokenKinds) {
  using K = std::vector<uint8_t>;
  EXPECT_EQ(KindsOf(parser, "Name [Job Owner] 'a' \"b\" #65 12 1.5 ( * ?"),
            (K{tkIdentifier, tkBracketName, tkString, tkString, tkCharConstant, tkInteger, tkNumber, '(', '*', '?'}));
  // A sign belongs to a number only after its exponent letter.
  EXPECT_EQ(KindsOf(parser, "1-2"), (K{tkNumber, '-', tkInteger}));
  EXPECT_EQ(KindsOf(parser, "1.5E-3"), (K{tkNumber}));
  EXPECT_EQ(KindsOf(parser, "1.2.3"), (K{tkNumber}));
  EXPECT_EQ(KindsOf(parser, ".5e+2.1"), (K{tkNumber, tkNumber}));
  EXPECT_EQ(KindsOf(parser, "12ab"), (K{tkInteger, tkIdentifier}));
  // One comment before a token; a second one right after scans as "/".
  EXPECT_EQ(KindsOf(parser, "a/* x *//* y */b"), (K{tkIdentifier, '/', '*', tkIdentifier, '*', '/', tkIdentifier}));
  EXPECT_EQ(KindsOf(parser, "  /* only */  "), K{});
}

TEST_F(ExpScannerTest, DecimalSeparatorOfTheLanguage) {
  using K = std::vector<uint8_t>;
  EXPECT_EQ(KindsOf(parser, "1,5"), (K{tkInteger, ',', tkInteger}));
  UseLanguage(0x0407);  // German: decimal comma
  EXPECT_EQ(KindsOf(parser, "1,5"), (K{tkNumber}));
  EXPECT_EQ(KindsOf(parser, "1.5"), (K{tkInteger, '.', tkInteger}));
  EXPECT_EQ(ParseAndCheck("Ratio = 1,5")->Second->AsFloat(), 1.5);
}

TEST_F(ExpScannerTest, TokenTextOffsetsAndMarks) {
  parser.SetText("  'O''Br\"\"ien' [a''b] ab" + std::string(300, 'x') + " \r\n  x+y  z");
  parser.NextToken();
  EXPECT_EQ(parser.GetTokenOffset(), 2);
  EXPECT_EQ(parser.TokenText(), "O'Br\"ien");
  parser.NextToken();
  EXPECT_EQ(parser.TokenText(), "a'b");
  parser.NextToken();
  parser.MarkClauseStart();
  EXPECT_EQ(parser.TokenText(), "ab" + std::string(253, 'x'));
  EXPECT_TRUE(parser.IsKeyword("AB" + std::string(300, 'X')));
  parser.NextToken();  // x
  parser.NextToken();  // +
  parser.NextToken();  // y
  parser.NextToken();  // z
  std::string marked;
  parser.GetMarkedText(marked);
  EXPECT_EQ(marked.size(), 255u);
  parser.SetText("a +\r\nb c");
  parser.NextToken();
  parser.MarkClauseStart();
  for (int i = 0; i < 3; ++i) parser.NextToken();
  parser.GetMarkedText(marked);
  EXPECT_EQ(marked, "a +b");
  EXPECT_EQ(parser.NextToken(), tkEnd);
  EXPECT_EQ(parser.NextToken(), tkEnd);
}

TEST_F(ExpScannerTest, LongTokensAreNotCutInsideACharacter) {
  parser.SetText("'" + std::string(254, 'a') + "\xC3\xA9'");
  parser.NextToken();
  EXPECT_EQ(parser.TokenText(), std::string(254, 'a'));
}

TEST_F(ExpParserTest, PrecedenceAndAssociativity) {
  EXPECT_EQ(Render(Parse("a OR b AND c")), "(a OR (b AND c))");
  EXPECT_EQ(Render(Parse("a AND b OR c AND d")), "((a AND b) OR (c AND d))");
  EXPECT_EQ(Render(Parse("NOT a = 1 AND b")), "((NOT (a = 1)) AND b)");
  EXPECT_EQ(Render(Parse("a - b - c")), "((a - b) - c)");
  EXPECT_EQ(Render(Parse("a + b * c / d")), "(a + ((b * c) / d))");
  EXPECT_EQ(Render(Parse("-a * +b")), "((- a) * (+ b))");
  EXPECT_EQ(Render(Parse("(a + b) * c")), "((a + b) * c)");
  EXPECT_EQ(Render(Parse("a || b + c")), "((a || b) + c)");
  EXPECT_EQ(Render(Parse("a < > b")), "(a < > b)");
  EXPECT_EQ(Render(Parse("a<=b")), "(a < = b)");
  EXPECT_EQ(Render(Parse("a >= b")), "(a > = b)");
  // One comparison per predicate; the rest is left for the caller.
  EXPECT_EQ(Render(Parse("a = b = c")), "(a = b)");
  EXPECT_TRUE(parser.IsTokenType('='));
  Parse("Pages = 1 stray");
  EXPECT_TRUE(parser.IsKeyword("stray"));
  // A second NOT reaches the primary level as a column name.
  EXPECT_EQ(Render(Parse("NOT NOT")), "(NOT NOT)");
}

TEST_F(ExpParserTest, OperatorCodesAndTypes) {
  // The symbol is the operator's words as written (messages quote it).
  struct Case {
    const char* text;
    uint8_t kind, code, type;
    const char* symbol;
  } cases[] = {
      {"a = b", nkBinary, opEqual, dtBoolean, "="},
      {"a <> b", nkBinary, opNotEqual, dtBoolean, "< >"},
      {"a > b", nkBinary, opGreater, dtBoolean, ">"},
      {"a < b", nkBinary, opLess, dtBoolean, "<"},
      {"a >= b", nkBinary, opGreaterEqual, dtBoolean, "> ="},
      {"a <= b", nkBinary, opLessEqual, dtBoolean, "< ="},
      {"NOT a", nkUnary, opNot, dtBoolean, "NOT"},
      {"a and b", nkBinary, opAnd, dtBoolean, "and"},
      {"a OR b", nkBinary, opOr, dtBoolean, "OR"},
      {"-1", nkUnary, opNegate, dtInteger, "-"},
      {"+1.5", nkUnary, opUnaryPlus, dtFloat, "+"},
      {"1 + a", nkBinary, opAdd, dtInteger, "+"},
      {"a || b", nkBinary, opAdd, dtNone, "||"},
      {"2.5 - a", nkBinary, opSubtract, dtFloat, "-"},
      {"a * b", nkBinary, opMultiply, dtNone, "*"},
      {"a / b", nkBinary, opDivide, dtNone, "/"},
      {"'x' + 'y' = 'xy'", nkBinary, opEqual, dtBoolean, "="},
      {"a LIKE 'x%'", nkPredicate, opLike, dtBoolean, "LIKE"},
      {"a NOT LIKE 'x'", nkPredicate, opNotLike, dtBoolean, "NOT LIKE"},
      {"a IN (1)", nkPredicate, opIn, dtBoolean, "IN"},
      {"a NOT IN (1)", nkPredicate, opNotIn, dtBoolean, "NOT IN"},
      {"a BETWEEN 1 AND 2", nkPredicate, opBetween, dtBoolean, "BETWEEN"},
      {"a NOT BETWEEN 1 AND 2", nkPredicate, opNotBetween, dtBoolean, "NOT BETWEEN"},
  };
  for (const Case& c : cases) {
    TExpToken* root = Parse(c.text);
    EXPECT_EQ(root->Kind, c.kind) << c.text;
    EXPECT_EQ(root->Code, c.code) << c.text;
    EXPECT_EQ(root->DataType, c.type) << c.text;
    EXPECT_EQ(root->Text, c.symbol) << c.text;
  }
}

TEST_F(ExpParserTest, PredicatesAndLists) {
  EXPECT_EQ(Render(Parse("a IS NULL")), "(a IS NULL NULL)");
  EXPECT_EQ(tree->Code, opEqual);
  EXPECT_TRUE(tree->Second->IsNull);
  EXPECT_EQ(Render(Parse("a is not null")), "(a is not null NULL)");
  EXPECT_EQ(tree->Code, opNotEqual);
  EXPECT_EQ(Render(Parse("a IN (1, b + 2, 'x')")), "(a IN {1,(b + 2),x})");
  EXPECT_EQ(Render(Parse("a NOT BETWEEN 1 AND b * 2")), "(a NOT BETWEEN {1,(b * 2)})");
  EXPECT_EQ(tree->Second->Next->Parent, tree.get());
}

TEST_F(ExpParserTest, Constants) {
  TExpToken* root = Parse("Name = 'O''Brien'");
  EXPECT_STREQ(root->Second->AsText(), "O'Brien");
  EXPECT_EQ(root->Second->DataSize, 8);
  EXPECT_STREQ(Parse("\"O''Brien\"")->AsText(), "O'Brien");
  root = Parse("''");
  EXPECT_TRUE(root->IsNull);
  EXPECT_EQ(root->DataType, dtString);
  root = Parse("#65");
  EXPECT_STREQ(root->AsText(), "A");
  EXPECT_EQ(root->DataType, dtString);
  EXPECT_EQ(Parse("2147483647")->AsInteger(), 2147483647);
  EXPECT_DOUBLE_EQ(Parse("1.5E-3")->AsFloat(), 0.0015);
  EXPECT_TRUE(Parse("TRUE")->AsBoolean());
  EXPECT_EQ(tree->DataType, dtBoolean);
  EXPECT_FALSE(Parse("false")->AsBoolean());
  root = Parse("NULL");
  EXPECT_TRUE(root->IsNull);
  EXPECT_EQ(root->DataType, dtNone);
  EXPECT_TRUE(Parse("?", pfParams)->IsParam);
  EXPECT_EQ(Parse("*", pfAllColumns)->Kind, nkColumn);
  // Texts the run-time's conversions refuse raise its conversion error.
  EXPECT_THROW(Parse("4294967296"), EConvertError);
  EXPECT_THROW(Parse("1.2.3"), EConvertError);
  EXPECT_THROW(Parse("#"), EConvertError);
}

TDateTime FixedNow() { return EncodeDateTime(2004, 1, 31, 13, 14, 15, 160); }

TEST_F(ExpParserTest, CurrentDateAndTime) {
  TClockFunction previous = SetClock(FixedNow);
  int32_t day = Parse("CURRENT_DATE")->AsInteger();
  int32_t time = Parse("current_time")->AsInteger();
  double stamp = Parse("CURRENT_TIMESTAMP")->AsFloat();
  SetClock(previous);
  EXPECT_EQ(day, 731611);  // 693594 days to 1899-12-30, 38017 more to 2004-01-31
  EXPECT_EQ(time, ((13 * 60 + 14) * 60 + 15) * 1000 + 160);
  EXPECT_DOUBLE_EQ(stamp, 731611.0 * 86400000 + time);
}

TEST_F(ExpParserTest, ColumnsAndCorrelationNames) {
  TExpToken* root = Parse("J.Pages");
  EXPECT_EQ(root->Kind, nkColumn);
  EXPECT_EQ(root->Name, "Pages");
  EXPECT_EQ(root->CorrelationName, "J");
  EXPECT_EQ(root->Text, "J.Pages");
  root = Parse("\"J\".[Job Owner]");
  EXPECT_EQ(root->Name, "Job Owner");
  EXPECT_EQ(root->CorrelationName, "J");
  EXPECT_EQ(Parse("[J].*", pfAllColumns)->Name, "*");
  EXPECT_EQ(Parse("[Job Owner]")->Name, "Job Owner");
}

TEST_F(ExpParserTest, FunctionArguments) {
  EXPECT_EQ(Render(Parse("SUBSTRING(a FROM 2 FOR 3)")), "SUBSTRING(a, {2,3})");
  EXPECT_EQ(Render(Parse("REPLACE('x' WITH 'y' IN a)")), "REPLACE(a, {x,y})");
  EXPECT_EQ(Render(Parse("POS('x' IN a)")), "POS(a, x)");
  EXPECT_EQ(Render(Parse("TRIM(LEADING '0' FROM a)")), "TRIM(a, 0)");
  EXPECT_EQ(tree->Code, fnTrimLeading);
  EXPECT_EQ(Parse("TRIM(trailing ' ' FROM a)")->Code, fnTrimTrailing);
  EXPECT_EQ(Render(Parse("EXTRACT(DAYOFWEEK FROM a)")), "EXTRACT(a)");
  EXPECT_EQ(tree->Code, fnExtractDayOfWeek);
  EXPECT_EQ(Render(Parse("IF(a = 1 THEN b ELSE c)")), "IF((a = 1), b, c)");
  EXPECT_EQ(Render(Parse("ROUND(a TO 2)")), "ROUND(a, 2)");
  EXPECT_EQ(tree->DataType, dtFloat);
  EXPECT_EQ(Render(Parse("COUNT(*)", pfAggregates | pfAllColumns)), "COUNT(*)");
  EXPECT_EQ(tree->Code, fnCount);
  EXPECT_TRUE(IsUpperOfColumn(Parse("UPPER(a)")));
  EXPECT_FALSE(IsUpperOfColumn(Parse("UPPER('a')")));
  EXPECT_FALSE(IsUpperOfColumn(Parse("LOWER(a)")));
  EXPECT_EQ(AggregateCodeOf("avg"), fnAvg);
  EXPECT_EQ(AggregateCodeOf("Max"), fnMax);
  EXPECT_EQ(AggregateCodeOf("TOTAL"), 0);
}

TEST_F(ExpParserTest, DataTypes) {
  struct Case {
    const char* text;
    uint8_t type, subType;
    const char* rendered;
  } cases[] = {
      {"CAST(a AS DECIMAL(10, 2))", dtBcd, stNone, "CAST(a, {10,2})"},
      {"CAST(a AS DECIMAL(10))", dtBcd, stNone, "CAST(a, 10)"},
      {"CAST(a AS NUMERIC)", dtFloat, stNone, "CAST(a)"},
      {"CAST(a AS MONEY)", dtFloat, stMoney, "CAST(a)"},
      {"CAST(a AS AUTOINC)", dtInteger, stAutoInc, "CAST(a)"},
      {"CAST(a AS CHAR(5))", dtString, stNone, "CAST(a, 5)"},
      {"CAST(a AS BYTES)", dtBytes, stNone, "CAST(a)"},
      {"CAST(a AS BLOB(1, 1))", dtBlob, stNone, "CAST(a, {1,1})"},
      {"CAST(a = 1 AS WORD)", dtWord, stNone, "CAST((a = 1))"},
  };
  for (const Case& c : cases) {
    TExpToken* root = Parse(c.text);
    EXPECT_EQ(root->DataType, c.type) << c.text;
    EXPECT_EQ(root->SubType, c.subType) << c.text;
    EXPECT_EQ(Render(root), c.rendered);
  }
  TExpToken node;
  parser.SetText("NAME");
  parser.NextToken();
  EXPECT_FALSE(parser.ParseDataType(&node, 0, true));
  EXPECT_EQ(node.DataType, dtNone);
  EXPECT_TRUE(parser.IsKeyword("NAME"));
}

// Every parse error, by the text that raises it.
TEST_F(ExpParserTest, Messages) {
  struct Case {
    const char* text;
    uint8_t flags;
    const char* message;
  } cases[] = {
      {"a /* x", 4, "Missing ending comment slash and asterisk in filter expression"},
      {"'abc", 4, "Missing single quote after 'abc' in filter expression"},
      {"\"abc", 4, "Missing double quote after 'abc' in filter expression"},
      {"[abc", 4, "Missing right bracket after 'abc' in filter expression"},
      {"a BETWEEN 1 OR 2", 4, "Expected AND operator in BETWEEN operator, instead found 'OR' in filter expression"},
      {"a IN 1", 4, "Expected left parentheses after IN operator, instead found '1' in filter expression"},
      {"a NOT IN 1", 4, "Expected left parentheses for IN operator, instead found '1' in filter expression"},
      {"a IN (1, 2", 4, "Expected right parentheses after IN operator, instead found '' in filter expression"},
      {"a | b", 4,
       "Second concatenation symbol '|' expected after first concatentation symbol, instead found 'b' in filter "
       "expression"},
      {"a IN ()", 4, "You must provide at least one value as an operand of the IN operator  in filter expression"},
      {"a NOT b", 4, "Unknown or unexpected symbol 'b' found in filter expression"},
      {"a IS b", 4, "Unknown or unexpected symbol 'b' found in filter expression"},
      {"a IS NOT 1", 4, "Unknown or unexpected symbol '1' found in filter expression"},
      {"a LIKE 'x'", 0, "Extended predicate operators (LIKE, BETWEEN, IN, IS NULL) are not allowed in filter expression"},
      {"a IS NULL", 8, "Extended predicate operators (LIKE, BETWEEN, IN, IS NULL) are not allowed in filter expression"},
      {"a IN (SELECT b FROM t)", 4, "Sub-select queries are not allowed in filter expression"},
      {"(a = 1", 4, "Right parentheses expected, instead found '' in filter expression"},
      {"J.+", 4,
       "Symbol or string expression expected after table correlation name separator '.', instead found '+' in filter "
       "expression"},
      {"*", 4, "* (all columns) symbol is not allowed in filter expression"},
      {"J.*", 4, "* (all columns) symbol is not allowed in filter expression"},
      {"a = ?", 4, "Parameters are not allowed in filter expression"},
      {"#256", 4, "Character constants (#) must be within the range of 0 to 255 in filter expression"},
      {"Foo(1)", 4, "Unknown or unexpected function 'Foo' found in filter expression"},
      {")", 4, "Unknown or unexpected symbol ')' found in filter expression"},
      {"", 4, "Unknown or unexpected symbol '' found in filter expression"},
      {"--1", 4, "Unknown or unexpected symbol '-' found in filter expression"},
      {"SUM(a)", 4, "Aggregate functions are not allowed in filter expression"},
      {"sum a", 1, "Left parentheses expectedafter aggregate function 'sum', instead found 'a' in filter expression"},
      {"MAX(a b", 1, "Right parentheses expected after aggregate MAX function argument, instead found 'b' in filter expression"},
      {"COUNT(*)", 1, "* (all columns) symbol is not allowed in filter expression"},
      {"LOWER a", 4, "Left parentheses expectedafter LOWER keyword, instead found 'a' in filter expression"},
      {"LOWER(a", 4, "Right parentheses expected after LOWER function argument, instead found '' in filter expression"},
      {"UPPER a", 4, "Left parentheses expectedafter UPPER keyword, instead found 'a' in filter expression"},
      {"UPPER(a", 4, "Right parentheses expected after UPPER function argument, instead found '' in filter expression"},
      {"SUBSTRING a", 4, "Left parentheses expected after SUBSTRING keyword, instead found 'a' in filter expression"},
      {"SUBSTRING(a, 1)", 4, "FROM keyword expected after first SUBSTRING function argument, instead found ',' in filter expression"},
      {"SUBSTRING(a FROM 1, 2)", 4, "Right parentheses expected after SUBSTRING function arguments, instead found ',' in filter expression"},
      {"REPLACE a", 4, "Left parentheses expected after REPLACE keyword, instead found 'a' in filter expression"},
      {"REPLACE('x', 'y')", 4, "WITH keyword expected after first REPLACE function argument, instead found ',' in filter expression"},
      {"REPLACE('x' WITH 'y' FROM a)", 4, "IN keyword expected after second REPLACE function argument, instead found 'FROM' in filter expression"},
      {"REPLACE('x' WITH 'y' IN a b)", 4, "Right parentheses expected after REPLACE function arguments, instead found 'b' in filter expression"},
      {"POS a", 4, "Left parentheses expected after POS keyword, instead found 'a' in filter expression"},
      {"POS('x' a)", 4, "IN keyword expected after first POS function argument, instead found 'a' in filter expression"},
      {"POS('x' IN a b)", 4, "Right parentheses expected after POS function arguments, instead found 'b' in filter expression"},
      {"OCCURS a", 4, "Left parentheses expected after OCCURS keyword, instead found 'a' in filter expression"},
      {"OCCURS('x' a)", 4, "IN keyword expected after first OCCURS function argument, instead found 'a' in filter expression"},
      {"OCCURS('x' IN a b)", 4, "Right parentheses expected after OCCURS function arguments, instead found 'b' in filter expression"},
      {"CAST a", 4, "Left parentheses expected after CAST keyword, instead found 'a' in filter expression"},
      {"CAST(a TO INTEGER)", 4, "AS keyword expected after first CAST function argument, instead found 'TO' in filter expression"},
      {"CAST(a AS INTEGER b)", 4, "Right parentheses expected after CAST function arguments, instead found 'b' in filter expression"},
      {"TRIM a", 4, "Left parentheses expected after TRIM keyword, instead found 'a' in filter expression"},
      {"TRIM(' ' FROM a)", 4, "LEADING, TRAILING, or BOTH keyword expected after TRIM keyword, instead found ' ' in filter expression"},
      {"TRIM(BOTH ' ' IN a)", 4, "FROM keyword expected after second TRIM function argument, instead found 'IN' in filter expression"},
      {"TRIM(BOTH ' ' FROM a b)", 4, "Right parentheses expected after TRIM function arguments, instead found 'b' in filter expression"},
      {"EXTRACT a", 4, "Left parentheses expected after EXTRACT keyword, instead found 'a' in filter expression"},
      {"EXTRACT(WEEK FROM a)", 4,
       "YEAR, MONTH, DAY, DAYOFWEEK, HOUR, MINUTE, or SECOND keyword expected after EXTRACT keyword, instead found "
       "'WEEK' in filter expression"},
      {"EXTRACT(YEAR IN a)", 4, "FROM keyword expected after second EXTRACT function argument, instead found 'IN' in filter expression"},
      {"EXTRACT(YEAR FROM a b)", 4, "Right parentheses expected after EXTRACT function arguments, instead found 'b' in filter expression"},
      {"ABS a", 4, "Left parentheses expectedafter ABS keyword, instead found 'a' in filter expression"},
      {"ABS(a b)", 4, "Right parentheses expected after ABS function argument, instead found 'b' in filter expression"},
      {"ROUND a", 4, "Left parentheses expectedafter ROUND keyword, instead found 'a' in filter expression"},
      {"ROUND(a, 2)", 4, "Right parentheses expected after ROUND function arguments, instead found ',' in filter expression"},
      {"IF a", 4, "Left parentheses expectedafter IF keyword, instead found 'a' in filter expression"},
      {"IF(a, b, c)", 4, "THEN keyword expected after first IF function argument, instead found ',' in filter expression"},
      {"IF(a THEN b, c)", 4, "ELSE keyword expected after second IF function argument, instead found ',' in filter expression"},
      {"IF(a THEN b ELSE c d)", 4, "Right parentheses expected after IF function arguments, instead found 'd' in filter expression"},
      {"CAST(a AS DECIMAL(10 2))", 4, "Comma expected after first DECIMAL argument, instead found '2' in filter expression"},
      {"CAST(a AS DECIMAL(10, 2 3))", 4, "Right parentheses expected after DECIMAL data type arguments, instead found '3' in filter expression"},
      {"CAST(a AS NUMERIC(10 2))", 4, "Comma expected after first NUMERIC argument, instead found '2' in filter expression"},
      {"CAST(a AS NUMERIC(10, 2 3))", 4, "Right parentheses expected after NUMERIC data type arguments, instead found '3' in filter expression"},
      {"CAST(a AS FLOAT(10 2))", 4, "Comma expected after first FLOAT argument, instead found '2' in filter expression"},
      {"CAST(a AS FLOAT(10, 2 3))", 4, "Right parentheses expected after FLOAT data type arguments, instead found '3' in filter expression"},
      {"CAST(a AS CHAR)", 4, "Left parentheses expected after CHARACTER or CHAR data type, instead found ')' in filter expression"},
      {"CAST(a AS CHARACTER(5 6))", 4, "Right parentheses expected after CHARACTER or CHAR data type arguments, instead found '6' in filter expression"},
      {"CAST(a AS VARCHAR 5)", 4, "Left parentheses expected after VARCHAR data type, instead found '5' in filter expression"},
      {"CAST(a AS VARCHAR(5 6))", 4, "Right parentheses expected after VARCHAR data type arguments, instead found '6' in filter expression"},
      {"CAST(a AS BYTES(5 6))", 4, "Right parentheses expected after BYTES data type arguments, instead found '6' in filter expression"},
      {"CAST(a AS BLOB)", 4, "Left parentheses expected after BLOB data type, instead found ')' in filter expression"},
      {"CAST(a AS BLOB(1 1))", 4, "Comma expected after first BLOB argument, instead found '1' in filter expression"},
      {"CAST(a AS BLOB(1, 1 1))", 4, "Right parentheses expected after BLOB data type arguments, instead found '1' in filter expression"},
      {"CAST(a AS TEXT)", 4, "SQL data type keyword expected, instead found 'TEXT' in filter expression"},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseError(c.text, c.flags), c.message) << c.text;
}

TEST_F(ExpParserTest, NestingIsBounded) {
  const std::string tooDeep = "Expression nested too deeply in filter expression";
  std::string nested = std::string(MaxParseNesting - 1, '(') + "1" + std::string(MaxParseNesting - 1, ')');
  EXPECT_EQ(ParseError(nested), "no error");
  EXPECT_EQ(ParseError("(" + nested + ")"), tooDeep);
  EXPECT_EQ(ParseError(std::string(100000, '(') + "1"), tooDeep);
  EXPECT_EQ(ParseError(std::string(100000, '-') + "1"), "Unknown or unexpected symbol '-' found in filter expression");
  std::string chain = "1";
  for (int i = 1; i < MaxTreeHeight; ++i) chain += "+1";
  EXPECT_EQ(ParseError(chain), "no error");
  EXPECT_EQ(ParseError(chain + "+1"), tooDeep);
  EXPECT_EQ(ParseError("a IN (2, " + chain + ")"), tooDeep);
}

TEST_F(ExpParserTest, NestedSelectGoesThroughTheOwner) {
  TExpToken* root = Parse("x NOT IN (SELECT y FROM t) AND z", pfExtended | pfSubSelect);
  EXPECT_EQ(Render(root), "((x NOT IN SELECT) AND z)");
  EXPECT_EQ(root->First->Code, opNotInSelect);
  EXPECT_EQ(root->First->Second->Kind, nkSubSelect);
  EXPECT_EQ(root->First->Second->NestedQuery, &query);
  TExpressionParser cursorParser(nullptr);
  cursorParser.ErrorCode = EngErrFilter;
  cursorParser.TableName = "JOBS";
  cursorParser.ContextName = "filter expression";
  cursorParser.SetText("x IN (SELECT y FROM t)");
  cursorParser.NextToken();
  EXPECT_EQ(ErrorOf([&] { cursorParser.ParseOrExpression(pfExtended | pfSubSelect); }),
            "Sub-select queries are not allowed in filter expression");
}

}  // namespace
