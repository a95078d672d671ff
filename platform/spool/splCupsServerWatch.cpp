#include "splCupsServerWatch.h"

#include <algorithm>
#include <map>
#include <unordered_map>

#include "splCupsReader.h"
#include "splCupsRecords.h"
#include "splNames.h"

namespace {

const char* const WatchedEvents[] = {"job-created",     "job-state-changed", "job-completed",
                                     "job-progress",    "job-config-changed", "printer-added",
                                     "printer-deleted", "printer-modified",  "printer-state-changed"};

// The printers with the given jobs in their queues, positions counted anew.
// Index finds a printer by its queue name in lower case.
SpoolServerState StateOf(const std::vector<PrinterInfo2>& printers, const CupsPrinterIndex& index,
                         const std::vector<SpoolJobState>& queued, const std::vector<SpoolJobState>& finished) {
  SpoolServerState state;
  state.Printers.reserve(printers.size());
  for (const auto& p : printers) state.Printers.push_back({p, {}});
  for (const auto* list : {&queued, &finished})
    for (const auto& j : *list) {
      const std::string& name = j.Info.PrinterName;
      const auto found = index.find(LowerSpoolName(name.substr(name.rfind('\\') + 1)));
      if (found != index.end()) state.Printers[found->second].Jobs.push_back(j);
    }
  for (auto& p : state.Printers) {
    uint32_t position = 0;
    for (auto& j : p.Jobs) j.Info.Position = ++position;
  }
  return state;
}

void CountQueued(std::vector<PrinterInfo2>& printers, const std::vector<SpoolJobState>& queued) {
  std::unordered_map<std::string, uint32_t> counts;
  for (const auto& j : queued) ++counts[j.Info.PrinterName];
  for (auto& p : printers) {
    const auto found = counts.find(p.PrinterName);
    p.cJobs = found == counts.end() ? 0 : found->second;
  }
}

}  // namespace

TCupsServerWatch::TCupsServerWatch(const CupsConfig& Config, std::string Server, std::string Host, int Port,
                                   TSpoolNotifyHub& Hub, SpoolServerNoticeHandler Notify)
    : config_(Config),
      server_(std::move(Server)),
      host_(std::move(Host)),
      port_(Port),
      hub_(Hub),
      notify_(std::move(Notify)),
      outage_(std::chrono::milliseconds(Config.PollIntervalMs), std::chrono::milliseconds(Config.RetryMaxMs),
              std::chrono::milliseconds(Config.OutageLimitMs)) {}

TCupsServerWatch::~TCupsServerWatch() {
  {
    std::lock_guard<std::mutex> guard(stopLock_);
    stopping_ = true;
  }
  stopSignal_.notify_all();
  if (thread_.joinable()) thread_.join();
}

OsError TCupsServerWatch::Prepare() {
  std::lock_guard<std::mutex> guard(lookLock_);
  if (!baselineDue_ && (hub_.WatchCount(server_) == 0 || !hub_.HasState(server_))) {
    TCupsSession session(host_, port_, config_.RequestTimeoutMs);
    SpoolServerState baseline;
    const OsError e = ReadBaseline(session, baseline);
    if (e && (givenUp_ || (e != RPC_S_SERVER_UNAVAILABLE && e != ERROR_TIMEOUT))) return e;
    givenUp_ = false;
    hub_.ForgetState(server_);
    if (e) {
      // Not an end but an outage, as when a watched server stops answering:
      // the looks tell it and read the baseline when the server answers.
      baselineDue_ = true;
      current_ = false;
    } else {
      hub_.Publish(server_, std::move(baseline));
      lookDue_ = true;
      current_ = true;
    }
  }
  if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
  return ERROR_SUCCESS;
}

bool TCupsServerWatch::WaitStop(std::chrono::milliseconds Wait) {
  std::unique_lock<std::mutex> guard(stopLock_);
  return stopSignal_.wait_for(guard, Wait, [this] { return stopping_.load(); });
}

