#include "ppPrintDlg.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTextLayout>

#include "ppArchiveDevice.h"
#include "ppDevice.h"
#include "ppFileDevice.h"
#include "ppMessages.h"
#include "ppPrinter.h"
#include "ppPrinterInfo.h"
#include "ppPrinterSetup.h"
#include "ppProducer.h"
#include "ppUnits.h"
#include "ppUtils.h"
#include "rtlConvert.h"
#include "rtlFormat.h"
#include "rtlStrUtils.h"
#include "rtlStringList.h"
#include "uiCanvasQt.h"
#include "uiDialogs.h"

namespace {

// The copies the arrows reach.
constexpr int minCopies = 1, maxCopies = 999;
// The right edge the print-what label is aligned to.
constexpr int printWhatRight = 285;
// The space below the page-range description, in mm-thousandths.
constexpr int descriptionGap = 2381;
// The save dialog's filter before a file type is chosen.
constexpr const char* defaultFilter = "Text files|*.TXT|All files|*.*";
// The message of a printer that cannot be printed to.
constexpr int invalidPrinterMessage = 459;

template <class W>
W* Make(QWidget* parent, const char* name, int left, int top, int width = -1, int height = -1) {
  auto* widget = new W(parent);
  widget->setObjectName(name);
  if (width < 0) {
    widget->adjustSize();
    widget->move(left, top);
  } else {
    widget->setGeometry(left, top, width, height);
  }
  return widget;
}

QFrame* Bevel(QWidget* parent, const char* name, int left, int top, int width, int height) {
  auto* frame = Make<QFrame>(parent, name, left, top, width, height);
  frame->setFrameShape(QFrame::StyledPanel);
  frame->setFrameShadow(QFrame::Sunken);
  return frame;
}

void SetCaption(QLabel* label, int message, const char* suffix = "") {
  label->setText(QString::fromStdString(ppLoadMessage(message) + suffix));
  label->adjustSize();
}

// A registered device's name, answered by an instance.
std::string DeviceNameOf(const TClassInfo& deviceClass) {
  TStringList names;
  ppGetDeviceNames(names);
  for (int i = 0; i < names.Count(); ++i)
    if (ppGetDeviceClass(names.Get(i)) == &deviceClass) return names.Get(i);
  return deviceClass.Name();
}

// What a file device class says of itself, asked of an instance.
template <typename R>
R AskFileDevice(const TClassInfo& deviceClass, R (TppFileDevice::*ask)() const, R fallback) {
  if (!deviceClass.Factory()) return fallback;
  TObjectPtr<TComponent> probe(deviceClass.Factory()(nullptr));
  const auto* device = dynamic_cast<const TppFileDevice*>(probe.get());
  return device ? (device->*ask)() : fallback;
}

std::string DeviceDescription(const TClassInfo& deviceClass) {
  const std::string description =
      AskFileDevice<std::string>(deviceClass, &TppFileDevice::DeviceDescription, std::string());
  return description.empty() ? DeviceNameOf(deviceClass) : description;
}

// The list holds more than its stand-ins for the default printer and for
// none.
bool PrintersInstalled() {
  TStringList names;
  ppPrinters().PrinterNames(names);
  for (int i = 0; i < names.Count(); ++i)
    if (names.Get(i) != ppNoPrinterName && names.Get(i) != ppDefaultPrinterName) return true;
  return false;
}

}  // namespace

bool ppIsFileDeviceClass(const TClassInfo& deviceClass) {
  return deviceClass.InheritsFrom(TppFileDevice::StaticClassType());
}
bool ppIsArchiveDeviceClass(const TClassInfo& deviceClass) {
  return deviceClass.InheritsFrom(TppArchiveDevice::StaticClassType());
}
std::string ppFileDeviceExtension(const TClassInfo& deviceClass) {
  return AskFileDevice<std::string>(deviceClass, &TppFileDevice::DefaultExt, std::string());
}

