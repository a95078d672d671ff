#include "osSyncCriticalSection.h"

#include <stdexcept>

#include "osThreadContext.h"
#include "rtlAssert.h"

TOsCriticalSection::~TOsCriticalSection() {
  // Freed by its owner while held: the owner must not abandon it later.
  TThreadContext& self = CurrentThreadContext();
  std::lock_guard guard(StateLock());
  if (owner == &self) self.NoteLockReleased(this);
}

void TOsCriticalSection::Enter() {
  TWaitable* self = this;
  WaitForObjects({&self, 1}, INFINITE, {});
}

bool TOsCriticalSection::TryEnter() {
  TThreadContext& taker = CurrentThreadContext();
  std::lock_guard guard(StateLock());
  if (ClaimLocked(taker) == TClaim::None) return false;
  TakeLocked(taker);
  return true;
}

void TOsCriticalSection::Leave() {
  TThreadContext& self = CurrentThreadContext();
  std::lock_guard guard(StateLock());
  if (owner != &self) throw std::logic_error("critical section left by a thread that does not own it");
  ORV_ASSERT(depth >= 1);  // an owner holds the section at least once
  if (--depth > 0) return;
  owner = nullptr;
  self.NoteLockReleased(this);
  WakeWaitersLocked();
}

bool TOsCriticalSection::HeldByCurrentThread() const {
  const TThreadContext& self = CurrentThreadContext();
  std::lock_guard guard(StateLock());
  return owner == &self;
}

void TOsCriticalSection::AbandonBy(TThreadContext& ended) {
  std::lock_guard guard(StateLock());
  if (owner != &ended) return;
  owner = nullptr;
  depth = 0;
  abandoned = true;
  WakeWaitersLocked();
}

TWaitable::TClaim TOsCriticalSection::ClaimLocked(const TThreadContext& taker) const {
  if (owner == &taker) return TClaim::Signalled;
  if (owner) return TClaim::None;
  return abandoned ? TClaim::Abandoned : TClaim::Signalled;
}

void TOsCriticalSection::TakeLocked(TThreadContext& taker) {
  ORV_ASSERT(owner == nullptr || owner == &taker);  // claimed before taken
  if (owner != &taker) {
    owner = &taker;
    abandoned = false;
    taker.NoteLockTaken(this);
  }
  ++depth;
}
