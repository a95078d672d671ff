#pragma once
// The watch thread of one print server and the lists of watch threads.
//
// A server thread's model is the server's list of printers. It owns the
// list of its printer threads (thrJobs.h) and stops them when it ends: it
// sets its stop event, waits up to 10 seconds for them to leave the list,
// and abandons those still listed. One printer thread is stopped the same
// way, told to end on its own instead of through the stop event, while the
// others go on watching. Its stop event and printer list are shared with
// its printer threads, so an abandoned printer thread may outlive the
// server thread safely.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "thrCustom.h"

class TThreadJobs;
class TThreadServer;

// How long a server waits for its printer threads before it abandons them.
inline constexpr double PrinterStopLimitDays = 10.0 / 86400;

// A lock-protected list of watch threads.
class TServerList : public TBaseThreadList {
public:
  // A server thread, made suspended, with the list's event, and listed.
  TThreadServer* AddServer(const std::string& name, PrinterHandle printerHandle);
  // Null when absent. The caller holds the list (THeldList, LockList): a
  // thread leaves the list before it is freed, so a thread found is safe to
  // use only while the list is held, and a find followed by an add is one
  // step only under one hold. Asserted.
  TThreadCustom* GetItem(int32_t index);
  // Without regard to case.
  TThreadCustom* FindByName(const std::string& name);
  int32_t Count();
  // Queues WakeApc to every thread.
  void WakeAll();

  TSimpleEvent& ListEvent() { return listEvent; }

private:
  TSimpleEvent listEvent;
};

// Every server thread. Never freed: an abandoned thread may reach it at the
// end of the process.
TServerList& ServerList();

class TThreadServer : public TThreadCustom {
public:
  TThreadServer(std::string threadName, ::PrinterHandle printerHandle);

  // The model: the enumeration's list when the windows start the thread,
  // then every re-read.
  void SetModel(std::vector<PrinterInfo2> model);
  // The server's printers under the model lock; end with UnlockModel or
  // hold it in a THeldModel.
  std::vector<PrinterInfo2>* GetPrinters();

  TServerList& Printers() { return *printers; }
  // The caller holds Printers(); null when absent (GetPrinterThread: out of
  // range).
  TThreadJobs* GetPrinterThread(int32_t index);
  TThreadJobs* FindPrinterThread(const std::string& printerName);
  // Stops every printer thread of this server (see above); on this thread.
  void StopPrinterThreads();
  // Stops the printer thread watching printerName, if any, leaving the others
  // watching; on this thread.
  void StopPrinterThread(const std::string& printerName);

  // What the last change was about, for OnChange. The printer list is read
  // again only when PrinterChanged; a change of jobs alone leaves it as it
  // was (its printers' watches read their queues).
  bool PrinterChanged = false;
  bool JobsChanged = false;
  // The change was a wake-up asking every watch to read again.
  bool RefreshAsked = false;

protected:
  void CreateNotify() override;
  void Refresh() override;
  void FirstRefresh() override;
  void RefreshAndNotify() override;
  bool HandleChange() override;
  void DoTerminate() override;
  void DoFinish() override;

private:
  friend class TThreadJobs;
  // False, keeping the list, when the server does not answer.
  bool ReadPrinters();
  // Waits up to PrinterStopLimitDays until no listed thread is stopping,
  // then abandons and unlists those still listed. Those it selects were told
  // to end; stopping only compares them, they may be gone.
  void AwaitPrinterThreads(const std::function<bool(const TBaseThread*)>& stopping);
  const std::shared_ptr<TServerList> printers = std::make_shared<TServerList>();
  const std::shared_ptr<TSimpleEvent> stopEvent = std::make_shared<TSimpleEvent>();
};
