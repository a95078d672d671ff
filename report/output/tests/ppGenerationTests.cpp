#include <gtest/gtest.h>

#include <map>

#include "ppDrwCmd.h"
#include "ppErrors.h"
#include "ppEngine.h"
#include "ppFileDevice.h"
#include "ppForms.h"
#include "ppGenerationKit.h"
#include "ppGroup.h"
#include "ppMessages.h"
#include "ppPrinterSetup.h"
#include "ppSubReport.h"
#include "osDispatcher.h"
#include "rtlTestFolder.h"

namespace {
// A4 with 10 mm margins, header and footer 20 mm, detail 10 mm: 23 details
// fit between them.
constexpr int DetailsPerPage = 23;
constexpr int FirstDetailTop = mm(30);
constexpr int FooterTop = mm(267);

TEST(Pagination, DetailsHeadersAndFootersAtExactPositions) {
  for (const int rows : {100, 76}) {
    TReportFixture f(rows);
    f.AddText(f.Header, "Head", false);
    f.AddText(f.Detail, "ID", true);
    f.AddText(f.Footer, "Foot", false);
    const auto pages = f.PrintAll();
    const int expected = (rows + DetailsPerPage - 1) / DetailsPerPage;
    ASSERT_EQ(static_cast<int>(pages.size()), expected) << rows;
    int id = 1;
    for (int p = 0; p < expected; ++p) {
      const auto texts = Texts(*pages[p]);
      const auto tops = Tops(*pages[p]);
      ASSERT_EQ(texts.front(), "Head");
      EXPECT_EQ(tops.front(), mm(10));
      EXPECT_EQ(texts.back(), "Foot");
      EXPECT_EQ(tops.back(), FooterTop);
      const int details = static_cast<int>(texts.size()) - 2;
      EXPECT_EQ(details, p + 1 < expected ? DetailsPerPage : rows - DetailsPerPage * (expected - 1));
      for (int d = 0; d < details; ++d, ++id) {
        EXPECT_EQ(texts[static_cast<size_t>(d + 1)], std::to_string(id));
        EXPECT_EQ(tops[static_cast<size_t>(d + 1)], FirstDetailTop + d * mm(10));
      }
      EXPECT_EQ(pages[p]->AbsolutePageNo, p + 1);
      EXPECT_EQ(pages[p]->LastPage, p + 1 == expected);
    }
    EXPECT_EQ(id, rows + 1);
  }
}

TEST(Pagination, OnlyTheCurrentRecordPrintsAndTheUserKeepsTheirRecord) {
  TReportFixture f(30);
  f.AddText(f.Detail, "ID", true);
  f.Pipeline->SetRangeBegin(rbCurrentRecord);
  f.Pipeline->SetRangeEnd(reCurrentRecord);
  f.Data->Open();
  f.Data->First();
  f.Data->MoveBy(6);
  auto pages = f.PrintAll();
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(Texts(*pages[0]), (std::vector<std::string>{"7"}));
  EXPECT_EQ(f.Data->FieldByName("ID")->AsInteger(), 7);
  // The user moves on; the next print follows them.
  f.Data->Next();
  f.Report->Reset();
  pages = f.PrintAll();
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(Texts(*pages[0]), (std::vector<std::string>{"8"}));
}

TEST(Pagination, AFullLastPageLeavesNoEmptyPageBehind) {
  TReportFixture f(DetailsPerPage * 2);
  f.AddText(f.Detail, "ID", true);
  EXPECT_EQ(f.PrintAll().size(), 2u);
}

TEST(Pagination, BandsPerRecordPrintsEachRecordThatOften) {
  TReportFixture f(4);
  static_cast<TppDetailBand*>(f.Detail)->SetBandsPerRecord(3);
  f.AddText(f.Detail, "ID", true);
  const auto pages = f.PrintAll();
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(Texts(*pages[0]), (std::vector<std::string>{"1", "1", "1", "2", "2", "2", "3", "3", "3", "4", "4", "4"}));
}

TEST(Pagination, PageLimitStopsAndZeroMeansNoLimit) {
  TReportFixture f(100);
  f.AddText(f.Detail, "ID", true);
  f.Report->SetPageLimit(2);
  EXPECT_EQ(f.PrintAll().size(), 2u);
  f.Report->SetPageLimit(0);
  EXPECT_EQ(f.PrintAll().size(), 5u);
}

TEST(Pagination, PageBandsSkipTheFirstAndLastPagesWhenAsked) {
  TReportFixture f(30);
  f.AddText(f.Header, "Head", false);
  f.AddText(f.Footer, "Foot", false);
  f.AddText(f.Detail, "ID", true);
  static_cast<TppPageBand*>(f.Header)->SetPrintOnFirstPage(false);
  static_cast<TppPageBand*>(f.Footer)->SetPrintOnLastPage(false);
  const auto pages = f.PrintAll();
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(Texts(*pages[0]).front(), "1");
  EXPECT_EQ(Tops(*pages[0]).front(), mm(10));
  EXPECT_EQ(Texts(*pages[0]).back(), "Foot");
  EXPECT_EQ(Texts(*pages[1]).front(), "Head");
  EXPECT_EQ(Texts(*pages[1]).back(), "30");
}

TEST(Pagination, PageStyleOnListedPagesOnly) {
  TReportFixture f(100);
  auto* style = new TppPageStyle(f.Report);
  style->SetReport(f.Report);
  style->SetmmHeight(mm(10));
  f.AddText(style, "Style", false);
  style->SetValidPages("1,3");
  const auto pages = f.PrintAll();
  ASSERT_EQ(pages.size(), 5u);
  for (int p = 0; p < 5; ++p) {
    const auto texts = Texts(*pages[p]);
    const bool has = std::find(texts.begin(), texts.end(), "Style") != texts.end();
    EXPECT_EQ(has, p == 0 || p == 2) << p;
  }
}

TEST(Groups, HeadersAndFootersAroundEachBreakNestedFootersInnermostFirst) {
  TReportFixture f(8, 4);
  TppGroup* owner = f.AddGroup("OWNER", mm(10), mm(10));
  TppGroup* printer = f.AddGroup("PRINTER", mm(10), mm(10));
  f.AddText(owner->HeaderBand(), "OWNER", true);
  f.AddText(owner->FooterBand(), "end OWNER", false);
  f.AddText(printer->HeaderBand(), "PRINTER", true);
  f.AddText(printer->FooterBand(), "end PRINTER", false);
  f.AddText(f.Detail, "ID", true);
  const auto pages = f.PrintAll();
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(Texts(*pages[0]),
            (std::vector<std::string>{"Owner1", "P1-0", "1", "2", "end PRINTER", "P1-1", "3", "4", "end PRINTER",
                                      "end OWNER", "Owner2", "P2-0", "5", "6", "end PRINTER", "P2-1", "7", "8",
                                      "end PRINTER", "end OWNER"}));
}

TEST(Groups, NewPageStartsEveryGroupOnAPageOfItsOwn) {
  TReportFixture f(9, 3);
  TppGroup* group = f.AddGroup("OWNER", mm(10), mm(10));
  group->SetNewPage(true);
  f.AddText(group->HeaderBand(), "OWNER", true);
  f.AddText(f.Detail, "ID", true);
  const auto pages = f.PrintAll();
  ASSERT_EQ(pages.size(), 3u);
  for (int p = 0; p < 3; ++p) EXPECT_EQ(Texts(*pages[p]).front(), "Owner" + std::to_string(p + 1));
}

TEST(Groups, KeepTogetherMovesAGroupThatWouldSplitToTheNextPage) {
  // Groups of 10 details plus header and footer take 120 mm; the second
  // group would split on page 1 (237 mm).
  for (const bool keep : {false, true}) {
    TReportFixture f(30, 10);
    TppGroup* group = f.AddGroup("OWNER", mm(10), mm(10));
    group->SetKeepTogether(keep);
    f.AddText(group->HeaderBand(), "OWNER", true);
    f.AddText(f.Detail, "ID", true);
    const auto pages = f.PrintAll();
    const auto first = Texts(*pages[0]);
    if (keep) {
      ASSERT_EQ(pages.size(), 3u);
      EXPECT_EQ(first.back(), "10");
      EXPECT_EQ(Texts(*pages[1]).front(), "Owner2");
      EXPECT_EQ(Texts(*pages[1]).back(), "20");
    } else {
      EXPECT_EQ(first.back(), "20");
    }
  }
}

TEST(NoData, BlankPageOrMessageOnPage) {
  TReportFixture f(0);
  f.AddText(f.Detail, "ID", true);
  auto pages = f.PrintAll();
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0]->GetDrawCommandCount(), 0);
  f.Report->SetNoDataBehaviors(TppNoDataBehaviors{ndMessageOnPage, ndBlankReport});
  pages = f.PrintAll();
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(Texts(*pages[0]), (std::vector<std::string>{ppLoadMessage(1034)}));
}

