#pragma once
// The app layer's test kit: an offscreen application serving the
// dispatcher, a private program folder and settings file, a simulated
// spooler whose local server is this computer, the main window made and
// shut down in order, and waits that pump Qt's events and the dispatcher.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "osSettingsTestFolder.h"
#include "Main.h"
#include "splSimulatedSpooler.h"
#include "splTestJobs.h"
#include "uiDialogs.h"

// Pumps until condition holds; false after limitMs.
bool PumpUntil(const std::function<bool()>& condition, int limitMs = 20000);

// The process-wide count of running threads.
int32_t RunningThreadCount();

// A name no earlier test of this process used: pending jobs are process-wide.
std::string UniqueQueue(const std::string& prefix);

class TThreadJobs;
// Calls use with the printer's watch thread while the server and printer
// lists are held; false when no server lists one.
bool WithPrinterThread(const std::string& printer, const std::function<void(TThreadJobs&)>& use);

// Holds the pending-job list while use runs: a watch thread applying a
// change waits for it.
void WithPendingListHeld(const std::function<void()>& use);
// The application's end signalled, as the orderly shutdown begins it.
void SignalEnd();

// Prints the job all through and takes it off the queue, as a finished job goes.
void FinishJob(TSimulatedSpooler& spooler, const std::string& printer, uint32_t id);

class AppTest : public ::testing::Test {
protected:
  TTestFolder folder;
  TScopedEnv home{"ORVELLE_HOME", folder.Path() + "/home"};
  TScopedEnv config{"XDG_CONFIG_HOME", folder.Path() + "/config"};
  const std::string Local;
  std::shared_ptr<TSimulatedSpooler> spooler;
  std::unique_ptr<TOrvelle_MainForm> form;
  // The message boxes asked, and the answer every one gets.
  std::vector<TMessageBoxRequest> asked;
  TModalResult answer = mrYes;
  std::string typedServer;
  // Start-up's database check and data module, before the window.
  bool withDatabase = true;

  AppTest();
  void SetUp() override;
  void TearDown() override;

  // A printer "\\SERVER\queue" with recognisable fields.
  std::string AddPrinter(const std::string& server, const std::string& queue, uint32_t attributes = 0);
  // Makes the window and lets its first tick start the discovery; waits
  // until every printer named has a node and its thread is watching.
  void StartForm(const std::vector<std::string>& printers);
  // Makes the window and starts its discovery, waiting for nothing (a
  // spooler other than the simulated one).
  void StartFormOnly();
  // The orderly end and the window freed.
  void CloseForm();
  // Waits until the printer's thread has made its first read.
  void WaitWatched(const std::string& printer);

  std::vector<std::string> ChildTexts(PVirtualNode parent);
  std::string ListText(int row, int column);
  uint32_t ListRowCount();
  void Focus(PVirtualNode node);
  int ImageOf(PVirtualNode node);
};
