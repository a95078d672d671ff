#pragma once
// The print spooler as the monitoring code calls it.
//
// Every call returns ERROR_SUCCESS (0) or the Windows error number of its
// failure (ERROR_ACCESS_DENIED, ERROR_INVALID_HANDLE, ERROR_INSUFFICIENT_BUFFER,
// RPC_S_SERVER_UNAVAILABLE for an unreachable server, ...): the result
// travels with the call, as in the rest of the platform layer.
//
// Names: a print server is "\\HOST", a printer "\\HOST\queue", the local
// server included. Names compare without regard to ASCII case.
//
// A change notification owns a descriptor that polls readable while a
// change is waiting to be fetched by FindNextPrinterChangeNotification, so
// that an alertable wait can include it (as a TDescriptorWaitable).
//
// All calls may be made from any thread.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "splConstants.h"
#include "splServerNotice.h"
#include "splTypes.h"

enum class SpoolCall : uint8_t {
  EnumPrinters,
  OpenPrinter,
  ClosePrinter,
  GetPrinter,
  EnumJobs,
  FindFirstPrinterChangeNotification,
  FindNextPrinterChangeNotification,
  FindClosePrinterChangeNotification,
  GetDefaultPrinter,
  SetDefaultPrinter,
  EnumJobHistory,
};
inline constexpr size_t SpoolCallKinds = 11;

class TSpooler {
 public:
  virtual ~TSpooler() = default;

  // Flags: PRINTER_ENUM_LOCAL (the local server's printers), PRINTER_ENUM_NAME
  // with Name "\\HOST" (that server's printers; an empty Name is the local
  // server), PRINTER_ENUM_REMOTE (level 1: one PRINTER_ENUM_CONTAINER entry per
  // known print server, its Name the server's name).
  OsError EnumPrinters(uint32_t Flags, const std::string& Name, std::vector<PrinterInfo1>& Printers);
  OsError EnumPrinters(uint32_t Flags, const std::string& Name, std::vector<PrinterInfo2>& Printers);

  // Name is a server ("\\HOST") or a printer ("\\HOST\queue"). DesiredAccess 0
  // asks for use access. A printer refuses administrator rights it does not
  // grant with ERROR_ACCESS_DENIED; an unknown name gives
  // ERROR_INVALID_PRINTER_NAME.
  OsError OpenPrinter(const std::string& Name, uint32_t DesiredAccess, PrinterHandle& Handle);
  OsError ClosePrinter(PrinterHandle Handle);

  // Level 2 of the printer behind a printer handle.
  OsError GetPrinter(PrinterHandle Handle, PrinterInfo2& Info);

  // Level 2 of the jobs in the queue order, from position FirstJob (0-based),
  // at most NoJobs of them.
  OsError EnumJobs(PrinterHandle Handle, uint32_t FirstJob, uint32_t NoJobs, std::vector<JobInfo2>& Jobs);

  // Level 2 of the jobs that have left the printer's queue and that the
  // server still remembers (CUPS's completed-job history), each with JOB_STATUS_PRINTED or JOB_STATUS_DELETED. Not a Windows call:
  // it lets a watch that starts late record the jobs that ended unseen.
  OsError EnumJobHistory(PrinterHandle Handle, std::vector<JobInfo2>& Jobs);

  // Watches a printer (its jobs and itself) or a server (all of its printers).
  // Filter: PRINTER_CHANGE_ conditions; Options (may be null): the job and
  // printer fields whose changes are reported as data. A change is signalled
  // when a filtered condition occurs or an optioned field changes.
  OsError FindFirstPrinterChangeNotification(PrinterHandle Handle, uint32_t Filter,
                                             const PrinterNotifyOptions* Options, ChangeHandle& Change);

  // Fetches what changed since the last fetch and clears the signal.
  // ChangeWord: the filtered conditions that occurred. Info: absent when the
  // notification was made without options; otherwise the changed fields, or
  // only the flag PRINTER_NOTIFY_INFO_DISCARDED when data was lost, which stays
  // until a fetch with PRINTER_NOTIFY_OPTIONS_REFRESH in Options->Flags. Such a
  // refresh returns every optioned field of the whole watched state. Other
  // members of Options are ignored here.
  OsError FindNextPrinterChangeNotification(ChangeHandle Change, uint32_t& ChangeWord,
                                            const PrinterNotifyOptions* Options,
                                            std::optional<PrinterNotifyInfo>& Info);
  OsError FindClosePrinterChangeNotification(ChangeHandle Change);

  // The notification's descriptor, readable while a change waits; -1 for an
  // unknown handle. Valid until FindClosePrinterChangeNotification.
  virtual int ChangeNotificationFd(ChangeHandle Change) = 0;

  // The user's default printer; ERROR_FILE_NOT_FOUND when there is none.
  OsError GetDefaultPrinter(std::string& Name);
  OsError SetDefaultPrinter(const std::string& Name);

  // How often each call was made on this spooler.
  uint64_t CallCount(SpoolCall Call) const;

  // Who hears that a watched server stopped or started answering
  // (splServerNotice.h); replaces the one before, empty for nobody.
  void SetServerNoticeHandler(SpoolServerNoticeHandler Handler);

  // Words for Code, which a call of this thread has just returned: a server
  // that cannot be reached is told in the back end's own words where it has
  // them, never as a bare number.
  virtual std::string ErrorText(OsError Code) const;

 protected:
  virtual OsError DoEnumPrinters1(uint32_t Flags, const std::string& Name, std::vector<PrinterInfo1>& Printers) = 0;
  virtual OsError DoEnumPrinters2(uint32_t Flags, const std::string& Name, std::vector<PrinterInfo2>& Printers) = 0;
  virtual OsError DoOpenPrinter(const std::string& Name, uint32_t DesiredAccess, PrinterHandle& Handle) = 0;
  virtual OsError DoClosePrinter(PrinterHandle Handle) = 0;
  virtual OsError DoGetPrinter(PrinterHandle Handle, PrinterInfo2& Info) = 0;
  virtual OsError DoEnumJobs(PrinterHandle Handle, uint32_t FirstJob, uint32_t NoJobs, std::vector<JobInfo2>& Jobs) = 0;
  virtual OsError DoEnumJobHistory(PrinterHandle Handle, std::vector<JobInfo2>& Jobs) = 0;
  virtual OsError DoFindFirstChange(PrinterHandle Handle, uint32_t Filter, const PrinterNotifyOptions* Options,
                                    ChangeHandle& Change) = 0;
  virtual OsError DoFindNextChange(ChangeHandle Change, uint32_t& ChangeWord, const PrinterNotifyOptions* Options,
                                   std::optional<PrinterNotifyInfo>& Info) = 0;
  virtual OsError DoFindCloseChange(ChangeHandle Change) = 0;
  virtual OsError DoGetDefaultPrinter(std::string& Name) = 0;
  virtual OsError DoSetDefaultPrinter(const std::string& Name) = 0;

  // Counts the call; the simulated spooler also injects failures here.
  virtual OsError BeginCall(SpoolCall Call);
  // Hands Notice to the handler; call it with no lock of the back end held.
  void NotifyServer(const SpoolServerNotice& Notice);

 private:
  std::array<std::atomic<uint64_t>, SpoolCallKinds> calls_{};
  std::mutex noticeLock_;
  SpoolServerNoticeHandler noticeHandler_;
};

// The process-wide spooler that the program or a test installs. CurrentSpooler()
// raises std::logic_error when none is installed.
void SetCurrentSpooler(std::shared_ptr<TSpooler> Spooler);
std::shared_ptr<TSpooler> CurrentSpooler();
