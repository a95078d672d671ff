#include "osReadWindow.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "osBusErrorGuard.h"
#include "osFileSystem.h"
#include "rtlAssert.h"

namespace {

size_t MemoryPage() {
  static const size_t page = size_t(sysconf(_SC_PAGESIZE));
  return page;
}

struct TCopy {
  const uint8_t* from;
  uint8_t* to;
  size_t count;
};

void CopyStretch(void* context) {
  const auto& copy = *static_cast<const TCopy*>(context);
  std::memcpy(copy.to, copy.from, copy.count);
}

}  // namespace

OsReadWindow::~OsReadWindow() { Unmap(); }

void OsReadWindow::Unmap() {
  // Watched no longer before the addresses may be mapped for others.
  OsUnwatchMapping(watch);
  watch = -1;
  keptZeros = false;
  if (mapped) munmap(mapped, mappedLength);
  mapped = nullptr;
  mappedLength = 0;
  base = nullptr;
  offset = 0;
  length = 0;
  fd = -1;
  keptFrom = keptBytes = 0;
}

bool OsReadWindow::Map(int file, int64_t at, size_t count) {
  Unmap();
  if (at < 0 || count == 0 || !OsLocalFileSystemOf(file)) return false;
  const int64_t start = at - at % int64_t(MemoryPage());
  const size_t total = size_t(at - start) + count;
  void* result = mmap(nullptr, total, PROT_READ, MAP_SHARED, file, start);
  if (result == MAP_FAILED) return false;
  watch = OsWatchMapping(result, total);
  if (watch < 0) {
    munmap(result, total);
    return false;
  }
  mapped = static_cast<uint8_t*>(result);
  mappedLength = total;
  base = mapped + (at - start);
  offset = at;
  length = count;
  fd = file;
  return true;
}

void OsReadWindow::PagesOf(int64_t at, size_t count, size_t& first, size_t& bytes) const {
  ORV_ASSERT(Covers(at, count) && count > 0);
  const size_t page = MemoryPage();
  first = size_t(At(at) - mapped) / page * page;
  bytes = (size_t(At(at) - mapped) + count + page - 1) / page * page - first;
}

void OsReadWindow::Keep(int64_t at, size_t count) {
  ORV_ASSERT(Covers(at, count) && !Keeps());
  if (count == 0) return;
  size_t first, bytes;
  PagesOf(at, count, first, bytes);
  KeepPages(first, bytes, nullptr);
}

void OsReadWindow::CopyPages(int64_t at, size_t count, std::vector<uint8_t>& copy) {
  size_t first, bytes;
  PagesOf(at, count, first, bytes);
  copy.resize(bytes);
  TCopy pages{mapped + first, copy.data(), std::min(bytes, mappedLength - first)};
  // Past the mapping's length the system maps the rest of the last page,
  // which the copy leaves as zeros, as Keep does.
  std::fill(copy.begin() + ptrdiff_t(pages.count), copy.end(), uint8_t(0));
  if (!OsGuardBusErrors(CopyStretch, &pages)) {
    std::fill(copy.begin(), copy.end(), uint8_t(0));
    keptZeros = true;
  }
}

void OsReadWindow::KeepCopy(int64_t at, size_t count, const std::vector<uint8_t>& copy) {
  ORV_ASSERT(!Keeps());
  size_t first, bytes;
  PagesOf(at, count, first, bytes);
  ORV_ASSERT(copy.size() == bytes);
  KeepPages(first, bytes, copy.data());
}

void OsReadWindow::KeepPages(size_t first, size_t bytes, const uint8_t* from) {
  // The copy is made aside and then moved over the pages in one step, so a
  // reader never finds them missing. Past the mapping's length the system
  // maps the rest of the last page, which the copy leaves as zeros. The
  // copy stays writable: nothing writes through the records it holds.
  void* copy = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (copy == MAP_FAILED) return;
  if (from) {
    std::memcpy(copy, from, bytes);
  } else {
    TCopy pages{mapped + first, static_cast<uint8_t*>(copy), std::min(bytes, mappedLength - first)};
    if (!OsGuardBusErrors(CopyStretch, &pages)) {
      std::memset(copy, 0, bytes);
      keptZeros = true;
    }
  }
  if (mremap(copy, bytes, bytes, MREMAP_MAYMOVE | MREMAP_FIXED, mapped + first) == MAP_FAILED) {
    munmap(copy, bytes);
    return;
  }
  keptFrom = first;
  keptBytes = bytes;
}

bool OsReadWindow::Faulted() const { return keptZeros || OsWatchedMappingFaulted(watch); }

bool OsReadWindow::ShowAgain() {
  if (!Keeps()) return true;
  const int64_t start = offset - (base - mapped);
  void* shared = mmap(mapped + keptFrom, keptBytes, PROT_READ, MAP_SHARED | MAP_FIXED, fd, start + int64_t(keptFrom));
  keptFrom = keptBytes = 0;
  if (shared != MAP_FAILED) return true;
  Unmap();
  return false;
}
