#include "ADV_CONSTS.h"

#include "osProgram.h"
#include "osVersion.h"
#include "rtlResources.h"

std::exception_ptr AcquireExceptionObject() { return std::current_exception(); }

std::string GetModuleFileNameStr() { return ModuleFileName(); }

std::string GetVersionInfoValue(const std::string& Name) {
  std::string value = QueryVersionValue("\\StringFileInfo\\040904E4\\" + Name).value_or("");
  if (value.size() > 999) value.resize(999);
  return value;
}

bool LoadRCDataToStream(const std::string& Name, TStream& Stream) {
  const TResourceData* resource = FindResource("RCDATA", Name);
  if (!resource) return false;
  Stream.WriteBuffer(resource->Data, static_cast<int64_t>(resource->Size));
  Stream.SetPosition(0);
  return true;
}
