#pragma once
// The class library's drawing value types: colours, points, rectangles,
// fonts, pens and brushes. They carry settings only; a canvas turns them
// into pixels at its own resolution.

#include <cstdint>
#include <string>

// 0x00BBGGRR for plain colours; values with the top byte 0xFF name a system
// colour, resolved by ColorToRGB from a fixed table so that output does not
// depend on the desktop's theme.
using TColor = int32_t;

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clNone = 0x1FFFFFFF;

constexpr TColor clSystemColor = static_cast<TColor>(0xFF000000);
constexpr TColor clScrollBar = clSystemColor | 0;
constexpr TColor clWindow = clSystemColor | 5;
constexpr TColor clWindowText = clSystemColor | 8;
constexpr TColor clHighlight = clSystemColor | 13;
constexpr TColor clHighlightText = clSystemColor | 14;
constexpr TColor clBtnFace = clSystemColor | 15;
constexpr TColor clBtnShadow = clSystemColor | 16;
constexpr TColor clGrayText = clSystemColor | 17;
constexpr TColor clBtnText = clSystemColor | 18;
constexpr TColor clBtnHighlight = clSystemColor | 20;
constexpr TColor cl3DDkShadow = clSystemColor | 21;
constexpr TColor cl3DLight = clSystemColor | 22;
constexpr TColor clInfoText = clSystemColor | 23;
constexpr TColor clInfoBk = clSystemColor | 24;

// The plain 0x00BBGGRR value of a colour; unknown system colours are black.
TColor ColorToRGB(TColor color);
constexpr TColor RGBColor(int r, int g, int b) { return (b << 16) | (g << 8) | r; }
constexpr int GetRValue(TColor c) { return c & 0xFF; }
constexpr int GetGValue(TColor c) { return (c >> 8) & 0xFF; }
constexpr int GetBValue(TColor c) { return (c >> 16) & 0xFF; }

struct TPoint {
  int X = 0;
  int Y = 0;
  friend bool operator==(const TPoint&, const TPoint&) = default;
};

struct TSize {
  int cx = 0;
  int cy = 0;
  friend bool operator==(const TSize&, const TSize&) = default;
};

// Right and bottom lie outside the rectangle, as everywhere in the class
// library: a rectangle (0, 0, 10, 5) covers 10 x 5 pixels.
struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;

  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  bool Contains(TPoint p) const { return p.X >= Left && p.X < Right && p.Y >= Top && p.Y < Bottom; }
  friend bool operator==(const TRect&, const TRect&) = default;
};

TRect Rect(int left, int top, int right, int bottom);
// The common part; an empty rectangle at (0, 0) when they do not meet.
TRect IntersectRect(const TRect& a, const TRect& b);
void InflateRect(TRect& rect, int dx, int dy);
void OffsetRect(TRect& rect, int dx, int dy);

// A set of font styles as bits.
enum TFontStyle : uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = uint8_t;

// A font by family name and point size. The pixel height follows from the
// resolution of the canvas that uses it.
class TFont {
public:
  const std::string& Name() const { return name; }
  void SetName(const std::string& value) { name = value; }
  int Size() const { return size; }
  void SetSize(int points) { size = points; }
  TColor Color() const { return color; }
  void SetColor(TColor value) { color = value; }
  TFontStyles Style() const { return style; }
  void SetStyle(TFontStyles value) { style = value; }
  bool HasStyle(TFontStyle s) const { return (style & s) != 0; }

  // The class library's negative height: the em height in pixels at a
  // resolution, rounded half away from zero.
  int Height(int pixelsPerInch) const;

  void Assign(const TFont& source) { *this = source; }
  friend bool operator==(const TFont&, const TFont&) = default;

private:
  std::string name = "Arial";
  int size = 10;
  TColor color = clBlack;
  TFontStyles style = 0;
};

enum TPenStyle : uint8_t { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };

class TPen {
public:
  TColor Color() const { return color; }
  void SetColor(TColor value) { color = value; }
  int Width() const { return width; }
  // Widths below 1 draw as 1, as a cosmetic pen does.
  void SetWidth(int value) { width = value < 1 ? 1 : value; }
  TPenStyle Style() const { return style; }
  void SetStyle(TPenStyle value) { style = value; }

  void Assign(const TPen& source) { *this = source; }
  friend bool operator==(const TPen&, const TPen&) = default;

private:
  TColor color = clBlack;
  int width = 1;
  TPenStyle style = psSolid;
};

enum TBrushStyle : uint8_t {
  bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross
};

class TBrush {
public:
  TColor Color() const { return color; }
  void SetColor(TColor value) { color = value; }
  TBrushStyle Style() const { return style; }
  void SetStyle(TBrushStyle value) { style = value; }

  void Assign(const TBrush& source) { *this = source; }
  friend bool operator==(const TBrush&, const TBrush&) = default;

private:
  TColor color = clWhite;
  TBrushStyle style = bsSolid;
};
