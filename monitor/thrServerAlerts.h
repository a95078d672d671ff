#pragma once
// A watched print server that stops answering is an outage, not an end:
// its watch threads stay and wait, the spooler looks again by itself and,
// when the server answers, reports what ended meanwhile. What the user
// learns of it are these alerts, raised as if by the server's watch thread.

#include "splServerNotice.h"

inline constexpr const char* SServerUnreachable =
    "Print server \"%s\" does not answer: %s. Its jobs are recorded when it answers again.";
inline constexpr const char* SServerReachable =
    "Print server \"%s\" answers again after %d seconds; the jobs it ended meanwhile are recorded.";
inline constexpr const char* SServerGivenUp =
    "Print server \"%s\" has not answered for %d minutes: %s. Its printers are no longer watched.";

// One alert for the notice: a warning when the server stops answering,
// information when it answers again, a serious alert when the spooler gave
// up. Installed on the spooler by every server watch thread.
void AlertServerNotice(const SpoolServerNotice& notice);