TEST(NoData, TheDialogGoesThroughTheRunner) {
  TReportFixture f(0);
  f.Report->SetNoDataBehaviors(TppNoDataBehaviors{ndMessageDialog, ndBlankPage});
  int asked = 0;
  const TppDialogRunner previous = ppSetDialogRunner([&](TppDialogRequest& r) {
    asked += r.Kind == dkNoData;
    return drOK;
  });
  f.PrintAll();
  ppSetDialogRunner(previous);
  EXPECT_EQ(asked, 1);
}

// What scripts hear: the events go to the objects' listeners with their
// parameters, and what a listener changes is what generation goes on with.
TEST(NoData, ListenersMayKeepTheDialogAndTheMessageAway) {
  TReportFixture f(0);
  f.Report->SetNoDataBehaviors(TppNoDataBehaviors{ndMessageDialog, ndMessageOnPage, ndBlankReport});
  int asked = 0;
  const TppDialogRunner previous = ppSetDialogRunner([&](TppDialogRequest& r) {
    asked += r.Kind == dkNoData;
    return drOK;
  });
  f.AddText(f.Header, "Head", false);
  EXPECT_EQ(Texts(*f.PrintAll()[0]), (std::vector<std::string>{"Head", ppLoadMessage(1034)}));
  EXPECT_EQ(asked, 1);
  TObjectPtr<TppCommunicator> script(new TppCommunicator(nullptr));
  std::vector<int> heard;
  script->SetListensTo(ppevNoData, true);
  script->SetEventHandler([&](TppCommunicator*, TppCommunicator*, int id, TppEventParams* params) {
    heard.push_back(id);
    ASSERT_EQ(params->size(), 4u);
    EXPECT_TRUE((*params)[1].AsBoolean());
    (*params)[1] = Variant(false);
    (*params)[3] = Variant(false);
  });
  f.Report->AddEventNotify(script.get());
  f.Report->Reset();
  EXPECT_EQ(Texts(*f.PrintAll()[0]), (std::vector<std::string>{"Head"}));
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(heard, (std::vector<int>{ppevNoData}));
  f.Report->RemoveEventNotify(script.get());
  ppSetDialogRunner(previous);
}

TEST(Groups, ListenersHearTheBreaksAndMayChangeTheBreakValue) {
  TReportFixture f(6, 2);
  TppGroup* group = f.AddGroup("OWNER", mm(10), 0);
  f.AddText(group->HeaderBand(), "OWNER", true);
  f.AddText(f.Detail, "ID", true);
  TObjectPtr<TppCommunicator> script(new TppCommunicator(nullptr));
  std::vector<int> heard;
  for (const int id : {27, 28, 31}) script->SetListensTo(id, true);
  script->SetEventHandler([&](TppCommunicator*, TppCommunicator*, int id, TppEventParams* params) {
    if (id != 31) {
      heard.push_back(id);
      return;
    }
    // Owner1 and Owner2 count as one.
    if ((*params)[0].AsString() == "Owner2") (*params)[0] = Variant(std::string("Owner1"));
  });
  group->AddEventNotify(script.get());
  const auto pages = f.PrintAll();
  EXPECT_EQ(Texts(*pages[0]), (std::vector<std::string>{"Owner1", "1", "2", "3", "4", "Owner3", "5", "6"}));
  EXPECT_EQ(heard, (std::vector<int>{28, 27, 28, 27}));
  group->RemoveEventNotify(script.get());
}

// Groups reprinting their headers, a memo that splits across pages.
void MakeBusyLayout(TReportFixture& f) {
  TppGroup* group = f.AddGroup("OWNER", mm(10), mm(10));
  group->SetReprintOnSubsequentPage(true);
  f.AddText(group->HeaderBand(), "OWNER", true);
  f.AddText(f.Header, "Head", false);
  f.AddText(f.Detail, "ID", true);
  auto* memo = new TTestStretch(f.Report);
  memo->SetBand(f.Detail);
  memo->SetmmTop(mm(5));
  memo->TotalHeight = mm(12);
  f.Detail->SetPrintHeight(phDynamic);
}

TEST(Requests, OutOfOrderPagesEqualASequentialRun) {
  // Two passes: every page knows the page count, in any order.
  TReportFixture f(100, 7);
  MakeBusyLayout(f);
  f.Report->SetPassSetting(psTwoPass);
  const auto sequential = f.PrintAll();
  ASSERT_GT(sequential.size(), 6u);
  for (const int page : {5, 2, 6, 3, 1, static_cast<int>(sequential.size())}) {
    const auto single = f.Request(psSinglePage, page);
    ASSERT_EQ(single.size(), 1u);
    EXPECT_EQ(PageBytes(*single[0]), PageBytes(*sequential[static_cast<size_t>(page - 1)])) << page;
  }
}

TEST(Requests, ARegeneratedPageKnowsItsGroupsPriorValue) {
  // Groups longer than a page: some pages hold no break and keep the
  // prior value their start had.
  for (const TppPassSettingType passes : {psOnePass, psTwoPass}) {
    TReportFixture f(120, 30);
    TppGroup* group = f.AddGroup("OWNER", mm(10), mm(10));
    f.AddText(f.Detail, "ID", true);
    f.Report->SetPassSetting(passes);
    std::map<int, std::string> prior;
    f.Report->OnEndPage = [&](TObject*) { prior[f.Report->AbsolutePageNo()] = group->PriorValue(); };
    const auto sequential = f.PrintAll();
    ASSERT_GT(sequential.size(), 4u);
    const std::map<int, std::string> expected = prior;
    for (const int page : {4, 2, 5, 1, 3}) {
      prior.clear();
      ASSERT_EQ(f.Request(psSinglePage, page).size(), 1u);
      EXPECT_EQ(prior[page], expected.at(page)) << page << " " << passes;
    }
  }
}

TEST(Requests, AFreshRunAskedForALaterPageFirstGivesTheSequentialPage) {
  TReportFixture f(100, 7);
  MakeBusyLayout(f);
  const auto sequential = f.PrintAll();
  for (const int page : {4, 2}) {
    f.Report->Reset();
    const auto single = f.Request(psSinglePage, page);
    ASSERT_EQ(single.size(), 1u);
    EXPECT_EQ(PageBytes(*single[0]), PageBytes(*sequential[static_cast<size_t>(page - 1)])) << page;
  }
}

