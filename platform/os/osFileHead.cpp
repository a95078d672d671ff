#include "osFileHead.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "osBusErrorGuard.h"
#include "osFileSystem.h"

OsFileHead::~OsFileHead() { Unmap(); }

OsFileHeadMap OsFileHead::Map(int fd) {
  Unmap();
  if (!OsLocalFileSystemOf(fd)) return OsFileHeadMap::Unavailable;
  struct stat status {};
  if (fstat(fd, &status) != 0) return OsFileHeadMap::Unavailable;
  if (status.st_size == 0) return OsFileHeadMap::Empty;
  const size_t page = size_t(sysconf(_SC_PAGESIZE));
  void* mapped = mmap(nullptr, page, PROT_READ, MAP_SHARED, fd, 0);
  if (mapped == MAP_FAILED) return OsFileHeadMap::Unavailable;
  base = static_cast<const uint8_t*>(mapped);
  length = page;
  return OsFileHeadMap::Mapped;
}

void OsFileHead::Unmap() {
  if (base) munmap(const_cast<uint8_t*>(base), length);
  base = nullptr;
  length = 0;
}

bool OsFileHead::Read(void* buffer, size_t count) const {
  if (!base || count > length) return false;
  struct TRead {
    const uint8_t* from;
    uint8_t* to;
    size_t count;
  } read{base, static_cast<uint8_t*>(buffer), count};
  return OsGuardBusErrors(
      [](void* context) {
        auto& read = *static_cast<TRead*>(context);
        // Byte by byte through volatile, so that every load of the page
        // happens inside the guard.
        const volatile uint8_t* from = read.from;
        for (size_t i = 0; i < read.count; ++i) read.to[i] = from[i];
      },
      &read);
}