void TCupsServerWatch::Run() {
  TCupsSession session(host_, port_, config_.RequestTimeoutMs, &stopping_);
  while (!WaitStop(outage_.NextWait())) {
    std::optional<SpoolServerNotice> notice;
    {
      std::lock_guard<std::mutex> guard(lookLock_);
      if (hub_.WatchCount(server_) == 0) continue;
      notice = LookAndJudge(session);
    }
    if (notice && notify_ && !stopping_) notify_(*notice);
  }
  std::lock_guard<std::mutex> guard(lookLock_);
  if (!outage_.InOutage()) Unsubscribe(session);
}

std::optional<SpoolServerNotice> TCupsServerWatch::LookAndJudge(TCupsSession& Session) {
  OsError e = Look(Session);
  // A daemon may close a connection it kept open, and a busy one does: the
  // request on it then fails as if nobody answered. Only a look that fails
  // again at once, on a new connection, begins an outage. A look that timed
  // out has waited long enough already. The subscription is still the
  // daemon's; the queues are read in full, as events the failed look took
  // may not have been acted on.
  if (e == RPC_S_SERVER_UNAVAILABLE && !outage_.InOutage() && !stopping_) {
    lookDue_ = true;
    e = Look(Session);
  }
  const auto now = std::chrono::steady_clock::now();
  current_ = e == ERROR_SUCCESS;
  if (e == ERROR_SUCCESS) {
    if (!outage_.InOutage()) return std::nullopt;
    return SpoolServerNotice{server_, SpoolServerCondition::Reachable, ERROR_SUCCESS, {}, outage_.End(now)};
  }
  // The server may come back as a new process that knows nothing of us.
  subscription_ = 0;
  printersDue_ = true;
  pollOnly_ = false;
  if (stopping_) return std::nullopt;
  if (e != RPC_S_SERVER_UNAVAILABLE && e != ERROR_TIMEOUT) {
    // Not an outage: the server answered and refused.
    hub_.Fail(server_, e);
    return std::nullopt;
  }
  if (outage_.Failed(now))
    return SpoolServerNotice{server_, SpoolServerCondition::Unreachable, e, Session.LastErrorText(), {}};
  if (!outage_.Expired(now)) return std::nullopt;
  givenUp_ = true;
  hub_.Fail(server_, e);
  return SpoolServerNotice{server_, SpoolServerCondition::GivenUp, e, Session.LastErrorText(), outage_.End(now)};
}

OsError TCupsServerWatch::Look(TCupsSession& Session) {
  if (baselineDue_) {
    SpoolServerState baseline;
    if (const OsError e = ReadBaseline(Session, baseline)) return e;
    hub_.Publish(server_, std::move(baseline));
    baselineDue_ = false;
    lookDue_ = true;
  }
  bool due = lookDue_;
  if (!subscription_ && !pollOnly_) {
    const OsError e = Subscribe(Session);
    if (e == RPC_S_SERVER_UNAVAILABLE || e == ERROR_TIMEOUT) return e;
    pollOnly_ = e != ERROR_SUCCESS;
    // What changed before the subscription began is told by no event.
    printersDue_ = true;
    due = true;
  }
  if (subscription_) {
    bool events = false;
    const OsError e = PullEvents(Session, events);
    if (e == RPC_S_SERVER_UNAVAILABLE || e == ERROR_TIMEOUT) return e;
    if (e) {
      subscription_ = 0;  // expired or lost: subscribe again next time
      printersDue_ = true;
    }
    due = due || events || e;
    if (subscription_) RenewWhenDue(Session);
  } else {
    due = true;
  }
  if (!due) return ERROR_SUCCESS;
  if (const OsError e = Reconcile(Session)) return e;
  lookDue_ = false;
  return ERROR_SUCCESS;
}

