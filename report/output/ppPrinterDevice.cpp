#include "ppPrinterDevice.h"

#include <algorithm>
#include <optional>

#include "ppBitmaps.h"
#include "ppDrawBarCode.h"
#include "ppDrwCmd.h"
#include "ppErrors.h"
#include "ppMessages.h"
#include "ppPage.h"
#include "ppPlainText.h"
#include "ppPrinter.h"
#include "ppPublisher.h"
#include "rtlConvert.h"
#include "rtlStrUtils.h"

RTL_DEFINE_CLASS(TppPrinterDevice)

namespace {

// The texts of a command in drawing order: the wrapped lines, else the
// text as one line (none when it is empty).
std::vector<std::string> LinesOf(TppDrawText& command) {
  std::vector<std::string> lines;
  if (command.WordWrap) {
    const TStringList& wrapped = *command.WrappedText();
    for (int i = 0; i < wrapped.Count(); ++i) lines.push_back(wrapped.Get(i));
  } else if (!command.Text.empty()) {
    lines.push_back(command.Text);
  }
  return lines;
}

bool EndsParagraph(const std::string& line) { return line.find(TppTextMarkups::LineBreakMarker) != std::string::npos; }

// Each piece between tabs at the stop the tabs before it reach.
void TabbedTextOut(TCanvas& canvas, int x, int y, const std::string& text, const std::vector<int>& tabStops) {
  size_t start = 0;
  int offset = 0;
  for (;;) {
    const size_t tab = text.find(TppTextMarkups::Tab, start);
    const std::string piece = text.substr(start, tab == std::string::npos ? std::string::npos : tab - start);
    if (!piece.empty()) canvas.TextOut(x + offset, y, piece);
    if (tab == std::string::npos) return;
    // The width of the text through a tab is the stop that tab reaches.
    offset = TppPlainText::GetTabbedTextWidth(canvas, text.substr(0, tab + 1), tabStops);
    start = tab + 1;
  }
}

}  // namespace

TppPrinterDevice::TppPrinterDevice(TComponent* owner)
    : TppRasterDevice(owner), printer(std::make_unique<TppPrinter>()) {}

TppPrinterDevice::~TppPrinterDevice() {
  // A job still open is abandoned, never half-submitted.
  if (printer->Printing()) printer->Abort();
}

void TppPrinterDevice::StartJob() {
  if (JobRunning()) return;
  inherited::StartJob();
  ShowProgress(ppLoadMessage(2));
  copiesRemaining = 1;
  firstPageOfJob = true;
  try {
    if (StartDocAtStartJob) printer->StartDoc();
    canvas = printer->GetCanvas();
    if (!canvas) throw EPrintError("The printer " + printer->PrinterName() + " cannot be used.");
  } catch (...) {
    Abandon();
    throw;
  }
}

void TppPrinterDevice::Abandon() {
  printer->Abort();
  canvas = nullptr;
  copiesRemaining = 1;
  firstPageOfJob = true;
  inherited::CancelJob();
}

void TppPrinterDevice::ShowStatus(TppPage* page) {
  if (SkipPage() && Publisher() && !Publisher()->LastPageKnown()) return;
  const std::string number = IntToStr(page->AbsolutePageNo);
  if (!Publisher() || Publisher()->LastPageKnown())
    ShowProgress(ppFormatMessage(28, {number, IntToStr(page->AbsolutePageCount), page->DocumentName,
                                   printer->PrinterName()}));
  else
    ShowProgress(ppFormatMessage(27, {number, page->DocumentName, printer->PrinterName()}));
}

void TppPrinterDevice::ReceivePage(TppPage* page) {
  inherited::ReceivePage(page);
  if (!JobRunning() || !PageRequested()) return;
  ShowStatus(page);
  if (SkipPage()) return;
  const TppPrinterSetup& setup = *page->PrinterSetup();
  // Collated copies are whole passes of the job; copies the print server
  // makes of the document are never made here too.
  const int copies = setup.Collation() || printer->DocumentCopies() > 1 ? 1 : setup.Copies();
  try {
    for (int copy = 0; copy < copies; ++copy) {
      StartPage(page);
      DrawPage(page);
      EndPage(page);
    }
  } catch (...) {
    Abandon();
    throw;
  }
}

