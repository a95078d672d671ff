#pragma once
// The Windows error numbers the spooler calls return besides those of
// osErrors.h, and the system's texts for them.

#include <string>

#include "osErrors.h"

inline constexpr OsError ERROR_NOT_SUPPORTED = 50;
inline constexpr OsError ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr OsError ERROR_INVALID_LEVEL = 124;
inline constexpr OsError ERROR_TIMEOUT = 1460;
inline constexpr OsError RPC_S_SERVER_UNAVAILABLE = 1722;
inline constexpr OsError ERROR_INVALID_PRINTER_NAME = 1801;

// The text of any error a spooler call returns.
std::string SpoolErrorMessage(OsError Code);
