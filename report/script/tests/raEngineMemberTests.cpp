#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>

#include "ppCtrls.h"
#include "ppDrwCmd.h"
#include "ppFileDevice.h"
#include "ppGroup.h"
#include "ppVar.h"
#include "ppPrintablesKit.h"
#include "raCodeModule.h"
#include "rtlTestFolder.h"

namespace {

struct THandler {
  const char* Component;
  const char* Event;
  const char* Body;
};

// Jobs on a report whose detail band holds Label1; handlers of the
// report's code module write what they read into the label's caption,
// and the printed pages show it.
struct TMemberReport : TPrintablesFixture {
  TppLabel* Label;
  TraCodeModule* Module;
  explicit TMemberReport(const std::vector<TJobRow>& rows) : TPrintablesFixture(rows) {
    Pipeline->SetUserName("DBPipeline1");
    Detail->SetUserName("Detail");
    Label = Add<TppLabel>(Detail, 0, 0, mm(40), mm(5));
    Label->SetUserName("Label1");
    Module = TraCodeModule::CreateForReport(Report);
  }
  void Handle(const std::vector<THandler>& handlers) {
    for (const THandler& h : handlers) Module->CreateEventHandler(h.Component, h.Event)->ReplaceBody(h.Body);
  }
  // "<page count>:" then the label's texts in page order, comma-separated,
  // a run of n equal texts as "<text>*n".
  std::string Printed() {
    const auto pages = PrintAll();
    std::vector<std::pair<std::string, int>> runs;
    for (const auto& page : pages)
      page->ForEachDrawCommand([&](TppDrawCommand* c) {
        auto* text = dynamic_cast<TppDrawText*>(c);
        if (!text || text->Component != Label) return;
        if (!runs.empty() && runs.back().first == text->Text) ++runs.back().second;
        else runs.emplace_back(text->Text, 1);
      });
    std::string out = std::to_string(pages.size()) + ":";
    for (size_t i = 0; i < runs.size(); ++i)
      out += (i ? "," : "") + runs[i].first + (runs[i].second > 1 ? "*" + std::to_string(runs[i].second) : "");
    return out;
  }
};

struct TMemberCase {
  int Rows;
  std::vector<THandler> Handlers;
  const char* Expected;  // TMemberReport::Printed
  std::function<void(TMemberReport&)> Setup = nullptr;
  int GroupSize = 2;  // jobs per owner
};

void RunCases(const std::vector<TMemberCase>& cases) {
  for (const TMemberCase& c : cases) {
    TMemberReport report(Rows(c.Rows, c.GroupSize));
    if (c.Setup) c.Setup(report);
    report.Handle(c.Handlers);
    std::string printed;
    try {
      printed = report.Printed();
    } catch (const Exception& e) {
      printed = e.Message;
      for (TraProgram* p : report.Module->AllPrograms())
        if (p->HasErrors()) printed += " | " + p->SyntaxError(0).Message;
    }
    EXPECT_EQ(printed, c.Expected) << c.Handlers.front().Body;
  }
}

TEST(EngineMemberTest, TheReportTellsScriptsWhereTheRunStandsAndLetsThemEndIt) {
  RunCases({
      // Page number, absolute page, column: what the page's own numbering says.
      {2, {{"Detail", "BeforePrint", "Label1.Caption := IntToStr(Report.PageNo) + IntToStr(Report.AbsolutePage) + IntToStr(Report.CurrentColumn);"}},
       "1:111*2"},
      // A two-pass report knows its page count before the last page.
      {40, {{"Detail", "BeforePrint",
             "if Report.SecondPass then Label1.Caption := IntToStr(Report.PageCount) else Label1.Caption := '-';"}},
       "2:2*40", [](TMemberReport& r) { r.Report->SetPassSetting(psTwoPass); }},
      // Asked while a page is made, the page becomes the last: one page,
      // though the jobs would fill two.
      {40, {{"Detail", "BeforePrint", "Label1.Caption := 'x'; if DBPipeline1.GetFieldValue('NOTE') = 'Job 3' then Report.PageLimitReached;"}},
       "1:x*23"},
      // Stopped on the third page's first job: two pages reach the device.
      {60, {{"Report", "OnStartPage", "if Report.AbsolutePageNo = 3 then Report.Stop;"}, {"Detail", "BeforePrint", "Label1.Caption := 'x';"}},
       "2:x*46"},
      // Every command a component makes passes its draw-command event; the
      // ones taken off never reach the device.
      {3, {{"Label1", "OnDrawCommandCreate", "if TppDrawText(DrawCommand).Text = 'Job 2' then Report.Page.RemoveDrawCommand(DrawCommand);"},
           {"Detail", "BeforePrint", "Label1.Caption := DBPipeline1.GetFieldValue('NOTE');"}},
       "1:Job 1,Job 3"},
  });
}

// Grouped by owner.
TppGroup* GroupByOwner(TMemberReport& r) {
  TppGroup* group = r.AddGroup("OWNER", mm(5), mm(5));
  group->SetUserName("Group1");
  return group;
}

TEST(EngineMemberTest, AGroupTellsScriptsItsBreakAsTheEngineFollowsIt) {
  const std::function<void(TMemberReport&)> grouped = [](TMemberReport& r) { GroupByOwner(r); };
  RunCases({
      {6, {{"Detail", "BeforePrint", "Label1.Caption := Group1.PriorValue + '>' + Group1.BreakValue;"}},
       "1:Owner1>Owner1*2,Owner1>Owner2*2,Owner2>Owner3*2", grouped},
      // The footer sees the group's last record and a break under way;
      // the header the new group's value. The detail shows what they set.
      {6, {{"Group1", "BeforeFooter", "if Group1.Breaking then Label1.Caption := Group1.CurrentValue else Label1.Caption := '-';"},
           {"Group1", "BeforeHeader", "Label1.Caption := Label1.Caption + '/' + Group1.BreakValue;"}},
       "1:Label1/Owner1*2,Owner1/Owner2*2,Owner2/Owner3*2", grouped},
      // A group asking for its current value while deciding it gets the
      // value its field gives.
      {4, {{"Group1", "OnGetBreakValue", "BreakValue := 'x' + Group1.CurrentValue;"},
           {"Detail", "BeforePrint", "Label1.Caption := Group1.BreakValue;"}},
       "1:xOwner1*2,xOwner2*2", grouped},
      // A two-pass report knows where each group ends: groups of thirty jobs,
      // each starting a page, take two pages each.
      {60, {{"Detail", "BeforePrint",
             "if Report.SecondPass then Label1.Caption := IntToStr(Group1.PageCount) + IntToStr(Group1.LastPageNo);"
             " if Group1.FirstPage then Label1.Caption := Label1.Caption + 'f';"}},
       "4:22f*23,22*7,24f*23,24*7", [](TMemberReport& r) {
         r.Report->SetPassSetting(psTwoPass);
         GroupByOwner(r)->SetNewPage(true);
       }, 30},
      // A custom-field group breaks on a component's text.
      {4, {{"Detail", "BeforePrint", "Label1.Caption := Group1.BreakValue + IntToStr(Group1.BreakNo) + Group1.BreakComponent.UserName;"}},
       "1:Owner10DBText1*2,Owner21DBText1*2", [](TMemberReport& r) {
         auto* text = r.Add<TppDBText>(r.Detail, mm(50), 0, mm(30), mm(5));
         text->SetUserName("DBText1");
         text->SetDataPipeline(r.Pipeline);
         text->SetDataField("OWNER");
         TppGroup* group = GroupByOwner(r);
         group->SetBreakType(btCustomField);
         group->SetBreakName("DBText1");
       }},
      // A band's saved texts in save order, its variables in calculation order.
      {1, {{"Detail", "BeforePrint", "Label1.Caption := IntToStr(Report.Detail.VariableCount) + Report.Detail.Variables[0].UserName +"
                                     " IntToStr(Report.Detail.SaveCount) + Report.Detail.Saves[0].UserName;"}},
       "1:2W2Text2", [](TMemberReport& r) {
         for (const char* name : {"V", "W"}) r.Add<TppVariable>(r.Detail, mm(50), 0, mm(10), mm(5))->SetUserName(name);
         static_cast<TppVariable*>(r.Report->FindUserName("W"))->SetCalcOrder(0);
         for (const char* name : {"Text1", "Text2"}) {
           auto* text = r.Add<TppLabel>(r.Detail, mm(70), 0, mm(10), mm(5));
           text->SetUserName(name);
           text->SetSave(true);
         }
         static_cast<TppLabel*>(r.Report->FindUserName("Text2"))->SetSaveOrder(0);
       }},
      // Named as lists name them: what the group breaks on, a label by its caption.
      {1, {{"Detail", "BeforePrint", "Label1.Caption := Group1.Description + '|' + Report.GroupHeader[0].Description + '|' + Label1.Description;"}},
       "1: [0]: OWNER|[0]: OWNER|Label1: Label1", grouped},
  });
}

TEST(EngineMemberTest, PrintsJobTellsScriptsItsDeviceAndLetsThemChangeSavedTexts) {
  ppRegisterFileDevices();
  TTestFolder folder;
  const std::string fileName = folder.File("saved.txt");
  TMemberReport r(Rows(2));
  r.Detail->SetSave(true);
  r.Label->SetSave(true);
  r.Report->SetDeviceType("TextFile");
  r.Report->SetTextFileName(fileName);
  r.Report->SetShowPrintDialog(false);
  r.Report->SetShowCancelDialog(false);
  r.Handle({{"Detail", "BeforePrint",
             "if Report.Producing and (Report.PrinterDevice = nil) then Label1.Caption := Report.FileDevice.ClassName;"},
            {"Report", "OnSaveText", "Text := Text + '!';"}});
  ASSERT_TRUE(r.Report->Print());
  std::ifstream in(fileName);
  const std::string saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(saved, "TppTextFileDevice!,TppTextFileDevice!");
  EXPECT_FALSE(r.Report->Producing());
  EXPECT_EQ(r.Report->FileDevice(), nullptr);
}

}  // namespace
