#include "uiGraphics.h"

#include <algorithm>
#include <cmath>

namespace {

struct TSystemColorEntry {
  TColor Color;
  TColor Rgb;
};

// A light, fixed theme: screenshots and tests look the same on every desktop.
constexpr TSystemColorEntry systemColors[] = {
    {clScrollBar, RGBColor(200, 200, 200)},  {clWindow, RGBColor(255, 255, 255)},
    {clWindowText, RGBColor(0, 0, 0)},
    {clHighlight, RGBColor(0, 120, 215)},    {clHighlightText, RGBColor(255, 255, 255)},
    {clBtnFace, RGBColor(240, 240, 240)},    {clBtnShadow, RGBColor(160, 160, 160)},
    {clGrayText, RGBColor(109, 109, 109)},   {clBtnText, RGBColor(0, 0, 0)},
    {clBtnHighlight, RGBColor(255, 255, 255)}, {cl3DDkShadow, RGBColor(105, 105, 105)},
    {cl3DLight, RGBColor(227, 227, 227)},    {clInfoText, RGBColor(0, 0, 0)},
    {clInfoBk, RGBColor(255, 255, 225)},
};

}  // namespace

TColor ColorToRGB(TColor color) {
  if ((color & clSystemColor) != clSystemColor) return color & 0xFFFFFF;
  for (const TSystemColorEntry& entry : systemColors)
    if (entry.Color == color) return entry.Rgb;
  return clBlack;
}

TRect Rect(int left, int top, int right, int bottom) { return TRect{left, top, right, bottom}; }

TRect IntersectRect(const TRect& a, const TRect& b) {
  TRect r{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
          std::min(a.Bottom, b.Bottom)};
  if (r.IsEmpty()) return TRect{};
  return r;
}

void InflateRect(TRect& rect, int dx, int dy) {
  rect.Left -= dx;
  rect.Top -= dy;
  rect.Right += dx;
  rect.Bottom += dy;
}

void OffsetRect(TRect& rect, int dx, int dy) {
  rect.Left += dx;
  rect.Right += dx;
  rect.Top += dy;
  rect.Bottom += dy;
}

int TFont::Height(int pixelsPerInch) const {
  return -static_cast<int>(std::lround(size * static_cast<double>(pixelsPerInch) / 72.0));
}

