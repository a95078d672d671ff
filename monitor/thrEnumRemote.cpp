#include "thrEnumRemote.h"

#include <mutex>

#include "MonitorCommon.h"
#include "splConstants.h"

namespace {

std::mutex gScanWaitFormMutex;
TScanWaitForm gScanWaitForm;

// A provider's entry names its server from the first "\\" on.
std::string ServerNameOf(const PrinterInfo1& provider) {
  const size_t start = provider.Name.find("\\\\");
  return start == std::string::npos ? provider.Name : provider.Name.substr(start);
}

}  // namespace

void SetScanWaitForm(TScanWaitForm routines) {
  std::lock_guard guard(gScanWaitFormMutex);
  gScanWaitForm = std::move(routines);
}

TThreadEnumerateRemote::TThreadEnumerateRemote(std::string threadName) : name(std::move(threadName)) {
  std::lock_guard guard(gScanWaitFormMutex);
  waitForm = gScanWaitForm;
}

void TThreadEnumerateRemote::Initialize() { FreeOnTerminate = true; }

void TThreadEnumerateRemote::DoStart() {
  TBaseThread::DoStart();
  if (!name.empty()) return;
  Synchronize([this] {
    if (waitForm.Show) waitForm.Show("Searching...", 0, this);
  });
  showsWaitForm = true;
  progress = 0;
  EnumPrintersBuffer(PRINTER_ENUM_REMOTE, "", providerBuffer);
  Synchronize([this] {
    if (waitForm.Step) waitForm.Step(static_cast<int32_t>(providerBuffer.size()) + 1);
  });
}

void TThreadEnumerateRemote::Execute() {
  if (!name.empty()) {
    ListServer(name);
    return;
  }
  for (const PrinterInfo1& provider : providerBuffer) {
    if (provider.Flags & PRINTER_ENUM_CONTAINER) ListServer(ServerNameOf(provider));
    ++progress;
    Synchronize([this] {
      if (waitForm.Step) waitForm.Step(progress);
    });
    if (Terminated()) break;
  }
}

void TThreadEnumerateRemote::ListServer(const std::string& serverName) {
  bool accepted = false;
  std::string failure;
  const bool listed = Guarded([&] {
    // Only the scan's own form: a single server's listing leaves any other
    // wait alone.
    if (showsWaitForm) {
      Synchronize([&] {
        if (waitForm.UpdateText) waitForm.UpdateText(serverName);
      });
    }
    EnumPrintersBuffer(PRINTER_ENUM_NAME, serverName, serverBuffer);
    if (serverBuffer.empty()) return;
    Synchronize([&] {
      accepted = OnServerFound &&
                 OnServerFound(this, serverName, static_cast<int32_t>(serverBuffer.size()), serverBuffer);
    });
  }, &failure);
  if (!listed && serverName == name && OnServerFailed) {
    Synchronize([&] { OnServerFailed(this, serverName, failure); });
  }
  if (listed && accepted) {
    for (const PrinterInfo2& printer : serverBuffer) {
      Guarded([&] {
        Synchronize([&] {
          if (OnPrinterFound) OnPrinterFound(this, serverName, printer);
        });
      });
    }
  }
  serverBuffer.clear();
}

bool TThreadEnumerateRemote::Guarded(const std::function<void()>& step, std::string* failure) {
  try {
    step();
    return true;
  } catch (const Exception& e) {
    if (failure) *failure = e.Message;
    HandleException();
    return false;
  } catch (...) {
    HandleException();
    return false;
  }
}

void TThreadEnumerateRemote::DoTerminate() {
  if (showsWaitForm) {
    showsWaitForm = false;
    Synchronize([this] {
      if (waitForm.Close) waitForm.Close(this);
    });
  }
  TBaseThread::DoTerminate();
}
