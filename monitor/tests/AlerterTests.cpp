#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

#include "osSettingsTestFolder.h"
#include "BaseThread.h"
#include "osDispatcher.h"
#include "osSingleInstance.h"
#include "Alerter.h"

namespace {

TDateTime FixedNow() { return EncodeDateTime(2024, 3, 9, 14, 5, 7, 0); }

const std::string kOpenLine = std::string(33, '-') + " OPEN LOG " + std::string(37, '-') + "\r\n";
const std::string kCloseLine = std::string(33, '-') + " CLOSE LOG " + std::string(36, '-') + "\r\n";

std::string LogLine(int n) { return Format("2024/03/09 14:05:07 Warning [Primary Thread] alert %d\r\n", {n}); }

// Records what the alerter shows.
class TRecordingView : public TAlertView {
public:
  std::vector<TAlertRow> Rows;
  int Updates = 0;
  void BeginUpdate() override { ++Updates; }
  void EndUpdate() override {}
  void ClearRows() override { Rows.clear(); }
  void AddRow(const TAlertRow& row) override { Rows.push_back(row); }
};

class TThreadWarner : public TBaseThread {};

class AlerterTest : public ::testing::Test {
protected:
  TTestFolder folder;
  TClockFunction savedClock = SetClock(FixedNow);
  std::string logName = folder.Path() + "/ALERTS.LOG";
  TRecordingView view;

  ~AlerterTest() override { SetClock(savedClock); }

