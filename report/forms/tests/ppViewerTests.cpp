#include <gtest/gtest.h>

#include "ppDevice.h"
#include "ppDrwCmd.h"
#include "ppFormsKit.h"
#include "ppPrinterSetup.h"
#include "ppPublisher.h"
#include "ppViewer.h"
#include "uiTestSupport.h"

namespace {

// US Letter at 96 pixels per inch.
constexpr int letterWidth = 816, letterHeight = 1056;

TEST(ppViewerLayout, ZoomModesFitTheBox) {
  struct Case {
    TppZoomSettingType setting;
    int percentage, boxWidth, boxHeight;
    int bitmapWidth, bitmapHeight, zoom;
  };
  const Case cases[] = {
      {zs100Percent, 100, 600, 800, 864, 1104, 100},
      {zsPageWidth, 100, 600, 800, 586, 800, 69},
      {zsWholePage, 100, 600, 800, 600, 800, 71},
      {zsPercentage, 50, 300, 300, 456, 576, 50},
      {zsPercentage, 250, 600, 800, 2088, 2688, 250},
      // Above the limit the percentage is taken as the limit.
      {zsPercentage, 300, 600, 800, 2088, 2688, 250},
  };
  for (const Case& c : cases) {
    const TppPageLayout layout =
        ppLayoutPage(c.setting, c.percentage, letterWidth, letterHeight, c.boxWidth, c.boxHeight, 96);
    EXPECT_EQ(layout.BitmapWidth, c.bitmapWidth) << c.setting << " " << c.percentage;
    EXPECT_EQ(layout.BitmapHeight, c.bitmapHeight) << c.setting << " " << c.percentage;
    EXPECT_EQ(layout.CalculatedZoom, c.zoom) << c.setting << " " << c.percentage;
  }
}

TEST(ppViewerLayout, TinyBoxesKeepPagesOfAtLeastOnePixel) {
  for (TppZoomSettingType setting : {zsWholePage, zsPageWidth, zsPercentage})
    for (int box : {0, 1, 5, 40}) {
      const TppPageLayout layout = ppLayoutPage(setting, 1, letterWidth, letterHeight, box, box, 96);
      EXPECT_GE(layout.PageRect.Width(), 1);
      EXPECT_GE(layout.PageRect.Height(), 1);
      EXPECT_GE(layout.BitmapWidth, 1);
      EXPECT_GE(layout.BitmapHeight, 1);
      EXPECT_GE(layout.CalculatedZoom, 1);
    }
}

TEST(ppViewer, PercentageIsKeptInBoundsAndSelectsPercentage) {
  TestApplication();
  TppViewer viewer;
  for (auto [given, kept] : {std::pair{300, 250}, {5, 10}, {120, 120}}) {
    viewer.SetZoomSetting(zsWholePage);
    viewer.SetZoomPercentage(given);
    EXPECT_EQ(viewer.ZoomPercentage(), kept);
    EXPECT_EQ(viewer.ZoomSetting(), zsPercentage);
  }
}

class ppViewerPaging : public ::testing::Test {
protected:
  TKitReport kit{12};  // three pages of five, five and two rows
  TppViewer viewer;
  int pageChanges = 0, statusChanges = 0, printStates = 0;

