#pragma once
// The main window: three pages (the servers-and-printers tree with its live
// list, the recorded jobs, the alerts), the status bar, the timers, the
// menus, the notification-area icon, the settings and the orderly shutdown
// of the monitoring.
//
// Threading: every member runs on the GUI thread. The watch threads' change
// callbacks run in those threads and only post to the GUI thread (through
// the form's liveness token) or make a synchronous call to it; what they
// post names servers and printers by name, and the GUI side looks the
// thread and the node up again, so a late call after a thread or node went
// does nothing.

#include <QMainWindow>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "Queue.h"
#include "rtlFormatSettings.h"
#include "splTypes.h"
#include "uiPostToGui.h"
#include "uiTimer.h"

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QPushButton;
class QSplitter;
class QSystemTrayIcon;
class QTabWidget;
class QTreeWidget;
class TAboutBox;
class TAlertListView;
class TBaseVirtualTree;
class TImageList;
class TJobsPage;
class TThreadCustom;
class TThreadEnumerateRemote;
class TThreadJobs;
class TThreadServer;
class TTreeNodeOwner;
class TVirtualStringTree;
class Exception;

// The tree's node record; the window keeps pointers only.
struct TVirtualNode;
using PVirtualNode = TVirtualNode*;

// The printer record of a node of the tree and of a row of the list's
// printer view.
struct TPrinterRecord {
  std::string Name;        // as shown
  std::string ServerText;  // server nodes: the server's name
  std::string Key;         // printer nodes: the spooler's printer name
  std::string Port;
  std::string Model;
  std::string Location;
  std::string Comment;
  uint32_t Status = 0;
  uint32_t Jobs = 0;
  uint32_t PagesPerMinute = 0;
  uint32_t Attributes = 0;
  bool IsDefault = false;
  bool IsLocal = false;
  bool IsShared = false;
};

// The list shows the printers of a server or the jobs of a printer.
enum class TListView { None, Printers, Jobs };

// Column widths of the views of the list, with their defaults.
inline constexpr int PrinterColumnDefaults[7] = {130, 85, 120, 130, 75, 75, 75};
inline constexpr int JobColumnDefaults[6] = {141, 112, 73, 79, 104, 120};
inline constexpr int AlertColumnDefaults[4] = {100, 75, 160, 110};

// Timer intervals (ms).
inline constexpr int FirstTickInterval = 150;
inline constexpr int StatusTickInterval = 500;
inline constexpr int AnimationInterval = 250;
inline constexpr int AnimationFrames = 5;
// The tree's images are this many pixels square.
inline constexpr int ImageSize = 32;

// The names that the tree and list show for a printer record.
std::string TreePrinterName(const PrinterInfo2& printer, const std::string& serverName);
std::string ListPrinterName(const PrinterInfo2& printer, const std::string& serverName);
// The tree's image of a printer: the static one, or the base of its
// animation when its queue holds jobs.
int PrinterImageIndex(const TPrinterRecord& record, bool busy, int animationFrame);

class TOrvelle_MainForm : public QMainWindow {
public:
  // FormCreate.
  explicit TOrvelle_MainForm(QWidget* owner = nullptr);
  // FormDestroy: settings written, tray icon deleted.
  ~TOrvelle_MainForm() override;

  // Runs once; every exit path calls it.
  void ShutdownMonitoring();
  bool ShuttingDown() const { return shuttingDown; }
  void UpdateCaption();
  // The notification-area icon: added where the desktop has a tray,
  // updated, removed.
  enum class TTrayChange { Add, Update, Remove };
  void TrayIcon(TTrayChange change);
  // Whether the desktop offers a tray; tests replace it.
  static std::function<bool()> SystemTrayAvailable;

  // Discovery and the watch threads' callbacks.
  // A server the user adds is told on screen when it cannot be listed; the
  // start's own listing only raises the alert.
  enum class TListingFailure { AlertOnly, AlsoOnScreen };
  void StartEnumeration(const std::string& serverName, TListingFailure failure = TListingFailure::AlertOnly);
  bool OnServerFound(TThreadEnumerateRemote* enumerator, const std::string& serverName, int32_t printerCount,
                     const std::vector<PrinterInfo2>& buffer);
  void OnPrinterFound(TThreadEnumerateRemote* enumerator, const std::string& serverName, const PrinterInfo2& printer);
  void StartPrinterWatch(TThreadServer& server, const PrinterInfo2& printer);
  void OnServerChanged(TThreadCustom* serverThread);
  void OnPrinterJobsChanged(TThreadCustom* printerThread);
  bool IsMonitored(const std::string& name) const;

  // Handlers.
  void StartTimerTick();
  void AnimationTimerTimer();
  void AddServer1Click();
  void DeleteServer1Click();
  void DeletePrinter1Click();
  void Default1Click();
  void btnPreviewClick();
  void TreeMenuPopup();
  void Restore1Click();
  void Close1Click();
  void About1Click();
  // F5, a changed default printer or device mode.
  void SettingsChanged();

