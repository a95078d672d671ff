#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>

#include "ppBitmaps.h"
#include "rtlResources.h"
#include "uiMeasuringCanvas.h"

namespace {

// A 2 x 2 glyph: black top-left, white elsewhere.
const QByteArray& GlyphPng() {
  static const QByteArray png = [] {
    QImage image(2, 2, QImage::Format_RGB32);
    image.fill(Qt::white);
    image.setPixel(0, 0, qRgb(0, 0, 0));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
  }();
  return png;
}

}  // namespace

TEST(Bitmaps, ResourcesDrawStretchedAndTransparent) {
  RegisterResource(ppBitmapResourceType, "ppTestGlyph", GlyphPng().constData(), static_cast<size_t>(GlyphPng().size()));
  RegisterResource(ppBitmapResourceType, "ppNotAnImage", "xyz", 3);
  EXPECT_EQ(ppLoadBitmapResource("ppMissing"), nullptr);
  EXPECT_EQ(ppLoadBitmapResource("ppNotAnImage"), nullptr);
  std::unique_ptr<TBitmap> glyph = ppLoadBitmapResource("ppTestGlyph");
  ASSERT_NE(glyph, nullptr);
  EXPECT_EQ(glyph->Pixel(0, 0), clBlack);

  TppDeviceCompatibleCanvas target(300, 8, 8);
  EXPECT_EQ(target.Bitmap().Pixel(5, 5), clWhite);
  EXPECT_EQ(target.Canvas().PixelsPerInch(), 300);
  target.Canvas().Brush().SetColor(clRed);
  target.Canvas().FillRect(Rect(0, 0, 8, 8));
  ppDrawTransparentBitmap(target.Canvas(), Rect(0, 0, 4, 4), *glyph);
  EXPECT_EQ(target.Bitmap().Pixel(0, 0), clBlack);
  EXPECT_EQ(target.Bitmap().Pixel(1, 1), clBlack);  // stretched twice
  EXPECT_EQ(target.Bitmap().Pixel(3, 3), clRed);    // white let the red through
  ppDrawDIBitmap(target.Canvas(), Rect(4, 4, 8, 8), *glyph);
  EXPECT_EQ(target.Bitmap().Pixel(7, 7), clWhite);

  TMeasuringCanvas device(600);
  target.RenderToDevice(device, Rect(10, 10, 50, 50));
  EXPECT_EQ(device.Log().back(), "StretchDraw 10,10,50,50 8x8");
}
