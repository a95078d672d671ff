#include "ppPagePainter.h"

#include <algorithm>
#include <cmath>

#include "ppDrawBarCode.h"
#include "ppDrwCmd.h"
#include "ppPage.h"
#include "ppPlainText.h"
#include "uiCanvas.h"
#include "uiGraphicsBitmap.h"

namespace {
// Pen widths and pictures are sized in screen pixels.
constexpr int designPixelsPerInch = ppScreenPixelsPerInch;

int Scaled(int designPixels, int pixelsPerInch) {
  return std::max(1, ppRound(static_cast<double>(designPixels) * pixelsPerInch / designPixelsPerInch));
}

// Draws a text whose tabs advance to the default stops, from x.
void TabbedTextOut(TCanvas& canvas, int x, int y, const std::string& text) {
  if (text.find('\t') == std::string::npos) {
    canvas.TextOut(x, y, text);
    return;
  }
  size_t start = 0;
  for (;;) {
    const size_t tab = text.find('\t', start);
    const std::string part = text.substr(start, tab == std::string::npos ? std::string::npos : tab - start);
    const int before = TppPlainText::GetTabbedTextWidth(canvas, text.substr(0, start), {});
    if (!part.empty()) canvas.TextOut(x + before, y, part);
    if (tab == std::string::npos) return;
    start = tab + 1;
  }
}

void DrawText(TCanvas& canvas, const TppDrawText& command, const TRect& rect, int leadingPixels) {
  if (!command.Transparent) {
    canvas.Brush().SetStyle(bsSolid);
    canvas.Brush().SetColor(command.Color);
    canvas.FillRect(rect);
  }
  canvas.Font() = command.Font()->Value();
  canvas.Brush().SetStyle(bsClear);
  TClipGuard clip(canvas);
  canvas.SetClipRect(rect);
  std::vector<std::string> lines;
  const TStringList* wrapped = command.WrappedText();
  if ((command.WordWrap || command.IsMemo) && wrapped->Count() > 0) {
    for (int i = 0; i < wrapped->Count(); ++i) lines.push_back(wrapped->Get(i));
  } else if (!command.IsMemo) {
    lines.push_back(command.Text);
  }
  const int lineHeight = canvas.TextHeight("W") + leadingPixels;
  int y = rect.Top;
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string line = lines[i];
    const std::string marker = TppTextMarkups::LineBreakMarker;
    const bool hardBreak = line.size() >= marker.size() && line.compare(line.size() - marker.size(), marker.size(), marker) == 0;
    if (hardBreak) line.erase(line.size() - marker.size());
    const bool last = i + 1 == lines.size();
    int x = rect.Left;
    if (command.TextAlignment() == taFullJustified && !hardBreak && (!last || command.ForceJustifyLastLine)) {
      TppPlainText::JustifyLine(canvas, line, rect.Width());
    } else {
      canvas.SetTextJustification(0, 0);
      const int width = TppPlainText::GetTabbedTextWidth(canvas, line, {});
      if (command.TextAlignment() == taRightJustified) x = rect.Right - width;
      else if (command.TextAlignment() == taCentered) x = rect.Left + (rect.Width() - width) / 2;
    }
    TabbedTextOut(canvas, x, y, line);
    y += lineHeight;
  }
  canvas.SetTextJustification(0, 0);
}
}  // namespace

TppPagePainter::TppPagePainter(TCanvas& canvas) : canvas(canvas) {}

int TppPagePainter::PixelsPerInchX() const { return canvas.PixelsPerInch(); }
int TppPagePainter::PixelsPerInchY() const { return canvas.PixelsPerInch(); }

int TppPagePainter::ToPixelsX(int mm) const {
  return ppRound(ppMMThousandthsToUnits(mm, utPrinterPixels, axHorizontal, this));
}

int TppPagePainter::ToPixelsY(int mm) const {
  return ppRound(ppMMThousandthsToUnits(mm, utPrinterPixels, axVertical, this));
}

TRect TppPagePainter::CommandRect(const TppDrawCommand& command) const {
  return TRect{ToPixelsX(command.Left()), ToPixelsY(command.Top()), ToPixelsX(command.Left() + command.Width()),
               ToPixelsY(command.Top() + command.Height())};
}

