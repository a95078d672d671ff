#include <random>

#include "raScriptTestSupport.h"
#include "uiDialogs.h"

namespace {

// Programs that between them use every statement, operator family, type and
// routine kind; the mutations start from them.
const char* const seeds[] = {
    "function Sum(n: Integer; var t: String): Extended;\r\nconst k = 3; w = 'w';\r\nvar i, j: Integer; s: String; "
    "c: Currency; b: Boolean;\r\nbegin\r\n  for i := 1 to n do begin j := j + (i mod 7) * k; s := s + Copy(w, 1, 1); end;\r\n"
    "  b := (j > 10) and not (s = '');\r\n  if b then c := j / 3 else c := 0;\r\n  t := s + IntToStr(j);\r\n"
    "  Result := c * 2.5;\r\nend;",
    "procedure Loop;\r\nvar n, r: Integer; v: Variant; d: DateTime; ch: Char;\r\nbegin\r\n  n := 0;\r\n"
    "  while n < 20 do\r\n  begin\r\n    case n mod 6 of 0..1: r := r + 1; 3, 4: r := r - 1; else: r := r * 2; end;\r\n"
    "    n := n + 1;\r\n  end;\r\n  repeat v := v + n; n := n - 3 until n < 0;\r\n"
    "  d := EncodeDate(2024, 1, 7) + 1.5; ch := 'x';\r\n  if DayOfWeek(d) = 2 then ShowMessage(FormatDateTime('yyyy', d) + ch);\r\n"
    "  Helper(n, r);\r\nend;",
    "function Text(const s: String): String;\r\nvar i: Integer; e: Extended;\r\nbegin\r\n"
    "  Result := UpperCase(Copy(s, 2, 3)) + LowerCase(s);\r\n  i := Pos('b', Result) + Length(s) div 0;\r\n"
    "  e := Sqrt(i) ;\r\n  Delete(Result, 1, i);\r\n  Insert('{', Result, 2);\r\n  e := Round(i / 7) + Trunc(-2.7);\r\n"
    "  Result := Result + FloatToStr(e) + CurrToStr(StrToCurr('1.5')) + IntToStr(clRed);\r\nend;",
    "procedure Helper(a: Integer; var b: Integer);\r\nvar k: Integer;\r\nbegin\r\n  for k := a downto -3 do b := b + k;\r\n"
    "  if b > 100 then b := 100;\r\nend;",
    "function Mixed(x: Variant): Variant;\r\nconst Limit = 2147483647; Name = 'mixed';\r\n"
    "var v, w: Variant; b: Boolean; d: Date; t: Time; c: Char; e: Extended; m: Currency;\r\nbegin\r\n"
    "  v := x * 2 + Null; w := v div 0 + v mod 3 - -v; b := (v = w) or not (v <> x) and true;\r\n"
    "  d := CurrentDate; t := CurrentTime; e := d - t + Limit * Limit; m := e / 7;\r\n"
    "  c := Name; v := c + Name + DateToStr(d) + TimeToStr(t) + CurrToStr(m);\r\n"
    "  case Length(v) of 0: b := false; 1..5, 7 : e := Power(2, 0.5) else e := Sqr(e) end;\r\n"
    "  repeat e := e / 2 until e < 1;\r\n  Result := v + FloatToStr(e) + Capitalize(FormatFloat('0.00', e));\r\nend;"};

const char* const fragments[] = {"begin", "end", ";", "(", ")", "'", "{", "}", ":=", "while true do", "for i := ",
                                 "to", "downto", "case", "of", "..", "else", "if", "then", "repeat", "until",
                                 "not", "-", "*", "div", "mod", "/", "=", "<>", "Result", "Helper(1, n)",
                                 "Copy(", "2147483647", "-2147483648", "1.5e300", "Null", "nil", "var x: Integer;",
                                 "^", "\r\n", ",", "Sqrt(-1)", "StrToInt('x')"};

std::string Mutate(std::string text, std::mt19937& random) {
  const int edits = 1 + static_cast<int>(random() % 2);
  for (int e = 0; e < edits && !text.empty(); ++e) {
    const size_t at = random() % (text.size() + 1);
    switch (random() % 5) {
      case 0:  // drop a stretch
        text.erase(std::min(at, text.size() - 1), 1 + random() % 12);
        break;
      case 1:  // put in a piece of the language
        text.insert(at, std::string(" ") + fragments[random() % std::size(fragments)] + " ");
        break;
      case 2:  // repeat a stretch elsewhere
        text.insert(random() % (text.size() + 1), text.substr(std::min(at, text.size() - 1), 1 + random() % 30));
        break;
      case 3:  // any byte
        if (at < text.size()) text[at] = static_cast<char>(random() % 256);
        break;
      default:  // swap two stretches of text
        if (at + 8 < text.size()) std::swap(text[at], text[at + 1 + random() % 7]);
        break;
    }
  }
  return text;
}

TEST(Fuzz, MutatedProgramsCompileAndRunWithoutACrashOrAHang) {
  SetMessageBoxRunner([](const TMessageBoxRequest&) { return mrOk; });
  std::mt19937 random(20240107);
  TraProgram helper;
  helper.SetSource(seeds[3]);
  helper.Compile();
  for (const char* seed : seeds) {
    TraProgram program;
    program.OnProgramLookup = [&](TraProgram&, const std::string& name) {
      return SameText(name, "Helper") ? &helper : static_cast<TraProgram*>(nullptr);
    };
    program.SetSource(seed);
    ASSERT_TRUE(program.Compile()) << seed << "\n" << program.SyntaxError(0).Message;
  }
  int compiled = 0, ran = 0;
  for (int round = 0; round < 20000; ++round) {
    TraProgram program;
    program.OnProgramLookup = [&](TraProgram& self, const std::string& name) {
      return SameText(name, "Helper") && &self != &helper ? &helper : static_cast<TraProgram*>(nullptr);
    };
    program.SetSource(Mutate(seeds[random() % std::size(seeds)], random));
    if (!program.Compile()) {
      EXPECT_TRUE(program.HasErrors()) << program.Source();
      continue;
    }
    ++compiled;
    for (int i = 0; i < program.ParamCount(); ++i) {
      if (program.Param(i).DataType() == daInteger) static_cast<TraIntegerValue&>(program.Param(i).Bound()).Value = round % 50;
    }
    try {
      program.Execute({.StepBudget = 20000});
      ++ran;
    } catch (const Exception&) {
      // Script errors end the program; that is all they may do.
    }
    EXPECT_FALSE(program.IsRunning());
  }
  SetMessageBoxRunner(nullptr);
  // The mutations must leave enough programs whole to exercise running.
  EXPECT_GT(compiled, 500);
  EXPECT_GT(ran, 300);
}

}  // namespace
