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
  TVirtualNode* AddNode(TVirtualNode* Parent);
  void DeleteNode(TVirtualNode* Node) noexcept override;
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
  void StartEnumeration(const std::string& ServerName);
  bool OnServerFound(TThreadEnumerateRemote* Sender, const std::string& ServerName, int32_t PrinterCount,
                     const std::vector<PrinterInfo2>& Buffer);
  void OnPrinterFound(TThreadEnumerateRemote* Sender, const std::string& ServerName, const PrinterInfo2& Printer);
  void StartPrinterWatch(TThreadServer& Server, const PrinterInfo2& Printer);
  void OnServerChanged(TThreadCustom* Sender);
  void OnPrinterJobsChanged(TThreadCustom* Sender);
  // True when every thread ended within LimitMs.
  bool ShutdownMonitoring(uint32_t LimitMs);

  // Serves the dispatcher until Condition holds; false after LimitMs.
  static bool WaitUntil(const std::function<bool()>& Condition, uint32_t LimitMs = 20000);
  // Waits until the printer's thread has made its start's read and then
  // reported a change that came by notification: its watch is open then.
  // Probe makes such a change; it is repeated while none arrives.
  bool WaitUntilWatched(const std::string& Printer, const std::function<void()>& Probe);
  bool EnumerationsEnded();

  // Under the list locks; false when the server or printer has no thread.
  bool HasPrinterThread(const std::string& Server, const std::string& Printer);
  // A copy of the printer's queue model.
  std::optional<PrinterQueue> QueueOf(const std::string& Server, const std::string& Printer);
  // A copy of the job's pending entry.
  static std::optional<TPendingJob> PendingJob(const std::string& Printer, uint32_t JobId);
  // Takes every pending entry of the printer out of the list, as the data
  // thread's last flush does.
  static std::vector<TPendingJob> TakePendingJobs(const std::string& Printer);

  std::vector<std::string> Alerts();
  int ServerChanges(const std::string& Server, bool PrinterChanged);
  int JobsChanges(const std::string& Printer);
  // The highest sequence number of a thread that called back for the
  // printer; 0 when none did.
  int32_t LatestCaller(const std::string& Printer);
  // The sequence number of the printer's listed thread; 0 when none.
  int32_t ListedThread(const std::string& Server, const std::string& Printer);
  int DataThreadWakes() const { return dataThreadWakes; }

  // What the enumeration reported, in order: "server NAME", "printer NAME".
  // Main thread only.
  std::vector<std::string> Reported;
  // Set before the threads start.
  std::set<std::string> Excluded;
  // Runs in the printer thread after each of its changes was recorded.
  std::function<void(TThreadJobs& Thread)> AfterJobsChanged;

  const std::shared_ptr<TTreeStub> Tree = std::make_shared<TTreeStub>();

private:
  bool IsExcluded(const std::string& Name) const;

  std::mutex lock;
  std::vector<std::string> alerts;
  std::map<std::pair<std::string, bool>, int> serverChanges;
  std::map<std::string, int> jobsChanges;
  std::map<std::string, int32_t> latestCallers;
  std::vector<TThreadHandle> enumerations;
  std::atomic<int> dataThreadWakes{0};
  bool shutDown = false;
};
