// The data file as a file: creating, opening and closing it, the header and
// its counters, the field descriptors, and the locks of the multi-user
// protocol.

#include "engDataFile.h"

#include <algorithm>
#include <cstring>

#include "engDataIo.h"
#include "engErrorCodes.h"
#include "engErrors.h"
#include "engFileBuffer.h"
#include "engLittleEndian.h"
#include "engLockRetry.h"
#include "engScopeGuard.h"
#include "rtlAssert.h"
#include "rtlStrUtils.h"

namespace {

constexpr int32_t ReadAheadBytes = 65535;
constexpr int32_t MaxCachedRecords = 1 << 20;

// The parts of a descriptor that an update may change.
struct TDescSpan {
  int Offset;
  int Length;
};
constexpr TDescSpan UpdatableDescParts[] = {
    {FieldDescNumberOffset, 2},
    {FieldDescNameOffset, FieldNameLimit + 1},
    {FieldDescDescriptionOffset, FieldTextLimit + 1},
    {FieldDescSubtypeOffset, 1},
    {FieldDescRequiredOffset, 1},
    {FieldDescMinOffset, FieldTextLimit + 1},
    {FieldDescMaxOffset, FieldTextLimit + 1},
    {FieldDescDefaultOffset, FieldTextLimit + 1},
};

}  // namespace

TDataFile::TDataFile(TDataFileTable* table)
    : table(table), recordStack(this) {
  // Record numbers come in runs (walks, read-ahead, appends).
  cache.KeepRunsTogether();
}

TDataFile::~TDataFile() { DropCache(); }

void TDataFile::RaiseData(uint16_t code) const { RaiseEngineError(code, table->TableName()); }

int32_t TDataFile::ReadFileBytes(int64_t offset, void* buffer, int32_t count, bool allowShort) {
  if (HasSortRuns() && offset + count > RecordAreaOffset() && offset < HeldOffset()) SpillRuns();
  if (HeldRecordCount() > 0 && offset + count > HeldOffset()) {
    int32_t got = 0;
    if (ReadHeld(offset, static_cast<uint8_t*>(buffer), count, allowShort, got)) return got;
    WriteHeld();
  }
  return ReadFileAt(*this, table->TableName(), offset, buffer, count, allowShort);
}

void TDataFile::WriteFileBytes(int64_t offset, const void* buffer, int32_t count) {
  if (HasSortRuns() && offset + count > RecordAreaOffset()) SpillRuns();
  WriteFileAt(*this, table->TableName(), offset, buffer, count);
}

void TDataFile::WriteFileGathered(int64_t offset, std::span<const std::span<const uint8_t>> pieces) {
  int64_t count = 0;
  for (const std::span<const uint8_t>& piece : pieces) count += int64_t(piece.size());
  if (HasSortRuns() && offset + count > RecordAreaOffset()) SpillRuns();
  WriteFileGatheredAt(*this, table->TableName(), offset, pieces);
}

void TDataFile::CutAt(int64_t offset) {
  SpillRuns();
  // The windows' pages past the cut would fault: they map again.
  windows.Forget(offset);
  stampedThrough = 0;
  CutFileAt(*this, table->TableName(), offset);
}

void TDataFile::Open() {
  if (IsOpen()) return;
  TFileHandler::Open();
  TScopeGuard closeOnFailure([this] {
    FreeDescriptors();
    TFileHandler::Close();
  });
  ReadHeader();
  ReadFieldDescriptors();
  CheckDescriptors();
  closeOnFailure.Dismiss();
  cacheHits = readAheadReads = physicalReads = physicalWrites = 0;
  diskRecords = UnknownDiskRecords;
  DropHeld();
  SetCacheLimits();
}

void TDataFile::Close() {
  // The file opened next under this name (a restructure's) may be another.
  windows.Forget(0);
  if (IsOpen()) WriteHeld();
  DropCache();
  FreeDescriptors();
  TFileHandler::Close();
}