  std::string LogText() {
    std::ifstream in(logName, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  static void AddWarnings(TAlerter& alerter, int from, int to) {
    for (int n = from; n <= to; ++n) alerter.Add(std::make_unique<EAlertWarning>(Format("alert %d", {n})));
  }

  static std::string Lines(int from, int to) {
    std::string lines;
    for (int n = from; n <= to; ++n) lines += LogLine(n);
    return lines;
  }
};

TEST_F(AlerterTest, SeverityHelpTextAndRowComeFromTheExceptionClass) {
  TAlerter alerter(logName);
  alerter.BindListView(&view);
  auto* thread = TBaseThread::Create<TThreadWarner>(true);
  alerter.AddFromThread(std::make_unique<EAlertWarning>("paper low"), thread, "Fill the tray");
  alerter.Add(std::make_unique<ERestructure>("table rebuilt"));
  alerter.AddFromThread(std::make_exception_ptr(std::runtime_error("odd")), nullptr, "given");
  alerter.Add(std::make_unique<ENoDiskSpace>("disk full"));
  alerter.Add(std::make_unique<EAlertCritical>("gone"));
  try {
    throw EAlertSerious("caught");
  } catch (...) {
    alerter.Add(std::current_exception());
  }

  ASSERT_EQ(view.Rows.size(), 6u);
  const std::string threadName = thread->GetDisplayName();
  EXPECT_EQ(view.Rows[0].Caption, "2024/03/09 14:05:07");
  EXPECT_EQ(view.Rows[0].SubItems,
            (std::vector<std::string>{"Warning", threadName + " exception: \"paper low\"", "Fill the tray"}));
  EXPECT_EQ(view.Rows[1].SubItems,
            (std::vector<std::string>{"Information", "Primary Thread: \"table rebuilt\"", "No hint"}));
  EXPECT_EQ(view.Rows[2].SubItems,
            (std::vector<std::string>{"General Error", "Primary Thread exception: \"odd\"", "given"}));
  EXPECT_EQ(view.Rows[3].SubItems[2], "Free up some disk space and restart the program.");
  EXPECT_EQ(view.Rows[4].SubItems[0], "Critical Error");
  EXPECT_EQ(view.Rows[5].SubItems[0], "Serious Error");

  TRecordingView other;
  alerter.BindListView(&other);
  EXPECT_EQ(other.Rows.size(), 6u);
  EXPECT_EQ(other.Updates, 1);

  thread->Terminate();
  thread->Resume();
  thread->WaitFor(10000);
  thread->Free();
}

TEST_F(AlerterTest, BatchesOf500AndTheLastAreLoggedByteForByte) {
  {
    TAlerter alerter(logName);
    alerter.BindListView(&view);
    AddWarnings(alerter, 1, 499);
    EXPECT_FALSE(std::filesystem::exists(logName));
    EXPECT_EQ(view.Rows.size(), 499u);
    AddWarnings(alerter, 500, 500);
    EXPECT_EQ(LogText(), kOpenLine + Lines(1, 500));
    EXPECT_EQ(alerter.Count(), 0);
    ASSERT_EQ(view.Rows.size(), 1u);  // the 500th alone, shown from its own copy
    EXPECT_EQ(view.Rows[0].SubItems[1], "Primary Thread exception: \"alert 500\"");
    AddWarnings(alerter, 501, 503);
  }
  EXPECT_EQ(LogText(), kOpenLine + Lines(1, 500) + Lines(501, 503) + kCloseLine);

  { TAlerter quiet(logName); }  // a run without alerts leaves the log alone
  EXPECT_EQ(LogText(), kOpenLine + Lines(1, 500) + Lines(501, 503) + kCloseLine);
}

TEST_F(AlerterTest, AnUnwritableLogKeepsTheAlertsForTheNextBatch) {
  const std::string missingFolder = folder.Path() + "/not-yet";
  logName = missingFolder + "/ALERTS.LOG";
  TAlerter alerter(logName);
  alerter.BindListView(&view);
  AddWarnings(alerter, 1, 700);
  EXPECT_EQ(alerter.Count(), 700);
  EXPECT_EQ(view.Rows.size(), 700u);

  std::filesystem::create_directory(missingFolder);
  AddWarnings(alerter, 701, 999);
  EXPECT_FALSE(std::filesystem::exists(logName)) << "retried before the next 500 gathered";
  AddWarnings(alerter, 1000, 1000);
  EXPECT_EQ(LogText(), kOpenLine + Lines(1, 1000));
  EXPECT_EQ(alerter.Count(), 0);
  EXPECT_EQ(view.Rows.size(), 1u);
}

TEST_F(AlerterTest, AFullDiskNeitherEndsTheProgramNorGrowsWithoutBound) {
  TAlerter alerter("/dev/full");
  AddWarnings(alerter, 1, TAlerter::kMaxKeptAlerts + 10);
  ASSERT_EQ(alerter.Count(), TAlerter::kMaxKeptAlerts);
  EXPECT_EQ(alerter.At(0)->Message, "alert 11");  // the oldest gave way
  EXPECT_THROW(alerter.FlushToLog(false), EWriteError);
  EXPECT_EQ(alerter.Count(), TAlerter::kMaxKeptAlerts);
}

class SingleInstanceStart : public ::testing::Test {
protected:
  TTestFolder folder;
  TScopedEnv home{"ORVELLE_HOME", folder.Path() + "/home"};
  TScopedEnv runtime{"XDG_RUNTIME_DIR", folder.Path()};
  std::string savedFolder = std::filesystem::current_path().string();

  ~SingleInstanceStart() override {
    FinalizeAlerter();
    std::filesystem::current_path(savedFolder);
  }

  static inline std::vector<std::string> errors;
  static void RecordError(const std::string& text, const std::string& caption) {
    errors.push_back(caption + ": " + text);
  }
};

TEST_F(SingleInstanceStart, TheFirstStartRunsInItsFolderAndShowsItselfToLaterOnes) {
  ASSERT_TRUE(CheckSingleInstance(RecordError));
  EXPECT_EQ(std::filesystem::current_path(), folder.Path() + "/home");

  TSingleInstance early("Orvelle_MUTEX");
  EXPECT_EQ(early.Claim(), TInstanceClaim::OtherNotFound) << "no window yet";

  int shown = 0;
  SetShowInstanceHandler([&] { ++shown; });
  TSingleInstance later("Orvelle_MUTEX");
  EXPECT_EQ(later.Claim(), TInstanceClaim::ShownOther);
  EXPECT_EQ(shown, 0) << "runs on the main thread only";
  MainDispatcher().ProcessPending();
  EXPECT_EQ(shown, 1);
  EXPECT_TRUE(errors.empty());
}

TEST_F(SingleInstanceStart, ALaterStartEndsAndComplainsWhenNoWindowAnswers) {
  TSingleInstance holder("Orvelle_MUTEX");
  ASSERT_EQ(holder.Claim(), TInstanceClaim::First);
  errors.clear();
  EXPECT_FALSE(CheckSingleInstance(RecordError));
  EXPECT_EQ(errors, std::vector<std::string>{"Error: Cannot find QV, even though mutex ALREADY_EXISTS!"});

  holder.SetShowHandler([] {});
  errors.clear();
  EXPECT_FALSE(CheckSingleInstance(RecordError));
  EXPECT_TRUE(errors.empty());
}

}  // namespace
