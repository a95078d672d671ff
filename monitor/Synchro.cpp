#include "Synchro.h"

#include <cerrno>

void TCriticalSection::EnterPumping() { EnterPumpingTimeout(INFINITE); }

bool TCriticalSection::EnterPumpingTimeout(uint32_t ms) {
  // An abandoned section is entered all the same.
  const uint32_t result = WaitForSingleObject(&section, ms);
  return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED_0;
}

int32_t TIntCriticalSection::GetValue() {
  EnterPumping();
  const int32_t result = value;
  Release();
  return result;
}

void TIntCriticalSection::Inc() {
  EnterPumping();
  ++value;
  Release();
}

void TIntCriticalSection::Dec() {
  EnterPumping();
  --value;
  Release();
}

int32_t TIntCriticalSection::GetValueTimeout(uint32_t ms) {
  if (!EnterPumpingTimeout(ms)) return -1;
  const int32_t result = value;
  Release();
  return result;
}

THandleObject::~THandleObject() { THandleObject::Close(); }

void THandleObject::Close() { handle.reset(); }

TWaitResult THandleObject::WaitFor(uint32_t timeout) {
  errno = 0;
  switch (WaitForSingleObject(handle.get(), timeout)) {
    case WAIT_OBJECT_0:
      return wrSignaled;
    case WAIT_TIMEOUT:
      return wrTimeout;
    case WAIT_ABANDONED_0:
      return wrAbandoned;
    case WAIT_FAILED:
      lastError = errno;
      return wrError;
    default:
      RaiseLastSysError();
  }
}

bool THandleObject::IsSignalled() { return WaitFor(0) == wrSignaled; }

TEvent::TEvent(bool manualReset, bool initialState)
    : THandleObject(std::make_unique<TOsEvent>(TOsEventOptions{.manualReset = manualReset, .initiallySet = initialState})) {}

TOsEvent* TEvent::Event() {
  if (!handle) errno = EBADF;
  return static_cast<TOsEvent*>(handle.get());
}

bool TEvent::Pulse() {
  TOsEvent* event = Event();
  if (event) event->Pulse();
  return event != nullptr;
}

bool TEvent::SetEvent() {
  TOsEvent* event = Event();
  if (event) event->Set();
  return event != nullptr;
}

bool TEvent::ResetEvent() {
  TOsEvent* event = Event();
  if (event) event->Reset();
  return event != nullptr;
}
