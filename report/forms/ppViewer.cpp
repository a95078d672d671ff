#include "ppViewer.h"

#include <QCursor>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <cmath>

#include "ppDrawBarCode.h"
#include "ppDrwCmd.h"
#include "ppMessages.h"
#include "ppPrinterSetup.h"
#include "ppProducer.h"
#include "ppPublisher.h"
#include "ppUnits.h"
#include "osThreadContext.h"
#include "rtlAssert.h"
#include "rtlConvert.h"
#include "rtlStrUtils.h"
#include "uiCanvasQt.h"
#include "uiGraphicsBitmap.h"

RTL_DEFINE_CLASS(TppScreenDevice)

namespace {

// The colour round the page and its shadow.
constexpr TColor backgroundColor = 0x808080;
constexpr TColor shadowColor = 0x404040;
constexpr int shadowOffset = 3;
// The printer device is found by its name: this layer does not link it.
constexpr const char* ppPrinterDeviceName = "Printer";

int ScreenPixels(int mmThousandths, TppAxis axis) {
  return ppRound(ppMMThousandthsToUnits(mmThousandths, utScreenPixels, axis));
}

// Fonts that the screen shows in another face.
std::string ScreenFontName(const std::string& name) {
  static const std::pair<const char*, const char*> substitutes[] = {
      {"Courier", "Courier New"}, {"Fixedsys", "Arial"}, {"Modern", "Arial"},   {"MS Sans Serif", "Arial"},
      {"Small Fonts", "Arial"},   {"System", "Arial"},   {"Terminal", "Arial"}, {"MS Serif", "Courier New"}};
  for (const auto& [from, to] : substitutes)
    if (SameText(name, from)) return to;
  return name;
}

TRect Normalised(int left, int top, int width, int height) {
  return TRect{left, top, left + std::max(1, width), top + std::max(1, height)};
}

}  // namespace

// ---- layout arithmetic ----

TppPageLayout ppLayoutPage(TppZoomSettingType setting, int zoomPercentage, int pageWidth, int pageHeight,
                           int boxWidth, int boxHeight, int pixelsPerInch) {
  const int W = std::max(1, pageWidth), H = std::max(1, pageHeight);
  const int e = ppRound(pixelsPerInch * 0.125), q = ppRound(pixelsPerInch * 0.25), h = ppRound(pixelsPerInch * 0.5);
  const int BW = std::max(1, boxWidth), BH = std::max(1, boxHeight);
  TppPageLayout out;
  int width = W, height = H, left = q, top = q;
  switch (setting) {
    case zs100Percent:
      out.BitmapWidth = W + 2 * q;
      out.BitmapHeight = H + 2 * q;
      break;
    case zsPageWidth:
      width = std::max(1, BW - 2 * e - ppRound(pixelsPerInch * 0.1458));
      height = std::max(1, ppRound(static_cast<double>(width) * H / W));
      out.BitmapWidth = width + 2 * e;
      out.BitmapHeight = std::max(height + 2 * e, BH);
      left = top = e;
      break;
    case zsPercentage: {
      const double z = std::clamp(zoomPercentage, ppMinZoomPercentage, ppMaxZoomPercentage) / 100.0;
      width = std::max(1, ppRound(W * z));
      height = std::max(1, ppRound(H * z));
      out.BitmapWidth = std::max(BW, width + 2 * q);
      out.BitmapHeight = std::max(BH, height + 2 * q);
      left = std::max(q, (out.BitmapWidth - width) / 2);
      break;
    }
    case zsWholePage:
      out.BitmapWidth = BW;
      out.BitmapHeight = BH;
      height = std::max(1, BH - q);
      width = std::max(1, ppRound(static_cast<double>(height) * W / H));
      if (BW > h && BH > h)
        while (BW <= width && height > q) {
          height -= q;
          width = std::max(1, ppRound(static_cast<double>(height) * W / H));
        }
      left = std::max(0, (BW - width) / 2);
      top = std::max(0, (BH - height) / 2);
      break;
  }
  out.PageRect = TRect{left, top, left + width, top + height};
  out.CalculatedZoom = setting == zs100Percent ? 100 : std::max(1, ppRound(100.0 * height / H));
  return out;
}

