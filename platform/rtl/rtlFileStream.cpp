#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "rtlConsts.h"
#include "rtlExceptions.h"
#include "rtlStreams.h"

namespace {

std::string FullName(const std::string& fileName) {
  std::error_code error;
  std::filesystem::path full = std::filesystem::absolute(fileName, error);
  return error ? fileName : full.lexically_normal().string();
}

}  // namespace

TFileStream::TFileStream(const std::string& fileName, uint16_t mode) : fileName(fileName) {
  if (mode == fmCreate) {
    handle = ::open(fileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (handle < 0) throw EFCreateError(SFCreateErrorEx, {FullName(fileName), SysErrorMessage(errno)});
    return;
  }
  int access = (mode & 3) == fmOpenWrite ? O_WRONLY : ((mode & 3) == fmOpenReadWrite ? O_RDWR : O_RDONLY);
  handle = ::open(fileName.c_str(), access | O_CLOEXEC);
  if (handle < 0) throw EFOpenError(SFOpenErrorEx, {FullName(fileName), SysErrorMessage(errno)});
}

TFileStream::~TFileStream() {
  if (handle >= 0) ::close(handle);
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  int64_t done = 0;
  while (done < count) {
    ssize_t n = ::read(handle, static_cast<char*>(buffer) + done, static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
  int64_t done = 0;
  while (done < count) {
    ssize_t n = ::write(handle, static_cast<const char*>(buffer) + done, static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  int whence = origin == soFromBeginning ? SEEK_SET : (origin == soFromCurrent ? SEEK_CUR : SEEK_END);
  return ::lseek(handle, offset, whence);
}

void TFileStream::SetSize(int64_t newSize) {
  if (::ftruncate(handle, newSize) != 0) RaiseLastOSError(errno);
  if (Position() > newSize) SetPosition(newSize);
}
