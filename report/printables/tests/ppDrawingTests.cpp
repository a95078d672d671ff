// Pages drawn on the measuring canvas (golden positions) and on the Qt
// canvas offscreen (pixels).
#include <gtest/gtest.h>

#include "ppCtrls.h"
#include "ppPagePainter.h"
#include "ppPrintablesKit.h"
#include "ppShapes.h"
#include "uiGraphicsBitmap.h"
#include "uiMeasuringCanvas.h"

namespace {

int Px(int screenPixels, TppAxis axis) { return ppUnitsToMMThousandths(screenPixels, utScreenPixels, axis); }

std::vector<std::string> Drawn(TppPage& page, int pixelsPerInch) {
  TMeasuringCanvas canvas(pixelsPerInch);
  TppPagePainter(canvas).DrawPage(page);
  return canvas.Log();
}

bool Contains(const std::vector<std::string>& log, const std::string& line) {
  return std::find(log.begin(), log.end(), line) != log.end();
}

TEST(DrawingTest, ShapesTakeTheirBoxOrTheCentredSquareOfIt) {
  const struct {
    TShapeType Shape;
    TppShape::TGeometry Expected;
  } cases[] = {
      {stRectangle, {0, 0, 100, 50, 12, 12, stRectangle}},
      {stCircle, {25, 0, 50, 50, 12, 12, stEllipse}},
      {stSquare, {25, 0, 50, 50, 12, 12, stRectangle}},
      {stRoundSquare, {25, 0, 50, 50, 12, 12, stRoundRect}},
      {stEllipse, {0, 0, 100, 50, 12, 12, stEllipse}},
  };
  for (const auto& c : cases) {
    const TppShape::TGeometry g = TppShape::Geometry(c.Shape, 100, 50, 1);
    const auto& e = c.Expected;
    EXPECT_EQ(std::vector<int>({g.Left, g.Top, g.Width, g.Height, g.CornerWidth, g.Kind}),
              std::vector<int>({e.Left, e.Top, e.Width, e.Height, e.CornerWidth, e.Kind}))
        << int(c.Shape);
  }
  // A 4-pixel pen insets the box by 2 on each side.
  const TppShape::TGeometry thick = TppShape::Geometry(stCircle, 100, 50, 4);
  EXPECT_EQ(std::vector<int>({thick.Left, thick.Top, thick.Width}), std::vector<int>({27, 2, 46}));
}

TEST(DrawingTest, ACircleInAHundredByFiftyBoxIsDrawnAsACentredFiftyByFiftyEllipse) {
  TPrintablesFixture f(Rows(1));
  auto* circle = f.Add<TppShape>(f.Detail, 0, 0, Px(100, axHorizontal), Px(50, axVertical));
  circle->SetShape(stCircle);
  auto pages = f.PrintAll();
  ASSERT_EQ(pages.size(), 1u);
  // At 96 dpi the page's pixels are screen pixels: the band's left edge
  // and top are the 10 mm margin and the 20 mm header.
  const int left = ppRound(ppMMThousandthsToUnits(mm(10), utScreenPixels, axHorizontal));
  const int top = ppRound(ppMMThousandthsToUnits(mm(30), utScreenPixels, axVertical));
  const auto log = Drawn(*pages[0], ppScreenPixelsPerInch);
  EXPECT_TRUE(Contains(log, "Ellipse " + std::to_string(left + 25) + "," + std::to_string(top) + "," +
                                std::to_string(left + 75) + "," + std::to_string(top + 50)))
      << ::testing::PrintToString(log);
}

TEST(DrawingTest, LinesAreAsThickAsTheirWeightAtTheDevicesResolution) {
  const struct {
    float Weight;
    int PixelsPerInch;
    int Thickness;
  } cases[] = {{1.0f, 600, 8}, {0.75f, 96, 1}, {1.5f, 96, 2}, {0.1f, 96, 1}, {2.0f, 300, 8}};
  for (const auto& c : cases) {
    TMeasuringCanvas canvas(c.PixelsPerInch);
    EXPECT_EQ(TppPagePainter(canvas).LineThickness(c.Weight), c.Thickness) << c.Weight << " at " << c.PixelsPerInch;
  }
  // A 1 pt line along the bottom of its box, on a page at 600 dpi.
  TPrintablesFixture f(Rows(1));
  auto* line = f.Add<TppLine>(f.Detail, 0, 0, mm(50), mm(5));
  line->SetPosition(lpBottom);
  line->SetWeight(1.0f);
  EXPECT_EQ(line->Pen()->Width(), 1);
  auto pages = f.PrintAll();
  TMeasuringCanvas canvas(600);
  TppPagePainter painter(canvas);
  painter.DrawPage(*pages[0]);
  const int bottom = painter.ToPixelsY(mm(35));
  const std::string expected = "FillRect " + std::to_string(painter.ToPixelsX(mm(10))) + "," + std::to_string(bottom - 8) +
                               "," + std::to_string(painter.ToPixelsX(mm(60))) + "," + std::to_string(bottom);
  EXPECT_TRUE(Contains(canvas.Log(), expected)) << ::testing::PrintToString(canvas.Log());
}

TEST(DrawingTest, ACanvasDrawingPageAfterPageHoldsOnlyThePageDrawnLast) {
  TPrintablesFixture f(Rows(1));
  f.Add<TppLine>(f.Detail, 0, 0, mm(50), mm(5));
  f.Add<TppShape>(f.Detail, 0, mm(5), mm(20), mm(10));
  auto pages = f.PrintAll();
  const std::vector<std::string> once = Drawn(*pages[0], 96);
  ASSERT_FALSE(once.empty());
  // A long run on one canvas: the record must not grow with the pages.
  TMeasuringCanvas canvas(96);
  TppPagePainter painter(canvas);
  for (const int run : {1, 2, 1000}) {
    for (int i = 0; i < run; ++i) painter.DrawPage(*pages[0]);
    EXPECT_EQ(canvas.Log(), once) << run << " pages";
  }
}

TEST(DrawingTest, ANewLineIsAThinTransparentTopLine) {
  TPrintablesFixture f(Rows(1));
  TppLine line(nullptr);
  EXPECT_EQ(std::vector<int>({line.mmWidth(), line.mmHeight()}),
            std::vector<int>({Px(50, axHorizontal), Px(15, axVertical)}));
  EXPECT_TRUE(line.Transparent());
  EXPECT_EQ(line.Position(), lpTop);
  EXPECT_EQ(line.Style(), lsSingle);
  EXPECT_FLOAT_EQ(line.Weight(), 0.75f);
  line.SetWeight(1.5f);
  EXPECT_EQ(line.Pen()->Width(), 2);
}

TEST(DrawingTest, APictureWithAutoSizeTakesItsSizeAndAMetafileDrawsItsFrameOnly) {
  TPrintablesFixture f(Rows(1));
  auto* image = f.Add<TppImage>(f.Detail, 0, 0, mm(10), mm(10));
  image->SetAutoSize(true);
  TppPicture picture;
  picture.NewBitmap().SetSize(40, 20);
  image->SetPicture(&picture);
  EXPECT_EQ(std::vector<int>({image->mmWidth(), image->mmHeight()}),
            std::vector<int>({Px(40, axHorizontal), Px(20, axVertical)}));
  auto* data = f.Add<TppDBImage>(f.Detail, mm(60), 0, mm(20), mm(10));
  data->SetGraphicType("MetaFile");
  EXPECT_TRUE(data->DirectDraw());
  data->SetGraphicType("Paintbrush");
  EXPECT_EQ(data->GraphicType(), "MetaFile");
  auto pages = f.PrintAll();
  const auto log = Drawn(*pages[0], ppScreenPixelsPerInch);
  const auto frames = std::count_if(log.begin(), log.end(), [](const std::string& l) { return l.rfind("FrameRect", 0) == 0; });
  const auto pictures = std::count_if(log.begin(), log.end(), [](const std::string& l) { return l.rfind("StretchDraw", 0) == 0; });
  EXPECT_EQ(frames, 1);
  EXPECT_EQ(pictures, 1);
}

// The box of the pixels darker than mid-grey inside the area.
TRect InkBox(const TBitmap& bitmap, const TRect& area) {
  TRect box{INT32_MAX, INT32_MAX, -1, -1};
  for (int y = std::max(area.Top, 0); y < std::min(area.Bottom, bitmap.Height()); ++y)
    for (int x = std::max(area.Left, 0); x < std::min(area.Right, bitmap.Width()); ++x) {
      const TColor c = bitmap.Pixel(x, y);
      if ((c & 0xFF) + ((c >> 8) & 0xFF) + ((c >> 16) & 0xFF) >= 3 * 128) continue;
      box = TRect{std::min(box.Left, x), std::min(box.Top, y), std::max(box.Right, x + 1), std::max(box.Bottom, y + 1)};
    }
  return box;
}

TEST(DrawingTest, APageOnTheQtCanvasShowsTheLabelsWhereTheirPositionsPutThem) {
  TPrintablesFixture f(Rows(1));
  const struct {
    const char* Caption;
    TppBand* Band;
    int Left, Top;
    TppTextAlignment Alignment;
  } labels[] = {
      {"Usage by owner", f.Header, mm(0), mm(5), taLeftJustified},
      {"Owner1", f.Detail, mm(20), mm(2), taLeftJustified},
      {"Total", f.Footer, mm(120), mm(10), taRightJustified},
  };
  std::vector<TppLabel*> made;
  for (const auto& l : labels) {
    auto* label = f.Add<TppLabel>(l.Band, l.Left, l.Top, mm(60), mm(6));
    label->SetAutoSize(false);
    label->Font()->SetName("Liberation Sans");
    label->Font()->SetSize(12);
    label->Font()->SetColor(clBlack);
    label->SetCaption(l.Caption);
    label->SetTextAlignment(l.Alignment);
    made.push_back(label);
  }
  auto pages = f.PrintAll();
  ASSERT_EQ(pages.size(), 1u);
  TBitmap bitmap(ppScreenPixelsPerInch);
  TppPagePainter golden(bitmap.Canvas());
  bitmap.SetSize(golden.ToPixelsX(mm(210)), golden.ToPixelsY(mm(297)));
  TppPagePainter(bitmap.Canvas()).DrawPage(*pages[0]);
  TMeasuringCanvas measure(ppScreenPixelsPerInch);
  int found = 0;
  pages[0]->ForEachDrawCommand([&](TppDrawCommand* c) {
    auto* text = dynamic_cast<TppDrawText*>(c);
    if (!text) return;
    ++found;
    const TRect rect = golden.CommandRect(*text);
    // The ink lies inside the command's rectangle, starts at its left edge
    // (or ends at its right edge for right-aligned text) and is as wide as
    // the measured text within a few pixels.
    const TRect ink = InkBox(bitmap, TRect{rect.Left - 20, rect.Top - 20, rect.Right + 20, rect.Bottom + 20});
    ASSERT_GE(ink.Right, 0) << text->Text;
    EXPECT_GE(ink.Top, rect.Top) << text->Text;
    EXPECT_LE(ink.Bottom, rect.Bottom) << text->Text;
    measure.Font() = text->Font()->Value();
    const int width = measure.TextWidth(text->Text);
    if (text->TextAlignment() == taRightJustified)
      EXPECT_NEAR(ink.Right, rect.Right, 3) << text->Text;
    else
      EXPECT_NEAR(ink.Left, rect.Left, 3) << text->Text;
    EXPECT_NEAR(ink.Right - ink.Left, width, 4) << text->Text;
  });
  EXPECT_EQ(found, 3);
  // Nothing is drawn where no component stands.
  EXPECT_LT(InkBox(bitmap, TRect{golden.ToPixelsX(mm(100)), golden.ToPixelsY(mm(40)), golden.ToPixelsX(mm(200)),
                                 golden.ToPixelsY(mm(250))})
                .Right,
            0);
}

}  // namespace

