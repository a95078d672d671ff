#pragma once
// Published properties and methods by name, and enumeration names: how the
// engine reaches objects whose class it does not know.

#include <cstdint>
#include <string>

#include "rtlTypeInfo.h"

class TReader;
class TStrings;

// 0 when the object is nil, lacks the property or it is not ordinal.
int64_t ppGetOrdPropByName(TObject* object, const std::string& propName);
// False when the object is nil or lacks a writable ordinal property.
bool ppSetOrdPropByName(TObject* object, const std::string& propName, int64_t value);
bool ppSetMethodPropByName(TObject* object, const std::string& propName, const TMethod& method);
// The object's published method of that name; empty when none.
TMethod ppGetMethodByName(TObject* object, const std::string& methodName);
bool ppHasProperty(TObject* object, const std::string& propName);

// 255 when the name is none of the values.
int ppEnumOrdinalByName(const TEnumTypeInfo& enumType, const std::string& name);
std::string ppEnumNameOf(const TEnumTypeInfo& enumType, int value);
void ppListEnumNames(const TEnumTypeInfo& enumType, TStrings& list);

// An Integer; older layouts hold a float there, which is rounded.
int ppReadIntegerOrFloat(TReader& reader);
