#include "raEnumTypes.h"

#include <map>
#include <memory>

#include "dbTypes.h"
#include "ppAutoSearch.h"
#include "ppBands.h"
#include "ppBarCodeEncode.h"
#include "ppCtrls.h"
#include "ppDataPipeline.h"
#include "ppDrawBarCode.h"
#include "ppDrwCmd.h"
#include "ppGroup.h"
#include "ppPage.h"
#include "ppPrinterSetup.h"
#include "ppProducer.h"
#include "ppSubReport.h"
#include "ppTemplate.h"
#include "ppTextFileDevice.h"
#include "ppTypes.h"
#include "ppVar.h"
#include "raTokens.h"
#include "rtlStrUtils.h"

namespace {

struct TEnumEntry {
  std::string Name;
  const TEnumTypeInfo* Type;
};

std::vector<TEnumEntry>& Types() {
  static std::vector<TEnumEntry> types;
  return types;
}

// Value name (upper case) to the index of its type in the list, built
// once from the types registered at the first search.
struct TValueIndex {
  bool Built = false;
  std::map<std::string, std::pair<size_t, int>> Values;
};
TValueIndex& ValueIndex() {
  static TValueIndex index;
  return index;
}

}  // namespace

void RegisterEnumType(const std::string& name, const TEnumTypeInfo& type) {
  for (TEnumEntry& entry : Types())
    if (SameText(entry.Name, name)) {
      entry.Type = &type;
      return;
    }
  Types().push_back({name, &type});
}

void UnregisterEnumType(const std::string& name) {
  auto& types = Types();
  for (auto it = types.begin(); it != types.end(); ++it)
    if (SameText(it->Name, name)) {
      types.erase(it);
      return;
    }
}

std::vector<const TEnumTypeInfo*> EnumTypeList() {
  std::vector<const TEnumTypeInfo*> list;
  for (const TEnumEntry& entry : Types()) list.push_back(entry.Type);
  return list;
}

std::string GetEnumValueName(const std::string& typeName, int ordinal) {
  for (const TEnumEntry& entry : Types())
    if (SameText(entry.Name, typeName)) return entry.Type->NameOf(ordinal);
  return {};
}

bool FindEnumValue(const std::string& valueName, std::string& typeName, int& ordinal) {
  TValueIndex& index = ValueIndex();
  if (!index.Built) {
    index.Built = true;
    const auto& types = Types();
    for (size_t t = 0; t < types.size(); ++t)
      for (int v = 0; v < types[t].Type->Count(); ++v) index.Values.emplace(UpperCase(types[t].Type->NameOf(v)), std::make_pair(t, v));
  }
  typeName.clear();
  ordinal = 0;
  const auto found = index.Values.find(UpperCase(valueName));
  // A type unregistered since the index was built answers nothing.
  if (found == index.Values.end() || found->second.first >= Types().size()) return false;
  typeName = Types()[found->second.first].Name;
  ordinal = found->second.second;
  return true;
}

void raRegisterEnumTables() {
  static const bool registered = [] {
    static const TEnumTypeInfo sortOrderType("TppSortOrderType", {"soAscending", "soDescending"});
    const TEnumTypeInfo* tables[] = {
        &BooleanTypeInfo(),
        &EnumTypeInfo(TAlignment{}),
        &EnumTypeInfo(TppBarCodeType{}),
        &EnumTypeInfo(TppBarCodeOrientation{}),
        &EnumTypeInfo(TppBreakType{}),
        &EnumTypeInfo(TppCalcType{}),
        &EnumTypeInfo(TppDataType{}),
        &EnumTypeInfo(TppDBCalcType{}),
        &EnumTypeInfo(TppDuplexType{}),
        &EnumTypeInfo(TppFileType{}),
        &EnumTypeInfo(TppFormatType{}),
        &EnumTypeInfo(TppLanguageType{}),
        &EnumTypeInfo(TppLinePositionType{}),
        &EnumTypeInfo(TppLineStyleType{}),
        &EnumTypeInfo(TppPassSettingType{}),
        &EnumTypeInfo(TppPrintBehaviorType{}),
        &EnumTypeInfo(TppPrintHeightType{}),
        &EnumTypeInfo(TppRangeBeginType{}),
        &EnumTypeInfo(TppRangeEndType{}),
        &EnumTypeInfo(TppSaveToType{}),
        &EnumTypeInfo(TppSearchOperatorType{}),
        &EnumTypeInfo(TShapeType{}),
        &sortOrderType,
        &EnumTypeInfo(TppUnitType{}),
        &EnumTypeInfo(TppVarEventType{}),
        &EnumTypeInfo(TppVarType{}),
        &EnumTypeInfo(TPrinterOrientation{}),
    };
    for (const TEnumTypeInfo* type : tables) {
      RegisterEnumType(type->Name(), *type);
      raRegisterEnumType(*type);
    }
    return true;
  }();
  (void)registered;
}
