#pragma once
// Executable invariants. ENG_ASSERT is on in Debug builds and in every
// sanitizer build, where a broken invariant should stop the run at its
// cause; in the default RelWithDebInfo and in Release it compiles to
// nothing and does not evaluate its condition, so a check may cost what it
// must. The build sets ENG_ASSERTIONS (db/core/base/CMakeLists.txt).
//
// An assertion states what the engine itself guarantees (a lock held, a
// page pinned, an index in range, the owning thread, a bounded depth); bad
// input from files or callers is an engine error, never an assertion.

#if defined(ENG_ASSERTIONS)
[[noreturn]] void EngineAssertionFailed(const char* condition, const char* file, int line);
#define ENG_ASSERT(condition) \
  ((condition) ? static_cast<void>(0) : EngineAssertionFailed(#condition, __FILE__, __LINE__))
#else
#define ENG_ASSERT(condition) static_cast<void>(sizeof(static_cast<bool>(condition)))
#endif
