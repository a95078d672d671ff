#pragma once
// The drawing surface every painter and device writes through. A canvas has
// an explicit resolution in pixels per inch: fonts take their pixel size
// from it, never from a screen's settings. Text is measured through the
// canvas only, so that layout and drawing agree.
//
// Coordinates follow the class library: y grows downwards, rectangles
// exclude their right and bottom edges, text is placed by the top-left
// corner of its cell.

#include <optional>
#include <string>
#include <vector>

#include "uiFontMetrics.h"
#include "uiGraphics.h"

class TBitmap;

class TCanvas {
public:
  explicit TCanvas(int pixelsPerInch);
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;
  virtual ~TCanvas() = default;

  TFont& Font() { return font; }
  TPen& Pen() { return pen; }
  TBrush& Brush() { return brush; }
  int PixelsPerInch() const { return pixelsPerInch; }
  // Device pixels per coordinate unit each way, rounded up (a high-density
  // screen has 2): images drawn here may bring that many pixels per unit.
  virtual int PixelRatio() const { return 1; }

  // A whole page is about to be drawn: a canvas that keeps a record of what
  // it drew starts afresh, so a long run holds one page, not all of them.
  virtual void StartPage() {}

  // Text. TextOut and TextRect fill the text's background with the brush
  // unless the brush style is bsClear.
  virtual void TextOut(int x, int y, const std::string& text) = 0;
  // Draws at (x, y) with everything outside the rectangle cut off; the
  // rectangle is filled with the brush first unless it is bsClear.
  virtual void TextRect(const TRect& rect, int x, int y, const std::string& text) = 0;
  // The text turned about its cell's top-left corner (x, y) by
  // angleDegrees counter-clockwise (90: reading upwards), on a clear
  // background, as a font with that escapement draws it.
  virtual void TextOutRotated(int x, int y, const std::string& text, int angleDegrees) = 0;
  TSize TextExtent(const std::string& text);
  int TextWidth(const std::string& text) { return TextExtent(text).cx; }
  int TextHeight(const std::string& text) { return TextExtent(text).cy; }
  // Bytes of the longest leading run of whole UTF-8 characters whose width
  // is not more than maxWidth.
  virtual int FitCount(const std::string& text, int maxWidth);
  virtual TTextMetric TextMetrics() = 0;
  // The next texts are widened by `extra` pixels spread over their first
  // `breakCount` blanks; (0, 0) switches it off.
  void SetTextJustification(int extra, int breakCount);

  // Lines and shapes. Closed shapes are outlined with the pen and filled
  // with the brush.
  TPoint PenPos() const { return penPos; }
  void MoveTo(int x, int y) { penPos = TPoint{x, y}; }
  void LineTo(int x, int y);
  virtual void Polyline(const std::vector<TPoint>& points) = 0;
  virtual void Polygon(const std::vector<TPoint>& points) = 0;
  virtual void Rectangle(const TRect& rect) = 0;
  virtual void RoundRect(const TRect& rect, int cornerWidth, int cornerHeight) = 0;
  virtual void Ellipse(const TRect& rect) = 0;
  // Fills with the brush, no outline.
  virtual void FillRect(const TRect& rect) = 0;
  // A one-pixel border in the brush's colour.
  virtual void FrameRect(const TRect& rect) = 0;
  // Columns of one colour each from the rectangle's top to its bottom:
  // colours[i] paints column rect.Left + i (clNone leaves it as it is).
  // The brush is left as it was.
  virtual void FillColumns(const TRect& rect, const std::vector<TColor>& colours);

  virtual void Draw(int x, int y, const TBitmap& bitmap) = 0;
  virtual void StretchDraw(const TRect& rect, const TBitmap& bitmap) = 0;
  // Draws the bitmap's pixels except those of transparentColor, at
  // opacityPercent (100: opaque) over what is there: image lists' glyphs.
  virtual void DrawMasked(int x, int y, const TBitmap& bitmap, TColor transparentColor, int opacityPercent) = 0;

  // Drawing is cut to the clip rectangle while one is set; callers keep
  // the previous value and set it back to restore it.
  const std::optional<TRect>& ClipRect() const { return clipRect; }
  void SetClipRect(const std::optional<TRect>& rect);

protected:
  // The width and height of the text without justification.
  virtual TSize MeasureText(const std::string& text) = 0;
  virtual void DrawLine(TPoint from, TPoint to) = 0;
  virtual void ApplyClip() = 0;
  // The justification widening of one text, in pixels.
  int JustificationExtra(const std::string& text) const;
  int JustificationBreaks() const { return justifyBreaks; }
  int JustificationTotal() const { return justifyExtra; }

private:
  int pixelsPerInch;
  TFont font;
  TPen pen;
  TBrush brush;
  TPoint penPos;
  std::optional<TRect> clipRect;
  int justifyExtra = 0;
  int justifyBreaks = 0;
};

// Restores a canvas's clip rectangle when it leaves scope.
class TClipGuard {
public:
  explicit TClipGuard(TCanvas& canvas) : canvas(canvas), saved(canvas.ClipRect()) {}
  TClipGuard(const TClipGuard&) = delete;
  TClipGuard& operator=(const TClipGuard&) = delete;
  ~TClipGuard() { canvas.SetClipRect(saved); }

private:
  TCanvas& canvas;
  std::optional<TRect> saved;
};

// The class library's raised or sunken edge: `width` rings drawn inwards,
// top and left in topColor, bottom and right in bottomColor; the rectangle
// shrinks by one pixel per ring.
void Frame3D(TCanvas& canvas, TRect& rect, TColor topColor, TColor bottomColor, int width);
