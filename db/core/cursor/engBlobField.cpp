// Opening, reading, writing and closing a cursor's BLOB fields.

#include "engBlobField.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>
#include <memory>

#include "rtlAssert.h"
#include "engBlobLayout.h"
#include "engDataFile.h"
#include "engDataHeader.h"
#include "engErrorCodes.h"
#include "engErrors.h"
#include "engFieldBytes.h"
#include "engLittleEndian.h"
#include "engRecordBuffer.h"
#include "engTable.h"

namespace {

bool IsBlobField(const uint8_t* fieldDesc) { return fieldDesc[FieldDescTypeOffset] == BlobFieldType; }

// Value bytes 0 to 3: a first-block offset, or an open BLOB's negated handle.
int32_t FieldReference(const uint8_t* fieldDesc, const uint8_t* record) {
  return int32_t(GetLE32(FieldValueBytes(fieldDesc, record)));
}

constexpr int32_t SpareBlobRoom = 65536;
// The handles a cursor takes from the process's count at a time.
constexpr uint32_t HandleBlock = 64;

// 0, or the code refusing an offset and count of a BLOB's bytes.
int32_t CheckSpan(int32_t offset, int32_t count) {
  if (offset < 0) return EngErrBlobOffset;
  if (count < 0 || int64_t(offset) + count > std::numeric_limits<int32_t>::max()) return EngErrBlobLength;
  return 0;
}

}  // namespace

TCursorBlobs::TCursorBlobs(TReadContext* reader, TCursorFields& fields, TBlobOperationBracket& bracket)
    : reader(reader), fields(fields), bracket(bracket) {}

TCursorBlobs::~TCursorBlobs() { FreeOpenBlobs(true); }

void TCursorBlobs::Attach(TDataTable& openTable) {
  spare.reset();
  table = &openTable;
}

void TCursorBlobs::Detach() {
  FreeOpenBlobs(true);
  spare.reset();
  table = nullptr;
}

int32_t TCursorBlobs::OpenBlob(int fieldNo, uint8_t* record, const TBlobOpenOptions& options) {
  bracket.BeginBlobOperation();
  // Not a scope guard: its count of exceptions in flight, taken twice, was
  // a fifth of the bracket on a walk that opens a value per record.
  int32_t result = 0;
  try {
    TBlobBuffer* opened = nullptr;
    result = OpenField(fieldNo, record, options, opened);
  } catch (...) {
    ReleaseQuietly([this] { bracket.EndBlobOperation(); });
    throw;
  }
  bracket.EndBlobOperation();
  return result;
}

int32_t TCursorBlobs::CopyBlob(int fieldNo, uint8_t* record, TCursorBlobAccess& source, int sourceFieldNo,
                               const uint8_t* sourceRecord, int32_t& length) {
  length = 0;
  TBlobBuffer* buffer = nullptr;
  bracket.BeginBlobOperation();
  int32_t result = 0;
  try {
    result = OpenField(fieldNo, record, {.Release = true}, buffer);
  } catch (...) {
    ReleaseQuietly([this] { bracket.EndBlobOperation(); });
    throw;
  }
  bracket.EndBlobOperation();
  if (result != 0) return result;
  // The source's bytes go straight into the open value: its reads come
  // under the source's own bracket, after this cursor's has ended.
  TBlobBufferRoom room(*buffer);
  try {
    result = source.ReadWholeBlob(sourceFieldNo, sourceRecord, TFieldNumbering::Table, room, length);
  } catch (...) {
    FreeBlob(fieldNo, record, TFieldNumbering::Cursor);
    throw;
  }
  if (result != 0) {
    length = 0;
    FreeBlob(fieldNo, record, TFieldNumbering::Cursor);
    return result;
  }
  // As the bytes written into it would.
  if (length == 0) buffer->SetSize(0);
  return 0;
}

bool TCursorBlobs::AppendsBlobCopies() const {
  return table && table->IsTemporary() && table->TableLocksSkipped() && !table->FilesReadOnly() &&
         table->HasBlobFile() && table->BlobFile().AppendsChains();
}

// Room in the cursor's kept bytes, for one value at a time.
class TCursorBlobs::TCopyRoom final : public TBlobValueRoom {
public:
  explicit TCopyRoom(TCursorBlobs& blobs) : blobs(blobs) {}
  uint8_t* Room(int32_t length) override {
    if (length > blobs.copyRoomSize) {
      blobs.copyRoom = std::make_unique_for_overwrite<uint8_t[]>(size_t(length));
      blobs.copyRoomSize = length;
    }
    return blobs.copyRoom.get();
  }

private:
  TCursorBlobs& blobs;
};

