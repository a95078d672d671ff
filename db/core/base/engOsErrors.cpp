#include "engOsErrors.h"

#include "engErrorCodes.h"

uint16_t EngineErrorFromOsError(OsError error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return EngErrInvalidName;
    case ERROR_TOO_MANY_OPEN_FILES: return EngErrTooManyFiles;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_NETWORK_ACCESS_DENIED: return EngErrAccessDenied;
    case ERROR_INVALID_HANDLE: return EngErrInvalidHandle;
    case ERROR_NOT_ENOUGH_MEMORY: return EngErrOutOfMemory;
    case ERROR_INVALID_DRIVE: return EngErrDeviceAccess;
    case ERROR_NOT_SAME_DEVICE: return EngErrNotSameDevice;
    default: return EngErrUnknownOsError;
  }
}
