#include "engEngine.h"

#include "engErrorCodes.h"
#include "engErrors.h"
#include "engLibrary.h"
#include "engScopeGuard.h"
#include "engSession.h"

namespace {

bool started = false;
TDataSession* defaultSession = nullptr;

// Holds the engine lock until the scope ends.
auto HoldEngineLock() {
  LockEngine();
  return TScopeGuard([] { UnlockEngine(); });
}

}  // namespace

void StartEngine() {
  const auto held = HoldEngineLock();
  if (started) return;
  StartEngineLibrary();
  defaultSession = new TDataSession;
  started = true;
}

void StopEngine() {
  const auto held = HoldEngineLock();
  if (!started) return;
  delete defaultSession;
  defaultSession = nullptr;
  StopEngineLibrary();
  started = false;
}

TDataSession* GetEngineSession() {
  const auto held = HoldEngineLock();
  if (!started) RaiseEngineError(EngErrNotInitialized);
  return defaultSession;
}

void SetEngineSession(TDataSession* session) {
  const auto held = HoldEngineLock();
  defaultSession = session;
}

TDataSession* CreateEngineSession(TDataSession*& session) {
  session = new TDataSession;
  return session;
}

void FreeEngineSession(TDataSession* session) { delete session; }
