// Image lists: the mask colour stays transparent; grey and blended draws;
// high-density targets get pixels of their own.

#include <gtest/gtest.h>

#include <vector>

#include <QImage>

#include "uiCanvasQt.h"
#include "uiImageList.h"

namespace {

// A 4 x 4 list whose one glyph is a red 2 x 2 square in its top left.
class ImageListDraw : public ::testing::Test {
protected:
  ImageListDraw() : list(4, 4) {
    list.AddGlyph([](TCanvas& c, int, int) {
      c.Brush().SetColor(clRed);
      c.FillRect(Rect(0, 0, 2, 2));
    });
    target.SetSize(8, 8);
    target.Canvas().Brush().SetColor(clBlue);
    target.Canvas().FillRect(Rect(0, 0, 8, 8));
  }
  TImageList list;
  TBitmap target;
};

TEST_F(ImageListDraw, OnlyTheGlyphsOwnPixelsAreDrawn) {
  list.Draw(target.Canvas(), 2, 2, 0);
  EXPECT_EQ(clRed, target.Pixel(2, 2));
  EXPECT_EQ(clRed, target.Pixel(3, 3));
  EXPECT_EQ(clBlue, target.Pixel(4, 4));  // the mask colour left the target alone
  EXPECT_EQ(clBlue, target.Pixel(5, 2));
  // Out of range draws nothing.
  list.Draw(target.Canvas(), 0, 0, 5);
  EXPECT_EQ(clBlue, target.Pixel(0, 0));
}

TEST_F(ImageListDraw, DisabledIsGreyAndBlendedLetsTheBackgroundThrough) {
  list.Draw(target.Canvas(), 0, 0, 0, idsDisabled);
  const TColor grey = target.Pixel(0, 0);
  EXPECT_EQ(GetRValue(grey), GetGValue(grey));
  EXPECT_EQ(GetGValue(grey), GetBValue(grey));
  list.Draw(target.Canvas(), 4, 4, 0, idsBlended);
  const TColor blended = target.Pixel(4, 4);
  EXPECT_GT(GetBValue(blended), 0);                 // some of the blue
  EXPECT_GT(GetRValue(blended), GetBValue(blended));  // mostly the red
  EXPECT_EQ(1, list.Count());
}

}  // namespace

namespace {

// The device pixels of a bitmap's unit rectangle.
std::vector<QRgb> PixelsOf(const TBitmap& bitmap, const TRect& units) {
  const QImage& image = bitmap.Image();
  const int r = bitmap.PixelRatio();
  std::vector<QRgb> pixels;
  for (int y = units.Top * r; y < units.Bottom * r; ++y)
    for (int x = units.Left * r; x < units.Right * r; ++x) pixels.push_back(image.pixel(x, y) & 0xFFFFFF);
  return pixels;
}

// Each pixel of a ratio-1 image repeated twice each way, as a plain
// enlargement of it would show.
std::vector<QRgb> Doubled(const TBitmap& single) {
  std::vector<QRgb> pixels;
  for (int y = 0; y < single.Height() * 2; ++y)
    for (int x = 0; x < single.Width() * 2; ++x) pixels.push_back(single.Image().pixel(x / 2, y / 2) & 0xFFFFFF);
  return pixels;
}

// A ring and a diagonal drawn to the size given, as high-density glyphs are.
void PaintRing(TCanvas& c, int w, int h) {
  c.Pen().SetColor(clRed);
  c.Brush().SetColor(clRed);
  c.Ellipse(Rect(1, 1, w - 1, h - 1));
  c.Pen().SetColor(clBlack);
  c.MoveTo(0, 0);
  c.LineTo(w, h);
}

}  // namespace

TEST(Bitmap, KeepsItsSizeInUnitsAtAnyPixelRatio) {
  TBitmap bitmap;
  bitmap.SetSize(5, 3);
  bitmap.Canvas().Brush().SetColor(clRed);
  bitmap.Canvas().FillRect(Rect(0, 0, 2, 1));
  bitmap.SetPixelRatio(2);
  EXPECT_EQ(5, bitmap.Width());
  EXPECT_EQ(3, bitmap.Height());
  EXPECT_EQ(QSize(10, 6), bitmap.Image().size());
  EXPECT_EQ(clRed, bitmap.Pixel(1, 0)) << "what was drawn is scaled along";
  // Drawing goes in units: one unit covers two pixels each way.
  bitmap.Canvas().Brush().SetColor(clBlue);
  bitmap.Canvas().FillRect(Rect(4, 2, 5, 3));
  bitmap.SetPixel(0, 2, clLime);
  const struct {
    int X, Y;
    TColor Expected;
  } pixels[] = {{8, 4, clBlue}, {9, 5, clBlue}, {7, 5, clWhite}, {0, 4, clLime}, {1, 5, clLime}, {2, 5, clWhite},
                {3, 1, clRed},  {4, 1, clWhite}};
  for (const auto& p : pixels) {
    const QRgb rgb = bitmap.Image().pixel(p.X, p.Y);
    EXPECT_EQ(p.Expected, RGBColor(qRed(rgb), qGreen(rgb), qBlue(rgb))) << p.X << "," << p.Y;
  }
  // A copy keeps the ratio; drawn on a plain bitmap it takes its size in units.
  TBitmap copy;
  copy.Assign(bitmap);
  EXPECT_EQ(2, copy.PixelRatio());
  EXPECT_EQ(5, copy.Width());
  TBitmap target;
  target.SetSize(8, 8);
  target.Canvas().Draw(1, 1, copy);
  EXPECT_EQ(clBlue, target.Pixel(5, 3));
  EXPECT_EQ(clWhite, target.Pixel(6, 3));
  // A picture keeps its pixels as its size unless told otherwise, whatever
  // ratio its file name gave it.
  QImage picture(6, 4, QImage::Format_RGB32);
  picture.setDevicePixelRatio(2);
  const struct {
    int Ratio;
    int Width;
  } pictures[] = {{1, 6}, {2, 3}};
  for (const auto& p : pictures) {
    TBitmap taken;
    taken.SetImage(picture, p.Ratio);
    EXPECT_EQ(p.Width, taken.Width()) << p.Ratio;
    EXPECT_EQ(p.Ratio, taken.PixelRatio());
  }
}

