#pragma once
// The engine's invariants go through the program's one assertion mechanism
// (rtlAssert.h): on in Debug and sanitizer builds, not evaluated otherwise.
// An assertion states what the engine itself guarantees (a lock held, a page
// pinned, an index in range, the owning thread, a bounded depth); bad input
// from files or callers is an engine error, never an assertion.

#include "rtlAssert.h"

#define ENG_ASSERT(condition) ORV_ASSERT(condition)
