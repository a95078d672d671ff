#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <memory>

#include "GenericWait.h"
#include "osSyncEvent.h"
#include "osSyncTicks.h"
#include "osSyncWait.h"
#include "osTestWait.h"
#include "splSimulatedSpooler.h"
#include "thrEnumRemote.h"
#include "uiTestSupport.h"

namespace {

// The form's widget of that name; a test fails at once when it is missing.
template <typename Widget>
Widget* Child(const TGenericWaitForm* form, const char* name) {
  Widget* child = form->findChild<Widget*>(name);
  if (!child) ADD_FAILURE() << "no widget " << name;
  return child;
}

class GenericWaitTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { TestApplication(); }

  void TearDown() override {
    while (WaitForm()) CloseWaitForm();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(0, RunningThreads().GetValue());
  }
};

// A thread that waits for its release without ever testing for its end.
class TDeafThread : public TBaseThread {
public:
  TOsEvent* Running = nullptr;
  TOsEvent* Release = nullptr;

protected:
  void Execute() override {
    Running->Set();
    WaitForSingleObject(Release, INFINITE);
  }
};

TEST_F(GenericWaitTest, EveryShowNeedsItsCloseAndTheBarTakesItsFirstStepAsMaximum) {
  ShowWaitForm(nullptr, "Searching...", 0, nullptr);
  TGenericWaitForm* form = WaitForm();
  ASSERT_NE(nullptr, form);
  EXPECT_EQ("Please wait...", form->windowTitle());
  EXPECT_EQ("Searching...", Child<QLabel>(form, "Label2")->text());
  EXPECT_TRUE(Child<QLabel>(form, "Label2")->font().bold());

  StepWaitForm(6);
  EXPECT_EQ(6, Child<QProgressBar>(form, "ProgressBar1")->maximum());
  EXPECT_EQ(0, Child<QProgressBar>(form, "ProgressBar1")->value());
  StepWaitForm(2);
  EXPECT_EQ(2, Child<QProgressBar>(form, "ProgressBar1")->value());
  UpdateWaitText("\\\\PRINTHOST");
  EXPECT_EQ("\\\\PRINTHOST", Child<QLabel>(form, "Label2")->text());

  ShowWaitForm(nullptr, "Terminating running threads ...", 4, nullptr);
  EXPECT_EQ(form, WaitForm());
  EXPECT_EQ("Terminating running threads ...", Child<QLabel>(form, "Label2")->text());
  EXPECT_EQ(4, Child<QProgressBar>(form, "ProgressBar1")->maximum());
  EXPECT_EQ(0, Child<QProgressBar>(form, "ProgressBar1")->value());
  CloseWaitForm();
  EXPECT_EQ(form, WaitForm());
  CloseWaitForm();
  EXPECT_EQ(nullptr, WaitForm());
  // Without a form the routines do nothing.
  StepWaitForm(3);
  UpdateWaitText("nothing");
  CloseWaitForm();
}

TEST_F(GenericWaitTest, TheFormAppearsAtItsFirstTickAndHoldsItsOwnerUntilTheLastClose) {
  QWidget owner;
  owner.show();
  ShowWaitForm(&owner, "Searching...", 0, nullptr);
  TGenericWaitForm* form = WaitForm();
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(250, Child<QTimer>(form, "Timer1")->interval());
  form->Timer1Timer();
  EXPECT_TRUE(form->isVisible());
  EXPECT_FALSE(owner.isEnabled());
  EXPECT_EQ(3000, Child<QTimer>(form, "Timer1")->interval());
  // The user cannot close it.
  EXPECT_FALSE(form->close());
  EXPECT_TRUE(form->isVisible());
  EXPECT_FALSE(form->windowFlags() & Qt::WindowCloseButtonHint);

  CloseWaitForm();
  EXPECT_TRUE(owner.isEnabled());
  EXPECT_EQ(nullptr, WaitForm());
}

TEST_F(GenericWaitTest, AbortIsOfferedForAStalledThreadAndAbandonsIt) {
  TOsEvent running({.manualReset = true}), release({.manualReset = true});
  auto* thread = TBaseThread::Create<TDeafThread>(true);
  thread->FreeOnTerminate = true;
  thread->Running = &running;
  thread->Release = &release;
  const TThreadHandle handle = thread->Handle();
  thread->Resume();
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(&running, 20000));

  ShowWaitForm(nullptr, "Searching...", 0, thread);
  TGenericWaitForm* form = WaitForm();
  form->Timer1Timer();
  // Stalled means: no test for its end since the previous tick.
  form->Timer1Timer();
  EXPECT_FALSE(Child<QPushButton>(form, "btnAbort")->isVisible());
  form->Timer1Timer();
  ASSERT_TRUE(Child<QPushButton>(form, "btnAbort")->isVisible());
  EXPECT_EQ("&Abort", Child<QPushButton>(form, "btnAbort")->text());

  Child<QPushButton>(form, "btnAbort")->click();
  EXPECT_FALSE(Child<QPushButton>(form, "btnAbort")->isVisible());
  EXPECT_EQ(nullptr, form->WatchedThread());
  EXPECT_EQ(0, RunningThreads().GetValue());
  // Once it returns it frees itself.
  release.Set();
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(handle.get(), 20000));
  CloseWaitForm();
}

TEST_F(GenericWaitTest, TheNetworkScanShowsEveryServerAndClosesTheFormAtItsEnd) {
  auto spooler = std::make_shared<TSimulatedSpooler>("\\\\WAITHOST");
  spooler->AddServer("\\\\SECOND");
  PrinterInfo2 printer;
  printer.PrinterName = "\\\\SECOND\\laser";
  spooler->AddPrinter(printer);
  SetCurrentSpooler(spooler);
  UseWaitFormForScan(nullptr);

  std::vector<std::string> seen;
  auto* scan = TBaseThread::Create<TThreadEnumerateRemote>(true, "");
  scan->OnServerFound = [&](TThreadEnumerateRemote* sender, const std::string& server, int32_t,
                            const std::vector<PrinterInfo2>&) {
    const TGenericWaitForm* form = WaitForm();
    EXPECT_TRUE(form && form->WatchedThread() == sender);
    seen.push_back(form ? Child<QLabel>(form, "Label2")->text().toStdString() + " " + std::to_string(Child<QProgressBar>(form, "ProgressBar1")->maximum())
                        : "no form");
    return false;
  };
  const TThreadHandle handle = scan->Handle();
  scan->Resume();
  ASSERT_TRUE(WaitUntil([&] { return WaitForSingleObject(handle.get(), 0) == WAIT_OBJECT_0; }));
  EXPECT_EQ(std::vector<std::string>{"\\\\SECOND 3"}, seen);
  EXPECT_EQ(nullptr, WaitForm());

  SetScanWaitForm({});
  SetCurrentSpooler(nullptr);
}

}  // namespace
