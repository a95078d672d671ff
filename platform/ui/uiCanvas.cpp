#include "uiCanvas.h"

#include <algorithm>

#include "rtlAssert.h"
#include "rtlUtf8.h"

TCanvas::TCanvas(int pixelsPerInch) : pixelsPerInch(pixelsPerInch) {
  ORV_ASSERT(pixelsPerInch > 0);
}

TSize TCanvas::TextExtent(const std::string& text) {
  TSize size = MeasureText(text);
  size.cx += JustificationExtra(text);
  return size;
}

int TCanvas::FitCount(const std::string& text, int maxWidth) {
  // Widths grow with every character, so the longest fitting prefix is
  // found by bisecting over character boundaries.
  std::vector<int> ends;
  for (size_t i = 1; i <= text.size(); ++i)
    if (i == text.size() || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) ends.push_back(static_cast<int>(i));
  int lo = 0;
  int hi = static_cast<int>(ends.size());
  while (lo < hi) {
    const int mid = (lo + hi + 1) / 2;
    if (TextWidth(text.substr(0, ends[mid - 1])) <= maxWidth) lo = mid;
    else hi = mid - 1;
  }
  return lo == 0 ? 0 : ends[lo - 1];
}

void TCanvas::SetTextJustification(int extra, int breakCount) {
  justifyExtra = breakCount > 0 ? extra : 0;
  justifyBreaks = breakCount > 0 ? breakCount : 0;
}

int TCanvas::JustificationExtra(const std::string& text) const {
  if (justifyBreaks == 0) return 0;
  const int blanks = std::min(static_cast<int>(std::count(text.begin(), text.end(), ' ')), justifyBreaks);
  const int share = justifyExtra / justifyBreaks;
  const int remainder = justifyExtra % justifyBreaks;
  return blanks * share + std::min(blanks, remainder);
}

void TCanvas::LineTo(int x, int y) {
  const TPoint to{x, y};
  DrawLine(penPos, to);
  penPos = to;
}

void TCanvas::SetClipRect(const std::optional<TRect>& rect) {
  clipRect = rect;
  ApplyClip();
}

void Frame3D(TCanvas& canvas, TRect& rect, TColor topColor, TColor bottomColor, int width) {
  const TPen saved = canvas.Pen();
  canvas.Pen().SetWidth(1);
  canvas.Pen().SetStyle(psSolid);
  --rect.Bottom;
  --rect.Right;
  for (int ring = 0; ring < width; ++ring) {
    canvas.Pen().SetColor(topColor);
    canvas.Polyline({{rect.Left, rect.Bottom}, {rect.Left, rect.Top}, {rect.Right, rect.Top}});
    canvas.Pen().SetColor(bottomColor);
    canvas.Polyline({{rect.Right, rect.Top}, {rect.Right, rect.Bottom}, {rect.Left - 1, rect.Bottom}});
    InflateRect(rect, -1, -1);
  }
  ++rect.Bottom;
  ++rect.Right;
  canvas.Pen() = saved;
}

void TCanvas::FillColumns(const TRect& rect, const std::vector<TColor>& colours) {
  const TColor savedColour = Brush().Color();
  const TBrushStyle savedStyle = Brush().Style();
  Brush().SetStyle(bsSolid);
  const int count = std::min(static_cast<int>(colours.size()), rect.Width());
  for (int start = 0; start < count;) {
    int end = start;
    while (end < count && colours[static_cast<size_t>(end)] == colours[static_cast<size_t>(start)]) ++end;
    if (colours[static_cast<size_t>(start)] != clNone) {
      Brush().SetColor(colours[static_cast<size_t>(start)]);
      FillRect(TRect{rect.Left + start, rect.Top, rect.Left + end, rect.Bottom});
    }
    start = end;
  }
  Brush().SetColor(savedColour);
  Brush().SetStyle(savedStyle);
}
