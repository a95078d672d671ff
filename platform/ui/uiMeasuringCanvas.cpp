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

const TMeasuringCanvas::TFaceCache& TMeasuringCanvas::CurrentFace() {
  const TFont& font = Font();
  const TFontStyles style = font.Style() & (fsBold | fsItalic);
  for (const TFaceCache& c : faces)
    if (c.Size == font.Size() && c.Style == style && c.Name == font.Name()) return c;
  if (faces.size() == maxFaces) faces.erase(faces.begin());
  TFaceCache& c = faces.emplace_back();
  c.Face = &TFontFace::ForFont(font);
  c.Name = font.Name();
  c.Size = font.Size();
  c.Style = style;
  c.Em = PixelsPerEm(font, PixelsPerInch());
  c.Metrics = c.Face->Metrics(c.Em);
  c.Ascii.fill(-1);
  return c;
}

int TMeasuringCanvas::Advance(const TFaceCache& face, const std::string& text, size_t& i) const {
  const unsigned char lead = static_cast<unsigned char>(text[i]);
  if (lead < face.Ascii.size()) {
    ++i;
    int& advance = face.Ascii[lead];
    if (advance < 0) advance = face.Face->AdvancePixels(lead, face.Em);
    return advance;
  }
  return face.Face->AdvancePixels(NextUtf8Char(text, i), face.Em);
}

TSize TMeasuringCanvas::MeasureText(const std::string& text) {
  const TFaceCache& face = CurrentFace();
  int width = 0;
  for (size_t i = 0; i < text.size();) width += Advance(face, text, i);
  return TSize{width, face.Metrics.Height};
}

int TMeasuringCanvas::FitCount(const std::string& text, int maxWidth) {
  const TFaceCache& face = CurrentFace();
  // Justification widens blanks, so it is counted as the text goes.
  const int breaks = JustificationBreaks();
  const int share = breaks ? JustificationTotal() / breaks : 0;
  const int remainder = breaks ? JustificationTotal() % breaks : 0;
  int width = 0;
  int blanks = 0;
  size_t fitted = 0;
  for (size_t i = 0; i < text.size();) {
    const bool blank = text[i] == ' ';
    width += Advance(face, text, i);
    if (blank && blanks < breaks) width += share + (blanks++ < remainder ? 1 : 0);
    if (width > maxWidth) break;
    fitted = i;
  }
  return static_cast<int>(fitted);
}

TTextMetric TMeasuringCanvas::TextMetrics() { return CurrentFace().Metrics; }

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
