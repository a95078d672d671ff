#include "raScriptTestSupport.h"

namespace {

struct TValueCase {
  const char* Expression;
  int Value;
};

class PrecedenceTest : public testing::TestWithParam<TValueCase> {};

TEST_P(PrecedenceTest, EvaluatesWithTwoBinaryLevels) {
  EXPECT_EQ(raEvaluate(GetParam().Expression, "a, b: Integer;").AsInteger(), GetParam().Value) << GetParam().Expression;
}

INSTANTIATE_TEST_SUITE_P(Expressions, PrecedenceTest,
                         testing::Values(TValueCase{"1 + 2 * 3", 7}, TValueCase{"(1 + 2) * 3", 9},
                                         TValueCase{"2 * 3 + 1", 7}, TValueCase{"10 - 4 - 3", 3},
                                         TValueCase{"100 div 10 div 5", 2}, TValueCase{"-2 * 3 + 1", -5},
                                         TValueCase{"2 * -3 + 1", -5}, TValueCase{"5 - -1", 6},
                                         TValueCase{"+4 * (2 - (3 - 1) * 2)", -8},
                                         TValueCase{"((((7))))", 7}));

struct TCompileCase {
  const char* Declarations;
  const char* Body;
  int Code;  // -2: compiles
};

class ExpressionCompileTest : public testing::TestWithParam<TCompileCase> {};

TEST_P(ExpressionCompileTest, ChecksTypesAndStructure) {
  auto program = raCompileBlock(GetParam().Declarations, GetParam().Body);
  if (GetParam().Code == -2) {
    EXPECT_FALSE(program->HasErrors()) << GetParam().Body << ": " << program->SyntaxError(0).Message;
    return;
  }
  ASSERT_EQ(program->SyntaxErrorCount(), 1) << GetParam().Body;
  EXPECT_EQ(program->SyntaxError(0).Code, GetParam().Code) << GetParam().Body;
}

INSTANTIATE_TEST_SUITE_P(
    Expressions, ExpressionCompileTest,
    testing::Values(
        // Comparisons share the level of + and -.
        TCompileCase{"a, b, c: Integer;", "b := a = c + 1;", raIncompatibleTypes},
        TCompileCase{"a, c: Integer; b: Boolean;", "b := a = c + 1;", raIncompatibleTypes},
        TCompileCase{"a, c: Integer; b: Boolean;", "b := a = (c + 1);", -2},
        TCompileCase{"a, c: Integer; b: Boolean;", "b := a + 1 = c;", -2},
        TCompileCase{"x: Integer;", "x := 'a';", raIncompatibleTypes},
        TCompileCase{"x: Integer;", "x := (1 + 2));", raUnbalancedParenthesis},
        TCompileCase{"x: Integer;", "x := (1 + 2;", raMisplacedToken},
        TCompileCase{"x: Integer;", "x := -1;", -2},
        TCompileCase{"x: Integer; b: Boolean;", "b := x > 1.5;", -2},
        TCompileCase{"x: Integer; b: Boolean;", "b := x and b;", raIncompatibleTypes},
        TCompileCase{"s: String;", "s := s + 1;", raIncompatibleTypes},
        TCompileCase{"x: Integer;", "x := y;", raUndeclared},
        TCompileCase{"x: Integer;", "x := 1 2;", raMisplacedToken},
        TCompileCase{"x: Integer;", "x := ;", raExpectedToken},
        TCompileCase{"x: Integer;", "if x then x := 1;", raIncompatibleTypes},
        TCompileCase{"v: Variant; x: Integer;", "if v then x := v;", -2}));

TEST(Expressions, ComparisonsAreBooleanWhateverTheirOperands) {
  TraProgram program;
  program.SetSource("function F(s: String): Boolean;\r\nbegin Result := s = 'x'; end;");
  ASSERT_TRUE(program.Compile());
  static_cast<TraStringValue&>(program.Param(0).Bound()).Value = "x";
  EXPECT_EQ(program.Execute()->GetText(), "True");
}

TEST(Expressions, DeepNestingIsRefusedNotOverflowed) {
  const std::string deep = std::string(5000, '(') + "1" + std::string(5000, ')');
  auto program = raCompileBlock("x: Integer;", "x := " + deep + ";");
  ASSERT_EQ(program->SyntaxErrorCount(), 1);
  EXPECT_EQ(program->SyntaxError(0).Code, raMisplacedToken);
  std::string nested;
  for (int i = 0; i < 5000; ++i) nested += "begin ";
  for (int i = 0; i < 5000; ++i) nested += "end ";
  EXPECT_TRUE(raCompileBlock("", nested)->HasErrors());
}

TEST(Expressions, AppendingInPlaceKeepsTheOrderOfEvaluation) {
  EXPECT_EQ(raRunBlock("s: String;", "s := 'ab'; s := s + s; s := s + 'c' + 'd'; s := 'x' + s;", "s"), "xababcd");
}

}  // namespace
