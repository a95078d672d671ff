#include <gtest/gtest.h>

#include "uiCanvasQt.h"
#include "uiGraphicsBitmap.h"
#include "uiMeasuringCanvas.h"
#include "uiTestSupport.h"

// Qt painting (here, in the printer and rich-text tests) needs an
// application object: the kit's offscreen application, made before any test
// runs.
namespace {

int SumOfAdvances(TCanvas& canvas, const std::string& text) {
  int width = 0;
  for (char c : text) width += canvas.TextWidth(std::string(1, c));
  return width;
}

}  // namespace

TEST(MeasuringCanvas, WidthsComeFromTheFontFilesAndScaleWithResolution) {
  struct Case {
    const char* Font;
    int Size;
    int Ppi;
    TFontStyles Style;
  };
  const Case cases[] = {{"Arial", 10, 96, 0},          {"Arial", 10, 600, 0},
                        {"Times New Roman", 12, 96, 0}, {"Courier New", 10, 96, 0},
                        {"Arial", 10, 96, fsBold},     {"Unknown Family", 10, 96, fsItalic}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.Font) + " " + std::to_string(c.Ppi));
    TMeasuringCanvas canvas(c.Ppi);
    canvas.Font().SetName(c.Font);
    canvas.Font().SetSize(c.Size);
    canvas.Font().SetStyle(c.Style);
    const std::string text = "Wide lines, iii.";
    // Each character advances by its own rounded width.
    EXPECT_EQ(canvas.TextWidth(text), SumOfAdvances(canvas, text));
    if (std::string(c.Font) != "Courier New") {
      EXPECT_GT(canvas.TextWidth("W"), canvas.TextWidth("i"));
    }
    const TTextMetric m = canvas.TextMetrics();
    EXPECT_EQ(m.Height, m.Ascent + m.Descent);
    EXPECT_EQ(canvas.TextHeight("x"), m.Height);
    EXPECT_NEAR(m.Height - m.InternalLeading, c.Size * c.Ppi / 72.0, 0.5);
  }
  TMeasuringCanvas mono(96);
  mono.Font().SetName("Courier New");
  EXPECT_EQ(mono.TextWidth("iiii"), mono.TextWidth("WWWW"));
  TMeasuringCanvas low(96), high(192);
  EXPECT_NEAR(high.TextWidth("Hello world"), 2 * low.TextWidth("Hello world"), 11);
}

// One canvas measuring in turn in several fonts measures each as a fresh
// canvas in that font does: a change of name, size or style is seen.
TEST(MeasuringCanvas, EachFontChangeMeasuresAsAFreshCanvas) {
  struct Step {
    const char* Font;
    int Size;
    TFontStyles Style;
  };
  const Step steps[] = {{"Arial", 10, 0},   {"Arial", 14, 0},          {"Arial", 14, fsBold},
                        {"Arial", 14, fsBold | fsUnderline},            {"Courier New", 14, fsBold},
                        {"Times New Roman", 9, fsItalic},               {"Arial", 10, 0},
                        {"Arial", 6, 0},    {"Arial", 7, 0},           {"Arial", 8, 0},
                        {"Arial", 9, 0},    {"Arial", 11, 0},          {"Arial", 14, fsBold}};
  const std::string text = "Mixed W\xC3\xA9ights iii 123";
  TMeasuringCanvas shared(300);
  for (const Step& s : steps) {
    SCOPED_TRACE(std::string(s.Font) + " " + std::to_string(s.Size) + " " + std::to_string(s.Style));
    TMeasuringCanvas fresh(300);
    for (TCanvas* canvas : {static_cast<TCanvas*>(&shared), static_cast<TCanvas*>(&fresh)}) {
      canvas->Font().SetName(s.Font);
      canvas->Font().SetSize(s.Size);
      canvas->Font().SetStyle(s.Style);
    }
    EXPECT_EQ(shared.TextWidth(text), fresh.TextWidth(text));
    EXPECT_EQ(shared.TextHeight(text), fresh.TextHeight(text));
    EXPECT_EQ(shared.FitCount(text, 200), fresh.FitCount(text, 200));
    EXPECT_EQ(shared.TextMetrics().AveCharWidth, fresh.TextMetrics().AveCharWidth);
  }
}