OsError TCupsServerWatch::ReadBaseline(TCupsSession& Session, SpoolServerState& State) {
  std::vector<PrinterInfo2> printers;
  std::vector<SpoolJobState> queued, history;
  if (const OsError e = CupsReadPrinters(Session, server_, printers)) return e;
  // The history first: a job that ends while the queues are read is not in
  // it, so the first look reports it.
  if (const OsError e = CupsReadJobs(Session, printers, {}, CupsJobs::Completed, 0, history)) return e;
  if (config_.AfterFirstJobRead) config_.AfterFirstJobRead();
  if (const OsError e = CupsReadJobs(Session, printers, {}, CupsJobs::NotCompleted, 0, queued)) return e;
  watermark_ = 0;
  ended_.clear();
  for (const auto& j : history) ended_.insert(j.Info.JobId);
  endedMax_ = ended_.empty() ? 0 : *ended_.rbegin();
  active_.clear();
  for (const auto& j : queued) active_.insert(j.Info.JobId);
  CountQueued(printers, queued);
  State = StateOf(printers, CupsIndexPrinters(printers), queued, {});
  SetPrinters(std::move(printers));
  printersDue_ = true;
  return ERROR_SUCCESS;
}

void TCupsServerWatch::SetPrinters(std::vector<PrinterInfo2> Printers) {
  printers_ = std::move(Printers);
  printerIndex_ = CupsIndexPrinters(printers_);
  // Positions in the old list mean nothing in the new one.
  published_ = false;
  touched_.clear();
  busy_.clear();
  eventStatus_.clear();
}

OsError TCupsServerWatch::ReadChangedPrinters(TCupsSession& Session) {
  if (printersDue_ || pollOnly_ || !subscription_) {
    std::vector<PrinterInfo2> printers;
    if (const OsError e = CupsReadPrinters(Session, server_, printers)) return e;
    SetPrinters(std::move(printers));
    printersDue_ = false;
    changedPrinters_.clear();
    return ERROR_SUCCESS;
  }
  for (const auto& [queue, status] : eventStatus_) {
    const auto known = printerIndex_.find(LowerSpoolName(queue));
    if (known == printerIndex_.end()) {
      // New without its own event yet: the whole list tells.
      printersDue_ = true;
      return ReadChangedPrinters(Session);
    }
    printers_[known->second].Status = status;
    touched_.insert(known->second);
  }
  eventStatus_.clear();
  while (!changedPrinters_.empty()) {
    const std::string queue = *changedPrinters_.begin();
    PrinterInfo2 printer;
    const OsError e = CupsReadPrinter(Session, server_, queue, printer);
    const auto known = printerIndex_.find(LowerSpoolName(queue));
    if (e == ERROR_INVALID_PRINTER_NAME || (e == ERROR_SUCCESS && known == printerIndex_.end())) {
      // Gone or new without its own event yet: the whole list tells.
      printersDue_ = true;
      return ReadChangedPrinters(Session);
    }
    if (e) return e;
    printers_[known->second] = std::move(printer);
    touched_.insert(known->second);
    changedPrinters_.erase(changedPrinters_.begin());
  }
  return ERROR_SUCCESS;
}