std::string ppQtFileFilter(const std::string& filter) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    const size_t bar = filter.find('|', start);
    parts.push_back(filter.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  std::string qt;
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    std::string patterns = parts[i + 1];
    std::replace(patterns.begin(), patterns.end(), ';', ' ');
    qt += (qt.empty() ? "" : ";;") + parts[i] + " (" + patterns + ")";
  }
  return qt;
}

std::string ppFileNameWithExtension(const std::string& name, const std::string& extension) {
  const size_t slash = name.find_last_of('/');
  const size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return name + "." + extension;
  if (dot + 1 == name.size()) return name + extension;
  return name;
}

// ---- up-down ----

TppUpDown::TppUpDown(QWidget* parent) : QWidget(parent) { resize(DefaultWidth, 17); }

TppUpDown* TppUpDown::CreateForEdit(QLineEdit* edit) {
  auto* upDown = new TppUpDown(edit->parentWidget());
  upDown->setGeometry(edit->x() + edit->width() - upDown->width() - 2, edit->y() + 2, upDown->width(),
                      edit->height() - 4);
  upDown->raise();
  return upDown;
}

void TppUpDown::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().button());
  painter.setPen(Qt::black);
  const int half = width() / 2;
  for (int i = 0; i < 3; ++i) {
    painter.drawLine(half - 1 - i, i + 2, half + i, i + 2);
    painter.drawLine(half - 1 - i, height() - 3 - i, half + i, height() - 3 - i);
  }
}

void TppUpDown::mousePressEvent(QMouseEvent* e) {
  if (OnClick) OnClick(e->position().y() < height() / 2.0 ? 1 : -1);
}

// ---- collation pictures ----

QPixmap TppMetaBitmap::DrawToBitmap(const TppMetaBitmap& picture) {
  QPixmap pixmap(PictureWidth, PictureHeight);
  pixmap.fill(ToQColor(clBtnFace));
  QPainter painter(&pixmap);
  picture.Paint(painter);
  return pixmap;
}

namespace {

void Sheet(QPainter& painter, int x, int y) {
  painter.fillRect(x, y, 21, 26, ToQColor(clWindow));
  painter.setPen(Qt::black);
  painter.drawRect(x, y, 20, 25);
}

void Digit(QPainter& painter, int x, int y, const char* digit) {
  QFont font("Arial");
  font.setPixelSize(9);
  painter.setFont(font);
  painter.setPen(Qt::black);
  painter.drawText(QRect(x - 1, y - 2, 8, 11), Qt::AlignLeft | Qt::AlignTop, digit);
}

}  // namespace

QIcon ppPrinterTypeIcon(TppPrinterTypeImage image) {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  // The network printer sits higher, on a cable to a line along the bottom.
  const int top = image == ptiNetwork ? 0 : 2;
  painter.setPen(Qt::black);
  painter.fillRect(4, top, 8, 5, Qt::white);  // the sheet in the feed
  painter.drawRect(4, top, 7, 4);
  painter.fillRect(1, top + 4, 14, 6, QColor(192, 192, 192));  // the body
  painter.drawRect(1, top + 4, 13, 5);
  painter.fillRect(3, top + 7, 10, 1, Qt::black);  // the output slot
  painter.fillRect(11, top + 5, 2, 1, Qt::green);  // the power light
  if (image == ptiNetwork) {
    painter.setPen(QColor(0, 0, 128));
    painter.drawLine(7, top + 10, 7, 13);
    painter.drawLine(1, 14, 14, 14);
  }
  painter.end();
  return QIcon(pixmap);
}

void TppCollationBitmap::Paint(QPainter& painter) const {
  for (int set = 0; set < 2; ++set) {
    const int dx = set * 57;
    Sheet(painter, 18 + dx, 0);
    Digit(painter, 33 + dx, 15, "3");
    Sheet(painter, 11 + dx, 13);
    Digit(painter, 26 + dx, 28, "2");
    Sheet(painter, 4 + dx, 26);
    Digit(painter, 18 + dx, 41, "1");
  }
}

