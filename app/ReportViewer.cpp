#include "ReportViewer.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QKeyEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QLineEdit>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "ProgramInfo.h"
#include "MDBQuery.h"
#include "ReportOptions.h"
#include "dbDataSource.h"
#include "Main.h"
#include "MonitorCommon.h"
#include "ppBands.h"
#include "ppBarCode.h"
#include "ppComponentRegistry.h"
#include "ppCtrls.h"
#include "ppDBPipeline.h"
#include "ppEngineForms.h"
#include "ppFileDevice.h"
#include "ppPrinterDevice.h"
#include "ppPrinterSetup.h"
#include "ppReport.h"
#include "ppShapes.h"
#include "ppTemplate.h"
#include "ppUnits.h"
#include "ppVar.h"
#include "ppViewer.h"
#include "rtlConvert.h"
#include "rtlFormat.h"
#include "rtlStrUtils.h"
#include "rtlStreams.h"
#include "rtlStringList.h"

namespace {

constexpr int ViewerWidth = 442;
constexpr int ViewerHeight = 595;

// The pipeline's fields: name, type, length.
struct TPipelineField {
  const char* Name;
  TppDataType Type;
  int Length;
};
constexpr TPipelineField PipelineFields[] = {
    {"JobDate", dtDate, 0},          {"JobTime", dtTime, 0},         {"JobID", dtInteger, 0},
    {"PrinterName", dtString, 80},   {"JobOwner", dtString, 40},     {"PagesPrinted", dtInteger, 0},
    {"TotalPages", dtInteger, 0},    {"BytesPrinted", dtInteger, 0}, {"JobSize", dtInteger, 0},
    {"Document", dtMemo, 240},       {"JobStatus", dtInteger, 0}};

}  // namespace

