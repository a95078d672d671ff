#pragma once
// Message texts of the component model, the type registry and the object
// streams, worded as the class library words them. Most are format strings
// for Format().

inline constexpr const char* SAssignError = "Cannot assign a %s to a %s";
inline constexpr const char* SInvalidName = "'%s' is not a valid component name";
inline constexpr const char* SDuplicateName = "A component named %s already exists";
inline constexpr const char* SDuplicateClass = "A class named %s already exists";
inline constexpr const char* SClassNotFound = "Class %s not found";
inline constexpr const char* SInvalidImage = "Invalid stream format";
inline constexpr const char* SUnknownProperty = "Property %s does not exist";
inline constexpr const char* SReadOnlyProperty = "Property is read-only";
inline constexpr const char* SInvalidPropertyValue = "Invalid property value";
inline constexpr const char* SPropertyException = "Error reading %s%s%s: %s";
inline constexpr const char* SAncestorNotFound = "Ancestor for '%s' not found";
// Ours: the class library set no limits to nesting and size.
inline constexpr const char* SStreamTooDeep = "Stream nests objects too deeply";
inline constexpr const char* SStreamTooManyComponents = "Stream holds more than %d components";
inline constexpr const char* SParseError = "%s on line %d";
inline constexpr const char* SIdentifierExpected = "Identifier expected";
inline constexpr const char* SStringExpected = "String expected";
inline constexpr const char* SNumberExpected = "Number expected";
inline constexpr const char* SCharExpected = "'%s' expected";
inline constexpr const char* SInvalidBinary = "Invalid binary value";
inline constexpr const char* SInvalidString = "Invalid string constant";