TEST(Requests, SinglePagePastTheEndAndPageLists) {
  TReportFixture f(60);
  f.AddText(f.Detail, "ID", true);
  f.PrintAll();
  auto pages = f.Request(psSinglePage, 5);
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0]->AbsolutePageNo, 3);
  pages = f.Request(psPageList, 1, "2,9");
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0]->AbsolutePageNo, 2);
  // Each page delivered is crossed off the request's list as the list is
  // being served: no page is passed over.
  pages = f.Request(psPageList, 1, "3,1,2");
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_EQ(pages[1]->AbsolutePageNo, 1);
  EXPECT_EQ(pages[2]->AbsolutePageNo, 2);
}

TEST(Requests, TwoPassReportsKnowThePageCountOnEveryPage) {
  TReportFixture f(100);
  f.AddText(f.Detail, "ID", true);
  f.Report->SetPassSetting(psTwoPass);
  std::vector<std::string> passes;
  f.Report->OnStartFirstPass = [&](TObject*) { passes.push_back("start 1"); };
  f.Report->OnEndFirstPass = [&](TObject*) { passes.push_back("end 1"); };
  f.Report->OnStartSecondPass = [&](TObject*) { passes.push_back("start 2"); };
  f.Report->OnEndSecondPass = [&](TObject*) {
    passes.push_back("end 2 on " + std::to_string(f.Report->AbsolutePageNo()));
  };
  const auto pages = f.PrintAll();
  ASSERT_EQ(pages.size(), 5u);
  for (const auto& page : pages) EXPECT_EQ(page->AbsolutePageCount, 5);
  EXPECT_EQ(passes, (std::vector<std::string>{"start 1", "end 1", "start 2", "end 2 on 5"}));
}

TEST(Stretching, DynamicBandsContinueOnTheNextPageAndNeverFitContentIsClipped) {
  TReportFixture f(3);
  f.Detail->SetPrintHeight(phDynamic);
  auto* memo = new TTestStretch(f.Report);
  memo->SetBand(f.Detail);
  memo->TotalHeight = mm(100);
  auto pages = f.PrintAll();
  // 237 mm a page: records 1 and 2 fill page 1 and 37 mm of page 2.
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[0]->GetDrawCommandCount(), 3);
  // Taller than any page: clipped, and generation ends.
  memo->TotalHeight = mm(1000);
  pages = f.PrintAll();
  EXPECT_EQ(pages.size(), 3u);
}

TEST(Producer, ACancelledPrintDialogPrintsNothing) {
  TReportFixture f(5);
  ppRegisterDevice(TRecordingDevice::StaticClassType());
  f.Report->SetShowPrintDialog(true);
  f.Report->SetDeviceType("Recorder");
  int dialogs = 0;
  const TppDialogRunner previous = ppSetDialogRunner([&](TppDialogRequest& r) {
    ++dialogs;
    return drCancel;
  });
  EXPECT_FALSE(f.Report->Print());
  ppSetDialogRunner([](TppDialogRequest&) { return drOK; });
  EXPECT_TRUE(f.Report->Print());
  ppSetDialogRunner(previous);
  ppUnRegisterDevice(TRecordingDevice::StaticClassType());
  EXPECT_EQ(dialogs, 1);
}

TEST(Producer, TheReportsListenersHearItsDialogsAndItsCancelInOrder) {
  const struct {
    bool ShowPrintDialog;
    TppDialogResult PrintDialogAnswer;
    bool ShowCancelDialog;
    bool CancelOnFirstPage;
    std::vector<int> Heard;
  } cases[] = {
      // The run is the job: it starts after the print dialog, inside the cancel dialog.
      {true, drOK, true, false,
       {ppevPrintDialogCreate, ppevPrintDialogClose, ppevCancelDialogCreate, ppevReportStart, ppevReportEnd, ppevCancelDialogClose}},
      {true, drCancel, true, false, {ppevPrintDialogCreate, ppevPrintDialogClose}},
      {false, drOK, false, false, {ppevReportStart, ppevReportEnd}},
      {false, drOK, false, true, {ppevReportStart, ppevCancel, ppevReportEnd}},
  };
  ppRegisterDevice(TRecordingDevice::StaticClassType());
  for (const auto& c : cases) {
    TReportFixture f(5);
    f.Report->SetDeviceType("Recorder");
    f.Report->SetShowPrintDialog(c.ShowPrintDialog);
    f.Report->SetShowCancelDialog(c.ShowCancelDialog);
    std::vector<int> heard;
    TppCommunicator listener(nullptr);
    for (int id : {ppevReportStart, ppevReportEnd, ppevCancel, ppevCancelDialogCreate, ppevCancelDialogClose,
                   ppevPreviewFormCreate, ppevPreviewFormClose, ppevPrintDialogCreate, ppevPrintDialogClose})
      listener.SetListensTo(id, true);
    listener.SetEventHandler([&](TppCommunicator*, TppCommunicator* sender, int eventId, TppEventParams*) {
      if (sender == f.Report) heard.push_back(eventId);
    });
    f.Report->AddEventNotify(&listener);
    if (c.CancelOnFirstPage)
      f.Report->OnEndPage = [&](TObject*) {
        if (f.Report->AbsolutePageNo() == 1) f.Report->Cancel();
      };
    const TppDialogRunner previous = ppSetDialogRunner([&](TppDialogRequest& r) {
      if (r.Kind == dkCancel) {
        r.Activate();
        return drOK;
      }
      return c.PrintDialogAnswer;
    });
    f.Report->Print();
    ppSetDialogRunner(previous);
    f.Report->RemoveEventNotify(&listener);
    EXPECT_EQ(heard, c.Heard) << c.ShowPrintDialog << c.PrintDialogAnswer << c.ShowCancelDialog << c.CancelOnFirstPage;
  }
  ppUnRegisterDevice(TRecordingDevice::StaticClassType());
}

// Counts what a print job gives the devices of its class.
class TCountingDevice : public TppDevice {
  RTL_DECLARE_CLASS(TCountingDevice, TppDevice)
  explicit TCountingDevice(TComponent* owner) : TppDevice(owner) {}
  std::string DeviceName() const override { return "Counter"; }
  void ReceivePage(TppPage* page) override {
    if (page->Final) ++Pages;
  }
  void CancelJob() override { ++Cancelled; }
  void EndJob() override { ++Ended; }
  static inline int Pages = 0, Cancelled = 0, Ended = 0;
};
RTL_DEFINE_CLASS(TCountingDevice)

TEST(Producer, TheCancelDialogShowsDuringTheJobAndItsButtonCancelsIt) {
  TReportFixture f(100);
  f.AddText(f.Detail, "ID", true);
  ppRegisterDevice(TCountingDevice::StaticClassType());
  f.Report->SetDeviceType("Counter");
  std::vector<bool> modal;
  bool clickOnPage2 = true;
  const TppDialogRunner previous = ppSetDialogRunner([&](TppDialogRequest& r) {
    if (r.Kind != dkCancel) return drOK;
    modal.push_back(r.Modal);
    if (!r.Modal) return drOK;
    // The button is clicked while page 2 ends; the click waits for the
    // job's next processing of messages, as a window's would.
    f.Report->OnEndPage = [&, cancel = r.Cancel](TObject*) {
      if (clickOnPage2 && f.Report->AbsolutePageNo() == 2) MainDispatcher().Post(cancel);
    };
    r.Activate();
    return drOK;
  });
  EXPECT_FALSE(f.Report->Print());
  EXPECT_EQ(TCountingDevice::Pages, 2);
  EXPECT_EQ(TCountingDevice::Cancelled, 1);
  EXPECT_EQ(TCountingDevice::Ended, 0);
  // Without a click the job ends normally; a dialog that is not modal
  // leaves the job to the producer.
  clickOnPage2 = false;
  TCountingDevice::Pages = 0;
  EXPECT_TRUE(f.Report->Print());
  EXPECT_EQ(TCountingDevice::Pages, 5);
  f.Report->SetModalCancelDialog(false);
  EXPECT_TRUE(f.Report->Print());
  EXPECT_EQ(TCountingDevice::Pages, 10);
  EXPECT_EQ(TCountingDevice::Ended, 2);
  EXPECT_EQ(modal, (std::vector<bool>{true, true, false}));
  ppSetDialogRunner(previous);
  ppUnRegisterDevice(TCountingDevice::StaticClassType());
}

