#pragma once
// A cursor's BLOB fields: the values it has open (at most 64), their reads
// and writes in memory, and the steps that commit them to the BLOB file
// when a record is inserted, changed or deleted. The cursor owns one and
// hands it out as its BLOB access (TTableCursor::Blobs); its field access
// answers the size of an open BLOB by asking FindOpenBlobSize.
//
// Each operation takes a field number, a record buffer and the numbering
// the number is in (table numbering when set, else the cursor's). The
// operations on single fields return an engine result code (0 = success);
// failures of the BLOB file are raised.

#include <cstdint>
#include <memory>

#include "engBlobBuffer.h"
#include "engOwnedList.h"
#include "engReadContext.h"
#include "engTableCursor.h"

class TCursorFields;
class TDataTable;

inline constexpr int32_t MaxOpenBlobs = 64;

// The cursor's bracket around opening a BLOB: the cursor must be open, its
// change check runs before, the release of what the check took after.
class TBlobOperationBracket {
public:
  virtual void BeginBlobOperation() = 0;
  virtual void EndBlobOperation() = 0;

protected:
  ~TBlobOperationBracket() = default;
};

class TCursorBlobs final : public TCursorBlobAccess {
public:
  TCursorBlobs(TReadContext* reader, TCursorFields& fields, TBlobOperationBracket& bracket);
  ~TCursorBlobs();
  TCursorBlobs(const TCursorBlobs&) = delete;
  TCursorBlobs& operator=(const TCursorBlobs&) = delete;

  // The open table, when the cursor opens; Detach frees every open BLOB.
  void Attach(TDataTable& openTable);
  void Detach();

  // Opens the field's BLOB: its value is read into a new buffer and the
  // field takes the buffer's negated handle. An open one only takes the
  // release flag. 10753, 9998 for a negative value that is no open BLOB
  // of this cursor, 9494 with 64 open.
  int32_t OpenBlob(int fieldNo, uint8_t* record, const TBlobOpenOptions& options) override;
  // Closes it, discarding its changes: the field takes back the offset
  // of its first block. 10753, 10030 when the field holds no open BLOB.
  int32_t FreeBlob(int fieldNo, uint8_t* record, TFieldNumbering numbering) override;
  // Reading past the end copies what there is and gives 8711. A negative
  // offset gives 9998, a negative count or one that carries the end past
  // 2^31 - 1 gives 10029, with nothing copied.
  int32_t ReadBlob(int fieldNo, const uint8_t* record, TFieldNumbering numbering, int32_t& countRead, int32_t count,
                   void* destination, int32_t offset);
  int32_t ReadBlob(int fieldNo, const uint8_t* record, TFieldNumbering numbering, int32_t& countRead,
                   std::span<uint8_t> destination, int32_t offset) override;
  // Grows the value when the bytes end past it. Offset and count as for reads.
  int32_t WriteBlob(int fieldNo, const uint8_t* record, TFieldNumbering numbering, int32_t count, const void* source,
                    int32_t offset);
  int32_t WriteBlob(int fieldNo, const uint8_t* record, TFieldNumbering numbering, std::span<const uint8_t> source,
                    int32_t offset) override;
  // A negative size gives 10029.
  int32_t TruncateBlob(int fieldNo, const uint8_t* record, TFieldNumbering numbering, int32_t newSize) override;
  int32_t GetBlobSize(int fieldNo, const uint8_t* record, TFieldNumbering numbering, int32_t& size) const override;
  // 10753, 9998 for a negative value that is no open BLOB of this cursor.
  int32_t ReadWholeBlob(int fieldNo, const uint8_t* record, TFieldNumbering numbering, TBlobValueRoom& room,
                        int32_t& length) override;
  // OpenBlob's results, then source's ReadWholeBlob's; a failed read
  // leaves the field as it was.
  int32_t CopyBlob(int fieldNo, uint8_t* record, TCursorBlobAccess& source, int sourceFieldNo,
                   const uint8_t* sourceRecord, int32_t& length) override;
  bool AppendsBlobCopies() const override;
  // OpenBlob's 10753 for a field that is no BLOB, then source's
  // ReadWholeBlob's results; a failed read appends nothing.
  int32_t AppendBlobCopy(int fieldNo, uint8_t* record, TCursorBlobAccess& source, int sourceFieldNo,
                         const uint8_t* sourceRecord, int32_t& length) override;

