#include "engPaths.h"

#include <unistd.h>

#include "engErrors.h"
#include "engOsErrors.h"
#include "osFile.h"
#include "osPath.h"
#include "rtlStrUtils.h"

namespace {

constexpr const char* Separators = "\\/";

// Where the extension begins, or npos when the last part has none.
size_t ExtensionStart(const std::string& name) {
  size_t dot = name.rfind('.');
  if (dot == std::string::npos) return dot;
  size_t separator = name.find_last_of(Separators);
  return separator == std::string::npos || dot > separator ? dot : std::string::npos;
}

std::string ThreadIdPrefix() { return std::to_string(gettid()).substr(0, 5); }

}  // namespace

std::string StripFileExt(const std::string& name) { return name.substr(0, ExtensionStart(name)); }

std::string ChangeFileExtension(const std::string& name, const std::string& ext) {
  std::string trimmed = Trim(name);
  size_t start = ExtensionStart(trimmed);
  std::string current = start == std::string::npos ? std::string() : trimmed.substr(start);
  if (SameText(current, ext)) return trimmed;
  return trimmed.substr(0, start) + ext;
}

std::string IncludeTrailingBackslash(const std::string& path) {
  std::string trimmed = Trim(path);
  if (trimmed.empty() || trimmed.find_last_of(Separators) == trimmed.size() - 1) return trimmed;
  return trimmed + '/';
}

bool HasPathChars(const std::string& name) {
  return name.empty() || name.find_first_of(":\\/") != std::string::npos;
}

std::string FullNameWithoutExt(const std::string& name) { return StripFileExt(OsPath::ExpandFileName(name)); }

std::string GetUniversalName(const std::string&) { return {}; }

std::string GetUniqueFileName(const std::string& directory, const std::string& ext, bool inMemory,
                              const std::function<bool(const std::string&)>& memoryFileExists) {
  std::string prefix = ThreadIdPrefix();
  if (inMemory) {
    std::string base = IncludeTrailingBackslash(directory) + prefix;
    for (long counter = 0;; ++counter) {
      std::string name = base + std::to_string(counter) + ext;
      if (!memoryFileExists(name)) return name;
    }
  }
  std::string created;
  OsError error = OsFile::CreateUnique(Trim(directory), prefix, ext, created);
  if (error != ERROR_SUCCESS) RaiseEngineError(EngineErrorFromOsError(error), directory);
  return created;
}
