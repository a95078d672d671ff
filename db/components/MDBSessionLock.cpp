#include "MDBSessionLock.h"

#include <cassert>

TMDBSessionLock& TMDBSessionLock::Instance() {
  // Never freed: sessions may still be closed by exit handlers.
  static TMDBSessionLock* lock = new TMDBSessionLock;
  return *lock;
}

int TMDBSessionLock::IncrementDepth(const TMDBSession* session) {
  return ++depths[{session, std::this_thread::get_id()}];
}

int TMDBSessionLock::DecrementDepth(const TMDBSession* session) {
  auto found = depths.find({session, std::this_thread::get_id()});
  assert(found != depths.end() && found->second > 0 && "UnlockSession without LockSession on this thread");
  if (found == depths.end()) return 0;
  const int depth = --found->second;
  if (depth == 0) depths.erase(found);
  return depth;
}
