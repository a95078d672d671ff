#pragma once
// The process-wide state that governs shutdown: the count of running
// threads, the event set while none runs, and the application terminate
// event that every worker thread watches.
//
// At the program's end the terminate event is set and the end waits,
// without limit, for the no-threads event. These objects are never freed:
// an abandoned thread may still reach them while the process ends.

#include "Synchro.h"

// The running-thread counter. Its lock also guards the moves from and to
// zero threads.
TIntCriticalSection& RunningThreads();
// Manual reset, initially set.
TEvent& NoThreadsEvent();
// Manual reset, initially clear.
TSimpleEvent& AppTerminateEvent();

void SignalAppTerminate();
bool IsAppTerminating();
