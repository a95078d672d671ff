#include <gtest/gtest.h>

#include "ppDrwCmd.h"
#include "ppGenerationKit.h"
#include "ppSubReport.h"

namespace {
// Parent records of 10 mm, each with its ID (the drill-down component) and
// a child subreport below it over jobs of 10 mm ("Child").
struct TDrillDownFixture {
  TReportFixture Parent;
  std::unique_ptr<TMemoryDataSet, TObjectFree> ChildData;
  TTestText* Id;
  TppSubReport* Sub;
  explicit TDrillDownFixture(int rows, int childRows = 3) : Parent(rows), ChildData(MakeJobs(childRows, 10)) {
    Parent.Detail->SetPrintHeight(phDynamic);
    Id = Parent.AddText(Parent.Detail, "ID", true, 0, mm(10));
    Sub = Parent.AddSubReport(Parent.Detail, Parent.AddPipeline(ChildData.get()), mm(5), mm(10), mm(100), mm(5));
    TppBand* detail = Sub->Report()->GetBand(btDetail);
    auto* text = new TTestText(Parent.Report);
    text->SetBand(detail);
    text->SetBounds(0, 0, mm(20), mm(5));
    text->SetCaption("Child");
    Sub->SetDrillDownComponent(Id);
  }
};

// The clickable command of the page that shows the text.
TppDrawCommand* Clickable(const TppPage& page, const std::string& text) {
  for (int i = 0; i < page.GetClickableCount(); ++i) {
    auto* command = dynamic_cast<TppDrawText*>(page.GetClickableDrawCommand(i));
    if (command && command->Text == text) return command;
  }
  return nullptr;
}

void Click(TppDrawCommand* command) {
  ASSERT_TRUE(command);
  ASSERT_TRUE(command->OnDrawCommandClick);
  command->OnDrawCommandClick(command);
}

TEST(DrillDown, NothingPrintsUntilClickedAndASecondClickHidesItAgain) {
  TDrillDownFixture f(6);
  const auto collapsed = f.Parent.PrintAll();
  ASSERT_EQ(collapsed.size(), 1u);
  EXPECT_EQ(Texts(*collapsed[0]), (std::vector<std::string>{"1", "2", "3", "4", "5", "6"}));
  EXPECT_EQ(collapsed[0]->GetClickableCount(), 6);
  // A collapsed child takes no space.
  EXPECT_EQ(Tops(*collapsed[0])[1] - Tops(*collapsed[0])[0], mm(10));

  TppDrawCommand* third = Clickable(*collapsed[0], "3");
  Click(third);
  EXPECT_TRUE(third->RedrawPage());
  ASSERT_EQ(f.Sub->ExpansionCount(), 1);
  EXPECT_EQ(f.Sub->Expansions(0), "       3");
  const auto expanded = f.Parent.Request(psSinglePage, 1);
  ASSERT_EQ(expanded.size(), 1u);
  EXPECT_EQ(Texts(*expanded[0]),
            (std::vector<std::string>{"1", "2", "3", "Child", "Child", "Child", "4", "5", "6"}));
  const std::vector<int> tops = Tops(*expanded[0]);
  EXPECT_EQ(tops[3], tops[2] + mm(10));
  EXPECT_EQ(tops[6], tops[2] + mm(40));
  // As a sequential run with that expansion makes it.
  EXPECT_EQ(PageBytes(*expanded[0]), PageBytes(*f.Parent.PrintAll()[0]));

  Click(Clickable(*expanded[0], "3"));
  EXPECT_EQ(f.Sub->ExpansionCount(), 0);
  const auto again = f.Parent.Request(psSinglePage, 1);
  ASSERT_EQ(again.size(), 1u);
  EXPECT_EQ(PageBytes(*again[0]), PageBytes(*collapsed[0]));
}

TEST(DrillDown, AOnePassReportMakesPagesAgainFromTheClickedPageOnly) {
  TDrillDownFixture f(60);
  f.Parent.Report->SetCachePages(true);
  int pagesStarted = 0;
  f.Parent.Report->OnStartPage = [&pagesStarted](TObject*) { ++pagesStarted; };
  const auto before = f.Parent.PrintAll();
  ASSERT_EQ(before.size(), 3u);
  EXPECT_EQ(Texts(*before[1]).front(), "24");

  Click(Clickable(*before[1], "30"));
  pagesStarted = 0;
  const auto second = f.Parent.Request(psSinglePage, 2);
  ASSERT_EQ(second.size(), 1u);
  EXPECT_EQ(pagesStarted, 1);
  const auto texts = Texts(*second[0]);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "Child"), 3);
  // The page before comes from the cache, as it was (the cache's copy
  // has learnt the page count since).
  const auto first = f.Parent.Request(psSinglePage, 1);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(pagesStarted, 1);
  EXPECT_EQ(Texts(*first[0]), Texts(*before[0]));
  EXPECT_EQ(Tops(*first[0]), Tops(*before[0]));
  const auto third = f.Parent.Request(psSinglePage, 3);
  ASSERT_EQ(third.size(), 1u);

  const auto sequential = f.Parent.PrintAll();
  ASSERT_EQ(sequential.size(), 3u);
  EXPECT_EQ(PageBytes(*second[0]), PageBytes(*sequential[1]));
  EXPECT_EQ(PageBytes(*third[0]), PageBytes(*sequential[2]));
}

