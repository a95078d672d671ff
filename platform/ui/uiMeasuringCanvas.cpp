#include "uiMeasuringCanvas.h"

#include "uiFontMetrics.h"
#include "uiGraphicsBitmap.h"

namespace {

std::string RectText(const TRect& r) {
  return std::to_string(r.Left) + "," + std::to_string(r.Top) + "," + std::to_string(r.Right) + "," +
         std::to_string(r.Bottom);
}

std::string PointsText(const std::vector<TPoint>& points) {
  std::string text;
  for (const TPoint& p : points) text += " " + std::to_string(p.X) + "," + std::to_string(p.Y);
  return text;
}

}  // namespace

const TFontFace& TMeasuringCanvas::Face() {
  const bool bold = Font().HasStyle(fsBold);
  const bool italic = Font().HasStyle(fsItalic);
  if (!face || faceName != Font().Name() || faceBold != bold || faceItalic != italic) {
    face = &TFontFace::ForFont(Font());  // faces live as long as the process
    faceName = Font().Name();
    faceBold = bold;
    faceItalic = italic;
  }
  return *face;
}

TSize TMeasuringCanvas::MeasureText(const std::string& text) {
  const TFontFace& face = Face();
  const double em = PixelsPerEm(Font(), PixelsPerInch());
  int width = 0;
  for (size_t i = 0; i < text.size();) width += face.AdvancePixels(NextUtf8Char(text, i), em);
  return TSize{width, face.Metrics(em).Height};
}

int TMeasuringCanvas::FitCount(const std::string& text, int maxWidth) {
  const TFontFace& face = Face();
  const double em = PixelsPerEm(Font(), PixelsPerInch());
  // Justification widens blanks, so it is counted as the text goes.
  const int breaks = JustificationBreaks();
  const int share = breaks ? JustificationTotal() / breaks : 0;
  const int remainder = breaks ? JustificationTotal() % breaks : 0;
  int width = 0;
  int blanks = 0;
  size_t fitted = 0;
  for (size_t i = 0; i < text.size();) {
    const char32_t ch = NextUtf8Char(text, i);
    width += face.AdvancePixels(ch, em);
    if (ch == ' ' && blanks < breaks) width += share + (blanks++ < remainder ? 1 : 0);
    if (width > maxWidth) break;
    fitted = i;
  }
  return static_cast<int>(fitted);
}

TTextMetric TMeasuringCanvas::TextMetrics() {
  return Face().Metrics(PixelsPerEm(Font(), PixelsPerInch()));
}

void TMeasuringCanvas::TextOut(int x, int y, const std::string& text) {
  Record("TextOut " + std::to_string(x) + "," + std::to_string(y) + " " + text);
}

void TMeasuringCanvas::TextOutRotated(int x, int y, const std::string& text, int angleDegrees) {
  Record("TextOutRotated " + std::to_string(x) + "," + std::to_string(y) + " " + std::to_string(angleDegrees) +
         " " + text);
}

void TMeasuringCanvas::TextRect(const TRect& rect, int x, int y, const std::string& text) {
  Record("TextRect " + RectText(rect) + " " + std::to_string(x) + "," + std::to_string(y) + " " + text);
}

void TMeasuringCanvas::DrawLine(TPoint from, TPoint to) {
  Record("Line" + PointsText({from, to}));
}

void TMeasuringCanvas::Polyline(const std::vector<TPoint>& points) { Record("Polyline" + PointsText(points)); }
void TMeasuringCanvas::Polygon(const std::vector<TPoint>& points) { Record("Polygon" + PointsText(points)); }
void TMeasuringCanvas::Rectangle(const TRect& rect) { Record("Rectangle " + RectText(rect)); }

void TMeasuringCanvas::RoundRect(const TRect& rect, int cornerWidth, int cornerHeight) {
  Record("RoundRect " + RectText(rect) + " " + std::to_string(cornerWidth) + "," + std::to_string(cornerHeight));
}

void TMeasuringCanvas::Ellipse(const TRect& rect) { Record("Ellipse " + RectText(rect)); }
void TMeasuringCanvas::FillRect(const TRect& rect) { Record("FillRect " + RectText(rect)); }
void TMeasuringCanvas::FrameRect(const TRect& rect) { Record("FrameRect " + RectText(rect)); }

void TMeasuringCanvas::Draw(int x, int y, const TBitmap& bitmap) {
  Record("Draw " + std::to_string(x) + "," + std::to_string(y) + " " + std::to_string(bitmap.Width()) + "x" +
         std::to_string(bitmap.Height()));
}

void TMeasuringCanvas::DrawMasked(int x, int y, const TBitmap& bitmap, TColor transparentColor, int opacityPercent) {
  Record("DrawMasked " + std::to_string(x) + "," + std::to_string(y) + " " + std::to_string(bitmap.Width()) + "x" +
         std::to_string(bitmap.Height()) + " " + std::to_string(opacityPercent) + "%");
}

void TMeasuringCanvas::StretchDraw(const TRect& rect, const TBitmap& bitmap) {
  Record("StretchDraw " + RectText(rect) + " " + std::to_string(bitmap.Width()) + "x" +
         std::to_string(bitmap.Height()));
}