void TppNonCollationBitmap::Paint(QPainter& painter) const {
  const char* digits[] = {"1", "2", "3"};
  for (int pair = 0; pair < 3; ++pair) {
    const int dx = pair * 36;
    Sheet(painter, 8 + dx, 7);
    Digit(painter, 23 + dx, 22, digits[pair]);
    Sheet(painter, 1 + dx, 20);
    Digit(painter, 15 + dx, 35, digits[pair]);
  }
}

// ---- the dialog ----

TppPrintDialog::TppPrintDialog(QWidget* owner) : TppCustomPrintDialog(owner) {
  setObjectName(FormName);
  setWindowFlags(Qt::Dialog | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFixedSize(ClientWidth, ClientHeight);
  pnlPrint = Make<QWidget>(this, "pnlPrint", 0, 0, 482, 253);
  bvlPrinter = Bevel(pnlPrint, "bvlPrinter", 7, 13, 471, 81);
  lblPrinter = Make<QLabel>(pnlPrint, "lblPrinter", 14, 7);
  lblPrinterName = Make<QLabel>(pnlPrint, "lblPrinterName", 14, 28);
  cbxPrinters = Make<QComboBox>(pnlPrint, "cbxPrinters", 84, 25, 300, 22);
  cbxPrinters->setIconSize(QSize(16, 16));
  lblNoPrintersInstalled = Make<QLabel>(pnlPrint, "lblNoPrintersInstalled", 84, 28, 389, 13);
  lblNoPrintersInstalled->hide();
  btnPrinterProperties = Make<QPushButton>(pnlPrint, "btnPrinterProperties", 392, 25, 75, 21);
  lblPrinterType = Make<QLabel>(pnlPrint, "lblPrinterType", 14, 52);
  lblPrinterTypeDesc = Make<QLabel>(pnlPrint, "lblPrinterTypeDesc", 84, 52, 389, 13);
  lblPrinterWhere = Make<QLabel>(pnlPrint, "lblPrinterWhere", 14, 74);
  lblPrinterWhereDesc = Make<QLabel>(pnlPrint, "lblPrinterWhereDesc", 84, 74, 389, 13);
  bvlPageRange = Bevel(pnlPrint, "bvlPageRange", 7, 105, 242, 110);
  lblPageRange = Make<QLabel>(pnlPrint, "lblPageRange", 14, 99);
  rdbAll = Make<QRadioButton>(pnlPrint, "rdbAll", 16, 115);
  rdbCurrentPage = Make<QRadioButton>(pnlPrint, "rdbCurrentPage", 16, 135);
  rdbPages = Make<QRadioButton>(pnlPrint, "rdbPages", 16, 156);
  edtPageRange = Make<QLineEdit>(pnlPrint, "edtPageRange", 78, 154, 159, 21);
  lblPageRangeDescription = Make<QLabel>(pnlPrint, "lblPageRangeDescription", 16, 180, 217, 26);
  lblPageRangeDescription->setWordWrap(true);
  bvlCopies = Bevel(pnlPrint, "bvlCopies", 259, 105, 220, 110);
  lblCopies = Make<QLabel>(pnlPrint, "lblCopies", 266, 99);
  lblNumberOfCopies = Make<QLabel>(pnlPrint, "lblNumberOfCopies", 275, 119);
  edtCopies = Make<QLineEdit>(pnlPrint, "edtCopies", 396, 116, 61, 21);
  edtCopies->setMaxLength(3);
  edtCopies->setText("1");
  imgCollate = Make<QLabel>(pnlPrint, "imgCollate", 272, 148, 103, 53);
  cbxCollate = Make<QCheckBox>(pnlPrint, "cbxCollate", 396, 152);
  lblCollate = Make<QLabel>(pnlPrint, "lblCollate", 414, 154);
  lblPrintWhat = Make<QLabel>(pnlPrint, "lblPrintWhat", 261, 230);
  cbxPrintWhat = Make<QComboBox>(pnlPrint, "cbxPrintWhat", 292, 225, 187, 21);
  for (QWidget* w : std::initializer_list<QWidget*>{lblPrinter, lblPageRange, lblCopies}) {
    w->setAutoFillBackground(true);
    w->raise();
  }

  pnlPrintToFile = Make<QWidget>(this, "pnlPrintToFile", 0, 253, 482, 95);
  pnlPrintToFile->hide();
  bvlPrintToFile = Bevel(pnlPrintToFile, "bvlPrintToFile", 7, 5, 471, 90);
  cbxPrintToFile = Make<QCheckBox>(pnlPrintToFile, "cbxPrintToFile", 16, 0);
  lblPrintToFile = Make<QLabel>(pnlPrintToFile, "lblPrintToFile", 35, 0);
  lblPrintToFile->setAutoFillBackground(true);
  lblPrintToFileType = Make<QLabel>(pnlPrintToFile, "lblPrintToFileType", 21, 24);
  cbxPrintToFileTypes = Make<QComboBox>(pnlPrintToFile, "cbxPrintToFileTypes", 75, 21, 190, 21);
  lblPrintToFileWhere = Make<QLabel>(pnlPrintToFile, "lblPrintToFileWhere", 21, 54);
  edtPrintToFileName = Make<QLineEdit>(pnlPrintToFile, "edtPrintToFileName", 75, 50, 370, 21);
  spbPrintToFile = Make<QToolButton>(pnlPrintToFile, "spbPrintToFile", 452, 52, 17, 17);
  spbPrintToFile->setText("...");

  pnlBottom = Make<QWidget>(this, "pnlBottom", 0, 348, 482, 40);
  btnOK = Make<QPushButton>(pnlBottom, "btnOK", 322, 9, 75, 23);
  btnOK->setDefault(true);
  btnCancel = Make<QPushButton>(pnlBottom, "btnCancel", 402, 9, 75, 23);

  collated = TppMetaBitmap::DrawToBitmap(TppCollationBitmap());
  uncollated = TppMetaBitmap::DrawToBitmap(TppNonCollationBitmap());
  // Mnemonics in the captions lead to these controls.
  lblPrinterName->setBuddy(cbxPrinters);
  lblNumberOfCopies->setBuddy(edtCopies);
  lblCollate->setBuddy(cbxCollate);
  lblPrintWhat->setBuddy(cbxPrintWhat);
  lblPrintToFile->setBuddy(cbxPrintToFile);
  updCopies = TppUpDown::CreateForEdit(edtCopies);
  updCopies->setObjectName("updCopies");
  updCopies->OnClick = [this](int step) { StepCopies(step); };
  SetPageRequest(&ownRequest);

  connect(btnOK, &QPushButton::clicked, this, [this] { OKClick(); });
  connect(btnCancel, &QPushButton::clicked, this, [this] { SetModalResult(ppmrCancel); });
  connect(rdbAll, &QRadioButton::clicked, this, [this] {
    if (!initializing) edtPageRange->clear();
  });
  connect(rdbCurrentPage, &QRadioButton::clicked, this, [this] {
    if (!initializing) edtPageRange->clear();
  });
  connect(edtPageRange, &QLineEdit::textEdited, this, [this] {
    if (!initializing) rdbPages->setChecked(true);
  });
  edtPageRange->installEventFilter(this);
  edtCopies->installEventFilter(this);
  lblCollate->installEventFilter(this);
  lblPrintToFile->installEventFilter(this);
  connect(cbxPrintWhat, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (!initializing && PageRequest() && index >= 0)
      PageRequest()->SetPageRange(static_cast<TppPageRangeType>(cbxPrintWhat->itemData(index).toInt()));
  });
  connect(cbxPrinters, &QComboBox::currentIndexChanged, this, [this](int) {
    if (initializing || !Printer) return;
    Printer->SetPrinterName(cbxPrinters->currentText().toStdString());
    UpdatePrinterLabels();
  });
  connect(btnPrinterProperties, &QPushButton::clicked, this, [this] {
    TppPrinter* printer = ppPrinter();
    if (!Printer || !printer) return;
    printer->SetPrinterSetup(*Printer);
    if (!printer->ShowProperties()) return;
    printer->ReadDevMode();
    Printer->Assign(&printer->PrinterSetup());
    UpdatePrinterLabels();
    PrinterChanged = true;
  });
  connect(cbxCollate, &QCheckBox::toggled, this, [this](bool checked) {
    if (initializing) return;
    if (Printer) Printer->SetCollation(checked);
    UpdateCollation();
  });
  connect(cbxPrintToFile, &QCheckBox::toggled, this, [this] { UpdatePrintToFileControls(); });
  connect(cbxPrintToFileTypes, &QComboBox::currentIndexChanged, this, [this] {
    if (!initializing) UpdatePrintToFileControls();
  });
  connect(edtPrintToFileName, &QLineEdit::textEdited, this, [this](const QString& text) {
    if (!initializing) FileNameTyped(text.toStdString());
  });
  connect(spbPrintToFile, &QToolButton::clicked, this, [this] {
    const TClassInfo* selected = SelectedDeviceClass();
    const std::string filter =
        selected ? AskFileDevice<std::string>(*selected, &TppFileDevice::FileFilter, std::string()) : std::string();
    const QString chosen =
        QFileDialog::getSaveFileName(this, QString(), QString::fromStdString(SaveFileName),
                                     QString::fromStdString(ppQtFileFilter(filter.empty() ? defaultFilter : filter)));
    if (chosen.isEmpty()) return;
    FileNameTyped(chosen.toStdString());
    edtPrintToFileName->setText(chosen);
  });
  LanguageChanged();
}

