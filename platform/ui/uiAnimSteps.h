#pragma once
// Animations that run to their end before the caller goes on (a node
// opening, a hint fading in): a number of frames with a pause after each.
// The pause is the one place where time enters, so tests replace it and
// look at every frame while it is on screen.

#include <functional>

enum TAnimationPauseKind {
  apSleep,        // nothing else runs meanwhile (the caller is mid-change)
  apServeEvents,  // the GUI thread serves its events while it waits
};

using TAnimationPause = std::function<void(int ms, TAnimationPauseKind kind)>;

// Runs frame(0) .. frame(count - 1), pausing pauseMs after each; a frame
// that answers false ends the run. True when every frame ran.
bool RunAnimationSteps(int count, int pauseMs, TAnimationPauseKind kind, const std::function<bool(int step)>& frame);

// Replaces the pause of every animation of the GUI thread for its
// lifetime (tests); the earlier one comes back afterwards.
class TAnimationPauseOverride {
public:
  explicit TAnimationPauseOverride(TAnimationPause pause);
  TAnimationPauseOverride(const TAnimationPauseOverride&) = delete;
  TAnimationPauseOverride& operator=(const TAnimationPauseOverride&) = delete;
  ~TAnimationPauseOverride();

private:
  TAnimationPause previous;
};