// ---- screen device ----

TppScreenDevice::TppScreenDevice(TComponent* owner) : TppDevice(owner) {
  PageRequest().SetPageSetting(psFirstPage);
  PageRequest().SetPageRequested(1);
}

TppScreenDevice::~TppScreenDevice() { SetReport(nullptr); }

void TppScreenDevice::SetReport(TppProducer* value) {
  if (value == report) return;
  if (report) {
    SetPublisher(nullptr);
    report->RemoveFreeNotification(this);
  }
  report = value;
  pageReceived = false;
  pageOnView.Clear();
  if (report) {
    report->FreeNotification(this);
    SetPublisher(report->Publisher());
  }
}

void TppScreenDevice::Notification(TComponent* component, TOperation operation) {
  inherited::Notification(component, operation);
  if (operation != opRemove || component != report) return;
  // The report is going: its pages' commands may still be on view, but
  // nothing may reach the report again.
  report = nullptr;
  SetPublisher(nullptr);
}

void TppScreenDevice::Reset() {
  inherited::Reset();
  PageRequest().SetPageSetting(psFirstPage);
  PageRequest().SetPageRequested(1);
}

void TppScreenDevice::Request(TppPageSettingType setting, int pageNo) {
  if (JobRunning() || !Publisher()) return;
  PageRequest().SetPageSetting(setting);
  PageRequest().SetPageRequested(pageNo);
  RequestPage();
}

void TppScreenDevice::RequestFirstPage() { Request(psFirstPage, 1); }
void TppScreenDevice::RequestLastPage() { Request(psLastPage, 0); }
void TppScreenDevice::RequestSinglePage(int pageNo) { Request(psSinglePage, pageNo); }

void TppScreenDevice::StartJob() {
  const bool wasRunning = JobRunning();
  inherited::StartJob();
  if (!wasRunning && OnPrintStateChange) OnPrintStateChange();
}

void TppScreenDevice::EndJob() {
  const bool wasRunning = JobRunning();
  inherited::EndJob();
  if (wasRunning && OnPrintStateChange) OnPrintStateChange();
}

void TppScreenDevice::CancelJob() {
  const bool wasRunning = JobRunning();
  inherited::CancelJob();
  if (wasRunning && OnPrintStateChange) OnPrintStateChange();
}

void TppScreenDevice::SetStatus(const std::string& value) {
  inherited::SetStatus(value);
  if (OnStatusChange) OnStatusChange();
}

void TppScreenDevice::ReceivePage(TppPage* page) {
  ORV_ASSERT(IsMainThread());  // the preview's pages are drawn by its window
  inherited::ReceivePage(page);
  const std::string pageNo = std::to_string(page->AbsolutePageNo);
  if (page->Calculation)
    SetStatus(ppFormatMessage(4, {pageNo, page->DocumentName}));
  else
    SetStatus(ppFormatMessage(10, {pageNo, std::to_string(page->AbsolutePageCount), page->DocumentName}));
  if (SkipPage() || !PageRequested()) {
    if (pageReceived && page->AbsolutePageCount != pageOnView.AbsolutePageCount)
      pageOnView.AbsolutePageCount = page->AbsolutePageCount;
    return;
  }
  pageOnView.Assign(page);
  pageReceived = true;
  RenderPage();
  SetStatus(pageOnView.PageOfCaption());
  if (viewer) viewer->PageArrived();
  if (OnPageChange) OnPageChange();
}

