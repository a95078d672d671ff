// The index file as a file: opening, creating, the header on disk, emptying,
// restoring from a backup, and the index locks of the multi-user protocol.

#include "engIndexFile.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "engErrorCodes.h"
#include "engErrors.h"
#include "engFileBuffer.h"
#include "engIndexFileLayout.h"
#include "engLittleEndian.h"
#include "engLockRetry.h"
#include "engScopeGuard.h"

namespace {

constexpr int32_t BufferReserve = 32767;  // a header and a few pages

constexpr int32_t ExclusiveLockOffset = 2147418112;
constexpr int32_t ExclusiveLockLength = 65535;
constexpr int32_t SharedLockTop = 2147483647;

}  // namespace

TIndexFile::TIndexFile(TIndexFileTable* table) : table(table) {}

TIndexFile::~TIndexFile() { DropPages(true); }

void TIndexFile::RaiseIndexError(uint16_t code, const std::string& indexName) const {
  RaiseEngineError(code, table->TableName(), std::string(), indexName);
}

std::string TIndexFile::ErrorTableName() const { return table->TableName(); }

void TIndexFile::ResetCounters() {
  cacheHits = 0;
  pageReads = 0;
  pageWrites = 0;
}

void TIndexFile::Open() {
  TFileHandler::Open();
  TScopeGuard closeOnFailure([this] { TFileHandler::Close(); });
  ReadHeader();
  closeOnFailure.Dismiss();
  ResetCounters();
}

// The table's index bytes: one budget for all its indexes.
int64_t TIndexFile::ByteBudget() const {
  return std::clamp<int64_t>(table->CacheSizes().IndexBytes, 0, MaxCachedIndexBytes);
}

void TIndexFile::SetCacheLimits() { byteLimit = ByteBudget(); }

void TIndexFile::Close() {
  DropPages(true);
  ResetCounters();
  TFileHandler::Close();
}

void TIndexFile::CreateIndexFile() {
  TFileHandler::CreateFile();
  DropPages(true);
  ResetCounters();
  memset(header, 0, sizeof header);
  header[HdrFormat] = IndexFileFormat;
  PutLE32(header + HdrEndOffset, IndexHeaderSize);
  uint8_t* deleted = Slot(DeletedIndexNo);
  deleted[IdxDescName] = uint8_t(strlen(DeletedIndexName));
  memcpy(deleted + IdxDescName + 1, DeletedIndexName, deleted[IdxDescName]);
  PutLE16(deleted + IdxDescKeyLength, DeletedKeyLength);
  SetModified();
  SetCacheLimits();
}

// Positioned transfers: no seek, and no section, as the file's shared
// position is not used.
bool TIndexFile::ReadImage(uint32_t offset, uint8_t* buffer, uint32_t count, bool allowShort) {
  const int32_t done = ReadAt(offset, buffer, int32_t(count), allowShort);
  if (done >= int32_t(count)) return true;
  memset(buffer + std::max(done, 0), 0, count - std::max(done, 0));
  return false;
}

void TIndexFile::WriteImage(uint32_t offset, const uint8_t* buffer, uint32_t count) {
  WriteAt(offset, buffer, int32_t(count));
}

// The secondary count names the slots that descriptor work walks, so a
// count beyond them is refused before it is used.
void TIndexFile::TakeHeader(const uint8_t* image) {
  if (image[HdrSecondaryCount] > MaxSecondaryIndexes) RaiseIndexError(EngErrHeaderCorrupt);
  memcpy(header, image, IndexHeaderSize);
  header[HdrModified] = 0;
  SetCacheLimits();
}

void TIndexFile::ReadHeader() {
  GrowFileBuffer(readBuffer, IndexHeaderSize, BufferReserve);
  ReadImage(0, readBuffer.Get(), IndexHeaderSize, false);
  if (table->IsEncrypted()) table->Decipher(readBuffer.Get(), IndexHeaderSize);
  TakeHeader(readBuffer.Get());
}

void TIndexFile::WriteHeader(bool force) {
  if (!header[HdrModified] && !force) return;
  PutLE32(header + HdrChangeCount, GetChangeCount() + 1);
  // On the stack: the shared write buffer would be made at its full
  // reserve (and cleared) for a table that writes no page.
  std::array<uint8_t, IndexHeaderSize> image;
  memcpy(image.data(), header, IndexHeaderSize);
  if (table->IsEncrypted()) table->Encipher(image.data(), IndexHeaderSize);
  WriteImage(0, image.data(), IndexHeaderSize);
  header[HdrModified] = 0;
}

// Every change check asks this, so the change count is read alone and the
// whole header only when the count moved. The cipher runs as a stream from
// the header's first byte, so the leading bytes decipher on their own.
bool TIndexFile::HeaderChanged() {
  uint8_t lead[HdrChangeCount + sizeof(uint32_t)];
  ReadImage(0, lead, sizeof lead, false);
  if (table->IsEncrypted()) table->Decipher(lead, sizeof lead);
  if (GetLE32(lead + HdrChangeCount) == GetChangeCount()) return false;
  ReadHeader();
  return true;
}

void TIndexFile::MarkChanged() {
  PutLE32(header + HdrChangeCount, GetChangeCount() + 1);
  table->SetDataChanged();
}

void TIndexFile::EmptyIndexes() {
  WriteImage(IndexHeaderSize, nullptr, 0);
  DropPages(true);
  header[HdrFormat] = IndexFileFormat;
  PutLE32(header + HdrEndOffset, IndexHeaderSize);
  PutLE32(header + HdrRecordCount, 0);
  auto emptyTree = [this](int slot) {
    PutLE32(Slot(slot) + IdxDescRoot, 0);
    PutLE32(Slot(slot) + IdxDescFirstFree, 0);
  };
  emptyTree(0);
  for (int slot = 1; slot <= std::min(GetSecondaryCount(), MaxSecondaryIndexes); ++slot) emptyTree(slot);
  emptyTree(DeletedIndexNo);
  SetModified();
}

// Cached pages and the header would otherwise outlive the content they
// came from and be written over it.
void TIndexFile::RestoreFromBackup(const std::string& backupName) {
  CopyFromFile(backupName);
  DropPages(true);
  ReadHeader();
}

bool TIndexFile::LockIndexExclusive() {
  return RetryLock([this] { return LockRange(ExclusiveLockOffset, ExclusiveLockLength, true); }, FileLockTries,
                   FileLockPauseMs);
}

bool TIndexFile::UnlockIndexExclusive() { return LockRange(ExclusiveLockOffset, ExclusiveLockLength, false); }

bool TIndexFile::LockIndexShared(uint16_t& lockNumber) {
  return LockSharedByte(*this, SharedLockTop, lockNumber);
}

bool TIndexFile::UnlockIndexShared(uint16_t lockNumber) {
  return LockRange(SharedLockTop - lockNumber, 1, false);
}