  bool FindOpenBlob(const TBlobBuffer* buffer) const;
  // The size of the open BLOB whose negated handle is reference.
  bool FindOpenBlobSize(int32_t reference, int32_t& size) const;
  int32_t OpenBlobCount() const { return buffers.Count(); }

  // The steps of a record change, in this order. The first three act on
  // the BLOBs whose handles the record's fields hold: a BLOB open on
  // another record is never written into this one.
  // Each changed BLOB takes the data file's next sequence number, in its
  // field too.
  void AssignBlobSequences(uint8_t* record, bool tableNumbering);
  // Writes each changed BLOB as its chain, or frees the chain of one
  // emptied. 8963, with nothing written, when they were opened on
  // different records.
  void WriteOpenBlobs(const uint8_t* record, bool tableNumbering);
  // Each field takes the first-block offset in place of the handle.
  void SaveOpenBlobs(uint8_t* record, bool tableNumbering);
  // Frees every open BLOB, or those opened for release.
  void FreeOpenBlobs(bool all);
  // For a delete: opens every BLOB field of the record (table numbering,
  // for release) and empties it, raising a failure.
  void FreeRecordBlobs(uint8_t* record);

private:
  TReadContext* reader;
  TCursorFields& fields;
  TBlobOperationBracket& bracket;
  TDataTable* table = nullptr;
  TOwnedList<TBlobBuffer> buffers;  // at most MaxOpenBlobs
  // The buffer freed last, with its room when that is at most
  // SpareBlobRoom bytes, for the next open: a walk over a table opens and
  // frees one BLOB per record.
  std::unique_ptr<TBlobBuffer> spare;
  // The handles of the block this cursor took last from the process's
  // count, the next one and how many are left: an atomic step for every
  // open was a fiftieth of a fill that copies a memo per row.
  uint32_t nextHandle = 0;
  uint32_t handlesLeft = 0;
  // AppendBlobCopy's value between its read and its append, the room kept
  // for the next one up to SpareBlobRoom bytes.
  std::unique_ptr<uint8_t[]> copyRoom;
  int32_t copyRoomSize = 0;

  class TCopyRoom;
  // Appends value as the chain of the field in record, which names it.
  void Append(const uint8_t* fieldDesc, uint8_t* record, const uint8_t* value, int32_t length);
  TBlobBuffer* Buffer(int32_t index) const { return buffers.Get(index); }
  TBlobBuffer* FindByReference(int32_t reference) const;
  // Its place among the open buffers, or -1.
  int32_t IndexOfReference(int32_t reference) const;
  int32_t NewHandle();
  void FreeBuffer(int32_t index);
  int32_t OpenField(int fieldNo, uint8_t* record, const TBlobOpenOptions& options, TBlobBuffer*& opened);
  int32_t ReadWholeField(int fieldNo, const uint8_t* record, bool tableNumbering, TBlobValueRoom& room,
                         int32_t& length);
  // The field's descriptor: the cursor's own, or a copy in scratch
  // (FieldDescSize bytes).
  const uint8_t* FieldDesc(int fieldNo, bool tableNumbering, uint8_t* scratch) const;
  // The buffer open in the field: 0, or 10753 or 10030.
  int32_t OpenBuffer(int fieldNo, const uint8_t* record, bool tableNumbering, TBlobBuffer*& buffer) const;
  int32_t OpenBuffer(const uint8_t* fieldDesc, const uint8_t* record, TBlobBuffer*& buffer) const;
  // The descriptor of the buffer's field when the record's field holds the
  // buffer's handle, else nullptr.
  const uint8_t* HeldDesc(const TBlobBuffer& buffer, const uint8_t* record, bool tableNumbering,
                          uint8_t* scratch) const;
  [[noreturn]] void Raise(uint16_t code, const uint8_t* fieldDesc) const;
};