void TDataFile::FreeDescriptors() {
  descriptors.Reset();
  descriptorsModified = false;
}

int32_t TDataFile::CacheLimit() const {
  if (RecordSize() == 0) return 1;
  return int32_t(std::clamp<int64_t>(table->CacheSizes().RecordBytes / RecordSize(), 1, MaxCachedRecords));
}

void TDataFile::SetCacheLimits() {
  readAheadCount = RecordSize() == 0 ? 1 : std::max(ReadAheadBytes / RecordSize(), 1);
  cache.Capacity = CacheLimit();
}

void TDataFile::CheckDescriptors() const {
  for (int position = 1; position <= FieldCount(); ++position)
    if (!FieldBytesFit(Desc(position), RecordSize())) RaiseData(EngErrHeaderCorrupt);
}

void TDataFile::StartHeader(const TDataFileDefinition& definition) {
  const uint8_t* descs = definition.FieldDescs;
  const int fieldCount = definition.FieldCount;
  const uint32_t blobBlockSize = definition.BlobBlockSize;
  if (fieldCount < 0 || fieldCount > MaxDataFields) RaiseData(EngErrFieldLimits);
  int blobFields = 0;
  for (int i = 0; i < fieldCount; ++i)
    if (descs[size_t(i) * FieldDescSize + FieldDescTypeOffset] == BlobFieldType) ++blobFields;
  if (blobFields > MaxBlobFields || blobBlockSize > 0xFFFF) RaiseData(EngErrBlobLimits);
  const int32_t recordSize = ComputeRecordSize(descs, fieldCount);
  if (recordSize > MaxRecordSize) RaiseData(EngErrRecordTooBig);

  DropCache();
  DropHeld();
  header = TDataHeader();
  header.Put16(DatHdrLanguageId, definition.LanguageId);
  header.Put16(DatHdrSortId, definition.SortId);
  header.Image[DatHdrEncrypted] = definition.Encrypted ? 1 : 0;
  SetTableInfo(definition.Password, definition.Description, definition.UserMajorVersion,
               definition.UserMinorVersion, 0);
  header.Put16(DatHdrFieldCount, uint16_t(fieldCount));
  header.Put32(DatHdrBlobBlockSize, blobBlockSize);
  header.Put16(DatHdrBlobFieldCount, uint16_t(blobFields));
  header.Image[DatHdrFormat] = DataFileFormat;
  header.Put32(DatHdrNextRecord, 1);
  header.Put16(DatHdrRecordSize, uint16_t(recordSize));
}

void TDataFile::CreateDataFile(const TDataFileDefinition& definition) {
  StartHeader(definition);
  FreeDescriptors();
  const int fieldCount = definition.FieldCount;
  if (fieldCount > 0) {
    const size_t length = size_t(fieldCount) * FieldDescSize;
    descriptors = TEngineBuffer::Uncleared(length);
    std::memcpy(descriptors.Get(), definition.FieldDescs, length);
  }
  CheckDescriptors();
  SetHeaderModified();
  descriptorsModified = true;
  TFileHandler::CreateFile();
  diskRecords = 0;
  cacheHits = readAheadReads = physicalReads = physicalWrites = 0;
  SetCacheLimits();
}

bool TDataFile::HoldsDescriptors(const TDataFileDefinition& definition) const {
  if (definition.FieldCount != FieldCount() || definition.Encrypted || IsEncrypted()) return false;
  const size_t length = size_t(FieldCount()) * FieldDescSize;
  return length == 0 || std::memcmp(descriptors.Get(), definition.FieldDescs, length) == 0;
}

void TDataFile::CreateOverDescriptors(const TDataFileDefinition& definition) {
  ORV_ASSERT(IsOpen() && HoldsDescriptors(definition));
  // Written where they are, the descriptors are what a creation writes.
  WriteFieldDescriptors();
  StartHeader(definition);
  SetHeaderModified();
  CutAt(RecordAreaOffset());
  diskRecords = 0;
  cacheHits = readAheadReads = physicalReads = physicalWrites = 0;
  SetCacheLimits();
}