OsError TCupsServerWatch::Reconcile(TCupsSession& Session) {
  std::vector<SpoolJobState> queued, completed;
  if (const OsError e = ReadChangedPrinters(Session)) return e;
  std::vector<PrinterInfo2>& printers = printers_;
  if (const OsError e = CupsReadJobs(Session, printers, {}, CupsJobs::NotCompleted, 0, queued, &printerIndex_))
    return e;
  if (config_.AfterFirstJobRead) config_.AfterFirstJobRead();
  uint32_t first = watermark_ + 1;
  if (!active_.empty()) first = std::min(first, *active_.begin());
  if (const OsError e = CupsReadJobs(Session, printers, {}, CupsJobs::Completed, first, completed, &printerIndex_))
    return e;
  // Ended since the last look: those seen queued, and the newer ones that
  // were not yet in the completed list.
  std::vector<SpoolJobState> finished;
  std::set<uint32_t> ended;
  for (auto& j : completed) {
    const uint32_t id = j.Info.JobId;
    ended.insert(id);
    if (active_.count(id) || (id > watermark_ && !ended_.count(id))) finished.push_back(std::move(j));
  }

  if (published_) {
    PublishTouched(queued, finished);
  } else {
    CountQueued(printers, queued);
    if (!finished.empty()) hub_.Publish(server_, StateOf(printers, printerIndex_, queued, finished));
    hub_.Publish(server_, StateOf(printers, printerIndex_, queued, {}));
    published_ = true;
    touched_.clear();
    busy_ = BusyPrinters(queued);
  }

  // Every job up to the watermark is now queued or in the completed list:
  // those up to the highest queued one existed before the completed list
  // was read, and so did those up to the highest of the previous list. A
  // job newer than that may have begun between the two reads and still be
  // running, so the watermark must not pass it.
  watermark_ = std::max(watermark_, endedMax_);
  active_.clear();
  for (const auto& j : queued) {
    active_.insert(j.Info.JobId);
    watermark_ = std::max(watermark_, j.Info.JobId);
  }
  ended_ = std::move(ended);
  endedMax_ = ended_.empty() ? endedMax_ : std::max(endedMax_, *ended_.rbegin());
  return ERROR_SUCCESS;
}

std::set<size_t> TCupsServerWatch::BusyPrinters(const std::vector<SpoolJobState>& Queued) const {
  std::set<size_t> busy;
  for (const auto& j : Queued)
    if (const auto at = PrinterAt(j.Info.PrinterName)) busy.insert(*at);
  return busy;
}

std::optional<size_t> TCupsServerWatch::PrinterAt(const std::string& PrinterName) const {
  const auto found = printerIndex_.find(LowerSpoolName(PrinterName.substr(PrinterName.rfind('\\') + 1)));
  if (found == printerIndex_.end()) return std::nullopt;
  return found->second;
}

// A job changes its printer's queue, not the server's list: only the
// printers this look touched are counted, built and compared.
void TCupsServerWatch::PublishTouched(const std::vector<SpoolJobState>& Queued,
                                      const std::vector<SpoolJobState>& Finished) {
  std::set<size_t> busy = BusyPrinters(Queued);
  std::set<size_t> touched = std::move(touched_);
  touched_.clear();
  touched.insert(busy.begin(), busy.end());
  touched.insert(busy_.begin(), busy_.end());
  for (const auto& j : Finished)
    if (const auto at = PrinterAt(j.Info.PrinterName)) touched.insert(*at);
  busy_ = std::move(busy);

  std::map<size_t, uint32_t> counts;
  for (const auto& j : Queued)
    if (const auto at = PrinterAt(j.Info.PrinterName)) ++counts[*at];
  for (const size_t i : touched) {
    const auto found = counts.find(i);
    printers_[i].cJobs = found == counts.end() ? 0 : found->second;
  }
  const auto stateOf = [&](bool withFinished) {
    std::map<size_t, SpoolPrinterState> states;
    for (const size_t i : touched) states[i].Info = printers_[i];
    for (const auto* list : {&Queued, &Finished}) {
      if (list == &Finished && !withFinished) continue;
      for (const auto& j : *list)
        if (const auto at = PrinterAt(j.Info.PrinterName)) states[*at].Jobs.push_back(j);
    }
    std::vector<SpoolPrinterState> printers;
    printers.reserve(states.size());
    for (auto& [i, p] : states) {
      uint32_t position = 0;
      for (auto& j : p.Jobs) j.Info.Position = ++position;
      printers.push_back(std::move(p));
    }
    return printers;
  };
  if (touched.empty()) return;
  if (!Finished.empty()) hub_.PublishPrinters(server_, stateOf(true));
  hub_.PublishPrinters(server_, stateOf(false));
}

