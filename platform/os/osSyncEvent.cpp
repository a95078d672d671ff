#include "osSyncEvent.h"

#include <limits>

void TOsEvent::Set() {
  std::lock_guard guard(StateLock());
  if (manualReset) {
    signalled = true;
    WakeWaitersLocked();
  } else if (GrantWaitersLocked(1) == 0) {
    // Nobody waits: the next wait takes it.
    signalled = true;
  }
}

void TOsEvent::Reset() {
  std::lock_guard guard(StateLock());
  signalled = false;
}

void TOsEvent::Pulse() {
  std::lock_guard guard(StateLock());
  GrantWaitersLocked(manualReset ? std::numeric_limits<size_t>::max() : 1);
  signalled = false;
}
