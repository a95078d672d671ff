#include "splNotifyHub.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <bitset>
#include <cctype>

#include "splConstants.h"
#include "rtlAssert.h"
#include "splNames.h"
#include "rtlAssert.h"

namespace {

std::string ServerKey(const std::string& server) {
  std::string key = server;
  std::transform(key.begin(), key.end(), key.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return key;
}

using FieldSet = std::bitset<32>;

void Unlive(std::unordered_map<std::string, size_t>& live, const std::string& server) {
  const auto found = live.find(server);
  if (found != live.end() && --found->second == 0) live.erase(found);
}

}  // namespace

struct TSpoolNotifyHub::Watch {
  std::string Server;
  std::string Printer;  // empty: the whole server
  std::string PrinterKey;  // Printer in lower case
  uint32_t Filter = 0;
  bool HasOptions = false;
  FieldSet JobFields;
  FieldSet PrinterFields;
  int Fd = -1;
  uint32_t PendingChange = 0;
  std::vector<PrinterNotifyInfoData> Pending;
  bool Discarded = false;
  OsError Failed = ERROR_SUCCESS;

  bool Wants(const PrinterNotifyInfoData& d) const {
    if (d.Field >= 32) return false;
    if (d.Type == JOB_NOTIFY_TYPE) return JobFields.test(d.Field);
    if (d.Type == PRINTER_NOTIFY_TYPE) return PrinterFields.test(d.Field);
    return false;
  }
  bool Covers(const std::string& printerName) const { return Printer.empty() || SameSpoolName(Printer, printerName); }
};

TSpoolNotifyHub::TSpoolNotifyHub() = default;

TSpoolNotifyHub::~TSpoolNotifyHub() {
  for (auto& [handle, w] : watches_) ::close(w->Fd);
}

void TSpoolNotifyHub::SetCapacity(size_t Items) {
  std::lock_guard<std::mutex> guard(lock_);
  capacity_ = Items;
}

OsError TSpoolNotifyHub::Open(const std::string& Server, const std::string& Printer, uint32_t Filter,
                              const PrinterNotifyOptions* Options, ChangeHandle& Change) {
  Change = 0;
  if (Options && Options->Flags & ~PRINTER_NOTIFY_OPTIONS_REFRESH) return ERROR_INVALID_PARAMETER;
  auto w = std::make_unique<Watch>();
  w->Server = ServerKey(Server);
  w->Printer = Printer;
  w->PrinterKey = LowerSpoolName(Printer);
  w->Filter = Filter;
  if (Options) {
    w->HasOptions = true;
    for (const auto& type : Options->Types)
      for (const uint16_t field : type.Fields) {
        if (field >= 32) continue;
        if (type.Type == JOB_NOTIFY_TYPE) w->JobFields.set(field);
        if (type.Type == PRINTER_NOTIFY_TYPE) w->PrinterFields.set(field);
      }
  }
  std::lock_guard<std::mutex> guard(lock_);
  w->Fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (w->Fd < 0) return OsErrorFromErrno(errno);
  Change = nextHandle_++;
  byScope_[w->Server + '\n' + w->PrinterKey].push_back(w.get());
  ++live_[w->Server];
  watches_.emplace(Change, std::move(w));
  return ERROR_SUCCESS;
}

OsError TSpoolNotifyHub::Close(ChangeHandle Change) {
  std::lock_guard<std::mutex> guard(lock_);
  const auto found = watches_.find(Change);
  if (found == watches_.end()) return ERROR_INVALID_HANDLE;
  ::close(found->second->Fd);
  if (!found->second->Failed) Unlive(live_, found->second->Server);
  const auto scope = byScope_.find(found->second->Server + '\n' + found->second->PrinterKey);
  ORV_ASSERT(scope != byScope_.end());  // every open watch is listed under its scope
  if (scope != byScope_.end()) {
    std::erase(scope->second, found->second.get());
    if (scope->second.empty()) byScope_.erase(scope);
  }
  watches_.erase(found);
  return ERROR_SUCCESS;
}

int TSpoolNotifyHub::Fd(ChangeHandle Change) {
  std::lock_guard<std::mutex> guard(lock_);
  const auto found = watches_.find(Change);
  return found == watches_.end() ? -1 : found->second->Fd;
}

void TSpoolNotifyHub::Signal(Watch& w) {
  const uint64_t one = 1;
  // A full counter is still readable, which is all a waiter needs.
  [[maybe_unused]] const ssize_t n = ::write(w.Fd, &one, sizeof one);
}

OsError TSpoolNotifyHub::Next(ChangeHandle Change, bool Refresh, uint32_t& ChangeWord,
                              std::optional<PrinterNotifyInfo>& Info) {
  ChangeWord = 0;
  Info.reset();
  std::lock_guard<std::mutex> guard(lock_);
  const auto found = watches_.find(Change);
  if (found == watches_.end()) return ERROR_INVALID_HANDLE;
  Watch& w = *found->second;
  if (w.Failed) return w.Failed;
  uint64_t count;
  [[maybe_unused]] const ssize_t n = ::read(w.Fd, &count, sizeof count);
  ChangeWord = w.PendingChange;
  w.PendingChange = 0;
  std::vector<PrinterNotifyInfoData> pending;
  pending.swap(w.Pending);
  if (!w.HasOptions) return ERROR_SUCCESS;
  Info.emplace();
  if (Refresh) {
    w.Discarded = false;
    RefreshData(w, Info->Data);
  } else if (w.Discarded) {
    Info->Flags = PRINTER_NOTIFY_INFO_DISCARDED;
  } else {
    Info->Data = std::move(pending);
  }
  return ERROR_SUCCESS;
}

void TSpoolNotifyHub::RefreshData(const Watch& w, std::vector<PrinterNotifyInfoData>& data) const {
  const auto state = states_.find(w.Server);
  if (state == states_.end()) return;
  std::vector<PrinterNotifyInfoData> all;
  for (const auto& p : state->second.State.Printers) {
    if (!w.Covers(p.Info.PrinterName)) continue;
    AppendPrinterData(p.Info, all);
    for (const auto& j : p.Jobs) AppendJobData(j, all);
  }
  for (auto& d : all)
    if (w.Wants(d)) data.push_back(std::move(d));
}

void TSpoolNotifyHub::Deliver(Watch& w, const SpoolEvent& ev) {
  if (w.Failed || !w.Covers(ev.PrinterName)) return;
  const uint32_t bits = ev.Change & w.Filter;
  bool signal = bits != 0;
  w.PendingChange |= bits;
  if (w.HasOptions && !w.Discarded) {
    for (const auto& d : ev.Data)
      if (w.Wants(d)) {
        w.Pending.push_back(d);
        signal = true;
      }
    if (w.Pending.size() > capacity_) {
      w.Discarded = true;
      w.Pending.clear();
    }
  }
  if (signal) Signal(w);
}

void TSpoolNotifyHub::ServerState::Reindex() {
  Index.clear();
  for (size_t i = 0; i < State.Printers.size(); ++i) Index.emplace(LowerSpoolName(State.Printers[i].Info.PrinterName), i);
}

const SpoolPrinterState* TSpoolNotifyHub::ServerState::Find(const std::string& Printer) const {
  const auto found = Index.find(LowerSpoolName(Printer));
  return found == Index.end() ? nullptr : &State.Printers[found->second];
}

namespace {

bool SamePrinters(const SpoolServerState& a, const SpoolServerState& b) {
  return std::equal(a.Printers.begin(), a.Printers.end(), b.Printers.begin(), b.Printers.end(),
                    [](const SpoolPrinterState& x, const SpoolPrinterState& y) {
                      return x.Info.PrinterName == y.Info.PrinterName;
                    });
}

}  // namespace

void TSpoolNotifyHub::Publish(const std::string& Server, SpoolServerState State) {
  const std::string key = ServerKey(Server);
  std::lock_guard<std::mutex> guard(lock_);
  const auto old = states_.find(key);
  if (old == states_.end()) {
    ServerState& added = states_[key];
    added.State = std::move(State);
    added.Reindex();
    if (live_.count(key)) DeliverEvents(key, DiffServerStates(SpoolServerState{}, added.State));
    return;
  }
  const std::vector<SpoolEvent> events = DiffServerStates(old->second.State, State);
  const bool reindex = !SamePrinters(old->second.State, State);
  old->second.State = std::move(State);
  if (reindex) old->second.Reindex();
  DeliverEvents(key, events);
}

void TSpoolNotifyHub::PublishPrinters(const std::string& Server, std::vector<SpoolPrinterState> Printers) {
  const std::string key = ServerKey(Server);
  std::lock_guard<std::mutex> guard(lock_);
  const auto state = states_.find(key);
  ORV_ASSERT(state != states_.end());
  if (state == states_.end()) return;
  ServerState& s = state->second;
  std::vector<SpoolEvent> events;
  for (auto& p : Printers) {
    const auto found = s.Index.find(LowerSpoolName(p.Info.PrinterName));
    SpoolEvent ev = DiffPrinterStates(found == s.Index.end() ? nullptr : &s.State.Printers[found->second], p);
    if (ev.Change) events.push_back(std::move(ev));
    if (found != s.Index.end()) {
      s.State.Printers[found->second] = std::move(p);
    } else {
      s.Index.emplace(LowerSpoolName(p.Info.PrinterName), s.State.Printers.size());
      s.State.Printers.push_back(std::move(p));
    }
  }
  DeliverEvents(key, events);
}

void TSpoolNotifyHub::DeliverEvents(const std::string& key, const std::vector<SpoolEvent>& events) {
  if (events.empty()) return;
  // Each printer's events go to that printer's watches and the server's,
  // without a pass over every watch.
  const auto deliverTo = [&](const std::string& scope, const SpoolEvent* only) {
    const auto found = byScope_.find(scope);
    if (found == byScope_.end()) return;
    for (Watch* w : found->second) {
      if (only) {
        Deliver(*w, *only);
      } else {
        for (const auto& ev : events) Deliver(*w, ev);
      }
    }
  };
  deliverTo(key + '\n', nullptr);
  for (const auto& ev : events) deliverTo(key + '\n' + LowerSpoolName(ev.PrinterName), &ev);
}

bool TSpoolNotifyHub::HasState(const std::string& Server) {
  std::lock_guard<std::mutex> guard(lock_);
  return states_.count(ServerKey(Server)) != 0;
}

bool TSpoolNotifyHub::StatePrinters(const std::string& Server, std::vector<PrinterInfo2>& Printers) {
  std::lock_guard<std::mutex> guard(lock_);
  const auto state = states_.find(ServerKey(Server));
  if (state == states_.end()) return false;
  Printers.reserve(Printers.size() + state->second.State.Printers.size());
  for (const auto& p : state->second.State.Printers) Printers.push_back(p.Info);
  return true;
}

bool TSpoolNotifyHub::StatePrinter(const std::string& Server, const std::string& Printer, PrinterInfo2& Info,
                                   std::vector<JobInfo2>* Jobs, OsError& Error) {
  std::lock_guard<std::mutex> guard(lock_);
  const auto state = states_.find(ServerKey(Server));
  if (state == states_.end()) return false;
  const SpoolPrinterState* p = state->second.Find(Printer);
  Error = p ? ERROR_SUCCESS : ERROR_INVALID_PRINTER_NAME;
  if (!p) return true;
  Info = p->Info;
  if (Jobs)
    for (const auto& j : p->Jobs) Jobs->push_back(j.Info);
  return true;
}

void TSpoolNotifyHub::ForgetState(const std::string& Server) {
  std::lock_guard<std::mutex> guard(lock_);
  states_.erase(ServerKey(Server));
}

void TSpoolNotifyHub::Overflow(const std::string& Server) {
  const std::string key = ServerKey(Server);
  std::lock_guard<std::mutex> guard(lock_);
  for (auto& [handle, w] : watches_) {
    if (!Server.empty() && w->Server != key) continue;
    w->Pending.clear();
    w->Discarded = true;
    Signal(*w);
  }
}

void TSpoolNotifyHub::Fail(const std::string& Server, OsError Error) {
  const std::string key = ServerKey(Server);
  std::lock_guard<std::mutex> guard(lock_);
  for (auto& [handle, w] : watches_) {
    if (w->Server != key || w->Failed) continue;
    w->Failed = Error;
    Unlive(live_, key);
    Signal(*w);
  }
}

size_t TSpoolNotifyHub::WatchCount(const std::string& Server) {
  const std::string key = ServerKey(Server);
  std::lock_guard<std::mutex> guard(lock_);
  const auto found = live_.find(key);
  const size_t count = found == live_.end() ? 0 : found->second;
  ORV_ASSERT(count == static_cast<size_t>(std::count_if(watches_.begin(), watches_.end(), [&](const auto& entry) {
               return entry.second->Server == key && !entry.second->Failed;
             })));
  return count;
}
