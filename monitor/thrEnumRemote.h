#pragma once
// Finds what to watch: given a server name, that server's printers; given
// none, every print server that the network's print providers list, and
// each one's printers. Every server and every printer goes to the windows
// through two callbacks run on the main thread.
//
// The buffers stay this thread's for the whole report: the callbacks see
// them, and copy what they keep. A server that cannot be listed, or whose
// report fails, is an alert, and the scan goes on with the others.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "BaseThread.h"
#include "splTypes.h"

// The wait form as the network scan drives it, on the main thread. The
// window layer installs the wait form's routines; unset ones do nothing.
// Close ends the use that thread's Show began, and the form forgets thread.
struct TScanWaitForm {
  std::function<void(const std::string& message, int32_t maximum, TBaseThread* thread)> Show;
  std::function<void(int32_t position)> Step;
  std::function<void(const std::string& text)> UpdateText;
  std::function<void(TBaseThread* thread)> Close;
};
void SetScanWaitForm(TScanWaitForm routines);

class TThreadEnumerateRemote : public TBaseThread {
public:
  // True accepts the server: its printers are reported next.
  using TServerFoundEvent = std::function<bool(TThreadEnumerateRemote* sender, const std::string& serverName,
                                               int32_t printerCount, const std::vector<PrinterInfo2>& buffer)>;
  using TPrinterFoundEvent =
      std::function<void(TThreadEnumerateRemote* sender, const std::string& serverName, const PrinterInfo2& printer)>;

  // Made suspended through TBaseThread::Create<TThreadEnumerateRemote>(true,
  // threadName); the creator sets both events and resumes it. An empty
  // threadName scans the network. The thread frees itself at its end.
  explicit TThreadEnumerateRemote(std::string threadName);

  // A server asked for by name (not found by the scan) could not be listed;
  // reason is what the alert says. Runs on the main thread.
  using TServerFailedEvent =
      std::function<void(TThreadEnumerateRemote* sender, const std::string& serverName, const std::string& reason)>;

  TServerFoundEvent OnServerFound;
  TPrinterFoundEvent OnPrinterFound;
  TServerFailedEvent OnServerFailed;


protected:
  void Initialize() override;
  void DoStart() override;
  void Execute() override;
  void DoTerminate() override;

private:
  void ListServer(const std::string& serverName);
  // Runs step here; a failure becomes an alert, its text goes to failure
  // when given, and the result is false.
  bool Guarded(const std::function<void()>& step, std::string* failure = nullptr);

  const std::string name;
  TScanWaitForm waitForm;
  std::vector<PrinterInfo1> providerBuffer;
  std::vector<PrinterInfo2> serverBuffer;
  int32_t progress = 0;
  bool showsWaitForm = false;
};
