#pragma once
// A read-only shared mapping of the first page of an open file: its first
// bytes read without a system call. On a local file system one page cache
// serves the mapping and every process's reads and writes, so what it shows
// is what a read would return at that moment. Network and unknown file
// systems are never mapped: their caches need not agree between machines.
//
// A file cut to nothing by another program while it is mapped makes a read
// fail rather than end the process with a bus error.

#include <cstddef>
#include <cstdint>

// What Map made of a file.
enum class OsFileHeadMap {
  Mapped,
  Empty,        // no first page yet: map again once the file has bytes
  Unavailable,  // not a local file system, or the mapping failed
};

class OsFileHead {
public:
  OsFileHead() = default;
  ~OsFileHead();
  OsFileHead(const OsFileHead&) = delete;
  OsFileHead& operator=(const OsFileHead&) = delete;

  // Maps the first page of the file open on fd, after unmapping what was
  // mapped.
  OsFileHeadMap Map(int fd);
  void Unmap();
  bool IsMapped() const { return base != nullptr; }

  // Copies the file's first count bytes; bytes past the end of a shorter
  // file read as zeros. False when nothing is mapped, count exceeds the
  // page, or the file no longer has a first page.
  [[nodiscard]] bool Read(void* buffer, size_t count) const;

private:
  const uint8_t* base = nullptr;
  size_t length = 0;
};
