#pragma once
// The change notifications of one spooler: each watches a server or one of
// its printers, collects the conditions and fields it asked for from the
// server states that the back end publishes, and signals an eventfd while
// something waits to be fetched.

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "splConstants.h"
#include "splState.h"

class TSpoolNotifyHub {
 public:
  TSpoolNotifyHub();
  ~TSpoolNotifyHub();
  TSpoolNotifyHub(const TSpoolNotifyHub&) = delete;
  TSpoolNotifyHub& operator=(const TSpoolNotifyHub&) = delete;

  // Printer empty: the whole server. A server with no published state yet
  // (it did not answer when its first watch opened) is watched as one that
  // has nothing: its first state is news to the watch.
  OsError Open(const std::string& Server, const std::string& Printer, uint32_t Filter,
               const PrinterNotifyOptions* Options, ChangeHandle& Change);
  OsError Close(ChangeHandle Change);
  int Fd(ChangeHandle Change);
  OsError Next(ChangeHandle Change, bool Refresh, uint32_t& ChangeWord, std::optional<PrinterNotifyInfo>& Info);

  // The first state of a server is its baseline and reports nothing, but to
  // the notifications opened before it, to which all of it is new; each
  // later one is compared with its predecessor and the differences go to the
  // server's notifications.
  void Publish(const std::string& Server, SpoolServerState State);
  // Only the given printers changed: each replaces the printer of its name
  // in the server's last state (one not there is added), and what differs
  // goes to the notifications as with Publish. The cost is that of the
  // printers given, whatever the server's size. The server must have a
  // published state.
  void PublishPrinters(const std::string& Server, std::vector<SpoolPrinterState> Printers);
  bool HasState(const std::string& Server);
  // Reads of the server's published state in place of the server: false
  // when it has none. Printer: its level 2 and, with Jobs, its queue; Error
  // ERROR_INVALID_PRINTER_NAME when the state holds no such printer.
  bool StatePrinters(const std::string& Server, std::vector<PrinterInfo2>& Printers);
  bool StatePrinter(const std::string& Server, const std::string& Printer, PrinterInfo2& Info,
                    std::vector<JobInfo2>* Jobs, OsError& Error);
  // Forgets the server's state, so that the next publish is a new baseline.
  void ForgetState(const std::string& Server);

  // The server's notifications (every one for an empty name) lose their
  // pending data and report PRINTER_NOTIFY_INFO_DISCARDED until refreshed.
  void Overflow(const std::string& Server);
  // The server's notifications fail every later fetch with Error.
  void Fail(const std::string& Server, OsError Error);
  // How many notifications watch the server and have not failed.
  size_t WatchCount(const std::string& Server);

  // Pending data items a notification holds before it overflows.
  void SetCapacity(size_t Items);

 private:
  struct Watch;
  void Deliver(Watch& w, const SpoolEvent& ev);
  void RefreshData(const Watch& w, std::vector<PrinterNotifyInfoData>& data) const;
  static void Signal(Watch& w);
  // Hands each event to its printer's watches and to the server's.
  void DeliverEvents(const std::string& ServerKey, const std::vector<SpoolEvent>& Events);

  // A server's state with its printers by lower-case name, so that a read
  // of one printer does not pass every printer.
  struct ServerState {
    SpoolServerState State;
    std::unordered_map<std::string, size_t> Index;
    void Reindex();
    const SpoolPrinterState* Find(const std::string& Printer) const;
  };

  std::mutex lock_;
  std::map<std::string, ServerState> states_;  // by lower-case server name
  std::map<ChangeHandle, std::unique_ptr<Watch>> watches_;
  // The same watches by server and printer ("server\nprinter", lower case;
  // printer empty for a whole server's), so a change reaches its watches
  // without a pass over all of them.
  std::unordered_map<std::string, std::vector<Watch*>> byScope_;
  // The watches of each server that have not failed: WatchCount is asked
  // at every look.
  std::unordered_map<std::string, size_t> live_;
  ChangeHandle nextHandle_ = 1;
  size_t capacity_ = 100000;
};
