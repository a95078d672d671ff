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
  // The stored value when there is one, else Default.
  int32_t ReadIntegerDef(const std::string& Name, int32_t Default) const;
  std::string ReadStringDef(const std::string& Name, const std::string& Default) const;
};
