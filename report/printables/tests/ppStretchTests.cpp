// Memos and regions across pages.
#include <gtest/gtest.h>

#include "ppMemo.h"
#include "ppPlainText.h"
#include "ppPrintablesKit.h"
#include "ppPrinterSetup.h"

namespace {

// A one-record report whose page has room for linesPerPage lines of the
// memo's font below its top margin; no page bands.
struct TMemoReport {
  explicit TMemoReport(double linesPerPage, const std::string& text) : f(Rows(1)) {
    f.Header->SetVisible(false);
    f.Footer->SetVisible(false);
    memo = f.Add<TppMemo>(f.Detail, 0, 0, mm(100), mm(5));
    memo->Font()->SetName("Liberation Sans");
    memo->Font()->SetSize(10);
    TppPlainText::LinesPerHeight(memo->Font()->Value(), 0, lineHeight, nullptr, mm(10));
    f.Report->PrinterSetup()->SetPaperHeight(mm(20) + static_cast<int>(linesPerPage * lineHeight));
    memo->Lines()->SetText(text);
    memo->SetStretch(true);
  }
  // The memo's wrapped lines on each page.
  std::vector<std::vector<std::string>> Pages() {
    std::vector<std::vector<std::string>> result;
    for (const auto& page : f.PrintAll()) {
      result.emplace_back();
      page->ForEachDrawCommand([&](TppDrawCommand* c) {
        auto* t = dynamic_cast<TppDrawText*>(c);
        if (!t || t->Component != memo) return;
        for (int i = 0; i < t->WrappedText()->Count(); ++i) result.back().push_back(t->WrappedText()->Get(i));
      });
    }
    return result;
  }
  // One wrap of the whole text in a rectangle without bottom.
  std::vector<std::string> WholeWrap() {
    TStringList lines;
    TppWrapOptions options;
    options.Rect = TRect{0, 0, memo->mmWidth(), 1 << 29};
    int position = 0;
    TppPlainText::WrapText(memo->GetText(), options, memo->Font()->Value(), nullptr, lines, position);
    std::vector<std::string> result;
    for (int i = 0; i < lines.Count(); ++i) result.push_back(lines.Get(i));
    return result;
  }
  TPrintablesFixture f;
  TppMemo* memo;
  int lineHeight = 0;
};

std::string NumberedLines(int count, const std::string& word = "Line") {
  std::string text;
  for (int n = 1; n <= count; ++n) text += word + " " + std::to_string(n) + "\r\n";
  return text;
}

std::vector<std::string> Joined(const std::vector<std::vector<std::string>>& pages) {
  std::vector<std::string> all;
  for (const auto& page : pages) all.insert(all.end(), page.begin(), page.end());
  return all;
}

TEST(MemoTest, AHundredLinesWithRoomForFortyGoFortyFortyAndTwenty) {
  TMemoReport r(40.5, NumberedLines(100));
  const auto pages = r.Pages();
  std::vector<size_t> counts;
  for (const auto& page : pages) counts.push_back(page.size());
  EXPECT_EQ(counts, (std::vector<size_t>{40, 40, 20}));
  EXPECT_EQ(Joined(pages), r.WholeWrap());
}

TEST(MemoTest, LongWordsWrapAcrossPagesWithoutLosingOrRepeatingText) {
  std::string text;
  for (int n = 0; n < 300; ++n) text += "word" + std::to_string(n) + (n % 17 == 16 ? "\r\n" : " ");
  TMemoReport r(12.5, text);
  const auto pages = r.Pages();
  ASSERT_GT(pages.size(), 2u);
  EXPECT_EQ(Joined(pages), r.WholeWrap());
}

TEST(MemoTest, WhenNoLineFitsBelowOtherDataTheMemoGoesOnWholeOnTheNextPage) {
  TMemoReport r(10.5, NumberedLines(15));
  // A title that leaves less than a line: the memo starts on page 2.
  auto* title = new TppTitleBand(r.f.Report);
  title->SetReport(r.f.Report);
  title->SetmmHeight(static_cast<int>(10.2 * r.lineHeight));
  const auto pages = r.Pages();
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_TRUE(pages[0].empty());
  EXPECT_EQ(Joined(pages), r.WholeWrap());
}

TEST(MemoTest, ALineTallerThanAnyPageIsClippedOncePerPageAndTheReportEnds) {
  TMemoReport r(10, "one\r\ntwo\r\nthree");
  r.memo->Font()->SetSize(150);
  r.memo->SetmmWidth(mm(190));
  const auto pages = r.Pages();
  EXPECT_EQ(Joined(pages), (std::vector<std::string>{"one", "two", "three"}));
  EXPECT_EQ(pages.size(), 3u);
}

TEST(MemoTest, TabStopsAreStoredInMillimetreThousandthsAndReadBackInUnits) {
  TPrintablesFixture f(Rows(1));
  auto* memo = f.Add<TppMemo>(f.Detail, 0, 0, mm(50), mm(10));
  memo->SetUnits(utInches);
  TStringList stops;
  stops.SetText("1\r\n2.5\r\n");
  memo->SetTabStopPositions(&stops);
  EXPECT_EQ(memo->mmTabStopPositions().Get(0), std::to_string(ppUnitsToMMThousandths(1, utInches, axHorizontal)));
  EXPECT_EQ(memo->mmTabStopPositions().Get(1), std::to_string(ppUnitsToMMThousandths(2.5, utInches, axHorizontal)));
  EXPECT_EQ(memo->TabStopPositions()->Get(1), "2.5");
}

}  // namespace

