#pragma once
// A canvas that needs no display: text is measured from the font files'
// own advance widths, so every machine lays text out alike. It draws no
// pixels; each drawing call of the page being drawn is written to a log that
// tests read.

#include <array>
#include <string>
#include <vector>

#include "uiCanvas.h"
#include "uiFontMetrics.h"

class TMeasuringCanvas : public TCanvas {
public:
  explicit TMeasuringCanvas(int pixelsPerInch) : TCanvas(pixelsPerInch) {}

  void StartPage() override { log.clear(); }
  void TextOut(int x, int y, const std::string& text) override;
  void TextRect(const TRect& rect, int x, int y, const std::string& text) override;
  void TextOutRotated(int x, int y, const std::string& text, int angleDegrees) override;
  int FitCount(const std::string& text, int maxWidth) override;
  TTextMetric TextMetrics() override;

  void Polyline(const std::vector<TPoint>& points) override;
  void Polygon(const std::vector<TPoint>& points) override;
  void Rectangle(const TRect& rect) override;
  void RoundRect(const TRect& rect, int cornerWidth, int cornerHeight) override;
  void Ellipse(const TRect& rect) override;
  void FillRect(const TRect& rect) override;
  void FrameRect(const TRect& rect) override;
  void Draw(int x, int y, const TBitmap& bitmap) override;
  void StretchDraw(const TRect& rect, const TBitmap& bitmap) override;
  void DrawMasked(int x, int y, const TBitmap& bitmap, TColor transparentColor, int opacityPercent) override;

  // One line per drawing call since the page began, e.g. "TextOut 10,20 Hello".
  const std::vector<std::string>& Log() const { return log; }
  void ClearLog() { log.clear(); }

protected:
  TSize MeasureText(const std::string& text) override;
  void DrawLine(TPoint from, TPoint to) override;
  void ApplyClip() override {}

private:
  std::vector<std::string> log;
  // The face, metrics and ASCII advances of the fonts measured last: reports
  // measure thousands of short texts in a few fonts, and looking the face
  // up and the characters' advances each time cost more than the sum.
  struct TFaceCache {
    std::string Name;
    int Size = 0;
    TFontStyles Style = 0;
    const TFontFace* Face = nullptr;
    double Em = 0;
    TTextMetric Metrics;
    mutable std::array<int, 128> Ascii{};  // -1 until measured
  };
  std::vector<TFaceCache> faces;  // the oldest first
  static constexpr size_t maxFaces = 8;

  const TFaceCache& CurrentFace();
  int Advance(const TFaceCache& face, const std::string& text, size_t& i) const;

  void Record(const std::string& line) { log.push_back(line); }
};
