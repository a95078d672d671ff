#pragma once
// Byte-range locks are tried, never waited on: a lock that another holder
// has is tried again after a pause, a bounded number of times.
//
// A thread at work for a session waits as that session's lock settings say:
// for at most (retry count + 1) x wait time in all, whatever the pause
// between two tries. The session installs its settings for the thread for
// the length of its outermost operation. Without them (the engine's own
// opens, checks and repairs) each caller's own bound holds.

#include <cstdint>
#include <memory>
#include <type_traits>

#include "engFileHandler.h"

// The tries and pause of the files' own header, exclusive and shared locks.
inline constexpr int FileLockTries = 8193;
inline constexpr uint32_t FileLockPauseMs = 3;

// One try at a lock: true once it is held. It borrows the caller's callable
// for the length of the call: a lock call runs on every change check, and a
// copying wrapper would allocate for a callable that captures more than two
// references.
class TLockTry {
public:
  template <typename F>
    requires(!std::is_same_v<std::remove_cvref_t<F>, TLockTry> && std::is_invocable_r_v<bool, F&>)
  TLockTry(F&& tryLock)
      : callable(const_cast<void*>(static_cast<const void*>(std::addressof(tryLock)))),
        invoke([](void* c) -> bool { return (*static_cast<std::remove_reference_t<F>*>(c))(); }) {}

  bool operator()() const { return invoke(callable); }

private:
  void* callable;
  bool (*invoke)(void*);
};

// A session's lock settings.
struct TLockWaitSettings {
  uint8_t RetryCount = 0;
  uint16_t WaitTimeMs = 0;
  // Tries that fit the settings' whole wait with pauseMs between two.
  int TriesFor(uint32_t pauseMs) const;
};

// A session's settings installed for the thread it works for, from its
// outermost operation's start to its end. Enter and Leave pair up; an
// operation of another session inside it follows that session's settings
// until it ends. The session keeps its install and the thread a plain
// pointer to the innermost, linked to the one it stands in for: a walk that
// reads a memo per row starts two operations a row, and each start and end
// is a few stores, where a thread-local list was checked for its set-up
// and grown or shrunk on every one.
class TSessionLockWait {
public:
  TSessionLockWait() = default;
  TSessionLockWait(const TSessionLockWait&) = delete;
  TSessionLockWait& operator=(const TSessionLockWait&) = delete;

  void Enter(const TLockWaitSettings& settings);
  // Only the innermost install may leave.
  void Leave();
  const TLockWaitSettings& Settings() const { return settings; }

private:
  TLockWaitSettings settings;
  const TSessionLockWait* outer = nullptr;
};

// Calls tryLock until it returns true, pausing pauseMs between two tries:
// at most tries times (once at the least), or, while a session's settings
// are installed for this thread, as many times as they allow. False when
// every try failed.
bool RetryLock(TLockTry tryLock, int tries, uint32_t pauseMs);

// The waits of the early tries, in microseconds: together they fill the
// first millisecond of a pause.
inline constexpr uint32_t EarlyTryWaitsUs[] = {50, 100, 200, 250, 400};

// As RetryLock, with early tries: a pause of a millisecond or more starts
// with the short waits above, each followed by a try, and a lock got that
// way ends the wait. For a lock that another holder takes only for a
// moment (a writer's one change) the wait ends soon after it goes instead
// of a whole pause later. The early tries come on top of the counted ones
// and never shorten a pause: a lock that stays held is given up no sooner.
bool RetryLockEarly(TLockTry tryLock, int tries, uint32_t pauseMs);

// Locks one byte just below top, top - byteNumber with byteNumber drawn
// anew (1 to 65534) on each try, so that shared holders rarely meet on one
// byte. byteNumber keeps the drawn number for the unlock. A shared byte
// waits only for a writer's exclusive range, held for one change, so it is
// retried early; writers keep the plain pause, which lets the readers that
// come and go between their changes in.
bool LockSharedByte(TFileHandler& file, int32_t top, uint16_t& byteNumber);
