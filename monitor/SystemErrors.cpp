#include "SystemErrors.h"

#include <cerrno>

void RaiseLastSysError() {
  const int error = errno;
  if (error != 0) {
    std::string text = SysErrorMessage(error);
    if (!text.empty()) throw ESysError(std::move(text));
  }
  throw ESysError(SOutOfResources);
}

void CheckLastError(int expected) {
  if (errno != expected) RaiseLastSysError();
}
