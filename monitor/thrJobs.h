#pragma once
// The watch thread of one printer: keeps the printer's queue model current
// from the spooler's change notifications, feeds every job field into the
// pending-job list (through the model), and wakes the data thread whenever
// a job left the queue or a full re-read was asked for. It belongs to one
// server thread, which stops it.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "Queue.h"
#include "thrCustom.h"

class TServerList;
class TThreadServer;

// How a printer thread wakes the data thread so that it moves the finished
// jobs into the table. Installed by the data thread's side; until then a
// wake-up reaches nobody.
void SetDataThreadWake(std::function<void()> wake);

// The printer threads that exist, abandoned ones included.
int32_t PrinterThreadCount();

class TThreadJobs : public TThreadCustom {
public:
  TThreadJobs(std::string threadName, ::PrinterHandle printerHandle);

  // Before Resume: takes the server's stop event and printer list (shared,
  // so they outlive the server for this thread) and its list event. The
  // creator then adds the thread to server.Printers().
  void SetServer(TThreadServer& server);

  // The queue model under the model lock; end with UnlockModel or hold it
  // in a THeldModel.
  PrinterQueue* GetQueue();
  // The model held at least one job after the last change.
  bool HasJobs() const { return hasJobs; }

protected:
  void Initialize() override;
  void DoTerminate() override;
  void DoStart() override;
  void CreateNotify() override;
  void SetWaitHandles() override;
  bool CanContinue() override;
  void Refresh() override;
  void FirstRefresh() override;
  bool HandleChange() override;
  // A job heard of as the end began still reaches its pending entry, so
  // that the last flush records it.
  void KeepLastChanges() override;
  void NotifyRefresh() override;

private:
  void ApplyToModel(const PrinterNotifyInfo& info);
  // The jobs of the printer's history go to the pending list, so that
  // those that ended before the watch began (while the program was not
  // running, or before the printer's watch opened) are recorded once.
  // Tried again at later changes while the server does not answer.
  void TakeJobHistory();
  // Counted in JobHistoriesDue until the first try ended.
  void HistoryTried();
  bool historyDue = true;
  bool historyCounted = false;

  std::shared_ptr<TSimpleEvent> serverStop;
  std::shared_ptr<TServerList> serverPrinters;
  std::atomic<bool> hasJobs{false};
};