TRect TppScreenDevice::CommandRect(const TppDrawCommand& command) const {
  const TRect& page = layout.PageRect;
  const int left = page.Left + ppRound(ppMMThousandthsToUnits(command.Left(), utScreenPixels, axHorizontal) * scaleX);
  const int top = page.Top + ppRound(ppMMThousandthsToUnits(command.Top(), utScreenPixels, axVertical) * scaleY);
  const int width = ppRound(ppMMThousandthsToUnits(command.Width(), utScreenPixels, axHorizontal) * scaleX);
  const int height = ppRound(ppMMThousandthsToUnits(command.Height(), utScreenPixels, axVertical) * scaleY);
  return Normalised(left, top, width, height);
}

void TppScreenDevice::RenderPage() {
  if (!pageReceived) return;
  const TppPageDef* def = pageOnView.PageDef();
  const int W = std::max(1, ScreenPixels(def->mmWidth(), axHorizontal));
  const int H = std::max(1, ScreenPixels(def->mmHeight(), axVertical));
  if (viewer) {
    const QSize box = viewer->BoxSize();
    layout = ppLayoutPage(viewer->ZoomSetting(), viewer->ZoomPercentage(), W, H, box.width(), box.height(),
                          ppScreenPixelsPerInch);
  } else {
    layout = ppLayoutPage(zs100Percent, 100, W, H, 0, 0, ppScreenPixelsPerInch);
  }
  scaleX = static_cast<double>(layout.PageRect.Width()) / W;
  scaleY = static_cast<double>(layout.PageRect.Height()) / H;
  // The same size again (paging at one zoom) reuses the pixels.
  if (bitmap.width() != layout.BitmapWidth || bitmap.height() != layout.BitmapHeight)
    bitmap = QImage(layout.BitmapWidth, layout.BitmapHeight, QImage::Format_RGB32);
  bitmap.fill(ToQColor(backgroundColor));
  QPainter bitmapPainter(&bitmap);
  TQtCanvas screen(bitmapPainter, std::max(1, ppRound(ppScreenPixelsPerInch * scaleY)));
  TRect shadow = layout.PageRect;
  shadow.Left += shadowOffset, shadow.Top += shadowOffset, shadow.Right += shadowOffset,
      shadow.Bottom += shadowOffset;
  screen.Brush().SetStyle(bsSolid);
  screen.Brush().SetColor(shadowColor);
  screen.FillRect(shadow);
  const TColor color = viewer ? viewer->PageColor() : clWhite;
  screen.Brush().SetColor(color == clWindow || color == clNone ? clWhite : color);
  screen.FillRect(layout.PageRect);
  screen.Brush().SetColor(clBlack);
  screen.FrameRect(layout.PageRect);
  canvas = &screen;
  painter = &bitmapPainter;
  {
    // Page numbers and counts are brought up to date from the page first.
    pageOnView.ForEachDrawCommand([](TppDrawCommand* command) {
      if (command->IsLookAhead()) command->LookAheadPending();
    });
    TClipGuard clip(screen);
    DrawPage(&pageOnView);
  }
  canvas = nullptr;
  painter = nullptr;
}

bool TppScreenDevice::DrawCommand(TppDrawCommand* command) {
  if (!canvas || !command) return false;
  const TRect rect = CommandRect(*command);
  TClipGuard clip(*canvas);
  if (auto* text = dynamic_cast<TppDrawText*>(command)) {
    DrawText(*text, rect);
  } else if (auto* shape = dynamic_cast<TppDrawShape*>(command)) {
    DrawShape(*shape, rect);
  } else if (auto* line = dynamic_cast<TppDrawLine*>(command)) {
    DrawLine(*line, rect);
  } else if (auto* image = dynamic_cast<TppDrawImage*>(command)) {
    DrawImage(*image, rect);
  } else if (auto* rich = dynamic_cast<TppDrawRichText*>(command)) {
    canvas->SetClipRect(rect);
    rich->DrawRichText(*canvas, rect);
  } else if (auto* barCode = dynamic_cast<TppDrawBarCode*>(command)) {
    canvas->SetClipRect(rect);
    const int ppiX = std::max(1, ppRound(ppScreenPixelsPerInch * scaleX));
    const int ppiY = std::max(1, ppRound(ppScreenPixelsPerInch * scaleY));
    barCode->SetSilent(true);
    barCode->DrawSymbol(*canvas, rect.Left, rect.Top, TPoint{ppiX, ppiY}, true);
  } else {
    return false;
  }
  return true;
}

