#pragma once
// A private temporary folder that the test points an environment variable
// at; both are restored when the test ends.

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <unistd.h>

class TTestFolder {
public:
  TTestFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "orvelle-os-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    path = pattern;
  }
  ~TTestFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  const std::string& Path() const { return path; }

private:
  std::string path;
};

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
