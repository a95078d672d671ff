// The order in which a change's BLOB blocks reach the disk around its
// records: a writer killed after the records were written must leave every
// value a record on disk names readable. A kill is played by closing the
// file without writing what is left, after the write-back's first half (the
// table writes its records right after it).

#include "engBlobTestSupport.h"

namespace {

class BlobWriteOrderTest : public BlobFileTest {
protected:
  // A change written back as the table does: new chains, the records, then
  // everything else and the header.
  void WriteChangeBack() {
    file->FlushNewBlocks();
    file->FlushBlocks();
    file->WriteHeader(true);
  }

  // The table's write-back stopped right after the records.
  void KillAfterTheRecords() {
    file->FlushNewBlocks();
    Reopen();
  }

  void Free(uint32_t first, uint32_t sequence) {
    file->FreeChain(nullptr, false, false, 0, sequence, first);
  }

  // The value of the chain at first as a record naming it with sequence
  // reads it: every block of that sequence, the chain inside the file.
  std::vector<uint8_t> Stored(uint32_t first, uint32_t sequence) {
    std::vector<uint8_t> value;
    size_t length = 0;
    for (uint32_t offset = first; offset != 0;) {
      if (!file->IsBlockOffset(offset)) return {};
      TBlock* block = Get(offset);
      if (offset == first) length = block->TotalSize();
      const bool ours = block->Sequence() == sequence && length > 0;
      const size_t wanted = std::min(length - value.size(), size_t(block->DataSize()));
      std::vector<uint8_t> part(wanted);
      if (ours) part.resize(size_t(block->ReadData(0, int32_t(wanted), part.data())));
      offset = block->Next();
      file->ReleaseBlock(block);
      if (!ours) return {};
      value.insert(value.end(), part.begin(), part.end());
      if (value.size() == length) break;
    }
    return value;
  }