void TppScreenDevice::DrawText(const TppDrawText& command, const TRect& rect) {
  TCanvas& c = *canvas;
  if (!command.Transparent) {
    c.Brush().SetStyle(bsSolid);
    c.Brush().SetColor(command.Color);
    c.FillRect(rect);
  }
  c.SetClipRect(rect);
  TFont font = command.Font()->Value();
  font.SetName(ScreenFontName(font.Name()));
  c.Font() = font;
  c.Brush().SetStyle(bsClear);
  std::vector<std::string> lines;
  if (const TStringList* wrapped = command.WrappedText(); wrapped && wrapped->Count() > 0)
    for (int i = 0; i < wrapped->Count(); ++i) lines.push_back(wrapped->Get(i));
  else
    lines.push_back(command.Text);
  const int textHeight = c.TextMetrics().Height;
  const int lineHeight = textHeight + ppRound(ppMMThousandthsToUnits(command.Leading, utScreenPixels,
                                                                     axVertical) * scaleY);
  // An auto-sized text's rectangle is what the printer's canvas measured;
  // the screen's fonts can run wider or taller, so the text is scaled into
  // it rather than cut off.
  TRect area = rect;
  struct TRestorePainter {
    QPainter* scaled = nullptr;
    ~TRestorePainter() {
      if (scaled) scaled->restore();
    }
  } restorePainter;
  if (command.AutoSize && painter && rect.Width() > 0 && rect.Height() > 0) {
    int blockWidth = 0;
    for (const std::string& line : lines) blockWidth = std::max(blockWidth, c.TextWidth(line));
    const int blockHeight = static_cast<int>(lines.size() - 1) * std::max(1, lineHeight) + textHeight;
    const double sx = std::min(1.0, static_cast<double>(rect.Width()) / std::max(1, blockWidth));
    const double sy = std::min(1.0, static_cast<double>(rect.Height()) / std::max(1, blockHeight));
    if (sx < 1 || sy < 1) {
      painter->save();
      restorePainter.scaled = painter;
      painter->translate(rect.Left, rect.Top);
      painter->scale(sx, sy);
      painter->translate(-rect.Left, -rect.Top);
      area.Right = rect.Left + static_cast<int>(std::ceil(rect.Width() / sx));
      area.Bottom = rect.Top + static_cast<int>(std::ceil(rect.Height() / sy));
    }
  }
  int y = area.Top;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    const int width = c.TextWidth(line);
    int x = area.Left;
    const bool lastLine = i + 1 == lines.size();
    switch (command.TextAlignment()) {
      case taRightJustified: x = area.Right - width; break;
      case taCentered: x = area.Left + (area.Width() - width) / 2; break;
      case taFullJustified: {
        const int breaks = static_cast<int>(std::count(line.begin(), line.end(), ' '));
        if ((!lastLine || command.ForceJustifyLastLine) && breaks > 0) c.SetTextJustification(area.Width() - width, breaks);
        break;
      }
      case taLeftJustified: break;
    }
    if (line.find('\t') != std::string::npos)
      DrawTabbedLine(command, area.Left, y, line);
    else
      c.TextOut(x, y, line);
    c.SetTextJustification(0, 0);
    y += std::max(1, lineHeight);
    if (y >= area.Bottom) break;
  }
}