TppPrintDialog::~TppPrintDialog() = default;

void TppPrintDialog::SetPageRequest(TppPageRequest* value) {
  TppCustomPrintDialog::SetPageRequest(value);
  if (value && value != &ownRequest) ownRequest.Assign(value);
}

bool TppPrintDialog::eventFilter(QObject* watched, QEvent* e) {
  if (e->type() == QEvent::MouseButtonPress || e->type() == QEvent::FocusIn) {
    if (watched == edtPageRange && !initializing) rdbPages->setChecked(true);
  }
  if (e->type() == QEvent::MouseButtonPress) {
    if (watched == lblCollate) cbxCollate->toggle();
    if (watched == lblPrintToFile) cbxPrintToFile->toggle();
  }
  // Leaving the copies box rewrites it as the number it holds.
  if (e->type() == QEvent::FocusOut && watched == edtCopies) {
    int copies = 0;
    edtCopies->setText(QString::number(TryStrToInt(edtCopies->text().trimmed().toStdString(), copies) ? copies : 1));
  }
  return TppCustomPrintDialog::eventFilter(watched, e);
}

void TppPrintDialog::StepCopies(int step) {
  const std::string text = edtCopies->text().toStdString();
  if ((step < 0 && text == std::to_string(minCopies)) || (step > 0 && text == std::to_string(maxCopies))) return;
  int copies = 0;
  if (!TryStrToInt(Trim(text), copies)) copies = 1;
  edtCopies->setText(QString::number(std::clamp(copies + step, minCopies, maxCopies)));
}

