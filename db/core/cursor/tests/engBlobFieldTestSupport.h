#pragma once
// A table with several BLOB fields in a real directory, and a stand-in for
// the cursor that owns the BLOB fields under test. Records are stored the
// way a record change commits its open BLOBs.

#include <cstring>
#include <fstream>
#include <functional>
#include <vector>

#include "engBlobField.h"
#include "engBlobTestSupport.h"
#include "engErrorCodes.h"
#include "engFieldBytes.h"
#include "engRecordBuffer.h"
#include "engTableTestSupport.h"

class TBlobTestCursor : public TCursorFields, public TBlobOperationBracket {
public:
  TTestReader Reader;
  TCursorBlobs Blobs;
  TDataTable* Table = nullptr;
  int Operations = 0;

  TBlobTestCursor() : Blobs(&Reader, *this, *this) {}
  using TCursorFields::FieldDescAt;
  using TCursorFields::GetBlobRef;
  using TCursorFields::GetField;

  void Attach(TDataTable& table) {
    Table = &table;
    AttachFields(table.DataFile(), table.IndexFile());
    Blobs.Attach(table);
  }
  void Detach() {
    Blobs.Detach();
    DetachFields();
    Table = nullptr;
  }

protected:
  std::string FieldsTableName() const override { return Table->Name(); }
  bool FindOpenBlobSize(int32_t reference, int32_t& size) const override {
    return Blobs.FindOpenBlobSize(reference, size);
  }
  void ComputeFields(uint8_t*) override {}
  void BeginBlobOperation() override { ++Operations; }
  void EndBlobOperation() override {
    if (Table->HoldsChangeCheckLock()) Table->UnlockChangeCheck();
  }
};

// ID, then the BLOB fields M1 to M8.
enum : int { fMemoId = 1, fFirstMemo = 2, MemoCount = 8 };

class BlobFieldTest : public TableTest {
protected:
  TBlobTestCursor cursor;
  TDataTable* table = nullptr;
  TCursorBlobs& blobs = cursor.Blobs;

  void TearDown() override {
    Close();
    TableTest::TearDown();
  }

  void Create(uint32_t blockSize = 512) {
    std::vector<TFieldSpec> specs{{"ID", IntegerFieldType}};
    for (int i = 1; i <= MemoCount; ++i) specs.push_back({"M" + std::to_string(i), BlobFieldType});
    const std::vector<uint8_t> fields = Descriptors(specs);
    const std::vector<uint8_t> index = PrimaryOnId();
    TTableFilesDefinition files = FilesOf(fields, index);
    files.BlobBlockSize = blockSize;
    ASSERT_EQ(directory->CreateTable("MEMOS", {}, files, table), 0);
    ASSERT_EQ(directory->CloseTable(table, true), 0);
    Open();
  }
  void Open() {
    table = OpenTable("MEMOS");
    cursor.Attach(*table);
  }
  void Close() {
    if (!table) return;
    cursor.Detach();
    EXPECT_EQ(directory->CloseTable(table, false), 0);
    table = nullptr;
  }
  // Starts from the files on disk.
  void Reopen() {
    Close();
    Open();
  }

  TBlobFile& BlobFile() { return table->BlobFile(); }
  int32_t DataSize() { return BlobFile().BlockDataSize(); }

  std::vector<uint8_t> NewRecord() {
    std::vector<uint8_t> record(cursor.CursorRecordSize(), 0);
    SetRecordPhysicalNo(record.data(), table->DataFile().NextRecordNumber());
    return record;
  }
  // Commits the record's BLOBs, named by the cursor's numbering or the
  // table's, and stores it, appending a new one.
  void Post(std::vector<uint8_t>& record, bool tableNumbering = false) {
    table->LockWrite();
    blobs.AssignBlobSequences(record.data(), tableNumbering);
    blobs.WriteOpenBlobs(record.data(), tableNumbering);
    blobs.SaveOpenBlobs(record.data(), tableNumbering);
    blobs.FreeOpenBlobs(false);
    TRecord* stored = nullptr;
    const uint32_t number = GetRecordPhysicalNo(record.data());
    const bool append = number == table->DataFile().NextRecordNumber();
    ASSERT_TRUE(table->DataFile().GetRecord(nullptr, number, {}, stored));
    if (append) stored->Clear(true);
    stored->CopyFields(record.data());
    stored->SetModified(true);
    table->DataFile().ReleaseRecord(stored);
    table->WriteHeaders({.ForceData = true, .ForceIndex = true});
    table->UnlockWrite();
  }
  std::vector<uint8_t> Stored(uint32_t number) {
    TRecord* stored = nullptr;
    EXPECT_TRUE(table->DataFile().GetRecord(nullptr, number, {}, stored));
    std::vector<uint8_t> record(stored->Buffer(), stored->Buffer() + cursor.CursorRecordSize());
    table->DataFile().ReleaseRecord(stored);
    return record;
  }