#include "ppCtrls.h"
#include "ppRegion.h"

namespace {

TEST(RegionTest, AKeptTogetherRegionMovesWholeToTheNextPageWithItsObjectsInPlace) {
  TPrintablesFixture f(Rows(6));
  f.Header->SetVisible(false);
  f.Footer->SetVisible(false);
  // 277 mm of page: four 60 mm regions fit, the fifth would cross the
  // bottom and starts page 2.
  f.Detail->SetmmHeight(mm(60));
  auto* region = f.Add<TppRegion>(f.Detail, mm(10), 0, mm(100), mm(60));
  region->SetStretch(true);
  region->SetKeepTogether(true);
  auto* label = f.Add<TppDBText>(f.Detail, mm(30), mm(40), mm(40), mm(5));
  label->SetDataPipeline(f.Pipeline);
  label->SetDataField("NOTE");
  region->AddObject(label);
  EXPECT_EQ(label->Region(), region);
  const auto pages = f.PrintAll();
  ASSERT_EQ(pages.size(), 2u);
  std::vector<int> perPage;
  for (const auto& page : pages) {
    int regions = 0;
    std::vector<int> regionTops, labelTops;
    page->ForEachDrawCommand([&](TppDrawCommand* c) {
      if (dynamic_cast<TppDrawShape*>(c)) regionTops.push_back(c->Top());
      if (auto* t = dynamic_cast<TppDrawText*>(c); t && t->Component == label) labelTops.push_back(c->Top());
    });
    regions = static_cast<int>(regionTops.size());
    perPage.push_back(regions);
    ASSERT_EQ(regionTops.size(), labelTops.size());
    for (size_t i = 0; i < regionTops.size(); ++i) EXPECT_EQ(labelTops[i] - regionTops[i], mm(40));
  }
  EXPECT_EQ(perPage, (std::vector<int>{4, 2}));
  EXPECT_EQ(Texts(*pages[1]).front(), "Job 5");
}

TEST(RegionTest, MovingARegionMovesItsObjectsAndOnlyARegionHoldsObjects) {
  TPrintablesFixture f(Rows(1));
  auto* region = f.Add<TppRegion>(f.Detail, mm(10), mm(2), mm(100), mm(8));
  auto* label = f.Add<TppLabel>(f.Detail, mm(20), mm(3), mm(40), mm(5));
  region->AddObject(label);
  region->SetmmLeft(mm(20));
  region->SetmmTop(mm(3));
  EXPECT_EQ(std::vector<int>({label->mmLeft(), label->mmTop()}), std::vector<int>({mm(30), mm(4)}));
  auto* other = f.Add<TppLabel>(f.Detail, 0, 0, mm(10), mm(5));
  other->SetRegion(label);
  EXPECT_EQ(other->Region(), nullptr);
  region->Free();
  EXPECT_EQ(f.Detail->ObjectCount(), 1);
}

}  // namespace

#include "ppErrors.h"
#include "ppMessages.h"