void TppPrintDialog::LanguageChanged() {
  setWindowTitle(QString::fromStdString(ppLoadMessage(22)));
  SetCaption(lblPrinter, 25);
  SetCaption(lblPrinterName, 1010, ":");
  SetCaption(lblPrinterType, 1011, ":");
  SetCaption(lblPrintToFileType, 1011, ":");
  SetCaption(lblPrinterWhere, 1012, ":");
  SetCaption(lblPrintToFileWhere, 1012, ":");
  btnPrinterProperties->setText(QString::fromStdString(ppLoadMessage(1013)));
  SetCaption(lblPageRange, 19);
  rdbAll->setText(QString::fromStdString(ppLoadMessage(3)));
  rdbCurrentPage->setText(QString::fromStdString(ppLoadMessage(9)));
  rdbPages->setText(QString::fromStdString(ppLoadMessage(20)));
  for (QRadioButton* b : {rdbAll, rdbCurrentPage, rdbPages}) b->adjustSize();
  lblPageRangeDescription->setText(QString::fromStdString(TrimRight(ppLoadMessage(11))));
  SetCaption(lblCopies, 7);
  SetCaption(lblNumberOfCopies, 1014, ":");
  SetCaption(lblCollate, 1015);
  SetCaption(lblPrintWhat, 1016);
  {
    const bool was = initializing;
    initializing = true;
    cbxPrintWhat->clear();
    for (int n : {1017, 1018, 1019}) cbxPrintWhat->addItem(QString::fromStdString(ppLoadMessage(n)), n - 1017);
    cbxPrintWhat->setCurrentIndex(0);
    initializing = was;
  }
  SetCaption(lblPrintToFile, 26);
  btnOK->setText(QString::fromStdString(ppLoadMessage(17)));
  btnCancel->setText(QString::fromStdString(ppLoadMessage(5)));
  // The layout follows the texts: the description as high as its lines,
  // the frames below it, and the form grows by what they grew.
  const int gap = ppRound(ppMMThousandthsToUnits(descriptionGap, utScreenPixels, axVertical));
  const QRect wrapped = lblPageRangeDescription->fontMetrics().boundingRect(
      QRect(0, 0, lblPageRangeDescription->width(), 10000), Qt::TextWordWrap, lblPageRangeDescription->text());
  lblPageRangeDescription->resize(lblPageRangeDescription->width(), wrapped.height());
  lblPrintWhat->move(printWhatRight - lblPrintWhat->width(), lblPrintWhat->y());
  const int frameHeight = lblPageRangeDescription->y() + wrapped.height() + gap - bvlPageRange->y();
  const int delta = frameHeight - bvlPageRange->height();
  if (delta == 0) return;
  bvlPageRange->resize(bvlPageRange->width(), frameHeight);
  bvlCopies->resize(bvlCopies->width(), frameHeight);
  lblPrintWhat->move(lblPrintWhat->x(), lblPrintWhat->y() + delta);
  cbxPrintWhat->move(cbxPrintWhat->x(), cbxPrintWhat->y() + delta);
  pnlPrint->resize(pnlPrint->width(), pnlPrint->height() + delta);
  pnlPrintToFile->move(0, pnlPrintToFile->y() + delta);
  pnlBottom->move(0, pnlBottom->y() + delta);
  setFixedSize(width(), height() + delta);
}

