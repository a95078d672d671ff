// What a designer shows of bar codes and rich text: their pop-up items
// and their pictures (their dialogs are tried with the forms).
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

#include "ppBarCode.h"
#include "ppMessages.h"
#include "ppPrintablesKit.h"
#include "ppRichText.h"
#include "rtlTypeInfo.h"
#include "uiDialogs.h"
#include "uiGraphicsBitmap.h"

namespace {

int Ink(const TBitmap& bitmap, const TRect& within, bool inside) {
  int count = 0;
  for (int y = 0; y < bitmap.Height(); ++y)
    for (int x = 0; x < bitmap.Width(); ++x) {
      const bool in = x >= within.Left && x < within.Right && y >= within.Top && y < within.Bottom;
      if (in == inside && bitmap.Pixel(x, y) != clWhite) ++count;
    }
  return count;
}

}  // namespace

TEST(DesignView, MenusOfferTheirItemsWithCaptionsAndSwitchableProperties) {
  TPrintablesFixture f(Rows(1));
  struct TCase {
    TppDesignMenuSource* Source;
    TObject* Component;
    std::vector<std::string> Names;
    std::vector<std::string> Commands;
  };
  auto* barCode = f.Add<TppBarCode>(f.Detail, 0, 0, mm(40), mm(15));
  auto* rich = f.Add<TppRichText>(f.Detail, 0, 0, mm(40), mm(15));
  auto* dbRich = f.Add<TppDBRichText>(f.Detail, 0, 0, mm(40), mm(15));
  const TCase cases[] = {
      {barCode, barCode,
       {"AutoSize", "AutoSizeFont", "Configure", "PrintHumanReadable", "ReprintOnOverFlow", "ShiftWithParent", "Transparent"},
       {"Configure"}},
      {rich, rich,
       {"Edit", "KeepTogether", "MailMerge", "ReprintOnOverFlow", "ShiftWithParent", "Stretch", "Transparent"},
       {"Edit"}},
      {dbRich, dbRich, {"KeepTogether", "ReprintOnOverFlow", "ShiftWithParent", "Stretch", "Transparent"}, {}},
  };
  for (const TCase& c : cases) {
    std::vector<std::string> names;
    for (const TppDesignMenuItem& item : c.Source->DesignMenuItems()) {
      names.push_back(item.Name);
      EXPECT_EQ(item.Order, ppComponentMenuOrder);
      EXPECT_FALSE(ppLoadMessage(item.MessageNo).empty()) << item.Name << " has a caption";
      const bool command = std::count(c.Commands.begin(), c.Commands.end(), item.Name) > 0;
      const TPropInfo* prop = c.Component->ClassType().FindProperty(item.Name);
      // Every other item switches a published Boolean property.
      EXPECT_EQ(!command, prop && prop->TypeName() == "Boolean") << item.Name;
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, c.Names);
  }
  // Without a dialog registered nothing is shown and nothing changes.
  rich->SetRichText("{\\rtf1 Kept}");
  EXPECT_FALSE(barCode->DesignCommand("Configure"));
  EXPECT_FALSE(rich->DesignCommand("Edit"));
  EXPECT_EQ(rich->PlainText(), "Kept");
}

TEST(DesignView, ABarCodePaintsItsSymbolOverItsAreaAndFramesBadData) {
  TPrintablesFixture f(Rows(1));
  auto* barCode = f.Add<TppBarCode>(f.Detail, 0, 0, mm(40), mm(15));
  struct TCase {
    const char* Data;
    bool Valid;
  };
  std::vector<std::string> shown;
  SetMessageBoxRunner([&](const TMessageBoxRequest& r) {
    shown.push_back(r.Text);
    return mrOk;
  });
  for (const TCase& c : {TCase{"CODE 39", true}, TCase{"bad#data", false}}) {
    barCode->SetData(c.Data);
    EXPECT_EQ(barCode->CodeOK(), c.Valid);
    TBitmap bitmap(96);
    bitmap.SetSize(300, 120);
    const TRect area{20, 10, 260, 100};
    barCode->PaintDesignView(bitmap.Canvas(), area);
    EXPECT_EQ(Ink(bitmap, area, false), 0) << c.Data << ": nothing outside the area";
    // Valid: bars over the middle of the area; not: the dashed frame on
    // its edge, with gaps.
    int middle = 0, edge = 0;
    for (int x = area.Left; x < area.Right; ++x) {
      middle += bitmap.Pixel(x, (area.Top + area.Bottom) / 3) != clWhite;
      edge += bitmap.Pixel(x, area.Top) != clWhite;
    }
    if (c.Valid) {
      EXPECT_GT(middle, 20) << c.Data;
    } else {
      EXPECT_GT(edge, 20) << c.Data;
      EXPECT_LT(edge, area.Width()) << c.Data;
    }
  }
  SetMessageBoxRunner(nullptr);
  EXPECT_EQ(shown.size(), 1u) << "painting reports nothing the data check did not";
}

TEST(DesignView, RichTextShowsItsTextAndBackgroundOrWhatIsBelow) {
  TPrintablesFixture f(Rows(1));
  auto* rich = f.Add<TppRichText>(f.Detail, 0, 0, mm(40), mm(15));
  rich->SetColor(clYellow);
  struct TCase {
    const char* Rtf;
    bool Transparent;
    TColor Corner;  // a pixel no text reaches
    bool Ink;
  };
  const TCase cases[] = {
      {"", false, clYellow, false},
      {"", true, clRed, false},
      {"{\\rtf1 Hello}", false, clYellow, true},
      {"{\\rtf1 Hello}", true, clRed, true},
      {"{\\rtf1 Hello\\par Again}", false, clYellow, true},
  };
  int lastInk = -1;
  for (const TCase& c : cases) {
    rich->SetRichText(c.Rtf);
    rich->SetTransparent(c.Transparent);
    TBitmap bitmap(96);
    bitmap.SetSize(200, 80);
    bitmap.Canvas().Brush().SetColor(clRed);
    bitmap.Canvas().FillRect(TRect{0, 0, 200, 80});
    rich->PaintDesignView(bitmap.Canvas(), TRect{10, 10, 190, 70});
    EXPECT_EQ(bitmap.Pixel(185, 65), c.Corner) << c.Rtf << " " << c.Transparent;
    EXPECT_EQ(bitmap.Pixel(5, 5), clRed) << "outside the area";
    int ink = 0;
    for (int y = 10; y < 70; ++y)
      for (int x = 10; x < 190; ++x) {
        const TColor p = bitmap.Pixel(x, y);
        ink += p != clYellow && p != clRed;
      }
    EXPECT_EQ(ink > 0, c.Ink) << c.Rtf << " " << c.Transparent;
    // A second paragraph shows: the picture follows the text.
    if (std::string(c.Rtf).find("Again") != std::string::npos) {
      EXPECT_GT(ink, lastInk + 10);
    }
    lastInk = ink;
  }
}
