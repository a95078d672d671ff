#pragma once
// The monitoring core as the windows include it.

#include "BaseThread.h"

#include "Alerter.h"
#include "GenericWait.h"
#include "MonitorCommon.h"
#include "SettingsKeys.h"
#include "SynchApp.h"
#include "thrEnumRemote.h"
#include "thrJobs.h"
#include "thrServer.h"
