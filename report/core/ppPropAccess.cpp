#include "ppPropAccess.h"

#include "ppUnits.h"
#include "rtlReader.h"
#include "rtlStrings.h"

namespace {

constexpr int notAnEnumValue = 255;

const TPropInfo* OrdinalProperty(TObject* object, const std::string& propName) {
  if (!object) return nullptr;
  const TPropInfo* prop = object->ClassType().FindProperty(propName);
  if (!prop) return nullptr;
  switch (prop->Kind()) {
    case tkInteger:
    case tkInt64:
    case tkChar:
    case tkEnumeration:
    case tkSet: return prop;
    default: return nullptr;
  }
}

}  // namespace

int64_t ppGetOrdPropByName(TObject* object, const std::string& propName) {
  const TPropInfo* prop = OrdinalProperty(object, propName);
  if (!prop) return 0;
  const TPropValue value = prop->GetValue(*object);
  const int64_t* ordinal = std::get_if<int64_t>(&value);
  return ordinal ? *ordinal : 0;
}

bool ppSetOrdPropByName(TObject* object, const std::string& propName, int64_t value) {
  const TPropInfo* prop = OrdinalProperty(object, propName);
  if (!prop || prop->IsReadOnly()) return false;
  prop->SetValue(*object, TPropValue(value));
  return true;
}

bool ppSetMethodPropByName(TObject* object, const std::string& propName, const TMethod& method) {
  if (!object) return false;
  const TPropInfo* prop = object->ClassType().FindProperty(propName);
  if (!prop || prop->Kind() != tkMethod || prop->IsReadOnly()) return false;
  prop->SetValue(*object, TPropValue(method));
  return true;
}

TMethod ppGetMethodByName(TObject* object, const std::string& methodName) {
  if (!object) return {};
  const TMethodInfo* info = object->ClassType().FindMethod(methodName);
  return info ? TMethod{object, info} : TMethod{};
}

bool ppHasProperty(TObject* object, const std::string& propName) {
  return object && object->ClassType().FindProperty(propName) != nullptr;
}

int ppEnumOrdinalByName(const TEnumTypeInfo& enumType, const std::string& name) {
  const int value = enumType.ValueOf(name);
  return value < 0 ? notAnEnumValue : value;
}

std::string ppEnumNameOf(const TEnumTypeInfo& enumType, int value) { return enumType.NameOf(value); }

void ppListEnumNames(const TEnumTypeInfo& enumType, TStrings& list) {
  list.Clear();
  for (int i = 0; i < enumType.Count(); ++i) list.Add(enumType.NameOf(i));
}

int ppReadIntegerOrFloat(TReader& reader) {
  switch (reader.NextValue()) {
    case vaExtended:
    case vaSingle:
    case vaCurrency:
    case vaDate: return ppRound(static_cast<double>(reader.ReadFloat()));
    default: return reader.ReadInteger();
  }
}