TEST(MeasuringCanvas, FitCountIsTheLongestPrefixWithinTheWidth) {
  TMeasuringCanvas canvas(96);
  const std::string text = "Report page";
  for (int width : {0, 1, 20, 40, 60, 1000}) {
    const int n = canvas.FitCount(text, width);
    EXPECT_LE(canvas.TextWidth(text.substr(0, n)), width);
    if (n < static_cast<int>(text.size())) {
      EXPECT_GT(canvas.TextWidth(text.substr(0, n + 1)), width);
    }
  }
  // Whole characters only.
  const std::string accented = "\xC3\xA9\xC3\xA9\xC3\xA9";
  const int one = canvas.TextWidth("\xC3\xA9");
  EXPECT_EQ(canvas.FitCount(accented, one * 2), 4);
  EXPECT_EQ(canvas.FitCount(accented, one * 2 - 1), 2);
}

TEST(MeasuringCanvas, JustificationWidensBlanksOnly) {
  TMeasuringCanvas canvas(96);
  const int plain = canvas.TextWidth("a b c");
  canvas.SetTextJustification(7, 2);
  EXPECT_EQ(canvas.TextWidth("a b c"), plain + 7);
  EXPECT_EQ(canvas.TextWidth("abc"), canvas.TextWidth("a") + canvas.TextWidth("b") + canvas.TextWidth("c"));
  EXPECT_EQ(canvas.FitCount("a b c", plain + 7), 5);
  EXPECT_EQ(canvas.FitCount("a b c", plain + 6), 4);
  canvas.SetTextJustification(0, 0);
  EXPECT_EQ(canvas.TextWidth("a b c"), plain);
}

TEST(MeasuringCanvas, DamagedFontFilesAreRefused) {
  std::vector<uint8_t> bytes(64, 0);
  bytes[5] = 200;  // table count far past the file
  EXPECT_THROW(TFontFace face(bytes), EFontFileError);
  EXPECT_THROW(TFontFace face(std::vector<uint8_t>{}), EFontFileError);
}

TEST(QtCanvas, ShapesAndFillsLandOnTheirPixels) {
  TBitmap bitmap;
  bitmap.SetSize(40, 30);
  TCanvas& canvas = bitmap.Canvas();
  canvas.Brush().SetColor(clRed);
  canvas.FillRect(Rect(5, 5, 15, 10));
  EXPECT_EQ(bitmap.Pixel(5, 5), clRed);
  EXPECT_EQ(bitmap.Pixel(14, 9), clRed);
  EXPECT_EQ(bitmap.Pixel(15, 9), clWhite);  // right edge excluded
  EXPECT_EQ(bitmap.Pixel(14, 10), clWhite);

  canvas.Pen().SetColor(clBlue);
  canvas.Brush().SetColor(clLime);
  canvas.Rectangle(Rect(20, 5, 30, 15));
  EXPECT_EQ(bitmap.Pixel(20, 5), clBlue);
  EXPECT_EQ(bitmap.Pixel(29, 14), clBlue);
  EXPECT_EQ(bitmap.Pixel(25, 10), clLime);
  EXPECT_EQ(bitmap.Pixel(30, 15), clWhite);

  TRect edge = Rect(0, 20, 10, 30);
  Frame3D(canvas, edge, clWhite, clBlack, 1);
  EXPECT_EQ(edge, Rect(1, 21, 9, 29));
  EXPECT_EQ(bitmap.Pixel(9, 29), clBlack);
  EXPECT_EQ(bitmap.Pixel(9, 20), clBlack);
}

TEST(QtCanvas, TextRectClipsAndClipRectRestores) {
  TBitmap bitmap;
  bitmap.SetSize(100, 40);
  TCanvas& canvas = bitmap.Canvas();
  canvas.Font().SetSize(20);
  canvas.Brush().SetStyle(bsClear);
  canvas.TextRect(Rect(10, 0, 20, 40), 0, 0, "MMMMMMMM");
  bool outside = false, inside = false;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 100; ++x) {
      if (bitmap.Pixel(x, y) == clWhite) continue;
      (x >= 10 && x < 20 ? inside : outside) = true;
    }
  EXPECT_TRUE(inside);
  EXPECT_FALSE(outside);

  {
    TClipGuard guard(canvas);
    canvas.SetClipRect(Rect(0, 0, 5, 5));
    canvas.Brush().SetStyle(bsSolid);
    canvas.Brush().SetColor(clBlack);
    canvas.FillRect(Rect(0, 0, 100, 40));
  }
  EXPECT_FALSE(canvas.ClipRect().has_value());
  EXPECT_EQ(bitmap.Pixel(4, 4), clBlack);
  EXPECT_EQ(bitmap.Pixel(50, 30), clWhite);
}

