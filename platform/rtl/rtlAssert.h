#pragma once
// Executable invariants, one mechanism for every layer. ORV_ASSERT is on in
// Debug builds and in every sanitizer build, where a broken invariant should
// stop the run at its cause; in the default RelWithDebInfo and in Release it
// compiles to nothing and does not evaluate its condition, so a check may
// cost what it must. The build sets ORV_ASSERTIONS (platform/rtl's build file).
//
// An assertion states what the code itself guarantees (a lock held, a page
// pinned, an index in range, the owning thread, a state machine's state);
// bad input from files, peers or callers is an error the code raises, never
// an assertion.

#if defined(ORV_ASSERTIONS)
#define ORV_ASSERT(condition) \
  ((condition) ? static_cast<void>(0) : AssertionFailed(#condition, __FILE__, __LINE__))
#else
#define ORV_ASSERT(condition) static_cast<void>(sizeof(static_cast<bool>(condition)))
#endif

// Reports the broken invariant and aborts. Always defined, so that a
// library built with assertions links against one built without.
[[noreturn]] void AssertionFailed(const char* condition, const char* file, int line);