// Each tab moves to the next stop (mm-thousandths from the text's left);
// past the last stop a tab is a blank.
void TppScreenDevice::DrawTabbedLine(const TppDrawText& command, int left, int y, const std::string& line) {
  TCanvas& c = *canvas;
  const TStringList* stops = command.TabStopPositions();
  size_t start = 0;
  int x = left, tab = 0;
  while (true) {
    const size_t end = line.find('\t', start);
    const std::string segment = line.substr(start, end == std::string::npos ? std::string::npos : end - start);
    c.TextOut(x, y, segment);
    if (end == std::string::npos) break;
    x += c.TextWidth(segment);
    int stop = 0;
    if (tab < stops->Count() && TryStrToInt(Trim(stops->Get(tab)), stop))
      x = std::max(x, left + ppRound(ppMMThousandthsToUnits(stop, utScreenPixels, axHorizontal) * scaleX));
    else
      x += c.TextWidth(" ");
    ++tab;
    start = end + 1;
  }
}

void TppScreenDevice::DrawShape(const TppDrawShape& command, const TRect& rect) {
  TCanvas& c = *canvas;
  c.Pen() = command.Pen()->Value();
  c.Pen().SetWidth(std::max(1, ppRound(command.Pen()->Width() * scaleY)));
  c.Brush() = command.Brush()->Value();
  TRect r = rect;
  const int side = std::min(r.Width(), r.Height());
  if (command.ShapeType == stSquare || command.ShapeType == stRoundSquare || command.ShapeType == stCircle) {
    r.Left += (r.Width() - side) / 2;
    r.Top += (r.Height() - side) / 2;
    r.Right = r.Left + side;
    r.Bottom = r.Top + side;
  }
  switch (command.ShapeType) {
    case stRectangle:
    case stSquare: c.Rectangle(r); break;
    case stRoundRect:
    case stRoundSquare:
      c.RoundRect(r, ppRound(ppMMThousandthsToUnits(command.XCornerRound, utScreenPixels, axHorizontal) * scaleX),
                  ppRound(ppMMThousandthsToUnits(command.YCornerRound, utScreenPixels, axVertical) * scaleY));
      break;
    case stEllipse:
    case stCircle: c.Ellipse(r); break;
  }
}

void TppScreenDevice::DrawLine(const TppDrawLine& command, const TRect& rect) {
  TCanvas& c = *canvas;
  c.Pen() = command.Pen()->Value();
  const int weight = std::max(1, ppRound(command.Weight / 72.0 * ppScreenPixelsPerInch * scaleY));
  c.Pen().SetWidth(weight);
  const int lines = command.LineStyle == lsDouble ? 2 : 1;
  for (int n = 0; n < lines; ++n) {
    const int step = n * weight * 2;
    switch (command.LinePosition) {
      case lpTop:
        c.MoveTo(rect.Left, rect.Top + step);
        c.LineTo(rect.Right, rect.Top + step);
        break;
      case lpBottom:
        c.MoveTo(rect.Left, rect.Bottom - 1 - step);
        c.LineTo(rect.Right, rect.Bottom - 1 - step);
        break;
      case lpLeft:
        c.MoveTo(rect.Left + step, rect.Top);
        c.LineTo(rect.Left + step, rect.Bottom);
        break;
      case lpRight:
        c.MoveTo(rect.Right - 1 - step, rect.Top);
        c.LineTo(rect.Right - 1 - step, rect.Bottom);
        break;
    }
  }
}

void TppScreenDevice::DrawImage(const TppDrawImage& command, const TRect& rect) {
  const TBitmap* picture = command.AsBitmap();
  if (!picture || picture->Width() <= 0 || picture->Height() <= 0) return;
  canvas->SetClipRect(rect);
  TRect target = rect;
  if (command.MaintainAspectRatio || command.Center) {
    const double scale = command.Stretch || command.MaintainAspectRatio
                             ? std::min(static_cast<double>(rect.Width()) / picture->Width(),
                                        static_cast<double>(rect.Height()) / picture->Height())
                             : std::min(scaleX, scaleY);
    const int width = std::max(1, ppRound(picture->Width() * scale));
    const int height = std::max(1, ppRound(picture->Height() * scale));
    target.Left = command.Center ? rect.Left + (rect.Width() - width) / 2 : rect.Left;
    target.Top = command.Center ? rect.Top + (rect.Height() - height) / 2 : rect.Top;
    target.Right = target.Left + width;
    target.Bottom = target.Top + height;
  } else if (!command.Stretch) {
    target.Right = target.Left + std::max(1, ppRound(picture->Width() * scaleX));
    target.Bottom = target.Top + std::max(1, ppRound(picture->Height() * scaleY));
  }
  canvas->StretchDraw(target, *picture);
}

