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
#include <string>
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

// The names that the tree and list show for a printer record.
std::string TreePrinterName(const PrinterInfo2& Printer, const std::string& ServerName);
std::string ListPrinterName(const PrinterInfo2& Printer, const std::string& ServerName);
// The tree's image of a printer: the static one, or the base of its
// animation when its queue holds jobs.
int PrinterImageIndex(const TPrinterRecord& Record, bool Busy, int AnimationFrame);

class TOrvelle_MainForm : public QMainWindow {
public:
  // FormCreate.
  explicit TOrvelle_MainForm(QWidget* Parent = nullptr);
  // FormDestroy: settings written, tray icon deleted.
  ~TOrvelle_MainForm() override;

  // Runs once; every exit path calls it.
  void ShutdownMonitoring();
  bool ShuttingDown() const { return shuttingDown; }
  void UpdateCaption();
  // 0 adds, 1 modifies, 2 deletes the notification-area icon.
  void TrayIcon(int Operation);

  // Discovery and the watch threads' callbacks.
  void StartEnumeration(const std::string& ServerName);
  bool OnServerFound(TThreadEnumerateRemote* Sender, const std::string& ServerName, int32_t PrinterCount,
                     const std::vector<PrinterInfo2>& Buffer);
  void OnPrinterFound(TThreadEnumerateRemote* Sender, const std::string& ServerName, const PrinterInfo2& Printer);
  void StartPrinterWatch(TThreadServer& Server, const PrinterInfo2& Printer);
  void OnServerChanged(TThreadCustom* Sender);
  void OnPrinterJobsChanged(TThreadCustom* Sender);
  bool IsMonitored(const std::string& Name) const;

  // Handlers.
  void Timer1Timer();
  void AnimationTimerTimer();
  void AddServer1Click();
  void DeleteServer1Click();
  void DeletePrinter1Click();
  void Default1Click();
  void btnPreviewClick();
  void PopupMenu1Popup();
  void Restore1Click();
  void Close1Click();
  void About1Click();
  // F5, a changed default printer or device mode.
  void SettingsChanged();

  // The parts tests and the program reach.
  QTabWidget* PageControl1;
  QWidget* TabSheet1;
  QWidget* TabSheet4;
  QWidget* TabSheet2;
  TVirtualStringTree* Tree;
  QSplitter* Splitter1;
  TVirtualStringTree* TreeList;
  QTreeWidget* lvAlerts;
  TJobsPage* JobsPage;
  QLabel* StatusPanels[3];
  TTimer Timer1;
  TTimer AnimationTimer;
  QMenu* PopupMenu1;
  QMenu* pop2;
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
  const TPrinterRecord* TreeRecord(PVirtualNode Node) const;
  // The tree node of a server or printer (by the spooler's name); null
  // when none.
  PVirtualNode FindServerNode(const std::string& ServerName);
  PVirtualNode FindPrinterNode(const std::string& PrinterName);
  int AnimationFrame() const { return animationFrame; }
  const std::string& ShownServer() const { return shownServer; }
  const std::string& ShownPrinter() const { return shownPrinter; }

protected:
  void closeEvent(QCloseEvent* Event) override;
  void keyReleaseEvent(QKeyEvent* Event) override;
  void resizeEvent(QResizeEvent* Event) override;

private:
  void CreateComponents();
  void CreateMenus();
  void CreateImages();
  void ReadSettings();
  void WriteSettings();
  void ShowStatus(const std::string& Text);
  void LayoutStatusBar();
  void HandleException(TThreadCustom* Sender, Exception& E);

  // The tree's and the list's events.
  void TreeGetText(PVirtualNode Node, std::string& Text);
  void TreeGetImageIndex(PVirtualNode Node, int& Index);
  void TreeChange(PVirtualNode Node);
  void TreeCollapsed(PVirtualNode Node);
  void TreeStructureChange(PVirtualNode Node);
  void TreeListGetText(PVirtualNode Node, int Column, std::string& Text);
  void TreeListColumnResize(int Column);

  // The list.
  void SwitchListView(TListView View);
  void ShowServerPrinters(const std::string& ServerName);
  void FillJobs(const std::string& PrinterName);
  void ClearList();
  void FocusNode(PVirtualNode Node);
  // Posted by the watch threads.
  void PrinterJobsChanged(const std::string& PrinterName);
  void ServerRefreshed(const std::string& ServerName);
  // A server's new printer list: the printers whose watches end (gone from
  // the list or excluded), and the update of the watches that stay and the
  // start of the new ones. On the main thread.
  std::vector<std::string> LeavingPrinters(TThreadServer& Server, const std::vector<PrinterInfo2>& Printers) const;
  void ApplyServerPrinters(TThreadServer& Server, const std::vector<PrinterInfo2>& Printers, bool Reread);
  std::string ServerOfNode(PVirtualNode Node) const;

  std::unique_ptr<TImageList> ImageList1;
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
  std::vector<QueueJob> listJobs;

  TGuiLife<TOrvelle_MainForm> life{this};
};

// A new alert of E's severity class (any class not an alert's: serious).
std::unique_ptr<Exception> AlertCopy(const Exception& E);
// Runs a handler; an exception becomes an alert, as the application's
// exception event makes it.
void Guarded(const std::function<void()>& Handler);

// Restructures of the jobs table are notes, its losses warnings.
void AlertJobsDatabase(const std::string& Text, bool Loss);

// The program's main window while it exists.
TOrvelle_MainForm* MainForm();