// The value goes to the BLOB file before its record reaches the data file,
// where a record's insert writes its chains after the record: only a table
// that nobody else reads, and that is emptied or discarded after a failed
// fill, may take it so.
int32_t TCursorBlobs::AppendBlobCopy(int fieldNo, uint8_t* record, TCursorBlobAccess& source, int sourceFieldNo,
                                     const uint8_t* sourceRecord, int32_t& length) {
  ORV_ASSERT(AppendsBlobCopies());
  length = 0;
  uint8_t scratch[FieldDescSize];
  const uint8_t* fieldDesc = FieldDesc(fieldNo, false, scratch);
  if (!IsBlobField(fieldDesc)) return EngErrBlobField;
  ORV_ASSERT(FieldReference(fieldDesc, record) >= 0);
  // Under the source's own bracket, as CopyBlob reads it.
  TCopyRoom room(*this);
  if (const int32_t result = source.ReadWholeBlob(sourceFieldNo, sourceRecord, TFieldNumbering::Table, room, length)) {
    length = 0;
    return result;
  }
  if (length > 0) Append(fieldDesc, record, copyRoom.get(), length);
  // A large value's room is not kept.
  if (copyRoomSize > SpareBlobRoom) {
    copyRoom.reset();
    copyRoomSize = 0;
  }
  return 0;
}

// What AssignBlobSequences, the chain's save and SaveOpenBlobs leave. No
// bracket: nobody else changes a temporary table held exclusively, and its
// twins share the files' state in memory, so a change check finds nothing.
void TCursorBlobs::Append(const uint8_t* fieldDesc, uint8_t* record, const uint8_t* value, int32_t length) {
  const uint32_t sequence = table->DataFile().NextBlobSequence();
  const uint32_t first = table->BlobFile().AppendChain(sequence, value, length);
  PutLE32(FieldValueBytes(fieldDesc, record) + BlobFieldSequenceOffset, sequence);
  fields.PutBlobReference(fieldDesc, record, int32_t(first), true);
}

int32_t TCursorBlobs::ReadWholeBlob(int fieldNo, const uint8_t* record, TFieldNumbering numbering,
                                    TBlobValueRoom& room, int32_t& length) {
  length = 0;
  bracket.BeginBlobOperation();
  int32_t result = 0;
  try {
    result = ReadWholeField(fieldNo, record, numbering == TFieldNumbering::Table, room, length);
  } catch (...) {
    ReleaseQuietly([this] { bracket.EndBlobOperation(); });
    throw;
  }
  bracket.EndBlobOperation();
  return result;
}

int32_t TCursorBlobs::ReadWholeField(int fieldNo, const uint8_t* record, bool tableNumbering, TBlobValueRoom& room,
                                     int32_t& length) {
  uint8_t scratch[FieldDescSize];
  const uint8_t* fieldDesc = FieldDesc(fieldNo, tableNumbering, scratch);
  if (!IsBlobField(fieldDesc)) return EngErrBlobField;
  const int32_t reference = FieldReference(fieldDesc, record);
  if (reference < 0) {
    const TBlobBuffer* open = FindByReference(reference);
    if (!open) return EngErrBlobOffset;
    length = open->Size();
    if (length > 0) std::memcpy(room.Room(length), open->GetData(), size_t(length));
    return 0;
  }
  if (reference == 0) return 0;
  // What OpenField's load reads, from the same first block and sequence.
  length = LoadChainValue(reader, table->BlobFile(), uint32_t(reference),
                          GetLE32(FieldValueBytes(fieldDesc, record) + BlobFieldSequenceOffset), room);
  return 0;
}