TEST(QtCanvas, MeasuresCloseToTheMeasuringCanvas) {
  TBitmap bitmap(96);
  bitmap.SetSize(10, 10);
  TMeasuringCanvas measuring(96);
  const std::string text = "The quick brown fox";
  EXPECT_NEAR(bitmap.Canvas().TextWidth(text), measuring.TextWidth(text), 6);
  const int n = bitmap.Canvas().FitCount(text, 50);
  EXPECT_LE(bitmap.Canvas().TextWidth(text.substr(0, n)), 50);
  EXPECT_GT(bitmap.Canvas().TextWidth(text.substr(0, n + 1)), 50);
}

TEST(MeasuringCanvas, CharacterMapsCoverMoreThanAscii) {
  TMeasuringCanvas canvas(96);
  const TFontFace& face = TFontFace::ForFont(canvas.Font());
  // Euro sign and a Cyrillic letter come from the character map; a private
  // use character takes the missing-glyph box.
  EXPECT_GT(canvas.TextWidth("\xE2\x82\xAC"), 0);
  EXPECT_GT(canvas.TextWidth("\xD0\x96"), 0);
  EXPECT_EQ(face.Advance(0xE000), face.Advance(0x10FFFF));
  // A byte that starts no UTF-8 sequence still measures as one character.
  EXPECT_EQ(canvas.FitCount("\xFF" "a", 1000), 2);
}

TEST(MeasuringCanvas, DrawingCallsAreLogged) {
  TMeasuringCanvas canvas(96);
  canvas.MoveTo(1, 2);
  canvas.LineTo(3, 4);
  canvas.RoundRect(Rect(0, 0, 10, 10), 4, 4);
  canvas.Ellipse(Rect(1, 1, 5, 5));
  canvas.TextRect(Rect(0, 0, 20, 10), 2, 3, "cut");
  EXPECT_EQ(canvas.PenPos(), (TPoint{3, 4}));
  EXPECT_EQ(canvas.Log(), (std::vector<std::string>{"Line 1,2 3,4", "RoundRect 0,0,10,10 4,4",
                                                    "Ellipse 1,1,5,5", "TextRect 0,0,20,10 2,3 cut"}));
}

TEST(QtCanvas, MonochromeTextIsBlackOrWhite) {
  for (bool monochrome : {false, true}) {
    QImage image(60, 30, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
      TQtCanvas canvas(image, 96);
      canvas.SetMonochromeText(monochrome);
      canvas.Font().SetSize(16);
      canvas.Font().SetColor(clRed);
      canvas.Brush().SetStyle(bsClear);
      canvas.TextOut(2, 2, "MM");
    }
    bool red = false;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) {
        const QRgb p = image.pixel(x, y);
        if (qRed(p) > 200 && qGreen(p) < 60) red = true;
      }
    EXPECT_EQ(red, !monochrome);
  }
}

TEST(QtCanvas, RotatedTextTurnsAboutItsCorner) {
  // The ink of a text turned by an angle lies in the quadrant the turn
  // gives its cell: 90 reads upwards from the point, 180 to the left,
  // 270 downwards.
  struct Turn {
    int Angle;
    bool Left, Up;  // ink left of / above the point
  };
  for (const Turn& turn : {Turn{0, false, false}, Turn{90, false, true}, Turn{180, true, true}, Turn{270, true, false}}) {
    TBitmap bitmap;
    bitmap.SetSize(120, 120);
    TCanvas& canvas = bitmap.Canvas();
    canvas.Font().SetSize(14);
    canvas.Brush().SetColor(clYellow);  // a rotated text draws no background
    canvas.TextOutRotated(60, 60, "MMMM", turn.Angle);
    int inkLeft = 0, inkRight = 0, inkUp = 0, inkDown = 0;
    for (int y = 0; y < 120; ++y)
      for (int x = 0; x < 120; ++x) {
        const TColor pixel = bitmap.Pixel(x, y);
        ASSERT_NE(pixel, clYellow);
        if (pixel == clWhite) continue;
        (x < 60 ? inkLeft : inkRight)++;
        (y < 60 ? inkUp : inkDown)++;
      }
    EXPECT_GT(turn.Left ? inkLeft : inkRight, 20 * (turn.Left ? inkRight : inkLeft) + 1) << turn.Angle;
    EXPECT_GT(turn.Up ? inkUp : inkDown, 20 * (turn.Up ? inkDown : inkUp) + 1) << turn.Angle;
  }
  TMeasuringCanvas measuring(96);
  measuring.TextOutRotated(3, 4, "12", 90);
  EXPECT_EQ(measuring.Log().back(), "TextOutRotated 3,4 90 12");
}

