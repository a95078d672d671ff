#include "osSettingsStore.h"

#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "osProgram.h"

namespace {

std::mutex gSettingsMutex;

[[noreturn]] void RaiseFileError(const char* action, const std::string& path, int error) {
  throw EOSError(Format("Cannot %s \"%s\": %s", {action, path, SysErrorMessage(error)}),
                 static_cast<uint32_t>(error));
}

class TFileDescriptor {
public:
  explicit TFileDescriptor(int fd) : fd(fd) {}
  ~TFileDescriptor() {
    if (fd >= 0) close(fd);
  }
  TFileDescriptor(const TFileDescriptor&) = delete;
  TFileDescriptor& operator=(const TFileDescriptor&) = delete;
  int Get() const { return fd; }

private:
  int fd;
};

bool ReadWholeFile(const std::string& path, std::string& text) {
  TFileDescriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.Get() < 0) {
    if (errno == ENOENT) return false;
    RaiseFileError("open", path, errno);
  }
  char buffer[8192];
  for (;;) {
    ssize_t count = read(file.Get(), buffer, sizeof buffer);
    if (count == 0) return true;
    if (count < 0) {
      if (errno == EINTR) continue;
      RaiseFileError("read", path, errno);
    }
    text.append(buffer, static_cast<size_t>(count));
  }
}

void WriteAll(int fd, const std::string& text, const std::string& path) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t count = write(fd, text.data() + done, text.size() - done);
    if (count < 0) {
      if (errno == EINTR) continue;
      RaiseFileError("write", path, errno);
    }
    done += static_cast<size_t>(count);
  }
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string TemporaryNameBeside(const std::string& path) {
  static thread_local std::mt19937_64 generator{std::random_device{}()};
  return Format("%s.%d.%x.tmp", {path, static_cast<int>(getpid()),
                                 static_cast<unsigned long long>(generator())});
}

// Holds the cross-process lock for one read-modify-write.
class TSettingsFileLock {
public:
  explicit TSettingsFileLock(const std::string& path)
      : file(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
    if (file.Get() < 0) RaiseFileError("open", path, errno);
    while (flock(file.Get(), LOCK_EX) != 0)
      if (errno != EINTR) RaiseFileError("lock", path, errno);
  }

private:
  TFileDescriptor file;  // closing it releases the lock
};

}  // namespace

std::string SettingsFolder() { return XdgBaseFolder("XDG_CONFIG_HOME", "/.config") + "/Morvane"; }

std::string SettingsFileName() { return SettingsFolder() + "/settings.ini"; }

TSettingsDocument LoadSettings() {
  std::string text;
  if (!ReadWholeFile(SettingsFileName(), text)) return {};
  return TSettingsDocument::Parse(text);
}

void WriteFileAtomically(const std::string& path, const std::string& text, unsigned mode) {
  std::string temporary;
  int fd = -1;
  do {
    temporary = TemporaryNameBeside(path);
    fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EEXIST);
  if (fd < 0) RaiseFileError("create", temporary, errno);
  try {
    TFileDescriptor file(fd);
    WriteAll(fd, text, temporary);
    if (fsync(fd) != 0) RaiseFileError("flush", temporary, errno);
    if (rename(temporary.c_str(), path.c_str()) != 0) RaiseFileError("replace", path, errno);
  } catch (...) {
    unlink(temporary.c_str());
    throw;
  }
  TFileDescriptor folder(open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.Get() >= 0) fsync(folder.Get());
}

void UpdateSettings(const std::function<void(TSettingsDocument&)>& change) {
  std::lock_guard<std::mutex> guard(gSettingsMutex);
  ForceFolders(SettingsFolder(), 0700);
  std::string fileName = SettingsFileName();
  TSettingsFileLock lock(fileName + ".lock");
  TSettingsDocument document = LoadSettings();
  change(document);
  WriteFileAtomically(fileName, document.Text(), 0600);
}