void TppPrintDialog::Activated() {
  TppCustomPrintDialog::Activated();
  // Filled once: a message box shown over the dialog activates it again,
  // and refilling would lose the user's entries and shrink it twice.
  if (initialized || !Printer || !PageRequest()) return;
  initialized = true;
  initializing = true;
  FillPrinters();
  FillPageChoice();
  FillPrintToFile();
  initializing = false;
}

void TppPrintDialog::FillPrinters() {
  TppPrinterList& printers = ppPrinters();
  TStringList names;
  printers.PrinterNames(names);
  if (Printer && PrintersInstalled()) {
    cbxPrinters->clear();
    std::vector<std::string> sorted;
    for (int i = 0; i < names.Count(); ++i) sorted.push_back(names.Get(i));
    std::sort(sorted.begin(), sorted.end());
    for (const std::string& name : sorted) {
      const TppPrinterInfo* info = printers.FindPrinterInfo(name);
      const TppPrinterTypeImage kind = info && info->IsNetwork() ? ptiNetwork : ptiLocal;
      cbxPrinters->addItem(ppPrinterTypeIcon(kind), QString::fromStdString(name), static_cast<int>(kind));
    }
    cbxPrinters->setCurrentIndex(cbxPrinters->findText(QString::fromStdString(Printer->PrinterName())));
  } else {
    cbxPrinters->hide();
    btnPrinterProperties->hide();
    lblNoPrintersInstalled->setText(QString::fromStdString(ppLoadMessage(8)));
    lblNoPrintersInstalled->show();
  }
  UpdatePrinterLabels();
}

