#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "ppCtrls.h"
#include "ppPrintablesKit.h"
#include "ppPrinterSetup.h"
#include "ppSubReport.h"
#include "ppTemplate.h"
#include "ppVar.h"
#include "raCodeModule.h"
#include "rtlStreams.h"

namespace {

const char* const CRLF = "\r\n";

// Warnings collected instead of shown.
struct TWarnings {
  std::vector<std::string> Texts;
  TWarnings() {
    TraCodeModule::WarningReceiver() = [this](const std::string& text) { Texts.push_back(text); };
  }
  ~TWarnings() { TraCodeModule::WarningReceiver() = nullptr; }
};

// Three jobs of owners A, B and C; a label and a variable on the detail
// band; the report carries a code module.
struct TModuleReport : TPrintablesFixture {
  TppLabel* Label;
  TppVariable* Variable;
  TraCodeModule* Module;
  TModuleReport() : TPrintablesFixture({{"A", 1, ""}, {"B", 2, ""}, {"C", 3, ""}}) {
    Pipeline->SetUserName("DBPipeline1");
    Detail->SetUserName("Detail");
    Label = Add<TppLabel>(Detail, 0, 0, mm(40), mm(5));
    Label->SetUserName("Label1");
    Variable = Add<TppVariable>(Detail, mm(50), 0, mm(40), mm(5));
    Variable->SetUserName("Variable1");
    Variable->SetDataType(dtInteger);
    Module = TraCodeModule::CreateForReport(Report);
  }
  TraEventHandler* Handler(const std::string& component, const std::string& event, const std::string& body) {
    TraEventHandler* handler = Module->CreateEventHandler(component, event);
    handler->ReplaceBody(body);
    return handler;
  }
  TraProgram* Program(int childType, const std::string& source) {
    std::unique_ptr<TraProgram> program;
    if (childType == raConstantSectionChild) program = std::make_unique<TraConstProgram>();
    else if (childType == raVariableSectionChild) program = std::make_unique<TraVarProgram>();
    else program = std::make_unique<TraProgram>();
    program->ChildType = childType;
    program->SetSource(source);
    return Module->AddProgram(std::move(program));
  }
  std::vector<std::string> LabelTexts(const std::vector<std::unique_ptr<TppPage>>& pages) const {
    std::vector<std::string> texts;
    for (const auto& page : pages)
      page->ForEachDrawCommand([&](TppDrawCommand* c) {
        if (auto* t = dynamic_cast<TppDrawText*>(c); t && t->Component == Label) texts.push_back(t->Text);
      });
    return texts;
  }
  // The layout saved and read back into the report.
  void ReloadLayout() {
    TMemoryStream stream;
    Report->Template().SaveToStream(stream);
    stream.SetPosition(0);
    Report->Template().LoadFromStream(stream);
    Module = TraCodeModule::Of(Report);
    Label = dynamic_cast<TppLabel*>(Report->FindUserName("Label1"));
    Variable = dynamic_cast<TppVariable*>(Report->FindUserName("Variable1"));
  }
};

TEST(CodeModuleTest, HandlersOnTheDetailBandAndAVariableRunWithTheReport) {
  TModuleReport r;
  r.Handler("Detail", "BeforePrint", "  Label1.Caption := DBPipeline1.GetFieldValue('OWNER');");
  r.Handler("Variable1", "OnCalc", "  Value := Value + 1;");
  // Reset as the run starts, the total stays readable after it.
  r.Variable->SetResetType(veReportStart);
  const auto pages = r.PrintAll();
  EXPECT_EQ(r.LabelTexts(pages), (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_EQ(r.Variable->Value().AsInteger(), 3);
  EXPECT_FALSE(r.Module->Started());
  // A second run starts the scripts again.
  EXPECT_EQ(r.LabelTexts(r.PrintAll()), (std::vector<std::string>{"A", "B", "C"}));
}

TEST(CodeModuleTest, AScriptReadsAndWritesAVariableThroughEachTypedAccessor) {
  const struct {
    TppDataType Type;
    const char* Statements;
    const char* Expected;  // the label's text
  } cases[] = {
      {dtInteger, "Variable1.AsInteger := 41; Label1.Caption := IntToStr(Variable1.AsInteger + 1);", "42"},
      {dtString, "Variable1.AsString := 'ab'; Label1.Caption := Variable1.AsString + 'c';", "abc"},
      {dtBoolean, "Variable1.AsBoolean := True; if Variable1.AsBoolean then Label1.Caption := 'yes';", "yes"},
      {dtChar, "Variable1.AsChar := 'x'; Label1.Caption := Variable1.AsChar;", "x"},
      {dtDouble, "Variable1.AsDouble := 1.25; Label1.Caption := FloatToStr(Variable1.AsDouble * 2);", "2.5"},
      {dtExtended, "Variable1.AsExtended := 0.5; Label1.Caption := FloatToStr(Variable1.AsExtended + 1);", "1.5"},
      {dtSingle, "Variable1.AsSingle := 0.25; Label1.Caption := FloatToStr(Variable1.AsSingle);", "0.25"},
      {dtCurrency, "Variable1.AsCurrency := 2.5; Label1.Caption := FloatToStr(Variable1.AsCurrency * 2);", "5"},
      {dtDate, "Variable1.AsDate := EncodeDate(2024, 2, 29); Label1.Caption := FormatDateTime('yyyy-mm-dd', Variable1.AsDate);",
       "2024-02-29"},
      {dtDateTime, "Variable1.AsDateTime := EncodeDate(2000, 1, 2); Label1.Caption := FormatDateTime('dd.mm.yyyy', Variable1.AsDateTime);",
       "02.01.2000"},
      {dtTime, "Variable1.AsTime := 0.5; Label1.Caption := FormatDateTime('hh:nn', Variable1.AsTime);", "12:00"},
      {dtInteger, "Variable1.CalcOrder := 0; Label1.Caption := IntToStr(Variable1.CalcOrder);", "0"},
  };
  for (const auto& c : cases) {
    TModuleReport r;
    r.Variable->SetDataType(c.Type);
    r.Handler("Detail", "BeforePrint", std::string("  ") + c.Statements);
    EXPECT_EQ(r.LabelTexts(r.PrintAll()), (std::vector<std::string>{c.Expected, c.Expected, c.Expected})) << c.Statements;
  }
}

TEST(CodeModuleTest, HeadingsAndDefaultBodiesFollowTheEventsParameters) {
  TModuleReport r;
  TraEventHandler* calc = r.Module->CreateEventHandler("Variable1", "OnCalc");
  EXPECT_EQ(calc->Source(), std::string("procedure Variable1OnCalc(var Value: Variant);") + CRLF + "begin" + CRLF + CRLF +
                                "  Value := " + CRLF + CRLF + "end;");
  TraEventHandler* print = r.Module->CreateEventHandler("Label1", "OnPrint");
  print->ReplaceBody("  Label1.Caption := 'kept';");
  EXPECT_EQ(print->GetText(), "procedure Label1OnPrint;");
  EXPECT_EQ(r.Module->CreateEventHandler("Label1", "OnGetText")->GetText(), "procedure Label1OnGetText(var Text: String);");
  // Renaming the object renames the handler and keeps its body.
  r.Label->SetUserName("Label2");
  EXPECT_EQ(print->ProgramName(), "Label2OnPrint");
  EXPECT_EQ(print->GetText(), "procedure Label2OnPrint;");
  EXPECT_NE(print->Source().find("Label1.Caption := 'kept';"), std::string::npos);
  // An event the class does not have: no number, a plain heading.
  TraEventHandler* none = r.Module->CreateEventHandler("Label2", "OnCalc");
  EXPECT_EQ(none->EventID(), -1);
  EXPECT_EQ(none->GetText(), "procedure Label2OnCalc;");
}

TEST(CodeModuleTest, AStoredHeadingWithMoreParametersThanTheEventSendsBindsOnlyThoseSent) {
  TModuleReport r;
  TraEventHandler* calc = r.Module->CreateEventHandler("Variable1", "OnCalc");
  calc->SetSource(std::string("procedure Variable1OnCalc(var Value: Variant; var Extra: Integer);") + CRLF + "begin" + CRLF +
                  "  Extra := Extra + 1; Value := Value + 10;" + CRLF + "end;");
  r.Variable->SetResetType(veReportStart);
  r.PrintAll();
  EXPECT_EQ(r.Variable->Value().AsInteger(), 30);
}

TEST(CodeModuleTest, AModuleSavesAndLoadsBackWithItsSourcesAndOrder) {
  TModuleReport r;
  r.Program(raConstantSectionChild, std::string("procedure GlobalConst;") + CRLF + "const" + CRLF + "  Step = 2;");
  r.Program(raVariableSectionChild, std::string("procedure GlobalVar;") + CRLF + "var" + CRLF + "  Total: Integer;");
  r.Program(raStartProgramChild, std::string("procedure StartProgram;") + CRLF + "begin" + CRLF + "  Total := 100;" + CRLF + "end;");
  r.Program(raEndProgramChild, std::string("procedure EndProgram;") + CRLF + "begin" + CRLF + "  Label1.Caption := IntToStr(Total);" + CRLF + "end;");
  r.Program(raGlobalProgramChild, std::string("function A: Integer;") + CRLF + "begin" + CRLF + "  Result := B + Step;" + CRLF + "end;");
  r.Program(raGlobalProgramChild, std::string("function B: Integer;") + CRLF + "begin" + CRLF + "  Result := 1;" + CRLF + "end;");
  r.Handler("Detail", "BeforePrint", "  Total := Total + A;");
  EXPECT_TRUE(r.Module->CompileAll(false));
  std::vector<std::string> before;
  for (TraProgram* p : r.Module->AllPrograms()) before.push_back(p->ClassName() + "|" + p->Source());
  ASSERT_EQ(before.size(), 7u);

  TWarnings warnings;
  r.ReloadLayout();
  ASSERT_NE(r.Module, nullptr);
  std::vector<std::string> after;
  for (TraProgram* p : r.Module->AllPrograms()) after.push_back(p->ClassName() + "|" + p->Source());
  EXPECT_EQ(after, before);
  EXPECT_TRUE(warnings.Texts.empty());
  EXPECT_TRUE(r.Module->CompileAll(false));
  r.PrintAll();
  // 100 at the start, 3 each of three rows.
  EXPECT_EQ(r.Label->Caption(), "109");
}

TEST(CodeModuleTest, ACodeModuleFileIsTextAndImportsOnlyHandlersOfExistingObjects) {
  const std::string file = ::testing::TempDir() + "ra-module.ctm";
  {
    TModuleReport r;
    r.Handler("Detail", "BeforePrint", "  Label1.Caption := 'x';");
    r.Handler("Label1", "OnPrint", "");
    r.Module->SaveToFile(file);
  }
  std::ifstream in(file);
  std::string first;
  in >> first;
  EXPECT_EQ(first, "object");
  TModuleReport other;
  other.Label->SetUserName("Caption1");
  TWarnings warnings;
  other.Module->LoadFromFile(file);
  ASSERT_EQ(other.Module->EventHandlerCount(), 1);
  EXPECT_EQ(other.Module->EventHandler(0)->ProgramName(), "DetailBeforePrint");
  EXPECT_EQ(warnings.Texts, std::vector<std::string>{"Unable to import OnPrint code for Label1, no object with this name found."});
  std::filesystem::remove(file);
}

TEST(CodeModuleTest, HandlersWhoseObjectOrEventIsGoneAreDroppedWithAWarningAfterLoading) {
  TModuleReport r;
  r.Handler("Label1", "OnPrint", "");
  r.Handler("Label1X", "OnPrint", "");  // one character too many: kept, renamed
  r.Handler("Gone1", "BeforePrint", "");
  r.Handler("Report", "OnCalc", "");
  TWarnings warnings;
  r.ReloadLayout();
  EXPECT_EQ(warnings.Texts,
            (std::vector<std::string>{"Unable to load BeforePrint code for Gone1, no object with this name found",
                                      std::string("Unable to load OnCalc code for Report, ") + CRLF +
                                          "OnCalc is not a valid event for a TppReport."}));
  ASSERT_EQ(r.Module->EventHandlerCount(), 2);
  EXPECT_EQ(r.Module->EventHandler(1)->ComponentName(), "Label1");
}

TEST(CodeModuleTest, ASubreportsProgramSeesAConstantOfTheMainReport) {
  TModuleReport r;
  r.Program(raConstantSectionChild, std::string("procedure GlobalConst;") + CRLF + "const" + CRLF + "  MainConst = 42;");
  auto* sub = new TppSubReport(r.Report);
  sub->SetBand(r.Footer);
  sub->SetBounds(0, 0, mm(100), mm(10));
  TraCodeModule* subModule = TraCodeModule::CreateForReport(sub->Report());
  auto program = std::make_unique<TraProgram>();
  program->ChildType = raGlobalProgramChild;
  program->SetSource(std::string("function Seen: Integer;") + CRLF + "begin" + CRLF + "  Result := MainConst;" + CRLF + "end;");
  TraProgram* seen = subModule->AddProgram(std::move(program));
  EXPECT_TRUE(r.Module->CompileAll(false));
  ASSERT_TRUE(seen->IsCompiled());
  EXPECT_EQ(seen->Execute()->GetText(), "42");
}

TEST(CodeModuleTest, AFailedCompileRaisesAtStartAndTheNextRunStartsAfresh) {
  TModuleReport r;
  TraProgram* start = r.Program(raStartProgramChild, std::string("procedure StartProgram;") + CRLF + "begin" + CRLF +
                                                         "  Label1.Caption := ;" + CRLF + "end;");
  EXPECT_THROW(r.PrintAll(), ECodeError);
  EXPECT_FALSE(r.Module->Started());
  start->SetSource(std::string("procedure StartProgram;") + CRLF + "begin" + CRLF + "  Label1.Caption := 'started';" + CRLF + "end;");
  EXPECT_EQ(r.LabelTexts(r.PrintAll()), (std::vector<std::string>{"started", "started", "started"}));
}

TEST(CodeModuleTest, AHandlerThatHarmsItsHostGetsAScriptErrorAndTheReportStays) {
  const char* const bodies[] = {"  Report.Free;", "  Label1.Free;", "  TStringList(Label1).SaveToFile('/tmp/ra-handler-file.txt');",
                                "  Report.PrinterSetup.Free;", "  Label1.Parent := Label1.Parent;", "  Label1.Position := 0;",
                                "  Report.Detail.Report := Report;", "  Label1.Band := Label1.Band;"};
  for (const char* body : bodies) {
    TModuleReport r;
    std::filesystem::remove("/tmp/ra-handler-file.txt");
    TraEventHandler* handler = r.Handler("Detail", "BeforePrint", body);
    EXPECT_THROW(r.PrintAll(), EScriptError) << body;
    EXPECT_FALSE(std::filesystem::exists("/tmp/ra-handler-file.txt"));
    EXPECT_FALSE(r.Module->Started()) << body;
    r.Module->RemoveProgram(handler);
    EXPECT_EQ(r.PrintAll().size(), 1u) << body;
  }
  // Loading a layout would free the components the handler runs among.
  TModuleReport r;
  r.Handler("Detail", "BeforePrint", "  Report.Template.LoadFromDatabase;");
  try {
    r.PrintAll();
    ADD_FAILURE() << "a layout loaded while the report printed";
  } catch (const EScriptError& e) {
    EXPECT_NE(e.Message.find("cannot load a layout while it prints"), std::string::npos) << e.Message;
  }
}

TEST(CodeModuleTest, AHandlerOnTheReportsCancelRuns) {
  TModuleReport r;
  r.Handler("Report", "OnCancel", "  Label1.Caption := 'cancelled';");
  ASSERT_TRUE(r.Module->CompileAll(false));
  r.Report->Cancel();
  EXPECT_EQ(r.Label->Caption(), "cancelled");
}

TEST(CodeModuleTest, WhatTheModulesProgramsMadeLivesWithTheModuleAndGoesWithIt) {
  const struct {
    const char* Handler;
    bool Fails;
    const char* EndCaption;  // Label1's caption after the run
  } cases[] = {
      // Made at the start, filled per row, read at the end and never freed.
      {"  L.Add(DBPipeline1.GetFieldValue('JobOwner'));", false, "3"},
      // A handler failing between Create and Free cannot clean up itself.
      {"  S := TStringList.Create; S.Add('lost'); Report.Free; S.Free;", true, "0"},
  };
  for (const auto& c : cases) {
    TModuleReport r;
    r.Program(raVariableSectionChild, std::string("procedure GlobalVar;") + CRLF + "var" + CRLF + "  L, S: TStringList;");
    r.Program(raStartProgramChild, std::string("procedure StartProgram;") + CRLF + "begin" + CRLF + "  L := TStringList.Create;" + CRLF + "end;");
    r.Program(raEndProgramChild, std::string("procedure EndProgram;") + CRLF + "begin" + CRLF +
                                     "  Label1.Caption := IntToStr(L.Count);" + CRLF + "end;");
    r.Label->SetCaption("");
    r.Handler("Detail", "BeforePrint", c.Handler);
    if (c.Fails) {
      EXPECT_THROW(r.PrintAll(), EScriptError) << c.Handler;
    } else {
      EXPECT_EQ(r.PrintAll().size(), 1u) << c.Handler;
    }
    EXPECT_EQ(r.Label->Caption(), c.EndCaption) << c.Handler;
    EXPECT_EQ(TraObjectPool::Current(), nullptr);
    // The fixture frees the module with the report: what is left goes then.
  }
}

}  // namespace
