#pragma once
// Keeps one CUPS server's state current in the notification hub while
// notifications watch it: a thread pulls the server's IPP event
// subscription (or, where subscriptions are refused, just looks at every
// interval) and on every event reads the printers and job lists again.
// Jobs that finished since the last look are found through the completed
// jobs above a watermark that were not in the previous completed list, so a
// job that came and went between two looks, or between the reads of one
// look, is still reported, first with its final fields, then as left.
//
// A server that stops answering (stopped, restarting, unreachable) keeps
// its notifications: the watch reports the outage once, looks again from
// the poll interval doubling to RetryMaxMs apart, and when the server
// answers reads every queue and the completed jobs from the watermark, so
// the jobs that ended while it was away are reported once each. Past
// OutageLimitMs the server's notifications fail. A server that does not
// answer when its first notification opens is the same outage: the
// notification opens on nothing, and the look that finds the server again
// reads the baseline, all of which is news to it (the jobs that ended
// meanwhile are in the completed-jobs history).

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "splCupsConfig.h"
#include "splCupsReader.h"
#include "splCupsSession.h"
#include "splNotifyHub.h"
#include "splServerNotice.h"

class TCupsServerWatch {
 public:
  // Notify hears of outages, on the watch's thread.
  TCupsServerWatch(const CupsConfig& Config, std::string Server, std::string Host, int Port, TSpoolNotifyHub& Hub,
                   SpoolServerNoticeHandler Notify);
  ~TCupsServerWatch();
  TCupsServerWatch(const TCupsServerWatch&) = delete;
  TCupsServerWatch& operator=(const TCupsServerWatch&) = delete;

  // Before a new notification opens: when nothing watches the server yet,
  // reads its state as the new baseline, or leaves that to the looks while
  // the server does not answer; starts the thread once.
  OsError Prepare();
  // The last look succeeded: the hub's state of the server is as current as
  // a request would be (a poll interval old at most).
  bool Current() const { return current_; }

 private:
  void Run();
  bool WaitStop(std::chrono::milliseconds Wait);
  // A look, and what its outcome means for an outage; a notice to hand on.
  std::optional<SpoolServerNotice> LookAndJudge(TCupsSession& Session);
  OsError Look(TCupsSession& Session);
  OsError ReadBaseline(TCupsSession& Session, SpoolServerState& State);
  OsError Reconcile(TCupsSession& Session);
  OsError Subscribe(TCupsSession& Session);
  OsError PullEvents(TCupsSession& Session, bool& Events);
  OsError ReadChangedPrinters(TCupsSession& Session);
  void SetPrinters(std::vector<PrinterInfo2> Printers);
  void PublishTouched(const std::vector<SpoolJobState>& Queued, const std::vector<SpoolJobState>& Finished);
  // Positions in printers_ of the printers with jobs in Queued, and of one.
  std::set<size_t> BusyPrinters(const std::vector<SpoolJobState>& Queued) const;
  std::optional<size_t> PrinterAt(const std::string& PrinterName) const;
  void RenewWhenDue(TCupsSession& Session);
  void Unsubscribe(TCupsSession& Session);

  const CupsConfig config_;
  const std::string server_;
  const std::string host_;
  const int port_;
  TSpoolNotifyHub& hub_;
  const SpoolServerNoticeHandler notify_;

  std::mutex lookLock_;  // one look at a time, the thread's or Prepare's
  // Invariant after each look: every job up to watermark_ is in active_ or
  // ended_, or was in a completed list before; ended_ holds the last
  // completed list, which starts at or below watermark_ + 1.
  uint32_t watermark_ = 0;
  std::set<uint32_t> active_;
  std::set<uint32_t> ended_;
  uint32_t endedMax_ = 0;
  bool lookDue_ = false;
  // The hub holds no state of the server: the next look reads the baseline.
  bool baselineDue_ = false;
  // The outage passed its limit: a new notification is refused until the
  // server answers, so that a thread that opens one late does not keep
  // watching a server whose printers were told unwatched.
  bool givenUp_ = false;
  // The printers as last read. A job's events change queues, not the
  // printer list: the whole list is read again only when a printer came,
  // went or changed its configuration (or no events say what changed),
  // otherwise just the printers whose state changed.
  std::vector<PrinterInfo2> printers_;
  CupsPrinterIndex printerIndex_;
  bool printersDue_ = true;
  std::set<std::string> changedPrinters_;  // queue names
  // A printer's state as its last event told it (every CUPS event of a
  // printer carries its state): no request is needed to learn it.
  std::unordered_map<std::string, uint32_t> eventStatus_;  // by queue name
  // What the hub holds of printers_: false until a whole state is published
  // after the list was read. Then a look publishes only the printers it
  // touched: those read or told of again, and those with jobs now or at the
  // last look (their positions in printers_).
  bool published_ = false;
  std::set<size_t> touched_;
  std::set<size_t> busy_;
  std::atomic<bool> current_{false};
  int subscription_ = 0;
  int sequence_ = 0;
  bool pollOnly_ = false;
  std::chrono::steady_clock::time_point renewAt_;
  TSpoolOutage outage_;  // the thread's own

  std::mutex stopLock_;
  std::condition_variable stopSignal_;
  // Also read by the thread's session, to cut a hanging request short.
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};