// The cancel dialog's text follows the printing device page by page: the
// page count shows once the second pass knows it, and a text that did not
// change is not sent again.
TEST(Producer, TheCancelDialogShowsWhichPageIsPrinting) {
  TTestFolder folder;
  const std::string file = folder.File("jobs.txt");
  struct TCase {
    TppPassSettingType Pass;
    bool Modal;
    std::vector<std::string> Expected;
  };
  std::vector<std::string> onePass{ppLoadMessage(2)}, twoPass{ppLoadMessage(2)};
  for (int page = 1; page <= 5; ++page) {
    onePass.push_back("Printing page " + std::to_string(page) + " for report Jobs on " + file);
    twoPass.push_back("Printing page " + std::to_string(page) + " of 5 for report Jobs on " + file);
  }
  const TCase cases[] = {{psOnePass, true, onePass}, {psOnePass, false, onePass}, {psTwoPass, true, twoPass}};
  ppRegisterFileDevices();
  for (const TCase& c : cases) {
    TReportFixture f(100);
    f.AddText(f.Detail, "ID", true);
    f.Report->PrinterSetup()->SetDocumentName("Jobs");
    f.Report->SetDeviceType("TextFile");
    f.Report->SetTextFileName(file);
    f.Report->SetPassSetting(c.Pass);
    f.Report->SetModalCancelDialog(c.Modal);
    std::vector<std::string> shown;
    const TppDialogRunner previous = ppSetDialogRunner([&](TppDialogRequest& r) {
      if (r.Kind != dkCancel) return drOK;
      r.Progress = [&](const std::string& text) { shown.push_back(text); };
      if (r.Modal) r.Activate();
      return drOK;
    });
    EXPECT_TRUE(f.Report->Print());
    ppSetDialogRunner(previous);
    EXPECT_EQ(shown, c.Expected) << "pass " << int(c.Pass) << " modal " << c.Modal;
  }
  ppUnRegisterFileDevices();
}
}  // namespace

namespace {
// Owners as the master, the jobs as the detail: "OwnerX" has no jobs.
struct TMasterDetail {
  TReportFixture Jobs{9, 3};
  std::unique_ptr<TMemoryDataSet, TObjectFree> Owners{new TMemoryDataSet()};
  TDataSource* OwnerSource;
  TppDBPipeline* OwnerPipeline;
  TppDBPipeline* JobPipeline;

  TMasterDetail() {
    Owners->DefineField("OWNER", ftString, 20);
    Owners->Open();
    for (const char* owner : {"Owner1", "OwnerX", "Owner2", "Owner3"}) {
      Owners->Append();
      Owners->FieldByName("OWNER")->SetAsString(owner);
      Owners->Post();
    }
    OwnerSource = new TDataSource(Jobs.Owner.get());
    OwnerSource->SetDataSet(Owners.get());
    OwnerPipeline = new TppDBPipeline(Jobs.Owner.get());
    OwnerPipeline->SetDataSource(OwnerSource);
    JobPipeline = Jobs.Pipeline;
    JobPipeline->SetMasterDataPipeline(OwnerPipeline);
    JobPipeline->AddLink("OWNER", "OWNER");
    Jobs.Report->SetDataPipeline(OwnerPipeline);
    static_cast<TppDetailBand*>(Jobs.Detail)->SetDataPipeline(JobPipeline);
    TTestText* owner = Jobs.AddText(Jobs.Detail, "OWNER", true);
    owner->SetDataPipeline(OwnerPipeline);
    Jobs.AddText(Jobs.Detail, "ID", true, 0)->SetmmLeft(mm(60));
  }
};

TEST(MasterDetail, EachMasterPrintsItsDetailsAndMastersWithoutDetailsAreSkipped) {
  TMasterDetail f;
  auto pages = f.Jobs.PrintAll();
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(Texts(*pages[0]), (std::vector<std::string>{"Owner1", "1", "Owner1", "2", "Owner1", "3", "Owner2", "4",
                                                        "Owner2", "5", "Owner2", "6", "Owner3", "7", "Owner3", "8",
                                                        "Owner3", "9"}));
  // Kept: the master prints no detail band of its own.
  f.OwnerPipeline->SetSkipWhenNoRecords(false);
  f.Jobs.Report->Reset();
  pages = f.Jobs.PrintAll();
  EXPECT_EQ(Texts(*pages[0]).size(), 18u);
}

TEST(MasterDetail, GroupsOverTheMasterAndPagesOutOfOrder) {
  TMasterDetail f;
  TppGroup* group = f.Jobs.AddGroup("OWNER", mm(10), mm(10));
  group->SetDataPipeline(f.OwnerPipeline);
  group->SetNewPage(true);
  f.Jobs.AddText(group->HeaderBand(), "OWNER", true)->SetDataPipeline(f.OwnerPipeline);
  f.Jobs.Report->SetPassSetting(psTwoPass);
  const auto pages = f.Jobs.PrintAll();
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_EQ(Texts(*pages[1]).front(), "Owner2");
  EXPECT_EQ(Texts(*pages[1]).size(), 7u);
  for (const int page : {3, 2}) {
    const auto single = f.Jobs.Request(psSinglePage, page);
    ASSERT_EQ(single.size(), 1u);
    EXPECT_EQ(PageBytes(*single[0]), PageBytes(*pages[static_cast<size_t>(page - 1)])) << page;
  }
}

TEST(MasterDetail, APipelineNeverBecomesItsOwnMaster) {
  TMasterDetail f;
  f.OwnerPipeline->SetMasterDataPipeline(f.JobPipeline);
  EXPECT_EQ(f.OwnerPipeline->MasterDataPipeline(), nullptr);
  f.JobPipeline->SetMasterDataPipeline(f.JobPipeline);
  EXPECT_EQ(f.JobPipeline->MasterDataPipeline(), f.OwnerPipeline);
}
}  // namespace

