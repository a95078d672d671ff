#include "rtlExceptions.h"

#include <cstring>

#include "rtlConsts.h"

Exception::Exception(const std::string& fmt, std::initializer_list<TVarRec> args)
    : Message(Format(fmt, args)) {}

void Abort() { throw EAbort(SOperationAborted); }

std::string SysErrorMessage(int errorCode) {
  char buffer[256];
  // The GNU strerror_r returns the text, which may or may not be the buffer.
  return strerror_r(errorCode, buffer, sizeof buffer);
}

void RaiseLastOSError(int errorCode) {
  throw EOSError(Format(SOSError, {errorCode, SysErrorMessage(errorCode)}),
                 static_cast<uint32_t>(errorCode));
}
