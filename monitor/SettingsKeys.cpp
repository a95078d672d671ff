#include "SettingsKeys.h"

#include "ProgramInfo.h"
#include "rtlFormat.h"

std::string GetCompanyKey() { return "Software\\Morvane"; }

std::string GetAppDescription() { return GetVersionInfoValue("FileDescription"); }

std::string GetSettingsKey() {
  return Format("%s\\%s\\Settings", {GetCompanyKey(), GetAppDescription()});
}

int32_t TMorvaneRegistry::ReadIntegerDef(const std::string& name, int32_t defaultValue) const {
  TRegDataInfo info;
  return GetDataInfo(name, info) ? ReadInteger(name) : defaultValue;
}

std::string TMorvaneRegistry::ReadStringDef(const std::string& name, const std::string& defaultValue) const {
  TRegDataInfo info;
  return GetDataInfo(name, info) ? ReadString(name) : defaultValue;
}