void TppPrinterDevice::StartPage(TppPage* page) {
  const TppPrinterSetup& setup = *page->PrinterSetup();
  if (firstPageOfJob) {
    if (setup.Collation() && printer->DocumentCopies() == 1) copiesRemaining = setup.Copies();
    firstPageOfJob = false;
  }
  printer->SetPrinterSetup(setup);
  printer->NewPage();
  const TRect unprintable = printer->GetPrintableArea();
  pageOffsetX = -unprintable.Left;
  pageOffsetY = -unprintable.Top;
  if (OnStartPage) OnStartPage(this, page);
}

void TppPrinterDevice::EndPage(TppPage* page) {
  printer->EndPage();
  if (OnEndPage) OnEndPage(this, page);
}

bool TppPrinterDevice::CopiesDone() {
  // Without a publisher nothing can serve the job again.
  if (copiesRemaining <= 1 || !Publisher()) return true;
  --copiesRemaining;
  RequestPage();
  return false;
}

void TppPrinterDevice::EndJob() {
  if (!JobRunning() || !CopiesDone()) return;
  try {
    if (EndDocAtEndJob) printer->EndDoc();
  } catch (...) {
    Abandon();
    throw;
  }
  canvas = nullptr;
  firstPageOfJob = true;
  inherited::EndJob();
}

void TppPrinterDevice::CancelJob() {
  printer->Abort();
  canvas = nullptr;
  copiesRemaining = 1;
  firstPageOfJob = true;
  inherited::CancelJob();
}

TRect TppPrinterDevice::CalcDrawPosition(const TppDrawCommand& command) const {
  auto pixels = [this](int mm, TppAxis axis) {
    return ppRound(ppMMThousandthsToUnits(mm, utPrinterPixels, axis, printer.get()));
  };
  return TRect{pixels(command.Left(), axHorizontal) + pageOffsetX, pixels(command.Top(), axVertical) + pageOffsetY,
               pixels(command.Left() + command.Width(), axHorizontal) + pageOffsetX,
               pixels(command.Top() + command.Height(), axVertical) + pageOffsetY};
}

int TppPrinterDevice::ScreenToPrinterPixels(int pixels, TppAxis axis) const {
  const int mm = ppUnitsToMMThousandths(pixels, utScreenPixels, axis);
  return ppRound(ppMMThousandthsToUnits(mm, utPrinterPixels, axis, printer.get()));
}

bool TppPrinterDevice::DrawCommand(TppDrawCommand* command) {
  if (!canvas || !command) return false;
  command->SetDrawRect(CalcDrawPosition(*command));
  if (auto* text = dynamic_cast<TppDrawText*>(command)) {
    DrawText(*text);
  } else if (auto* shape = dynamic_cast<TppDrawShape*>(command)) {
    DrawShape(*shape);
  } else if (auto* line = dynamic_cast<TppDrawLine*>(command)) {
    DrawLine(*line);
  } else if (auto* image = dynamic_cast<TppDrawImage*>(command)) {
    DrawImage(*image);
  } else if (auto* rich = dynamic_cast<TppDrawRichText*>(command)) {
    rich->DrawRichText(*canvas, rich->DrawRect());
  } else if (auto* barCode = dynamic_cast<TppDrawBarCode*>(command)) {
    // The symbol takes the size it has at this resolution.
    barCode->PrintAt(*canvas, barCode->DrawRect().Left, barCode->DrawRect().Top);
    barCode->SetDrawRect(CalcDrawPosition(*barCode));
  } else {
    return false;
  }
  return true;
}

