#include <cups/cups.h>
#include <gmock/gmock.h>

#include <chrono>

#include "thrCupsWatchFixture.h"

namespace {

constexpr uint32_t Finished = JOB_STATUS_PRINTED | JOB_STATUS_DELETED;

class CupsWatchTest : public CupsWatchFixture {
protected:
  CupsWatchTest() : CupsWatchFixture("\\\\CUPSHOST") {}

  void SetUp() override { StartWatching(); }

  void TearDown() override {
    harness.reset();
    StopSpooler();
  }

  bool AllFinished(const std::vector<uint32_t>& ids, uint32_t limitMs) {
    return harness->WaitUntil(
        [&] {
          for (const uint32_t id : ids) {
            const auto entry = harness->PendingJob(Q1, id);
            if (!entry || !(entry->Status & JOB_STATUS_DELETED)) return false;
          }
          return true;
        },
        limitMs);
  }

  static void ExpectJob(const TPendingJob& entry, const std::string& document, uint32_t status, size_t bytes) {
    EXPECT_EQ(document, entry.Document);
    EXPECT_EQ(status, entry.Status) << document;
    EXPECT_EQ(cupsUser(), entry.UserName);
    // CUPS counts sizes in whole kilobytes.
    EXPECT_GE(entry.Size, bytes);
    EXPECT_LT(entry.Size, bytes + 1024);
    EXPECT_GT(entry.Submitted, 0);
  }
};

TEST_F(CupsWatchTest, PrintedCancelledAndReleasedJobsReachThePendingList) {
  const std::string file = cupsd.WriteFile("memo.txt", 5000);
  const uint32_t printed = cupsd.Submit("q1", file, "Memo");
  const uint32_t held = cupsd.Submit("q1", file, "Held memo", true);
  const uint32_t cancelled = cupsd.Submit("q1", file, "Cancelled memo", true);
  ASSERT_NE(0u, cancelled);
  ASSERT_TRUE(harness->WaitUntil([&] {
    const auto entry = harness->PendingJob(Q1, cancelled);
    return harness->PendingJob(Q1, held) && entry && entry->Document == "Cancelled memo";
  }));
  EXPECT_TRUE(harness->PendingJob(Q1, held)->Status & JOB_STATUS_PAUSED);
  ASSERT_TRUE(cupsd.Cancel(cancelled));
  ASSERT_TRUE(cupsd.Release(held));

  ASSERT_TRUE(AllFinished({printed, held, cancelled}, 30000));
  ExpectJob(*harness->PendingJob(Q1, printed), "Memo", Finished, 5000);
  ExpectJob(*harness->PendingJob(Q1, held), "Held memo", Finished, 5000);
  ExpectJob(*harness->PendingJob(Q1, cancelled), "Cancelled memo", JOB_STATUS_DELETED, 5000);
  EXPECT_EQ(Local, harness->PendingJob(Q1, printed)->MachineName);
  EXPECT_GE(harness->DataThreadWakes(), 1);
  EXPECT_THAT(harness->Alerts(), testing::IsEmpty());

  ASSERT_TRUE(harness->ShutdownMonitoring(20000));
  EXPECT_EQ(3u, harness->TakePendingJobs(Q1).size());
}

TEST_F(CupsWatchTest, EveryJobOfATightLoopIsSeenWithItsFinalState) {
  const std::string file = cupsd.WriteFile("page.txt", 200);
  constexpr int count = 200;
  std::vector<uint32_t> ids;
  for (int i = 0; i < count; ++i) {
    ids.push_back(cupsd.Submit("q1", file, "Page " + std::to_string(i)));
    ASSERT_NE(0u, ids.back());
  }
  ASSERT_TRUE(AllFinished(ids, 120000));
  for (int i = 0; i < count; ++i) ExpectJob(*harness->PendingJob(Q1, ids[i]), "Page " + std::to_string(i), Finished, 200);
  EXPECT_THAT(harness->Alerts(), testing::IsEmpty());

  ASSERT_TRUE(harness->ShutdownMonitoring(20000));
  EXPECT_EQ(static_cast<size_t>(count), harness->TakePendingJobs(Q1).size());
}

TEST_F(CupsWatchTest, AStoppedAndRestartedDaemonIsOneAlertAndEveryThreadStays) {
  const uint32_t held = cupsd.Submit("q1", cupsd.WriteFile("held.txt", 100), "Held", true);
  ASSERT_TRUE(harness->WaitUntil([&] { return harness->PendingJob(Q1, held).has_value(); }));

  cupsd.Stop();
  ASSERT_TRUE(harness->WaitUntil([&] { return !harness->Alerts().empty(); }, 20000));
  EXPECT_EQ(1, PrinterThreadCount());
  EXPECT_EQ(1, ServerList().Count());
  ASSERT_TRUE(cupsd.Start()) << cupsd.Error();
  ASSERT_TRUE(cupsd.Release(held));
  ASSERT_TRUE(AllFinished({held}, 30000));
  ASSERT_TRUE(harness->WaitUntil([&] { return harness->Alerts().size() >= 2; }, 20000));
  const std::vector<std::string> alerts = harness->Alerts();
  ASSERT_EQ(2u, alerts.size());
  EXPECT_EQ(0u, alerts[0].rfind("EAlertWarning: Print server \"" + Local + "\" does not answer: ", 0)) << alerts[0];
  EXPECT_EQ(std::string::npos, alerts[0].find("System error")) << alerts[0];
  EXPECT_EQ(0u, alerts[1].rfind("EAlertInfo: ", 0)) << alerts[1];
  EXPECT_EQ(1, PrinterThreadCount());
  EXPECT_EQ(1, ServerList().Count());

  ASSERT_TRUE(harness->ShutdownMonitoring(20000));
  const std::vector<TPendingJob> handedOver = harness->TakePendingJobs(Q1);
  ASSERT_EQ(1u, handedOver.size());
  EXPECT_EQ(Finished, handedOver[0].Status);
}

TEST_F(CupsWatchTest, ShutdownDuringAnOutageIsPrompt) {
  cupsd.Stop();
  ASSERT_TRUE(harness->WaitUntil([&] { return !harness->Alerts().empty(); }, 20000));
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(harness->ShutdownMonitoring(20000));
  SetCurrentSpooler(nullptr);
  spooler.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

}  // namespace
