// Layouts that carry the components and the report's output settings, and
// the registry of component classes.
#include <gtest/gtest.h>

#include "ppComponentRegistry.h"
#include "ppCtrls.h"
#include "ppGroup.h"
#include "ppMemo.h"
#include "ppPrintablesKit.h"
#include "ppRegion.h"
#include "ppShapes.h"
#include "ppTemplate.h"
#include "ppVar.h"
#include "rtlStrUtils.h"
#include "ppRichText.h"
#include "rtlStreams.h"
#include "uiGraphicsBitmap.h"

namespace {

class LayoutTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    ppRegisterReportClasses();
    ppStartPrintables();
  }

  static std::string Save(TppReport& report) {
    TMemoryStream stream;
    report.Template().SetFormat(ftASCII);
    report.Template().SaveToStream(stream);
    std::string bytes(static_cast<size_t>(stream.Size()), '\0');
    stream.SetPosition(0);
    stream.Read(bytes.data(), stream.Size());
    return bytes;
  }

  static void Load(TppReport& report, const std::string& bytes) {
    TMemoryStream stream;
    stream.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
    stream.SetPosition(0);
    report.Template().LoadFromStream(stream);
  }

  // A layout with one component of each kind and every output setting
  // away from its default.
  static void MakeLayout(TPrintablesFixture& f) {
    TppReport& r = *f.Report;
    r.SetAllowPrintToArchive(true);
    r.SetAllowPrintToFile(true);
    r.SetArchiveFileName("usage.raf");
    r.SetCachePages(true);
    r.SetModalCancelDialog(false);
    r.SetModalPreview(false);
    r.SetSavePrinterSetup(true);
    r.SetShowCancelDialog(false);
    r.SetShowPrintDialog(false);
    r.SetTextFileName("usage.txt");
    r.SetTextFileType(ftTab);
    TppPicture icon;
    icon.NewBitmap().SetSize(16, 16);
    r.SetIcon(&icon);
    TppGroup* group = f.AddGroup("OWNER", mm(10), mm(10));
    auto* label = f.Add<TppLabel>(f.Header, mm(1), mm(2), mm(30), mm(5));
    label->SetCaption("Usage");
    label->SetTextAlignment(taCentered);
    auto* text = f.Add<TppDBText>(f.Detail, mm(1), 0, mm(30), mm(5));
    text->SetDataPipeline(f.Pipeline);
    text->SetDataField("OWNER");
    text->SetSuppressRepeatedValues(true);
    text->SetDisplayFormat("!>");
    auto* calc = f.Add<TppDBCalc>(group->FooterBand(), mm(1), 0, mm(30), mm(5));
    calc->SetDataPipeline(f.Pipeline);
    calc->SetDataField("PAGES");
    calc->SetDBCalcType(dcMaximum);
    calc->SetResetGroup(group);
    calc->SetLookAhead(true);
    auto* system = f.Add<TppSystemVariable>(f.Footer, mm(1), 0, mm(30), mm(5));
    system->SetVarType(vtPageSetDesc);
    auto* variable = f.Add<TppVariable>(f.Footer, mm(40), 0, mm(30), mm(5));
    variable->SetDataType(dtInteger);
    variable->SetCalcType(vePageEnd);
    auto* memo = f.Add<TppMemo>(f.Detail, mm(40), 0, mm(60), mm(5));
    memo->Lines()->SetText("first\r\nsecond\r\n");
    memo->SetStretch(true);
    memo->SetmmLeading(mm(1));
    memo->SetmmBottomOffset(mm(2));
    auto* rich = f.Add<TppRichText>(f.Detail, mm(105), 0, mm(60), mm(5));
    rich->SetRichText("{\\rtf1 Dear \\b <OWNER>\\b0 \\{\\'e9\\}\\par}");
    rich->SetMailMerge(true);
    rich->SetStretch(true);
    auto* dbRich = f.Add<TppDBRichText>(f.Detail, mm(170), 0, mm(20), mm(5));
    dbRich->SetDataPipeline(f.Pipeline);
    dbRich->SetDataField("NOTE");
    dbRich->SetAutoDisplay(false);
    auto* shape = f.Add<TppShape>(f.Header, mm(100), 0, mm(20), mm(10));
    shape->SetShape(stRoundRect);
    auto* line = f.Add<TppLine>(f.Header, mm(1), mm(15), mm(180), mm(2));
    line->SetPosition(lpBottom);
    line->SetStyle(lsDouble);
    line->SetWeight(1.5f);
    auto* region = f.Add<TppRegion>(f.Footer, mm(100), 0, mm(50), mm(15));
    auto* inRegion = f.Add<TppLabel>(f.Footer, mm(101), mm(1), mm(20), mm(5));
    inRegion->SetCaption("in region");
    region->AddObject(inRegion);
  }
};