namespace {
// The texts of a page with their places, "text@left,top" in mm.
std::vector<std::string> Places(TppPage& page) {
  std::vector<std::string> places;
  page.ForEachDrawCommand([&](TppDrawCommand* c) {
    if (auto* text = dynamic_cast<TppDrawText*>(c))
      places.push_back(text->Text + "@" + std::to_string(c->Left() / 1000) + "," + std::to_string(c->Top() / 1000));
  });
  return places;
}

TEST(Columns, DetailsFillEachColumnTopToBottomWithColumnBands) {
  TReportFixture f(60);
  f.Report->SetColumns(2);
  auto* header = new TppColumnHeaderBand(f.Report);
  header->SetReport(f.Report);
  header->SetmmHeight(mm(10));
  f.AddText(header, "Col", false);
  auto* footer = new TppColumnFooterBand(f.Report);
  footer->SetReport(f.Report);
  footer->SetmmHeight(mm(7));
  f.AddText(footer, "End", false);
  f.AddText(f.Detail, "ID", true);
  f.AddText(f.Footer, "Foot", false);
  const auto pages = f.PrintAll();
  EXPECT_EQ(Places(*pages[0]).back(), "Foot@10,267");
  // 237 mm less 10 + 7 mm of column bands: 22 details a column.
  ASSERT_EQ(pages.size(), 2u);
  const auto texts = Texts(*pages[0]);
  std::vector<int> lefts;
  pages[0]->ForEachDrawCommand([&](TppDrawCommand* c) { lefts.push_back(c->Left()); });
  EXPECT_EQ(texts[0], "Col");
  EXPECT_EQ(texts[1], "1");
  EXPECT_EQ(texts[22], "22");
  EXPECT_EQ(texts[23], "End");
  EXPECT_EQ(texts[24], "Col");
  EXPECT_EQ(lefts[24], mm(10) + mm(95));
  EXPECT_EQ(texts[25], "23");
  EXPECT_EQ(lefts[25], mm(105));
  EXPECT_EQ(Tops(*pages[0])[25], mm(40));
  EXPECT_EQ(Texts(*pages[1])[1], "45");
}


TEST(Columns, LeftToRightEachRecordTakesTheNextColumnOfTheRow) {
  TReportFixture f(60, 3);
  f.Report->SetColumns(2);
  static_cast<TppDetailBand*>(f.Detail)->SetColumnTraversal(ctLeftToRight);
  auto* header = new TppColumnHeaderBand(f.Report);
  header->SetReport(f.Report);
  header->SetmmHeight(mm(10));
  f.AddText(header, "Col", false);
  f.AddText(f.Detail, "ID", true);
  f.AddText(f.Footer, "Foot", false);
  auto pages = f.PrintAll();
  // Rows of 10 mm from 40 mm to the footer at 267 mm: 22 rows of two.
  ASSERT_EQ(pages.size(), 2u);
  auto places = Places(*pages[0]);
  // The page's own footer spans the page, not the last column.
  EXPECT_EQ(places.back(), "Foot@10,267");
  places.pop_back();
  EXPECT_EQ(std::vector<std::string>(places.begin(), places.begin() + 6),
            (std::vector<std::string>{"Col@10,30", "Col@105,30", "1@10,40", "2@105,40", "3@10,50", "4@105,50"}));
  EXPECT_EQ(places.back(), "44@105,250");
  EXPECT_EQ(Places(*pages[1])[2], "45@10,40");
  // A group's bands close the row and print below it, in the first column.
  TppGroup* group = f.AddGroup("OWNER", mm(10), mm(5));
  f.AddText(group->HeaderBand(), "OWNER", true);
  f.AddText(group->FooterBand(), "End", false);
  f.Report->Reset();
  pages = f.PrintAll();
  places = Places(*pages[0]);
  EXPECT_EQ(std::vector<std::string>(places.begin() + 2, places.begin() + 11),
            (std::vector<std::string>{"Owner1@10,40", "1@10,50", "2@105,50", "3@10,60", "End@10,70", "Owner2@10,75",
                                      "4@10,85", "5@105,85", "6@10,95"}));
}

TEST(Columns, NewColumnStartsEachGroupInAColumnOfItsOwn) {
  TReportFixture f(15, 5);
  f.Report->SetColumns(2);
  TppGroup* group = f.AddGroup("OWNER", mm(10), 0);
  f.AddText(group->HeaderBand(), "OWNER", true);
  f.AddText(f.Detail, "ID", true);
  group->SetNewColumn(true);
  auto pages = f.PrintAll();
  ASSERT_EQ(pages.size(), 2u);
  auto places = Places(*pages[0]);
  ASSERT_EQ(places.size(), 12u);
  EXPECT_EQ(places[0], "Owner1@10,30");
  EXPECT_EQ(places[6], "Owner2@105,30");
  EXPECT_EQ(places[7], "6@105,40");
  EXPECT_EQ(Places(*pages[1])[0], "Owner3@10,30");
  // With NewPage too, a break still takes only a new column; a column
  // threshold moves a group that would start too low.
  group->SetNewPage(true);
  f.Report->Reset();
  EXPECT_EQ(f.PrintAll().size(), 2u);
  group->SetNewColumn(false);
  group->SetNewPage(false);
  group->SetmmNewColumnThreshold(mm(200));
  f.Report->Reset();
  pages = f.PrintAll();
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(Places(*pages[0])[6], "Owner2@105,30");
}

TEST(Columns, AGroupThatGoesOnInALaterColumnReprintsItsHeaderThere) {
  // Groups of 30 records in two columns of 22 details.
  TReportFixture f(90, 30);
  f.Report->SetColumns(2);
  TppGroup* group = f.AddGroup("OWNER", mm(10), 0);
  f.AddText(group->HeaderBand(), "OWNER", true);
  f.AddText(f.Detail, "ID", true);
  EXPECT_TRUE(group->ReprintOnSubsequentColumn());
  f.Report->SetPassSetting(psTwoPass);
  const auto pages = f.PrintAll();
  ASSERT_EQ(pages.size(), 3u);
  auto places = Places(*pages[0]);
  ASSERT_EQ(places.size(), 46u);
  EXPECT_EQ(places[0], "Owner1@10,30");
  EXPECT_EQ(places[22], "22@10,250");
  EXPECT_EQ(std::vector<std::string>(places.begin() + 23, places.begin() + 25),
            (std::vector<std::string>{"Owner1@105,30", "23@105,40"}));
  EXPECT_EQ(places[31], "30@105,110");
  // A new break's header is the group's own, not a reprint.
  EXPECT_EQ(places[32], "Owner2@105,120");
  EXPECT_EQ(places.back(), "43@105,250");
  // On the next page the header comes again at the top of the first column.
  places = Places(*pages[1]);
  EXPECT_EQ(std::vector<std::string>(places.begin(), places.begin() + 2),
            (std::vector<std::string>{"Owner2@10,30", "44@10,40"}));
  EXPECT_EQ(places[18], "Owner3@10,210");
  EXPECT_EQ(std::vector<std::string>(places.begin() + 23, places.begin() + 25),
            (std::vector<std::string>{"Owner3@105,30", "65@105,40"}));
  EXPECT_EQ(Places(*pages[2])[0], "Owner3@10,30");
  for (const int page : {3, 2, 1}) {
    const auto single = f.Request(psSinglePage, page);
    ASSERT_EQ(single.size(), 1u);
    EXPECT_EQ(PageBytes(*single[0]), PageBytes(*pages[static_cast<size_t>(page - 1)])) << page;
  }
  // Reprinted on the page too, the header still prints once there.
  group->SetReprintOnSubsequentPage(true);
  f.Report->Reset();
  EXPECT_EQ(Places(*f.PrintAll()[1]), places);
  // Without it only the page reprints the header.
  group->SetReprintOnSubsequentColumn(false);
  f.Report->Reset();
  auto without = f.PrintAll();
  EXPECT_EQ(Places(*without[0])[23], "23@105,30");
  places = Places(*without[1]);
  EXPECT_EQ(places[0], "Owner2@10,30");
  EXPECT_EQ(std::count(places.begin(), places.end(), "Owner3@105,30"), 0);
}

TEST(Columns, OnlyTheColumnsThatFitAreUsed) {
  // Three columns of 60 mm on 150 mm of printable width: two fit.
  TReportFixture f(100);
  f.Report->PrinterSetup()->SetMarginLeft(mm(30));
  f.Report->PrinterSetup()->SetMarginRight(mm(30));
  f.Report->SetColumns(3);
  f.Report->SetColumnWidth(mm(60));
  f.AddText(f.Detail, "ID", true);
  const auto pages = f.PrintAll();
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_EQ(Texts(*pages[1]).front(), "47");
}

TEST(Columns, ColumnPositionsPlaceEachColumnAndAMissingPositionIsAnError) {
  TReportFixture f(100);
  f.Report->SetColumns(3);
  f.Report->SetColumnWidth(mm(40));
  f.Report->SetUnits(utMillimeters);
  TStringList positions;
  positions.SetCommaText("10,80,150");
  f.Report->SetColumnPositions(&positions);
  EXPECT_EQ(f.Report->mmColumnPositions(), (std::vector<int>{mm(10), mm(80), mm(150)}));
  f.AddText(f.Detail, "ID", true);
  auto pages = f.PrintAll();
  ASSERT_EQ(pages.size(), 2u);
  auto places = Places(*pages[0]);
  EXPECT_EQ(places[0], "1@10,30");
  EXPECT_EQ(places[DetailsPerPage], "24@80,30");
  EXPECT_EQ(places[2 * DetailsPerPage], "47@150,30");
  EXPECT_EQ(Places(*pages[1])[0], "70@10,30");
  // Only the left edge must lie on the page; a column beyond it ends the page.
  positions.SetCommaText("10,80,201");
  f.Report->SetColumnPositions(&positions);
  pages = f.PrintAll();
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_EQ(Places(*pages[1])[0], "47@10,30");
  positions.SetCommaText("10,80,200");
  f.Report->SetColumnPositions(&positions);
  EXPECT_EQ(f.PrintAll().size(), 2u);
  // The texts follow the report's units; one that is no number is refused
  // and the positions stay.
  f.Report->SetUnits(utInches);
  EXPECT_EQ(f.Report->ColumnPositions()->CommaText(), "0.3937,3.1496,7.874");
  EXPECT_THROW(f.Report->ColumnPositions()->Add("1,5"), EConvertError);
  EXPECT_EQ(f.Report->mmColumnPositions().size(), 3u);
  EXPECT_EQ(f.Report->ColumnPositions()->Count(), 3);
  // Fewer positions than columns: the column without one cannot be placed.
  positions.SetCommaText("0.5,3");
  f.Report->SetColumnPositions(&positions);
  try {
    f.PrintAll();
    ADD_FAILURE() << "no error";
  } catch (const EPrintError& e) {
    EXPECT_STREQ(e.what(), "Unable to find position for column 3..");
  }
}
}  // namespace

