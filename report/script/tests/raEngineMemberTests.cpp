#include <gtest/gtest.h>

#include <functional>

#include "ppCtrls.h"
#include "ppDrwCmd.h"
#include "ppPrintablesKit.h"
#include "raCodeModule.h"

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
};

void RunCases(const std::vector<TMemberCase>& cases) {
  for (const TMemberCase& c : cases) {
    TMemberReport report(Rows(c.Rows));
    if (c.Setup) c.Setup(report);
    report.Handle(c.Handlers);
    EXPECT_EQ(report.Printed(), c.Expected) << c.Handlers.front().Body;
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

}  // namespace