TppDrawCommand* TppScreenDevice::ClickableAt(int x, int y) const {
  if (!pageReceived) return nullptr;
  TppDrawCommand* found = nullptr;
  for (int i = 0; i < pageOnView.GetClickableCount(); ++i) {
    TppDrawCommand* command = pageOnView.GetClickableDrawCommand(i);
    if (command && CommandRect(*command).Contains(TPoint{x, y})) found = command;
  }
  return found;
}

bool TppScreenDevice::ClickAt(int x, int y) {
  TppDrawCommand* command = ClickableAt(x, y);
  if (!command) return false;
  command->SetRedrawPage(false);
  if (command->OnDrawCommandClick) command->OnDrawCommandClick(command);
  if (!command->RedrawPage()) return false;
  // The click changed what the page shows: it is made again.
  RequestSinglePage(AbsolutePageNo());
  return true;
}

// ---- viewer ----

class TppViewer::TPaintBox : public QWidget {
public:
  explicit TPaintBox(TppViewer& viewer) : QWidget(nullptr), viewer(viewer) { setMouseTracking(true); }

protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const QImage& image = viewer.device->PageBitmap();
    if (!image.isNull()) painter.drawImage(0, 0, image);
  }
  void mouseMoveEvent(QMouseEvent* e) override {
    const QPoint p = e->position().toPoint();
    setCursor(viewer.device->ClickableAt(p.x(), p.y()) ? Qt::PointingHandCursor : Qt::ArrowCursor);
  }
  void mouseReleaseEvent(QMouseEvent* e) override {
    if (e->button() != Qt::LeftButton || viewer.Busy()) return;
    const QPoint p = e->position().toPoint();
    viewer.device->ClickAt(p.x(), p.y());
  }

private:
  TppViewer& viewer;
};

TppViewer::TppViewer(QWidget* parent) : QWidget(parent), device(new TppScreenDevice(nullptr)) {
  resize(320, 120);
  device->SetViewer(this);
  scrollBox = new QScrollArea(this);
  scrollBox->setFrameShape(QFrame::NoFrame);
  scrollBox->setWidgetResizable(false);
  scrollBox->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  paintBox = new TPaintBox(*this);
  scrollBox->setWidget(paintBox);
  scrollBox->setGeometry(rect());
  device->OnStatusChange = [this] {
    if (OnStatusChange) OnStatusChange(this);
  };
  device->OnPrintStateChange = [this] {
    if (OnPrintStateChange) OnPrintStateChange(this);
  };
}

TppViewer::~TppViewer() {
  device->OnStatusChange = nullptr;
  device->OnPrintStateChange = nullptr;
  device->SetViewer(nullptr);
}

void TppViewer::SetReport(TppProducer* value) {
  device->SetReport(value);
  paintBox->resize(0, 0);
  paintBox->update();
}

QSize TppViewer::BoxSize() const {
  const QSize size = scrollBox->maximumViewportSize();
  return QSize(std::max(1, size.width()), std::max(1, size.height()));
}

void TppViewer::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  scrollBox->setGeometry(rect());
  if (zoomSetting != zs100Percent && device->PageReceived()) Refresh();
}

