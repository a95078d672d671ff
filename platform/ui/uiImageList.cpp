#include "uiImageList.h"

#include <algorithm>

#include "rtlAssert.h"

TImageList::TImageList(int width, int height, int pixelRatios)
    : width(std::max(1, width)), height(std::max(1, height)), images(static_cast<size_t>(std::max(1, pixelRatios))) {}

TImageList::~TImageList() = default;

int TImageList::Add(const TBitmap& image) {
  for (size_t row = 0; row < images.size(); ++row) {
    auto copy = std::make_unique<TBitmap>();
    copy->SetPixelRatio(static_cast<int>(row) + 1);
    copy->SetSize(width, height);
    copy->Canvas().Brush().SetColor(MaskColor);
    copy->Canvas().Brush().SetStyle(bsSolid);
    copy->Canvas().FillRect(Rect(0, 0, width, height));
    // Unsmoothed enlargement: a blend with its neighbours would turn
    // the mask colour's edge into visible fringes.
    copy->Canvas().Draw(0, 0, image);
    images[row].push_back(std::move(copy));
  }
  return Count() - 1;
}

int TImageList::AddGlyph(const std::function<void(TCanvas& canvas, int width, int height)>& paint) {
  for (size_t row = 0; row < images.size(); ++row) {
    const int ratio = static_cast<int>(row) + 1;
    TBitmap pixels;
    pixels.SetSize(width * ratio, height * ratio);
    TCanvas& canvas = pixels.Canvas();
    canvas.Brush().SetColor(MaskColor);
    canvas.Brush().SetStyle(bsSolid);
    canvas.FillRect(Rect(0, 0, width * ratio, height * ratio));
    paint(canvas, width * ratio, height * ratio);
    // The same pixels, taken as ratio pixels per unit.
    auto glyph = std::make_unique<TBitmap>();
    glyph->SetImage(pixels.Image(), ratio);
    images[row].push_back(std::move(glyph));
  }
  return Count() - 1;
}

const TBitmap& TImageList::Image(int index, int pixelRatio) const {
  ORV_ASSERT(pixelRatio >= 1 && pixelRatio <= PixelRatios());
  return *images.at(static_cast<size_t>(pixelRatio - 1)).at(static_cast<size_t>(index));
}

void TImageList::Draw(TCanvas& canvas, int x, int y, int index, TImageDrawStyle style) const {
  if (index < 0 || index >= Count()) return;
  const int ratio = std::clamp(canvas.PixelRatio(), 1, PixelRatios());
  const TBitmap& image = Image(index, ratio);
  switch (style) {
    case idsNormal:
      canvas.DrawMasked(x, y, image, MaskColor, 100);
      break;
    case idsBlended:
      canvas.DrawMasked(x, y, image, MaskColor, 100 - BlendPercent);
      break;
    case idsDisabled: {
      // A grey twin: each pixel's brightness, lifted towards light grey.
      QImage grey = image.Image().copy();
      const QRgb mask = qRgb(GetRValue(MaskColor), GetGValue(MaskColor), GetBValue(MaskColor)) & 0xFFFFFF;
      for (int py = 0; py < grey.height(); ++py) {
        auto* line = reinterpret_cast<QRgb*>(grey.scanLine(py));
        for (int px = 0; px < grey.width(); ++px) {
          if ((line[px] & 0xFFFFFF) == mask) continue;
          const int v = 128 + (qRed(line[px]) * 30 + qGreen(line[px]) * 59 + qBlue(line[px]) * 11) / 200;
          line[px] = qRgb(v, v, v);
        }
      }
      TBitmap twin;
      twin.SetImage(grey, image.PixelRatio());
      canvas.DrawMasked(x, y, twin, MaskColor, 100);
      break;
    }
  }
}
