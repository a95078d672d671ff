#pragma once
// A headless stand-in for the main window: the routines and callbacks that
// create and feed the watch threads, a tree that records its nodes, the
// application's exception handler collecting alerts, and waits that serve
// the main-thread dispatcher. Tests drive it from the main thread; the data
// thread's part is played by taking jobs from the pending list.

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "JobsTable.h"
#include "thrEnumRemote.h"
#include "thrJobs.h"
#include "thrServer.h"

// The tree's node record, as the tree control will define it.
struct TVirtualNode {
  TVirtualNode* Parent = nullptr;
  bool Deleted = false;
};

class TTreeStub : public TWatchNodeOwner {
public:
  TVirtualNode* AddNode(TVirtualNode* parent);
  void DeleteNode(TVirtualNode* node) noexcept override;
  int LiveNodes();

private:
  std::mutex lock;
  std::vector<std::unique_ptr<TVirtualNode>> nodes;
};

class TWatchHarness {
public:
  TWatchHarness();
  // Shuts down what a failed test left running.
  ~TWatchHarness();

  // The windows' routines and callbacks.
  void StartEnumeration(const std::string& serverName);
  bool OnServerFound(TThreadEnumerateRemote* sender, const std::string& serverName, int32_t printerCount,
                     const std::vector<PrinterInfo2>& buffer);
  void OnPrinterFound(TThreadEnumerateRemote* sender, const std::string& serverName, const PrinterInfo2& printer);
  void StartPrinterWatch(TThreadServer& server, const PrinterInfo2& printer);
  void OnServerChanged(TThreadCustom* sender);
  void OnPrinterJobsChanged(TThreadCustom* sender);
  // True when every thread ended within limitMs.
  bool ShutdownMonitoring(uint32_t limitMs);

  // Serves the dispatcher until condition holds; false after limitMs.
  static bool WaitUntil(const std::function<bool()>& condition, uint32_t limitMs = 20000);
  // Waits until the printer's thread has made its start's read and then
  // reported a change that came by notification: its watch is open then.
  // probe makes such a change; it is repeated while none arrives.
  bool WaitUntilWatched(const std::string& printer, const std::function<void()>& probe);
  bool EnumerationsEnded();

  // Under the list locks; false when the server or printer has no thread.
  bool HasPrinterThread(const std::string& serverName, const std::string& printerName);
  // A copy of the printer's queue model.
  std::optional<PrinterQueue> QueueOf(const std::string& serverName, const std::string& printerName);
  // A copy of the job's pending entry.
  static std::optional<TPendingJob> PendingJob(const std::string& printer, uint32_t jobId);
  // Takes every pending entry of the printer out of the list, as the data
  // thread's last flush does.
  static std::vector<TPendingJob> TakePendingJobs(const std::string& printer);

  std::vector<std::string> Alerts();
  int ServerChanges(const std::string& server, bool printerChanged);
  int JobsChanges(const std::string& printer);
  // The highest sequence number of a thread that called back for the
  // printer; 0 when none did.
  int32_t LatestCaller(const std::string& printer);
  // The sequence number of the printer's listed thread; 0 when none.
  int32_t ListedThread(const std::string& serverName, const std::string& printerName);
  int DataThreadWakes() const { return dataThreadWakes; }

  // What the enumeration reported, in order: "server NAME", "printer NAME".
  // Main thread only.
  std::vector<std::string> Reported;
  // Set before the threads start.
  std::set<std::string> Excluded;
  // Runs in the printer thread after each of its changes was recorded.
  std::function<void(TThreadJobs& thread)> AfterJobsChanged;
  // Runs before a printer's watch thread is made, on the thread that makes
  // it (a server's thread for a printer added at run time).
  void SetBeforePrinterWatch(std::function<void(const PrinterInfo2& printer)> hook);

  const std::shared_ptr<TTreeStub> Tree = std::make_shared<TTreeStub>();

private:
  bool IsExcluded(const std::string& name) const;

  std::mutex lock;
  std::vector<std::string> alerts;
  std::map<std::pair<std::string, bool>, int> serverChanges;
  std::map<std::string, int> jobsChanges;
  std::map<std::string, int32_t> latestCallers;
  std::vector<TThreadHandle> enumerations;
  std::atomic<int> dataThreadWakes{0};
  std::function<void(const PrinterInfo2& printer)> beforePrinterWatch;
  bool shutDown = false;
};
