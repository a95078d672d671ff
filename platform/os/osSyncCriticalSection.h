#pragma once
// A critical section: owned by one thread at a time and re-entrant for its
// owner. It is also a waitable object: a wait takes it (WAIT_OBJECT_0), or
// takes it from an owner that ended while holding it (WAIT_ABANDONED_0),
// which is how a main-thread wait for it keeps serving the dispatcher.

#include "osSyncWait.h"

class TOsCriticalSection : public TWaitable {
public:
  TOsCriticalSection() = default;
  ~TOsCriticalSection() override;

  // Blocks without serving anything: a lock, not a wait.
  void Enter();
  bool TryEnter();
  // A std::logic_error when the calling thread does not own the section.
  void Leave();
  // The calling thread owns the section (for assertions of who may touch
  // what it guards).
  bool HeldByCurrentThread() const;

private:
  friend class TThreadContext;
  void AbandonBy(TThreadContext& owner);

  TClaim ClaimLocked(const TThreadContext& taker) const override;
  void TakeLocked(TThreadContext& taker) override;

  TThreadContext* owner = nullptr;
  uint32_t depth = 0;
  bool abandoned = false;
};
