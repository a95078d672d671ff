// The servers-and-printers tree and the live list: discovery, the watch
// threads' callbacks, the views of the list, adding and deleting servers
// and printers.

#include <QTabWidget>
#include <algorithm>

#include "Main.h"
#include "AppMonitor.h"
#include "MainTreeOwner.h"
#include "VirtualStringTree.h"
#include "osApc.h"
#include "osDispatcher.h"
#include "osErrors.h"
#include "osSyncTicks.h"
#include "osSyncWait.h"
#include "rtlFormat.h"
#include "rtlStrUtils.h"
#include "splConstants.h"
#include "uiDialogs.h"

namespace {

TThreadServer* FindServer(const std::string& Name) { return static_cast<TThreadServer*>(ServerList().FindByName(Name)); }

TPrinterRecord PrinterRecordOf(const PrinterInfo2& Printer, const std::string& Name, const std::string& DefaultName) {
  TPrinterRecord record;
  record.Name = Name;
  record.Key = Printer.PrinterName;
  record.Port = Printer.PortName;
  record.Model = Printer.DriverName;
  record.Location = Printer.Location;
  record.Comment = Printer.Comment;
  record.Status = Printer.Status;
  record.Jobs = Printer.cJobs;
  record.PagesPerMinute = Printer.AveragePPM;
  record.Attributes = Printer.Attributes;
  record.IsLocal = Printer.Attributes & PRINTER_ATTRIBUTE_LOCAL;
  record.IsShared = Printer.Attributes & PRINTER_ATTRIBUTE_SHARED;
  record.IsDefault = SameText(Name, DefaultName) || SameText(Printer.PrinterName, DefaultName);
  return record;
}

}  // namespace

bool TOrvelle_MainForm::IsMonitored(const std::string& Name) const {
  TMorvaneRegistry registry;
  if (!registry.OpenKeyReadOnly(GetSettingsKey())) return true;
  return !registry.ValueExists(Name);
}

void TOrvelle_MainForm::StartEnumeration(const std::string& ServerName) {
  SetScanWaitForm({[this](const std::string& Message, int32_t Maximum, TBaseThread* Thread) {
                     ShowWaitForm(this, Message, Maximum, Thread);
                   },
                   [](int32_t Position) { StepWaitForm(Position); },
                   [](const std::string& Text) { UpdateWaitText(Text); },
                   [](TBaseThread* Thread) { CloseWaitFormFor(Thread); }});
  auto* thread = TBaseThread::Create<TThreadEnumerateRemote>(true, ServerName);
  thread->OnServerFound = [this](TThreadEnumerateRemote* Sender, const std::string& Name, int32_t Count,
                                 const std::vector<PrinterInfo2>& Buffer) {
    return OnServerFound(Sender, Name, Count, Buffer);
  };
  thread->OnPrinterFound = [this](TThreadEnumerateRemote* Sender, const std::string& Name,
                                  const PrinterInfo2& Printer) { OnPrinterFound(Sender, Name, Printer); };
  thread->Resume();
}