  // Opens the field for writing (for release) and fills it piece by piece.
  void WriteValue(std::vector<uint8_t>& record, int fieldNo, const std::vector<uint8_t>& value, int32_t piece = 1000) {
    ASSERT_EQ(blobs.OpenBlob(fieldNo, record.data(), {.Release = true}), 0);
    ASSERT_EQ(blobs.TruncateBlob(fieldNo, record.data(), TFieldNumbering::Cursor, 0), 0);
    for (size_t done = 0; done < value.size(); done += size_t(piece)) {
      const int32_t count = int32_t(std::min(value.size() - done, size_t(piece)));
      ASSERT_EQ(
          blobs.WriteBlob(fieldNo, record.data(), TFieldNumbering::Cursor, count, value.data() + done, int32_t(done)),
          0);
    }
  }
  // Opens the field for reading, reads it piece by piece and frees it.
  std::vector<uint8_t> ReadValue(std::vector<uint8_t>& record, int fieldNo) {
    EXPECT_EQ(blobs.OpenBlob(fieldNo, record.data(), {}), 0);
    int32_t size = -1;
    EXPECT_EQ(blobs.GetBlobSize(fieldNo, record.data(), TFieldNumbering::Cursor, size), 0);
    std::vector<uint8_t> value(size_t(std::max(size, 0)));
    for (int32_t done = 0; done < size; done += 777) {
      int32_t got = 0;
      const int32_t count = std::min(777, size - done);
      EXPECT_EQ(blobs.ReadBlob(fieldNo, record.data(), TFieldNumbering::Cursor, got, count, value.data() + done, done),
                0);
    }
    EXPECT_EQ(blobs.FreeBlob(fieldNo, record.data(), TFieldNumbering::Cursor), 0);
    return value;
  }

  int32_t Reference(const std::vector<uint8_t>& record, int fieldNo) {
    int32_t value = 0;
    bool blank = false;
    cursor.GetField(fieldNo, record.data(), blank, &value);
    return value;
  }
  bool Blank(const std::vector<uint8_t>& record, int fieldNo) {
    bool blank = false;
    cursor.GetField(fieldNo, record.data(), blank, nullptr);
    return blank;
  }

  int32_t UsedBlocks() { return BlobFile().BlocksInFile() - int32_t(FreeBlocks().size()); }
  std::vector<uint32_t> FreeBlocks() {
    std::vector<uint32_t> offsets;
    for (uint32_t offset = BlobFile().FirstFree(); offset != 0 && offsets.size() < 4096;) {
      offsets.push_back(offset);
      TBlock* block = nullptr;
      EXPECT_TRUE(BlobFile().GetBlock(nullptr, offset, block, 1, false));
      offset = block->Next();
      BlobFile().ReleaseBlock(block);
    }
    return offsets;
  }

  // With the table closed, a 32-bit value of the BLOB file on disk.
  void PatchBlobFile(uint32_t at, uint32_t value) {
    Close();
    std::fstream file(PathOf("MEMOS.BLB"), std::ios::in | std::ios::out | std::ios::binary);
    uint8_t bytes[4];
    PutLE32(bytes, value);
    file.seekp(at);
    file.write(reinterpret_cast<const char*>(bytes), 4);
    file.close();
    Open();
  }

  // Records 1 to count, record i + 1 holding value(i); the values' first
  // blocks.
  std::vector<uint32_t> PostValues(int count, const std::function<std::vector<uint8_t>(int)>& value) {
    std::vector<uint32_t> firsts;
    for (int i = 0; i < count; ++i) {
      std::vector<uint8_t> record = NewRecord();
      WriteValue(record, fFirstMemo, value(i));
      Post(record);
      firsts.push_back(uint32_t(Reference(record, fFirstMemo)));
    }
    return firsts;
  }
  std::vector<uint32_t> PostThreeBlockValues(int count) {
    return PostValues(count, [this](int i) { return Bytes(size_t(3 * DataSize()), i); });
  }
  // The sequence number of the value whose first block is at first.
  uint32_t HeadSequence(uint32_t first) {
    TBlock* head = nullptr;
    EXPECT_TRUE(BlobFile().GetBlock(nullptr, first, head, 1, false));
    if (!head) return 0;
    const uint32_t sequence = head->Sequence();
    BlobFile().ReleaseBlock(head);
    return sequence;
  }
  // The chains of records 2 to 5 damaged: one loops onto itself, one ends
  // early, one claims more bytes than it holds, one a length past any
  // file; DamagedChainCodes gives what reading each raises, record 1's
  // damage being the caller's own.
  void DamageChainsOfRecordsTwoToFive(const std::vector<uint32_t>& firsts) {
    const uint32_t block = BlobFile().BlockSize();
    PatchBlobFile(firsts[1] + block + BlkNext, firsts[1]);
    PatchBlobFile(firsts[2] + block + BlkNext, 0);
    PatchBlobFile(firsts[3] + BlkTotalSize, uint32_t(50 * DataSize()));
    PatchBlobFile(firsts[4] + BlkTotalSize, 0xFFFFFFF0u);
  }
  static constexpr uint16_t DamagedChainCodes[] = {EngErrRecordChanged, EngErrBlocksCorrupt, EngErrEndOfBlob,
                                                   EngErrEndOfBlob, EngErrEndOfBlob};
};
