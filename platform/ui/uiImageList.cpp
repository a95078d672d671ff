#include "uiImageList.h"

#include <algorithm>

TImageList::TImageList(int Width, int Height) : width(std::max(1, Width)), height(std::max(1, Height)) {}

TImageList::~TImageList() = default;

int TImageList::Add(const TBitmap& Image) {
  auto copy = std::make_unique<TBitmap>();
  copy->SetSize(width, height);
  copy->Canvas().Brush().SetColor(MaskColor);
  copy->Canvas().FillRect(Rect(0, 0, width, height));
  copy->Canvas().Draw(0, 0, Image);
  images.push_back(std::move(copy));
  return Count() - 1;
}

int TImageList::AddGlyph(const std::function<void(TCanvas& Canvas, int Width, int Height)>& Paint) {
  auto glyph = std::make_unique<TBitmap>();
  glyph->SetSize(width, height);
  TCanvas& canvas = glyph->Canvas();
  canvas.Brush().SetColor(MaskColor);
  canvas.Brush().SetStyle(bsSolid);
  canvas.FillRect(Rect(0, 0, width, height));
  Paint(canvas, width, height);
  images.push_back(std::move(glyph));
  return Count() - 1;
}

void TImageList::Draw(TCanvas& Canvas, int X, int Y, int Index, TImageDrawStyle Style) const {
  if (Index < 0 || Index >= Count()) return;
  const TBitmap& image = *images[static_cast<size_t>(Index)];
  switch (Style) {
    case idsNormal:
      Canvas.DrawMasked(X, Y, image, MaskColor, 100);
      break;
    case idsBlended:
      Canvas.DrawMasked(X, Y, image, MaskColor, 100 - BlendPercent);
      break;
    case idsDisabled: {
      // A grey twin: each pixel's brightness, lifted towards light grey.
      TBitmap grey;
      grey.SetSize(width, height);
      for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
          const TColor c = image.Pixel(x, y);
          if (c == MaskColor) {
            grey.SetPixel(x, y, MaskColor);
            continue;
          }
          const int v = 128 + (GetRValue(c) * 30 + GetGValue(c) * 59 + GetBValue(c) * 11) / 200;
          grey.SetPixel(x, y, RGBColor(v, v, v));
        }
      Canvas.DrawMasked(X, Y, grey, MaskColor, 100);
      break;
    }
  }
}
