#include "engPhysicalFile.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "rtlAssert.h"
#include "engOsErrors.h"
#include "osPath.h"
#include "rtlStrUtils.h"

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

int32_t Failure(OsError error) { return -int32_t(EngineErrorFromOsError(error)); }

int32_t Result(OsError error) { return error == ERROR_SUCCESS ? 0 : Failure(error); }

// The full path of the file on disk: the last part of the name is looked up
// ignoring case in its folder; without a match the name stays as given.
std::string DiskPath(const std::string& name) {
  const std::string full = OsPath::ExpandFileName(Trim(name));
  const size_t slash = full.rfind('/');
  if (slash == std::string::npos || slash + 1 == full.size()) return full;
  const std::string folder = slash == 0 ? std::string("/") : full.substr(0, slash);
  const std::string found = OsPath::FindFileIgnoreCase(folder, full.substr(slash + 1));
  return found.empty() ? full : full.substr(0, slash + 1) + found;
}

}  // namespace

// A table's reads are many and small, and nothing reads the access times
// of its files: a read does not stop to update one.
OsFileOptions TPhysicalFile::Options(bool deleteOnClose) const {
  return OsFileOptions{deleteOnClose, WriteThrough, SequentialAccess, true};
}

int32_t TPhysicalFile::CreateNew() {
  Guard guard(section);
  ForgetMappings();
  // The temporary attribute alone: the creator closes and reopens the file
  // before it is deleted on close.
  if (const OsError error = osFile.Create(DiskPath(name), Options(false))) return Failure(error);
  ReadOnly = false;
  OpenedReadOnly = false;
  position = 0;
  unflushed.store(true);
  return TAbstractFile::CreateNew();
}

int32_t TPhysicalFile::OpenHandle() {
  Guard guard(section);
  if (openCount == 0) {
    const std::string path = DiskPath(name);
    OsPath::FileAttributes attributes;
    if (const OsError error = OsPath::GetFileAttributes(path, attributes)) return Failure(error);
    ReadOnly = attributes.readOnly;
    const OsFileAccess access = ReadOnly ? OsFileAccess::ReadOnly : OsFileAccess::ReadWrite;
    const OsFileShare share = Exclusive ? OsFileShare::Exclusive : OsFileShare::Shared;
    if (const OsError error = osFile.Open(path, access, share, Options(Temporary))) return Failure(error);
    ReadOnly = ReadOnly || osFile.OpenedReadOnly();
    OpenedReadOnly = ReadOnly;
    position = 0;
    unflushed.store(true);
  }
  return TAbstractFile::OpenHandle();
}

bool TPhysicalFile::CloseHandle(int32_t number) {
  Guard guard(section);
  if (!TAbstractFile::CloseHandle(number)) return false;
  if (openCount == 0) {
    ForgetMappings();
    osFile.Close();
  }
  return true;
}

int32_t TPhysicalFile::Rename(const std::string& newName) {
  Guard guard(section);
  const int32_t result = RenameOnDisk(name, newName);
  if (result == 0) name = newName;
  return result;
}

int32_t TPhysicalFile::Delete() {
  Guard guard(section);
  return DeleteOnDisk(name);
}

int32_t TPhysicalFile::Read(int32_t, void* buffer, int32_t count) {
  Guard guard(section);
  if (count < 0) return -1;
  // Nothing lies beyond the largest 32-bit position for the engine.
  count = int32_t(std::min<int64_t>(count, int64_t(INT32_MAX) - position));
  size_t done = 0;
  const OsError error = osFile.Read(position, buffer, size_t(count), done);
  position += int32_t(done);
  return error == ERROR_SUCCESS ? int32_t(done) : -1;
}

int32_t TPhysicalFile::Write(int32_t, const void* buffer, int32_t count) {
  Guard guard(section);
  int32_t end;
  if (!TransferEnd(position, count, end)) return -1;
  if (count == 0) {
    const OsError error = osFile.SetEnd(position);
    unflushed.store(true);
    return error == ERROR_SUCCESS ? 0 : -1;
  }
  size_t done = 0;
  const OsError error = osFile.Write(position, buffer, size_t(count), done);
  unflushed.store(true);
  position += int32_t(done);
  return error == ERROR_SUCCESS ? int32_t(done) : -1;
}

int32_t TPhysicalFile::Seek(int32_t, int32_t offset, int32_t origin) {
  Guard guard(section);
  int64_t fileSize = 0;
  if (origin == soFromEnd) (void)osFile.Size(fileSize);
  position = SeekTarget(position, fileSize, offset, origin);
  return position;
}