void TppPrinterDevice::DrawText(TppDrawText& command) {
  TCanvas& c = *canvas;
  std::vector<int> tabStops;
  const bool tabbed = command.IsMemo && command.TabStopPositions()->Count() > 0;
  if (tabbed) tabStops = TppPlainText::TabStopsToPixels(utPrinterPixels, *command.TabStopPositions(), printer.get());
  if (!(c.Font() == command.Font()->Value())) c.Font() = command.Font()->Value();
  const TTextMetric metrics = c.TextMetrics();
  const int leading =
      command.IsMemo ? ppRound(ppMMThousandthsToUnits(command.Leading, utPrinterPixels, axVertical, printer.get()))
                     : metrics.ExternalLeading;
  const int lineHeight = metrics.Height + leading;

  TRect rect = command.DrawRect();
  if (command.AutoSize && !command.WordWrap && !command.Text.empty())
    rect.Bottom = std::max(rect.Bottom, rect.Top + lineHeight);
  std::vector<std::string> lines = LinesOf(command);
  std::vector<bool> paragraphEnds;
  for (std::string& line : lines) {
    paragraphEnds.push_back(EndsParagraph(line));
    line = TppPlainText::DeleteAll(line, TppTextMarkups::LineBreakMarker);
  }
  auto widthOf = [&](const std::string& line) {
    return tabbed ? TppPlainText::GetTabbedTextWidth(c, line, tabStops) : c.TextWidth(line);
  };

  if (command.AutoSize && !lines.empty()) {
    int widest = 0;
    for (const std::string& line : lines) widest = std::max(widest, widthOf(line));
    if (widest != rect.Width()) {
      switch (command.Alignment()) {
        case taRightJustify: rect.Left = rect.Right - widest; break;
        case taCenter:
          rect.Left += ppRound((rect.Width() - widest) / 2.0);
          rect.Right = rect.Left + widest;
          break;
        default: rect.Right = rect.Left + widest; break;
      }
    }
  }

  if (!command.Transparent) {
    c.Brush().SetStyle(bsSolid);
    c.Brush().SetColor(command.Color);
    c.FillRect(rect);
  }
  c.Brush().SetStyle(bsClear);

  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    const int y = rect.Top + static_cast<int>(i) * lineHeight;
    int x = rect.Left;
    bool justified = false;
    switch (command.TextAlignment()) {
      case taRightJustified: x = rect.Right - widthOf(line); break;
      case taCentered: x = rect.Left + ppRound((rect.Width() - widthOf(line)) / 2.0 - 0.5); break;
      case taFullJustified: {
        const std::string trimmed = Trim(line);
        justified = !paragraphEnds[i] || (command.ForceJustifyLastLine && trimmed.find(' ') != std::string::npos);
        if (justified) TppPlainText::JustifyLine(c, line, rect.Width());
        break;
      }
      default: break;
    }
    if (tabbed) TabbedTextOut(c, x, y, line, tabStops);
    else c.TextRect(rect, x, y, line);
    if (justified) c.SetTextJustification(0, 0);
  }
  if (command.AutoSize)
    command.SetDrawRect(TRect{rect.Left, rect.Top, rect.Right, rect.Top + static_cast<int>(lines.size()) * lineHeight});
}

void TppPrinterDevice::DrawLine(TppDrawLine& command) {
  TCanvas& c = *canvas;
  const TRect r = command.DrawRect();
  const bool across = command.LinePosition == lpTop || command.LinePosition == lpBottom;
  const int ppi = across ? printer->PixelsPerInchY() : printer->PixelsPerInchX();
  const int thickness = std::max(1, ppRound(ppi * static_cast<double>(command.Weight) / 72.0));
  c.Pen() = command.Pen()->Value();
  c.Pen().SetWidth(1);
  c.Brush().SetStyle(bsSolid);
  c.Brush().SetColor(command.Pen()->Color());
  // Our pens always have a width, so the gap is always twice the stroke.
  const int gap = 2 * thickness;
  const int strokes = command.LineStyle == lsDouble ? 2 : 1;
  for (int stroke = 0; stroke < strokes; ++stroke) {
    const int from = stroke * (thickness + gap);
    TRect band = r;
    switch (command.LinePosition) {
      case lpTop: band.Top = r.Top + from, band.Bottom = band.Top + thickness; break;
      case lpBottom: band.Bottom = r.Bottom - from, band.Top = band.Bottom - thickness; break;
      case lpLeft: band.Left = r.Left + from, band.Right = band.Left + thickness; break;
      case lpRight: band.Right = r.Right - from, band.Left = band.Right - thickness; break;
    }
    // A solid stroke is one filled band (one-pixel lines side by side
    // leave seams once a PDF is rendered at another resolution); a styled
    // pen keeps its pattern in one-pixel lines across the band.
    if (command.Pen()->Style() == psSolid) {
      c.FillRect(band);
      continue;
    }
    for (int k = 0; k < thickness; ++k) {
      if (across) c.MoveTo(band.Left, band.Top + k), c.LineTo(band.Right - 1, band.Top + k);
      else c.MoveTo(band.Left + k, band.Top), c.LineTo(band.Left + k, band.Bottom - 1);
    }
  }
}

