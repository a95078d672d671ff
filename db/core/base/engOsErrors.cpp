#include "engOsErrors.h"

uint16_t EngineErrorFromOsError(OsError error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return 11010;
    case ERROR_TOO_MANY_OPEN_FILES: return 11012;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_NETWORK_ACCESS_DENIED: return 11013;
    case ERROR_INVALID_HANDLE: return 11014;
    case ERROR_NOT_ENOUGH_MEMORY: return 11016;
    case ERROR_INVALID_DRIVE: return 11023;
    case ERROR_NOT_SAME_DEVICE: return 11025;
    default: return 11047;
  }
}