  // The parts tests and the program reach.
  QTabWidget* pages;
  QWidget* printersPage;
  QWidget* alertsPage;
  TVirtualStringTree* Tree;
  QSplitter* treeSplitter;
  TVirtualStringTree* TreeList;
  QTreeWidget* lvAlerts;
  TJobsPage* JobsPage;
  QLabel* StatusPanels[3];
  TTimer startTimer;
  TTimer AnimationTimer;
  QMenu* treeMenu;
  QMenu* trayMenu;
  QAction* AddServer1;
  QAction* DeleteServer1;
  QAction* DeletePrinter1;
  QAction* Default1;
  QAction* EmptyDatabase1;
  QAction* Preview1;
  QAction* Exit1;
  QAction* About1;
  QAction* popAddServer;
  QAction* popDeleteServer;
  QAction* popDeletePrinter;
  QAction* popDefault;
  QAction* Restore1;
  QAction* Close1;

  TListView ListView() const { return listView; }
  const std::string& DefaultPrinterName() const { return defaultPrinterName; }
  // The record of a tree node; null for an unknown node.
  const TPrinterRecord* TreeRecord(PVirtualNode node) const;
  // The tree node of a server or printer (by the spooler's name); null
  // when none.
  PVirtualNode FindServerNode(const std::string& serverName);
  PVirtualNode FindPrinterNode(const std::string& printerName);

protected:
  void closeEvent(QCloseEvent* closing) override;
  void keyReleaseEvent(QKeyEvent* released) override;
  void resizeEvent(QResizeEvent* resizing) override;

private:
  void CreateComponents();
  void CreateMenus();
  void CreateImages();
  void ReadSettings();
  void WriteSettings();
  void ShowStatus(const std::string& text);
  void LayoutStatusBar();

  // The tree's and the list's events.
  void TreeGetText(PVirtualNode node, std::string& text);
  void TreeGetImageIndex(PVirtualNode node, int& index);
  void TreeChange(PVirtualNode node);
  void TreeCollapsed(PVirtualNode node);
  void TreeStructureChange(PVirtualNode node);
  void TreeListGetText(PVirtualNode node, int column, std::string& text);
  void TreeListColumnResize(int column);

  // The list.
  void SwitchListView(TListView view);
  void ShowServerPrinters(const std::string& serverName);
  void FillJobs(const std::string& printerName);
  void ClearList();
  void IndexListPrinters();
  void FocusNode(PVirtualNode node);
  // Posted by the watch threads.
  // Status and JobCount: the printer's as its watch has them.
  void PrinterJobsChanged(const std::string& printerName, uint32_t status, uint32_t jobCount);
  void ServerRefreshed(const std::string& serverName);
  // A server's new printer list: the printers whose watches end (gone from
  // the list or excluded), and the update of the watches that stay and the
  // start of the new ones. On the main thread.
  std::vector<std::string> LeavingPrinters(TThreadServer& server, const std::vector<PrinterInfo2>& printers) const;
  void ApplyServerPrinters(TThreadServer& server, const std::vector<PrinterInfo2>& printers, bool reread);
  std::string ServerOfNode(PVirtualNode node) const;

  std::unique_ptr<TImageList> treeImages;
  std::unique_ptr<TAlertListView> alertView;
  std::unique_ptr<TAboutBox> AboutBox;
  QSystemTrayIcon* tray = nullptr;
  std::shared_ptr<TTreeNodeOwner> nodeOwner;

  bool shuttingDown = false;
  // Set while the program checks a printer's box.
  bool markingRecorded = false;
  bool firstTick = true;
  int animationFrame = 0;
  std::string defaultPrinterName;
  std::string shownServer;
  std::string shownPrinter;
  std::string rememberedPrinter;
  TListView listView = TListView::None;
  int treeColumnWidths[7];
  int treeListColumnWidths[6];
  bool fullScanOnStart = false;
  TFormatSettings formatSettings;

  std::map<PVirtualNode, TPrinterRecord> treeRecords;
  std::vector<TPrinterRecord> listPrinters;
  // Rows of listPrinters by Key: a printer's change updates its row alone.
  std::unordered_map<std::string, size_t> listPrinterRows;
  std::vector<QueueJob> listJobs;

  // Servers whose refresh is posted and has not run yet: a burst of job
  // changes refills a server's printer list once, not once per change.
  std::mutex refreshLock;
  std::set<std::string> refreshPending;

  TGuiLife<TOrvelle_MainForm> life{this};
};

// A new alert of e's severity class (any class not an alert's: serious).
std::unique_ptr<Exception> AlertCopy(const Exception& e);
// Runs a handler; an exception becomes an alert, as the application's
// exception event makes it.
void Guarded(const std::function<void()>& handler);

// Restructures of the jobs table are notes, its losses warnings.
void AlertJobsDatabase(const std::string& text, bool loss);

// The program's main window while it exists.
TOrvelle_MainForm* MainForm();
