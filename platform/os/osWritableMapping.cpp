#include "osWritableMapping.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

#include "osBusErrorGuard.h"
#include "osFileSystem.h"
#include "rtlAssert.h"

#if defined(__x86_64__)
#include <emmintrin.h>
#endif

namespace {

// Mappings grow in steps of this many bytes, so that a file growing page by
// page is mapped again only now and then. Address space only: pages come in
// as they are stored to.
constexpr size_t MapStep = size_t(64) << 20;

size_t MemoryPage() {
  static const size_t page = size_t(sysconf(_SC_PAGESIZE));
  return page;
}

struct TStore {
  uint8_t* to;
  const void* window;
};

#if defined(__x86_64__)
// One unaligned 16-byte store, written out as one instruction so that no
// compiler splits it into narrower ones.
static_assert(OsWritableMapping::StoreWidth == sizeof(__m128i));
void StoreWindow(void* context) {
  const auto& store = *static_cast<const TStore*>(context);
  const __m128i bytes = _mm_loadu_si128(static_cast<const __m128i*>(store.window));
  asm volatile("movdqu %1, %0" : "=m"(*reinterpret_cast<__m128i*>(store.to)) : "x"(bytes));
}
#else
void StoreWindow(void*) {}
#endif

}  // namespace

OsWritableMapping::~OsWritableMapping() { Unmap(); }

void OsWritableMapping::Unmap() {
  if (base) munmap(base, length);
  base = nullptr;
  length = 0;
  refused = false;
  pagesStored.clear();
  pagesStoredCount = 0;
}

bool OsWritableMapping::Cover(int fd, size_t end) {
  if (refused) return false;
  if (!base && !OsLocalFileSystemOf(fd)) {
    refused = true;
    return false;
  }
  if (base) munmap(base, length);
  base = nullptr;
  length = (end + MapStep - 1) / MapStep * MapStep;
  // Beyond the file's end the mapping is address space only; stores never
  // go there.
  void* mapped = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (mapped == MAP_FAILED) {
    length = 0;
    refused = true;
    return false;
  }
  base = static_cast<uint8_t*>(mapped);
  // The pages of the mapping given up are no longer resident through it.
  pagesStored.assign(length / MemoryPage() / 64 + 1, 0);
  pagesStoredCount = 0;
  return true;
}

// Notes the memory pages first..last (one or two) as stored into, unless
// that would pass MostPagesStored.
bool OsWritableMapping::TakePages(size_t first, size_t last) {
  auto isStored = [this](size_t page) { return (pagesStored[page / 64] >> (page % 64)) & 1; };
  const size_t added = size_t(!isStored(first)) + size_t(last != first && !isStored(last));
  if (added == 0) return true;
  if (pagesStoredCount + added > MostPagesStored) return false;
  for (size_t page : {first, last}) pagesStored[page / 64] |= uint64_t(1) << (page % 64);
  pagesStoredCount += added;
  return true;
}

bool OsWritableMapping::Store(int fd, int64_t offset, const void* window) {
  if (!StoresInPlace || offset < 0) return false;
  const size_t end = size_t(offset) + StoreWidth;
  if (end > length && !Cover(fd, end)) return false;
  ORV_ASSERT(end <= length);
  if (!TakePages(size_t(offset) / MemoryPage(), (end - 1) / MemoryPage())) return false;
  TStore store{base + offset, window};
  return OsGuardBusErrors(StoreWindow, &store);
}
