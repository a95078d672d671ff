#include "uiImageList.h"

#include <algorithm>

TImageList::TImageList(int width, int height) : width(std::max(1, width)), height(std::max(1, height)) {}

TImageList::~TImageList() = default;

int TImageList::Add(const TBitmap& image) {
  auto copy = std::make_unique<TBitmap>();
  copy->SetSize(width, height);
  copy->Canvas().Brush().SetColor(MaskColor);
  copy->Canvas().FillRect(Rect(0, 0, width, height));
  copy->Canvas().Draw(0, 0, image);
  images.push_back(std::move(copy));
  return Count() - 1;
}

int TImageList::AddGlyph(const std::function<void(TCanvas& canvas, int width, int height)>& paint) {
  auto glyph = std::make_unique<TBitmap>();
  glyph->SetSize(width, height);
  TCanvas& canvas = glyph->Canvas();
  canvas.Brush().SetColor(MaskColor);
  canvas.Brush().SetStyle(bsSolid);
  canvas.FillRect(Rect(0, 0, width, height));
  paint(canvas, width, height);
  images.push_back(std::move(glyph));
  return Count() - 1;
}

void TImageList::Draw(TCanvas& canvas, int x, int y, int index, TImageDrawStyle style) const {
  if (index < 0 || index >= Count()) return;
  const TBitmap& image = *images[static_cast<size_t>(index)];
  switch (style) {
    case idsNormal:
      canvas.DrawMasked(x, y, image, MaskColor, 100);
      break;
    case idsBlended:
      canvas.DrawMasked(x, y, image, MaskColor, 100 - BlendPercent);
      break;
    case idsDisabled: {
      // A grey twin: each pixel's brightness, lifted towards light grey.
      TBitmap grey;
      grey.SetSize(width, height);
      for (int py = 0; py < height; ++py)
        for (int px = 0; px < width; ++px) {
          const TColor c = image.Pixel(px, py);
          if (c == MaskColor) {
            grey.SetPixel(px, py, MaskColor);
            continue;
          }
          const int v = 128 + (GetRValue(c) * 30 + GetGValue(c) * 59 + GetBValue(c) * 11) / 200;
          grey.SetPixel(px, py, RGBColor(v, v, v));
        }
      canvas.DrawMasked(x, y, grey, MaskColor, 100);
      break;
    }
  }
}
