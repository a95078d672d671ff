#pragma once
// Turning a failed system call into an exception. The last error is errno.

#include "rtlExceptions.h"

RTL_EXCEPTION_CLASS(ESysError, Exception);

inline constexpr const char* SOutOfResources = "Out of resources";

// ESysError with the system's text of errno, or "Out of resources" when
// errno is 0.
[[noreturn]] void RaiseLastSysError();

// Raises unless errno equals expected.
void CheckLastError(int expected);

// A handle here is pointer-like: empty means the call failed.
template <class THandle>
THandle CheckHandleResult(THandle handle, int expected) {
  if (!handle) CheckLastError(expected);
  return handle;
}

template <class TValue>
TValue CheckBoolResult(TValue value, int expected) {
  if (value) return value;
  CheckLastError(expected);
  return TValue{};
}
