#pragma once
// The enumerated types whose value names scripts use as constants
// (taCenter, bcCode39, poLandscape ...): type name to its names, and for a
// bare value name the type it belongs to and its ordinal.

#include <string>
#include <vector>

class TEnumTypeInfo;

// Adds the type under its name, or replaces the one of that name.
void RegisterEnumType(const std::string& name, const TEnumTypeInfo& type);
void UnregisterEnumType(const std::string& name);
// The registered types, in registration order.
std::vector<const TEnumTypeInfo*> EnumTypeList();
// The name of the ordinal in the named type (ignoring case); empty when
// the type is not registered.
std::string GetEnumValueName(const std::string& typeName, int ordinal);
// Searches the value names known when it was first asked (types registered
// later are not searched); false, an empty type name and 0 when not found.
bool FindEnumValue(const std::string& valueName, std::string& typeName, int& ordinal);

// The report engine's 27 types, registered once (scripts see them too).
void raRegisterEnumTables();
