// The servers-and-printers tree and the live list: discovery, the watch
// threads' callbacks, the views of the list, adding and deleting servers
// and printers.

#include <QTabWidget>
#include <algorithm>
#include <unordered_map>

#include "Main.h"
#include "AppMonitor.h"
#include "MainTreeOwner.h"
#include "VirtualStringTree.h"
#include "osApc.h"
#include "osDispatcher.h"
#include "osErrors.h"
#include "osSyncTicks.h"
#include "osSyncWait.h"
#include "osThreadContext.h"
#include "rtlAssert.h"
#include "rtlFormat.h"
#include "rtlStrUtils.h"
#include "splConstants.h"
#include "uiDialogs.h"

namespace {

TThreadServer* FindServer(const std::string& name) { return static_cast<TThreadServer*>(ServerList().FindByName(name)); }

TPrinterRecord PrinterRecordOf(const PrinterInfo2& printer, const std::string& name, const std::string& defaultName) {
  TPrinterRecord record;
  record.Name = name;
  record.Key = printer.PrinterName;
  record.Port = printer.PortName;
  record.Model = printer.DriverName;
  record.Location = printer.Location;
  record.Comment = printer.Comment;
  record.Status = printer.Status;
  record.Jobs = printer.cJobs;
  record.PagesPerMinute = printer.AveragePPM;
  record.Attributes = printer.Attributes;
  record.IsLocal = printer.Attributes & PRINTER_ATTRIBUTE_LOCAL;
  record.IsShared = printer.Attributes & PRINTER_ATTRIBUTE_SHARED;
  record.IsDefault = SameText(name, defaultName) || SameText(printer.PrinterName, defaultName);
  return record;
}

}  // namespace

bool TOrvelle_MainForm::IsMonitored(const std::string& name) const {
  TMorvaneRegistry registry;
  if (!registry.OpenKeyReadOnly(GetSettingsKey())) return true;
  return !registry.ValueExists(name);
}

void TOrvelle_MainForm::StartEnumeration(const std::string& serverName, TListingFailure failure) {
  SetScanWaitForm({[this](const std::string& message, int32_t maximum, TBaseThread* scanner) {
                     ShowWaitForm(this, message, maximum, scanner);
                   },
                   [](int32_t position) { StepWaitForm(position); },
                   [](const std::string& text) { UpdateWaitText(text); },
                   [](TBaseThread* scanner) { CloseWaitFormFor(scanner); }});
  auto* discovery = TBaseThread::Create<TThreadEnumerateRemote>(true, serverName);
  discovery->OnServerFound = [this](TThreadEnumerateRemote* enumerator, const std::string& name, int32_t count,
                                    const std::vector<PrinterInfo2>& buffer) {
    return OnServerFound(enumerator, name, count, buffer);
  };
  discovery->OnPrinterFound = [this](TThreadEnumerateRemote* enumerator, const std::string& name,
                                     const PrinterInfo2& printer) { OnPrinterFound(enumerator, name, printer); };
  // A server the user named and that cannot be listed is told at once, not
  // only among the alerts: nothing else would appear.
  if (failure == TListingFailure::AlsoOnScreen) {
    discovery->OnServerFailed = [this](TThreadEnumerateRemote*, const std::string&, const std::string& reason) {
      if (!shuttingDown) ShowMessageBox({reason, "Add New Print Server", mtError, false});
    };
  }
  discovery->Resume();
}

