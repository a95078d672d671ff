#include "Main.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "About.h"
#include "AppImages.h"
#include "AppMonitor.h"
#include "MainAlerts.h"
#include "MainJobs.h"
#include "JobsTable.h"
#include "MainTreeOwner.h"
#include "ReportRun.h"
#include "VirtualStringTree.h"
#include "osApc.h"
#include "osDispatcher.h"
#include "rtlFormat.h"
#include "rtlStrUtils.h"
#include "uiColumnFit.h"
#include "uiApplication.h"
#include "uiDialogs.h"
#include "uiImageList.h"

namespace {

TOrvelle_MainForm* mainForm = nullptr;

constexpr int StatusPanelWidths[3] = {90, 280, 50};
constexpr int SplitterWidth = 3;
constexpr int DefaultWidth = 820;
constexpr int DefaultHeight = 396;
constexpr int DefaultTreeWidth = 200;
constexpr int TreeNodeHeight = 32;

}  // namespace

TOrvelle_MainForm* MainForm() { return mainForm; }

std::unique_ptr<Exception> AlertCopy(const Exception& e) {
  // The most derived severity class first.
  if (dynamic_cast<const EAlertCritical*>(&e)) return std::make_unique<EAlertCritical>(e.Message);
  if (dynamic_cast<const EAlertSerious*>(&e)) return std::make_unique<EAlertSerious>(e.Message);
  if (dynamic_cast<const EAlertWarning*>(&e)) return std::make_unique<EAlertWarning>(e.Message);
  if (dynamic_cast<const EAlertInfo*>(&e)) return std::make_unique<EAlertInfo>(e.Message);
  if (dynamic_cast<const EAlertException*>(&e)) return std::make_unique<EAlertFailure>(e.Message);
  return std::make_unique<EAlertSerious>(e.Message);
}

void Guarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const Exception& e) {
    GetAlerter()->Add(AlertCopy(e));
  } catch (const std::exception& e) {
    GetAlerter()->Add(std::make_unique<EAlertSerious>(e.what()));
  }
}

void AlertJobsDatabase(const std::string& text, bool loss) {
  if (loss)
    GetAlerter()->Add(std::make_unique<EAlertWarning>(text));
  else
    GetAlerter()->Add(std::make_unique<ERestructure>(text));
}

TOrvelle_MainForm::TOrvelle_MainForm(QWidget* owner)
    : QMainWindow(owner), formatSettings(NeutralFormatSettings()) {
  mainForm = this;
  for (int i = 0; i < 7; ++i)
    treeColumnWidths[i] = FitColumnWidth(font(), PrinterColumnDefaults[i], {QString(PrinterColumnTitles[i])});
  for (int i = 0; i < 6; ++i)
    treeListColumnWidths[i] = FitColumnWidth(font(), JobColumnDefaults[i], {QString(JobColumnTitles[i])});
  setObjectName("TOrvelle_MainForm");
  setWindowTitle("Orvelle");
  resize(DefaultWidth, DefaultHeight);
  CreateComponents();
  CreateMenus();
  CreateImages();

  // Exceptions that reach the application become alerts; a thread's own
  // exception stays the thread's, so an alert of its severity is made anew.
  SetApplicationExceptionHandler(
      [](TBaseThread* origin, Exception& e) { GetAlerter()->AddFromThread(AlertCopy(e), origin, {}); });

  JobsPage->Bind();
  pages->setCurrentIndex(0);
  alertView = std::make_unique<TAlertListView>(lvAlerts);
  GetAlerter()->BindListView(alertView.get());
  defaultPrinterName = GetDefaultPrinter();
  ReadSettings();

  startTimer.SetInterval(FirstTickInterval);
  startTimer.OnTimer = [this] { Guarded([this] { StartTimerTick(); }); };
  AnimationTimer.SetInterval(AnimationInterval);
  AnimationTimer.OnTimer = [this] { AnimationTimerTimer(); };
  AnimationTimer.SetEnabled(true);

  TrayIcon(TTrayChange::Add);
  SetQueuedStatusHandler([this](const std::string& text) { StatusPanels[0]->setText(QString::fromStdString(text)); });
  GetDataThread();
  startTimer.SetEnabled(true);
}

