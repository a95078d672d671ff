#pragma once
// Windows error numbers, as the engine's error mapping understands them.
//
// Every call of the file and path layer returns one of these numbers
// (ERROR_SUCCESS = 0 on success) instead of setting a per-thread last error:
// the result travels with the call, so threads never read each other's
// failures. An errno without a Windows twin keeps its value: it is returned
// as OS_ERRNO_FLAG | errno, which no Windows number uses.

#include <cstdint>
#include <string>

using OsError = uint32_t;

inline constexpr OsError ERROR_SUCCESS = 0;
inline constexpr OsError ERROR_FILE_NOT_FOUND = 2;
inline constexpr OsError ERROR_PATH_NOT_FOUND = 3;
inline constexpr OsError ERROR_TOO_MANY_OPEN_FILES = 4;
inline constexpr OsError ERROR_ACCESS_DENIED = 5;
inline constexpr OsError ERROR_INVALID_HANDLE = 6;
inline constexpr OsError ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr OsError ERROR_INVALID_DRIVE = 15;
inline constexpr OsError ERROR_NOT_SAME_DEVICE = 17;
inline constexpr OsError ERROR_SHARING_VIOLATION = 32;
inline constexpr OsError ERROR_LOCK_VIOLATION = 33;
inline constexpr OsError ERROR_NETWORK_ACCESS_DENIED = 65;
inline constexpr OsError ERROR_FILE_EXISTS = 80;
inline constexpr OsError ERROR_INVALID_PARAMETER = 87;
inline constexpr OsError ERROR_DISK_FULL = 112;
inline constexpr OsError ERROR_DIR_NOT_EMPTY = 145;
inline constexpr OsError ERROR_NOT_LOCKED = 158;
inline constexpr OsError ERROR_FILENAME_EXCED_RANGE = 206;
inline constexpr OsError ERROR_FILE_TOO_LARGE = 223;

// Marks an errno carried unmapped in the low bits.
inline constexpr OsError OS_ERRNO_FLAG = 0x20000000;

// The Windows number for an errno value (0 for 0).
OsError OsErrorFromErrno(int err);

// As OsErrorFromErrno, but a missing file tells ERROR_FILE_NOT_FOUND from
// ERROR_PATH_NOT_FOUND by whether the folder part of path exists.
OsError OsErrorFromErrno(int err, const std::string& path);

// A readable text for a number returned by this layer.
std::string OsErrorMessage(OsError code);
