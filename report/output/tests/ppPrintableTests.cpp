#include <gtest/gtest.h>

#include "ppErrors.h"
#include "ppGenerationKit.h"
#include "ppGroup.h"
#include "ppMessages.h"
#include "ppUnits.h"

namespace {
TEST(Printable, ANewComponentHasTheDesignDefaults) {
  TObjectPtr<TTestText> text(new TTestText(nullptr));
  EXPECT_EQ(text->mmWidth(), ppUnitsToMMThousandths(65, utScreenPixels, axHorizontal));
  EXPECT_EQ(text->mmHeight(), ppUnitsToMMThousandths(17, utScreenPixels, axVertical));
  EXPECT_TRUE(text->Visible());
  EXPECT_EQ(text->Color(), clWhite);
  EXPECT_FALSE(text->Transparent());
  EXPECT_EQ(text->Units(), utInches);
  text->SetAlignment(taCenter);
  EXPECT_EQ(text->TextAlignment(), taCentered);
  // A label cannot be fully justified.
  text->SetTextAlignment(taFullJustified);
  EXPECT_EQ(text->TextAlignment(), taCentered);
  text->SetShiftWithParent(true);
  text->SetStretchWithParent(true);
  EXPECT_FALSE(text->ShiftWithParent());
  text->SetShiftWithParent(true);
  EXPECT_FALSE(text->StretchWithParent());
}

TEST(Printable, ComponentsKnowTheirBandAndGroup) {
  TReportFixture f(1);
  f.AddGroup("OWNER", mm(5), mm(5));
  TppGroup* second = f.AddGroup("PRINTER", mm(5), mm(5));
  TTestText* text = f.AddText(second->FooterBand(), "x", false);
  EXPECT_EQ(text->BandType(), btGroupFooter);
  EXPECT_EQ(text->GroupNo(), 1);
  // Given a pipeline other than the report's, it stops following the report.
  auto* other = new TppDBPipeline(f.Owner.get());
  TTestText* field = f.AddText(f.Detail, "ID", true);
  EXPECT_TRUE(field->ParentDataPipeline());
  field->SetDataPipeline(other);
  EXPECT_FALSE(field->ParentDataPipeline());
  field->SetParentDataPipeline(true);
  EXPECT_EQ(field->DataPipeline(), f.Pipeline);
}

TEST(Printable, ShrinkingABandMovesItsComponentsUp) {
  TReportFixture f(1);
  f.Detail->SetmmHeight(ppUnitsToMMThousandths(2, utInches, axVertical));
  TTestText* text = f.AddText(f.Detail, "x", false, ppUnitsToMMThousandths(1.5, utInches, axVertical),
                              ppUnitsToMMThousandths(0.25, utInches, axVertical));
  f.Detail->SetmmHeight(ppUnitsToMMThousandths(1, utInches, axVertical));
  EXPECT_EQ(text->mmTop(), ppUnitsToMMThousandths(0.75, utInches, axVertical));
  // A band with components keeps its height rather than go to 0.
  f.Detail->SetmmHeight(0);
  EXPECT_EQ(f.Detail->mmHeight(), ppUnitsToMMThousandths(1, utInches, axVertical));
}

TEST(Printable, AnOnPrintHandlerDecidesVisibility) {
  TReportFixture f(3);
  TTestText* text = f.AddText(f.Detail, "ID", true);
  text->SetVisible(false);
  text->OnPrint = [&f](TObject* sender) {
    static_cast<TppPrintable*>(sender)->SetVisible(f.Pipeline->GetFieldAsString("ID") == "2");
  };
  const auto pages = f.PrintAll();
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(Texts(*pages[0]), (std::vector<std::string>{"2"}));
}

TEST(Printable, OnlyCommandsOfComponentsWithAClickHandlerAreClickable) {
  TReportFixture f(1);
  TTestText* id = f.AddText(f.Detail, "ID", true);
  f.AddText(f.Detail, "caption", false, mm(5));
  std::vector<std::string> clicked;
  id->OnDrawCommandClick = [&](TObject* sender, TObject* command) {
    EXPECT_EQ(sender, id);
    clicked.push_back(static_cast<TppDrawText*>(command)->Text);
  };
  const auto pages = f.PrintAll();
  ASSERT_EQ(pages.size(), 1u);
  std::vector<bool> clickable;
  pages[0]->ForEachDrawCommand([&](TppDrawCommand* c) {
    clickable.push_back(c->Clickable());
    EXPECT_EQ(static_cast<bool>(c->OnDrawCommandClick), c->Clickable());
    if (c->OnDrawCommandClick) c->OnDrawCommandClick(c);
  });
  EXPECT_EQ(clickable, (std::vector<bool>{true, false}));
  EXPECT_EQ(clicked, (std::vector<std::string>{"1"}));
}

TEST(Printable, AStaticBandTallerThanThePageIsClippedAndGenerationEnds) {
  TReportFixture f(3);
  f.Detail->SetmmHeight(mm(400));
  f.AddText(f.Detail, "ID", true);
  const auto pages = f.PrintAll();
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_EQ(Texts(*pages[2]).back(), "3");
}

TEST(Printable, APipelineThatCannotOpenIsNamed) {
  TReportFixture f(3);
  f.Pipeline->SetDataSource(nullptr);
  try {
    f.PrintAll();
    FAIL() << "no error";
  } catch (const EPrintError& e) {
    EXPECT_EQ(e.Message, ppLoadMessage(40) + ": plJobs");
  }
}
}  // namespace
