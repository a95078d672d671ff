#include <map>

#include "rtlTypeInfo.h"

#include "raScriptTestSupport.h"

namespace {

struct TCompileCase {
  const char* Source;
  int Code;
  int Line;
  int Column;
};

class CompileErrorTest : public testing::TestWithParam<TCompileCase> {};

TEST_P(CompileErrorTest, RecordsOneErrorAndStaysUncompiled) {
  TraProgram program;
  program.SetSource(GetParam().Source);
  EXPECT_FALSE(program.Compile());
  ASSERT_EQ(program.SyntaxErrorCount(), 1) << GetParam().Source;
  const TraSyntaxError& error = program.SyntaxError(0);
  EXPECT_EQ(error.Code, GetParam().Code) << GetParam().Source << ": " << error.Message;
  EXPECT_FALSE(error.Message.empty());
  if (GetParam().Line > 0) {
    EXPECT_EQ(error.Line, GetParam().Line);
    EXPECT_EQ(error.Column, GetParam().Column);
  }
  EXPECT_EQ(program.ParamCount(), 0);
  EXPECT_EQ(program.Execute(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Programs, CompileErrorTest,
    testing::Values(
        TCompileCase{"begin end;", raProgramTypeExpected, 1, 0},
        TCompileCase{"procedure 12; begin end;", raProgramNameExpected, 1, 10},
        TCompileCase{"procedure P;\r\nvar clRed: Integer;\r\nbegin end;", raReservedConstant, 2, 4},
        TCompileCase{"procedure P;\r\nvar a: Integer;\r\n  A: String;\r\nbegin end;", raRedeclared, 3, 2},
        TCompileCase{"procedure P(x: Integer);\r\nvar x: Integer;\r\nbegin end;", raRedeclared, 2, 4},
        TCompileCase{"procedure P;\r\nvar a: Thing;\r\nbegin end;", raUnknownType, 0, 0},
        TCompileCase{"procedure P;\r\nvar a: Integer;\r\nbegin\r\n  a := 1 ^ 2;\r\nend;", raInvalidText, 4, 9},
        TCompileCase{"procedure P;\r\nbegin\r\n  b := 1;\r\nend;", raUndeclared, 3, 2},
        TCompileCase{"procedure P;\r\nvar a: Integer;\r\nbegin\r\n  a := 1", raUnexpectedEnd, 0, 0},
        TCompileCase{"procedure P;\r\nconst k = Unknown;\r\nbegin end;", raUndeclared, 2, 10},
        TCompileCase{"procedure P;\r\nvar a: Integer;\r\nbegin a := 1 end; x", raMisplacedToken, 0, 0},
        TCompileCase{"procedure P;\r\nvar a: Integer;\r\nbegin a := integer end;", raTypeNotValue, 0, 0}));

TEST(Programs, EveryErrorTokenIsRecordedAndNothingElse) {
  TraProgram program;
  program.SetSource("procedure P;\r\nbegin\r\n  a := b ^ c # d;\r\nend;");
  program.Compile();
  ASSERT_EQ(program.SyntaxErrorCount(), 2);
  EXPECT_EQ(program.SyntaxError(0).Code, raInvalidText);
  EXPECT_EQ(program.SyntaxError(0).TokenText, "^");
  EXPECT_EQ(program.SyntaxError(1).TokenText, "#");
  EXPECT_EQ(program.SyntaxError(1).Line, 3);
}

TEST(Programs, HeadingDeclaresParametersAndResult) {
  TraProgram program;
  program.SetSource("function Sum(const a, b: Integer; var c: String): Extended;\r\nbegin Result := a + b; c := 'x'; end;");
  ASSERT_TRUE(program.Compile()) << program.SyntaxError(0).Message;
  EXPECT_EQ(program.ProgramName(), "Sum");
  EXPECT_TRUE(program.IsFunctionType());
  ASSERT_EQ(program.ParamCount(), 3);
  EXPECT_TRUE(program.Param(0).IsReadOnly);
  EXPECT_FALSE(program.Param(2).IsReadOnly);
  EXPECT_EQ(program.Param(2).DataType(), daString);
  ASSERT_NE(program.ResultVariable(), nullptr);
  EXPECT_EQ(program.ResultVariable()->DataType(), daExtended);
  static_cast<TraIntegerValue&>(program.Param(0).Bound()).Value = 2;
  static_cast<TraIntegerValue&>(program.Param(1).Bound()).Value = 3;
  const TraValue* result = program.Execute();
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(result->GetText(), "5");
  EXPECT_EQ(program.Param(2).Bound().GetText(), "x");
}

TEST(Programs, FunctionWithoutAssignmentReturnsAFreshValue) {
  for (const auto& [type, text] : std::map<std::string, std::string>{{"Integer", "0"}, {"String", ""}, {"Boolean", "False"}}) {
    TraProgram program;
    program.SetSource("function F: " + type + ";\r\nbegin\r\nend;");
    ASSERT_TRUE(program.Compile()) << type;
    ASSERT_NE(program.Execute(), nullptr);
    EXPECT_EQ(program.Execute()->GetText(), text) << type;
  }
}

TEST(Programs, ValueParametersStayAndVarParametersChangeTheCaller) {
  TraProgram callee, caller;
  callee.SetSource(
      "procedure Change(a: Integer; var b: Integer);\r\nbegin\r\n  a := 100;\r\n  b := a + 7;\r\nend;");
  caller.SetSource(
      "procedure Main;\r\nvar x, y: Integer;\r\nbegin\r\n  x := 1; y := 2;\r\n  Change(x, y);\r\nend;");
  caller.OnProgramLookup = [&](TraProgram&, const std::string& name) { return SameText(name, "Change") ? &callee : static_cast<TraProgram*>(nullptr); };
  ASSERT_TRUE(caller.Compile()) << caller.SyntaxError(0).Message;
  caller.Execute();
  EXPECT_EQ(caller.FindDeclared("x")->Bound().GetText(), "1");
  // Assigning to the value parameter did nothing: b := a + 7 saw a = 1.
  EXPECT_EQ(caller.FindDeclared("y")->Bound().GetText(), "8");

  // The callee's changed source returns its caller to uncompiled.
  callee.SetSource("procedure Change(a: Integer); begin end;");
  EXPECT_FALSE(caller.IsCompiled());
  EXPECT_EQ(raFirstError((caller.Compile(), caller)), std::to_string(raExpectedToken));
}

TEST(Programs, CalledFunctionsKeepEachResultAndDoNotReenter) {
  TraProgram twice, recur, caller;
  twice.SetSource("function Twice(n, m: Integer): Integer;\r\nbegin Result := n * 2 + m; end;");
  recur.SetSource("function Recur(n: Integer): Integer;\r\nbegin Result := 1; Result := Result + Recur(0); end;");
  caller.SetSource(
      "function Main: Integer;\r\nbegin Result := Twice(1, 0) * 100 + Twice(3, 0) + Recur(5) * 1000 + Twice(1, Twice(2, 3)) * 10000; end;");
  auto lookup = [&](TraProgram&, const std::string& name) {
    return SameText(name, "Twice") ? &twice : SameText(name, "Recur") ? &recur : static_cast<TraProgram*>(nullptr);
  };
  recur.OnProgramLookup = lookup;
  caller.OnProgramLookup = lookup;
  ASSERT_TRUE(caller.Compile()) << caller.SyntaxError(0).Message;
  // Recur calling itself while it runs gets nothing back, so its second
  // assignment does nothing and it returns 1.
  const TraValue* result = caller.Execute();
  ASSERT_NE(result, nullptr);
  // Twice(1, Twice(2, 3)) is 2 + 7: the inner call does not leave its
  // arguments in the outer call's parameters.
  EXPECT_EQ(result->GetText(), "91206");
}

TEST(Programs, DestroyingACalledProgramUncompilesItsCallers) {
  auto callee = std::make_unique<TraProgram>();
  TraProgram caller;
  callee->SetSource("procedure Q; begin end;");
  caller.SetSource("procedure P; begin Q; end;");
  caller.OnProgramLookup = [&](TraProgram&, const std::string&) { return callee.get(); };
  ASSERT_TRUE(caller.Compile());
  callee.reset();
  EXPECT_FALSE(caller.IsCompiled());
  EXPECT_EQ(caller.Execute(), nullptr);
}

TEST(Programs, HooksAnswerGlobalNamesAndRefuseDeclarations) {
  TraVariableValue global("Total", std::make_unique<TraIntegerValue>(5));
  TraVariableValue limit("Limit", std::make_unique<TraIntegerValue>(3));
  limit.IsReadOnly = true;
  TraProgram program;
  program.OnVariableLookup = [&](TraProgram&, const std::string& n) { return SameText(n, "Total") ? &global : static_cast<TraVariableValue*>(nullptr); };
  program.OnConstantLookup = [&](TraProgram&, const std::string& n) { return SameText(n, "Limit") ? &limit : static_cast<TraVariableValue*>(nullptr); };
  program.OnDeclarationCheck = [](TraProgram&, const std::string& n) { return SameText(n, "Taken") ? raDeclaredGlobalVariable : -1; };
  program.SetSource("procedure P;\r\nbegin Total := Total * Limit; end;");
  ASSERT_TRUE(program.Compile());
  program.Execute();
  EXPECT_EQ(global.Bound().GetText(), "15");
  program.SetSource("procedure P;\r\nvar Taken: Integer;\r\nbegin end;");
  program.Compile();
  EXPECT_EQ(raFirstError(program), std::to_string(raDeclaredGlobalVariable));
  program.SetSource("procedure P;\r\nbegin Limit := 1; end;");
  program.Compile();
  EXPECT_EQ(raFirstError(program), std::to_string(raUndeclared));
}

TEST(Programs, OwnerHooksSeeCompilingAndSourceChanges) {
  TraProgram callee, caller;
  callee.SetSource("procedure Q; begin end;");
  caller.SetSource("procedure P; begin Q; end;");
  caller.OnProgramLookup = [&](TraProgram&, const std::string&) { return &callee; };
  std::vector<std::string> seen;
  bool skip = false, notify = true;
  caller.OnBeforeCompile = [&](TraProgram& p, bool& handled) {
    seen.push_back("before " + std::to_string(p.IsCompiling()));
    handled = skip;
  };
  caller.OnAfterCompile = [&](TraProgram& p) { seen.push_back("after " + std::to_string(p.IsCompiled())); };
  callee.OnSourceChange = [&](TraProgram&, bool& tell) { tell = notify; };
  ASSERT_TRUE(caller.Compile());
  EXPECT_EQ(seen, (std::vector<std::string>{"before 1", "after 1"}));
  notify = false;
  callee.SetSource("procedure Q; begin  end;");
  EXPECT_TRUE(caller.IsCompiled());
  notify = true;
  callee.SetSource("procedure Q; begin end;");
  EXPECT_FALSE(caller.IsCompiled());
  skip = true;
  EXPECT_FALSE(caller.Compile());
  EXPECT_EQ(seen.size(), 3u);
}

TEST(Programs, RegisteredEnumerationsAreTypesAndValues) {
  static const TEnumTypeInfo shape("TShape", {"stRectangle", "stCircle", "stLine"});
  raRegisterEnumType(shape);
  EXPECT_EQ(raRunBlock("s: TShape; n: Integer;",
                       "s := stCircle; case s of stLine: n := 3; stCircle: n := 2; end; if s = stCircle then n := n * 10;",
                       "n"),
            "20");
  EXPECT_EQ(raRunBlock("s: TShape;", "s := stLine;", "s"), "stLine");
  EXPECT_EQ(raFirstError(*raCompileBlock("s: TShape;", "s := 'stLine';")), std::to_string(raIncompatibleTypes));
  raUnregisterEnumType(shape);
  EXPECT_EQ(raFirstError(*raCompileBlock("s: TShape;", "")), std::to_string(raUnknownType));
}

TEST(Programs, SourceDefaultsAndBody) {
  TraProgram program;
  program.SetProgramName("Band1BeforePrint");
  program.SetDefaultSource();
  EXPECT_EQ(program.Source(), "procedure Band1BeforePrint;\r\nbegin\r\n\r\nend;");
  EXPECT_TRUE(program.SourceModified);
  EXPECT_EQ(program.GetText(), "procedure Band1BeforePrint;");
  EXPECT_EQ(program.SourceWithoutHeading(), "begin\r\n\r\nend;");
  EXPECT_EQ(program.BodyFirstLine(), 2);
  EXPECT_EQ(program.BodyLastLine(), 2);
  program.ReplaceBody("  ShowMessage('x');");
  EXPECT_EQ(program.Source(), "procedure Band1BeforePrint;\r\nbegin\r\n  ShowMessage('x');\r\nend;");
  EXPECT_TRUE(program.Compile());

  program.SetProgramType(ttFunction);
  program.SetDefaultSource();
  EXPECT_EQ(program.Source(), "function Band1BeforePrint: Variant;\r\nbegin\r\n\r\n  Result := \r\n\r\nend;");

  TraProgram empty;
  EXPECT_EQ(empty.BodyFirstLine(), 0);
  EXPECT_EQ(empty.BodyLastLine(), -1);
}

TEST(Programs, DeclarationSectionsCompileWithoutABlock) {
  TraVarProgram globals;
  globals.SetProgramName("Globals");
  globals.SetDefaultSection();
  EXPECT_EQ(globals.Source(), "procedure Globals;\r\nvar\r\n   ");
  globals.SetSource(globals.Source() + "Count: Integer;\r\n   Name: String;");
  ASSERT_TRUE(globals.Compile()) << globals.SyntaxError(0).Message;
  EXPECT_EQ(globals.VariableCount(), 2);
  EXPECT_EQ(globals.Execute(), nullptr);

  TraConstProgram constants;
  constants.SetProgramName("Consts");
  constants.SetDefaultSection();
  constants.SetSource(constants.Source() + "Big = 100; Title = 'Jobs'; Neg = -2.5; Col = clRed;");
  ASSERT_TRUE(constants.Compile()) << constants.SyntaxError(0).Message;
  ASSERT_EQ(constants.ConstantCount(), 4);
  EXPECT_EQ(constants.Constant(2).Bound().GetText(), "-2.5");
  EXPECT_EQ(constants.Constant(3).Bound().GetText(), "255");
}

TEST(Programs, PublishTheirPropertiesForTheModulesStream) {
  std::vector<std::string> names;
  for (const TPropInfo* property : TraProgram::StaticClassType().Properties()) names.push_back(property->Name());
  EXPECT_EQ(names, (std::vector<std::string>{"ChildType", "ProgramName", "ProgramType", "IsFunctionType", "Source",
                                             "SourceModified", "Hidden", "Locked"}));
  TraProgram program;
  SetPropValue(program, "ProgramName", std::string("Calc"));
  SetPropValue(program, "ProgramType", int64_t{ttFunction});
  EXPECT_EQ(program.ProgramName(), "Calc");
  EXPECT_EQ(program.ProgramType(), ttFunction);
  program.SetSource("function Calc: Integer;\nbegin Result := 4; end;");
  ASSERT_TRUE(program.Compile());
  EXPECT_EQ(std::get<int64_t>(GetPropValue(program, "IsFunctionType")), 1);
  // Lines changed in place, as a stream fills them, change the source.
  TStrings* lines = static_cast<TStrings*>(std::get<TObject*>(GetPropValue(program, "Source")));
  lines->Put(1, "begin Result := 5; end;");
  EXPECT_FALSE(program.IsCompiled());
  ASSERT_TRUE(program.Compile());
  EXPECT_EQ(program.Execute()->GetText(), "5");
  TraVarProgram section;
  EXPECT_EQ(std::get<int64_t>(GetPropValue(section, "ChildType")), raVariableSectionChild);
  EXPECT_EQ(TraConstProgram().ClassName(), "TraConstProgram");
}

TEST(Programs, HeaderOnlyReadsTheParametersWithoutCompiling) {
  TraProgram program;
  program.SetSource("procedure P(a: Integer; var b: String);\r\nbegin this does not compile end;");
  EXPECT_FALSE(program.Compile(false, true));
  EXPECT_FALSE(program.HasErrors());
  EXPECT_EQ(program.ParamCount(), 2);
}

}  // namespace
