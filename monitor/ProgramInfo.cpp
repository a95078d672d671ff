#include "ProgramInfo.h"

#include "osProgram.h"
#include "osVersion.h"
#include "rtlResources.h"

std::exception_ptr AcquireExceptionObject() { return std::current_exception(); }

std::string GetModuleFileNameStr() { return ModuleFileName(); }

std::string GetVersionInfoValue(const std::string& name) {
  std::string value = QueryVersionValue("\\StringFileInfo\\040904E4\\" + name).value_or("");
  if (value.size() > 999) value.resize(999);
  return value;
}

bool LoadRCDataToStream(const std::string& name, TStream& stream) {
  const TResourceData* resource = FindResource("RCDATA", name);
  if (!resource) return false;
  stream.WriteBuffer(resource->Data, static_cast<int64_t>(resource->Size));
  stream.SetPosition(0);
  return true;
}
