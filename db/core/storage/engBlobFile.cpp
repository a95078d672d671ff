// The BLOB file as a file: opening, creating, the header on disk, emptying,
// and the BLOB locks of the multi-user protocol.

#include "engBlobFile.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "rtlAssert.h"
#include "engDataIo.h"
#include "engErrorCodes.h"
#include "engErrors.h"
#include "engFileBuffer.h"
#include "engLittleEndian.h"
#include "engLockRetry.h"
#include "engScopeGuard.h"

namespace {

constexpr int32_t BufferSize = 65535;
constexpr int32_t ReadAheadBytes = 65535;
// A chain window filled by a scan stays small enough for the processor's
// caches to still hold it when the values are copied out of it.
constexpr int32_t ScanReadAheadBytes = 262144;
constexpr int32_t MaxCachedBlocks = 1 << 20;

}  // namespace

TBlobFile::TBlobFile(TBlobFileTable* table)
    : table(table), blockStack(this) {}

TBlobFile::~TBlobFile() { DropCache(); }

uint8_t* TBlobFile::Room(TEngineBuffer& buffer, int32_t length) {
  GrowFileBuffer(buffer, length, BufferSize);
  return buffer.Get();
}

void TBlobFile::RaiseBlobError(uint16_t code) const { RaiseEngineError(code, table->TableName()); }

void TBlobFile::SetBlockSize(uint16_t size) {
  ORV_ASSERT(held.Empty());
  blockSize = size == 0 ? DefaultBlobBlock : size;
  blockShift = std::has_single_bit(blockSize) ? std::countr_zero(blockSize) : -1;
  DropHeld();
}

int32_t TBlobFile::NormalCacheCapacity() const {
  return int32_t(std::clamp<int64_t>(table->CacheSizes().BlobBytes / blockSize, 1, MaxCachedBlocks));
}

void TBlobFile::SetCacheLimits() {
  cache.Capacity = NormalCacheCapacity();
  readAheadCount = std::max(ReadAheadBytes / int32_t(blockSize), 1);
  scanReadAheadCount = std::max(std::min(ScanReadAheadBytes / int32_t(blockSize), cache.Capacity), readAheadCount);
  chainReadAhead = readAheadCount;
  chainFillEnd = 0;
}

void TBlobFile::Open() {
  if (IsOpen()) return;
  if (blockSize < MinBlobBlockSize) RaiseBlobError(EngErrHeaderCorrupt);
  TFileHandler::Open();
  TScopeGuard closeOnFailure([this] { TFileHandler::Close(); });
  ReadHeader();
  closeOnFailure.Dismiss();
  DropHeld();
  SetCacheLimits();
}

void TBlobFile::Close() {
  if (!IsOpen()) return;
  DropCache();
  WriteHeld();
  chainWindow.reset();
  chainWindowRoom = 0;
  TFileHandler::Close();
}

void TBlobFile::CreateFile() {
  if (blockSize < MinBlobBlockSize) RaiseBlobError(EngErrBlobLimits);
  TFileHandler::CreateFile();
  DropCache();
  DropHeld();
  std::memset(header, 0, sizeof header);
  header[BlbHdrFormat] = BlobFileFormat;
  PutLE32(header + BlbHdrFirstFree, 0);
  PutLE32(header + BlbHdrEndOffset, BlobHeaderSize);
  SetHeaderModified();
  HeaderOnDisk();
  SetCacheLimits();
}

// ---- header ------------------------------------------------------------

void TBlobFile::ReadHeaderImage(uint8_t* image) {
  ReadFileAt(*this, table->TableName(), 0, image, BlobHeaderSize, false);
  if (table->IsEncrypted()) table->Decipher(image, BlobHeaderSize);
}

void TBlobFile::ReadHeader() {
  ReadHeaderImage(header);
  header[BlbHdrModified] = 0;
  HeaderOnDisk();
}

void TBlobFile::HeaderOnDisk() {
  diskFreeHead = FirstFree();
  headerBehindNewBlocks = false;
  headerAhead = false;
}

void TBlobFile::WriteHeader(bool force) {
  if (!force && !HeaderModified()) return;
  PutLE32(header + BlbHdrChangeCount, GetChangeCount() + 1);
  // Written before the records already, byte for byte: not again.
  if (!headerAhead || std::memcmp(header, aheadImage, BlobHeaderSize) != 0) WriteHeaderBytes(header, 0, BlobHeaderSize);
  header[BlbHdrModified] = 0;
  HeaderOnDisk();
}

void TBlobFile::WriteHeaderBytes(const uint8_t* plain, uint32_t from, uint32_t count) {
  ORV_ASSERT(from + count <= BlobHeaderSize);
  // On the stack: the shared write buffer would be made at its full
  // reserve (and cleared) for a table that writes nothing else.
  std::array<uint8_t, BlobHeaderSize> header;
  uint8_t* image = header.data();
  std::memcpy(image, plain, BlobHeaderSize);
  // The cipher is a stream from the header's first byte.
  if (table->IsEncrypted()) table->Encipher(image, BlobHeaderSize);
  WriteFileAt(*this, table->TableName(), from, image + from, int32_t(count));
}

void TBlobFile::MarkChanged() {
  PutLE32(header + BlbHdrChangeCount, GetChangeCount() + 1);
  table->SetDataChanged();
}

// Every header write counts a change, so the count alone tells whether
// another writer wrote one; only then is the whole header read.
bool TBlobFile::HeaderChanged() {
  uint8_t lead[BlbHdrChangeCount + sizeof(uint32_t)];
  ReadFileAt(*this, table->TableName(), 0, lead, sizeof lead, false);
  if (table->IsEncrypted()) table->Decipher(lead, sizeof lead);
  if (GetLE32(lead + BlbHdrChangeCount) == GetChangeCount()) return false;
  ReadHeader();
  return true;
}

void TBlobFile::ResetHeader() {
  CutFileAt(*this, table->TableName(), BlobHeaderSize);
  DropCache();
  DropHeld();
  header[BlbHdrFormat] = BlobFileFormat;
  PutLE32(header + BlbHdrEndOffset, BlobHeaderSize);
  PutLE32(header + BlbHdrFirstFree, 0);
  SetHeaderModified();
  HeaderOnDisk();
}

uint32_t TBlobFile::FirstFree() const { return GetLE32(header + BlbHdrFirstFree); }

void TBlobFile::SetFirstFree(uint32_t offset) {
  if (FirstFree() == offset) return;
  PutLE32(header + BlbHdrFirstFree, offset);
  SetHeaderModified();
}

uint32_t TBlobFile::NextBlockOffset() const { return FirstFree() != 0 ? FirstFree() : EndOffset(); }

int32_t TBlobFile::BlocksInFile() const {
  const uint32_t end = EndOffset();
  return end > BlobHeaderSize ? int32_t(BlocksIn(end - BlobHeaderSize)) : 0;
}

// ---- locks -------------------------------------------------------------

bool TBlobFile::LockExclusive() {
  return RetryLock([this] { return LockRange(BlobExclusiveLockOffset, BlobExclusiveLockLength, true); },
                   FileLockTries, FileLockPauseMs);
}

bool TBlobFile::UnlockExclusive() { return LockRange(BlobExclusiveLockOffset, BlobExclusiveLockLength, false); }

bool TBlobFile::LockShared(uint16_t& byteNumber) {
  return LockSharedByte(*this, BlobSharedLockTop, byteNumber);
}

bool TBlobFile::UnlockShared(uint16_t byteNumber) { return LockRange(BlobSharedLockTop - byteNumber, 1, false); }
