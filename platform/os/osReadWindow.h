#pragma once
// A read-only shared mapping of a stretch of an open file: its bytes read
// where the system's page cache holds them, without a read call and its
// copy. On a local file system one page cache serves the mapping and every
// process's reads and writes, so what it shows is what a read would return
// at that moment. Network and unknown file systems are never mapped: their
// caches need not agree between machines, nor with their byte-range locks.
//
// A page of the mapping that the file no longer reaches (the file was cut
// below it) reads as zeros once touched, and the window is faulted from
// then on: what it shows is no longer what a read would return, and the
// caller, which checks Faulted once done with what it was shown, treats it
// as a failed read (osBusErrorGuard.h). The caller maps only bytes it
// measured the file to hold, and touches them only while nobody following
// its locking can cut the file; before anyone may change or cut it, Keep
// turns the pages still in use into this process's own copy, at the same
// addresses.

#include <cstddef>
#include <cstdint>
#include <vector>

class OsReadWindow {
public:
  OsReadWindow() = default;
  ~OsReadWindow();
  OsReadWindow(const OsReadWindow&) = delete;
  OsReadWindow& operator=(const OsReadWindow&) = delete;

  // Maps length bytes from offset of the file open on fd, after unmapping
  // what was mapped; false, with nothing mapped, when the file system is
  // not local, the mapping failed or too many are watched for bus errors.
  // The file must hold those bytes, and fd stay open while they are mapped.
  [[nodiscard]] bool Map(int fd, int64_t offset, size_t length);
  void Unmap();
  bool IsMapped() const { return base != nullptr; }
  // The stretch of the file mapped.
  int64_t Offset() const { return offset; }
  size_t Length() const { return length; }
  // Whether the window shows count bytes from the file's offset at.
  bool Covers(int64_t at, size_t count) const {
    return base && at >= offset && size_t(at - offset) <= length && count <= length - size_t(at - offset);
  }
  // The file's byte at at, which the window covers.
  const uint8_t* At(int64_t at) const { return base + (at - offset); }

  // The memory pages showing count bytes from at (covered) become this
  // process's copy of what they show now, at the same addresses: later
  // changes of the file no longer show there, and a cut cannot fault them.
  // The rest of the window still shows the file. A page that faults while
  // it is copied (the file cut below it already) is kept as zeros, and the
  // window is faulted; without
  // memory for the copy the pages go on showing the file. One stretch is
  // kept at a time: a window keeping one is shown again first.
  void Keep(int64_t at, size_t count);
  bool Keeps() const { return keptBytes > 0; }
  // Keep in two steps, for a reader that lets the file go only for a moment
  // and mostly finds it unchanged when it holds it again: CopyPages copies
  // the pages Keep would keep into copy, while nobody may change the file
  // yet (as zeros where it was cut below them, the window faulted then);
  // KeepCopy, for the same stretch, then turns the pages into this
  // process's own copy of what they showed at CopyPages. Without it they go
  // on showing the file, which is right while it did not change.
  void CopyPages(int64_t at, size_t count, std::vector<uint8_t>& copy);
  void KeepCopy(int64_t at, size_t count, const std::vector<uint8_t>& copy);
  // Some bytes shown read as zeros where the file was cut below them (here
  // or while a copy was kept), since the mapping was made.
  bool Faulted() const;
  // The kept pages show the file again (it must still hold them); false,
  // with nothing mapped, when that fails.
  [[nodiscard]] bool ShowAgain();

private:
  uint8_t* mapped = nullptr;  // from the page holding offset
  size_t mappedLength = 0;
  const uint8_t* base = nullptr;  // the file's byte at offset
  int64_t offset = 0;
  size_t length = 0;
  int fd = -1;
  int watch = -1;  // for bus errors, while mapped
  bool keptZeros = false;
  // The kept pages: bytes from keptFrom, both from mapped.
  size_t keptFrom = 0;
  size_t keptBytes = 0;

  // The pages showing count bytes from at: their first byte's place in
  // the mapping, and their bytes.
  void PagesOf(int64_t at, size_t count, size_t& first, size_t& bytes) const;
  // The pages from first on become this process's own, holding copy.
  void KeepPages(size_t first, size_t bytes, const uint8_t* copy);
};