int TppPagePainter::LineThickness(float weight) const {
  return std::max(1, ppRound(static_cast<double>(canvas.PixelsPerInch()) * weight / 72.0));
}

void TppPagePainter::DrawPage(TppPage& page) {
  canvas.StartPage();
  page.ForEachDrawCommand([](TppDrawCommand* command) {
    if (command->IsLookAhead()) command->LookAheadPending();
  });
  page.ForEachDrawCommand([this](TppDrawCommand* command) { DrawCommand(*command); });
}

bool TppPagePainter::DrawCommand(TppDrawCommand& command) {
  const TRect rect = CommandRect(command);
  command.SetDrawRect(rect);
  if (auto* text = dynamic_cast<TppDrawText*>(&command)) {
    DrawText(canvas, *text, rect, ToPixelsY(text->Leading));
    return true;
  }
  if (auto* shape = dynamic_cast<TppDrawShape*>(&command)) {
    canvas.Pen() = shape->Pen()->Value();
    canvas.Pen().SetWidth(Scaled(shape->Pen()->Width(), canvas.PixelsPerInch()));
    canvas.Brush() = shape->Brush()->Value();
    switch (shape->ShapeType) {
      case stRoundRect:
      case stRoundSquare:
        canvas.RoundRect(rect, ToPixelsX(shape->XCornerRound), ToPixelsY(shape->YCornerRound));
        break;
      case stEllipse:
      case stCircle: canvas.Ellipse(rect); break;
      default: canvas.Rectangle(rect); break;
    }
    return true;
  }
  if (auto* line = dynamic_cast<TppDrawLine*>(&command)) {
    if (line->Pen()->Style() == psClear) return true;
    const int thickness = LineThickness(line->Weight);
    canvas.Brush().SetStyle(bsSolid);
    canvas.Brush().SetColor(line->Pen()->Color());
    const int bands = line->LineStyle == lsDouble ? 2 : 1;
    for (int band = 0; band < bands; ++band) {
      // The second line of a double one stands one thickness inside.
      const int offset = band * 2 * thickness;
      switch (line->LinePosition) {
        case lpTop: canvas.FillRect(TRect{rect.Left, rect.Top + offset, rect.Right, rect.Top + offset + thickness}); break;
        case lpBottom:
          canvas.FillRect(TRect{rect.Left, rect.Bottom - offset - thickness, rect.Right, rect.Bottom - offset});
          break;
        case lpLeft: canvas.FillRect(TRect{rect.Left + offset, rect.Top, rect.Left + offset + thickness, rect.Bottom}); break;
        case lpRight:
          canvas.FillRect(TRect{rect.Right - offset - thickness, rect.Top, rect.Right - offset, rect.Bottom});
          break;
      }
    }
    return true;
  }
  if (auto* image = dynamic_cast<TppDrawImage*>(&command)) {
    const TBitmap* bitmap = image->AsBitmap();
    if (!bitmap || bitmap->Width() <= 0 || bitmap->Height() <= 0) {
      // No picture the platform can draw (a metafile): its frame only.
      canvas.Brush().SetColor(clBlack);
      canvas.FrameRect(rect);
      return true;
    }
    TClipGuard clip(canvas);
    canvas.SetClipRect(rect);
    int width = Scaled(bitmap->Width(), canvas.PixelsPerInch());
    int height = Scaled(bitmap->Height(), canvas.PixelsPerInch());
    if (image->Stretch && image->MaintainAspectRatio) {
      const double scale = std::min(static_cast<double>(rect.Width()) / width, static_cast<double>(rect.Height()) / height);
      width = static_cast<int>(width * scale);
      height = static_cast<int>(height * scale);
    } else if (image->Stretch) {
      width = rect.Width();
      height = rect.Height();
    }
    int left = rect.Left, top = rect.Top;
    if (image->Center) {
      left += (rect.Width() - width) / 2;
      top += (rect.Height() - height) / 2;
    }
    canvas.StretchDraw(TRect{left, top, left + width, top + height}, *bitmap);
    return true;
  }
  if (auto* barCode = dynamic_cast<TppDrawBarCode*>(&command)) {
    barCode->PrintAt(canvas, rect.Left, rect.Top);
    return true;
  }
  if (auto* richText = dynamic_cast<TppDrawRichText*>(&command)) {
    richText->DrawRichText(canvas, rect);
    return true;
  }
  return false;
}