// Positioned transfers need neither the section nor the position: the
// operating-system handle stays open while a caller holds a handle (see the
// lock calls below) and transfers at an offset may run side by side. A cut
// (0 bytes) goes the ordinary way.
int32_t TPhysicalFile::ReadAt(int32_t, int32_t offset, void* buffer, int32_t count) {
  if (offset < 0 || count < 0) return -1;
  // Nothing lies beyond the largest 32-bit position for the engine.
  count = int32_t(std::min<int64_t>(count, int64_t(INT32_MAX) - offset));
  size_t done = 0;
  return osFile.Read(offset, buffer, size_t(count), done) == ERROR_SUCCESS ? int32_t(done) : -1;
}

int32_t TPhysicalFile::WriteAt(int32_t number, int32_t offset, const void* buffer, int32_t count) {
  if (count == 0) return TAbstractFile::WriteAt(number, offset, buffer, count);
  int32_t end;
  if (!TransferEnd(offset, count, end)) return -1;
  size_t done = 0;
  const OsError error = osFile.Write(offset, buffer, size_t(count), done);
  unflushed.store(true);
  return error == ERROR_SUCCESS ? int32_t(done) : -1;
}

int32_t TPhysicalFile::WriteGatheredAt(int32_t, int32_t offset, std::span<const std::span<const uint8_t>> pieces) {
  size_t count = 0;
  for (const std::span<const uint8_t>& piece : pieces) count += piece.size();
  int32_t end;
  if (count > size_t(std::numeric_limits<int32_t>::max()) || !TransferEnd(offset, int32_t(count), end)) return -1;
  if (count == 0) return 0;
  size_t done = 0;
  const OsError error = osFile.WriteGathered(offset, pieces, done);
  unflushed.store(true);
  return error == ERROR_SUCCESS ? int32_t(done) : -1;
}

// Without the section, which every change check would pay for twice: a lock
// call comes through an open handle, the operating-system handle is opened,
// created or closed only while no handle is open, and its locked ranges
// have a lock of their own.
bool TPhysicalFile::LockRange(int32_t offset, int32_t length) {
  return osFile.LockRange(offset, length) == ERROR_SUCCESS;
}

bool TPhysicalFile::UnlockRange(int32_t offset, int32_t length) {
  return osFile.UnlockRange(offset, length) == ERROR_SUCCESS;
}

bool TPhysicalFile::UnlockRun(int32_t offset, int32_t length) {
  return osFile.UnlockRun(offset, length) == ERROR_SUCCESS;
}

bool TPhysicalFile::PeekHead(void* buffer, int32_t count) {
  if (count < 0) return false;
  if (headState.load(std::memory_order_acquire) != OsFileHeadMap::Mapped) {
    Guard guard(section);
    if (headState.load(std::memory_order_relaxed) == OsFileHeadMap::Empty && osFile.IsOpen())
      headState.store(osFile.MapHead(head), std::memory_order_release);
    if (headState.load(std::memory_order_relaxed) != OsFileHeadMap::Mapped) return false;
  }
  return head.Read(buffer, size_t(count));
}

bool TPhysicalFile::StoreInPlace(int32_t offset, const void* window) {
  if (WriteThrough) return false;
  Guard guard(section);
  const bool stored = osFile.StoreInPlace(mapping, offset, window);
  unflushed.store(true);
  return stored;
}

bool TPhysicalFile::MapWindow(OsReadWindow& window, int32_t offset, int32_t length) {
  if (offset < 0 || length <= 0) return false;
  return osFile.MapWindow(window, offset, size_t(length));
}

// Only while no handle is open (a new file, the last close): no peek can
// be reading the mapping.
void TPhysicalFile::ForgetMappings() {
  ORV_ASSERT(openCount == 0);
  head.Unmap();
  mapping.Unmap();
  headState.store(OsFileHeadMap::Empty, std::memory_order_relaxed);
}

bool TPhysicalFile::Flush() {
  Guard guard(section);
  if (!unflushed.exchange(false)) return true;
  ++syncs;
  if (osFile.Flush() == ERROR_SUCCESS) return true;
  unflushed.store(true);
  return false;
}

bool TPhysicalFile::ExistsOnDisk(const std::string& name) { return OsPath::FileExists(DiskPath(name)); }

int32_t TPhysicalFile::DeleteOnDisk(const std::string& name) { return Result(OsFile::Delete(DiskPath(name))); }

int32_t TPhysicalFile::RenameOnDisk(const std::string& name, const std::string& newName) {
  return Result(OsFile::Rename(DiskPath(name), Trim(newName)));
}