  void SetUp() override {
    viewer.resize(700, 900);
    viewer.show();
    viewer.OnPageChange = [this](TppViewer*) { ++pageChanges; };
    viewer.OnStatusChange = [this](TppViewer*) { ++statusChanges; };
    viewer.OnPrintStateChange = [this](TppViewer*) { ++printStates; };
    viewer.SetReport(kit.Report);
    kit.Report->PrintToDevices();
  }
};

TEST_F(ppViewerPaging, NavigationRequestsTheRightPagesAndStopsAtTheEnds) {
  ASSERT_EQ(viewer.AbsolutePageNo(), 1);
  EXPECT_GT(printStates, 0);
  EXPECT_GT(statusChanges, 0);
  EXPECT_FALSE(viewer.Busy());
  struct Step {
    std::function<void()> act;
    int page;
    bool newPage;
  };
  const Step steps[] = {
      {[&] { viewer.PriorPage(); }, 1, false},  // page 1 has no prior page
      {[&] { viewer.FirstPage(); }, 1, false},
      {[&] { viewer.NextPage(); }, 2, true},
      {[&] { viewer.LastPage(); }, 3, true},
      {[&] { viewer.NextPage(); }, 3, false},  // nothing after the last page
      {[&] { viewer.LastPage(); }, 3, false},
      {[&] { viewer.GotoPage(2); }, 2, true},
      {[&] { viewer.GotoPage(2); }, 2, false},
      {[&] { viewer.PriorPage(); }, 1, true},
  };
  for (const Step& step : steps) {
    const int before = pageChanges;
    step.act();
    EXPECT_EQ(viewer.AbsolutePageNo(), step.page);
    EXPECT_EQ(pageChanges > before, step.newPage) << "at page " << step.page;
  }
  EXPECT_EQ(viewer.Status(), viewer.ScreenDevice().PageOnView().PageOfCaption());
}

TEST_F(ppViewerPaging, RequestsWhileBusyDoNothing) {
  TppScreenDevice& device = viewer.ScreenDevice();
  device.StartJob();
  ASSERT_TRUE(viewer.Busy());
  const int before = pageChanges;
  viewer.NextPage();
  viewer.LastPage();
  viewer.GotoPage(3);
  EXPECT_EQ(pageChanges, before);
  EXPECT_EQ(viewer.AbsolutePageNo(), 1);
  device.EndJob();
  viewer.NextPage();
  EXPECT_EQ(viewer.AbsolutePageNo(), 2);
}

TEST_F(ppViewerPaging, BitmapFollowsTheZoom) {
  viewer.SetZoomSetting(zs100Percent);
  EXPECT_EQ(viewer.ScreenDevice().PageBitmap().size(), QSize(864, 1104));
  EXPECT_EQ(viewer.CalculatedZoom(), 100);
  viewer.SetZoomPercentage(50);
  EXPECT_EQ(viewer.CalculatedZoom(), 50);
  viewer.SetZoomSetting(zsWholePage);
  const QSize box = viewer.BoxSize();
  EXPECT_EQ(viewer.ScreenDevice().PageBitmap().size(), box);
  // The page's text is drawn: some pixel inside the page is dark.
  const QImage& image = viewer.ScreenDevice().PageBitmap();
  const TRect page = viewer.ScreenDevice().Layout().PageRect;
  bool ink = false;
  for (int y = page.Top + 2; y < page.Bottom - 2 && !ink; ++y)
    for (int x = page.Left + 2; x < page.Right - 2 && !ink; ++x) ink = qGray(image.pixel(x, y)) < 100;
  EXPECT_TRUE(ink);
}

TEST_F(ppViewerPaging, AKeptPageIsClickedSafelyAfterItsReportIsFreed) {
  TppScreenDevice& device = viewer.ScreenDevice();
  ASSERT_GT(device.PageOnView().GetClickableCount(), 0);
  const TRect rect = viewer.ScreenDevice().Layout().PageRect;
  // Find the first clickable spot by the device's own hit test.
  TPoint spot{-1, -1};
  for (int y = rect.Top; y < rect.Bottom && spot.X < 0; y += 2)
    for (int x = rect.Left; x < rect.Right && spot.X < 0; x += 2)
      if (device.ClickableAt(x, y)) spot = TPoint{x, y};
  ASSERT_GE(spot.X, 0);
  device.ClickAt(spot.X, spot.Y);
  EXPECT_EQ(kit.Clicks, 1);
  kit.Free();
  EXPECT_EQ(viewer.Report(), nullptr);
  device.ClickAt(spot.X, spot.Y);
  EXPECT_EQ(kit.Clicks, 1);
  viewer.NextPage();  // no report: nothing to ask
  EXPECT_EQ(viewer.AbsolutePageNo(), 1);
}

// A printer that fails as the job starts.
class TFailingPrinter : public TppDevice {
  RTL_DECLARE_CLASS(TFailingPrinter, TppDevice)
  explicit TFailingPrinter(TComponent* owner) : TppDevice(owner) {}
  std::string DeviceName() const override { return "Printer"; }
  void StartJob() override { throw std::runtime_error("printer on fire"); }
};
RTL_DEFINE_CLASS(TFailingPrinter)

TEST_F(ppViewerPaging, PrintingThatRaisesRestoresTheScreen) {
  ppRegisterDevice(TFailingPrinter::StaticClassType());
  EXPECT_THROW(viewer.Print(), std::runtime_error);
  ppUnRegisterDevice(TFailingPrinter::StaticClassType());
  EXPECT_EQ(kit.Report->DeviceType(), "Screen");
  EXPECT_FALSE(viewer.Busy());
  EXPECT_EQ(viewer.ScreenDevice().Publisher(), kit.Report->Publisher());
  viewer.NextPage();
  EXPECT_EQ(viewer.AbsolutePageNo(), 2);
}

}  // namespace