namespace {
// A report without data whose detail band holds a child report over 60
// jobs (10 mm each).
struct TSubReportFixture {
  TReportFixture Parent{60};
  TppSubReport* Sub;
  TSubReportFixture() {
    Parent.Report->SetDataPipeline(nullptr);
    Parent.AddText(Parent.Header, "Head", false);
    Parent.Detail->SetPrintHeight(phDynamic);
    Sub = Parent.AddSubReport(Parent.Detail, nullptr, mm(5), 0, mm(100), mm(10));
    TppBand* detail = Sub->Report()->GetBand(btDetail);
    auto* id = new TTestText(Parent.Report);
    id->SetBand(detail);
    id->SetBounds(0, 0, mm(20), mm(5));
    id->SetDataPipeline(Parent.Pipeline);
    id->SetDataField("ID");
  }
};

TEST(SubReports, AChildSpanningThreeParentPagesContinuesOnEachAndEnds) {
  TSubReportFixture f;
  const auto pages = f.Parent.PrintAll();
  ASSERT_EQ(pages.size(), 3u);
  const auto first = Texts(*pages[0]);
  ASSERT_EQ(first.size(), 24u);  // the header and 23 child details
  EXPECT_EQ(first[1], "1");
  std::vector<int> lefts;
  pages[0]->ForEachDrawCommand([&](TppDrawCommand* c) { lefts.push_back(c->Left()); });
  EXPECT_EQ(lefts[1], mm(15));
  EXPECT_EQ(Tops(*pages[0])[1], FirstDetailTop);
  EXPECT_EQ(Texts(*pages[1])[1], "24");
  EXPECT_EQ(Tops(*pages[1])[1], FirstDetailTop);
  EXPECT_EQ(Texts(*pages[2]).back(), "60");
  EXPECT_TRUE(pages[2]->LastPage);
}

TEST(SubReports, ContinuedChildPagesComeOutOfOrderAsInSequence) {
  TSubReportFixture f;
  f.Parent.Report->SetPassSetting(psTwoPass);
  const auto pages = f.Parent.PrintAll();
  ASSERT_EQ(pages.size(), 3u);
  for (const int page : {3, 2}) {
    const auto single = f.Parent.Request(psSinglePage, page);
    ASSERT_EQ(single.size(), 1u);
    EXPECT_EQ(PageBytes(*single[0]), PageBytes(*pages[static_cast<size_t>(page - 1)])) << page;
  }
}
}  // namespace

