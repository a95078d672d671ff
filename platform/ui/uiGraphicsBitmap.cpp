#include "uiGraphicsBitmap.h"

#include "uiCanvasQt.h"

#include <algorithm>

TBitmap::TBitmap(int pixelsPerInch) : pixelsPerInch(pixelsPerInch) {}

TBitmap::~TBitmap() = default;

void TBitmap::FinishPainting() const {
  if (canvas) canvas->FinishPainting();
}

void TBitmap::Reshape(int width, int height, int ratio) {
  FinishPainting();
  QImage resized(std::max(0, width) * ratio, std::max(0, height) * ratio, QImage::Format_RGB32);
  resized.setDevicePixelRatio(ratio);
  resized.fill(Qt::white);
  if (!image.isNull()) {
    QPainter p(&resized);
    p.drawImage(QPoint(0, 0), image);
  }
  image = std::move(resized);
  pixelRatio = ratio;
}

void TBitmap::SetSize(int width, int height) { Reshape(width, height, pixelRatio); }

void TBitmap::SetPixelRatio(int ratio) {
  ratio = std::max(1, ratio);
  if (ratio != pixelRatio) Reshape(Width(), Height(), ratio);
}

void TBitmap::Assign(const TBitmap& source) {
  FinishPainting();
  image = source.Image().copy();
  image.setDevicePixelRatio(source.pixelRatio);
  pixelRatio = source.pixelRatio;
}

TCanvas& TBitmap::Canvas() {
  if (!canvas) canvas = std::make_unique<TQtCanvas>(image, pixelsPerInch);
  return *canvas;
}

TColor TBitmap::Pixel(int x, int y) const {
  const QImage& pixels = Image();
  if (x < 0 || y < 0 || !pixels.valid(x * pixelRatio, y * pixelRatio)) return clNone;
  const QRgb rgb = pixels.pixel(x * pixelRatio, y * pixelRatio);
  return RGBColor(qRed(rgb), qGreen(rgb), qBlue(rgb));
}

void TBitmap::SetPixel(int x, int y, TColor color) {
  FinishPainting();
  if (x < 0 || y < 0 || !image.valid(x * pixelRatio, y * pixelRatio)) return;
  const TColor rgb = ColorToRGB(color);
  const QRgb value = qRgb(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
  for (int dy = 0; dy < pixelRatio; ++dy)
    for (int dx = 0; dx < pixelRatio; ++dx) image.setPixel(x * pixelRatio + dx, y * pixelRatio + dy, value);
}

const QImage& TBitmap::Image() const {
  FinishPainting();
  return image;
}

void TBitmap::SetImage(const QImage& source, int pixelRatio) {
  FinishPainting();
  image = source.convertToFormat(QImage::Format_RGB32);
  this->pixelRatio = std::max(1, pixelRatio);
  image.setDevicePixelRatio(this->pixelRatio);
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
