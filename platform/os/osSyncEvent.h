#pragma once
// An event: manual-reset events stay signalled until reset; auto-reset ones
// let exactly one waiting thread through per signal.

#include "osSyncWait.h"

// A manual-reset event stays set for every waiter until Reset; an
// auto-reset one lets one waiter through and resets.
struct TOsEventOptions {
  bool manualReset = false;
  bool initiallySet = false;
};

class TOsEvent : public TWaitable {
public:
  explicit TOsEvent(TOsEventOptions options) : manualReset(options.manualReset), signalled(options.initiallySet) {}

  void Set();
  void Reset();
  // Releases the threads waiting at this moment (manual reset: all of them,
  // auto reset: one) and leaves the event reset.
  void Pulse();

private:
  TClaim ClaimLocked(const TThreadContext&) const override { return signalled ? TClaim::Signalled : TClaim::None; }
  void TakeLocked(TThreadContext&) override {
    if (!manualReset) signalled = false;
  }

  const bool manualReset;
  bool signalled;
};