void TppViewer::SetZoomSetting(TppZoomSettingType value) {
  zoomSetting = value;
  if (!device->PageReceived()) return;
  if (!isVisible()) {
    paintBox->update();
    return;
  }
  paintBox->hide();
  resetScroll = true;
  Refresh();
  paintBox->show();
}

void TppViewer::SetZoomPercentage(int value) {
  zoomPercentage = std::clamp(value, ppMinZoomPercentage, ppMaxZoomPercentage);
  SetZoomSetting(zsPercentage);
}

void TppViewer::SetPageColor(TColor value) {
  pageColor = value;
  Refresh();
}

void TppViewer::Refresh() {
  device->RenderPage();
  UpdateScrollRanges();
  paintBox->update();
}

void TppViewer::PageArrived() {
  UpdateScrollRanges();
  paintBox->update();
  if (OnPageChange) OnPageChange(this);
}

void TppViewer::UpdateScrollRanges() {
  const QImage& image = device->PageBitmap();
  paintBox->resize(image.width(), image.height());
  const QSize box = BoxSize();
  scrollBox->setHorizontalScrollBarPolicy(image.width() > box.width() ? Qt::ScrollBarAsNeeded
                                                                        : Qt::ScrollBarAlwaysOff);
  scrollBox->setVerticalScrollBarPolicy(image.height() > box.height() ? Qt::ScrollBarAsNeeded
                                                                        : Qt::ScrollBarAlwaysOff);
  if (resetScroll) {
    resetScroll = false;
    scrollBox->horizontalScrollBar()->setValue(0);
    scrollBox->verticalScrollBar()->setValue(0);
  }
}

void TppViewer::FirstPage() {
  if (Busy() || (device->PageReceived() && AbsolutePageNo() == 1)) return;
  device->RequestFirstPage();
}

void TppViewer::LastPage() {
  if (Busy() || (device->PageReceived() && device->PageOnView().LastPage)) return;
  device->RequestLastPage();
}

void TppViewer::NextPage() {
  if (Busy() || !device->PageReceived() || device->PageOnView().LastPage) return;
  device->RequestSinglePage(AbsolutePageNo() + 1);
}

void TppViewer::PriorPage() {
  if (Busy() || !device->PageReceived() || AbsolutePageNo() <= 1) return;
  device->RequestSinglePage(AbsolutePageNo() - 1);
}

void TppViewer::GotoPage(int pageNo) {
  if (Busy() || pageNo < 1 || pageNo == AbsolutePageNo()) return;
  device->RequestSinglePage(pageNo);
}

void TppViewer::Print() {
  TppProducer* report = device->Report();
  if (!report || Busy()) return;
  TppPrinterSetup savedSetup;
  savedSetup.Assign(report->PrinterSetup());
  const int pageNo = std::max(1, AbsolutePageNo());
  {
    // However printing ends, the report goes back to the screen.
    struct TRestore {
      TppViewer& viewer;
      TppProducer& report;
      std::string type;
      ~TRestore() {
        report.SetDeviceType(type);
        viewer.printing = false;
        if (viewer.device->Report() == &report) viewer.device->SetPublisher(report.Publisher());
        if (viewer.OnPrintStateChange) viewer.OnPrintStateChange(&viewer);
      }
    } restore{*this, *report, report->DeviceType()};
    printing = true;
    if (OnPrintStateChange) OnPrintStateChange(this);
    device->SetPublisher(nullptr);
    report->SetCurrentPage(pageNo);
    report->SetDeviceType(ppPrinterDeviceName);
    report->Print();
  }
  // A new paper or printer changes the pages: the one on view is made
  // again.
  if (device->Report() == report && !savedSetup.IsEqual(*report->PrinterSetup())) {
    report->Publisher()->Reset();
    device->RequestSinglePage(pageNo);
  }
}

void TppViewer::Cancel() {
  if (TppProducer* report = device->Report()) report->Cancel();
}

void ppRegisterScreenDevice() { ppRegisterDevice(TppScreenDevice::StaticClassType()); }
