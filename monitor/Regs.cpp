#include "Regs.h"

#include "ADV_CONSTS.h"
#include "rtlFormat.h"

std::string GetCompanyKey() { return "Software\\Morvane"; }

std::string GetAppDescription() { return GetVersionInfoValue("FileDescription"); }

std::string GetSettingsKey() {
  return Format("%s\\%s\\Settings", {GetCompanyKey(), GetAppDescription()});
}

int32_t TMorvaneRegistry::ReadIntegerDef(const std::string& Name, int32_t Default) const {
  TRegDataInfo info;
  return GetDataInfo(Name, info) ? ReadInteger(Name) : Default;
}

std::string TMorvaneRegistry::ReadStringDef(const std::string& Name, const std::string& Default) const {
  TRegDataInfo info;
  return GetDataInfo(Name, info) ? ReadString(Name) : Default;
}