TEST_F(LayoutTest, EveryStoredPropertyRoundTripsByteExactAndTakesEffect) {
  TPrintablesFixture source(Rows(3));
  MakeLayout(source);
  const std::string first = Save(*source.Report);
  for (const char* name :
       {"AllowPrintToArchive = True", "AllowPrintToFile = True", "ArchiveFileName = 'usage.raf'", "CachePages = True",
        "ModalCancelDialog = False", "ModalPreview = False", "SavePrinterSetup = True", "ShowCancelDialog = False",
        "ShowPrintDialog = False", "TextFileName = 'usage.txt'", "TextFileType = ftTab", "Icon.Data",
        "object TppLabel", "DBCalcType = dcMaximum", "LookAhead = True", "VarType = vtPageSetDesc",
        "Shape = stRoundRect", "Style = lsDouble", "mmLeading = 1000", "mmBottomOffset = 2000",
        "object TppRegion", "SuppressRepeatedValues = True", "CalcType = vePageEnd", "object TppRichText",
        "MailMerge = True", "object TppDBRichText", "AutoDisplay = False"})
    EXPECT_NE(first.find(name), std::string::npos) << name << "\n" << first;

  TPrintablesFixture copy(Rows(3));
  Load(*copy.Report, first);
  EXPECT_EQ(Save(*copy.Report), first);
  TppReport& r = *copy.Report;
  EXPECT_EQ(std::vector<bool>({r.AllowPrintToArchive(), r.AllowPrintToFile(), r.CachePages(), r.ModalCancelDialog(),
                               r.ModalPreview(), r.SavePrinterSetup(), r.ShowCancelDialog(), r.ShowPrintDialog()}),
            std::vector<bool>({true, true, true, false, false, true, false, false}));
  EXPECT_EQ(r.TextFileType(), ftTab);
  EXPECT_EQ(r.ArchiveFileName(), "usage.raf");
  ASSERT_NE(r.Icon()->Bitmap(), nullptr);
  // The components print from the layout read back: the region's label
  // among them.
  const auto pages = copy.PrintAll();
  ASSERT_FALSE(pages.empty());
  const std::vector<std::string> texts = Texts(*pages[0]);
  EXPECT_NE(std::find(texts.begin(), texts.end(), "in region"), texts.end());
  EXPECT_NE(std::find(texts.begin(), texts.end(), "Page 1 of 1"), texts.end());
  TppRichText* rich = nullptr;
  for (int i = 0; i < r.GetBand(btDetail)->ObjectCount(); ++i)
    if (auto* c = dynamic_cast<TppRichText*>(r.GetBand(btDetail)->Objects(i))) rich = c;
  ASSERT_NE(rich, nullptr);
  EXPECT_EQ(rich->PlainText(), "Dear <OWNER>{\xC3\xA9}");
  EXPECT_EQ(rich->PrintedText().PlainText(), "Dear Owner1{\xC3\xA9}");
}

TEST_F(LayoutTest, TheDefaultsAreNotWritten) {
  TPrintablesFixture f(Rows(1));
  const std::string layout = Save(*f.Report);
  for (const char* name : {"AllowPrintToFile", "CachePages", "ModalPreview", "ShowCancelDialog", "TextFileType",
                           "Language", "SavePrinterSetup"})
    EXPECT_EQ(layout.find(name), std::string::npos) << name;
}

// A layout stores AutoSize only where it differs from what a new component
// of the class starts with, so every setting comes back after a reload.
TEST_F(LayoutTest, AutoSizeComesBackAsItWasSaved) {
  struct TCase {
    bool DataAware;
    bool AutoSize;
    const char* Written;  // nullptr: not written
  };
  const TCase cases[] = {{false, false, "AutoSize = False"},
                         {false, true, nullptr},
                         {true, false, nullptr},
                         {true, true, "AutoSize = True"}};
  for (const TCase& c : cases) {
    TPrintablesFixture source(Rows(1));
    TppCustomText* text = c.DataAware ? static_cast<TppCustomText*>(source.Add<TppDBText>(source.Detail, 0, 0, mm(30), mm(5)))
                                      : static_cast<TppCustomText*>(source.Add<TppLabel>(source.Detail, 0, 0, mm(30), mm(5)));
    EXPECT_EQ(text->AutoSize(), !c.DataAware) << "a new component starts as its layout default";
    text->SetAutoSize(c.AutoSize);
    const std::string layout = Save(*source.Report);
    const std::string context = std::string(c.DataAware ? "TppDBText" : "TppLabel") + " AutoSize " +
                                (c.AutoSize ? "on" : "off") + "\n" + layout;
    EXPECT_EQ(layout.find("AutoSize") != std::string::npos, c.Written != nullptr) << context;
    if (c.Written) {
      EXPECT_NE(layout.find(c.Written), std::string::npos) << context;
    }
    TPrintablesFixture copy(Rows(1));
    Load(*copy.Report, layout);
    ASSERT_EQ(copy.Report->GetBand(btDetail)->ObjectCount(), 1) << context;
    auto* loaded = dynamic_cast<TppCustomText*>(copy.Report->GetBand(btDetail)->Objects(0));
    ASSERT_NE(loaded, nullptr) << context;
    EXPECT_EQ(loaded->AutoSize(), c.AutoSize) << context;
    EXPECT_EQ(Save(*copy.Report), layout) << context;
  }
}

