#include "ReportViewer.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QLineEdit>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "ADV_CONSTS.h"
#include "MDBQuery.h"
#include "ReportOptions.h"
#include "dbDataSource.h"
#include "gTools.h"
#include "ppBands.h"
#include "ppBarCode.h"
#include "ppCtrls.h"
#include "ppDBPipeline.h"
#include "ppFileDevice.h"
#include "ppPrinterDevice.h"
#include "ppPrinterSetup.h"
#include "ppReport.h"
#include "ppShapes.h"
#include "ppTemplate.h"
#include "ppUnits.h"
#include "ppVar.h"
#include "rtlConvert.h"
#include "rtlFormat.h"
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
    ppRegisterTextClasses();
    ppRegisterVariableClasses();
    ppRegisterGraphicClasses();
    ppRegisterBarCodeClasses();
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

  ppViewer1 = new QWidget(this);
  ppViewer1->setObjectName("ppViewer1");
  box->addWidget(ppViewer1, 1);
  StatusBar = new QStatusBar(this);
  box->addWidget(StatusBar);
  spbPreviewPrint->setVisible(true);
  connect(spbPreviewClose, &QToolButton::clicked, this, [this] { close(); });
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
