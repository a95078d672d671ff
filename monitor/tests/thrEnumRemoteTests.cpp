#include "thrWatchTestSupport.h"

namespace {

class EnumerationTest : public SimulatedWatchTest {
protected:
  // What the wait form was asked to do, in order; main thread only.
  std::vector<std::string> waitForm;
  std::function<void(const std::string&)> onWaitText;

  void SetUp() override {
    SimulatedWatchTest::SetUp();
    SetScanWaitForm({[this](const std::string& message, int32_t maximum, TBaseThread*) {
                       waitForm.push_back("show " + message + " " + std::to_string(maximum));
                     },
                     [this](int32_t position) { waitForm.push_back("step " + std::to_string(position)); },
                     [this](const std::string& text) {
                       waitForm.push_back("text " + text);
                       if (onWaitText) onWaitText(text);
                     },
                     [this](TBaseThread*) { waitForm.push_back("close"); }});
  }
};

TEST_F(EnumerationTest, TheNetworkScanReportsAcceptedServersAndGoesOnPastOneThatCannotBeListed) {
  const std::string empty = UniqueName("\\\\EMPTY"), refused = UniqueName("\\\\REFUSED"),
                    down = UniqueName("\\\\DOWN"), late = UniqueName("\\\\LATE");
  for (const std::string& server : {empty, refused, down, late}) spooler->AddServer(server);
  const std::string laser = AddPrinter(Local, "laser"), ink = AddPrinter(Local, "ink");
  AddPrinter(refused, "hidden");
  AddPrinter(down, "lost");
  const std::string lateOne = AddPrinter(late, "late");
  harness->Excluded = {refused};
  // The server drops off the network after the scan listed it.
  onWaitText = [&](const std::string& text) {
    if (text == down) spooler->SetServerReachable(down, false);
  };

  harness->StartEnumeration("");
  ASSERT_TRUE(harness->WaitUntil([&] { return harness->EnumerationsEnded() && PrinterThreadCount() == 3; }));
  const std::vector<std::string> reported = {"server " + Local, "printer " + laser, "printer " + ink,
                                             "server " + refused, "server " + late, "printer " + lateOne};
  EXPECT_EQ(reported, harness->Reported);
  const std::vector<std::string> steps = {"show Searching... 0", "step 6", "text " + Local, "step 1",
                                          "text " + empty,       "step 2", "text " + refused, "step 3",
                                          "text " + down,        "step 4", "text " + late,    "step 5",
                                          "close"};
  EXPECT_EQ(steps, waitForm);
  const std::vector<std::string> alerts = harness->Alerts();
  ASSERT_EQ(1u, alerts.size());
  EXPECT_EQ(0u, alerts[0].rfind("EAlertSerious: ", 0)) << alerts[0];
  EXPECT_EQ(2, ServerList().Count());
  EXPECT_TRUE(harness->HasPrinterThread(late, lateOne));

  ASSERT_TRUE(harness->ShutdownMonitoring(20000));
}

TEST_F(EnumerationTest, ListingOneServerLeavesTheWaitFormAloneAndSkipsServersWithoutPrinters) {
  const std::string empty = UniqueName("\\\\EMPTY"), gone = UniqueName("\\\\GONE");
  spooler->AddServer(empty);
  spooler->AddServer(gone);
  spooler->SetServerReachable(gone, false);
  const std::string laser = AddPrinter(Local, "laser");

  harness->StartEnumeration(Local);
  harness->StartEnumeration(empty);
  harness->StartEnumeration(gone);
  ASSERT_TRUE(harness->WaitUntil([&] { return harness->EnumerationsEnded() && PrinterThreadCount() == 1; }));
  EXPECT_EQ((std::vector<std::string>{"server " + Local, "printer " + laser}), harness->Reported);
  EXPECT_TRUE(waitForm.empty());
  EXPECT_EQ(1u, harness->Alerts().size());

  // A second listing of a watched server starts nothing new.
  harness->StartEnumeration(Local);
  ASSERT_TRUE(harness->WaitUntil([&] { return harness->EnumerationsEnded(); }));
  EXPECT_EQ(4u, harness->Reported.size());
  EXPECT_EQ(1, ServerList().Count());
  EXPECT_EQ(1, PrinterThreadCount());

  ASSERT_TRUE(harness->ShutdownMonitoring(20000));
}

}  // namespace