  // The free list on disk can be walked to its end through blocks inside the
  // file, none of them in use by the given chains.
  void ExpectFreeListApartFrom(const std::vector<std::pair<uint32_t, uint32_t>>& chains) {
    std::vector<uint32_t> used;
    for (const auto& [first, sequence] : chains) {
      for (uint32_t offset = first; offset != 0;) {
        used.push_back(offset);
        TBlock* block = Get(offset);
        offset = block->Sequence() == sequence ? block->Next() : 0;
        file->ReleaseBlock(block);
      }
    }
    const std::vector<uint32_t> free = FreeList(size_t(file->BlocksInFile()) + 1);
    EXPECT_LE(free.size(), size_t(file->BlocksInFile()));
    for (const uint32_t offset : free) {
      EXPECT_TRUE(file->IsBlockOffset(offset)) << offset;
      EXPECT_EQ(std::count(used.begin(), used.end(), offset), 0) << offset;
    }
  }
};

// A new value takes freed blocks from the free list on disk and then grows
// the file, while the same change frees another value: after the kill the
// new value is whole (its record is on disk), the freed one too (the record
// naming it is still there), and the free list leads only to free blocks.
TEST_F(BlobWriteOrderTest, ANewChainOnFreedBlocksIsOnDiskBeforeTheRecordsAndFreedValuesStayReadable) {
  for (const bool encrypted : {false, true}) {
    SCOPED_TRACE(encrypted ? "enciphered" : "plain");
    table.Encrypted = encrypted;
    Create();
    const int32_t data = file->BlockDataSize();
    const std::vector<uint8_t> a = Bytes(size_t(3 * data), 1);
    const std::vector<uint8_t> b = Bytes(size_t(2 * data - 7), 2);
    const std::vector<uint8_t> c = Bytes(size_t(data + 1), 3);
    const uint32_t firstA = WriteBlob(a, 1);
    const uint32_t firstB = WriteBlob(b, 2);
    const uint32_t firstC = WriteBlob(c, 3);
    WriteChangeBack();
    Free(firstA, 1);
    WriteChangeBack();

    const std::vector<uint8_t> n = Bytes(size_t(5 * data - 3), 4);
    EXPECT_FALSE(file->AppendsChains());
    const uint32_t firstN = WriteBlob(n, 4);
    Free(firstB, 2);
    KillAfterTheRecords();

    EXPECT_NO_THROW(file->VerifyHeader());
    EXPECT_EQ(Stored(firstN, 4), n);
    EXPECT_EQ(Stored(firstB, 2), b);
    EXPECT_EQ(Stored(firstC, 3), c);
    ExpectFreeListApartFrom({{firstN, 4}, {firstB, 2}, {firstC, 3}});
    // The next writer finds a sound free list and end.
    const std::vector<uint8_t> d = Bytes(size_t(4 * data), 5);
    const uint32_t firstD = WriteBlob(d, 5);
    WriteChangeBack();
    Reopen();
    EXPECT_EQ(Stored(firstD, 5), d);
    EXPECT_EQ(Stored(firstN, 4), n);
    EXPECT_EQ(Stored(firstB, 2), b);
    file->Close();
  }
}

// A transaction keeps its chains in memory, and the cache appends them; at
// its commit they reach the disk, end offset included, before its records.
TEST_F(BlobWriteOrderTest, ATransactionsChainsAreOnDiskBeforeItsRecords) {
  for (const bool encrypted : {false, true}) {
    SCOPED_TRACE(encrypted ? "enciphered" : "plain");
    table.Encrypted = encrypted;
    Create();
    const int32_t data = file->BlockDataSize();
    const std::vector<uint8_t> kept = Bytes(size_t(2 * data), 1);
    const uint32_t firstKept = WriteBlob(kept, 1);
    WriteChangeBack();
    Reopen();

    table.TransactionLock = true;
    const std::vector<uint8_t> first = Bytes(size_t(data / 2), 2);
    const std::vector<uint8_t> second = Bytes(size_t(3 * data + 1), 3);
    const uint32_t firstFirst = WriteBlob(first, 2);
    Free(firstKept, 1);
    const uint32_t firstSecond = WriteBlob(second, 3);  // on the blocks just freed, then past them
    const std::vector<uint8_t> third = Bytes(size_t(data), 4);
    const uint32_t firstThird = WriteBlob(third, 4);
    Free(firstThird, 4);  // new and freed again: nothing on disk names it
    KillAfterTheRecords();
    table.TransactionLock = false;

    EXPECT_NO_THROW(file->VerifyHeader());
    EXPECT_EQ(Stored(firstFirst, 2), first);
    // The freed value's blocks wait for the records, though a new chain of
    // the same transaction took them: its record on disk still names them.
    EXPECT_EQ(firstSecond, firstKept + uint32_t(file->BlockSize()));
    EXPECT_EQ(Stored(firstKept, 1), kept);
    ExpectFreeListApartFrom({{firstFirst, 2}, {firstKept, 1}});
    file->Close();
  }
}

// Writing new chains first changes when blocks reach the disk, not what the
// file ends with: the same changes written back in the old order (every
// block after the records) leave the same bytes.
TEST_F(BlobWriteOrderTest, NewChainsWrittenFirstLeaveTheBytesOfTheOldOrder) {
  for (const bool encrypted : {false, true}) {
    SCOPED_TRACE(encrypted ? "enciphered" : "plain");
    table.Encrypted = encrypted;
    std::vector<std::vector<uint8_t>> files;
    for (const bool newFirst : {false, true}) {
      auto writeBack = [&] {
        if (newFirst) file->FlushNewBlocks();
        file->FlushBlocks();
        file->WriteHeader(true);
      };
      Create(64);
      const int32_t data = file->BlockDataSize();
      std::vector<uint32_t> firsts;
      for (uint32_t i = 1; i <= 6; ++i) firsts.push_back(WriteBlob(Bytes(size_t(i * data - 1), int(i)), i));
      writeBack();
      Free(firsts[1], 2);
      Free(firsts[3], 4);
      writeBack();
      WriteBlob(Bytes(size_t(3 * data), 7), 7);  // freed blocks, then past the end
      Free(firsts[4], 5);
      WriteBlob(Bytes(size_t(2 * data), 8), 8);  // blocks freed by this change
      writeBack();
      table.TransactionLock = true;
      WriteBlob(Bytes(size_t(9 * data), 9), 9);
      Free(firsts[0], 1);
      table.TransactionLock = false;
      writeBack();
      file->Close();
      files.push_back(DiskBytes());
    }
    EXPECT_EQ(files[1], files[0]);
  }
}

// A header written whole before the records is not written again at the
// change's end, unless the change moved it since: chains appended whole
// leave the bytes and the change counts of the same chains written through
// the cache, whether or not the change freed blocks after appending.
TEST_F(BlobWriteOrderTest, AHeaderWrittenBeforeTheRecordsIsWrittenAgainOnlyWhenTheChangeMovedIt) {
  for (const bool encrypted : {false, true}) {
    SCOPED_TRACE(encrypted ? "enciphered" : "plain");
    table.Encrypted = encrypted;
    std::vector<std::vector<std::vector<uint8_t>>> runs;
    for (const bool appended : {false, true}) {
      std::vector<std::vector<uint8_t>> afterEachChange;
      Create(64);
      const int32_t data = file->BlockDataSize();
      auto store = [&](const std::vector<uint8_t>& value, uint32_t sequence) {
        if (!appended) return WriteBlob(value, sequence);
        EXPECT_TRUE(file->AppendsChains());
        return file->AppendChain(sequence, value.data(), int32_t(value.size()));
      };
      auto changeDone = [&] {
        WriteChangeBack();
        afterEachChange.push_back(DiskBytes());
      };
      const uint32_t first = store(Bytes(size_t(2 * data), 1), 1);
      store(Bytes(size_t(3 * data - 1), 2), 2);
      changeDone();
      store(Bytes(size_t(data + 1), 3), 3);
      Free(first, 1);  // moves the header after the append wrote it
      changeDone();
      file->Close();
      runs.push_back(afterEachChange);
    }
    EXPECT_EQ(runs[1], runs[0]);
    EXPECT_EQ(GetLE32(runs[1].back().data() + BlbHdrChangeCount), encrypted ? GetLE32(runs[0].back().data()) : 3u);
  }
}

}  // namespace
