#include "splErrors.h"

std::string SpoolErrorMessage(OsError Code) {
  switch (Code) {
    case ERROR_NOT_SUPPORTED: return "The request is not supported.";
    case ERROR_INSUFFICIENT_BUFFER: return "The buffer is too small.";
    case ERROR_INVALID_LEVEL: return "The information level is not supported.";
    case ERROR_TIMEOUT: return "The operation timed out.";
    case RPC_S_SERVER_UNAVAILABLE: return "The print server is unavailable.";
    case ERROR_INVALID_PRINTER_NAME: return "The printer name is not valid.";
    default: return OsErrorMessage(Code);
  }
}