namespace {

// Whether any pixel of the column range of the row band is dark.
bool InkIn(const QImage& image, int left, int right, int top, int bottom) {
  for (int y = top; y < bottom; ++y)
    for (int x = left; x < right; ++x)
      if (qGray(image.pixel(x, y)) < 128) return true;
  return false;
}

// A Letter page, the first and only one, holding the command.
void LetterPage(TppPage& page, TppDrawCommand* command) {
  TppPrinterSetup setup;
  setup.SetUnits(utMMThousandths);
  setup.SetPaperWidth(215900);
  setup.SetPaperHeight(279400);
  page.SetPrinterSetup(&setup);
  page.FirstPage = page.Final = true;
  page.AbsolutePageNo = page.AbsolutePageCount = 1;
  command->SetPage(&page);
}

TEST(ppScreenDevice, PageCountsAreBroughtUpToDate) {
  TestApplication();
  TObjectPtr<TppScreenDevice> device(new TppScreenDevice(nullptr));
  TppPage page(nullptr);
  auto* count = new TppDrawVar(nullptr);
  count->VarType = vtPageCount;
  count->Text = "?";
  LetterPage(page, count);
  page.PageNo = 1;
  page.PageCount = 7;
  device->ReceivePage(&page);
  auto* shown = dynamic_cast<TppDrawVar*>(device->PageOnView().GetDrawCommand(0));
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(shown->Text, "7");
}

TEST(ppScreenDevice, TabsMoveTextToItsStops) {
  TestApplication();
  TObjectPtr<TppScreenDevice> device(new TppScreenDevice(nullptr));
  TppPage page(nullptr);
  auto* text = new TppDrawText(nullptr);
  text->SetLeft(10000);
  text->SetTop(10000);
  text->SetWidth(150000);
  text->SetHeight(8000);
  text->Text = "A\tB";
  TStringList stops;
  stops.Add("100000");
  text->SetTabStopPositions(&stops);
  text->Transparent = true;
  LetterPage(page, text);
  device->ReceivePage(&page);
  ASSERT_TRUE(device->PageReceived());
  const QImage& image = device->PageBitmap();
  const TRect at = device->Layout().PageRect;
  // 10 mm is 38 pixels at 96 ppi, 110 mm 416.
  const int top = at.Top + 38, bottom = top + 20;
  EXPECT_TRUE(InkIn(image, at.Left + 38, at.Left + 60, top, bottom));
  EXPECT_FALSE(InkIn(image, at.Left + 70, at.Left + 410, top, bottom));
  EXPECT_TRUE(InkIn(image, at.Left + 414, at.Left + 440, top, bottom));
}

// An auto-sized text keeps the rectangle the printer's canvas measured; when
// the screen's font runs wider, the whole text is scaled into it. A text of
// fixed size is cut at its rectangle.
TEST(ppScreenDevice, AutoSizedTextIsScaledIntoItsMeasuredRectangle) {
  TestApplication();
  for (bool autoSize : {true, false}) {
    TObjectPtr<TppScreenDevice> device(new TppScreenDevice(nullptr));
    TppPage page(nullptr);
    auto* text = new TppDrawText(nullptr);
    text->SetLeft(10000);
    text->SetTop(10000);
    text->SetWidth(15000);  // 57 pixels: about half of the text below
    text->SetHeight(8000);
    text->Text = "X" + std::string(30, ' ') + "X";
    text->AutoSize = autoSize;
    text->Transparent = true;
    LetterPage(page, text);
    device->ReceivePage(&page);
    ASSERT_TRUE(device->PageReceived());
    const QImage& image = device->PageBitmap();
    const TRect at = device->Layout().PageRect;
    const int left = at.Left + 38, top = at.Top + 38, bottom = top + 30;
    EXPECT_TRUE(InkIn(image, left, left + 10, top, bottom)) << autoSize;
    EXPECT_EQ(InkIn(image, left + 45, left + 57, top, bottom), autoSize) << "the last X, autoSize " << autoSize;
    EXPECT_FALSE(InkIn(image, left + 60, left + 160, top, bottom)) << autoSize;
  }
}

}  // namespace
