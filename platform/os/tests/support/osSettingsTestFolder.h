#pragma once
// The tests' one temporary folder: private, made when the test begins and
// removed with everything in it when the test ends (a test that took the
// folder's write permission away gets it back first). TScopedEnv points an
// environment variable at it for the test.

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
    std::filesystem::permissions(path, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(path, ignored);
  }
  TTestFolder(const TTestFolder&) = delete;
  TTestFolder& operator=(const TTestFolder&) = delete;
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
