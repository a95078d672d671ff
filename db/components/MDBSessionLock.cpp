#include "MDBSessionLock.h"

#include "rtlAssert.h"

#include <stdexcept>

namespace {

// Plain data, so nothing is destroyed when the thread ends and sessions
// closed by exit handlers still find it. A slot is free at depth 0, so a
// freed session or an ended thread leaves nothing behind.
struct TDepthSlot {
  const TMDBSession* Session;
  int Depth;
};
thread_local TDepthSlot depthSlots[TMDBSessionLock::MaxNestedSessions];

TDepthSlot* FindSlot(const TMDBSession* session) {
  for (TDepthSlot& slot : depthSlots)
    if (slot.Depth > 0 && slot.Session == session) return &slot;
  return nullptr;
}

}  // namespace

TMDBSessionLock& TMDBSessionLock::Instance() {
  // Never freed: sessions may still be closed by exit handlers.
  static TMDBSessionLock* lock = new TMDBSessionLock;
  return *lock;
}

int TMDBSessionLock::IncrementDepth(const TMDBSession* session) {
  if (TDepthSlot* slot = FindSlot(session)) return ++slot->Depth;
  for (TDepthSlot& slot : depthSlots) {
    if (slot.Depth == 0) {
      slot = {session, 1};
      return 1;
    }
  }
  throw std::length_error("too many sessions locked on one thread");
}

int TMDBSessionLock::DecrementDepth(const TMDBSession* session) {
  TDepthSlot* slot = FindSlot(session);
  ORV_ASSERT(slot != nullptr && "UnlockSession without LockSession on this thread");
  if (slot == nullptr) return 0;
  return --slot->Depth;
}