void TppPrinterDevice::DrawShape(TppDrawShape& command) {
  TCanvas& c = *canvas;
  c.Pen() = command.Pen()->Value();
  c.Pen().SetWidth(ScreenToPrinterPixels(command.Pen()->Width(), axHorizontal));
  c.Brush() = command.Brush()->Value();
  const TRect r = command.DrawRect();
  switch (command.ShapeType) {
    case stRectangle: c.Rectangle(r); break;
    case stRoundRect:
      c.RoundRect(r, ppRound(ppMMThousandthsToUnits(command.XCornerRound, utPrinterPixels, axHorizontal, printer.get())),
                  ppRound(ppMMThousandthsToUnits(command.YCornerRound, utPrinterPixels, axVertical, printer.get())));
      break;
    case stEllipse: c.Ellipse(r); break;
    default: break;
  }
}

void TppPrinterDevice::DrawImage(TppDrawImage& command) {
  const TBitmap* bitmap = command.AsBitmap();
  if (!bitmap || bitmap->Width() <= 0 || bitmap->Height() <= 0) return;
  const TRect r = command.DrawRect();
  const int width = ScreenToPrinterPixels(bitmap->Width(), axHorizontal);
  const int height = ScreenToPrinterPixels(bitmap->Height(), axVertical);
  TRect target = r;
  std::optional<TClipGuard> clip;
  if (command.Stretch && command.MaintainAspectRatio) {
    const double scale = std::min(static_cast<double>(r.Width()) / width, static_cast<double>(r.Height()) / height);
    const int w = ppRound(width * scale), h = ppRound(height * scale);
    target.Left = r.Left + (command.Center ? (r.Width() - w) / 2 : 0);
    target.Top = r.Top + (command.Center ? (r.Height() - h) / 2 : 0);
    target.Right = target.Left + w;
    target.Bottom = target.Top + h;
  } else if (!command.Stretch) {
    target.Left = r.Left + (command.Center ? (r.Width() - width) / 2 : 0);
    target.Top = r.Top + (command.Center ? (r.Height() - height) / 2 : 0);
    target.Right = target.Left + width;
    target.Bottom = target.Top + height;
    clip.emplace(*canvas);
    canvas->SetClipRect(canvas->ClipRect() ? IntersectRect(*canvas->ClipRect(), r) : r);
  }
  if (command.DirectDraw) DrawImageDirect(command, target, *bitmap);
  else DrawBitmap(command, target, *bitmap);
}

void TppPrinterDevice::DrawImageDirect(TppDrawImage&, const TRect& rect, const TBitmap& bitmap) {
  canvas->StretchDraw(rect, bitmap);
}

void TppPrinterDevice::DrawBitmap(TppDrawImage& command, const TRect& rect, const TBitmap& bitmap) {
  if (command.Transparent) ppDrawTransparentBitmap(*canvas, rect, bitmap);
  else ppDrawDIBitmap(*canvas, rect, bitmap);
}

void ppRegisterPrinterDevice() { ppRegisterDevice(TppPrinterDevice::StaticClassType()); }