bool TOrvelle_MainForm::OnServerFound(TThreadEnumerateRemote*, const std::string& serverName, int32_t,
                                      const std::vector<PrinterInfo2>& buffer) {
  // The discovery hands its finds over by synchronous calls: the tree and
  // the server list are the main thread's.
  ORV_ASSERT(IsMainThread());
  if (shuttingDown || !IsMonitored(serverName)) return false;
  ShowStatus(" " + serverName);
  {
    THeldList held(ServerList());
    if (!FindServer(serverName)) {
      PrinterHandle handle = 0;
      if (const OsError error = CurrentSpooler()->OpenPrinter(serverName, 0, handle))
        throw ESysError(CurrentSpooler()->ErrorText(error));
      TThreadServer* server = ServerList().AddServer(serverName, handle);
      server->OnChange = [this](TThreadCustom* serverThread) { OnServerChanged(serverThread); };
      server->SetModel(buffer);
      PVirtualNode node = Tree->AddChild(nullptr);
      TPrinterRecord& record = treeRecords[node];
      record.Name = serverName;
      record.ServerText = serverName;
      Tree->InitNode(node);
      server->Node = node;
      server->NodeOwner = nodeOwner;
      server->Resume();
    }
  }
  if (!Tree->FocusedNode()) {
    FocusNode(Tree->GetFirst());
  } else if (TreeList->RootNodeCount() == 0) {
    TreeChange(Tree->FocusedNode());
  }
  return true;
}

void TOrvelle_MainForm::OnPrinterFound(TThreadEnumerateRemote*, const std::string& serverName,
                                       const PrinterInfo2& printer) {
  ORV_ASSERT(IsMainThread());
  if (shuttingDown || !IsMonitored(printer.PrinterName)) return;
  ShowStatus(" " + printer.PrinterName);
  {
    THeldList held(ServerList());
    TThreadServer* server = FindServer(serverName);
    if (!server) return;
    {
      THeldList heldPrinters(server->Printers());
      if (server->FindPrinterThread(printer.PrinterName)) return;
      StartPrinterWatch(*server, printer);
    }
  }
  if (ServerOfNode(Tree->FocusedNode()) == serverName && !TreeRecord(Tree->FocusedNode())->Key.size())
    TreeChange(Tree->FocusedNode());
}

void TOrvelle_MainForm::StartPrinterWatch(TThreadServer& server, const PrinterInfo2& printer) {
  PVirtualNode serverNode = FindServerNode(server.Name());
  if (!serverNode) return;
  PrinterHandle handle = 0;
  OpenPrinterChecked(printer.PrinterName, handle);
  auto* watch = TBaseThread::Create<TThreadJobs>(true, printer.PrinterName, handle);
  watch->SetServer(server);
  watch->OnChange = [this](TThreadCustom* printerThread) { OnPrinterJobsChanged(printerThread); };
  PVirtualNode node = Tree->AddChild(serverNode);
  treeRecords[node] = PrinterRecordOf(printer, TreePrinterName(printer, server.Name()), defaultPrinterName);
  Tree->InitNode(node);
  node->CheckType = ctCheckBox;
  // Every monitored printer's jobs are recorded; the box only shows it.
  markingRecorded = true;
  Tree->SetCheckState(node, csCheckedNormal);
  markingRecorded = false;
  watch->Node = node;
  watch->NodeOwner = nodeOwner;
  server.Printers().Add(watch);
  watch->Resume();
}

void TOrvelle_MainForm::OnServerChanged(TThreadCustom* serverThread) {
  // In the server's thread: nothing here touches a widget.
  auto* server = static_cast<TThreadServer*>(serverThread);
  const std::string serverName = server->Name();
  // A job changed its printer's queue, which that printer's watch reports
  // with the printer's new state and count: the server's list is as it was.
  if (!server->PrinterChanged) return;
  {
    std::vector<PrinterInfo2> printers;
    {
      THeldModel held(*server, server->GetPrinters());
      if (const std::vector<PrinterInfo2>* model = held.Get()) printers = *model;
    }
    // Only the watches of printers that went end: one stopped and started
    // again would miss every job that began and ended in between. The
    // exclusions are read, and tree nodes made, on the main thread, which
    // waits serving these calls wherever it waits.
    std::vector<std::string> leaving;
    server->Synchronize([this, server, &printers, &leaving] { leaving = LeavingPrinters(*server, printers); });
    for (const std::string& name : leaving) server->StopPrinterThread(name);
    const bool reread = server->RefreshAsked;
    server->Synchronize([this, server, &printers, reread] { ApplyServerPrinters(*server, printers, reread); });
  }
  {
    std::lock_guard guard(refreshLock);
    if (!refreshPending.insert(serverName).second) return;
  }
  TGuiRef<TOrvelle_MainForm>(life.Token()).Post([serverName](TOrvelle_MainForm& form) {
    form.ServerRefreshed(serverName);
  });
}

