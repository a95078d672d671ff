#pragma once
// The program's locks and events over the platform's kernel objects.

#include <cstdint>
#include <memory>

#include "SystemErrors.h"
#include "osSyncCriticalSection.h"
#include "osSyncEvent.h"
#include "osSyncWait.h"

class TSynchroObject {
public:
  virtual ~TSynchroObject() = default;
  virtual void Acquire() {}
  virtual void Release() {}
};

// Re-entrant for its owning thread.
class TCriticalSection : public TSynchroObject {
public:
  void Acquire() override { section.Enter(); }
  void Release() override { section.Leave(); }
  bool TryEnter() { return section.TryEnter(); }
  bool HeldByCurrentThread() const { return section.HeldByCurrentThread(); }
  // Waits for the section; a main thread keeps serving the dispatcher (and
  // so its windows) until it gets it.
  void EnterPumping();

protected:
  // As EnterPumping, giving up after ms; one attempt is made even for 0.
  bool EnterPumpingTimeout(uint32_t ms);

private:
  TOsCriticalSection section;
};

// A critical section that guards one value.
class TValueCriticalSection : public TCriticalSection {
protected:
  TValueCriticalSection() = default;
};

class TIntCriticalSection : public TValueCriticalSection {
public:
  explicit TIntCriticalSection(int32_t initial) : value(initial) {}

  int32_t GetValue();
  void Inc();
  void Dec();
  // The value, or -1 when the section could not be entered within ms.
  int32_t GetValueTimeout(uint32_t ms);

private:
  int32_t value;
};

// Owns one object under its lock. Get and Set return with the lock held:
// every caller pairs them with Release.
template <class T>
class TGlobalPtrCriticalSection : public TValueCriticalSection {
public:
  explicit TGlobalPtrCriticalSection(std::unique_ptr<T> initial = nullptr) : held(std::move(initial)) {}

  T* Get() {
    Acquire();
    return held.get();
  }
  // Destroys the object held before.
  void Set(std::unique_ptr<T> replacement) {
    Acquire();
    held = std::move(replacement);
  }

private:
  std::unique_ptr<T> held;
};

enum TWaitResult : int32_t { wrSignaled = 0, wrTimeout = 2, wrAbandoned = 3, wrError = 4 };

// Owns one waitable object. A subclass that overrides Close calls it from
// its own destructor too: this destructor reaches only this class's Close.
class THandleObject : public TSynchroObject {
public:
  ~THandleObject() override;
  virtual void Close();
  // A failed wait (a closed handle) gives wrError and keeps errno as LastError.
  virtual TWaitResult WaitFor(uint32_t timeout);
  virtual bool IsSignalled();

  // For waits on several objects; null once closed.
  TWaitable* Handle() const { return handle.get(); }
  int LastError() const { return lastError; }

protected:
  explicit THandleObject(std::unique_ptr<TWaitable> waitable) : handle(std::move(waitable)) {}

  std::unique_ptr<TWaitable> handle;

private:
  int lastError = 0;
};

// An unnamed event. Each operation answers whether it succeeded (false once
// closed).
class TEvent : public THandleObject {
public:
  TEvent(bool manualReset, bool initialState);
  virtual bool Pulse();
  virtual bool SetEvent();
  virtual bool ResetEvent();

private:
  TOsEvent* Event();
};

// Manual reset, initially clear.
class TSimpleEvent : public TEvent {
public:
  TSimpleEvent() : TEvent(/*manualReset=*/true, /*initialState=*/false) {}
};