int32_t TCursorBlobs::OpenField(int fieldNo, uint8_t* record, const TBlobOpenOptions& options, TBlobBuffer*& opened) {
  uint8_t scratch[FieldDescSize];
  const uint8_t* fieldDesc = FieldDesc(fieldNo, options.Numbering == TFieldNumbering::Table, scratch);
  if (!IsBlobField(fieldDesc)) return EngErrBlobField;
  const int32_t reference = FieldReference(fieldDesc, record);
  if (reference < 0) {
    TBlobBuffer* open = FindByReference(reference);
    if (!open) return EngErrBlobOffset;
    open->Release = options.Release;
    opened = open;
    return 0;
  }
  ORV_ASSERT(buffers.Count() <= MaxOpenBlobs);
  if (buffers.Count() >= MaxOpenBlobs) return EngErrTooManyBlobs;
  std::unique_ptr<TBlobBuffer> loading =
      spare ? std::move(spare) : std::make_unique<TBlobBuffer>(reader, &table->BlobFile());
  loading->Handle = NewHandle();
  loading->FieldNo = uint16_t(fieldNo);
  loading->FirstOffset = reference;
  loading->Release = options.Release;
  loading->Sequence = GetLE32(FieldValueBytes(fieldDesc, record) + BlobFieldSequenceOffset);
  loading->PhysicalRecordNo = GetRecordPhysicalNo(record);
  // Listed only once loaded: a failed load leaves nothing open.
  loading->Load();
  opened = buffers.Add(std::move(loading));
  fields.PutBlobReference(fieldDesc, record, -opened->Handle, opened->Size() > 0);
  return 0;
}

int32_t TCursorBlobs::FreeBlob(int fieldNo, uint8_t* record, TFieldNumbering numbering) {
  uint8_t scratch[FieldDescSize];
  const uint8_t* fieldDesc = FieldDesc(fieldNo, numbering == TFieldNumbering::Table, scratch);
  if (!IsBlobField(fieldDesc)) return EngErrBlobField;
  const int32_t index = IndexOfReference(FieldReference(fieldDesc, record));
  if (index < 0) return EngErrBlobHandle;
  const int32_t firstOffset = Buffer(index)->FirstOffset;
  FreeBuffer(index);
  fields.PutBlobReference(fieldDesc, record, firstOffset, firstOffset != 0);
  return 0;
}

int32_t TCursorBlobs::ReadBlob(int fieldNo, const uint8_t* record, TFieldNumbering numbering, int32_t& countRead,
                               int32_t count, void* destination, int32_t offset) {
  countRead = 0;
  TBlobBuffer* buffer = nullptr;
  if (const int32_t result = OpenBuffer(fieldNo, record, numbering == TFieldNumbering::Table, buffer)) return result;
  if (const int32_t result = CheckSpan(offset, count)) return result;
  const bool withinValue = offset + count <= buffer->Size();
  countRead = std::min(count, std::max(buffer->Size() - offset, 0));
  if (countRead > 0) std::memcpy(destination, buffer->GetData() + offset, size_t(countRead));
  return withinValue ? 0 : EngErrEndOfBlob;
}

int32_t TCursorBlobs::WriteBlob(int fieldNo, const uint8_t* record, TFieldNumbering numbering, int32_t count,
                                const void* source, int32_t offset) {
  TBlobBuffer* buffer = nullptr;
  if (const int32_t result = OpenBuffer(fieldNo, record, numbering == TFieldNumbering::Table, buffer)) return result;
  if (const int32_t result = CheckSpan(offset, count)) return result;
  if (offset + count > buffer->Size()) buffer->SetSize(offset + count);
  if (count > 0) {
    std::memcpy(buffer->GetData() + offset, source, size_t(count));
    buffer->Modified = true;
  }
  return 0;
}

int32_t TCursorBlobs::ReadBlob(int fieldNo, const uint8_t* record, TFieldNumbering numbering, int32_t& countRead,
                               std::span<uint8_t> destination, int32_t offset) {
  ORV_ASSERT(destination.size() <= size_t(INT32_MAX));
  return ReadBlob(fieldNo, record, numbering, countRead, int32_t(destination.size()), destination.data(), offset);
}

int32_t TCursorBlobs::WriteBlob(int fieldNo, const uint8_t* record, TFieldNumbering numbering,
                                std::span<const uint8_t> source, int32_t offset) {
  ORV_ASSERT(source.size() <= size_t(INT32_MAX));
  return WriteBlob(fieldNo, record, numbering, int32_t(source.size()), source.data(), offset);
}

int32_t TCursorBlobs::TruncateBlob(int fieldNo, const uint8_t* record, TFieldNumbering numbering, int32_t newSize) {
  TBlobBuffer* buffer = nullptr;
  if (const int32_t result = OpenBuffer(fieldNo, record, numbering == TFieldNumbering::Table, buffer)) return result;
  if (newSize < 0) return EngErrBlobLength;
  buffer->SetSize(newSize);
  return 0;
}