std::vector<std::string> TOrvelle_MainForm::LeavingPrinters(TThreadServer& server,
                                                            const std::vector<PrinterInfo2>& printers) const {
  std::vector<std::string> leaving;
  if (shuttingDown) return leaving;
  THeldList held(server.Printers());
  for (int32_t i = 0; TThreadJobs* watch = server.GetPrinterThread(i); ++i) {
    const std::string& name = watch->Name();
    const bool listed = std::any_of(printers.begin(), printers.end(), [&name](const PrinterInfo2& printer) {
      return SameText(printer.PrinterName, name);
    });
    if (!listed || !IsMonitored(name)) leaving.push_back(name);
  }
  return leaving;
}

void TOrvelle_MainForm::ApplyServerPrinters(TThreadServer& server, const std::vector<PrinterInfo2>& printers,
                                            bool reread) {
  ORV_ASSERT(IsMainThread());
  if (shuttingDown || !FindServerNode(server.Name())) return;
  for (const PrinterInfo2& printer : printers) {
    if (!IsMonitored(printer.PrinterName)) continue;
    THeldList held(server.Printers());
    TThreadJobs* watch = server.FindPrinterThread(printer.PrinterName);
    if (!watch) {
      try {
        StartPrinterWatch(server, printer);
      } catch (Exception& e) {
        GetAlerter()->Add(std::make_unique<EAlertFailure>(e.Message));
      }
      continue;
    }
    // A listed thread has not yet handed its node back: it leaves the list
    // first.
    if (const auto found = treeRecords.find(watch->Node); found != treeRecords.end())
      found->second = PrinterRecordOf(printer, TreePrinterName(printer, server.Name()), defaultPrinterName);
    if (reread) QueueUserAPC(WakeApc, watch->Handle());
  }
  Tree->Viewport()->update();
  ShowStatus(" " + server.Name() + " Refreshed");
}

void TOrvelle_MainForm::ServerRefreshed(const std::string& serverName) {
  ORV_ASSERT(IsMainThread());
  {
    std::lock_guard guard(refreshLock);
    refreshPending.erase(serverName);
  }
  if (shuttingDown || !SameText(shownServer, serverName)) return;
  PVirtualNode focused = Tree->FocusedNode();
  const TPrinterRecord* record = TreeRecord(focused);
  if (record && record->Key.empty()) {
    ShowServerPrinters(serverName);
  } else {
    PVirtualNode node = FindPrinterNode(shownPrinter);
    if (!node) {
      PVirtualNode serverNode = FindServerNode(serverName);
      node = serverNode && serverNode->FirstChild ? serverNode->FirstChild : serverNode;
    }
    if (node && node != focused) FocusNode(node);
  }
  UpdateCaption();
}

void TOrvelle_MainForm::OnPrinterJobsChanged(TThreadCustom* printerThread) {
  // In the printer's thread: the list is refilled on the main thread.
  auto* watch = static_cast<TThreadJobs*>(printerThread);
  uint32_t status = 0, jobCount = 0;
  {
    THeldModel held(*watch, watch->GetQueue());
    if (const PrinterQueue* queue = held.Get()) {
      status = queue->Status;
      jobCount = queue->JobCount;
    }
  }
  TGuiRef<TOrvelle_MainForm>(life.Token()).Post(
      [name = printerThread->Name(), status, jobCount](TOrvelle_MainForm& form) {
        form.PrinterJobsChanged(name, status, jobCount);
      });
}

