#include "engErrorTexts.h"

#include "engErrorCodes.h"
#include "rtlResources.h"

namespace {

constexpr TEngineErrorText Texts[] = {
    {EngErrBeginOfFile, "T", "Beginning of file encountered in table '%s'"},
    {EngErrEndOfFile, "T", "End of file encountered in table '%s'"},
    {EngErrRecordChanged, "T", "Record has been changed or deleted by another user, session, or table cursor in table '%s'"},
    {EngErrNoCurrentRecord, "T", "No current record in table '%s'"},
    {EngErrRecordNotFound, "T", "Record not found in table '%s'"},
    {EngErrEndOfBlob, "T", "End of blob data in table '%s' reached prematurely"},
    {EngErrHeaderCorrupt, "T", "Header information corrupt in table '%s'"},
    {EngErrRecordsCorrupt, "T", "Data record buffers corrupt in table '%s'"},
    {EngErrBlocksCorrupt, "T", "BLOB block buffers corrupt in table '%s'"},
    {EngErrPageCorrupt, "T", "Index page buffers corrupt in table '%s'"},
    {EngErrReadFailed, "T", "Error reading from table '%s'"},
    {EngErrWriteFailed, "T", "Error writing to table '%s'"},
    {EngErrCannotDelete, "T", "Cannot delete table '%s'"},
    {EngErrHeaderAccess, "T", "Error accessing header information for table '%s'"},
    {EngErrRecordTooBig, "T", "Maximum record size exceeded in table '%s'"},
    {EngErrTableFull, "T", "The table '%s' is full and cannot contain any more data"},
    {EngErrTooManyFilters, "T", "Too many filters defined for table '%s'"},
    {EngErrIndexLimits, "T", "Maximum or minimum limits on number of indexes or fields in an index exceeded in table '%s'"},
    {EngErrFieldLimits, "T", "Maximum or minimum limits on number of fields, auto-increment field value, or field size exceeded in table '%s'"},
    {EngErrTooManyBlobs, "T", "Too many blobs opened in table '%s'"},
    {EngErrBlobLimits, "T", "Too many blob fields or invalid blob block size specified for table '%s'"},
    {EngErrDuplicateKey, "IT", "Duplicate key found in index '%s' of table '%s'"},
    {EngErrBelowMinimum, "FT", "The value for the field '%s' in table '%s' is below the minimum allowable value"},
    {EngErrAboveMaximum, "FT", "The value for the field '%s' in table '%s' is above the maximum allowable value"},
    {EngErrValueRequired, "FT", "A value must be provided for the field '%s' in table '%s'"},
    {EngErrFieldNumber, "FT", "Invalid field number or name '%s' specified for table '%s'"},
    {EngErrPrimaryExists, "T", "A primary index is already defined for table '%s' and cannot be added again"},
    {EngErrBlobOffset, "T", "Invalid blob offset into table '%s' specified"},
    {EngErrFieldDefinition, "FT", "Invalid field definition specified for the field '%s' in table '%s'"},
    {EngErrFieldCheckText, "FT", "Invalid default, min or max validity check, or expression specified for '%s' in table '%s'"},
    {EngErrIndexNameMissing, "T", "The secondary index name is missing or not specified for table '%s'"},
    {EngErrPassword, "T", "Password provided for table '%s' is invalid"},
    {EngErrIndexName, "IT", "Invalid secondary index name '%s' specified for table '%s'"},
    {EngErrIndexField, "FIT", "Invalid field number '%s' specified in index '%s' for table '%s'"},
    {EngErrKeySize, "IT", "Invalid key size specified in index '%s' for table '%s'"},
    {EngErrIndexExists, "IT", "The secondary index '%s' already exists for table '%s'"},
    {EngErrBlobLength, "T", "Invalid blob length in table '%s'"},
    {EngErrBlobHandle, "T", "Invalid blob handle for table '%s' specified"},
    {EngErrTableInUse, "T", "table '%s' is already in use"},
    {EngErrFieldName, "FT", "Invalid or duplicate field name '%s' specified for table '%s'"},
    {EngErrFilterHandle, "T", "Invalid filter handle specified for table '%s'"},
    {EngErrFilter, "TX", "Filter error for table '%s' - %s"},
    {EngErrPrimaryRemoval, "T", "The primary index cannot be removed from table '%s'"},
    {EngErrTableLocked, "T", "The table '%s' is already locked by another user"},
    {EngErrUnlock, "T", "Cannot unlock table or record in table '%s'"},
    {EngErrLockFailure, "T", "General lock failure with table '%s'"},
    {EngErrNotExclusive, "T", "table '%s' must be opened exclusively"},
    {EngErrRecordInUse, "T", "Record in table '%s' is in use by another user"},
    {EngErrPasswordRequired, "T", "Insufficient rights to table '%s', a password is required"},
    {EngErrBlobField, "FT", "Invalid blob field '%s' specified for table '%s'"},
    {EngErrNotInitialized, "", "Engine not initialized"},
    {EngErrInvalidName, "T", "Invalid path or file name for table '%s'"},
    {EngErrTooManyFiles, "T", "Too many files open while attempting to open table '%s'"},
    {EngErrAccessDenied, "T", "Access denied to table '%s'"},
    {EngErrInvalidHandle, "T", "Invalid file handle for table '%s'"},
    {EngErrOutOfMemory, "", "There is insufficient operating system memory available for the current operation"},
    {EngErrMemoryTableLength, "T", "Invalid length for in-memory table '%s'"},
    {EngErrDeviceAccess, "T", "Access denied to logical operating system device for table '%s'"},
    {EngErrNotSameDevice, "T", "table '%s' has been moved"},
    {EngErrUnknownOsError, "T", "An unknown operating system error occurred with table '%s'"},
    {EngErrSql, "X", "SQL error - %s"},
    {EngErrWrongVersion, "T", "table '%s' is not the correct version"},
    {EngErrIndexFieldType, "IT", "Invalid field type specified for index '%s' in table '%s'"},
    {EngErrTableExists, "T", "The table '%s' already exists"},
    {EngErrNoLanguageDriver, "T", "The language driver for table '%s' is not available or installed"},
};

static_assert(std::size(Texts) == 65);

const struct TEngineErrorStrings {
  TEngineErrorStrings() {
    for (size_t i = 0; i < std::size(Texts); ++i)
      RegisterStringResource(FirstEngineErrorStringId + static_cast<int>(i), Texts[i].Text);
  }
} engineErrorStrings;

}  // namespace

std::span<const TEngineErrorText> EngineErrorTexts() { return Texts; }
