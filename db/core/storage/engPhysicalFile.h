#pragma once
// A disk file: one operating-system handle per process, opened by the first
// opener and closed with the last one, and one read-write position for the
// whole process (the handle numbers only count openers). Share modes and
// byte-range locks act between processes through the operating system.
//
// The file name is found ignoring case inside its folder, so that
// "ORDERS.DAT" opens "orders.dat"; a file that does not exist yet takes
// the name as given.

#include <atomic>

#include "engAbstractFile.h"
#include "osFile.h"

class TPhysicalFile : public TAbstractFile {
public:
  using TAbstractFile::TAbstractFile;

  bool InMemory() const override { return false; }

  int32_t CreateNew() override;
  int32_t OpenHandle() override;
  bool CloseHandle(int32_t number) override;
  int32_t Rename(const std::string& newName) override;
  int32_t Delete() override;
  int32_t Read(int32_t number, void* buffer, int32_t count) override;
  int32_t Write(int32_t number, const void* buffer, int32_t count) override;
  int32_t Seek(int32_t number, int32_t offset, int32_t origin) override;
  int32_t ReadAt(int32_t number, int32_t offset, void* buffer, int32_t count) override;
  int32_t WriteAt(int32_t number, int32_t offset, const void* buffer, int32_t count) override;
  int32_t WriteGatheredAt(int32_t number, int32_t offset, std::span<const std::span<const uint8_t>> pieces) override;
  bool LockRange(int32_t offset, int32_t length) override;
  bool UnlockRange(int32_t offset, int32_t length) override;
  bool UnlockRun(int32_t offset, int32_t length) override;
  // Through a mapping of the first page, on local file systems.
  bool PeekHead(void* buffer, int32_t count) override;
  // Through a writable mapping of the file, on local file systems, unless
  // every write must reach the disk before it returns.
  bool StoreInPlace(int32_t offset, const void* window) override;
  bool MapWindow(OsReadWindow& window, int32_t offset, int32_t length) override;

  // Writes the operating system's buffers of this file to disk; false when
  // that fails, and at every later flush until the file is closed and opened
  // again. A file this process has not written since its last flush asks
  // nothing of the disk.
  bool Flush();
  // Written by this process since its last flush (or not known to be clean).
  bool Unflushed() const { return unflushed.load(); }
  // The syncs Flush asked of the disk so far.
  uint32_t Syncs() const { return syncs.load(); }

  // The same operations for a disk file that has no file object.
  static bool ExistsOnDisk(const std::string& name);
  static int32_t DeleteOnDisk(const std::string& name);
  static int32_t RenameOnDisk(const std::string& name, const std::string& newName);

private:
  OsFile osFile;
  int32_t position = 0;
  OsFileHead head;
  // Mapped, not mappable, or to be tried at the next peek. Once mapped, the
  // head stays mapped until no handle is open (a cut leaves it mapped: a
  // peek of an empty file fails inside the guarded copy), so a peek of a
  // mapped head needs no section; mapping happens under it.
  std::atomic<OsFileHeadMap> headState{OsFileHeadMap::Empty};
  // Mapped by the first store, again as the file grows past it, under the
  // section; unmapped with the head.
  OsWritableMapping mapping;
  // Set after every write of this process (so a write racing a flush is
  // either in that flush or leaves the mark for the next), cleared by a
  // flush; set while nothing is known, from each opening of the handle.
  std::atomic<bool> unflushed{true};
  std::atomic<uint32_t> syncs{0};

  void ForgetMappings();

  OsFileOptions Options(bool deleteOnClose) const;
};