void TOrvelle_MainForm::PrinterJobsChanged(const std::string& printerName, uint32_t status, uint32_t jobCount) {
  ORV_ASSERT(IsMainThread());
  if (shuttingDown) return;
  if (listView == TListView::Printers) {
    // The printer's row, when its server's printers show: only what shows
    // is painted again.
    const auto row = listPrinterRows.find(printerName);
    if (row == listPrinterRows.end()) return;
    TPrinterRecord& record = listPrinters[row->second];
    if (record.Status == status && record.Jobs == jobCount) return;
    record.Status = status;
    record.Jobs = jobCount;
    TreeList->Viewport()->update();
    return;
  }
  if (listView != TListView::Jobs || !SameText(shownPrinter, printerName)) return;
  const TPrinterRecord* record = TreeRecord(Tree->FocusedNode());
  if (!record || !SameText(record->Key, printerName)) return;
  FillJobs(printerName);
}

void TOrvelle_MainForm::FillJobs(const std::string& printerName) {
  std::vector<QueueJob> jobs;
  {
    THeldList held(ServerList());
    TThreadServer* server = FindServer(shownServer);
    if (!server) return;
    THeldList heldPrinters(server->Printers());
    TThreadJobs* watch = server->FindPrinterThread(printerName);
    if (!watch) return;
    THeldModel heldModel(*watch, watch->GetQueue());
    if (const PrinterQueue* queue = heldModel.Get()) jobs = queue->Jobs;
  }
  TreeList->BeginUpdate();
  TreeList->Clear();
  listJobs = std::move(jobs);
  TreeList->SetRootNodeCount(static_cast<uint32_t>(listJobs.size()));
  TreeList->EndUpdate();
}

void TOrvelle_MainForm::IndexListPrinters() {
  listPrinterRows.clear();
  for (size_t i = 0; i < listPrinters.size(); ++i) listPrinterRows.emplace(listPrinters[i].Key, i);
}

void TOrvelle_MainForm::ClearList() {
  TreeList->Clear();
  listJobs.clear();
  listPrinters.clear();
  listPrinterRows.clear();
}

void TOrvelle_MainForm::SwitchListView(TListView view) {
  if (listView == view) return;
  listView = view;
  TVirtualTreeColumns& columns = TreeList->Header().Columns();
  columns.Clear();
  const bool printers = view == TListView::Printers;
  const int count = printers ? 7 : 6;
  for (int i = 0; i < count; ++i) {
    TVirtualTreeColumn* column = columns.Add();
    column->SetText(printers ? PrinterColumnTitles[i] : JobColumnTitles[i]);
    column->SetWidth(printers ? treeColumnWidths[i] : treeListColumnWidths[i]);
    column->SetMargin(0);
  }
}

void TOrvelle_MainForm::TreeListColumnResize(int column) {
  if (column < 0 || column >= TreeList->Header().Columns().Count()) return;
  const int columnWidth = TreeList->Header().Columns().Items(column).Width();
  if (listView == TListView::Printers && column < 7) treeColumnWidths[column] = columnWidth;
  if (listView == TListView::Jobs && column < 6) treeListColumnWidths[column] = columnWidth;
}