TEST(Bitmap, ACanvasTellsItsDevicesPixelRatio) {
  const struct {
    qreal DeviceRatio;
    int Expected;
  } cases[] = {{1.0, 1}, {1.25, 2}, {2.0, 2}, {3.0, 3}};
  for (const auto& c : cases) {
    QImage device(4, 4, QImage::Format_RGB32);
    device.setDevicePixelRatio(c.DeviceRatio);
    TQtCanvas canvas(device, 96);
    EXPECT_EQ(c.Expected, canvas.PixelRatio()) << c.DeviceRatio;
  }
}

TEST(ImageList, DrawsFromThePixelsOfTheTargetsRatio) {
  TImageList list(8, 8, 2);
  list.AddGlyph(PaintRing);
  TImageList single(8, 8);
  single.AddGlyph(PaintRing);
  ASSERT_EQ(2, list.PixelRatios());
  ASSERT_EQ(1, single.PixelRatios());
  // The double-density glyph has pixels of its own, not enlarged ones.
  EXPECT_NE(Doubled(list.Image(0, 1)), PixelsOf(list.Image(0, 2), Rect(0, 0, 8, 8)));

  const struct {
    const TImageList* List;
    int TargetRatio;
    int SourceRatio;  // 0: the ratio-1 image enlarged
  } cases[] = {{&list, 1, 1}, {&list, 2, 2}, {&list, 3, 2}, {&single, 2, 0}};
  for (const auto& c : cases) {
    TBitmap target;
    target.SetPixelRatio(c.TargetRatio);
    target.SetSize(10, 10);
    target.Canvas().Brush().SetColor(clBlue);
    target.Canvas().FillRect(Rect(0, 0, 10, 10));
    c.List->Draw(target.Canvas(), 1, 1, 0);
    std::vector<QRgb> expected;
    if (c.SourceRatio == 0) expected = Doubled(c.List->Image(0, 1));
    else if (c.SourceRatio == c.TargetRatio) expected = PixelsOf(c.List->Image(0, c.SourceRatio), Rect(0, 0, 8, 8));
    else {
      // A ratio the list lacks: its best pixels, enlarged by the rest.
      TBitmap scaled;
      scaled.SetPixelRatio(c.TargetRatio);
      scaled.SetSize(8, 8);
      scaled.Canvas().Draw(0, 0, c.List->Image(0, c.SourceRatio));
      expected = PixelsOf(scaled, Rect(0, 0, 8, 8));
    }
    const QRgb mask = qRgb(GetRValue(TImageList::MaskColor), GetGValue(TImageList::MaskColor),
                           GetBValue(TImageList::MaskColor)) & 0xFFFFFF;
    for (QRgb& p : expected)
      if (p == mask) p = qRgb(0, 0, 255) & 0xFFFFFF;
    EXPECT_EQ(expected, PixelsOf(target, Rect(1, 1, 9, 9))) << c.TargetRatio << " from " << c.SourceRatio;
  }
}

TEST(ImageList, AddedBitmapsAreEnlargedWithTheirMaskIntact) {
  TBitmap source;
  source.SetSize(2, 2);
  source.SetPixel(0, 0, clRed);
  source.SetPixel(1, 1, TImageList::MaskColor);
  TImageList list(2, 2, 2);
  list.Add(source);
  EXPECT_EQ(Doubled(list.Image(0, 1)), PixelsOf(list.Image(0, 2), Rect(0, 0, 2, 2)));
  TBitmap target;
  target.SetPixelRatio(2);
  target.SetSize(2, 2);
  target.Canvas().Brush().SetColor(clBlue);
  target.Canvas().FillRect(Rect(0, 0, 2, 2));
  list.Draw(target.Canvas(), 0, 0, 0, idsDisabled);
  EXPECT_EQ(clBlue, target.Pixel(1, 1)) << "the mask stays transparent at any ratio";
  const TColor grey = target.Pixel(0, 0);
  EXPECT_EQ(GetRValue(grey), GetBValue(grey));
}

TEST(Bitmap, TextOnAHighDensityBitmapHasPixelsOfItsOwn) {
  // Small text and text large enough to be drawn from kept glyph images.
  for (const int points : {10, 72}) {
    auto draw = [points](int ratio) {
      TBitmap bitmap;
      bitmap.SetPixelRatio(ratio);
      bitmap.SetSize(160, 120);
      bitmap.Canvas().Font().SetName("Arial");
      bitmap.Canvas().Font().SetSize(points);
      bitmap.Canvas().Brush().SetStyle(bsClear);
      bitmap.Canvas().TextOut(2, 2, "Sg");
      return bitmap.Image().copy();
    };
    const QImage single = draw(1);
    const QImage doubled = draw(2);
    ASSERT_EQ(single.size() * 2, doubled.size());
    const QImage enlarged = single.scaled(single.size() * 2, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    EXPECT_NE(enlarged.convertToFormat(QImage::Format_RGB32), doubled.convertToFormat(QImage::Format_RGB32)) << points;
  }
}
