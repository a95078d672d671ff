#include <cmath>

#include "raFunctions.h"
#include "raScriptTestSupport.h"
#include "rtlDateTime.h"
#include "uiDialogs.h"

namespace {

struct TCallCase {
  const char* Expression;
  const char* Text;
};

class BuiltInTest : public testing::TestWithParam<TCallCase> {};

TEST_P(BuiltInTest, GivesTheStandardResult) {
  EXPECT_EQ(raEvaluate(GetParam().Expression).AsString(), GetParam().Text) << GetParam().Expression;
}

INSTANTIATE_TEST_SUITE_P(
    Functions, BuiltInTest,
    testing::Values(TCallCase{"Round(2.5)", "2"}, TCallCase{"Round(3.5)", "4"}, TCallCase{"Round(-2.5)", "-2"},
                    TCallCase{"Round(2.6)", "3"}, TCallCase{"Trunc(-2.7)", "-2"},
                    TCallCase{"Copy('abcdef', 2, 3)", "bcd"}, TCallCase{"Copy('abcdef', 5, 10)", "ef"},
                    TCallCase{"Copy('abcdef', 0, 2)", "ab"}, TCallCase{"Copy('abc', 9, 1)", ""},
                    TCallCase{"DayOfWeek(EncodeDate(2024, 1, 7))", "1"}, TCallCase{"StrToIntDef('x', 5)", "5"},
                    TCallCase{"StrToIntDef('42', 5)", "42"}, TCallCase{"StrToInt(' 12')", "12"},
                    TCallCase{"Capitalize('hello big_world')", "Hello Big World"},
                    TCallCase{"Length('abcd')", "4"}, TCallCase{"Pos('cd', 'abcdcd')", "3"},
                    TCallCase{"Pos('x', 'abc')", "0"}, TCallCase{"UpperCase('aBc')", "ABC"},
                    TCallCase{"LowerCase('aBc')", "abc"}, TCallCase{"CompareText('abc', 'ABD') < 0", "True"},
                    TCallCase{"IntToStr(-12)", "-12"}, TCallCase{"FloatToStr(0.5)", "0.5"},
                    TCallCase{"CurrToStr(StrToCurr('1.5'))", "1.5"},
                    TCallCase{"FormatFloat('0.00', 3.14159)", "3.14"},
                    TCallCase{"FormatCurr('#,##0.00', 1234.5)", "1,234.50"},
                    TCallCase{"FormatDateTime('yyyy-mm-dd', EncodeDate(2024, 2, 29))", "2024-02-29"},
                    TCallCase{"DateToStr(StrToDate('2024-03-01'))", "2024-03-01"},
                    TCallCase{"FormatMaskText('(000) 000-0000;0;_', '5551234567')", "(555) 123-4567"},
                    TCallCase{"Sqr(3)", "9"}, TCallCase{"Sqrt(16)", "4"}, TCallCase{"Int(-2.5)", "-2"},
                    TCallCase{"Frac(2.25)", "0.25"}, TCallCase{"IntPower(2, 10)", "1024"},
                    TCallCase{"Power(9, 0.5)", "3"}, TCallCase{"Exp(0) + Cos(0) + Sin(0)", "2"},
                    TCallCase{"Round(ArcTan(1) * 4 * 1000)", "3142"}, TCallCase{"Ln(1)", "0"}));

TEST(Functions, ConversionAndDomainErrorsEndTheProgram) {
  struct {
    const char* Body;
  } cases[] = {{"i := StrToInt('x');"}, {"e := Sqrt(-1);"}, {"e := Ln(0);"}, {"e := Ln(-1);"},
               {"e := Power(-8, 0.5);"}, {"e := Cotan(0);"}, {"i := Round(1.0e12);"}, {"i := Trunc(-1.0e12);"},
               {"e := StrToFloat('1,2,3');"}, {"d := EncodeDate(2023, 2, 29);"}};
  for (const auto& c : cases) {
    auto program = raCompileBlock("i: Integer; e: Extended; d: DateTime;", c.Body);
    ASSERT_FALSE(program->HasErrors()) << c.Body << ": " << program->SyntaxError(0).Message;
    EXPECT_THROW(program->Execute(), Exception) << c.Body;
  }
}

TEST(Functions, ProceduresChangeTheirVarArguments) {
  EXPECT_EQ(raRunBlock("s: String;", "s := 'abcdef'; Delete(s, 2, 3);", "s"), "aef");
  EXPECT_EQ(raRunBlock("s: String;", "s := 'abef'; Insert('cd', s, 3);", "s"), "abcdef");
  EXPECT_EQ(raRunBlock("s: String;", "s := 'ab'; Insert('x', s, 99);", "s"), "abx");
  EXPECT_EQ(raRunBlock("y, m, d: Integer;", "DecodeDate(EncodeDate(2024, 5, 17), y, m, d); y := y * 10000 + m * 100 + d;", "y"),
            "20240517");
  EXPECT_EQ(raRunBlock("h, m, s, ms: Integer;", "DecodeTime(EncodeTime(13, 45, 7, 250), h, m, s, ms); h := h + m + s + ms;", "h"),
            "315");
  // A procedure is no function: it cannot stand in an expression.
  auto program = raCompileBlock("x: Integer; s: String;", "x := Delete(s, 1, 2);");
  ASSERT_EQ(program->SyntaxErrorCount(), 1);
  EXPECT_EQ(program->SyntaxError(0).Code, raUndeclared);
  // A value argument is never changed by the routine.
  EXPECT_EQ(raRunBlock("s, t: String;", "s := 'abc'; t := UpperCase(s);", "s"), "abc");
}

TEST(Functions, CurrentTimeHasNoDatePart) {
  const Variant time = raEvaluate("CurrentTime");
  EXPECT_EQ(std::floor(time.AsFloat()), 0);
  EXPECT_EQ(std::floor(raEvaluate("CurrentDate").AsFloat()), std::floor(Date()));
}

TEST(Functions, ArgumentsAreCheckedAgainstTheDeclaration) {
  EXPECT_EQ(raFirstError(*raCompileBlock("s: String;", "s := Copy(1, 2, 3);")), std::to_string(raIncompatibleTypes));
  EXPECT_EQ(raFirstError(*raCompileBlock("s: String;", "s := Copy('a', 2);")), std::to_string(raExpectedToken));
  EXPECT_EQ(raFirstError(*raCompileBlock("", "MessageBeep;")), "none");
  EXPECT_EQ(raFirstError(*raCompileBlock("", "MessageBeep();")), std::to_string(raExpectedToken));
}

TEST(Functions, ShowMessageGoesThroughTheMessageRunner) {
  std::string shown;
  SetMessageBoxRunner([&](const TMessageBoxRequest& request) {
    shown = request.Text;
    return mrOk;
  });
  raCompileBlock("", "ShowMessage('Done');")->Execute();
  SetMessageBoxRunner(nullptr);
  EXPECT_EQ(shown, "Done");
}

TEST(Functions, RegistryHoldsTheRoutinesInOrderAndTakesReplacements) {
  const std::vector<std::string> names = raSystemFunctionNames();
  ASSERT_EQ(names.size(), 54u);
  EXPECT_EQ(names.front(), "Capitalize");
  EXPECT_EQ(names.back(), "ShowMessage");
  TraRoutine routine;
  ASSERT_TRUE(raFindRoutine("delete", routine));
  EXPECT_FALSE(routine.Signature->IsFunction);
  ASSERT_EQ(routine.Signature->Parameters.size(), 3u);
  EXPECT_TRUE(routine.Signature->Parameters[0].IsVar);
  EXPECT_FALSE(raFindFunction("Delete", routine));
  ASSERT_TRUE(raFindFunction("CurrentDate", routine));
  EXPECT_FALSE(routine.Signature->HasParameters());
  EXPECT_EQ(routine.Signature->ResultType, daDate);

  raRegisterSystemFunction("Twice", {fcMath, "function Twice(X: Integer): Integer;",
                                     [](TraValue* const* p, TraValue* r) {
                                       static_cast<TraIntegerValue*>(r)->Value = static_cast<TraIntegerValue*>(p[0])->Value * 2;
                                     }});
  EXPECT_EQ(raEvaluate("Twice(21)").AsInteger(), 42);
  raRegisterSystemFunction("Twice", {fcMath, "function Twice(X: Integer): Integer;",
                                     [](TraValue* const*, TraValue* r) { static_cast<TraIntegerValue*>(r)->Value = -1; }});
  EXPECT_EQ(raEvaluate("Twice(21)").AsInteger(), -1);
  raUnregisterSystemFunction("Twice");
  EXPECT_FALSE(raFindRoutine("Twice", routine));
  EXPECT_EQ(raSystemFunctionNames().size(), 54u);
  raRegisterSystemFunction("Broken", {fcMath, "function Broken(: Integer;", nullptr});
  EXPECT_THROW(raFindRoutine("Broken", routine), EScriptError);
  // A program using it is left uncompiled, and compiles once it is gone.
  TraProgram program;
  program.SetSource("procedure P; var i: Integer; begin i := Broken(1); end;");
  EXPECT_THROW(program.Compile(), EScriptError);
  EXPECT_FALSE(program.IsCompiling());
  EXPECT_FALSE(program.IsCompiled());
  raUnregisterSystemFunction("Broken");
  EXPECT_FALSE(program.Compile());
  EXPECT_EQ(raFirstError(program), std::to_string(raUndeclared));
  EXPECT_EQ(raCategoryName(fcUtility), "Utility");
}

}  // namespace
