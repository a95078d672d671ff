#include "SynchApp.h"

namespace {

struct TSynchAppFinalization {
  ~TSynchAppFinalization() {
    SignalAppTerminate();
    NoThreadsEvent().WaitFor(INFINITE);
  }
} gFinalization;

}  // namespace

TIntCriticalSection& RunningThreads() {
  static TIntCriticalSection* const counter = new TIntCriticalSection(0);
  return *counter;
}

TEvent& NoThreadsEvent() {
  static TEvent* const event = new TEvent(/*manualReset=*/true, /*initialState=*/true);
  return *event;
}

TSimpleEvent& AppTerminateEvent() {
  static TSimpleEvent* const event = new TSimpleEvent;
  return *event;
}

void SignalAppTerminate() { AppTerminateEvent().SetEvent(); }

bool IsAppTerminating() { return AppTerminateEvent().IsSignalled(); }
