#pragma once
// One spooler change notification together with the wait in which a watch
// thread spends its idle time. The wait is alertable, so other threads wake
// the watcher by queueing WakeApc to it, and it may include extra objects
// of the owner. Data the spooler discarded is answered inside the wait: the
// notification is fetched again with the refresh option and OnRefresh runs
// (the owner re-reads its whole model), so an incomplete change never
// reaches the owner.
//
// The object belongs to the one thread that waits on it and reads what the
// last wait brought.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "Synchro.h"
#include "splSpooler.h"

class TPrinterChangeNotify : public THandleObject {
public:
  using TRefreshEvent = std::function<void(TPrinterChangeNotify* sender)>;

  // Watches the printer or server behind printer for filter's PRINTER_CHANGE_
  // conditions and, with notifyOptions, for their fields. The options stay
  // the caller's and must outlive this object; they are never changed. An
  // ESysError when the spooler refuses.
  TPrinterChangeNotify(PrinterHandle printer, const PrinterNotifyOptions* notifyOptions, uint32_t filter);
  ~TPrinterChangeNotify() override;

  void Close() override;
  // Asking whether it is signalled waits for the next change.
  bool IsSignalled() override { return WaitForChange(); }

  // The owner's extra objects, in order; the notification is always the
  // last object waited on.
  void SetWaitHandles(const std::vector<THandleObject*>& handles);

  // Waits without a time limit. True when the spooler reported a change for
  // the owner to apply (ChangeWord, NotifyInfo). False when an extra object
  // or a queued asynchronous call (WokenByApc) ended the wait. An ESysError
  // when the wait or a fetch fails.
  bool WaitForChange();
  // Without waiting: fetches a change the spooler has signalled and nobody
  // fetched yet. True when it brought field data (NotifyInfo); after data
  // was discarded, the full data that replaces it.
  bool FetchSignalled();
  void DoRefresh();
  void FreeInfo();

  // What the last wait brought; a wait that returned false brings nothing.
  uint32_t ChangeWord() const { return changeWord; }
  // Null when the last wait brought no field data.
  const PrinterNotifyInfo* NotifyInfo() const { return notifyInfo ? &*notifyInfo : nullptr; }
  bool WokenByApc() const { return wokenByApc; }

  TRefreshEvent OnRefresh;

private:
  void FetchNext(const PrinterNotifyOptions* fetchOptions);

  std::shared_ptr<TSpooler> spooler;
  ChangeHandle change = 0;
  const PrinterNotifyOptions* options;
  std::vector<TWaitable*> waitList;
  std::optional<PrinterNotifyInfo> notifyInfo;
  uint32_t changeWord = 0;
  bool wokenByApc = false;
};