#include <QBuffer>
#include <QImage>

namespace {

std::vector<uint8_t> PictureBytes(int width, int height, const char* format) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(Qt::red);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format);
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

TEST(DrawingTest, DataImagesReadEveryPictureFormatThePlatformReads) {
  const struct {
    const char* Format;
    int Width, Height;
  } cases[] = {{"PNG", 30, 20}, {"JPG", 12, 9}, {"BMP", 7, 5}};
  for (const auto& c : cases) {
    TPrintablesFixture f({TJobRow{"A", 1, "", PictureBytes(c.Width, c.Height, c.Format)}});
    auto* image = f.Add<TppDBImage>(f.Detail, 0, 0, mm(20), mm(10));
    image->SetDataPipeline(f.Pipeline);
    image->SetDataField("PICTURE");
    auto pages = f.PrintAll();
    ASSERT_EQ(pages.size(), 1u);
    const TBitmap* bitmap = nullptr;
    pages[0]->ForEachDrawCommand([&](TppDrawCommand* command) {
      if (auto* draw = dynamic_cast<TppDrawImage*>(command)) bitmap = draw->AsBitmap();
    });
    ASSERT_NE(bitmap, nullptr) << c.Format;
    EXPECT_EQ(std::vector<int>({bitmap->Width(), bitmap->Height()}), std::vector<int>({c.Width, c.Height}))
        << c.Format;
  }
}

}  // namespace