TOrvelle_MainForm::~TOrvelle_MainForm() {
  // What an exit path missed: no watch thread may outlive the window.
  ShutdownMonitoring();
  GetAlerter()->BindListView(nullptr);
  WriteSettings();
  TrayIcon(TTrayChange::Remove);
  SetApplicationExceptionHandler(nullptr);
  SetScanWaitForm({});
  SetQueuedStatusHandler(nullptr);
  if (mainForm == this) mainForm = nullptr;
}

void TOrvelle_MainForm::CreateComponents() {
  pages = new QTabWidget(this);
  setCentralWidget(pages);

  printersPage = new QWidget;
  auto* printersLayout = new QHBoxLayout(printersPage);
  printersLayout->setContentsMargins(0, 0, 0, 0);
  treeSplitter = new QSplitter(Qt::Horizontal, printersPage);
  treeSplitter->setHandleWidth(SplitterWidth);
  Tree = new TVirtualStringTree(treeSplitter);
  Tree->setObjectName("Tree");
  Tree->SetDefaultNodeHeight(TreeNodeHeight);
  TVirtualTreeOptions treeOptions = Tree->Options();
  treeOptions.Include(voCheckSupport);
  // The menu then acts on the printer clicked, not on the one focused before.
  treeOptions.Include(voRightClickSelect);
  Tree->SetOptions(treeOptions);
  TreeList = new TVirtualStringTree(treeSplitter);
  TreeList->setObjectName("TreeList");
  TVirtualTreeOptions listOptions = TreeList->Options();
  listOptions.Include(voFullRowSelect);
  listOptions.Exclude(voShowRoot);
  listOptions.Exclude(voShowTreeLines);
  TreeList->SetOptions(listOptions);
  TVTHeaderOptions headerOptions = TreeList->Header().Options();
  headerOptions.Include(hoVisible);
  TreeList->Header().SetOptions(headerOptions);
  treeSplitter->addWidget(Tree);
  treeSplitter->addWidget(TreeList);
  treeSplitter->setStretchFactor(1, 1);
  printersLayout->addWidget(treeSplitter);
  pages->addTab(printersPage, tr("Printers"));

  JobsPage = new TJobsPage;
  pages->addTab(JobsPage, tr("Print Activity"));
  connect(JobsPage->btnPreview, &QPushButton::clicked, this, [this] { btnPreviewClick(); });

  alertsPage = new QWidget;
  auto* alertsLayout = new QVBoxLayout(alertsPage);
  lvAlerts = new QTreeWidget;
  lvAlerts->setObjectName("lvAlerts");
  lvAlerts->setRootIsDecorated(false);
  lvAlerts->setSelectionBehavior(QAbstractItemView::SelectRows);
  const QStringList alertTitles = {tr("Date-time"), tr("Type"), tr("Alert Detail"), tr("Alert Help")};
  lvAlerts->setHeaderLabels(alertTitles);
  // A time stamp and the longest severity word fit whole.
  const QString alertSamples[4] = {QStringLiteral("12/31/2026 23:59:59"), QString(AlertSeverityWords[3]), QString(),
                                   QString()};
  for (int i = 0; i < 4; ++i)
    lvAlerts->setColumnWidth(i, FitColumnWidth(lvAlerts->font(), AlertColumnDefaults[i], {alertTitles[i], alertSamples[i]}));
  alertsLayout->addWidget(lvAlerts);
  pages->addTab(alertsPage, tr("Alerts"));

  for (int i = 0; i < 3; ++i) {
    StatusPanels[i] = new QLabel;
    StatusPanels[i]->setFixedWidth(StatusPanelWidths[i]);
    statusBar()->addWidget(StatusPanels[i]);
  }
  StatusPanels[0]->setAlignment(Qt::AlignCenter);

  // The tree's events.
  nodeOwner = std::make_shared<TTreeNodeOwner>(*Tree);
  Tree->OnFreeNode = [this](TBaseVirtualTree*, PVirtualNode node) { treeRecords.erase(node); };
  Tree->OnInitNode = [](TBaseVirtualTree*, PVirtualNode parentNode, PVirtualNode node,
                            TVirtualNodeInitStates& states) {
    // Servers open, so their printers show as they are found.
    if (!parentNode) states.Include(ivsHasChildren).Include(ivsExpanded);
  };
  Tree->OnGetText = [this](TBaseVirtualTree*, PVirtualNode node, int, TVSTTextType, std::string& text) {
    TreeGetText(node, text);
  };
  Tree->OnGetImageIndex = [this](TBaseVirtualTree*, PVirtualNode node, TVTImageKind kind, int, int& index) {
    if (kind == ikNormal || kind == ikSelected) TreeGetImageIndex(node, index);
  };
  Tree->OnGetDrawInfo = [this](TBaseVirtualTree*, PVirtualNode node, int, TVSTTextType, TDrawInfo& info) {
    const TPrinterRecord* record = TreeRecord(node);
    if (record && record->IsDefault) info.Font.SetStyle(info.Font.Style() | fsBold);
  };
  // The boxes only show that a printer's jobs are recorded: no user
  // changes them.
  Tree->OnChecking = [this](TBaseVirtualTree*, PVirtualNode, TCheckState&, bool& allowed) { allowed = markingRecorded; };
  Tree->OnFocusChanged = [this](TBaseVirtualTree*, PVirtualNode node, int) { TreeChange(node); };
  Tree->OnCollapsed = [this](TBaseVirtualTree*, PVirtualNode node) { TreeCollapsed(node); };
  Tree->OnStructureChange = [this](TBaseVirtualTree*, PVirtualNode node) { TreeStructureChange(node); };

  TreeList->OnGetText = [this](TBaseVirtualTree*, PVirtualNode node, int column, TVSTTextType, std::string& text) {
    TreeListGetText(node, column, text);
  };
  TreeList->OnGetDrawInfo = [this](TBaseVirtualTree*, PVirtualNode node, int, TVSTTextType, TDrawInfo& info) {
    if (listView == TListView::Printers && node->Index < listPrinters.size() && listPrinters[node->Index].IsDefault)
      info.Font.SetStyle(info.Font.Style() | fsBold);
  };
  TreeList->OnColumnResize = [this](TBaseVirtualTree*, int column) { TreeListColumnResize(column); };
}