int32_t TCursorBlobs::GetBlobSize(int fieldNo, const uint8_t* record, TFieldNumbering numbering, int32_t& size) const {
  size = 0;
  TBlobBuffer* buffer = nullptr;
  if (const int32_t result = OpenBuffer(fieldNo, record, numbering == TFieldNumbering::Table, buffer)) return result;
  size = buffer->Size();
  return 0;
}

bool TCursorBlobs::FindOpenBlob(const TBlobBuffer* buffer) const { return buffers.IndexOf(buffer) >= 0; }

bool TCursorBlobs::FindOpenBlobSize(int32_t reference, int32_t& size) const {
  const TBlobBuffer* buffer = FindByReference(reference);
  if (buffer) size = buffer->Size();
  return buffer != nullptr;
}

TBlobBuffer* TCursorBlobs::FindByReference(int32_t reference) const {
  const int32_t index = IndexOfReference(reference);
  return index < 0 ? nullptr : Buffer(index);
}

int32_t TCursorBlobs::IndexOfReference(int32_t reference) const {
  if (reference >= 0 || reference == std::numeric_limits<int32_t>::min()) return -1;
  for (int32_t i = 0; i < buffers.Count(); ++i)
    if (Buffer(i)->Handle == -reference) return i;
  return -1;
}

// Handles count up through the process, so a handle left in a record
// after its BLOB was closed does not name the next one opened.
// Unique across the process's cursors until the count wraps, as a handle
// taken one at a time was: a record passed to another cursor names none of
// its BLOBs.
int32_t TCursorBlobs::NewHandle() {
  static std::atomic<uint32_t> counter{0};
  for (;;) {
    if (handlesLeft == 0) {
      nextHandle = counter.fetch_add(HandleBlock);
      handlesLeft = HandleBlock;
    }
    --handlesLeft;
    const int32_t handle = int32_t(nextHandle++ % uint32_t(std::numeric_limits<int32_t>::max())) + 1;
    if (!FindByReference(-handle)) return handle;
  }
}

void TCursorBlobs::FreeBuffer(int32_t index) {
  std::unique_ptr<TBlobBuffer> freed = buffers.Extract(index);
  if (freed->Room() > SpareBlobRoom) return;
  freed->Recycle();
  spare = std::move(freed);
}

// Every BLOB call asks for its field's descriptor: where both numberings
// are the cursor's positions, its own copy serves without copying 768
// bytes, and so does the data file's own where table numbering is its
// positions (a record change's commit asks four times for each open BLOB);
// any other way (and a missing field's error) goes through a copy.
const uint8_t* TCursorBlobs::FieldDesc(int fieldNo, bool tableNumbering, uint8_t* scratch) const {
  if (!fields.HasFieldMap()) {
    if (!tableNumbering || fields.HasOwnFieldList()) {
      if (const uint8_t* own = fields.FieldDescAt(fieldNo)) return own;
    } else if (table) {
      if (const uint8_t* inFile = table->DataFile().FieldDescAt(fieldNo)) return inFile;
    }
  }
  if (tableNumbering)
    fields.GetTableFieldDesc(fieldNo, scratch);
  else
    fields.GetFieldDesc(fieldNo, scratch);
  return scratch;
}

int32_t TCursorBlobs::OpenBuffer(int fieldNo, const uint8_t* record, bool tableNumbering,
                                 TBlobBuffer*& buffer) const {
  uint8_t scratch[FieldDescSize];
  return OpenBuffer(FieldDesc(fieldNo, tableNumbering, scratch), record, buffer);
}

int32_t TCursorBlobs::OpenBuffer(const uint8_t* fieldDesc, const uint8_t* record, TBlobBuffer*& buffer) const {
  if (!IsBlobField(fieldDesc)) return EngErrBlobField;
  buffer = FindByReference(FieldReference(fieldDesc, record));
  return buffer ? 0 : EngErrBlobHandle;
}

const uint8_t* TCursorBlobs::HeldDesc(const TBlobBuffer& buffer, const uint8_t* record, bool tableNumbering,
                                      uint8_t* scratch) const {
  const uint8_t* fieldDesc = FieldDesc(buffer.FieldNo, tableNumbering, scratch);
  return IsBlobField(fieldDesc) && FieldReference(fieldDesc, record) == -buffer.Handle ? fieldDesc : nullptr;
}

void TCursorBlobs::Raise(uint16_t code, const uint8_t* fieldDesc) const {
  RaiseEngineError(code, table->Name(),
                   fieldDesc ? GetShortString(fieldDesc + FieldDescNameOffset, FieldNameLimit) : std::string());
}