void TOrvelle_MainForm::ShowServerPrinters(const std::string& serverName) {
  std::vector<PrinterInfo2> printers;
  {
    THeldList held(ServerList());
    TThreadServer* server = FindServer(serverName);
    if (!server) return;
    {
      THeldModel heldModel(*server, server->GetPrinters());
      if (const std::vector<PrinterInfo2>* model = heldModel.Get()) printers = *model;
    }
    // The server's list is read again only when its printers change: their
    // states and counts are their watches'.
    std::unordered_map<std::string, PrinterInfo2*> byName;
    for (PrinterInfo2& printer : printers) byName.emplace(printer.PrinterName, &printer);
    THeldList heldPrinters(server->Printers());
    for (int32_t i = 0; TThreadJobs* watch = server->GetPrinterThread(i); ++i) {
      const auto found = byName.find(watch->Name());
      if (found == byName.end()) continue;
      THeldModel heldQueue(*watch, watch->GetQueue());
      if (const PrinterQueue* queue = heldQueue.Get()) {
        found->second->Status = queue->Status;
        found->second->cJobs = queue->JobCount;
      }
    }
  }
  std::vector<TPrinterRecord> rows;
  // One row per printer node of the server, so a printer that failed to
  // open is in neither.
  if (PVirtualNode serverNode = FindServerNode(serverName)) {
    // By name: a server's every job refreshes this list, which must not
    // cost the square of its printers.
    std::unordered_map<std::string, const PrinterInfo2*> byName;
    for (const PrinterInfo2& printer : printers) byName.emplace(printer.PrinterName, &printer);
    for (PVirtualNode child = serverNode->FirstChild; child; child = child->NextSibling) {
      const TPrinterRecord* record = TreeRecord(child);
      if (!record) continue;
      const auto found = byName.find(record->Key);
      if (found == byName.end()) continue;
      const PrinterInfo2& printer = *found->second;
      rows.push_back(PrinterRecordOf(printer, ListPrinterName(printer, serverName), defaultPrinterName));
    }
  }
  // The same printers as shown (a job came or went): the rows take their
  // new counts and states in place, and only what shows is painted again.
  if (listView == TListView::Printers && rows.size() == listPrinters.size() &&
      TreeList->RootNodeCount() == rows.size() &&
      std::equal(rows.begin(), rows.end(), listPrinters.begin(),
                 [](const TPrinterRecord& a, const TPrinterRecord& b) { return a.Key == b.Key; })) {
    listPrinters = std::move(rows);
    IndexListPrinters();
    if (PVirtualNode first = TreeList->GetFirst()) TreeList->InvalidateToBottom(first);
    return;
  }
  const uint32_t focusedIndex = TreeList->FocusedNode() ? TreeList->AbsoluteIndex(TreeList->FocusedNode()) : 0;
  TreeList->BeginUpdate();
  ClearList();
  SwitchListView(TListView::Printers);
  listPrinters = std::move(rows);
  IndexListPrinters();
  TreeList->SetRootNodeCount(static_cast<uint32_t>(listPrinters.size()));
  TreeList->EndUpdate();
  if (!listPrinters.empty()) {
    PVirtualNode row = TreeList->GetFirst();
    for (uint32_t i = 0; row && i < focusedIndex && row->NextSibling; ++i) row = row->NextSibling;
    TreeList->SetFocusedNode(row);
    TreeList->SetSelected(row, true);
  }
}

void TOrvelle_MainForm::TreeChange(PVirtualNode node) {
  const TPrinterRecord* record = TreeRecord(node);
  if (!record || shuttingDown) return;
  if (!record->Key.empty()) {
    shownServer = ServerOfNode(node);
    shownPrinter = record->Key;
    TreeList->BeginUpdate();
    ClearList();
    SwitchListView(TListView::Jobs);
    TreeList->EndUpdate();
    // The thread re-reads its queue and reports back.
    THeldList held(ServerList());
    if (TThreadServer* server = FindServer(shownServer)) {
      THeldList heldPrinters(server->Printers());
      if (TThreadJobs* watch = server->FindPrinterThread(shownPrinter)) QueueUserAPC(WakeApc, watch->Handle());
    }
  } else {
    shownServer = record->ServerText;
    shownPrinter.clear();
    ShowServerPrinters(shownServer);
  }
  UpdateCaption();
}

void TOrvelle_MainForm::TreeCollapsed(PVirtualNode node) {
  PVirtualNode focused = Tree->FocusedNode();
  if (focused && focused != node && focused->Parent == node) FocusNode(node);
}

void TOrvelle_MainForm::TreeStructureChange(PVirtualNode node) {
  if (shuttingDown || (node && node != Tree->RootNode()) || Tree->FocusedNode()) return;
  if (PVirtualNode first = Tree->GetFirst()) {
    FocusNode(first);
  } else {
    shownServer.clear();
    shownPrinter.clear();
    ClearList();
  }
  UpdateCaption();
}

