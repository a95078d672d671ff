#pragma once
// Message texts of the dataset framework, worded as the class library words
// them. Most are format strings for Format().

inline constexpr const char* SFieldNotFound = "Field '%s' not found";
inline constexpr const char* SIndexNotFound = "Index '%s' not found";
inline constexpr const char* SNoIndexForFields = "No index for fields '%s'";
inline constexpr const char* SParameterNotFound = "Parameter '%s' not found";
inline constexpr const char* SDataSetOpen = "Cannot perform this operation on an open dataset";
inline constexpr const char* SDataSetClosed = "Cannot perform this operation on a closed dataset";
inline constexpr const char* SDataSetEmpty = "Cannot perform this operation on an empty dataset";
inline constexpr const char* SDataSetReadOnly = "Cannot modify a read-only dataset";
inline constexpr const char* SNotEditing = "Dataset not in edit or insert mode";
inline constexpr const char* SFieldReadOnly = "Field '%s' cannot be modified";
inline constexpr const char* SFieldRequired = "Field '%s' must have a value";
inline constexpr const char* SFieldTypeMismatch = "Type mismatch for field '%s', expecting: %s actual: %s";
inline constexpr const char* SFieldAccessError = "Cannot access field '%s' as type %s";
inline constexpr const char* SFieldRangeError = "%s is not a valid value for field '%s'. The allowed range is %s to %s";
inline constexpr const char* SInvalidIntegerValue = "'%s' is not a valid integer value for field '%s'";
inline constexpr const char* SInvalidFloatValue = "'%s' is not a valid floating point value for field '%s'";
inline constexpr const char* SInvalidBoolValue = "'%s' is not a valid boolean value for field '%s'";
inline constexpr const char* SInvalidBoolDisplayValues = "\"%s\" is not a valid DisplayValues text";
inline constexpr const char* SFieldValueOverflow = "Value of field '%s' is out of range";
inline constexpr const char* SInvalidFieldSize = "Invalid field size";
inline constexpr const char* SFieldNameMissing = "Field name missing";
inline constexpr const char* SDuplicateFieldName = "Duplicate field name '%s'";
inline constexpr const char* SDuplicateIndexName = "Duplicate index name '%s'";
inline constexpr const char* SFieldIndexError = "Field index out of range";
inline constexpr const char* SCircularDataLink = "Circular datalinks are not allowed";
inline constexpr const char* SLookupInfoError = "Lookup information for field '%s' is incomplete";
inline constexpr const char* SNotIndexField = "Field '%s' is not indexed and cannot be modified";
inline constexpr const char* SRecordNotFound = "Record not found";
inline constexpr const char* SBookmarkNotFound = "Bookmark not found";
inline constexpr const char* SFieldUnsupportedType = "Field '%s' is of an unsupported type";
inline constexpr const char* SFieldMissingDataSet = "Field '%s' has no dataset";
inline constexpr const char* SBcdOverflow = "BCD overflow";
inline constexpr const char* SInvalidDateTimeStamp = "Invalid date-time stamp";