void TppPrintDialog::UpdatePrinterLabels() {
  const TppPrinterInfo* info = Printer ? ppPrinters().FindPrinterInfo(Printer->PrinterName()) : nullptr;
  lblPrinterTypeDesc->setText(info && info->Driver() ? QString::fromStdString(*info->Driver()) : QString());
  lblPrinterWhereDesc->setText(info && info->Port() ? QString::fromStdString(*info->Port()) : QString());
}

void TppPrintDialog::FillPageChoice() {
  TppPageRequest& request = *PageRequest();
  std::string separator;
  switch (request.PageSetting()) {
    case psPageList:
      rdbPages->setChecked(true);
      separator = ",";
      break;
    case psSinglePage: rdbCurrentPage->setChecked(true); break;
    case psPageRange:
      rdbPages->setChecked(true);
      separator = "-";
      break;
    default: rdbAll->setChecked(true); break;
  }
  if (rdbPages->isChecked()) {
    std::string text;
    for (int i = 0; i < request.PageList()->Count(); ++i)
      text += (i ? separator : "") + Trim(request.PageList()->Get(i));
    edtPageRange->setText(QString::fromStdString(text));
  }
  cbxPrintWhat->setCurrentIndex(request.PageRange());
  edtCopies->setText(QString::number(Printer->Copies()));
  cbxCollate->setChecked(Printer->Collation());
  UpdateCollation();
}

void TppPrintDialog::FillPrintToFile() {
  cbxPrintToFileTypes->clear();
  if (!AllowPrintToFile && !AllowPrintToArchive) {
    pnlPrintToFile->hide();
    pnlBottom->move(0, pnlPrintToFile->y());
    setFixedSize(width(), height() - pnlPrintToFile->height());
    return;
  }
  pnlPrintToFile->show();
  TStringList devices;
  ppGetDeviceNames(devices);
  for (int i = 0; i < devices.Count(); ++i) {
    const TClassInfo* deviceClass = ppGetDeviceClass(devices.Get(i));
    if (!deviceClass) continue;
    const bool archive = ppIsArchiveDeviceClass(*deviceClass);
    if ((AllowPrintToArchive && archive) || (AllowPrintToFile && !archive && ppIsFileDeviceClass(*deviceClass)))
      cbxPrintToFileTypes->addItem(QString::fromStdString(DeviceDescription(*deviceClass)),
                                   QVariant::fromValue(static_cast<const void*>(deviceClass)));
  }
  cbxPrintToFileTypes->setCurrentIndex(cbxPrintToFileTypes->count() > 0 ? 0 : -1);
  const TClassInfo* current = ppGetDeviceClass(DeviceType);
  if (current && ppIsFileDeviceClass(*current)) {
    for (int i = 0; i < cbxPrintToFileTypes->count(); ++i)
      if (cbxPrintToFileTypes->itemData(i).value<const void*>() == current) cbxPrintToFileTypes->setCurrentIndex(i);
    cbxPrintToFile->setChecked(true);
    SaveFileName = ppIsArchiveDeviceClass(*current) ? ArchiveFileName : TextFileName;
  }
  UpdatePrintToFileControls();
}

