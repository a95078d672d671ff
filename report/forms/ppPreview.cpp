#include "ppPreview.h"

#include <QCloseEvent>
#include <QCursor>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QPainter>
#include <QPixmap>
#include <QScrollBar>
#include <QVBoxLayout>

#include "ppMessages.h"
#include "ppPrinterSetup.h"
#include "ppProducer.h"
#include "ppPublisher.h"
#include "ppReport.h"
#include "rtlConvert.h"

namespace {

QToolButton* Button(QWidget* parent, const char* name, const char* caption, bool checkable = false) {
  auto* button = new QToolButton(parent);
  button->setObjectName(name);
  button->setText(caption);
  button->setToolTip(caption);
  button->setCheckable(checkable);
  button->setAutoRaise(true);
  return button;
}

QLineEdit* Box(QWidget* parent, const char* name, int width) {
  auto* box = new QLineEdit(parent);
  box->setObjectName(name);
  box->setFixedWidth(width);
  return box;
}

}  // namespace

QIcon ppPreviewIcon() {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  // The page, its corner folded, with lines of print.
  const QPolygon page({QPoint(3, 1), QPoint(18, 1), QPoint(24, 7), QPoint(24, 30), QPoint(3, 30)});
  painter.setPen(QPen(Qt::black, 1));
  painter.setBrush(Qt::white);
  painter.drawPolygon(page);
  painter.drawPolyline(QPolygon({QPoint(18, 1), QPoint(18, 7), QPoint(24, 7)}));
  painter.setPen(QPen(QColor(0, 0, 128), 1));
  for (int y = 10; y <= 26; y += 4) painter.drawLine(6, y, 20, y);
  // The glass over the lower right, its handle pointing out of the page.
  painter.setPen(QPen(Qt::black, 2));
  painter.setBrush(QColor(200, 230, 255, 200));
  painter.drawEllipse(QPoint(18, 19), 7, 7);
  painter.setPen(QPen(QColor(96, 64, 0), 4, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(23, 24, 29, 30);
  painter.end();
  return QIcon(pixmap);
}

TppPrintPreview::TppPrintPreview(QWidget* owner) : TppCustomPreviewer(owner) {
  setObjectName(FormName);
  setWindowTitle("Print Preview");
  setWindowIcon(ppPreviewIcon());
  resize(640, 720);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  pnlPreviewBar = new QWidget(this);
  pnlPreviewBar->setObjectName("pnlPreviewBar");
  auto* bar = new QHBoxLayout(pnlPreviewBar);
  bar->setContentsMargins(4, 2, 4, 2);
  spbPreviewPrint = Button(pnlPreviewBar, "spbPreviewPrint", "Print");
  spbAutoSearch = Button(pnlPreviewBar, "spbAutoSearch", "Search Data");
  pnlStandardButtons = new QWidget(pnlPreviewBar);
  pnlStandardButtons->setObjectName("pnlStandardButtons");
  auto* standard = new QHBoxLayout(pnlStandardButtons);
  standard->setContentsMargins(0, 0, 0, 0);
  spbPreviewWhole = Button(pnlStandardButtons, "spbPreviewWhole", "Whole Page", true);
  spbPreviewWidth = Button(pnlStandardButtons, "spbPreviewWidth", "Page Width", true);
  spbPreview100Percent = Button(pnlStandardButtons, "spbPreview100Percent", "100 %", true);
  mskPreviewPercentage = Box(pnlStandardButtons, "mskPreviewPercentage", 48);
  spbPreviewFirst = Button(pnlStandardButtons, "spbPreviewFirst", "First Page");
  spbPreviewPrior = Button(pnlStandardButtons, "spbPreviewPrior", "Prior Page");
  mskPreviewPage = Box(pnlStandardButtons, "mskPreviewPage", 48);
  spbPreviewNext = Button(pnlStandardButtons, "spbPreviewNext", "Next Page");
  spbPreviewLast = Button(pnlStandardButtons, "spbPreviewLast", "Last Page");
  spbPreviewClose = Button(pnlStandardButtons, "spbPreviewClose", "Close");
  for (QWidget* w : std::initializer_list<QWidget*>{spbPreviewWhole, spbPreviewWidth, spbPreview100Percent,
                                                    mskPreviewPercentage, spbPreviewFirst, spbPreviewPrior,
                                                    mskPreviewPage, spbPreviewNext, spbPreviewLast, spbPreviewClose})
    standard->addWidget(w);
  bar->addWidget(spbPreviewPrint);
  bar->addWidget(spbAutoSearch);
  bar->addWidget(pnlStandardButtons);
  bar->addStretch(1);
  layout->addWidget(pnlPreviewBar);
  viewer = new TppViewer(this);
  viewer->setObjectName("ppViewer1");
  layout->addWidget(viewer, 1);
  statusBar = new QStatusBar(this);
  layout->addWidget(statusBar);
  spbPreviewWhole->setChecked(true);

  connect(spbPreviewPrint, &QToolButton::clicked, this, [this] { viewer->Print(); });
  connect(spbAutoSearch, &QToolButton::clicked, this, [this] { AutoSearchClick(); });
  connect(spbPreviewWhole, &QToolButton::clicked, this, [this] { ZoomTo(zsWholePage); });
  connect(spbPreviewWidth, &QToolButton::clicked, this, [this] { ZoomTo(zsPageWidth); });
  connect(spbPreview100Percent, &QToolButton::clicked, this, [this] { ZoomTo(zs100Percent); });
  connect(mskPreviewPercentage, &QLineEdit::returnPressed, this, [this] { ApplyZoomBox(); });
  connect(mskPreviewPage, &QLineEdit::returnPressed, this, [this] { ApplyPageBox(); });
  connect(spbPreviewFirst, &QToolButton::clicked, this, [this] { viewer->FirstPage(); });
  connect(spbPreviewPrior, &QToolButton::clicked, this, [this] { viewer->PriorPage(); });
  connect(spbPreviewNext, &QToolButton::clicked, this, [this] { viewer->NextPage(); });
  connect(spbPreviewLast, &QToolButton::clicked, this, [this] { viewer->LastPage(); });
  connect(spbPreviewClose, &QToolButton::clicked, this, [this] { CloseClick(); });
  viewer->OnPageChange = [this](TppViewer*) { PageChanged(); };
  viewer->OnStatusChange = [this](TppViewer*) { statusBar->showMessage(QString::fromStdString(viewer->Status())); };
  viewer->OnPrintStateChange = [this](TppViewer*) { PrintStateChanged(); };
  LanguageChanged();
}

TppPrintPreview::~TppPrintPreview() {
  viewer->OnPageChange = nullptr;
  viewer->OnStatusChange = nullptr;
  viewer->OnPrintStateChange = nullptr;
  viewer->SetReport(nullptr);
}

void TppPrintPreview::LanguageChanged() {
  setWindowTitle("Print Preview");
  spbAutoSearch->setToolTip("Search Data");
  spbPreviewPrint->setToolTip(QString::fromStdString(ppLoadMessage(22)));
  spbPreviewClose->setText(QString::fromStdString(ppLoadMessage(6)));
  spbPreviewClose->setFixedWidth(spbPreviewClose->fontMetrics().horizontalAdvance(spbPreviewClose->text()) + 30);
}

void TppPrintPreview::ReportAssigned() {
  // Only a producer can be previewed.
  viewer->SetReport(dynamic_cast<TppProducer*>(Report()));
}

void TppPrintPreview::Init() {
  UpdateAutoSearchButton();
  auto* report = dynamic_cast<TppReport*>(Report());
  if (DisplayDocumentName && report)
    setWindowTitle(QString::fromStdString(report->PrinterSetup()->DocumentName()));
}

void TppPrintPreview::UpdateAutoSearchButton() {
  auto* report = dynamic_cast<TppReport*>(Report());
  // The search button only for a report that asks for search values; the
  // standard buttons close up when it is hidden.
  spbAutoSearch->setHidden(!report || !report->ShowAutoSearchDialog() || report->AutoSearchFieldCount() == 0);
}

void TppPrintPreview::showEvent(QShowEvent* e) {
  UpdateAutoSearchButton();
  spbPreviewWhole->setChecked(viewer->ZoomSetting() == zsWholePage);
  spbPreviewWidth->setChecked(viewer->ZoomSetting() == zsPageWidth);
  spbPreview100Percent->setChecked(viewer->ZoomSetting() == zs100Percent);
  TppCustomPreviewer::showEvent(e);
}

void TppPrintPreview::ZoomTo(TppZoomSettingType setting) {
  spbPreviewWhole->setChecked(setting == zsWholePage);
  spbPreviewWidth->setChecked(setting == zsPageWidth);
  spbPreview100Percent->setChecked(setting == zs100Percent);
  viewer->SetZoomSetting(setting);
  mskPreviewPercentage->setText(QString::number(viewer->CalculatedZoom()) + " %");
}

void TppPrintPreview::ApplyZoomBox() {
  std::string text = mskPreviewPercentage->text().toStdString();
  std::erase(text, '%');
  std::erase(text, ' ');
  viewer->SetZoomPercentage(StrToIntDef(text, 100));
  spbPreviewWhole->setChecked(false);
  spbPreviewWidth->setChecked(false);
  spbPreview100Percent->setChecked(false);
  mskPreviewPercentage->setText(QString::number(viewer->CalculatedZoom()) + " %");
}

void TppPrintPreview::ApplyPageBox() {
  const int page = StrToIntDef(mskPreviewPage->text().trimmed().toStdString(), 0);
  if (page > 0) viewer->GotoPage(page);
  mskPreviewPage->setText(QString::number(viewer->AbsolutePageNo()));
}

void TppPrintPreview::PageChanged() {
  mskPreviewPage->setText(QString::number(viewer->AbsolutePageNo()));
  mskPreviewPercentage->setText(QString::number(viewer->CalculatedZoom()) + " %");
}

void TppPrintPreview::PrintStateChanged() {
  const bool busy = viewer->Busy();
  mskPreviewPercentage->setEnabled(!busy);
  mskPreviewPage->setEnabled(!busy);
  const Qt::CursorShape shape = busy ? Qt::WaitCursor : Qt::ArrowCursor;
  pnlPreviewBar->setCursor(shape);
  viewer->ScrollBox()->setCursor(shape);
  statusBar->setCursor(shape);
  spbPreviewClose->setCursor(Qt::ArrowCursor);
  spbPreviewClose->setText(QString::fromStdString(ppLoadMessage(busy ? 5 : 6)));
  QCursor::setPos(QCursor::pos());
}

void TppPrintPreview::CloseClick() {
  if (viewer->Busy()) {
    viewer->Cancel();
    return;
  }
  close();
}

void TppPrintPreview::closeEvent(QCloseEvent* e) {
  // A job in progress is cancelled, and the window stays.
  if (viewer->Busy()) {
    viewer->Cancel();
    e->ignore();
    return;
  }
  TppCustomPreviewer::closeEvent(e);
}

void TppPrintPreview::AutoSearchClick() {
  auto* report = dynamic_cast<TppReport*>(Report());
  if (!report || viewer->Busy()) return;
  if (!report->DisplayAutoSearchDialog()) return;
  // New criteria, new pages: from the first.
  report->Reset();
  viewer->ScreenDevice().Reset();
  report->PrintToDevices();
}

void TppPrintPreview::Scroll(int dx, int dy) {
  QScrollArea* box = viewer->ScrollBox();
  box->horizontalScrollBar()->setValue(box->horizontalScrollBar()->value() + dx);
  box->verticalScrollBar()->setValue(box->verticalScrollBar()->value() + dy);
}

void TppPrintPreview::keyPressEvent(QKeyEvent* e) {
  const QSize box = viewer->BoxSize();
  if (e->modifiers() & Qt::ControlModifier) {
    switch (e->key()) {
      case Qt::Key_PageUp: viewer->PriorPage(); return;
      case Qt::Key_PageDown: viewer->NextPage(); return;
      case Qt::Key_End: viewer->LastPage(); return;
      case Qt::Key_Home: viewer->FirstPage(); return;
      default: break;
    }
  } else {
    switch (e->key()) {
      case Qt::Key_PageUp:
      case Qt::Key_Up: Scroll(0, -box.height()); return;
      case Qt::Key_PageDown:
      case Qt::Key_Down: Scroll(0, box.height()); return;
      case Qt::Key_Left: Scroll(-box.width(), 0); return;
      case Qt::Key_Right: Scroll(box.width(), 0); return;
      // Escape closes the dialog unless a job runs.
      case Qt::Key_Escape: CloseClick(); return;
      default: break;
    }
  }
  TppCustomPreviewer::keyPressEvent(e);
}
