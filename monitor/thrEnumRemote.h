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
// Close ends the use that Thread's Show began, and the form forgets Thread.
struct TScanWaitForm {
  std::function<void(const std::string& Message, int32_t Maximum, TBaseThread* Thread)> Show;
  std::function<void(int32_t Position)> Step;
  std::function<void(const std::string& Text)> UpdateText;
  std::function<void(TBaseThread* Thread)> Close;
};
void SetScanWaitForm(TScanWaitForm Routines);

class TThreadEnumerateRemote : public TBaseThread {
public:
  // True accepts the server: its printers are reported next.
  using TServerFoundEvent = std::function<bool(TThreadEnumerateRemote* Sender, const std::string& ServerName,
                                               int32_t PrinterCount, const std::vector<PrinterInfo2>& Buffer)>;
  using TPrinterFoundEvent =
      std::function<void(TThreadEnumerateRemote* Sender, const std::string& ServerName, const PrinterInfo2& Printer)>;

  // Made suspended through TBaseThread::Create<TThreadEnumerateRemote>(true,
  // Name); the creator sets both events and resumes it. An empty Name scans
  // the network. The thread frees itself at its end.
  explicit TThreadEnumerateRemote(std::string Name);

  TServerFoundEvent OnServerFound;
  TPrinterFoundEvent OnPrinterFound;


protected:
  void Initialize() override;
  void DoStart() override;
  void Execute() override;
  void DoTerminate() override;

private:
  void ListServer(const std::string& ServerName);
  // Runs Step here; a failure becomes an alert and gives false.
  bool Guarded(const std::function<void()>& Step);

  const std::string name;
  TScanWaitForm waitForm;
  std::vector<PrinterInfo1> providerBuffer;
  std::vector<PrinterInfo2> serverBuffer;
  int32_t progress = 0;
  bool showsWaitForm = false;
};
