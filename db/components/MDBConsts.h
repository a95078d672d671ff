#pragma once
// The components' own error texts, raised as EDatabaseError. Engine failures
// carry the engine's texts instead (EMDBEngineError). Texts the dataset
// framework raises too live with it (dbConsts.h).

inline constexpr const char* SMDBEngineErrorPrefix = "MDB Engine Error # ";
inline constexpr const char* SMDBEngineVersion = "2.08";
inline constexpr const char* SDefaultSessionName = "Default";
inline constexpr const char* SMemoryDatabaseName = "Memory";

// Sessions.
inline constexpr const char* SSessionNameMissing = "Session name is missing.";
inline constexpr const char* SInvalidSessionName = "Session name %s is not valid.";
inline constexpr const char* SDuplicateSessionName = "Session name %s already exists.";
inline constexpr const char* SSessionActive = "Cannot perform this operation on an active session.";
inline constexpr const char* SAutoSessionActive = "Cannot perform this operation on the active auto-session.";
inline constexpr const char* SAutoSessionExclusive = "The active auto-session can be the only active session.";
inline constexpr const char* SAutoSessionExists = "This auto-session already exists.";
inline constexpr const char* SAutoSessionNameFormat = "%s_%d";

// Databases.
inline constexpr const char* SDatabaseNameMissing = "Database name is missing.";
inline constexpr const char* SInvalidDatabaseName = "Database name %s is not valid.";
inline constexpr const char* SDuplicateDatabaseName = "Database name %s already exists.";
inline constexpr const char* SDatabaseOpen = "Cannot perform this operation on an open database.";

// Datasets and tables.
inline constexpr const char* SHandleError = "Error creating table handle.";
inline constexpr const char* SDuplicateFieldDefName = "%s_%d";
inline constexpr const char* SNoTableName = "Missing table name.";
inline constexpr const char* SNoFieldsForMemoryTable =
    "You must define at least one field before you can open an in-memory table at design-time";


// Queries.
inline constexpr const char* SNoSQLStatement = "No SQL statement available";
inline constexpr const char* SNoParameterValue = "No value for parameter '%s'";
inline constexpr const char* SFieldUnknownType = "Field '%s' is of unknown type";
inline constexpr const char* SBindParamsLoad = "Unable to load bind parameters";
inline constexpr const char* SParamTooLarge = "Parameter '%s', cannot save data larger than %d bytes";
