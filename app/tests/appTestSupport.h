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

// Pumps until Condition holds; false after LimitMs.
bool PumpUntil(const std::function<bool()>& Condition, int LimitMs = 20000);

// A name no earlier test of this process used: pending jobs are process-wide.
std::string UniqueQueue(const std::string& Prefix);

class TThreadJobs;
// Runs Use on the printer's watch thread while the server and printer lists
// are held; false when no server lists one.
bool WithPrinterThread(const std::string& Printer, const std::function<void(TThreadJobs&)>& Use);

// Prints the job all through and takes it off the queue, as a finished job goes.
void FinishJob(TSimulatedSpooler& Spooler, const std::string& Printer, uint32_t Id);

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
  std::string AddPrinter(const std::string& Server, const std::string& Queue, uint32_t Attributes = 0);
  // Makes the window and lets its first tick start the discovery; waits
  // until every printer named has a node and its thread is watching.
  void StartForm(const std::vector<std::string>& Printers);
  // The orderly end and the window freed.
  void CloseForm();
  // Waits until the printer's thread has made its first read.
  void WaitWatched(const std::string& Printer);

  std::vector<std::string> ChildTexts(PVirtualNode Parent);
  std::string ListText(int Row, int Column);
  uint32_t ListRowCount();
  void Focus(PVirtualNode Node);
  int ImageOf(PVirtualNode Node);
};