void TDataFile::ReadHeader() {
  TDataHeader image;
  if (ReadFileBytes(0, image.Image, DataHeaderSize, true) < DataHeaderSize) RaiseData(EngErrHeaderCorrupt);
  TakeHeader(image);
}

void TDataFile::TakeHeader(const TDataHeader& image) {
  if (const uint16_t fault = image.Fault(FileSize())) RaiseData(fault);
  // The layout is fixed while the descriptors are loaded.
  if (descriptors && (image.FieldCount() != FieldCount() || image.RecordSize() != RecordSize()))
    RaiseData(EngErrHeaderCorrupt);
  header = image;
  header.SetModified(false);
}

void TDataFile::WriteHeader(bool force) {
  if (!header.Modified() && !force) return;
  header.Put32(DatHdrChangeCount, ChangeCount() + 1);
  header.SetEngineVersion(DataEngineVersion);
  header.SetWriteTime(Now());
  WriteFileBytes(0, header.Image, DataHeaderSize);
  header.SetModified(false);
}

bool TDataFile::HeaderChanged() {
  TDataHeader image;
  if (ReadFileBytes(0, image.Image, DataHeaderSize, true) < DataHeaderSize) RaiseData(EngErrHeaderCorrupt);
  if (image.Get32(DatHdrChangeCount) == ChangeCount()) return false;
  TakeHeader(image);
  return true;
}

void TDataFile::MarkChanged() {
  header.Put32(DatHdrChangeCount, ChangeCount() + 1);
  table->SetDataChanged();
}

void TDataFile::ResetHeader() {
  DropHeld();
  CutAt(RecordAreaOffset());
  diskRecords = 0;
  header.Put32(DatHdrChangeCount, 0);
  header.Put32(DatHdrFirstFree, 0);
  header.Put32(DatHdrNextRecord, 1);
  header.Put32(DatHdrLastAutoInc, 0);
  SetHeaderModified();
}

void TDataFile::GetHeader(uint8_t* out) const { std::memcpy(out, header.Image, DataHeaderSize); }

void TDataFile::ReadFieldDescriptors() {
  FreeDescriptors();
  const int32_t length = FieldCount() * FieldDescSize;
  if (length == 0) return;
  descriptors = TEngineBuffer(size_t(length));
  if (ReadFileBytes(DataHeaderSize, descriptors.Get(), length, true) < length) RaiseData(EngErrHeaderCorrupt);
  // Files written before the engine stamped its version ciphered a
  // 16-bit length.
  if (IsEncrypted()) Decipher(descriptors.Get(), uint32_t(header.EngineVersion() == 0 ? length % 65536 : length));
}

void TDataFile::WriteFieldDescriptors() {
  if (!descriptorsModified) return;
  const int32_t length = FieldCount() * FieldDescSize;
  if (length > 0 && !IsEncrypted()) {
    WriteFileBytes(DataHeaderSize, descriptors.Get(), length);
  } else if (length > 0) {
    GrowFileBuffer(writeBuffer, length, BufferReserve);
    std::memcpy(writeBuffer.Get(), descriptors.Get(), size_t(length));
    Encipher(writeBuffer.Get(), uint32_t(length));
    WriteFileBytes(DataHeaderSize, writeBuffer.Get(), length);
  }
  descriptorsModified = false;
}

bool TDataFile::GetFieldDesc(int position, uint8_t* out) const {
  if (position < 1 || position > FieldCount()) return false;
  std::memcpy(out, Desc(position), FieldDescSize);
  return true;
}

bool TDataFile::FindFieldDescByNo(uint16_t fieldNumber, uint8_t* out) const {
  for (int position = 1; position <= FieldCount(); ++position)
    if (FieldDescNumber(Desc(position)) == fieldNumber) return GetFieldDesc(position, out);
  return false;
}