void TOrvelle_MainForm::CreateMenus() {
  QMenu* action = menuBar()->addMenu(tr("&Action"));
  AddServer1 = action->addAction(tr("&Add Server..."), this, [this] { Guarded([this] { AddServer1Click(); }); });
  DeleteServer1 = action->addAction(tr("&Delete Server"), this, [this] { Guarded([this] { DeleteServer1Click(); }); });
  DeletePrinter1 = action->addAction(tr("Delete &Printer"), this, [this] { Guarded([this] { DeletePrinter1Click(); }); });
  Default1 = action->addAction(tr("&Set As Default Printer"), this, [this] { Guarded([this] { Default1Click(); }); });
  action->addSeparator();
  EmptyDatabase1 = action->addAction(tr("&Empty Database"), this, [this] { Guarded([this] { JobsPage->btnEmptyClick(); }); });
  Preview1 = action->addAction(tr("Pre&view and Print"), this, [this] { btnPreviewClick(); });
  action->addSeparator();
  Exit1 = action->addAction(tr("E&xit"), this, [this] { Close1Click(); });
  connect(action, &QMenu::aboutToShow, this, [this] { TreeMenuPopup(); });
  QMenu* help = menuBar()->addMenu(tr("&Help"));
  About1 = help->addAction(tr("&About..."), this, [this] { About1Click(); });

  treeMenu = new QMenu(this);
  popAddServer = treeMenu->addAction(tr("Add Server..."), this, [this] { Guarded([this] { AddServer1Click(); }); });
  popDeleteServer = treeMenu->addAction(tr("Delete Server"), this, [this] { Guarded([this] { DeleteServer1Click(); }); });
  popDeletePrinter = treeMenu->addAction(tr("Delete Printer"), this, [this] { Guarded([this] { DeletePrinter1Click(); }); });
  popDefault = treeMenu->addAction(tr("Set As Default Printer"), this, [this] { Guarded([this] { Default1Click(); }); });
  connect(treeMenu, &QMenu::aboutToShow, this, [this] { TreeMenuPopup(); });
  Tree->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(Tree, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { treeMenu->popup(Tree->mapToGlobal(at)); });

  trayMenu = new QMenu(this);
  Restore1 = trayMenu->addAction(tr("&Show"), this, [this] { Restore1Click(); });
  Close1 = trayMenu->addAction(tr("&Close"), this, [this] { Close1Click(); });
}