const TClassInfo* TppPrintDialog::SelectedDeviceClass() const {
  if (cbxPrintToFileTypes->currentIndex() < 0) return nullptr;
  return static_cast<const TClassInfo*>(cbxPrintToFileTypes->currentData().value<const void*>());
}

void TppPrintDialog::UpdatePrintToFileControls() {
  const bool on = cbxPrintToFile->isChecked();
  spbPrintToFile->setEnabled(on);
  cbxPrintToFileTypes->setEnabled(on);
  edtPrintToFileName->setEnabled(on);
  if (const TClassInfo* selected = SelectedDeviceClass())
    SaveFileName = ppIsArchiveDeviceClass(*selected) ? ArchiveFileName : TextFileName;
  edtPrintToFileName->setText(QString::fromStdString(SaveFileName));
}

void TppPrintDialog::FileNameTyped(const std::string& name) {
  SaveFileName = name;
  const TClassInfo* selected = SelectedDeviceClass();
  if (selected && ppIsArchiveDeviceClass(*selected))
    ArchiveFileName = name;
  else
    TextFileName = name;
}

void TppPrintDialog::UpdateCollation() { imgCollate->setPixmap(cbxCollate->isChecked() ? collated : uncollated); }

void TppPrintDialog::OKClick() {
  TppPageRequest* request = PageRequest();
  const bool toFilePossible = AllowPrintToFile || AllowPrintToArchive;
  if (rdbPages->isChecked()) {
    TStringList pages;
    if (!ppParsePageList(edtPageRange->text().toStdString(), pages, true) || pages.Count() == 0) {
      ShowMessageBox({.Text = ppLoadMessage(32), .Type = mtWarning});
      return;
    }
    if (request) {
      request->SetPageList(&pages);
      request->SetPageSetting(psPageList);
    }
  } else if (toFilePossible && cbxPrintToFile->isChecked() && Trim(SaveFileName).empty()) {
    ShowMessageBox({.Text = ppLoadMessage(33), .Type = mtWarning});
    return;
  }
  // Copies are 1 to 999: any other text is refused and the dialog stays.
  int copies = 0;
  if (!TryStrToInt(Trim(edtCopies->text().toStdString()), copies) || copies < minCopies || copies > maxCopies) {
    ShowMessageBox({.Text = Format("Number of copies must be between %d and %d.", {minCopies, maxCopies}),
                    .Type = mtWarning});
    edtCopies->setFocus();
    return;
  }
  if (request && rdbCurrentPage->isChecked()) {
    request->SetPageSetting(psSinglePage);
    request->SetPageRequested(CurrentPage);
  } else if (request && rdbAll->isChecked()) {
    request->SetPageSetting(psAll);
  }
  if (Printer) Printer->SetCopies(copies);
  PrintToArchive = PrintToFile = false;
  if (toFilePossible && cbxPrintToFile->isChecked()) {
    if (const TClassInfo* selected = SelectedDeviceClass()) {
      const std::string name = ppFileNameWithExtension(SaveFileName, ppFileDeviceExtension(*selected));
      FileNameTyped(name);
      DeviceType = DeviceNameOf(*selected);
      PrintToArchive = ppIsArchiveDeviceClass(*selected);
      PrintToFile = !PrintToArchive;
    }
  }
  if (!PrintToArchive && !PrintToFile) {
    const TppPrinterInfo* info = Printer ? ppPrinters().FindPrinterInfo(Printer->PrinterName()) : nullptr;
    if (!info || !info->Valid() || info->PrinterName() == ppNoPrinterName) {
      const bool installed = PrintersInstalled();
      ShowMessageBox({.Text = ppLoadMessage(installed || !Printer ? invalidPrinterMessage : 8), .Type = mtWarning});
      return;
    }
  }
  SetModalResult(ppmrOK);
}