TEST(DrillDown, ATwoPassReportStartsAgainAndCountsItsPagesAnew) {
  // 66 records fill three pages; one expansion takes a fourth.
  TDrillDownFixture f(66, 10);
  f.Parent.Report->SetPassSetting(psTwoPass);
  const auto before = f.Parent.PrintAll();
  ASSERT_EQ(before.size(), 3u);
  Click(Clickable(*before[1], "40"));
  const auto first = f.Parent.Request(psSinglePage, 1);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0]->AbsolutePageCount, 4);
  const auto sequential = f.Parent.PrintAll();
  ASSERT_EQ(sequential.size(), 4u);
  EXPECT_EQ(PageBytes(*first[0]), PageBytes(*sequential[0]));
  for (const int page : {4, 2}) {
    const auto single = f.Parent.Request(psSinglePage, page);
    ASSERT_EQ(single.size(), 1u);
    EXPECT_EQ(PageBytes(*single[0]), PageBytes(*sequential[static_cast<size_t>(page - 1)])) << page;
  }
}

TEST(DrillDown, ANestedSubreportsKeysEndWithItsParentsKeyAndItsClickRedrawsTheMainReport) {
  TDrillDownFixture f(4);
  // In each child record: the caption clicks open two grandchild records.
  auto grandData = MakeJobs(2, 10);
  auto* source = new TDataSource(f.Parent.Owner.get());
  source->SetDataSet(grandData.get());
  auto* pipeline = new TppDBPipeline(f.Parent.Owner.get());
  pipeline->SetDataSource(source);
  TppChildReport* child = f.Sub->Report();
  TppBand* childDetail = child->GetBand(btDetail);
  childDetail->SetPrintHeight(phDynamic);
  auto* inner = new TppSubReport(f.Parent.Report);
  inner->SetBand(childDetail);
  inner->SetBounds(mm(5), mm(10), mm(80), mm(5));
  inner->SetDataPipeline(pipeline);
  TppBand* grandDetail = inner->Report()->GetBand(btDetail);
  grandDetail->SetmmHeight(mm(10));
  auto* grand = new TTestText(f.Parent.Report);
  grand->SetBand(grandDetail);
  grand->SetBounds(0, 0, mm(20), mm(5));
  grand->SetCaption("Grand");
  inner->SetDrillDownComponent(childDetail->Objects(0));
  EXPECT_EQ(inner->Report()->MainReport(), f.Parent.Report);

  Click(Clickable(*f.Parent.PrintAll()[0], "2"));
  const auto outerOpen = f.Parent.Request(psSinglePage, 1);
  ASSERT_EQ(outerOpen.size(), 1u);
  ASSERT_EQ(outerOpen[0]->GetClickableCount(), 7);  // four parents, three children
  // The second child of the second parent.
  Click(outerOpen[0]->GetClickableDrawCommand(3));
  ASSERT_EQ(inner->ExpansionCount(), 1);
  EXPECT_EQ(inner->Expansions(0), "       2       2");
  const auto innerOpen = f.Parent.Request(psSinglePage, 1);
  ASSERT_EQ(innerOpen.size(), 1u);
  EXPECT_EQ(Texts(*innerOpen[0]), (std::vector<std::string>{"1", "2", "Child", "Child", "Grand", "Grand", "Child",
                                                            "3", "4"}));
  EXPECT_EQ(PageBytes(*innerOpen[0]), PageBytes(*f.Parent.PrintAll()[0]));
}

TEST(DrillDown, ExpandAllPrintsEveryChildWithNothingToClick) {
  TDrillDownFixture f(5);
  f.Sub->SetExpandAll(true);
  const auto pages = f.Parent.PrintAll();
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(Texts(*pages[0]).size(), 20u);
  EXPECT_EQ(pages[0]->GetClickableCount(), 0);
}

TEST(DrillDown, OneSubreportPerComponentNeverASectionAndAFreedComponentIsForgotten) {
  TDrillDownFixture f(6);
  auto* other = new TppSubReport(f.Parent.Report);
  other->SetBand(f.Parent.Detail);
  other->SetDrillDownComponent(f.Id);
  EXPECT_EQ(other->DrillDownComponent(), f.Id);
  EXPECT_EQ(f.Sub->DrillDownComponent(), nullptr);

  // A section has no drill-down; becoming one drops it.
  f.Sub->SetPrintBehavior(pbSection);
  f.Sub->SetDrillDownComponent(f.Id);
  EXPECT_EQ(f.Sub->DrillDownComponent(), nullptr);
  other->SetPrintBehavior(pbSection);
  EXPECT_EQ(other->DrillDownComponent(), nullptr);

  other->SetPrintBehavior(pbChild);
  other->SetDrillDownComponent(f.Id);
  f.Id->Free();
  EXPECT_EQ(other->DrillDownComponent(), nullptr);
}

TEST(DrillDown, AChildReportKnowsItsParentReportWhereverItsSubreportGoes) {
  TDrillDownFixture f(6);
  TppChildReport* child = f.Sub->Report();
  EXPECT_EQ(child->ParentReport(), f.Parent.Report);
  EXPECT_EQ(child->MainReport(), f.Parent.Report);
  f.Sub->SetBand(nullptr);
  EXPECT_EQ(child->ParentReport(), nullptr);
  EXPECT_EQ(child->MainReport(), child);
  TReportFixture elsewhere(1);
  f.Sub->SetBand(elsewhere.Detail);
  EXPECT_EQ(child->ParentReport(), elsewhere.Report);
  f.Sub->SetBand(f.Parent.Detail);
  EXPECT_EQ(child->ParentReport(), f.Parent.Report);
  // Its band moved to another report.
  f.Parent.Detail->SetReport(elsewhere.Report);
  EXPECT_EQ(child->ParentReport(), elsewhere.Report);
  f.Parent.Detail->SetReport(f.Parent.Report);
  EXPECT_EQ(child->ParentReport(), f.Parent.Report);
}
}  // namespace
