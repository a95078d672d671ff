// Committing open BLOBs with their record: rewriting chains, freeing them,
// discarding changes, and what a damaged chain or another user's change
// does to an open.

#include "engBlobFieldTestSupport.h"
#include "engBlobTestSupport.h"
#include "engErrorCodes.h"

namespace {

TEST_F(BlobFieldTest, RewritesReuseTheChainTakeFreedBlocksAndFreeWhatIsLeft) {
  Create();
  const int32_t data = DataSize();
  std::vector<uint8_t> record = NewRecord();
  WriteValue(record, fFirstMemo, Bytes(size_t(3 * data), 1));
  Post(record);
  const int32_t first = Reference(record, fFirstMemo);
  const uint32_t sequence = cursor.GetBlobRef(fFirstMemo, record.data(), false);

  // Shrunk to one block: the other two are freed at the update.
  record = Stored(1);
  WriteValue(record, fFirstMemo, Bytes(100, 2));
  Post(record);
  EXPECT_EQ(Reference(record, fFirstMemo), first);
  EXPECT_NE(cursor.GetBlobRef(fFirstMemo, record.data(), false), sequence);
  EXPECT_EQ(FreeBlocks().size(), 2u);

  // One byte changed in place is saved by the next update.
  Reopen();
  record = Stored(1);
  const uint8_t byte = 0xEE;
  ASSERT_EQ(blobs.OpenBlob(fFirstMemo, record.data(), {.Release = true}), 0);
  ASSERT_EQ(blobs.WriteBlob(fFirstMemo, record.data(), TFieldNumbering::Cursor, 1, &byte, 0), 0);
  Post(record);
  std::vector<uint8_t> expected = Bytes(100, 2);
  expected[0] = byte;
  Reopen();
  record = Stored(1);
  EXPECT_EQ(ReadValue(record, fFirstMemo), expected);

  // Grown to five blocks: the two freed ones first, then two more.
  WriteValue(record, fFirstMemo, Bytes(size_t(5 * data), 3));
  Post(record);
  EXPECT_TRUE(FreeBlocks().empty());
  EXPECT_EQ(BlobFile().BlocksInFile(), 5);
  Reopen();
  record = Stored(1);
  EXPECT_EQ(ReadValue(record, fFirstMemo), Bytes(size_t(5 * data), 3));

  // Emptied: the whole chain is freed and the field reads blank.
  WriteValue(record, fFirstMemo, {});
  Post(record);
  EXPECT_EQ(UsedBlocks(), 0);
  Reopen();
  record = Stored(1);
  EXPECT_EQ(Reference(record, fFirstMemo), 0);
  EXPECT_TRUE(Blank(record, fFirstMemo));
}

TEST_F(BlobFieldTest, ClosingAChangedBlobWithoutPostingKeepsTheStoredValue) {
  Create();
  std::vector<uint8_t> record = NewRecord();
  WriteValue(record, fFirstMemo, Bytes(700, 1));
  WriteValue(record, fFirstMemo + 1, Bytes(70, 2));
  Post(record);
  const std::vector<uint8_t> stored = Stored(1);

  record = stored;
  WriteValue(record, fFirstMemo, Bytes(1500, 9));
  WriteValue(record, fFirstMemo + 1, {});
  EXPECT_TRUE(Blank(record, fFirstMemo + 1));
  ASSERT_EQ(blobs.FreeBlob(fFirstMemo, record.data(), TFieldNumbering::Cursor), 0);
  ASSERT_EQ(blobs.FreeBlob(fFirstMemo + 1, record.data(), TFieldNumbering::Cursor), 0);
  EXPECT_EQ(record, stored);
  Post(record);
  Reopen();
  record = Stored(1);
  EXPECT_EQ(ReadValue(record, fFirstMemo), Bytes(700, 1));
  EXPECT_EQ(ReadValue(record, fFirstMemo + 1), Bytes(70, 2));
  EXPECT_EQ(UsedBlocks(), 3);
}

TEST_F(BlobFieldTest, DeletingARecordFreesTheChainOfEveryBlobField) {
  Create();
  std::vector<uint8_t> record = NewRecord();
  WriteValue(record, fFirstMemo, Bytes(2000, 1));
  WriteValue(record, fFirstMemo + 3, Bytes(10, 2));
  WriteValue(record, fFirstMemo + 7, Bytes(600, 3));
  Post(record);
  ASSERT_EQ(UsedBlocks(), 5 + 1 + 2);

  record = Stored(1);
  table->LockWrite();
  blobs.FreeRecordBlobs(record.data());
  blobs.AssignBlobSequences(record.data(), true);
  blobs.WriteOpenBlobs(record.data(), true);
  blobs.SaveOpenBlobs(record.data(), true);
  blobs.FreeOpenBlobs(false);
  table->WriteHeaders({.ForceData = true, .ForceIndex = true});
  table->UnlockWrite();
  EXPECT_EQ(blobs.OpenBlobCount(), 0);
  for (int i = 0; i < MemoCount; ++i) EXPECT_EQ(Reference(record, fFirstMemo + i), 0) << i;
  Reopen();
  EXPECT_EQ(UsedBlocks(), 0);
}

// By the table's numbering each field's descriptor is the data file's own:
// values opened, written and committed that way land in their own fields,
// and a later open by either numbering finds them there.
TEST_F(BlobFieldTest, ValuesCommittedByTheTablesNumberingKeepToTheirOwnFields) {
  Create();
  std::vector<uint8_t> record = NewRecord();
  const std::vector<uint8_t> second = Bytes(700, 7);
  const std::vector<uint8_t> sixth = Bytes(40, 9);
  for (const auto& [fieldNo, value] : {std::pair{fFirstMemo + 1, &second}, std::pair{fFirstMemo + 5, &sixth}}) {
    ASSERT_EQ(blobs.OpenBlob(fieldNo, record.data(),
                             {.Release = true, .Numbering = TFieldNumbering::Table}),
              0);
    ASSERT_EQ(blobs.WriteBlob(fieldNo, record.data(), TFieldNumbering::Table, int32_t(value->size()), value->data(), 0),
              0);
  }
  Post(record, true);
  EXPECT_EQ(blobs.OpenBlobCount(), 0);
  Reopen();
  record = Stored(1);
  for (int i = 0; i < MemoCount; ++i)
    if (i != 1 && i != 5) {
      EXPECT_EQ(Reference(record, fFirstMemo + i), 0) << i;
    }
  EXPECT_EQ(ReadValue(record, fFirstMemo + 1), second);
  EXPECT_EQ(ReadValue(record, fFirstMemo + 5), sixth);
  int32_t size = -1;
  ASSERT_EQ(blobs.OpenBlob(fFirstMemo + 5, record.data(),
                           {.Release = true, .Numbering = TFieldNumbering::Table}),
            0);
  EXPECT_EQ(blobs.GetBlobSize(fFirstMemo + 5, record.data(), TFieldNumbering::Table, size), 0);
  EXPECT_EQ(size, int32_t(sixth.size()));
}

TEST_F(BlobFieldTest, OnlyTheBlobsARecordHoldsAreCommittedWithIt) {
  Create();
  std::vector<uint8_t> other = NewRecord();
  WriteValue(other, fFirstMemo, Bytes(100, 3));
  Post(other);
  other = Stored(1);
  ASSERT_EQ(blobs.OpenBlob(fFirstMemo, other.data(), {}), 0);
  const std::vector<uint8_t> value = Bytes(900, 4);
  ASSERT_EQ(blobs.WriteBlob(fFirstMemo, other.data(), TFieldNumbering::Cursor, 900, value.data(), 0), 0);
  // A record posted meanwhile takes neither the changed value nor its chain.
  std::vector<uint8_t> record = NewRecord();
  Post(record);
  EXPECT_EQ(BlobFile().BlocksInFile(), 1);
  EXPECT_EQ(Reference(record, fFirstMemo), 0);
  EXPECT_EQ(blobs.OpenBlobCount(), 1);
  Post(other);
  EXPECT_EQ(UsedBlocks(), 2);
  Reopen();
  other = Stored(1);
  EXPECT_EQ(ReadValue(other, fFirstMemo), value);

  // Open BLOBs of two records in one record buffer are not written at all.
  record = Stored(1);
  WriteValue(record, fFirstMemo, Bytes(10, 5));
  SetRecordPhysicalNo(record.data(), 2);
  WriteValue(record, fFirstMemo + 1, Bytes(10, 6));
  table->LockWrite();
  EXPECT_EQ(RaisedCode([&] { blobs.WriteOpenBlobs(record.data(), false); }), EngErrBlocksCorrupt);
  table->UnlockWrite();
  EXPECT_EQ(BlobFile().BlocksInFile(), 2);
}

TEST_F(BlobFieldTest, ADamagedChainFailsTheOpenAndLeavesNothingOpen) {
  Create();
  const std::vector<uint32_t> firsts = PostThreeBlockValues(5);
  PatchBlobFile(firsts[0] + BlkSequence, 77);
  DamageChainsOfRecordsTwoToFive(firsts);
  for (uint32_t number = 1; number <= 5; ++number) {
    SCOPED_TRACE(number);
    std::vector<uint8_t> record = Stored(number);
    EXPECT_EQ(RaisedCode([&] { blobs.OpenBlob(fFirstMemo, record.data(), {}); }),
              DamagedChainCodes[number - 1]);
    EXPECT_EQ(uint32_t(Reference(record, fFirstMemo)), firsts[number - 1]);
    EXPECT_EQ(blobs.OpenBlobCount(), 0);
    EXPECT_FALSE(table->HoldsChangeCheckLock());
  }
}

// A delete checks its values' chains as an open does: each damage fails it
// with the open's code before a block is freed, so no chain running into
// another value's blocks takes them along.
TEST_F(BlobFieldTest, ADamagedChainFailsTheDeleteBeforeAnyBlockIsFreed) {
  Create();
  const std::vector<uint32_t> firsts = PostThreeBlockValues(6);
  PatchBlobFile(firsts[0] + BlobFile().BlockSize() + BlkNext, firsts[5]);
  DamageChainsOfRecordsTwoToFive(firsts);
  for (uint32_t number = 1; number <= 5; ++number) {
    SCOPED_TRACE(number);
    std::vector<uint8_t> record = Stored(number);
    table->LockWrite();
    EXPECT_EQ(RaisedCode([&] { blobs.FreeRecordBlobs(record.data()); }), DamagedChainCodes[number - 1]);
    table->UnlockWrite();
    EXPECT_EQ(uint32_t(Reference(record, fFirstMemo)), firsts[number - 1]);
    EXPECT_EQ(blobs.OpenBlobCount(), 0);
    EXPECT_TRUE(FreeBlocks().empty());
  }
  std::vector<uint8_t> record = Stored(6);
  EXPECT_EQ(ReadValue(record, fFirstMemo), Bytes(size_t(3 * DataSize()), 5));
}

TEST_F(BlobFieldTest, ChainsThatTurnBackDownTheFileAreReadAndOnesThatLoopIntoARunAreRefused) {
  Create(64);
  const int32_t data = DataSize();
  const uint32_t block = BlobFile().BlockSize();
  std::vector<uint32_t> numbers;
  std::vector<uint32_t> firsts;
  for (int i = 0; i < 3; ++i) {
    std::vector<uint8_t> record = NewRecord();
    WriteValue(record, fFirstMemo, Bytes(size_t((i == 2 ? 6 : 4 - i) * data), i));
    Post(record);
    numbers.push_back(GetRecordPhysicalNo(record.data()));
    firsts.push_back(uint32_t(Reference(record, fFirstMemo)));
  }
  const uint32_t sequence = HeadSequence(firsts[1]);

  // The second value's three blocks go on into the first value's four,
  // lower down the file: one value of seven blocks.
  PatchBlobFile(firsts[1] + 2 * block + BlkNext, firsts[0]);
  PatchBlobFile(firsts[1] + BlkTotalSize, uint32_t(7 * data));
  for (uint32_t i = 0; i < 4; ++i) PatchBlobFile(firsts[0] + i * block + BlkSequence, sequence);
  // The third's last block leads back into the middle of its own blocks.
  PatchBlobFile(firsts[2] + 5 * block + BlkNext, firsts[2] + 2 * block);
  PatchBlobFile(firsts[2] + BlkTotalSize, uint32_t(9 * data));

  std::vector<uint8_t> expected = Bytes(size_t(3 * data), 1);
  const std::vector<uint8_t> rest = Bytes(size_t(4 * data), 0);
  expected.insert(expected.end(), rest.begin(), rest.end());
  std::vector<uint8_t> record = Stored(numbers[1]);
  EXPECT_EQ(ReadValue(record, fFirstMemo), expected);
  record = Stored(numbers[2]);
  EXPECT_EQ(RaisedCode([&] { blobs.OpenBlob(fFirstMemo, record.data(), {}); }),
            EngErrBlocksCorrupt);
  EXPECT_EQ(blobs.OpenBlobCount(), 0);
}

TEST_F(BlobFieldTest, AnOpenThatMeetsAnotherUsersChangeReadsAgainAndReleasesTheCheck) {
  Create();
  std::vector<uint8_t> record = NewRecord();
  WriteValue(record, fFirstMemo, Bytes(5000, 1));
  Post(record);
  Reopen();

  TDataSession* other = nullptr;
  CreateEngineSession(other);
  TDataTable* theirs = OpenTable(other->OpenDirectory("", folder), "MEMOS");
  AppendRecord(theirs, 9);
  record = Stored(1);
  ASSERT_EQ(table->DataFile().PhysicalRecordCount(), 1u);
  const int operations = cursor.Operations;
  EXPECT_EQ(ReadValue(record, fFirstMemo), Bytes(5000, 1));
  EXPECT_EQ(cursor.Operations, operations + 1);
  // The check on the first block read took their record in.
  EXPECT_EQ(table->DataFile().PhysicalRecordCount(), 2u);
  EXPECT_FALSE(table->HoldsChangeCheckLock());
  FreeEngineSession(other);
}

}  // namespace