TEST(QtCanvas, ColumnsPaintAsTheirRectanglesWould) {
  // Columns copied straight onto the image where they can be, and filled
  // rectangle by rectangle where not (a transparent column), give the
  // same pixels as one filled rectangle per column, clipped alike.
  struct Case {
    const char* Name;
    TRect Area;
    std::optional<TRect> Clip;
    bool WithTransparent;
  };
  const Case cases[] = {
      {"inside", Rect(3, 4, 30, 20), std::nullopt, false},
      {"clipped", Rect(3, 4, 30, 20), Rect(10, 0, 20, 12), false},
      {"past the edges", Rect(-5, -3, 45, 40), std::nullopt, false},
      {"transparent columns", Rect(3, 4, 30, 20), Rect(0, 6, 25, 30), true},
  };
  for (const Case& c : cases) {
    std::vector<TColor> colours;
    for (int i = 0; i < c.Area.Width(); ++i)
      colours.push_back(c.WithTransparent && i % 5 == 4 ? clNone : (i / 2) % 3 == 0 ? clBlack : i % 2 ? clRed : clWhite);
    TBitmap columns, rectangles;
    for (TBitmap* bitmap : {&columns, &rectangles}) {
      bitmap->SetSize(40, 30);
      bitmap->Canvas().Brush().SetColor(clGray);
      bitmap->Canvas().FillRect(Rect(0, 0, 40, 30));
      bitmap->Canvas().SetClipRect(c.Clip);
    }
    columns.Canvas().Brush().SetColor(clLime);
    columns.Canvas().FillColumns(c.Area, colours);
    EXPECT_EQ(columns.Canvas().Brush().Color(), clLime) << c.Name << ": the brush stays";
    for (int i = 0; i < c.Area.Width(); ++i) {
      if (colours[static_cast<size_t>(i)] == clNone) continue;
      rectangles.Canvas().Brush().SetColor(colours[static_cast<size_t>(i)]);
      rectangles.Canvas().FillRect(Rect(c.Area.Left + i, c.Area.Top, c.Area.Left + i + 1, c.Area.Bottom));
    }
    int differing = 0;
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 40; ++x) differing += columns.Pixel(x, y) != rectangles.Pixel(x, y);
    EXPECT_EQ(differing, 0) << c.Name;
  }
}

TEST(QtCanvas, LargeTextInksWithinItsMeasuredCell) {
  // Glyphs beyond the size Qt keeps as images are drawn from images made
  // once: the text must still ink, inside the cell it measures, and the
  // same way every time.
  struct Case {
    int PixelsPerInch;
    int Size;
    int Angle;
  };
  const Case cases[] = {{96, 10, 0}, {600, 12, 0}, {600, 40, 0}, {600, 12, 90}, {600, 12, 180}};
  const std::string text = "8 Hg";
  for (const Case& c : cases) {
    std::vector<TColor> first;
    for (int round = 0; round < 2; ++round) {
      TBitmap bitmap(c.PixelsPerInch);
      bitmap.SetSize(1000, 1000);
      TCanvas& canvas = bitmap.Canvas();
      canvas.Font().SetName("Arial");
      canvas.Font().SetSize(c.Size);
      canvas.Brush().SetStyle(bsClear);
      const int width = canvas.TextWidth(text);
      const int height = canvas.TextHeight(text);
      // The cell as it lies on the bitmap after the turn.
      TRect cell = Rect(500, 500, 500 + width, 500 + height);
      if (c.Angle == 90) cell = Rect(500, 500 - width, 500 + height, 500);
      if (c.Angle == 180) cell = Rect(500 - width, 500 - height, 500, 500);
      if (c.Angle == 0)
        canvas.TextOut(500, 500, text);
      else
        canvas.TextOutRotated(500, 500, text, c.Angle);
      std::vector<TColor> pixels;
      int ink = 0, outside = 0;
      for (int y = 0; y < 1000; ++y)
        for (int x = 0; x < 1000; ++x) {
          const TColor pixel = bitmap.Pixel(x, y);
          pixels.push_back(pixel);
          if (pixel == clWhite) continue;
          ++ink;
          outside += x < cell.Left - 1 || x > cell.Right || y < cell.Top - 1 || y > cell.Bottom;
        }
      EXPECT_GT(ink, width * height / 20) << c.PixelsPerInch << " ppi, " << c.Size << " pt, " << c.Angle;
      EXPECT_EQ(outside, 0) << c.PixelsPerInch << " ppi, " << c.Size << " pt, " << c.Angle;
      if (round == 0)
        first = std::move(pixels);
      else
        EXPECT_TRUE(first == pixels) << "drawn again: " << c.PixelsPerInch << " ppi, " << c.Size << " pt";
    }
  }
}