TEST_F(LayoutTest, TheRegistryListsThePalettePagesAndRefusesWorkOutsideTheEngine) {
  const struct {
    const char* ClassName;
    const char* Page;
    int Position;
    int MessageNo;
  } expected[] = {
      {"TppLabel", ppStandardComponentsPage, 0, 172}, {"TppDBCalc", ppDataComponentsPage, 3, 164},
      {"TppLine", ppStandardComponentsPage, 7, 174},  {"TppRegion", ppAdvancedComponentsPage, 0, 368},
      {"TppSubReport", ppAdvancedComponentsPage, 1, 369}, {"TppRichText", ppStandardComponentsPage, 2, 351},
      {"TppDBBarCode", ppDataComponentsPage, 5, 461},
  };
  const auto list = ppComponentRegistrations();
  for (const auto& e : expected) {
    const auto it = std::find_if(list.begin(), list.end(), [&](const TppComponentRegistration& r) {
      return r.ComponentClass->Name() == e.ClassName;
    });
    ASSERT_NE(it, list.end()) << e.ClassName;
    EXPECT_EQ(it->PageName, e.Page);
    EXPECT_EQ(std::vector<int>({it->Position, it->MessageNo}), std::vector<int>({e.Position, e.MessageNo}));
    EXPECT_NE(GetClass(e.ClassName), nullptr);
  }
  EXPECT_TRUE(std::is_sorted(list.begin(), list.end(), [](const auto& a, const auto& b) {
    return UpperCase(a.ComponentClass->Name()) < UpperCase(b.ComponentClass->Name());
  }));
  // Registering again replaces the record.
  ppRegisterComponent(TppLabel::StaticClassType(), "Mine", 9, 1, "Caption", 172);
  EXPECT_EQ(ppComponentRegistrations().size(), list.size());

  ppStopPrintables();
  EXPECT_EQ(GetClass("TppDBCalc"), nullptr);
  try {
    ppRegisterComponent(TppLabel::StaticClassType(), ppStandardComponentsPage, 0, 0, "", 172);
    ADD_FAILURE();
  } catch (const EComponentError& e) {
    EXPECT_STREQ(e.what(), "Unable to register component classes.");
  }
  EXPECT_THROW(ppUnRegisterComponent(TppLabel::StaticClassType()), EComponentError);
  ppStartPrintables();
  EXPECT_EQ(ppComponentRegistrations().size(), list.size());
}

}  // namespace

namespace {

TEST_F(LayoutTest, OlderLayoutsAreConvertedAsTheyLoad) {
  TPrintablesFixture source(Rows(1));
  auto* label = source.Add<TppLabel>(source.Detail, 96, 10, 200, 17);
  label->SetCaption("Old");
  auto* line = source.Add<TppLine>(source.Detail, 0, 0, 100, 10);
  line->SetWeight(3.0f);  // a pen 4 pixels wide
  std::string layout = Save(*source.Report);
  // The same stream as version 2.0 stored it: sizes in screen pixels, the
  // line's weight unknown, and the parent-following settings named after
  // the band.
  const size_t version = layout.find("Version = '5.56'");
  ASSERT_NE(version, std::string::npos);
  layout.replace(version, 16, "Version = '2.0'");
  const size_t weight = layout.find("Weight = ");
  layout.erase(weight, layout.find('\n', weight) - weight + 1);
  const size_t caption = layout.find("Caption = 'Old'");
  layout.insert(caption, "ShiftWithBand = True\n      ");

  TPrintablesFixture copy(Rows(1));
  Load(*copy.Report, layout);
  TppBand* detail = copy.Report->GetBand(btDetail);
  auto* loaded = dynamic_cast<TppLabel*>(detail->Objects(0));
  auto* loadedLine = dynamic_cast<TppLine*>(detail->Objects(1));
  ASSERT_TRUE(loaded && loadedLine);
  EXPECT_EQ(loaded->mmLeft(), ppUnitsToMMThousandths(96, utScreenPixels, axHorizontal));
  EXPECT_EQ(loaded->mmTop(), ppUnitsToMMThousandths(10, utScreenPixels, axVertical));
  EXPECT_TRUE(loaded->ShiftWithParent());
  EXPECT_FLOAT_EQ(loadedLine->Weight(), 3.0f);
}

}  // namespace
