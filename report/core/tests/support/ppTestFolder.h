#pragma once
// A private temporary folder for one test, removed with everything in it.

#include <cstdlib>
#include <filesystem>
#include <string>

class TppTestFolder {
public:
  TppTestFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "orvelle-report-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    path = pattern;
  }
  TppTestFolder(const TppTestFolder&) = delete;
  TppTestFolder& operator=(const TppTestFolder&) = delete;
  ~TppTestFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  const std::string& Path() const { return path; }
  size_t FileCount() const {
    size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(path)) ++n;
    return n;
  }

private:
  std::string path;
};
