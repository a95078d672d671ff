#include "appTestSupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <optional>

#include "AppDatabase.h"
#include "AppMonitor.h"
#include "QV.h"
#include "VirtualStringTree.h"
#include "osDispatcher.h"
#include "osProgram.h"
#include "osSyncWait.h"
#include "splConstants.h"

namespace {

QApplication& Application() {
  static QApplication* application = [] {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    auto* made = new QApplication(argc, argv);
    ServeDispatcherFromEventLoop();
    return made;
  }();
  return *application;
}

}  // namespace

bool PumpUntil(const std::function<bool()>& Condition, int LimitMs) {
  QElapsedTimer clock;
  clock.start();
  while (!Condition()) {
    if (clock.elapsed() > LimitMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    MainDispatcher().ProcessPending();
    WaitForObjects({}, 1, TWaitOptions{false, true});
  }
  return true;
}

bool WithPrinterThread(const std::string& Printer, const std::function<void(TThreadJobs&)>& Use) {
  bool found = false;
  for (TBaseThread* thread : ServerList().LockList()) {
    auto* server = static_cast<TThreadServer*>(thread);
    THeldList held(server->Printers());
    if (TThreadJobs* jobs = server->FindPrinterThread(Printer)) {
      Use(*jobs);
      found = true;
    }
  }
  ServerList().UnlockList();
  return found;
}

void FinishJob(TSimulatedSpooler& Spooler, const std::string& Printer, uint32_t Id) {
  Spooler.ProgressJob(Printer, Id, 2, 1024);
  Spooler.PrintJob(Printer, Id);
  Spooler.RemoveJob(Printer, Id);
}

std::string UniqueQueue(const std::string& Prefix) {
  static int runs = 0;
  return Prefix + std::to_string(++runs);
}

AppTest::AppTest()
    : Local("\\\\" + ComputerName()), spooler(std::make_shared<TSimulatedSpooler>(Local)) {}

void AppTest::SetUp() {
  Application();
  ASSERT_EQ(0, RunningThreads().GetValue());
  AppTerminateEvent().ResetEvent();
  ForceFolders(folder.Path() + "/home", 0777);
  InitializeTools();
  SetCurrentSpooler(spooler);
  SetMessageBoxRunner([this](const TMessageBoxRequest& Request) {
    asked.push_back(Request);
    return answer;
  });
  SetInputQueryRunner([this](const TInputQueryRequest&, std::string& Value) {
    if (typedServer.empty()) return false;
    Value = typedServer;
    return true;
  });
  if (withDatabase) {
    ASSERT_TRUE(CheckJobsDatabase(AlertJobsDatabase));
    CreateDataModule();
    asked.clear();
  }
}

void AppTest::TearDown() {
  CloseForm();
  EXPECT_EQ(0, RunningThreads().GetValue());
  FreeDataModule();
  SetMessageBoxRunner(nullptr);
  SetInputQueryRunner(nullptr);
  SetCurrentSpooler(nullptr);
  FreeAlerter();
}

std::string AppTest::AddPrinter(const std::string& Server, const std::string& Queue, uint32_t Attributes) {
  PrinterInfo2 printer;
  printer.PrinterName = Server + "\\" + Queue;
  printer.ShareName = Queue;
  printer.PortName = "LPT1:";
  printer.DriverName = "Generic Driver";
  printer.Location = "Floor 2";
  printer.Comment = "by the stairs";
  printer.Attributes = Attributes;
  spooler->AddPrinter(printer);
  return printer.PrinterName;
}

void AppTest::StartForm(const std::vector<std::string>& Printers) {
  AppTerminateEvent().ResetEvent();
  form = std::make_unique<TOrvelle_MainForm>();
  form->Timer1.Trigger();
  ASSERT_TRUE(PumpUntil([&] {
    for (const std::string& printer : Printers)
      if (!form->FindPrinterNode(printer)) return false;
    return true;
  }));
  for (const std::string& printer : Printers) WaitWatched(printer);
}

namespace {

// The printer's model status; nullopt before the thread's first read.
std::optional<uint32_t> ModelStatus(const std::string& Printer) {
  std::optional<uint32_t> status;
  WithPrinterThread(Printer, [&](TThreadJobs& Jobs) {
    const PrinterQueue* queue = Jobs.GetQueue();
    if (queue && !queue->PrinterName.empty()) status = queue->Status;
    Jobs.UnlockModel();
  });
  return status;
}

}  // namespace

void AppTest::WaitWatched(const std::string& Printer) {
  ASSERT_TRUE(PumpUntil([&] { return ModelStatus(Printer).has_value(); })) << Printer;
  // The watch may open after the first read: a status change that reaches
  // the model proves it open. Repeated until one does.
  bool watched = false;
  for (int attempt = 0; attempt < 80 && !watched; ++attempt) {
    const uint32_t status = attempt % 2 == 0 ? PRINTER_STATUS_PAUSED : PRINTER_STATUS_ERROR;
    spooler->SetPrinterStatus(Printer, status);
    watched = PumpUntil([&] { return ModelStatus(Printer) == status; }, 250);
  }
  spooler->SetPrinterStatus(Printer, 0);
  ASSERT_TRUE(watched) << Printer;
  ASSERT_TRUE(PumpUntil([&] { return ModelStatus(Printer) == 0u; })) << Printer;
}

void AppTest::CloseForm() {
  if (!form) return;
  form->ShutdownMonitoring();
  form.reset();
}

std::vector<std::string> AppTest::ChildTexts(PVirtualNode Parent) {
  std::vector<std::string> texts;
  PVirtualNode first = Parent ? Parent->FirstChild : form->Tree->RootNode()->FirstChild;
  for (PVirtualNode node = first; node; node = node->NextSibling)
    texts.push_back(form->Tree->GetText(node, form->Tree->Header().MainColumn()));
  return texts;
}

std::string AppTest::ListText(int Row, int Column) {
  PVirtualNode node = form->TreeList->GetFirst();
  for (int i = 0; node && i < Row; ++i) node = node->NextSibling;
  return node ? form->TreeList->GetText(node, Column) : std::string("<no row>");
}

int AppTest::ImageOf(PVirtualNode Node) {
  int index = -1;
  form->Tree->OnGetImageIndex(form->Tree, Node, ikNormal, form->Tree->Header().MainColumn(), index);
  return index;
}

uint32_t AppTest::ListRowCount() { return form->TreeList->RootNodeCount(); }

void AppTest::Focus(PVirtualNode Node) { form->Tree->SetFocusedNode(Node); }