TReportViewer::TReportViewer(QWidget* owner, std::unique_ptr<TStringList> parameterList)
    : QWidget(owner, Qt::Window), parameters(std::move(parameterList)), components(new TComponent(nullptr)) {
  static const bool registered = [] {
    ppRegisterReportClasses();
    ppRegisterBarCodeClasses();
    if (!ppPrintablesStarted()) ppStartPrintables();
    ppRegisterEngineForms();
    // The print dialog's devices, found by name when the report prints.
    ppRegisterPrinterDevice();
    ppRegisterFileDevices();
    return true;
  }();
  (void)registered;
  setObjectName("ReportViewer");
  setWindowTitle("Report");
  resize(ViewerWidth, ViewerHeight);
  if (const QScreen* screen = QApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
  CreateComponents();
  CreateToolbar();
}

TReportViewer::~TReportViewer() {
  // Nothing may free the query while the query thread opens it.
  Q_ASSERT(!queryRunning);
  if (query) query->Close();
}

void TReportViewer::CreateComponents() {
  query = new TMDBQuery(components.get());
  query->SetDatabaseName(DataPath);
  DataSource1 = new TDataSource(components.get());
  ppDBPipeline1 = new TppDBPipeline(components.get());
  ppDBPipeline1->SetName("ppDBPipeline1");
  ppDBPipeline1->SetAutoCreateFields(false);
  for (const TPipelineField& field : PipelineFields) ppDBPipeline1->DefineField(field.Name, field.Type, field.Length);
  ppReport1 = new TppReport(components.get());
  ppReport1->SetName("ppReport1");
  ppReport1->SetDataPipeline(ppDBPipeline1);
}

void TReportViewer::CreateToolbar() {
  auto* box = new QVBoxLayout(this);
  box->setContentsMargins(0, 0, 0, 0);
  box->setSpacing(0);
  auto* toolbar = new QToolBar(this);
  auto button = [&](const char* name, const char* text) {
    auto* made = new QToolButton(toolbar);
    made->setObjectName(name);
    made->setText(text);
    made->setToolTip(text);
    toolbar->addWidget(made);
    return made;
  };
  spbPreviewPrint = button("spbPreviewPrint", "Print Report");
  toolbar->addSeparator();
  spbPreviewWhole = button("spbPreviewWhole", "Whole Page");
  spbPreviewWidth = button("spbPreviewWidth", "Page Width");
  spbPreview100Percent = button("spbPreview100Percent", "100 %");
  // One group that may be all up.
  for (QToolButton* zoom : {spbPreviewWhole, spbPreviewWidth, spbPreview100Percent}) zoom->setCheckable(true);
  spbPreviewWhole->setChecked(true);
  mskPreviewPercentage = new QLineEdit(toolbar);
  mskPreviewPercentage->setObjectName("mskPreviewPercentage");
  mskPreviewPercentage->setInputMask("000 %; ");
  mskPreviewPercentage->setMaximumWidth(60);
  toolbar->addWidget(mskPreviewPercentage);
  toolbar->addSeparator();
  spbPreviewFirst = button("spbPreviewFirst", "First Page");
  spbPreviewPrior = button("spbPreviewPrior", "Prior Page");
  mskPreviewPage = new QLineEdit(toolbar);
  mskPreviewPage->setObjectName("mskPreviewPage");
  mskPreviewPage->setInputMask("00000; ");
  mskPreviewPage->setMaximumWidth(60);
  toolbar->addWidget(mskPreviewPage);
  spbPreviewNext = button("spbPreviewNext", "Next Page");
  spbPreviewLast = button("spbPreviewLast", "Last Page");
  toolbar->addSeparator();
  spbPreviewClose = button("spbPreviewClose", SCloseCaption);
  spbPreviewClose->setToolTip("Close");
  box->addWidget(toolbar);

  ppViewer1 = new TppViewer(this);
  ppViewer1->setObjectName("ppViewer1");
  ppViewer1->SetReport(ppReport1);
  ppViewer1->SetZoomSetting(zsWholePage);
  ppViewer1->SetPageColor(clWindow);
  box->addWidget(ppViewer1, 1);
  StatusBar = new QStatusBar(this);
  StatusBar->setSizeGripEnabled(false);
  box->addWidget(StatusBar);
  spbPreviewPrint->setVisible(true);

  for (QToolButton* zoom : {spbPreviewWhole, spbPreviewWidth, spbPreview100Percent})
    connect(zoom, &QToolButton::clicked, this, [this, zoom] { ZoomClick(zoom); });
  connect(mskPreviewPercentage, &QLineEdit::returnPressed, this, [this] { ZoomPercentageEntered(); });
  connect(mskPreviewPage, &QLineEdit::returnPressed, this, [this] { PageEntered(); });
  connect(spbPreviewFirst, &QToolButton::clicked, this, [this] { ppViewer1->FirstPage(); });
  connect(spbPreviewPrior, &QToolButton::clicked, this, [this] { ppViewer1->PriorPage(); });
  connect(spbPreviewNext, &QToolButton::clicked, this, [this] { ppViewer1->NextPage(); });
  connect(spbPreviewLast, &QToolButton::clicked, this, [this] { ppViewer1->LastPage(); });
  connect(spbPreviewPrint, &QToolButton::clicked, this, [this] { spbPreviewPrintClick(); });
  connect(spbPreviewClose, &QToolButton::clicked, this, [this] { spbPreviewCloseClick(); });
  ppViewer1->OnPageChange = [this](TppViewer*) { PageChange(); };
  ppViewer1->OnStatusChange = [this](TppViewer*) { StatusChange(); };
  ppViewer1->OnPrintStateChange = [this](TppViewer*) { PrintStateChange(); };
  mskPreviewPercentage->installEventFilter(this);
}

void TReportViewer::ZoomClick(QToolButton* button) {
  for (QToolButton* zoom : {spbPreviewWhole, spbPreviewWidth, spbPreview100Percent}) zoom->setChecked(zoom == button);
  ppViewer1->SetZoomSetting(button == spbPreviewWhole ? zsWholePage
                            : button == spbPreviewWidth ? zsPageWidth
                                                        : zs100Percent);
  mskPreviewPercentage->setText(QString::number(ppViewer1->CalculatedZoom()));
}

void TReportViewer::ZoomPercentageEntered() {
  int percentage = 100;
  if (!TryStrToInt(Trim(mskPreviewPercentage->text().remove('%').toStdString()), percentage)) percentage = 100;
  ppViewer1->SetZoomPercentage(percentage);
  for (QToolButton* zoom : {spbPreviewWhole, spbPreviewWidth, spbPreview100Percent}) zoom->setChecked(false);
  mskPreviewPercentage->setText(QString::number(ppViewer1->CalculatedZoom()));
}

void TReportViewer::PageEntered() {
  int page = 0;
  if (TryStrToInt(Trim(mskPreviewPage->text().toStdString()), page) && page > 0) ppViewer1->GotoPage(page);
}

void TReportViewer::PageChange() {
  mskPreviewPage->setText(QString::number(ppViewer1->AbsolutePageNo()));
  mskPreviewPercentage->setText(QString::number(ppViewer1->CalculatedZoom()));
}

void TReportViewer::StatusChange() { StatusBar->showMessage(QString::fromStdString(ppViewer1->Status())); }

void TReportViewer::PrintStateChange() {
  const bool busy = ppViewer1->Busy();
  mskPreviewPercentage->setEnabled(!busy);
  mskPreviewPage->setEnabled(!busy);
  for (QWidget* widget : {static_cast<QWidget*>(spbPreviewPrint->parentWidget()),
                          static_cast<QWidget*>(ppViewer1->ScrollBox()), static_cast<QWidget*>(StatusBar)}) {
    if (busy)
      widget->setCursor(Qt::WaitCursor);
    else
      widget->unsetCursor();
  }
  if (busy)
    spbPreviewClose->setCursor(Qt::ArrowCursor);
  else
    spbPreviewClose->unsetCursor();
  spbPreviewClose->setText(busy ? SCancelCaption : SCloseCaption);
  // The cursor's shape follows at once, not at the mouse's next move.
  QCursor::setPos(QCursor::pos());
}

void TReportViewer::spbPreviewPrintClick() {
  Guarded([this] { ppViewer1->Print(); });
}

void TReportViewer::spbPreviewCloseClick() {
  if (ppViewer1->Busy())
    ppViewer1->Cancel();
  else
    close();
}

bool TReportViewer::PreviewKey(int key, Qt::KeyboardModifiers modifiers) {
  if (modifiers & Qt::ControlModifier) {
    switch (key) {
      case Qt::Key_PageUp: ppViewer1->PriorPage(); return true;
      case Qt::Key_PageDown: ppViewer1->NextPage(); return true;
      case Qt::Key_End: ppViewer1->LastPage(); return true;
      case Qt::Key_Home: ppViewer1->FirstPage(); return true;
      default: return false;
    }
  }
  QScrollArea* scrollBox = ppViewer1->ScrollBox();
  QScrollBar* vertical = scrollBox->verticalScrollBar();
  QScrollBar* horizontal = scrollBox->horizontalScrollBar();
  const int height = scrollBox->viewport()->height();
  const int width = scrollBox->viewport()->width();
  switch (key) {
    case Qt::Key_PageUp:
    case Qt::Key_Up: vertical->setValue(vertical->value() - height); return true;
    case Qt::Key_PageDown:
    case Qt::Key_Down: vertical->setValue(vertical->value() + height); return true;
    case Qt::Key_Left: horizontal->setValue(horizontal->value() - width); return true;
    case Qt::Key_Right: horizontal->setValue(horizontal->value() + width); return true;
    default: return false;
  }
}

void TReportViewer::keyPressEvent(QKeyEvent* pressed) {
  if (!PreviewKey(pressed->key(), pressed->modifiers())) QWidget::keyPressEvent(pressed);
}

bool TReportViewer::eventFilter(QObject* watched, QEvent* event) {
  if (watched == mskPreviewPercentage && event->type() == QEvent::KeyPress) {
    auto* pressed = static_cast<QKeyEvent*>(event);
    if (pressed->key() != Qt::Key_Left && pressed->key() != Qt::Key_Right &&
        PreviewKey(pressed->key(), pressed->modifiers()))
      return true;
  }
  return QWidget::eventFilter(watched, event);
}

void TReportViewer::Prepare() {
  BuildReportSQL(*parameters, ReportFormatSettings(), query->SQL());
  // The pipeline meets the query only once it is open on the main thread:
  // the data source's links run report code, which belongs to this thread.
  DataSource1->SetDataSet(query);
  queryRunning = true;
}

void TReportViewer::OpenQuery() { query->Open(); }

void TReportViewer::Setup() {
  queryRunning = false;
  if (closeWhenDone || !query->Active()) return;
  ppDBPipeline1->SetDataSource(DataSource1);

  TMemoryStream layout;
  if (!LoadRCDataToStream(parameters->Values("ReportID"), layout)) return;
  ppReport1->Template().LoadFromStream(layout);
  ppReport1->FixUpDataPipeline(ppDBPipeline1);
  AdjustLayout();
  ppReport1->PrintToDevices();
}

void TReportViewer::AdjustLayout() {
  const std::string title = parameters->Values("ReportTitle");
  ppReport1->PrinterSetup()->SetDocumentName(title);
  setWindowTitle(QString::fromStdString(Format(SReportCaption, {title})));

  int bandIndex = 0;
  TppComponent* found = nullptr;
  if (ppReport1->FindComponentByUserName("DateRange", bandIndex, found)) found->SetCaption(parameters->Values("DateRange"));

  int reportNo = -1;
  TryStrToInt(parameters->Values("ReportNO"), reportNo);
  if (parameters->Values("HideDocumentName") == "TRUE" && reportNo >= 0 && reportNo <= 2) {
    for (const char* name : {"pipLine", "pp_Document"})
      if (ppReport1->FindComponentByUserName(name, bandIndex, found)) found->SetVisible(false);
    if (TppBand* detail = ppReport1->GetBand(btDetail)) {
      const double height = ppMMThousandthsToUnits(detail->mmHeight(), ppReport1->Units(), axVertical);
      detail->SetmmHeight(ppUnitsToMMThousandths(height - DocumentBandInches, ppReport1->Units(), axVertical));
    }
  }

  for (const char* name : {"ppBytes", "ppSumBytes"}) {
    if (!ppReport1->FindComponentByUserName(name, bandIndex, found)) continue;
    if (auto* text = dynamic_cast<TppCustomText*>(found))
      text->OnGetText = [](TObject*, std::string& shown) {
        int64_t bytes = 0;
        if (!TryStrToInt64(shown, bytes) || bytes < 0) bytes = 0;
        shown = FormatByteSize(static_cast<uint64_t>(bytes), true);
      };
  }
}

void TReportViewer::closeEvent(QCloseEvent* closing) {
  if (ppViewer1->Busy()) {
    // A report that is printing is cancelled, not closed under itself.
    ppViewer1->Cancel();
    closing->ignore();
    return;
  }
  if (queryRunning) {
    // The query thread still uses the query: the window goes when it ends.
    closeWhenDone = true;
    hide();
    closing->ignore();
    return;
  }
  closing->accept();
  deleteLater();
}
