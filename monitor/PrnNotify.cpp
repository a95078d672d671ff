#include "PrnNotify.h"

#include <cerrno>

#include "SystemErrors.h"
#include "osErrors.h"
#include "splErrors.h"

namespace {

void CheckSpoolResult(OsError error) {
  // The spooler's own numbers have words of their own ("The print server
  // is unavailable."), not just "System error 1722.".
  if (error != ERROR_SUCCESS) throw ESysError(SpoolErrorMessage(error));
}

}  // namespace

TPrinterChangeNotify::TPrinterChangeNotify(PrinterHandle printer, const PrinterNotifyOptions* notifyOptions,
                                           uint32_t filter)
    : THandleObject(nullptr), spooler(CurrentSpooler()), options(notifyOptions) {
  CheckSpoolResult(spooler->FindFirstPrinterChangeNotification(printer, filter, notifyOptions, change));
  handle = std::make_unique<TDescriptorWaitable>(spooler->ChangeNotificationFd(change));
  waitList = {handle.get()};
}

TPrinterChangeNotify::~TPrinterChangeNotify() { Close(); }

void TPrinterChangeNotify::Close() {
  waitList.clear();
  FreeInfo();
  // The waitable polls the notification's descriptor: it goes first.
  THandleObject::Close();
  if (change) {
    spooler->FindClosePrinterChangeNotification(change);
    change = 0;
  }
}

void TPrinterChangeNotify::SetWaitHandles(const std::vector<THandleObject*>& handles) {
  waitList.clear();
  for (THandleObject* object : handles) waitList.push_back(object->Handle());
  waitList.push_back(handle.get());
}

void TPrinterChangeNotify::FetchNext(const PrinterNotifyOptions* fetchOptions) {
  CheckSpoolResult(spooler->FindNextPrinterChangeNotification(change, changeWord, fetchOptions, notifyInfo));
}

bool TPrinterChangeNotify::WaitForChange() {
  for (;;) {
    // What an earlier wait brought must never be applied twice.
    FreeInfo();
    changeWord = 0;
    wokenByApc = false;
    errno = 0;
    const uint32_t result = waitList.size() == 1 ? WaitForSingleObjectEx(waitList[0], INFINITE, true)
                                                 : WaitForMultipleObjectsEx(waitList, INFINITE, true);
    if (result == WAIT_FAILED) RaiseLastSysError();
    wokenByApc = result == WAIT_IO_COMPLETION;
    TWaitable* const notification = handle.get();
    const bool changed = !wokenByApc && result < waitList.size() &&
                         WaitForObjects({&notification, 1}, 0, TWaitOptions{}) == WAIT_OBJECT_0;
    if (!changed) return false;
    FetchNext(options);
    if (!notifyInfo || !(notifyInfo->Flags & PRINTER_NOTIFY_INFO_DISCARDED)) return true;
    FreeInfo();
    if (options) {
      // A copy: the caller's options may be shared by other watchers.
      PrinterNotifyOptions refresh = *options;
      refresh.Flags = PRINTER_NOTIFY_OPTIONS_REFRESH;
      FetchNext(&refresh);
    } else {
      FetchNext(nullptr);
    }
    DoRefresh();
  }
}

bool TPrinterChangeNotify::FetchSignalled() {
  FreeInfo();
  changeWord = 0;
  wokenByApc = false;
  TWaitable* const notification = handle.get();
  if (WaitForObjects({&notification, 1}, 0, TWaitOptions{}) != WAIT_OBJECT_0) return false;
  FetchNext(options);
  if (notifyInfo && (notifyInfo->Flags & PRINTER_NOTIFY_INFO_DISCARDED) && options) {
    PrinterNotifyOptions refresh = *options;
    refresh.Flags = PRINTER_NOTIFY_OPTIONS_REFRESH;
    FreeInfo();
    FetchNext(&refresh);
  }
  return notifyInfo.has_value();
}

void TPrinterChangeNotify::DoRefresh() {
  if (OnRefresh) OnRefresh(this);
}

void TPrinterChangeNotify::FreeInfo() { notifyInfo.reset(); }
