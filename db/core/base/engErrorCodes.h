#pragma once
// Every engine error code under its one name. The codes are part of what
// callers see (messages, the components' exceptions), so a number never
// changes meaning; each has its text in engErrorTexts.cpp, which the
// tests check against this list.

#include <cstdint>

#define ENG_ERROR_CODES(X) \
  X(EngErrBeginOfFile, 8705) \
  X(EngErrEndOfFile, 8706) \
  X(EngErrRecordChanged, 8708) \
  X(EngErrNoCurrentRecord, 8709) \
  X(EngErrRecordNotFound, 8710) \
  X(EngErrEndOfBlob, 8711) \
  X(EngErrHeaderCorrupt, 8961) \
  X(EngErrRecordsCorrupt, 8962) \
  X(EngErrBlocksCorrupt, 8963) \
  X(EngErrPageCorrupt, 8965) \
  X(EngErrReadFailed, 9217) \
  X(EngErrWriteFailed, 9218) \
  X(EngErrCannotDelete, 9220) \
  X(EngErrHeaderAccess, 9221) \
  X(EngErrRecordTooBig, 9477) \
  X(EngErrTableFull, 9479) \
  X(EngErrTooManyFilters, 9482) \
  X(EngErrIndexLimits, 9487) \
  X(EngErrFieldLimits, 9492) \
  X(EngErrTooManyBlobs, 9494) \
  X(EngErrBlobLimits, 9498) \
  X(EngErrDuplicateKey, 9729) \
  X(EngErrBelowMinimum, 9730) \
  X(EngErrAboveMaximum, 9731) \
  X(EngErrValueRequired, 9732) \
  X(EngErrFieldNumber, 9985) \
  X(EngErrPrimaryExists, 9993) \
  X(EngErrBlobOffset, 9998) \
  X(EngErrFieldDefinition, 10000) \
  X(EngErrFieldCheckText, 10006) \
  X(EngErrIndexNameMissing, 10010) \
  X(EngErrPassword, 10015) \
  X(EngErrIndexName, 10022) \
  X(EngErrIndexField, 10023) \
  X(EngErrKeySize, 10026) \
  X(EngErrIndexExists, 10027) \
  X(EngErrBlobLength, 10029) \
  X(EngErrBlobHandle, 10030) \
  X(EngErrTableInUse, 10031) \
  X(EngErrFieldName, 10038) \
  X(EngErrFilterHandle, 10050) \
  X(EngErrFilter, 10051) \
  X(EngErrPrimaryRemoval, 10055) \
  X(EngErrTableLocked, 10241) \
  X(EngErrUnlock, 10242) \
  X(EngErrLockFailure, 10249) \
  X(EngErrNotExclusive, 10253) \
  X(EngErrRecordInUse, 10258) \
  X(EngErrPasswordRequired, 10498) \
  X(EngErrBlobField, 10753) \
  X(EngErrNotInitialized, 10758) \
  X(EngErrInvalidName, 11010) \
  X(EngErrTooManyFiles, 11012) \
  X(EngErrAccessDenied, 11013) \
  X(EngErrInvalidHandle, 11014) \
  X(EngErrOutOfMemory, 11016) \
  X(EngErrMemoryTableLength, 11017) \
  X(EngErrDeviceAccess, 11023) \
  X(EngErrNotSameDevice, 11025) \
  X(EngErrUnknownOsError, 11047) \
  X(EngErrSql, 11949) \
  X(EngErrWrongVersion, 12035) \
  X(EngErrIndexFieldType, 12292) \
  X(EngErrTableExists, 13060) \
  X(EngErrNoLanguageDriver, 15878)

#define ENG_ERROR_CODE_CONSTANT(name, code) inline constexpr uint16_t name = code;
ENG_ERROR_CODES(ENG_ERROR_CODE_CONSTANT)
#undef ENG_ERROR_CODE_CONSTANT

#define ENG_ERROR_CODE_ENTRY(name, code) name,
inline constexpr uint16_t EngineErrorCodes[] = {ENG_ERROR_CODES(ENG_ERROR_CODE_ENTRY)};
#undef ENG_ERROR_CODE_ENTRY