OsError TCupsServerWatch::Subscribe(TCupsSession& Session) {
  IppPtr request = Session.NewRequest(IPP_OP_CREATE_PRINTER_SUBSCRIPTIONS, "/");
  ippAddString(request.get(), IPP_TAG_SUBSCRIPTION, IPP_TAG_KEYWORD, "notify-pull-method", nullptr, "ippget");
  ippAddStrings(request.get(), IPP_TAG_SUBSCRIPTION, IPP_TAG_KEYWORD, "notify-events",
                static_cast<int>(std::size(WatchedEvents)), nullptr, WatchedEvents);
  ippAddInteger(request.get(), IPP_TAG_SUBSCRIPTION, IPP_TAG_INTEGER, "notify-lease-duration", config_.LeaseSeconds);
  IppPtr response;
  if (const OsError e = Session.Do(std::move(request), "/", response)) return e;
  const auto groups = IppGroups(response.get(), IPP_TAG_SUBSCRIPTION);
  const int id = groups.empty() ? 0 : groups.front().Integer("notify-subscription-id");
  if (id <= 0) return ERROR_NOT_SUPPORTED;
  subscription_ = id;
  sequence_ = 0;
  renewAt_ = std::chrono::steady_clock::now() + std::chrono::seconds(config_.LeaseSeconds / 2);
  return ERROR_SUCCESS;
}

OsError TCupsServerWatch::PullEvents(TCupsSession& Session, bool& Events) {
  IppPtr request = Session.NewRequest(IPP_OP_GET_NOTIFICATIONS, "/");
  ippAddInteger(request.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-subscription-ids", subscription_);
  ippAddInteger(request.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-sequence-numbers", sequence_ + 1);
  ippAddBoolean(request.get(), IPP_TAG_OPERATION, "notify-wait", 0);
  IppPtr response;
  if (const OsError e = Session.Do(std::move(request), "/", response)) return e;
  for (const auto& g : IppGroups(response.get(), IPP_TAG_EVENT_NOTIFICATION)) {
    const int sequence = g.Integer("notify-sequence-number");
    if (sequence <= sequence_) continue;
    sequence_ = sequence;
    Events = true;
    // A printer's state changes with every job it prints: that printer is
    // read again, not the list.
    const std::string event = g.Text("notify-subscribed-event");
    const std::string queue = g.Text("printer-name");
    if (event == "printer-state-changed" && !queue.empty()) {
      if (g.Has("printer-state"))
        eventStatus_[queue] = PrinterStatusFromIpp(g.Integer("printer-state", IPP_PSTATE_IDLE),
                                                   g.Keywords("printer-state-reasons"),
                                                   g.Boolean("printer-is-accepting-jobs", true));
      else
        changedPrinters_.insert(queue);
    } else if (event.rfind("printer-", 0) == 0) {
      printersDue_ = true;
    }
  }
  return ERROR_SUCCESS;
}

void TCupsServerWatch::RenewWhenDue(TCupsSession& Session) {
  if (std::chrono::steady_clock::now() < renewAt_) return;
  IppPtr request = Session.NewRequest(IPP_OP_RENEW_SUBSCRIPTION, "/");
  ippAddInteger(request.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-subscription-id", subscription_);
  ippAddInteger(request.get(), IPP_TAG_SUBSCRIPTION, IPP_TAG_INTEGER, "notify-lease-duration", config_.LeaseSeconds);
  IppPtr response;
  if (Session.Do(std::move(request), "/", response) == ERROR_SUCCESS)
    renewAt_ = std::chrono::steady_clock::now() + std::chrono::seconds(config_.LeaseSeconds / 2);
  else
    subscription_ = 0;
}

void TCupsServerWatch::Unsubscribe(TCupsSession& Session) {
  if (!subscription_) return;
  IppPtr request = Session.NewRequest(IPP_OP_CANCEL_SUBSCRIPTION, "/");
  ippAddInteger(request.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-subscription-id", subscription_);
  IppPtr response;
  Session.Do(std::move(request), "/", response);
  subscription_ = 0;
}
