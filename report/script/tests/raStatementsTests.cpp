#include <atomic>
#include <thread>

#include "raScriptTestSupport.h"

namespace {

struct TStatementCase {
  const char* Declarations;
  const char* Body;
  const char* Variable;
  const char* Text;
};

class StatementTest : public testing::TestWithParam<TStatementCase> {};

TEST_P(StatementTest, RunsAsWritten) {
  EXPECT_EQ(raRunBlock(GetParam().Declarations, GetParam().Body, GetParam().Variable), GetParam().Text) << GetParam().Body;
}

const char* caseBody(int n) {
  static std::string bodies[10];
  bodies[n] = "n := " + std::to_string(n) + "; r := 0;\r\ncase n of 1..3: r := 1; 5: r := 5; else: r := 9; end;";
  return bodies[n].c_str();
}

INSTANTIATE_TEST_SUITE_P(
    Statements, StatementTest,
    testing::Values(
        TStatementCase{"i: Integer; s: String;", "for i := 3 downto 1 do s := s + IntToStr(i);", "s", "321"},
        TStatementCase{"i: Integer; s: String;", "for i := 3 downto 1 do s := s + IntToStr(i);", "i", "0"},
        TStatementCase{"i, n: Integer;", "n := 5; for i := 1 to 0 do n := 0;", "i", "1"},
        TStatementCase{"i, n: Integer;", "n := 5; for i := 1 to 0 do n := 0;", "n", "5"},
        TStatementCase{"i, n: Integer;", "for i := 1 to 4 do begin n := n + i; n := n * 2 end;", "n", "52"},
        // Loops reaching the ends of the Integer range stop there.
        TStatementCase{"i, n: Integer;", "for i := 2147483645 to 2147483647 do n := n + 1;", "n", "3"},
        TStatementCase{"i, n: Integer;", "for i := 2147483645 to 2147483647 do n := n + 1;", "i", "2147483647"},
        TStatementCase{"i, n: Integer;", "for i := -2147483647 - 1 + 2 downto -2147483647 - 1 do n := n + 1;", "n", "3"},
        TStatementCase{"n, r: Integer;", caseBody(2), "r", "1"},
        TStatementCase{"n, r: Integer;", caseBody(4), "r", "9"},
        TStatementCase{"n, r: Integer;", caseBody(5), "r", "5"},
        TStatementCase{"n, r: Integer;", caseBody(3), "r", "1"},
        TStatementCase{"n, r: Integer;", "n := 7; case n of 1, 7, 9: r := 2; end;", "r", "2"},
        TStatementCase{"n, r: Integer;", "n := 8; r := 4; case n of 1, 7, 9: r := 2; end;", "r", "4"},
        TStatementCase{"n, r: Integer;", "n := -3; case n of -5..-1: begin r := 1; r := r + 1 end end;", "r", "2"},
        TStatementCase{"n, r: Integer;", "n := 255; case n of clRed: r := 1 else r := 2 end;", "r", "1"},
        TStatementCase{"n: Integer;", "n := 1; if n > 5 then n := 2;", "n", "1"},
        TStatementCase{"n: Integer;", "if n = 0 then n := 2 else n := 3;", "n", "2"},
        TStatementCase{"n: Integer;", "if n = 1 then n := 2 else if n = 0 then n := 3 else n := 4;", "n", "3"},
        TStatementCase{"n: Integer;", "repeat n := n + 1 until true;", "n", "1"},
        TStatementCase{"n: Integer;", "repeat n := n + 1; n := n * 3 until n > 30;", "n", "39"},
        TStatementCase{"n: Integer;", "while n < 10 do n := n + 3;", "n", "12"},
        TStatementCase{"n: Integer;", "while n < 0 do n := 1;", "n", "0"}));

TEST(Statements, EndlessLoopsEndWithTheBudgetsError) {
  for (const char* body : {"while true do ;", "while true do n := n + 1;", "repeat until false;"}) {
    auto program = raCompileBlock("n: Integer;", body);
    ASSERT_FALSE(program->HasErrors()) << body;
    try {
      program->Execute({.StepBudget = 10000});
      ADD_FAILURE() << body << " ended";
    } catch (const EScriptError& error) {
      EXPECT_NE(error.Message.find("10000 steps"), std::string::npos) << error.Message;
    }
    // The program is not left marked as running.
    EXPECT_FALSE(program->IsRunning());
  }
}

TEST(Statements, ATextThatKeepsDoublingEndsWithAnError) {
  for (const char* body : {"s := 'x'; while true do s := s + s;", "s := 'x'; while true do begin t := s; s := t + s end;",
                           "s := 'x'; while true do Insert(s, s, 1);", "v := 'x'; while true do v := v + v;"}) {
    auto program = raCompileBlock("s, t: String; v: Variant;", body);
    ASSERT_FALSE(program->HasErrors()) << body;
    try {
      program->Execute();
      ADD_FAILURE() << body;
    } catch (const EScriptError& error) {
      EXPECT_NE(error.Message.find("longer than scripts may build"), std::string::npos) << body;
    }
  }
}

TEST(Statements, TheHostsCancelFlagStopsARun) {
  auto program = raCompileBlock("n: Integer;", "while true do n := n + 1;");
  std::atomic<bool> cancel{false};
  std::thread canceller([&] { cancel = true; });
  EXPECT_THROW(program->Execute({.StepBudget = INT64_MAX, .Cancel = &cancel}), EScriptError);
  canceller.join();
}

TEST(Statements, AForLoopNeedsAnIntegerVariable) {
  EXPECT_EQ(raFirstError(*raCompileBlock("s: String;", "for s := 1 to 2 do ;")), std::to_string(raIncompatibleTypes));
  EXPECT_EQ(raFirstError(*raCompileBlock("", "for q := 1 to 2 do ;")), std::to_string(raUndeclared));
  EXPECT_EQ(raFirstError(*raCompileBlock("n: Integer;", "case n of x: ; end;")), std::to_string(raMisplacedToken));
}

}  // namespace