namespace {
// Three parent records, each followed by a section over 30 jobs of its own:
// the child's page header and footer are 15 mm, its details 10 mm.
struct TSectionFixture {
  TReportFixture Parent{3};
  std::unique_ptr<TMemoryDataSet, TObjectFree> ChildData = MakeJobs(30, 10);
  TppSubReport* Sub;
  TSectionFixture() {
    Parent.AddText(Parent.Header, "Head", false);
    Parent.AddText(Parent.Footer, "Foot", false);
    Parent.AddText(Parent.Detail, "ID", true);
    Parent.Detail->SetPrintHeight(phDynamic);
    TppDBPipeline* pipeline = Parent.AddPipeline(ChildData.get());
    Sub = Parent.AddSubReport(Parent.Detail, pipeline, 0, mm(5), mm(100), mm(5));
    Sub->SetPrintBehavior(pbSection);
    TppChildReport* child = Sub->Report();
    for (const auto& [type, text] : {std::pair{btHeader, "ChildHead"}, std::pair{btFooter, "ChildFoot"}}) {
      TppBand* band = child->GetBand(type);
      band->SetmmHeight(mm(15));
      auto* t = new TTestText(Parent.Report);
      t->SetBand(band);
      t->SetBounds(0, 0, mm(20), mm(5));
      t->SetCaption(text);
    }
    TppBand* detail = child->GetBand(btDetail);
    detail->SetmmHeight(mm(10));
    auto* id = new TTestText(Parent.Report);
    id->SetBand(detail);
    id->SetBounds(0, 0, mm(20), mm(5));
    id->SetDataPipeline(pipeline);
    id->SetDataField("ID");
  }
};

TEST(SubReports, ASectionPrintsTheChildsWholePagesBetweenTheParentsPages) {
  TSectionFixture f;
  const auto pages = f.Parent.PrintAll();
  // Each record: its parent page, then two section pages (24 + 6 details).
  ASSERT_EQ(pages.size(), 9u);
  EXPECT_EQ(Places(*pages[0]), (std::vector<std::string>{"Head@10,10", "1@10,30", "Foot@10,267"}));
  auto places = Places(*pages[1]);
  ASSERT_EQ(places.size(), 26u);
  EXPECT_EQ(places[0], "ChildHead@10,10");
  EXPECT_EQ(places[1], "1@10,25");
  EXPECT_EQ(places[24], "24@10,255");
  EXPECT_EQ(places[25], "ChildFoot@10,272");
  EXPECT_EQ(Places(*pages[2]), (std::vector<std::string>{"ChildHead@10,10", "25@10,25", "26@10,35", "27@10,45",
                                                         "28@10,55", "29@10,65", "30@10,75", "ChildFoot@10,272"}));
  EXPECT_EQ(Places(*pages[3]), (std::vector<std::string>{"Head@10,10", "2@10,30", "Foot@10,267"}));
  // The section's pages count from 1; the report's own go on by theirs.
  EXPECT_EQ(pages[1]->PageNo, 1);
  EXPECT_EQ(pages[2]->PageNo, 2);
  EXPECT_EQ(pages[3]->PageNo, 4);
  EXPECT_TRUE(pages[8]->LastPage);
  // In a report of two columns the section still waits for a page.
  f.Parent.Report->SetColumns(2);
  const auto columned = f.Parent.PrintAll();
  ASSERT_EQ(columned.size(), 9u);
  EXPECT_EQ(Places(*columned[0]), (std::vector<std::string>{"Head@10,10", "1@10,30", "Foot@10,267"}));
  EXPECT_EQ(Places(*columned[1])[1], "1@10,25");
}

TEST(SubReports, SectionPagesComeOutOfOrderAsInSequenceWithTheirOwnPageSetup) {
  TSectionFixture f;
  f.Sub->SetParentPrinterSetup(false);
  TppPrinterSetup* setup = f.Sub->Report()->PrinterSetup();
  setup->SetUnits(utMMThousandths);
  setup->SetPaperWidth(mm(297));
  setup->SetPaperHeight(mm(210));
  for (auto margin : {&TppPrinterSetup::SetMarginTop, &TppPrinterSetup::SetMarginBottom,
                      &TppPrinterSetup::SetMarginLeft, &TppPrinterSetup::SetMarginRight})
    (setup->*margin)(mm(20));
  f.Parent.Report->SetPassSetting(psTwoPass);
  const auto pages = f.Parent.PrintAll();
  // 140 mm for details: 14 a page, three section pages a record.
  ASSERT_EQ(pages.size(), 12u);
  EXPECT_EQ(pages[1]->PageDef()->mmWidth(), mm(297));
  EXPECT_EQ(pages[0]->PageDef()->mmWidth(), mm(210));
  EXPECT_EQ(Places(*pages[3]).back(), "ChildFoot@20,175");
  // The second pass knows each section's page count from the first.
  for (const int page : {2, 3, 4, 6, 7, 8}) {
    EXPECT_EQ(pages[static_cast<size_t>(page - 1)]->PageNo, (page - 2) % 4 + 1) << page;
    EXPECT_EQ(pages[static_cast<size_t>(page - 1)]->PageCount, 3) << page;
  }
  for (const int page : {7, 3, 6, 2, 12}) {
    const auto single = f.Parent.Request(psSinglePage, page);
    ASSERT_EQ(single.size(), 1u);
    EXPECT_EQ(PageBytes(*single[0]), PageBytes(*pages[static_cast<size_t>(page - 1)])) << page;
  }
}
TEST(SubReports, ASectionOfItsOwnPrintJobEndsTheJobBeforeAndAfterIt) {
  TSectionFixture f;
  EXPECT_FALSE(f.Sub->NewPrintJob());
  f.Sub->SetPrintBehavior(pbChild);
  f.Sub->SetNewPrintJob(true);
  EXPECT_EQ(f.Sub->PrintBehavior(), pbSection);
  // The pages each job received, job by job.
  const auto printJobs = [&f](TppPageSettingType setting, int page, const std::string& list = "") {
    TObjectPtr<TRecordingDevice> device(new TRecordingDevice(nullptr));
    std::vector<std::vector<int>> jobs;
    device->OnStartJob = [&jobs](TppDevice*) { jobs.emplace_back(); };
    device->OnPageReceive = [&jobs](TppDevice* d, TppPage* p) {
      if (!jobs.empty() && !d->SkipPage() && d->PageRequested()) jobs.back().push_back(p->AbsolutePageNo);
    };
    device->PageRequest().SetPageSetting(setting);
    device->PageRequest().SetPageRequested(page);
    TStringList pages;
    pages.SetCommaText(list);
    device->PageRequest().SetPageList(&pages);
    device->SetPublisher(f.Parent.Report->Publisher());
    device->RequestPage();
    EXPECT_FALSE(device->JobRunning());
    device->SetPublisher(nullptr);
    return jobs;
  };
  using TJobs = std::vector<std::vector<int>>;
  // Each record's page, then its section's two pages as a job of their own.
  EXPECT_EQ(printJobs(psAll, 1), (TJobs{{1}, {2, 3}, {4}, {5, 6}, {7}, {8, 9}}));
  // The calculation pass delivers nothing, so it starts no job; a page of
  // its own is one job, wherever it stands.
  f.Parent.Report->SetPassSetting(psTwoPass);
  EXPECT_EQ(printJobs(psAll, 1), (TJobs{{1}, {2, 3}, {4}, {5, 6}, {7}, {8, 9}}));
  EXPECT_EQ(printJobs(psSinglePage, 4), (TJobs{{4}}));
  EXPECT_EQ(printJobs(psSinglePage, 5), (TJobs{{5}}));
  // Pages made again from the page before know where a job starts.
  f.Sub->SetNewPrintJob(false);
  f.Parent.Report->Reset();
  EXPECT_EQ(printJobs(psPageList, 1, "2,4"), (TJobs{{2, 4}}));
  f.Sub->SetNewPrintJob(true);
  f.Parent.Report->Reset();
  EXPECT_EQ(printJobs(psPageList, 1, "2,4"), (TJobs{{2}, {4}}));
  EXPECT_EQ(printJobs(psPageList, 1, "5,6,7"), (TJobs{{5, 6}, {7}}));
  // Without it the report is one job; another behaviour clears it.
  f.Sub->SetPrintBehavior(pbChild);
  EXPECT_FALSE(f.Sub->NewPrintJob());
  f.Sub->SetPrintBehavior(pbSection);
  f.Parent.Report->Reset();
  EXPECT_EQ(printJobs(psAll, 1), (TJobs{{1, 2, 3, 4, 5, 6, 7, 8, 9}}));
}

TEST(Requests, AStoppedRunDeliversNoMorePagesAndTheNextRequestGoesOn) {
  TReportFixture f(100);
  f.AddText(f.Detail, "ID", true);
  f.Report->OnEndPage = [&f](TObject*) {
    if (f.Report->AbsolutePageNo() == 2 && f.Report->Engine().PagesSaved() < 2) f.Report->Engine().RequestStop();
  };
  auto pages = f.PrintAll();
  // Page 2's state was not delivered.
  ASSERT_EQ(pages.size(), 1u);
  f.Report->OnEndPage = nullptr;
  pages = f.Request(psSinglePage, 3);
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(Texts(*pages[0]).front(), "47");
}
}  // namespace

namespace {
TEST(SubReports, AFixedSubreportShowsOnePageOfItsOwnHeight) {
  TSubReportFixture f;
  f.Sub->SetPrintBehavior(pbFixed);
  f.Sub->SetmmHeight(mm(35));
  const auto pages = f.Parent.PrintAll();
  ASSERT_EQ(pages.size(), 1u);
  // The header and the three child details that fit in 35 mm.
  EXPECT_EQ(Texts(*pages[0]), (std::vector<std::string>{"Head", "1", "2", "3"}));
}

TEST(SubReports, AFixedSubreportThatTraversesAllItsDataStretchesLikeAChild) {
  TSubReportFixture f;
  f.Parent.Report->SetPassSetting(psTwoPass);
  const auto asChild = f.Parent.PrintAll();
  ASSERT_EQ(asChild.size(), 3u);
  f.Sub->SetPrintBehavior(pbFixed);
  f.Sub->SetmmHeight(mm(35));
  f.Sub->SetTraverseAllData(true);
  // In a static band of its own height it would get no more than that: the
  // band becomes dynamic as the run starts.
  f.Parent.Detail->SetPrintHeight(phStatic);
  f.Parent.Detail->SetmmHeight(mm(35));
  f.Parent.Report->Reset();
  const auto pages = f.Parent.PrintAll();
  EXPECT_EQ(f.Parent.Detail->PrintHeight(), phDynamic);
  ASSERT_EQ(pages.size(), 3u);
  for (size_t p = 0; p < pages.size(); ++p) EXPECT_EQ(PageBytes(*pages[p]), PageBytes(*asChild[p])) << p;
  for (const int page : {3, 2}) {
    const auto single = f.Parent.Request(psSinglePage, page);
    ASSERT_EQ(single.size(), 1u);
    EXPECT_EQ(PageBytes(*single[0]), PageBytes(*pages[static_cast<size_t>(page - 1)])) << page;
  }
  // The setting acts on fixed subreports only.
  f.Sub->SetPrintBehavior(pbChild);
  f.Parent.Detail->SetPrintHeight(phStatic);
  f.Parent.Detail->SetmmHeight(mm(35));
  EXPECT_EQ(Texts(*f.Parent.PrintAll()[0]).size(), 4u);
}
}  // namespace

