#pragma once
// Watch-thread tests on a private cupsd: one queue "q1", watched through the
// CUPS back end by the headless windows, its watch known to be open.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "splCupsSpooler.h"
#include "splPrivateCupsd.h"
#include "thrWatchTestSupport.h"

class CupsWatchFixture : public ::testing::Test {
protected:
  explicit CupsWatchFixture(const std::string& host) : Local(UniqueName(host)), Q1(Local + "\\q1") {}

  // Starts cupsd, the spooler and the enumeration of its printers, and waits
  // until q1's watch reports changes. beforeEnumeration runs just before the
  // watch threads start.
  void StartWatching(const std::function<void()>& beforeEnumeration = {}) {
    ASSERT_EQ(0, RunningThreads().GetValue());
    ASSERT_TRUE(cupsd.Start()) << cupsd.Error();
    ASSERT_TRUE(cupsd.AddQueue("q1"));
    CupsConfig config = cupsd.Config(Local);
    // A restart is looked for often enough to keep the tests short.
    config.RetryMaxMs = 400;
    spooler = std::make_shared<TCupsSpooler>(config);
    SetCurrentSpooler(spooler);
    harness = std::make_unique<TWatchHarness>();
    if (beforeEnumeration) beforeEnumeration();
    harness->StartEnumeration(Local);
    ASSERT_TRUE(harness->WaitUntil([&] { return harness->EnumerationsEnded() && PrinterThreadCount() == 1; }));
    bool enabled = true;
    ASSERT_TRUE(harness->WaitUntilWatched(Q1, [&] {
      enabled = !enabled;
      enabled ? cupsd.EnableQueue("q1") : cupsd.DisableQueue("q1");
    }));
    ASSERT_TRUE(cupsd.EnableQueue("q1"));
  }

  // After the harness is gone: no thread is left and the spooler goes.
  void StopSpooler() {
    EXPECT_EQ(0, RunningThreads().GetValue());
    SetCurrentSpooler(nullptr);
    spooler.reset();
  }

  const std::string Local;
  const std::string Q1;
  TPrivateCupsd cupsd;
  std::shared_ptr<TCupsSpooler> spooler;
  std::unique_ptr<TWatchHarness> harness;
};