int TDataFile::FindFieldDescByName(const std::string& name, uint8_t* out) const {
  for (int position = 1; position <= FieldCount(); ++position)
    if (SameText(GetShortString(Desc(position) + FieldDescNameOffset, FieldNameLimit), name)) {
      GetFieldDesc(position, out);
      return position;
    }
  return 0;
}

void TDataFile::UpdateFieldDesc(int position, const uint8_t* desc) {
  if (position < 1 || position > FieldCount())
    RaiseEngineError(EngErrFieldNumber, table->TableName(), std::to_string(position));
  for (const TDescSpan& part : UpdatableDescParts)
    std::memcpy(Desc(position) + part.Offset, desc + part.Offset, size_t(part.Length));
  descriptorsModified = true;
}

int32_t TDataFile::NextAutoIncValue() {
  const int32_t last = GetAutoIncValue();
  const int32_t next = last >= MaxAutoIncValue ? 1 : last + 1;
  SetAutoIncValue(next);
  return next;
}

void TDataFile::SetAutoIncValue(int32_t value) {
  header.Put32(DatHdrLastAutoInc, uint32_t(value));
  SetHeaderModified();
}

uint32_t TDataFile::NextBlobSequence() {
  const uint32_t last = header.Get32(DatHdrBlobSequence);
  const uint32_t next = last >= uint32_t(MaxAutoIncValue) ? 1 : last + 1;
  header.Put32(DatHdrBlobSequence, next);
  SetHeaderModified();
  return next;
}

std::string TDataFile::ShortText(int offset, int limit) const {
  std::string text = GetShortString(header.Image + offset, limit);
  if (IsEncrypted() && !text.empty())
    table->Decipher(reinterpret_cast<uint8_t*>(text.data()), uint32_t(text.size()));
  return text;
}

void TDataFile::PutShortText(int offset, const std::string& text, int limit) {
  uint8_t* field = header.Image + offset;
  PutShortString(field, text, limit, LanguageId() == 0);
  if (IsEncrypted() && field[0] > 0) Encipher(field + 1, field[0]);
}

std::string TDataFile::GetDescription() const { return ShortText(DatHdrDescription, DescriptionLimit); }

std::string TDataFile::GetPassword() const { return ShortText(DatHdrPassword, PasswordLimit); }

void TDataFile::SetTableInfo(const std::string& password, const std::string& description, uint16_t userMajor,
                             uint16_t userMinor, int32_t lastAutoInc) {
  PutShortText(DatHdrPassword, IsEncrypted() ? password : std::string(), PasswordLimit);
  PutShortText(DatHdrDescription, description, DescriptionLimit);
  header.Put16(DatHdrUserMajor, userMajor);
  header.Put16(DatHdrUserMinor, userMinor);
  SetAutoIncValue(lastAutoInc);
}

bool TDataFile::LockRecord(uint32_t recordNumber) {
  if (recordNumber == 0 || recordNumber >= MaxRecordNumber) return false;
  return LockRange(RecordLockTop - int32_t(recordNumber), 1, true);
}

bool TDataFile::UnlockRecord(uint32_t recordNumber) {
  if (recordNumber == 0 || recordNumber >= MaxRecordNumber) return false;
  return LockRange(RecordLockTop - int32_t(recordNumber), 1, false);
}

bool TDataFile::UnlockRecordRun(uint32_t first, uint32_t count) {
  if (first == 0 || first >= MaxRecordNumber || count == 0 || count > MaxRecordNumber - first) return false;
  // Record n's byte lies at RecordLockTop - n: the run's highest number has the lowest byte.
  return UnlockRun(RecordLockTop - int32_t(first + count - 1), int32_t(count));
}

bool TDataFile::LockHeader() {
  return RetryLock([this] { return LockRange(HeaderLockOffset, 1, true); }, FileLockTries, FileLockPauseMs);
}

bool TDataFile::UnlockHeader() { return LockRange(HeaderLockOffset, 1, false); }