namespace {
TEST(Groups, PagesNumberedWithinTheGroupInTheSecondPass) {
  // Groups of 30 records on pages of their own: two pages each.
  TReportFixture f(90, 30);
  TppGroup* group = f.AddGroup("OWNER", mm(10), mm(10));
  group->SetNewPage(true);
  group->SetResetPageNo(true);
  f.AddText(f.Detail, "ID", true);
  f.Report->SetPassSetting(psTwoPass);
  const auto pages = f.PrintAll();
  ASSERT_EQ(pages.size(), 6u);
  for (int p = 0; p < 6; ++p) {
    EXPECT_EQ(pages[p]->PageNo, p % 2 + 1) << p;
    EXPECT_EQ(pages[p]->PageCount, 2) << p;
    EXPECT_EQ(pages[p]->AbsolutePageCount, 6) << p;
  }
  const auto fifth = f.Request(psSinglePage, 5);
  ASSERT_EQ(fifth.size(), 1u);
  EXPECT_EQ(fifth[0]->PageNo, 1);
  EXPECT_EQ(fifth[0]->PageCount, 2);
}
}  // namespace

namespace {
// The details' texts over all pages, in order.
std::vector<std::string> AllTexts(const std::vector<std::unique_ptr<TppPage>>& pages) {
  std::vector<std::string> texts;
  for (const auto& page : pages)
    for (const std::string& text : Texts(*page)) texts.push_back(text);
  return texts;
}

TEST(Pagination, ATwoPassReportWhoseLastPageGainsRoomStillPrintsEverything) {
  // Two columns, groups of three broken by a threshold, 20 mm details and a
  // footer that skips the last page: laid out without the footer, the last
  // page ends differently. One pass and two print the same bands.
  std::vector<std::string> onePass;
  for (const TppPassSettingType pass : {psOnePass, psTwoPass}) {
    TReportFixture f(10, 3);
    f.Report->SetColumns(2);
    f.Report->SetColumnWidth(mm(90));
    f.Report->SetPassSetting(pass);
    f.Detail->SetmmHeight(mm(20));
    static_cast<TppPageBand*>(f.Footer)->SetPrintOnLastPage(false);
    TppGroup* group = f.AddGroup("OWNER", mm(10), mm(10));
    group->SetmmNewPageThreshold(mm(60));
    f.AddText(group->HeaderBand(), "OWNER", true);
    f.AddText(group->FooterBand(), "end", false);
    f.AddText(f.Detail, "ID", true);
    const auto pages = f.PrintAll();
    const auto texts = AllTexts(pages);
    for (int id = 1; id <= 10; ++id)
      EXPECT_EQ(std::count(texts.begin(), texts.end(), std::to_string(id)), 1) << id;
    EXPECT_EQ(texts.back(), "end");
    for (size_t p = 0; p < pages.size(); ++p) {
      EXPECT_EQ(pages[p]->AbsolutePageCount, static_cast<int>(pages.size()));
      EXPECT_EQ(pages[p]->LastPage, p + 1 == pages.size());
    }
    if (pass == psOnePass) onePass = texts;
    else EXPECT_EQ(texts, onePass);
  }
}

TEST(Groups, TheRunsFirstBreakNeverEndsThePage) {
  struct TCase {
    const char* name;
    bool title, outerHeader;
    int outerHeight;
    bool threshold;
  };
  for (const TCase c : {TCase{"outer header", false, true, mm(10), false},
                        TCase{"outer header of height 0", false, true, 0, false},
                        TCase{"title", true, false, 0, false},
                        TCase{"title and a threshold", true, false, 0, true}}) {
    TReportFixture f(8, 4);
    if (c.title) {
      auto* title = new TppTitleBand(f.Report);
      title->SetReport(f.Report);
      title->SetmmHeight(mm(200));
      f.AddText(title, "Title", false);
    }
    if (c.outerHeader) f.AddText(f.AddGroup("OWNER", c.outerHeight, 0)->HeaderBand(), "OWNER", true);
    TppGroup* inner = f.AddGroup("PRINTER", mm(10), 0);
    if (c.threshold) inner->SetmmNewPageThreshold(mm(100));
    else inner->SetNewPage(true);
    f.AddText(inner->HeaderBand(), "PRINTER", true);
    f.AddText(f.Detail, "ID", true);
    const auto pages = f.PrintAll();
    ASSERT_FALSE(pages.empty());
    const auto first = Texts(*pages[0]);
    EXPECT_NE(std::find(first.begin(), first.end(), "1"), first.end()) << c.name;
    EXPECT_NE(std::find(first.begin(), first.end(), "P1-0"), first.end()) << c.name;
    // The later breaks still start their pages.
    if (!c.threshold) {
      ASSERT_GE(pages.size(), 2u) << c.name;
      const auto second = Texts(*pages[1]);
      EXPECT_NE(std::find(second.begin(), second.end(), "P1-1"), second.end()) << c.name;
      EXPECT_EQ(std::find(first.begin(), first.end(), "P1-1"), first.end()) << c.name;
    }
  }
}

TEST(Pagination, AHiddenTitleOrSummaryNeverEndsAPage) {
  TReportFixture f(5);
  f.AddText(f.Header, "Head", false);
  f.AddText(f.Detail, "ID", true);
  auto* title = new TppTitleBand(f.Report);
  title->SetReport(f.Report);
  title->SetNewPage(true);
  title->SetVisible(false);
  f.AddText(title, "Title", false);
  auto* summary = new TppSummaryBand(f.Report);
  summary->SetReport(f.Report);
  summary->SetNewPage(true);
  summary->SetVisible(false);
  f.AddText(summary, "Summary", false);
  const auto pages = f.PrintAll();
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(Texts(*pages[0]), (std::vector<std::string>{"Head", "1", "2", "3", "4", "5"}));
}
}  // namespace

namespace {
TEST(Producer, ANewReportsPagesAndJobsAreNamedReport) {
  TReportFixture f(3);
  EXPECT_EQ(f.Report->PrinterSetup()->DocumentName(), "Report");
  const auto pages = f.PrintAll();
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0]->DocumentName, "Report");
}

TEST(Producer, ADatasetThatDoesNotOpenIsTheReportsError) {
  // Left closed, or raising its own error as it opens: either way the
  // caller hears the report's error naming the pipeline.
  for (const bool raises : {false, true}) {
    TReportFixture f(3);
    f.AddText(f.Detail, "ID", true);
    f.Data->Close();
    if (raises) f.Data->BeforeOpen = [](TDataSet*) { throw EDatabaseError("Table is locked"); };
    else f.Pipeline->SetOpenDataSource(false);
    try {
      f.PrintAll();
      ADD_FAILURE() << "no error";
    } catch (const EPrintError& e) {
      EXPECT_EQ(std::string(e.what()), ppLoadMessage(40) + ": plJobs") << raises;
    }
  }
}
}  // namespace
