#include "appTestSupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <cstdlib>
#include <optional>

#include "AppDatabase.h"
#include "AppMonitor.h"
#include "JobsTable.h"
#include "Program.h"
#include "VirtualStringTree.h"
#include "osDispatcher.h"
#include "osProgram.h"
#include "osSyncWait.h"
#include "splConstants.h"

namespace {

QApplication& Application() {
  static QApplication* application = [] {
    // Offscreen, so that tests need no display; screenshots for a person are
    // taken on a real X server with ORVELLE_TEST_PLATFORM=xcb under xvfb-run.
    const char* platform = std::getenv("ORVELLE_TEST_PLATFORM");
    setenv("QT_QPA_PLATFORM", platform && *platform ? platform : "offscreen", 1);
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

bool PumpUntil(const std::function<bool()>& condition, int limitMs) {
  QElapsedTimer clock;
  clock.start();
  while (!condition()) {
    if (clock.elapsed() > limitMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    MainDispatcher().ProcessPending();
    WaitForObjects({}, 1, TWaitOptions{.serveDispatcher = true});
  }
  return true;
}

bool WithPrinterThread(const std::string& printer, const std::function<void(TThreadJobs&)>& use) {
  bool found = false;
  for (TBaseThread* thread : ServerList().LockList()) {
    auto* server = static_cast<TThreadServer*>(thread);
    THeldList held(server->Printers());
    if (TThreadJobs* jobs = server->FindPrinterThread(printer)) {
      use(*jobs);
      found = true;
    }
  }
  ServerList().UnlockList();
  return found;
}

void WithPendingListHeld(const std::function<void()>& use) {
  TJobListLock held;
  use();
}

void SignalEnd() { SignalAppTerminate(); }

void FinishJob(TSimulatedSpooler& spooler, const std::string& printer, uint32_t id) {
  spooler.ProgressJob(printer, id, 2, 1024);
  spooler.PrintJob(printer, id);
  spooler.RemoveJob(printer, id);
}

int32_t RunningThreadCount() { return RunningThreads().GetValue(); }

std::string UniqueQueue(const std::string& prefix) {
  static int runs = 0;
  return prefix + std::to_string(++runs);
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
  SetMessageBoxRunner([this](const TMessageBoxRequest& request) {
    asked.push_back(request);
    return answer;
  });
  SetInputQueryRunner([this](const TInputQueryRequest&, std::string& value) {
    if (typedServer.empty()) return false;
    value = typedServer;
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

std::string AppTest::AddPrinter(const std::string& server, const std::string& queue, uint32_t attributes) {
  PrinterInfo2 printer;
  printer.PrinterName = server + "\\" + queue;
  printer.ShareName = queue;
  printer.PortName = "LPT1:";
  printer.DriverName = "Generic Driver";
  printer.Location = "Floor 2";
  printer.Comment = "by the stairs";
  printer.Attributes = attributes;
  spooler->AddPrinter(printer);
  return printer.PrinterName;
}

void AppTest::StartFormOnly() {
  AppTerminateEvent().ResetEvent();
  form = std::make_unique<TOrvelle_MainForm>();
  form->startTimer.Trigger();
}

void AppTest::StartForm(const std::vector<std::string>& printers) {
  AppTerminateEvent().ResetEvent();
  form = std::make_unique<TOrvelle_MainForm>();
  form->startTimer.Trigger();
  ASSERT_TRUE(PumpUntil([&] {
    for (const std::string& printer : printers)
      if (!form->FindPrinterNode(printer)) return false;
    return true;
  }));
  for (const std::string& printer : printers) WaitWatched(printer);
}

namespace {

// The printer's model status; nullopt before the thread's first read.
std::optional<uint32_t> ModelStatus(const std::string& printer) {
  std::optional<uint32_t> status;
  WithPrinterThread(printer, [&](TThreadJobs& jobs) {
    THeldModel held(jobs, jobs.GetQueue());
    const PrinterQueue* queue = held.Get();
    if (queue && !queue->PrinterName.empty()) status = queue->Status;
  });
  return status;
}

}  // namespace

void AppTest::WaitWatched(const std::string& printer) {
  ASSERT_TRUE(PumpUntil([&] { return ModelStatus(printer).has_value(); })) << printer;
  // The watch may open after the first read: a status change that reaches
  // the model proves it open. Repeated until one does.
  bool watched = false;
  for (int attempt = 0; attempt < 80 && !watched; ++attempt) {
    const uint32_t status = attempt % 2 == 0 ? PRINTER_STATUS_PAUSED : PRINTER_STATUS_ERROR;
    spooler->SetPrinterStatus(printer, status);
    watched = PumpUntil([&] { return ModelStatus(printer) == status; }, 250);
  }
  spooler->SetPrinterStatus(printer, 0);
  ASSERT_TRUE(watched) << printer;
  ASSERT_TRUE(PumpUntil([&] { return ModelStatus(printer) == 0u; })) << printer;
}

void AppTest::CloseForm() {
  if (!form) return;
  form->ShutdownMonitoring();
  form.reset();
}

std::vector<std::string> AppTest::ChildTexts(PVirtualNode parent) {
  std::vector<std::string> texts;
  PVirtualNode first = parent ? parent->FirstChild : form->Tree->RootNode()->FirstChild;
  for (PVirtualNode node = first; node; node = node->NextSibling)
    texts.push_back(form->Tree->GetText(node, form->Tree->Header().MainColumn()));
  return texts;
}

std::string AppTest::ListText(int row, int column) {
  PVirtualNode node = form->TreeList->GetFirst();
  for (int i = 0; node && i < row; ++i) node = node->NextSibling;
  return node ? form->TreeList->GetText(node, column) : std::string("<no row>");
}

int AppTest::ImageOf(PVirtualNode node) {
  int index = -1;
  form->Tree->OnGetImageIndex(form->Tree, node, ikNormal, form->Tree->Header().MainColumn(), index);
  return index;
}

uint32_t AppTest::ListRowCount() { return form->TreeList->RootNodeCount(); }

void AppTest::Focus(PVirtualNode node) { form->Tree->SetFocusedNode(node); }
