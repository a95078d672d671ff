#include "uiGraphicsBitmap.h"

#include "uiCanvasQt.h"

TBitmap::TBitmap(int pixelsPerInch) : pixelsPerInch(pixelsPerInch) {}

TBitmap::~TBitmap() = default;

void TBitmap::FinishPainting() const {
  if (canvas) canvas->FinishPainting();
}

void TBitmap::SetSize(int width, int height) {
  FinishPainting();
  QImage resized(std::max(0, width), std::max(0, height), QImage::Format_RGB32);
  resized.fill(Qt::white);
  if (!image.isNull()) {
    QPainter p(&resized);
    p.drawImage(QPoint(0, 0), image);
  }
  image = std::move(resized);
}

void TBitmap::Assign(const TBitmap& source) {
  FinishPainting();
  image = source.Image().copy();
}

TCanvas& TBitmap::Canvas() {
  if (!canvas) canvas = std::make_unique<TQtCanvas>(image, pixelsPerInch);
  return *canvas;
}

TColor TBitmap::Pixel(int x, int y) const {
  const QImage& pixels = Image();
  if (!pixels.valid(x, y)) return clNone;
  const QRgb rgb = pixels.pixel(x, y);
  return RGBColor(qRed(rgb), qGreen(rgb), qBlue(rgb));
}

void TBitmap::SetPixel(int x, int y, TColor color) {
  FinishPainting();
  if (!image.valid(x, y)) return;
  const TColor rgb = ColorToRGB(color);
  image.setPixel(x, y, qRgb(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb)));
}

const QImage& TBitmap::Image() const {
  FinishPainting();
  return image;
}

void TBitmap::SetImage(const QImage& source) {
  FinishPainting();
  image = source.convertToFormat(QImage::Format_RGB32);
}

bool TBitmap::LoadFromFile(const std::string& fileName) {
  QImage loaded;
  if (!loaded.load(QString::fromStdString(fileName))) return false;
  SetImage(loaded);
  return true;
}

bool TBitmap::SaveToFile(const std::string& fileName) const {
  return Image().save(QString::fromStdString(fileName));
}
