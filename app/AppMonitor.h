#pragma once
// The monitoring core as the windows include it. The core's thread state
// tsDestroying and the tree control's tree state of the same name would
// clash in one translation unit; the windows use neither, so the core's is
// seen here under another name.

#define tsDestroying tsThreadDestroying
#include "BaseThread.h"
#undef tsDestroying

#include "GenericWait.h"
#include "Regs.h"
#include "SynchApp.h"
#include "gTools.h"
#include "thrEnumRemote.h"
#include "thrJobs.h"
#include "thrServer.h"
#include "uAlerter.h"
