#include "osProgram.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "rtlExceptions.h"

namespace {

std::string EnvValue(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

}  // namespace

std::string UserHomeFolder() {
  std::string home = EnvValue("HOME");
  if (!home.empty()) return home;
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
      found->pw_dir)
    return found->pw_dir;
  return "/";
}

std::string XdgBaseFolder(const char* variable, const char* homeFallback) {
  std::string value = EnvValue(variable);
  if (!value.empty() && value.front() == '/') return value;
  std::string home = UserHomeFolder();
  if (!home.empty() && home.back() == '/') home.pop_back();
  return home + homeFallback;
}

std::string ProgramFolder() {
  std::string home = EnvValue("ORVELLE_HOME");
  if (home.empty()) home = XdgBaseFolder("XDG_DATA_HOME", "/.local/share") + "/Orvelle";
  while (home.size() > 1 && home.back() == '/') home.pop_back();
  return home;
}

std::string ModuleFileName() {
  std::vector<char> buffer(PATH_MAX + 1);
  ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (length <= 0) return {};
  return std::string(buffer.data(), static_cast<size_t>(length));
}

std::string ComputerName() {
  char buffer[HOST_NAME_MAX + 1] = {};
  if (gethostname(buffer, sizeof buffer - 1) != 0) RaiseLastOSError(errno);
  return buffer;
}

void ForceFolders(const std::string& path, unsigned mode) {
  for (size_t pos = 1; pos <= path.size(); ++pos) {
    if (pos != path.size() && path[pos] != '/') continue;
    std::string prefix = path.substr(0, pos);
    if (mkdir(prefix.c_str(), mode) == 0 || errno == EEXIST) continue;
    int error = errno;
    throw EOSError(Format("Cannot create folder \"%s\": %s", {prefix, SysErrorMessage(error)}),
                   static_cast<uint32_t>(error));
  }
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
    throw EOSError(Format("Cannot create folder \"%s\": not a folder", {path}), ENOTDIR);
}
