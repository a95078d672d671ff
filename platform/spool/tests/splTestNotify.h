#pragma once
// Shared by the spooler tests: the notify options a printer watch asks for,
// and a collector that fetches notifications until a condition holds.

#include <poll.h>

#include <chrono>
#include <functional>
#include <map>
#include <vector>

#include "splSpooler.h"

inline PrinterNotifyOptions PrinterWatchOptions() {
  PrinterNotifyOptions options;
  options.Types.push_back({JOB_NOTIFY_TYPE,
                           {JOB_NOTIFY_FIELD_STATUS, JOB_NOTIFY_FIELD_STATUS_STRING, JOB_NOTIFY_FIELD_MACHINE_NAME,
                            JOB_NOTIFY_FIELD_DOCUMENT, JOB_NOTIFY_FIELD_USER_NAME, JOB_NOTIFY_FIELD_TOTAL_PAGES,
                            JOB_NOTIFY_FIELD_PAGES_PRINTED, JOB_NOTIFY_FIELD_SUBMITTED, JOB_NOTIFY_FIELD_BYTES_PRINTED,
                            JOB_NOTIFY_FIELD_TOTAL_BYTES}});
  options.Types.push_back({PRINTER_NOTIFY_TYPE,
                           {PRINTER_NOTIFY_FIELD_STATUS, PRINTER_NOTIFY_FIELD_CJOBS, PRINTER_NOTIFY_FIELD_PRINTER_NAME,
                            PRINTER_NOTIFY_FIELD_SERVER_NAME, PRINTER_NOTIFY_FIELD_SHARE_NAME,
                            PRINTER_NOTIFY_FIELD_PORT_NAME, PRINTER_NOTIFY_FIELD_COMMENT,
                            PRINTER_NOTIFY_FIELD_LOCATION}});
  return options;
}

inline bool WaitSignalled(TSpooler& spooler, ChangeHandle change, int timeoutMs) {
  pollfd p{spooler.ChangeNotificationFd(change), POLLIN, 0};
  return p.fd >= 0 && ::poll(&p, 1, timeoutMs) == 1;
}

// A job as the notifications have told it so far.
struct SeenJob {
  std::map<uint16_t, PrinterNotifyInfoData> Fields;
  std::vector<uint32_t> Statuses;  // every status reported, in order
  uint32_t Status() const { return Fields.count(JOB_NOTIFY_FIELD_STATUS) ? Fields.at(JOB_NOTIFY_FIELD_STATUS).Number : 0; }
  std::string Text(uint16_t field) const { return Fields.count(field) ? Fields.at(field).Text : ""; }
  uint32_t Number(uint16_t field) const { return Fields.count(field) ? Fields.at(field).Number : 0; }
};

// Fetches from one notification and keeps every job's latest fields.
class TNotifyCollector {
 public:
  TNotifyCollector(TSpooler& spooler, ChangeHandle change) : spooler_(spooler), change_(change) {}

  // Fetches until done() holds; false after timeoutMs or on a failed fetch
  // (LastError() tells which).
  bool Until(const std::function<bool()>& done, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0 || !WaitSignalled(spooler_, change_, static_cast<int>(left.count()))) return false;
      uint32_t changeWord = 0;
      std::optional<PrinterNotifyInfo> info;
      lastError_ = spooler_.FindNextPrinterChangeNotification(change_, changeWord, nullptr, info);
      if (lastError_) return false;
      Changes |= changeWord;
      if (info && info->Flags & PRINTER_NOTIFY_INFO_DISCARDED) {
        ++Discards;
        PrinterNotifyOptions refresh;
        refresh.Flags = PRINTER_NOTIFY_OPTIONS_REFRESH;
        lastError_ = spooler_.FindNextPrinterChangeNotification(change_, changeWord, &refresh, info);
        if (lastError_) return false;
      }
      if (info)
        for (const auto& d : info->Data)
          if (d.Type == JOB_NOTIFY_TYPE) {
            Jobs[d.Id].Fields[d.Field] = d;
            if (d.Field == JOB_NOTIFY_FIELD_STATUS) Jobs[d.Id].Statuses.push_back(d.Number);
          }
    }
    return true;
  }
  OsError LastError() const { return lastError_; }

  std::map<uint32_t, SeenJob> Jobs;
  uint32_t Changes = 0;
  int Discards = 0;

 private:
  TSpooler& spooler_;
  ChangeHandle change_;
  OsError lastError_ = ERROR_SUCCESS;
};