void TOrvelle_MainForm::FocusNode(PVirtualNode node) {
  if (!node) return;
  Tree->ClearSelection();
  Tree->SetFocusedNode(node);
  Tree->SetSelected(node, true);
}

void TOrvelle_MainForm::UpdateCaption() {
  std::string caption = "Orvelle";
  if (!shownServer.empty()) {
    const TPrinterRecord* record = TreeRecord(Tree->FocusedNode());
    const bool printerOfShown = record && !record->Key.empty() && SameText(ServerOfNode(Tree->FocusedNode()), shownServer);
    caption = Format("Orvelle - [ %s ]", {printerOfShown ? record->Name : shownServer});
  }
  setWindowTitle(QString::fromStdString(caption));
}

const TPrinterRecord* TOrvelle_MainForm::TreeRecord(PVirtualNode node) const {
  const auto found = treeRecords.find(node);
  return found == treeRecords.end() ? nullptr : &found->second;
}

std::string TOrvelle_MainForm::ServerOfNode(PVirtualNode node) const {
  if (!node) return {};
  const TPrinterRecord* record = TreeRecord(node->Parent);
  if (record) return record->ServerText;
  record = TreeRecord(node);
  return record ? record->ServerText : std::string();
}

PVirtualNode TOrvelle_MainForm::FindServerNode(const std::string& serverName) {
  for (PVirtualNode node = Tree->RootNode()->FirstChild; node; node = node->NextSibling) {
    const TPrinterRecord* record = TreeRecord(node);
    if (record && SameText(record->ServerText, serverName)) return node;
  }
  return nullptr;
}

PVirtualNode TOrvelle_MainForm::FindPrinterNode(const std::string& printerName) {
  if (printerName.empty()) return nullptr;
  for (PVirtualNode server = Tree->RootNode()->FirstChild; server; server = server->NextSibling) {
    for (PVirtualNode node = server->FirstChild; node; node = node->NextSibling) {
      const TPrinterRecord* record = TreeRecord(node);
      if (record && SameText(record->Key, printerName)) return node;
    }
  }
  return nullptr;
}

void TOrvelle_MainForm::TreeGetText(PVirtualNode node, std::string& text) {
  if (const TPrinterRecord* record = TreeRecord(node)) text = record->Key.empty() ? record->ServerText : record->Name;
}

void TOrvelle_MainForm::TreeGetImageIndex(PVirtualNode node, int& index) {
  const TPrinterRecord* record = TreeRecord(node);
  if (!record) return;
  if (record->Key.empty()) {
    index = 0;
    return;
  }
  bool busy = false;
  {
    THeldList held(ServerList());
    if (TThreadServer* server = FindServer(ServerOfNode(node))) {
      THeldList heldPrinters(server->Printers());
      if (TThreadJobs* watch = server->FindPrinterThread(record->Key)) busy = watch->HasJobs();
    }
  }
  index = PrinterImageIndex(*record, busy, animationFrame);
}

void TOrvelle_MainForm::TreeListGetText(PVirtualNode node, int column, std::string& text) {
  const size_t row = node->Index;
  if (listView == TListView::Jobs) {
    if (row < listJobs.size()) text = PrinterQueue::GetColumnText(listJobs[row], column, formatSettings);
    return;
  }
  if (row >= listPrinters.size()) return;
  const TPrinterRecord& record = listPrinters[row];
  switch (column) {
    case 0: text = record.Name; break;
    case 1: text = std::to_string(record.Jobs); break;
    case 2: text = PrinterStatusText(record.Attributes, record.Status); break;
    case 3: text = record.Model; break;
    case 4: text = record.Location; break;
    case 5: text = record.Comment; break;
    case 6: text = record.Port; break;
    default: text.clear();
  }
}