namespace {

TEST(StretchTest, ShiftingInACircleIsRefusedWithTheEnginesMessage) {
  TPrintablesFixture f(Rows(1));
  auto* a = f.Add<TppMemo>(f.Detail, 0, 0, mm(50), mm(5));
  auto* b = f.Add<TppMemo>(f.Detail, 0, mm(6), mm(50), mm(5));
  b->SetShiftRelativeTo(a);
  EXPECT_TRUE(a->Stretch());
  a->SetStretch(false);
  EXPECT_TRUE(a->Stretch());  // it has a shifter
  try {
    a->SetShiftRelativeTo(b);
    ADD_FAILURE();
  } catch (const EInvalidPropertyError& e) {
    EXPECT_STREQ(e.what(), ppLoadMessage(342).c_str());
    EXPECT_FALSE(std::string(e.what()).empty());
  }
  EXPECT_EQ(a->ShiftRelativeTo(), nullptr);
  EXPECT_EQ(f.Detail->PrintHeight(), phDynamic);
  // A new stretchable measures 185 by 89 screen pixels.
  TppMemo fresh(nullptr);
  EXPECT_EQ(std::vector<int>({fresh.mmWidth(), fresh.mmHeight()}),
            std::vector<int>({ppUnitsToMMThousandths(185, utScreenPixels, axHorizontal),
                              ppUnitsToMMThousandths(89, utScreenPixels, axVertical)}));
}

TEST(StretchTest, AShifterFollowsTheBottomOfItsTargetOnEveryPage) {
  TPrintablesFixture f(Rows(1));
  f.Header->SetVisible(false);
  f.Footer->SetVisible(false);
  auto* first = f.Add<TppMemo>(f.Detail, 0, 0, mm(100), mm(5));
  first->Lines()->SetText("one\r\ntwo\r\nthree\r\nfour\r\n");
  first->SetStretch(true);
  auto* second = f.Add<TppMemo>(f.Detail, 0, mm(6), mm(100), mm(5));
  second->Lines()->SetText("after\r\n");
  second->SetStretch(true);
  second->SetShiftRelativeTo(first);
  const auto pages = f.PrintAll();
  ASSERT_EQ(pages.size(), 1u);
  int firstBottom = -1, secondTop = -1;
  pages[0]->ForEachDrawCommand([&](TppDrawCommand* c) {
    auto* t = dynamic_cast<TppDrawText*>(c);
    if (t && t->Component == first) firstBottom = c->Top() + c->Height();
    if (t && t->Component == second) secondTop = c->Top();
  });
  EXPECT_EQ(secondTop, firstBottom);
}

TEST(StretchTest, TheBandPositionErrorHasASentence) {
  EXPECT_FALSE(ppLoadMessage(415).empty());
  TPrintablesFixture f(Rows(1));
  f.Detail->SetmmPrintPosition(mm(400));
  try {
    f.PrintAll();
    ADD_FAILURE();
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(e.what()), ppLoadMessage(415) + ".");
  }
}

}  // namespace

namespace {

TEST(StretchTest, AContinuationWithNoRoomGoesOnFromWhereThePageStarted) {
  // Each continuation starts so far down that no line fits there: one line
  // a page is forced, never the text from its start again.
  TMemoReport r(10.5, NumberedLines(15));
  r.memo->SetmmOverFlowOffset(static_cast<int>(10.2 * r.lineHeight));
  const auto pages = r.Pages();
  EXPECT_EQ(Joined(pages), r.WholeWrap());
  EXPECT_EQ(pages.size(), 6u);
}

TEST(StretchTest, AComponentThatShiftsWithItsParentStaysBelowTheMemoThatGrew) {
  TPrintablesFixture f(Rows(1));
  auto* memo = f.Add<TppMemo>(f.Detail, 0, 0, mm(100), mm(5));
  memo->Lines()->SetText(NumberedLines(6));
  memo->SetStretch(true);
  auto* below = f.Add<TppLabel>(f.Detail, 0, mm(7), mm(40), mm(5));
  below->SetCaption("below");
  below->SetShiftWithParent(true);
  const auto pages = f.PrintAll();
  int memoBottom = -1, labelTop = -1;
  pages[0]->ForEachDrawCommand([&](TppDrawCommand* c) {
    auto* t = dynamic_cast<TppDrawText*>(c);
    if (t && t->Component == memo) memoBottom = c->Top() + c->Height();
    if (t && t->Component == below) labelTop = c->Top();
  });
  ASSERT_GT(memoBottom, mm(30) + mm(5));
  EXPECT_EQ(labelTop, memoBottom + mm(2));
}

}  // namespace
