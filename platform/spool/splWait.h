#pragma once
// Waiting on a change notification together with a wake descriptor, for
// callers that do not use the platform's alertable waits.

#include "splSpooler.h"

enum class ChangeWait : uint8_t { Changed, Woken, TimedOut, Failed };

// Waits until the notification is signalled (Changed), WakeFd polls readable
// (Woken; WakeFd is not read), or TimeoutMs passes (TimedOut; -1 waits without
// limit). WakeFd -1 means none. Failed for an unknown notification or a
// failed poll. A readable WakeFd wins over a change.
ChangeWait WaitForPrinterChange(TSpooler& Spooler, ChangeHandle Change, int TimeoutMs, int WakeFd);

// The notification tests signalled now (a wait with timeout 0).
bool IsChangeSignalled(TSpooler& Spooler, ChangeHandle Change);
