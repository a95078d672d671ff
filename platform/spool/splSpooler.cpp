#include "splSpooler.h"

#include "splErrors.h"

#include <mutex>
#include <stdexcept>

OsError TSpooler::BeginCall(SpoolCall Call) {
  calls_[static_cast<size_t>(Call)].fetch_add(1, std::memory_order_relaxed);
  return ERROR_SUCCESS;
}

uint64_t TSpooler::CallCount(SpoolCall Call) const {
  return calls_[static_cast<size_t>(Call)].load(std::memory_order_relaxed);
}

void TSpooler::SetServerNoticeHandler(SpoolServerNoticeHandler Handler) {
  std::lock_guard<std::mutex> guard(noticeLock_);
  noticeHandler_ = std::move(Handler);
}

std::string TSpooler::ErrorText(OsError Code) const { return SpoolErrorMessage(Code); }

void TSpooler::NotifyServer(const SpoolServerNotice& Notice) {
  SpoolServerNoticeHandler handler;
  {
    std::lock_guard<std::mutex> guard(noticeLock_);
    handler = noticeHandler_;
  }
  if (handler) handler(Notice);
}

OsError TSpooler::EnumPrinters(uint32_t Flags, const std::string& Name, std::vector<PrinterInfo1>& Printers) {
  Printers.clear();
  if (const OsError e = BeginCall(SpoolCall::EnumPrinters)) return e;
  return DoEnumPrinters1(Flags, Name, Printers);
}

OsError TSpooler::EnumPrinters(uint32_t Flags, const std::string& Name, std::vector<PrinterInfo2>& Printers) {
  Printers.clear();
  if (const OsError e = BeginCall(SpoolCall::EnumPrinters)) return e;
  return DoEnumPrinters2(Flags, Name, Printers);
}

OsError TSpooler::OpenPrinter(const std::string& Name, uint32_t DesiredAccess, PrinterHandle& Handle) {
  Handle = 0;
  if (const OsError e = BeginCall(SpoolCall::OpenPrinter)) return e;
  return DoOpenPrinter(Name, DesiredAccess, Handle);
}

OsError TSpooler::ClosePrinter(PrinterHandle Handle) {
  if (const OsError e = BeginCall(SpoolCall::ClosePrinter)) return e;
  return DoClosePrinter(Handle);
}

OsError TSpooler::GetPrinter(PrinterHandle Handle, PrinterInfo2& Info) {
  Info = {};
  if (const OsError e = BeginCall(SpoolCall::GetPrinter)) return e;
  return DoGetPrinter(Handle, Info);
}

OsError TSpooler::EnumJobs(PrinterHandle Handle, uint32_t FirstJob, uint32_t NoJobs, std::vector<JobInfo2>& Jobs) {
  Jobs.clear();
  if (const OsError e = BeginCall(SpoolCall::EnumJobs)) return e;
  return DoEnumJobs(Handle, FirstJob, NoJobs, Jobs);
}

OsError TSpooler::EnumJobHistory(PrinterHandle Handle, std::vector<JobInfo2>& Jobs) {
  Jobs.clear();
  if (const OsError e = BeginCall(SpoolCall::EnumJobHistory)) return e;
  return DoEnumJobHistory(Handle, Jobs);
}

OsError TSpooler::FindFirstPrinterChangeNotification(PrinterHandle Handle, uint32_t Filter,
                                                     const PrinterNotifyOptions* Options, ChangeHandle& Change) {
  Change = 0;
  if (const OsError e = BeginCall(SpoolCall::FindFirstPrinterChangeNotification)) return e;
  return DoFindFirstChange(Handle, Filter, Options, Change);
}

OsError TSpooler::FindNextPrinterChangeNotification(ChangeHandle Change, uint32_t& ChangeWord,
                                                    const PrinterNotifyOptions* Options,
                                                    std::optional<PrinterNotifyInfo>& Info) {
  ChangeWord = 0;
  Info.reset();
  if (const OsError e = BeginCall(SpoolCall::FindNextPrinterChangeNotification)) return e;
  return DoFindNextChange(Change, ChangeWord, Options, Info);
}

OsError TSpooler::FindClosePrinterChangeNotification(ChangeHandle Change) {
  if (const OsError e = BeginCall(SpoolCall::FindClosePrinterChangeNotification)) return e;
  return DoFindCloseChange(Change);
}

OsError TSpooler::GetDefaultPrinter(std::string& Name) {
  Name.clear();
  if (const OsError e = BeginCall(SpoolCall::GetDefaultPrinter)) return e;
  return DoGetDefaultPrinter(Name);
}

OsError TSpooler::SetDefaultPrinter(const std::string& Name) {
  if (const OsError e = BeginCall(SpoolCall::SetDefaultPrinter)) return e;
  return DoSetDefaultPrinter(Name);
}

namespace {
std::mutex currentLock;
std::shared_ptr<TSpooler> current;
}  // namespace

void SetCurrentSpooler(std::shared_ptr<TSpooler> Spooler) {
  std::lock_guard<std::mutex> guard(currentLock);
  current = std::move(Spooler);
}

std::shared_ptr<TSpooler> CurrentSpooler() {
  std::lock_guard<std::mutex> guard(currentLock);
  if (!current) throw std::logic_error("No spooler installed");
  return current;
}
