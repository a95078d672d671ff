#include "MDBSessionLock.h"

#include <cassert>
#include <unordered_map>

namespace {

// Entries exist only while a depth is above zero, so a freed session
// leaves nothing behind.
std::unordered_map<const TMDBSession*, int>& ThreadDepths() {
  thread_local std::unordered_map<const TMDBSession*, int> depths;
  return depths;
}

}  // namespace

TMDBSessionLock& TMDBSessionLock::Instance() {
  // Never freed: sessions may still be closed by static destructors.
  static TMDBSessionLock* lock = new TMDBSessionLock;
  return *lock;
}

int TMDBSessionLock::IncrementDepth(const TMDBSession* session) { return ++ThreadDepths()[session]; }

int TMDBSessionLock::DecrementDepth(const TMDBSession* session) {
  auto& depths = ThreadDepths();
  auto found = depths.find(session);
  assert(found != depths.end() && found->second > 0 && "UnlockSession without LockSession on this thread");
  if (found == depths.end()) return 0;
  const int depth = --found->second;
  if (depth == 0) depths.erase(found);
  return depth;
}

int TMDBSessionLock::Depth(const TMDBSession* session) const {
  const auto& depths = ThreadDepths();
  auto found = depths.find(session);
  return found == depths.end() ? 0 : found->second;
}
