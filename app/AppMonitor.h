#pragma once
// The monitoring core as the windows include it.

#include "BaseThread.h"

#include "GenericWait.h"
#include "Regs.h"
#include "SynchApp.h"
#include "gTools.h"
#include "thrEnumRemote.h"
#include "thrJobs.h"
#include "thrServer.h"
#include "uAlerter.h"