void TOrvelle_MainForm::AddServer1Click() {
  std::string name = GetComputerUNCName();
  if (!InputQuery("Add New Print Server", "Server Name", name) || name.empty()) return;
  if (name.rfind("\\\\", 0) != 0) name = "\\\\" + UpperCase(name);
  bool known;
  {
    THeldList held(ServerList());
    known = FindServer(name) != nullptr;
  }
  if (!known) StartEnumeration(name, TListingFailure::AlsoOnScreen);
}

void TOrvelle_MainForm::DeleteServer1Click() {
  if (shownServer.empty()) return;
  pages->setCurrentIndex(0);
  if (ShowMessageBox({"Are you sure you want to cancel monitoring the highlighted server?", "Confirm", mtConfirmation,
                      true}) != mrYes)
    return;
  TMorvaneRegistry registry;
  if (registry.OpenKey(GetSettingsKey(), true)) registry.WriteString(shownServer, "");
  {
    THeldList held(ServerList());
    if (TThreadServer* server = FindServer(shownServer)) {
      server->Terminate();
      QueueUserAPC(WakeApc, server->Handle());
    }
  }
  shownServer.clear();
  shownPrinter.clear();
  ClearList();
  UpdateCaption();
}

void TOrvelle_MainForm::DeletePrinter1Click() {
  if (shownPrinter.empty()) return;
  pages->setCurrentIndex(0);
  if (ShowMessageBox({"Are you sure you want to cancel monitoring the highlighted printer?", "Confirm", mtConfirmation,
                      true}) != mrYes)
    return;
  const std::string serverName = shownServer;
  const std::string printerName = shownPrinter;
  PVirtualNode node = FindPrinterNode(printerName);
  PVirtualNode next = node ? (node->NextSibling ? node->NextSibling : node->PrevSibling) : nullptr;
  if (!next && node) next = node->Parent;
  const std::string nextKey = TreeRecord(next) ? TreeRecord(next)->Key : std::string();

  TMorvaneRegistry registry;
  if (registry.OpenKey(GetSettingsKey(), true)) registry.WriteString(printerName, "");
  // The thread may free itself as soon as it ends: the wait is on the
  // server's list of printer threads, which it leaves at its end.
  TThreadServer* server = nullptr;
  {
    THeldList held(ServerList());
    server = FindServer(serverName);
    if (server) {
      THeldList heldPrinters(server->Printers());
      if (TThreadJobs* watch = server->FindPrinterThread(printerName)) {
        watch->Terminate();
        QueueUserAPC(WakeApc, watch->Handle());
      }
    }
  }
  auto listed = [&] {
    THeldList held(ServerList());
    TThreadServer* owner = FindServer(serverName);
    if (!owner) return false;
    THeldList heldPrinters(owner->Printers());
    return owner->FindPrinterThread(printerName) != nullptr;
  };
  // The node goes with its thread, which hands it back through the event
  // loop; deleting it here could let that late call meet a new node made
  // at the same place.
  while (listed() || (node && Tree->ContainsNode(node))) {
    ProcessMessages();
    WaitForObjects({}, 2, TWaitOptions{.serveDispatcher = true});
  }
  shownPrinter.clear();
  ClearList();
  PVirtualNode focus = nextKey.empty() ? FindServerNode(serverName) : FindPrinterNode(nextKey);
  FocusNode(focus);
  UpdateCaption();
}

void TOrvelle_MainForm::Default1Click() {
  const TPrinterRecord* record = TreeRecord(Tree->FocusedNode());
  if (!record || record->Key.empty()) return;
  rememberedPrinter = record->Key;
  if (const OsError error = CurrentSpooler()->SetDefaultPrinter(rememberedPrinter))
    throw ESysError(OsErrorMessage(error));
  SettingsChanged();
  for (auto& [node, each] : treeRecords)
    if (!each.Key.empty()) each.IsDefault = SameText(each.Key, defaultPrinterName) || SameText(each.Name, defaultPrinterName);
  Tree->Viewport()->update();
}
