#pragma once
// Descriptor ownership for the file layer's own code paths.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

// Closes the descriptor it owns unless it was released.
class OsFileDescriptor {
public:
  explicit OsFileDescriptor(int fd) : descriptor(fd) {}
  OsFileDescriptor(const OsFileDescriptor&) = delete;
  OsFileDescriptor& operator=(const OsFileDescriptor&) = delete;
  ~OsFileDescriptor() {
    if (descriptor >= 0) ::close(descriptor);
  }

  int Get() const { return descriptor; }
  int Release() {
    const int fd = descriptor;
    descriptor = -1;
    return fd;
  }

private:
  int descriptor;
};

// open(2) with close-on-exec, resumed when a signal interrupts it. Child
// processes must never inherit a descriptor: they would keep its locks.
inline int OsOpenFile(const std::string& path, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}
