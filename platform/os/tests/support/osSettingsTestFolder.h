#pragma once
// The tests' temporary folder (the run-time layer's kit) and TScopedEnv,
// which points an environment variable at it for one test.

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <unistd.h>

#include "rtlTestFolder.h"

class TScopedEnv {
public:
  TScopedEnv(const char* name, const std::optional<std::string>& value) : name(name) {
    if (const char* old = std::getenv(name)) previous = old;
    Set(value);
  }
  ~TScopedEnv() { Set(previous); }

private:
  const char* name;
  std::optional<std::string> previous;

  void Set(const std::optional<std::string>& value) {
    if (value)
      setenv(name, value->c_str(), 1);
    else
      unsetenv(name);
  }
};