bool TOrvelle_MainForm::OnServerFound(TThreadEnumerateRemote*, const std::string& ServerName, int32_t,
                                      const std::vector<PrinterInfo2>& Buffer) {
  if (shuttingDown || !IsMonitored(ServerName)) return false;
  ShowStatus(" " + ServerName);
  {
    THeldList held(ServerList());
    if (!FindServer(ServerName)) {
      PrinterHandle handle = 0;
      if (const OsError error = CurrentSpooler()->OpenPrinter(ServerName, 0, handle))
        throw ESysError(OsErrorMessage(error));
      TThreadServer* server = ServerList().AddServer(ServerName, handle);
      server->OnChange = [this](TThreadCustom* Sender) { OnServerChanged(Sender); };
      server->SetModel(Buffer);
      PVirtualNode node = Tree->AddChild(nullptr);
      TPrinterRecord& record = treeRecords[node];
      record.Name = ServerName;
      record.ServerText = ServerName;
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

void TOrvelle_MainForm::OnPrinterFound(TThreadEnumerateRemote*, const std::string& ServerName,
                                       const PrinterInfo2& Printer) {
  if (shuttingDown || !IsMonitored(Printer.PrinterName)) return;
  ShowStatus(" " + Printer.PrinterName);
  {
    THeldList held(ServerList());
    TThreadServer* server = FindServer(ServerName);
    if (!server) return;
    {
      THeldList heldPrinters(server->Printers());
      if (server->FindPrinterThread(Printer.PrinterName)) return;
      StartPrinterWatch(*server, Printer);
    }
  }
  if (ServerOfNode(Tree->FocusedNode()) == ServerName && !TreeRecord(Tree->FocusedNode())->Key.size())
    TreeChange(Tree->FocusedNode());
}

void TOrvelle_MainForm::StartPrinterWatch(TThreadServer& Server, const PrinterInfo2& Printer) {
  PVirtualNode serverNode = FindServerNode(Server.Name());
  if (!serverNode) return;
  PrinterHandle handle = 0;
  OpenPrinterChecked(Printer.PrinterName, handle);
  auto* thread = TBaseThread::Create<TThreadJobs>(true, Printer.PrinterName, handle);
  thread->SetServer(Server);
  thread->OnChange = [this](TThreadCustom* Sender) { OnPrinterJobsChanged(Sender); };
  PVirtualNode node = Tree->AddChild(serverNode);
  treeRecords[node] = PrinterRecordOf(Printer, TreePrinterName(Printer, Server.Name()), defaultPrinterName);
  Tree->InitNode(node);
  node->CheckType = ctCheckBox;
  // Every monitored printer's jobs are recorded; the box only shows it.
  markingRecorded = true;
  Tree->SetCheckState(node, csCheckedNormal);
  markingRecorded = false;
  thread->Node = node;
  thread->NodeOwner = nodeOwner;
  Server.Printers().Add(thread);
  thread->Resume();
}

void TOrvelle_MainForm::OnServerChanged(TThreadCustom* Sender) {
  // In the server's thread: nothing here touches a widget.
  auto* server = static_cast<TThreadServer*>(Sender);
  const std::string serverName = server->Name();
  if (server->PrinterChanged) {
    std::vector<PrinterInfo2> printers;
    if (const std::vector<PrinterInfo2>* model = server->GetPrinters()) printers = *model;
    server->UnlockModel();
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
  TGuiRef<TOrvelle_MainForm>(life.Token()).Post([serverName](TOrvelle_MainForm& Form) {
    Form.ServerRefreshed(serverName);
  });
}

std::vector<std::string> TOrvelle_MainForm::LeavingPrinters(TThreadServer& Server,
                                                            const std::vector<PrinterInfo2>& Printers) const {
  std::vector<std::string> leaving;
  if (shuttingDown) return leaving;
  THeldList held(Server.Printers());
  for (int32_t i = 0; TThreadJobs* thread = Server.GetPrinterThread(i); ++i) {
    const std::string& name = thread->Name();
    const bool listed = std::any_of(Printers.begin(), Printers.end(), [&name](const PrinterInfo2& Printer) {
      return SameText(Printer.PrinterName, name);
    });
    if (!listed || !IsMonitored(name)) leaving.push_back(name);
  }
  return leaving;
}

void TOrvelle_MainForm::ApplyServerPrinters(TThreadServer& Server, const std::vector<PrinterInfo2>& Printers,
                                            bool Reread) {
  if (shuttingDown || !FindServerNode(Server.Name())) return;
  for (const PrinterInfo2& printer : Printers) {
    if (!IsMonitored(printer.PrinterName)) continue;
    THeldList held(Server.Printers());
    TThreadJobs* thread = Server.FindPrinterThread(printer.PrinterName);
    if (!thread) {
      try {
        StartPrinterWatch(Server, printer);
      } catch (Exception& e) {
        GetAlerter()->Add(std::make_unique<EAlertFailure>(e.Message));
      }
      continue;
    }
    // A listed thread has not yet handed its node back: it leaves the list
    // first.
    if (const auto found = treeRecords.find(thread->Node); found != treeRecords.end())
      found->second = PrinterRecordOf(printer, TreePrinterName(printer, Server.Name()), defaultPrinterName);
    if (Reread) QueueUserAPC(WakeApc, thread->Handle());
  }
  Tree->Viewport()->update();
  ShowStatus(" " + Server.Name() + " Refreshed");
}

void TOrvelle_MainForm::ServerRefreshed(const std::string& ServerName) {
  if (shuttingDown || !SameText(shownServer, ServerName)) return;
  PVirtualNode focused = Tree->FocusedNode();
  const TPrinterRecord* record = TreeRecord(focused);
  if (record && record->Key.empty()) {
    ShowServerPrinters(ServerName);
  } else {
    PVirtualNode node = FindPrinterNode(shownPrinter);
    if (!node) {
      PVirtualNode serverNode = FindServerNode(ServerName);
      node = serverNode && serverNode->FirstChild ? serverNode->FirstChild : serverNode;
    }
    if (node && node != focused) FocusNode(node);
  }
  UpdateCaption();
}

void TOrvelle_MainForm::OnPrinterJobsChanged(TThreadCustom* Sender) {
  // In the printer's thread: the list is refilled on the main thread.
  TGuiRef<TOrvelle_MainForm>(life.Token()).Post([name = Sender->Name()](TOrvelle_MainForm& Form) {
    Form.PrinterJobsChanged(name);
  });
}

void TOrvelle_MainForm::PrinterJobsChanged(const std::string& PrinterName) {
  if (shuttingDown || listView != TListView::Jobs || !SameText(shownPrinter, PrinterName)) return;
  const TPrinterRecord* record = TreeRecord(Tree->FocusedNode());
  if (!record || !SameText(record->Key, PrinterName)) return;
  FillJobs(PrinterName);
}

void TOrvelle_MainForm::FillJobs(const std::string& PrinterName) {
  std::vector<QueueJob> jobs;
  {
    THeldList held(ServerList());
    TThreadServer* server = FindServer(shownServer);
    if (!server) return;
    THeldList heldPrinters(server->Printers());
    TThreadJobs* thread = server->FindPrinterThread(PrinterName);
    if (!thread) return;
    if (const PrinterQueue* queue = thread->GetQueue()) jobs = queue->Jobs;
    thread->UnlockModel();
  }
  TreeList->BeginUpdate();
  TreeList->Clear();
  listJobs = std::move(jobs);
  TreeList->SetRootNodeCount(static_cast<uint32_t>(listJobs.size()));
  TreeList->EndUpdate();
}

void TOrvelle_MainForm::ClearList() {
  TreeList->Clear();
  listJobs.clear();
  listPrinters.clear();
}

void TOrvelle_MainForm::SwitchListView(TListView View) {
  if (listView == View) return;
  listView = View;
  TVirtualTreeColumns& columns = TreeList->Header().Columns();
  columns.Clear();
  const bool printers = View == TListView::Printers;
  const int count = printers ? 7 : 6;
  for (int i = 0; i < count; ++i) {
    TVirtualTreeColumn* column = columns.Add();
    column->SetText(printers ? PrinterColumnTitles[i] : JobColumnTitles[i]);
    column->SetWidth(printers ? treeColumnWidths[i] : treeListColumnWidths[i]);
    column->SetMargin(0);
  }
}

void TOrvelle_MainForm::TreeListColumnResize(int Column) {
  if (Column < 0 || Column >= TreeList->Header().Columns().Count()) return;
  const int width = TreeList->Header().Columns().Items(Column).Width();
  if (listView == TListView::Printers && Column < 7) treeColumnWidths[Column] = width;
  if (listView == TListView::Jobs && Column < 6) treeListColumnWidths[Column] = width;
}

void TOrvelle_MainForm::ShowServerPrinters(const std::string& ServerName) {
  std::vector<PrinterInfo2> printers;
  {
    THeldList held(ServerList());
    TThreadServer* server = FindServer(ServerName);
    if (!server) return;
    if (const std::vector<PrinterInfo2>* model = server->GetPrinters()) printers = *model;
    server->UnlockModel();
  }
  const uint32_t focusedIndex = TreeList->FocusedNode() ? TreeList->AbsoluteIndex(TreeList->FocusedNode()) : 0;
  TreeList->BeginUpdate();
  ClearList();
  SwitchListView(TListView::Printers);
  // One row per printer node of the server, so a printer that failed to
  // open is in neither.
  if (PVirtualNode serverNode = FindServerNode(ServerName)) {
    for (PVirtualNode child = serverNode->FirstChild; child; child = child->NextSibling) {
      const TPrinterRecord* record = TreeRecord(child);
      if (!record) continue;
      for (const PrinterInfo2& printer : printers) {
        if (printer.PrinterName != record->Key) continue;
        listPrinters.push_back(PrinterRecordOf(printer, ListPrinterName(printer, ServerName), defaultPrinterName));
        break;
      }
    }
  }
  TreeList->SetRootNodeCount(static_cast<uint32_t>(listPrinters.size()));
  TreeList->EndUpdate();
  if (!listPrinters.empty()) {
    PVirtualNode row = TreeList->GetFirst();
    for (uint32_t i = 0; row && i < focusedIndex && row->NextSibling; ++i) row = row->NextSibling;
    TreeList->SetFocusedNode(row);
    TreeList->SetSelected(row, true);
  }
}

void TOrvelle_MainForm::TreeChange(PVirtualNode Node) {
  const TPrinterRecord* record = TreeRecord(Node);
  if (!record || shuttingDown) return;
  if (!record->Key.empty()) {
    shownServer = ServerOfNode(Node);
    shownPrinter = record->Key;
    TreeList->BeginUpdate();
    ClearList();
    SwitchListView(TListView::Jobs);
    TreeList->EndUpdate();
    // The thread re-reads its queue and reports back.
    THeldList held(ServerList());
    if (TThreadServer* server = FindServer(shownServer)) {
      THeldList heldPrinters(server->Printers());
      if (TThreadJobs* thread = server->FindPrinterThread(shownPrinter)) QueueUserAPC(WakeApc, thread->Handle());
    }
  } else {
    shownServer = record->ServerText;
    shownPrinter.clear();
    ShowServerPrinters(shownServer);
  }
  UpdateCaption();
}

void TOrvelle_MainForm::TreeCollapsed(PVirtualNode Node) {
  PVirtualNode focused = Tree->FocusedNode();
  if (focused && focused != Node && focused->Parent == Node) FocusNode(Node);
}

void TOrvelle_MainForm::TreeStructureChange(PVirtualNode Node) {
  if (shuttingDown || (Node && Node != Tree->RootNode()) || Tree->FocusedNode()) return;
  if (PVirtualNode first = Tree->GetFirst()) {
    FocusNode(first);
  } else {
    shownServer.clear();
    shownPrinter.clear();
    ClearList();
  }
  UpdateCaption();
}

void TOrvelle_MainForm::FocusNode(PVirtualNode Node) {
  if (!Node) return;
  Tree->ClearSelection();
  Tree->SetFocusedNode(Node);
  Tree->SetSelected(Node, true);
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

const TPrinterRecord* TOrvelle_MainForm::TreeRecord(PVirtualNode Node) const {
  const auto found = treeRecords.find(Node);
  return found == treeRecords.end() ? nullptr : &found->second;
}

std::string TOrvelle_MainForm::ServerOfNode(PVirtualNode Node) const {
  if (!Node) return {};
  const TPrinterRecord* record = TreeRecord(Node->Parent);
  if (record) return record->ServerText;
  record = TreeRecord(Node);
  return record ? record->ServerText : std::string();
}

PVirtualNode TOrvelle_MainForm::FindServerNode(const std::string& ServerName) {
  for (PVirtualNode node = Tree->RootNode()->FirstChild; node; node = node->NextSibling) {
    const TPrinterRecord* record = TreeRecord(node);
    if (record && SameText(record->ServerText, ServerName)) return node;
  }
  return nullptr;
}

PVirtualNode TOrvelle_MainForm::FindPrinterNode(const std::string& PrinterName) {
  if (PrinterName.empty()) return nullptr;
  for (PVirtualNode server = Tree->RootNode()->FirstChild; server; server = server->NextSibling) {
    for (PVirtualNode node = server->FirstChild; node; node = node->NextSibling) {
      const TPrinterRecord* record = TreeRecord(node);
      if (record && SameText(record->Key, PrinterName)) return node;
    }
  }
  return nullptr;
}

void TOrvelle_MainForm::TreeGetText(PVirtualNode Node, std::string& Text) {
  if (const TPrinterRecord* record = TreeRecord(Node)) Text = record->Key.empty() ? record->ServerText : record->Name;
}

void TOrvelle_MainForm::TreeGetImageIndex(PVirtualNode Node, int& Index) {
  const TPrinterRecord* record = TreeRecord(Node);
  if (!record) return;
  if (record->Key.empty()) {
    Index = 0;
    return;
  }
  bool busy = false;
  {
    THeldList held(ServerList());
    if (TThreadServer* server = FindServer(ServerOfNode(Node))) {
      THeldList heldPrinters(server->Printers());
      if (TThreadJobs* thread = server->FindPrinterThread(record->Key)) busy = thread->HasJobs();
    }
  }
  Index = PrinterImageIndex(*record, busy, animationFrame);
}

void TOrvelle_MainForm::TreeListGetText(PVirtualNode Node, int Column, std::string& Text) {
  const size_t row = Node->Index;
  if (listView == TListView::Jobs) {
    if (row < listJobs.size()) Text = PrinterQueue::GetColumnText(listJobs[row], Column, formatSettings);
    return;
  }
  if (row >= listPrinters.size()) return;
  const TPrinterRecord& record = listPrinters[row];
  switch (Column) {
    case 0: Text = record.Name; break;
    case 1: Text = std::to_string(record.Jobs); break;
    case 2: Text = PrinterStatusText(record.Attributes, record.Status); break;
    case 3: Text = record.Model; break;
    case 4: Text = record.Location; break;
    case 5: Text = record.Comment; break;
    case 6: Text = record.Port; break;
    default: Text.clear();
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
  if (!known) StartEnumeration(name);
}

void TOrvelle_MainForm::DeleteServer1Click() {
  if (shownServer.empty()) return;
  PageControl1->setCurrentIndex(0);
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
  PageControl1->setCurrentIndex(0);
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
      if (TThreadJobs* thread = server->FindPrinterThread(printerName)) {
        thread->Terminate();
        QueueUserAPC(WakeApc, thread->Handle());
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
    WaitForObjects({}, 2, TWaitOptions{false, true});
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
