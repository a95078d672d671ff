#pragma once
// The canvas over QPainter: the screen, bitmaps, PDF and the printer. The
// resolution is explicit: fonts get their pixel size from it whatever the
// paint device reports.

#include <memory>

#include <QFont>
#include <QPainter>
#include <QRawFont>

#include "uiCanvas.h"

class TQtCanvas : public TCanvas {
public:
  // Paints on a device through a painter it opens on first use.
  TQtCanvas(QPaintDevice& device, int pixelsPerInch);
  // Paints through a painter someone else opened (a widget's paint event).
  TQtCanvas(QPainter& painter, int pixelsPerInch);
  ~TQtCanvas() override;

  void TextOut(int x, int y, const std::string& text) override;
  void TextRect(const TRect& rect, int x, int y, const std::string& text) override;
  void TextOutRotated(int x, int y, const std::string& text, int angleDegrees) override;
  TTextMetric TextMetrics() override;
  int PixelRatio() const override;

  void Polyline(const std::vector<TPoint>& points) override;
  void Polygon(const std::vector<TPoint>& points) override;
  void Rectangle(const TRect& rect) override;
  void RoundRect(const TRect& rect, int cornerWidth, int cornerHeight) override;
  void Ellipse(const TRect& rect) override;
  void FillRect(const TRect& rect) override;
  void FillColumns(const TRect& rect, const std::vector<TColor>& colours) override;
  void FrameRect(const TRect& rect) override;
  void Draw(int x, int y, const TBitmap& bitmap) override;
  void StretchDraw(const TRect& rect, const TBitmap& bitmap) override;
  void DrawMasked(int x, int y, const TBitmap& bitmap, TColor transparentColor, int opacityPercent) override;

  // Ends a painter this canvas opened, so the device's pixels can be read;
  // the next drawing call opens a new one with the same settings.
  void FinishPainting();

  // The Qt font that stands for Font() at this canvas's resolution.
  QFont QtFont();
  // A device without colour: text in any colour but black and white is
  // drawn black, so that it does not come out as a pale grey.
  void SetMonochromeText(bool value) { monochromeText = value; }

protected:
  TSize MeasureText(const std::string& text) override;
  void DrawLine(TPoint from, TPoint to) override;
  void ApplyClip() override;

private:
  QPaintDevice* device = nullptr;
  std::unique_ptr<QPainter> ownPainter;
  // The glyphs of the last font drawn with, kept because looking a font
  // up costs more than drawing a short text.
  TFont rawFontOf;
  QRawFont rawFont;
  // The Qt font and its ascent and height for the last font asked for.
  TFont qtFontOf;
  bool qtFontValid = false;
  QFont qtFont;
  int qtAscent = 0;
  int qtHeight = 0;
  QPainter* painter = nullptr;
  bool monochromeText = false;

  QPainter& Painter();
  void UsePen();
  void UseBrush();
  void DrawTextAt(int x, int y, const std::string& text);
  const QRawFont& RawFont();
  void UpdateQtFont();
};

QColor ToQColor(TColor color);
