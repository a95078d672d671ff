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

using TAnimationPause = std::function<void(int Ms, TAnimationPauseKind Kind)>;

// Runs Frame(0) .. Frame(Count - 1), pausing PauseMs after each; a frame
// that answers false ends the run. True when every frame ran.
bool RunAnimationSteps(int Count, int PauseMs, TAnimationPauseKind Kind, const std::function<bool(int Step)>& Frame);

// Replaces the pause of every animation of the GUI thread for its
// lifetime (tests); the earlier one comes back afterwards.
class TAnimationPauseOverride {
public:
  explicit TAnimationPauseOverride(TAnimationPause Pause);
  TAnimationPauseOverride(const TAnimationPauseOverride&) = delete;
  TAnimationPauseOverride& operator=(const TAnimationPauseOverride&) = delete;
  ~TAnimationPauseOverride();

private:
  TAnimationPause previous;
};
