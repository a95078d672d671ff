#pragma once
// A shared writable mapping of an open file, for changes of a few bytes in
// place. A change stored into a page the file's page cache holds dirty
// costs no system call, where a write call costs one whatever its size.
// One page cache serves the mapping and every process's reads and writes,
// so what others read is what a write call would have left, at once.
//
// Each change is one store instruction of StoreWidth bytes: a kill lands
// between instructions, so a change is in the file whole or not at all, as
// with a write call. Only local file systems are mapped: network file
// systems keep caches of their own. Where no such store instruction is
// known, nothing is stored.
//
// Every memory page stored into stays resident in the process, and counts
// as its memory, while the file is mapped: a mapping stores into
// MostPagesStored pages at the most and refuses stores into further ones.
//
// A bus error during a store (the file cut below the page by another
// program, a failed disk, no block left for the page) fails the store and
// changes nothing: the caller writes the bytes with a write call, which
// reports the error as a write does.

#include <cstddef>
#include <cstdint>
#include <vector>

class OsWritableMapping {
public:
  // The bytes of one store: those of a change and, around them, bytes of
  // the file stored again with what they hold.
  static constexpr size_t StoreWidth = 16;
  static constexpr size_t MostPagesStored = 1024;
  // Whether this processor has the one store instruction; without it every
  // store is refused.
#if defined(__x86_64__)
  static constexpr bool StoresInPlace = true;
#else
  static constexpr bool StoresInPlace = false;
#endif

  OsWritableMapping() = default;
  ~OsWritableMapping();
  OsWritableMapping(const OsWritableMapping&) = delete;
  OsWritableMapping& operator=(const OsWritableMapping&) = delete;

  // Stores the StoreWidth bytes of window at offset of the file open on fd,
  // mapping the file (again, when it grew past the mapping) as needed. They
  // lie inside the file. False, with nothing changed, when the file is not
  // mappable, the store would reach a page past MostPagesStored, or a bus
  // error came.
  [[nodiscard]] bool Store(int fd, int64_t offset, const void* window);
  void Unmap();

private:
  uint8_t* base = nullptr;
  size_t length = 0;
  bool refused = false;  // not a local file system, or the mapping failed
  // A bit per memory page of the mapping, set once stored into.
  std::vector<uint64_t> pagesStored;
  size_t pagesStoredCount = 0;

  bool Cover(int fd, size_t end);
  bool TakePages(size_t first, size_t last);
};