void TOrvelle_MainForm::CreateImages() {
  setWindowIcon(ProgramIcon());
  treeImages = TreeImages(ImageSize, AnimationFrames);
  Tree->SetImages(treeImages.get());
}

void TOrvelle_MainForm::ReadSettings() {
  TMorvaneRegistry registry;
  int formLeft = x(), formTop = y(), formWidth = DefaultWidth, formHeight = DefaultHeight;
  int treeWidth = DefaultTreeWidth;
  if (registry.OpenKeyReadOnly(GetSettingsKey())) {
    formWidth = registry.ReadIntegerDef("Width", formWidth);
    formHeight = registry.ReadIntegerDef("Height", formHeight);
    formTop = registry.ReadIntegerDef("Top", formTop);
    formLeft = registry.ReadIntegerDef("Left", formLeft);
    treeWidth = registry.ReadIntegerDef("TreeWidth", treeWidth);
    SetHintPause(registry.ReadIntegerDef("HintDelay", HintPause()));
    fullScanOnStart = registry.ReadIntegerDef("FullScanOnStart", 0) == 1;
    for (int i = 0; i < 7; ++i) treeColumnWidths[i] = registry.ReadIntegerDef(Format("TreeColumn%d", {i}), treeColumnWidths[i]);
    for (int i = 0; i < 6; ++i)
      treeListColumnWidths[i] = registry.ReadIntegerDef(Format("TreeListColumn%d", {i}), treeListColumnWidths[i]);
    for (int i = 0; i < lvAlerts->columnCount(); ++i)
      lvAlerts->setColumnWidth(i, registry.ReadIntegerDef(Format("%s%d", {"AlertsColumn", i}), lvAlerts->columnWidth(i)));
    JobsPage->ReadSettings(registry);
  }
  setGeometry(formLeft, formTop, formWidth, formHeight);
  treeSplitter->setSizes({treeWidth, std::max(formWidth - treeWidth - SplitterWidth, 1)});
}

void TOrvelle_MainForm::WriteSettings() {
  TMorvaneRegistry registry;
  try {
    if (!registry.OpenKey(GetSettingsKey(), true)) return;
    const QRect bounds = normalGeometry().isValid() ? normalGeometry() : geometry();
    registry.WriteInteger("Left", bounds.x());
    registry.WriteInteger("Top", bounds.y());
    registry.WriteInteger("Width", bounds.width());
    registry.WriteInteger("Height", bounds.height());
    registry.WriteInteger("TreeWidth", treeSplitter->sizes().value(0, DefaultTreeWidth));
    registry.WriteInteger("HintDelay", HintPause());
    registry.WriteInteger("FullScanOnStart", fullScanOnStart ? 1 : 0);
    for (int i = 0; i < 7; ++i) registry.WriteInteger(Format("TreeColumn%d", {i}), treeColumnWidths[i]);
    for (int i = 0; i < 6; ++i) registry.WriteInteger(Format("TreeListColumn%d", {i}), treeListColumnWidths[i]);
    for (int i = 0; i < lvAlerts->columnCount(); ++i)
      registry.WriteInteger(Format("%s%d", {"AlertsColumn", i}), lvAlerts->columnWidth(i));
    JobsPage->WriteSettings(registry);
    registry.WriteString("DataPath", DataPath);
  } catch (const Exception& e) {
    // The window is going; the alert goes to the log the alerter writes last.
    GetAlerter()->Add(std::make_unique<EAlertFailure>(e.Message));
  }
}

void TOrvelle_MainForm::ShowStatus(const std::string& text) {
  StatusPanels[1]->setText(QString::fromStdString(text));
  startTimer.SetEnabled(true);
}

void TOrvelle_MainForm::LayoutStatusBar() {
  if (shuttingDown) return;
  StatusPanels[1]->setFixedWidth(std::max(statusBar()->width() - StatusPanels[0]->width() - StatusPanels[2]->width(), 0));
}

void TOrvelle_MainForm::resizeEvent(QResizeEvent* resizing) {
  QMainWindow::resizeEvent(resizing);
  LayoutStatusBar();
}

void TOrvelle_MainForm::StartTimerTick() {
  if (firstTick) {
    firstTick = false;
    startTimer.SetEnabled(false);
    startTimer.SetInterval(StatusTickInterval);
    StartEnumeration(fullScanOnStart ? std::string() : GetComputerUNCName());
    return;
  }
  StatusPanels[1]->clear();
  startTimer.SetEnabled(false);
}

