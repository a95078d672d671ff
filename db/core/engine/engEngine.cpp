#include "engEngine.h"

#include "engErrorCodes.h"
#include "engErrors.h"
#include "engLibrary.h"
#include "engSession.h"

namespace {

bool started = false;
TDataSession* defaultSession = nullptr;

struct TEngineLockGuard {
  TEngineLockGuard() { LockEngine(); }
  ~TEngineLockGuard() { UnlockEngine(); }
  TEngineLockGuard(const TEngineLockGuard&) = delete;
  TEngineLockGuard& operator=(const TEngineLockGuard&) = delete;
};

}  // namespace

void StartEngine() {
  TEngineLockGuard guard;
  if (started) return;
  StartEngineLibrary();
  defaultSession = new TDataSession;
  started = true;
}

void StopEngine() {
  TEngineLockGuard guard;
  if (!started) return;
  delete defaultSession;
  defaultSession = nullptr;
  StopEngineLibrary();
  started = false;
}

TDataSession* GetEngineSession() {
  TEngineLockGuard guard;
  if (!started) RaiseEngineError(EngErrNotInitialized);
  return defaultSession;
}

void SetEngineSession(TDataSession* session) {
  TEngineLockGuard guard;
  defaultSession = session;
}

TDataSession* CreateEngineSession(TDataSession*& session) {
  session = new TDataSession;
  return session;
}

void FreeEngineSession(TDataSession* session) { delete session; }
