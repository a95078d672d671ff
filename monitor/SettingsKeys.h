#pragma once
// The settings key of the program and the registry class with defaulted reads.

#include <cstdint>
#include <string>

#include "osSettingsRegistry.h"

// "Software\Morvane".
std::string GetCompanyKey();
// The program's FileDescription version text.
std::string GetAppDescription();
// "Software\Morvane\<description>\Settings".
std::string GetSettingsKey();

class TMorvaneRegistry : public TRegistry {
public:
  // The stored value when there is one, else defaultValue.
  int32_t ReadIntegerDef(const std::string& name, int32_t defaultValue) const;
  std::string ReadStringDef(const std::string& name, const std::string& defaultValue) const;
};