void TOrvelle_MainForm::AnimationTimerTimer() {
  animationFrame = (animationFrame + 1) % AnimationFrames;
  Tree->Viewport()->update();
  const std::string clock = " " + FormatNowStyle(1, formatSettings);
  if (!SameText(clock, StatusPanels[2]->text().toStdString())) {
    StatusPanels[2]->setText(QString::fromStdString(clock));
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    StatusPanels[2]->setFixedWidth(StatusPanels[2]->fontMetrics().horizontalAdvance(StatusPanels[2]->text()) + 6 +
                                   scrollBar);
    LayoutStatusBar();
  }
}

void TOrvelle_MainForm::btnPreviewClick() {
  Guarded([this] { PreviewAndPrint(this); });
}

void TOrvelle_MainForm::TreeMenuPopup() {
  PVirtualNode focused = Tree->FocusedNode();
  const TPrinterRecord* record = TreeRecord(focused);
  const bool printer = record && !record->Key.empty();
  popDefault->setEnabled(printer && !record->IsDefault);
  popDeletePrinter->setEnabled(printer);
  Default1->setEnabled(popDefault->isEnabled());
  DeletePrinter1->setEnabled(popDeletePrinter->isEnabled());
  DeleteServer1->setEnabled(!shownServer.empty());
}

std::function<bool()> TOrvelle_MainForm::SystemTrayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };

void TOrvelle_MainForm::TrayIcon(TTrayChange change) {
  switch (change) {
    case TTrayChange::Add:
      if (!SystemTrayAvailable() || tray) return;
      tray = new QSystemTrayIcon(windowIcon(), this);
      tray->setToolTip("Orvelle");
      tray->setContextMenu(trayMenu);
      connect(tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick) Restore1Click();
      });
      tray->show();
      break;
    case TTrayChange::Update:
      if (tray) {
        tray->setIcon(windowIcon());
        tray->setToolTip("Orvelle");
      }
      break;
    case TTrayChange::Remove:
      delete tray;
      tray = nullptr;
  }
}

void TOrvelle_MainForm::Restore1Click() {
  showNormal();
  raise();
  activateWindow();
}

void TOrvelle_MainForm::Close1Click() {
  ShutdownMonitoring();
  QApplication::quit();
}

void TOrvelle_MainForm::About1Click() {
  if (!AboutBox) AboutBox = std::make_unique<TAboutBox>(this);
  AboutBox->exec();
}

void TOrvelle_MainForm::closeEvent(QCloseEvent* closing) {
  // Closing a visible window only hides it while the tray icon can bring it
  // back. Without a tray nothing could: closing then ends the program, after
  // the orderly shutdown, as closing it hidden does.
  if (isVisible() && tray && !shuttingDown) {
    closing->ignore();
    hide();
    return;
  }
  ShutdownMonitoring();
  closing->accept();
  QApplication::quit();
}

void TOrvelle_MainForm::keyReleaseEvent(QKeyEvent* released) {
  if (released->key() == Qt::Key_F5) SettingsChanged();
  QMainWindow::keyReleaseEvent(released);
}

void TOrvelle_MainForm::SettingsChanged() {
  defaultPrinterName = GetDefaultPrinter();
  ServerList().WakeAll();
}

void TOrvelle_MainForm::ShutdownMonitoring() {
  if (shuttingDown) return;
  shuttingDown = true;
  startTimer.SetEnabled(false);
  AnimationTimer.SetEnabled(false);
  ProcessMessages();
  if (isMinimized()) Restore1Click();

  const int32_t total = RunningThreads().GetValue();
  if (total <= 0) return;
  ShowWaitForm(this, "Terminating running threads ...", total, nullptr);
  SignalAppTerminate();
  ServerList().WakeAll();
  int32_t running = total;
  // Every wait here serves the dispatcher, so a worker blocked in a
  // synchronous call to the main thread finishes and can end.
  while (running > 0) {
    if (const int32_t count = RunningThreads().GetValueTimeout(100); count >= 0) running = count;
    StepWaitForm(total - running);
    MainDispatcher().ProcessPending();
    SleepEx(1, false);
  }
  StepWaitForm(total);
  CloseWaitForm();
  // What the ended threads handed to the main thread: their nodes.
  ProcessMessages();
}
