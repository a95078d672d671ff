#pragma once
// The tests' one temporary folder: private, made when the test begins and
// removed with everything in it when the test ends (a test that took the
// folder's write permission away gets it back first). Every layer's tests
// use this one; it sits at the lowest layer so that all of them can.

#include <cstdlib>
#include <filesystem>
#include <string>

class TTestFolder {
public:
  TTestFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "orvelle-test-XXXXXX").string();
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
  std::string File(const std::string& name) const { return path + "/" + name; }

private:
  std::string path;
};
