// Reading chains ahead through the chain window, and new chains appended
// straight to the end of the file: the same values and the same bytes as
// through the cache, and never an older block than the cache would give.

#include <functional>

#include "engBlobTestSupport.h"
#include "engErrorCodes.h"

namespace {

class BlobWindowTest : public BlobFileTest {
protected:
  // The value of the chain at first, read as a BLOB field's open reads it.
  std::vector<uint8_t> ViewChain(uint32_t first, TReadContext* by = nullptr) {
    TBlockView block;
    EXPECT_TRUE(file->ViewBlock(by, first, 1, block));
    std::vector<uint8_t> value(block.TotalSize);
    const int32_t dataSize = file->BlockDataSize();
    // As a field's load tells it: how much of the window the walk wants.
    file->NoteChainRead(first, int32_t((value.size() + size_t(dataSize) - 1) / size_t(dataSize)));
    for (size_t done = 0;;) {
      const int32_t wanted = int32_t(std::min(value.size() - done, size_t(dataSize)));
      const int32_t used = block.UsedOf(wanted, dataSize);
      std::copy(block.Data, block.Data + used, value.begin() + std::ptrdiff_t(done));
      done += size_t(used);
      if (block.Next == 0 || done == value.size()) break;
      const int32_t left = int32_t((value.size() - done + size_t(dataSize) - 1) / size_t(dataSize));
      EXPECT_TRUE(file->ViewBlock(by, block.Next, left, block));
    }
    return value;
  }

  // count one-block values (value i of bytes i) in a file opened afresh
  // with a cache of four blocks; the values' first offsets.
  std::vector<uint32_t> ValuesBehindASmallCache(int count) {
    table.Caches.BlobBytes = 4 * 512;
    Create();
    std::vector<uint32_t> firsts;
    for (int i = 0; i < count; ++i) firsts.push_back(WriteBlob(Bytes(494, i), uint32_t(i + 1)));
    WriteBack();
    Reopen();
    return firsts;
  }

  // The one-block value at first rewritten in the cache; its new bytes.
  std::vector<uint8_t> Rewrite(uint32_t first) {
    TBlock* block = Get(first);
    const std::vector<uint8_t> rewritten = Bytes(494, 50);
    block->WriteData(0, 494, rewritten.data());
    file->ReleaseBlock(block);
    return rewritten;
  }

  // The disk bytes of a file holding the values, each chain written either
  // through the cache and written back or appended at once.
  std::vector<uint8_t> FileWith(const std::vector<std::vector<uint8_t>>& values, bool appended, uint16_t blockSize) {
    Create(blockSize);
    for (size_t i = 0; i < values.size(); ++i) {
      if (appended) {
        EXPECT_TRUE(file->AppendsChains());
        file->AppendChain(uint32_t(i + 7), values[i].data(), int32_t(values[i].size()));
      } else {
        WriteBlob(values[i], uint32_t(i + 7));
      }
      WriteBack();
    }
    file->Close();
    return DiskBytes();
  }
};

TEST_F(BlobWindowTest, AppendedChainsHaveTheBytesOfChainsWrittenBackPlainAndEnciphered) {
  for (const bool encrypted : {false, true}) {
    for (const uint16_t blockSize : {uint16_t(64), uint16_t(512)}) {
      SCOPED_TRACE(std::to_string(blockSize) + (encrypted ? " enciphered" : " plain"));
      table.Encrypted = encrypted;
      const int32_t data = blockSize - BlockHeaderSize;
      std::vector<std::vector<uint8_t>> values;
      for (const int32_t size : {1, data - 1, data, data + 1, 3 * data + 5, 70000})
        values.push_back(Bytes(size_t(size), size));
      const std::vector<uint8_t> written = FileWith(values, false, blockSize);
      const std::vector<uint8_t> appended = FileWith(values, true, blockSize);
      EXPECT_EQ(appended, written);
      file->Open();
      uint32_t first = BlobHeaderSize;
      for (const std::vector<uint8_t>& value : values) {
        EXPECT_EQ(ViewChain(first), value);
        EXPECT_EQ(ReadBlob(first), value);
        first += uint32_t((int32_t(value.size()) + data - 1) / data) * blockSize;
      }
    }
  }
}

// A value far longer than a scan's read-ahead is read a window at a time,
// each window starting inside the chain where the last one ended: the
// value is the one the cache reads, plain and enciphered, and so is the
// next value, which starts inside the last window.
TEST_F(BlobWindowTest, ValuesLongerThanTheWindowReadAsThroughTheCache) {
  for (const bool encrypted : {false, true}) {
    for (const uint16_t blockSize : {uint16_t(64), uint16_t(512)}) {
      SCOPED_TRACE(std::to_string(blockSize) + (encrypted ? " enciphered" : " plain"));
      table.Encrypted = encrypted;
      Create(blockSize);
      const std::vector<std::vector<uint8_t>> values = {Bytes(1200000, 1), Bytes(700001, 2), Bytes(3000, 3)};
      std::vector<uint32_t> firsts;
      for (size_t i = 0; i < values.size(); ++i)
        firsts.push_back(file->AppendChain(uint32_t(i + 1), values[i].data(), int32_t(values[i].size())));
      WriteBack();
      Reopen();
      for (size_t i = 0; i < values.size(); ++i) EXPECT_EQ(ViewChain(firsts[i], &reader), values[i]) << i;
      Reopen();
      for (size_t i = 0; i < values.size(); ++i) EXPECT_EQ(ReadBlob(firsts[i]), values[i]) << i;
      file->Close();
    }
  }
}

// A writer killed after the record naming an appended chain reached the
// disk, but before the change's header write: the next opener must find the
// chain inside the end offset, or every read of that record fails as damage.
TEST_F(BlobWindowTest, AnAppendedChainIsInsideTheEndOffsetOnDiskBeforeTheChangeEnds) {
  for (const bool encrypted : {false, true}) {
    SCOPED_TRACE(encrypted ? "enciphered" : "plain");
    table.Encrypted = encrypted;
    Create();
    const std::vector<uint8_t> kept = Bytes(700, 1);
    const uint32_t keptFirst = WriteBlob(kept, 1);
    WriteBack();
    const std::vector<uint8_t> value = Bytes(3 * 494 + 5, 2);
    const uint32_t first = file->AppendChain(2, value.data(), int32_t(value.size()));
    const uint32_t end = file->EndOffset();
    Reopen();  // closing drops what is unwritten, as a kill would
    EXPECT_EQ(file->EndOffset(), end);
    EXPECT_EQ(ViewChain(first), value);
    EXPECT_EQ(ViewChain(keptFirst), kept);
    file->Close();
  }
}

TEST_F(BlobWindowTest, ChainsGoToTheFreeListOrStayInMemoryInsteadOfBeingAppended) {
  Create();
  const uint32_t first = WriteBlob(Bytes(600, 1), 1);
  EXPECT_TRUE(file->AppendsChains());
  // A transaction's changes stay in memory until it ends.
  table.TransactionLock = true;
  EXPECT_FALSE(file->AppendsChains());
  table.TransactionLock = false;
  uint32_t firstOffset = first;
  file->FreeChain(nullptr, false, false, 0, 1, firstOffset);
  EXPECT_FALSE(file->AppendsChains());
}

TEST_F(BlobWindowTest, AChainThatTheFileCannotHoldWholeAppendsNothing) {
  Create();
  WriteBack();
  const uint32_t lastBlock = MaxBlobFileEnd;  // 512 + a whole number of 512-byte blocks
  PatchDisk32(BlbHdrEndOffset, lastBlock);
  const std::vector<uint8_t> two = Bytes(2 * size_t(file->BlockDataSize()), 3);
  EXPECT_EQ(RaisedCode([&] { file->AppendChain(5, two.data(), int32_t(two.size())); }), EngErrTableFull);
  EXPECT_EQ(file->EndOffset(), lastBlock);
  EXPECT_EQ(DiskBytes().size(), size_t(BlobHeaderSize));
}

TEST_F(BlobWindowTest, ChainReadsSeeUnsavedBlocksAndLookForChangesOnlyBeforeADiskRead) {
  Create();
  const std::vector<uint8_t> a = Bytes(3 * 494, 1);
  const std::vector<uint8_t> b = Bytes(2 * 494, 2);
  const uint32_t firstA = WriteBlob(a, 1);
  const uint32_t firstB = WriteBlob(b, 2);
  EXPECT_EQ(ViewChain(firstA, &reader), a);  // from the cache, unsaved
  EXPECT_EQ(table.ChangeChecks, 0);
  WriteBack();
  Reopen();
  EXPECT_EQ(ViewChain(firstA, &reader), a);
  EXPECT_EQ(table.ChangeChecks, 1);
  EXPECT_EQ(ViewChain(firstB, &reader), b);  // read along with a
  EXPECT_EQ(table.ChangeChecks, 1);

  // A changed block in the cache wins over the window's copy.
  TBlock* second = Get(firstA + 512);
  const std::vector<uint8_t> changed = Bytes(494, 9);
  second->WriteData(0, 494, changed.data());
  file->ReleaseBlock(second);
  std::vector<uint8_t> expected = a;
  std::copy(changed.begin(), changed.end(), expected.begin() + 494);
  EXPECT_EQ(ViewChain(firstA), expected);

  // Other users' changes found before a disk read: no block, start over.
  Reopen();
  table.ReportChanges = true;
  TBlockView block;
  EXPECT_FALSE(file->ViewBlock(&reader, firstA, 1, block));
}

TEST_F(BlobWindowTest, ARewrittenBlockThatLeftTheCacheIsReadWithItsNewBytes) {
  const std::vector<uint32_t> firsts = ValuesBehindASmallCache(6);
  EXPECT_EQ(ViewChain(firsts[0]), Bytes(494, 0));  // the window holds the next three too

  const std::vector<uint8_t> rewritten = Rewrite(firsts[1]);
  WriteBack();
  for (const int i : {5, 4, 3, 2}) file->ReleaseBlock(Get(firsts[size_t(i)]));  // pushes it out of the cache
  EXPECT_EQ(ViewChain(firsts[1]), rewritten);
}

TEST_F(BlobWindowTest, AnotherWritersChangeIsReadOnceTheCheckHasDroppedTheCache) {
  Create();
  const uint32_t firstA = WriteBlob(Bytes(494, 1), 1);
  const uint32_t firstB = WriteBlob(Bytes(494, 2), 2);
  WriteBack();
  std::unique_ptr<TBlobFile> other = ShareWithSecondOpener();
  EXPECT_EQ(ViewChain(firstA), Bytes(494, 1));

  TBlock* block = nullptr;
  ASSERT_TRUE(other->GetBlock(nullptr, firstB, block, 1, false));
  const std::vector<uint8_t> theirs = Bytes(494, 77);
  block->WriteData(0, 494, theirs.data());
  other->ReleaseBlock(block);
  other->FlushBlocks();
  other->WriteHeader(true);

  // As a table's change check does.
  ASSERT_TRUE(file->HeaderChanged());
  file->DropCache();
  EXPECT_EQ(ViewChain(firstB), theirs);
}

TEST_F(BlobWindowTest, BlocksTakenFromTheWindowChangeAndWriteBackAsBlocksReadFromDisk) {
  for (const bool encrypted : {false, true}) {
    SCOPED_TRACE(encrypted ? "enciphered" : "plain");
    table.Encrypted = encrypted;
    // The same changes to a file of three values, made right after opening
    // it or after the values were read through the window.
    auto changed = [&](bool readFirst) {
      Create(64);
      const int32_t data = file->BlockDataSize();
      std::vector<uint32_t> firsts;
      for (int i = 0; i < 3; ++i) firsts.push_back(WriteBlob(Bytes(size_t(3 * data - i), i), uint32_t(i + 1)));
      WriteBack();
      Reopen();
      if (readFirst) {
        for (int i = 0; i < 3; ++i) EXPECT_EQ(ViewChain(firsts[size_t(i)], &reader), Bytes(size_t(3 * data - i), i));
      }
      // The second value freed, the third's middle block rewritten.
      uint32_t second = firsts[1];
      file->FreeChain(&reader, false, false, 0, 2, second);
      TBlock* middle = Get(firsts[2] + file->BlockSize());
      const std::vector<uint8_t> rewritten = Bytes(size_t(data), 99);
      middle->WriteData(0, data, rewritten.data());
      file->ReleaseBlock(middle);
      WriteBack();
      const uint32_t block = file->BlockSize();
      EXPECT_EQ(FreeList(), (std::vector<uint32_t>{firsts[1] + 2 * block, firsts[1] + block, firsts[1]}));
      file->Close();
      return DiskBytes();
    };
    EXPECT_EQ(changed(true), changed(false));
  }
}

// Freeing a value just read and rewriting a block of the next one write
// through to the window: the values after them are still read without
// another disk read, and show the new bytes, also once the cache has let
// the written blocks go. An enciphered file's window is forgotten instead
// and read again.
TEST_F(BlobWindowTest, WritesGoThroughToTheWindowSoTheNextValuesNeedNoRead) {
  for (const bool encrypted : {false, true}) {
    SCOPED_TRACE(encrypted ? "enciphered" : "plain");
    table.Encrypted = encrypted;
    const std::vector<uint32_t> firsts = ValuesBehindASmallCache(8);
    table.ChangeChecks = 0;
    EXPECT_EQ(ViewChain(firsts[0], &reader), Bytes(494, 0));
    ASSERT_EQ(table.ChangeChecks, 1);

    uint32_t first = firsts[0];
    file->FreeChain(&reader, false, false, 0, 1, first);
    const std::vector<uint8_t> rewritten = Rewrite(firsts[2]);
    WriteBack();
    for (const int i : {7, 6, 5, 4}) file->ReleaseBlock(Get(firsts[size_t(i)]));  // the written blocks leave the cache
    const int readsBefore = table.ChangeChecks;
    EXPECT_EQ(ViewChain(firsts[1], &reader), Bytes(494, 1));
    EXPECT_EQ(ViewChain(firsts[2], &reader), rewritten);
    EXPECT_EQ(ViewChain(firsts[3], &reader), Bytes(494, 3));
    if (encrypted) EXPECT_GT(table.ChangeChecks, readsBefore);
    else EXPECT_EQ(table.ChangeChecks, readsBefore);
    file->Close();
  }
}

// Walks over the same chains again take the windows an earlier walk kept
// instead of reading the file: every value is still the one the cache
// reads, after nothing happened between, after a write of ours (through to
// the windows, or forgetting them when enciphered), after another writer's
// change that the check before leaving a window reports, and when walks
// over other values, or over more than the windows' room, took the room.
TEST_F(BlobWindowTest, WalksOverTheSameChainsAgainSeeWhatTheCacheSees) {
  struct TCase {
    const char* Name;
    // What happens after the first walk over the values [0, 200); it may
    // change expected.
    std::function<void(std::vector<std::vector<uint8_t>>& expected)> Between;
  };
  const int32_t data = 64 - BlockHeaderSize;
  std::vector<uint32_t> firsts;
  std::unique_ptr<TBlobFile> other;
  auto walk = [&](const std::vector<std::vector<uint8_t>>& expected, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) ASSERT_EQ(ViewChain(firsts[i], &reader), expected[i]) << i;
  };
  auto rewriteFirstBlock = [&](TBlobFile& by, std::vector<uint8_t>& value, uint32_t first, int seed) {
    TBlock* block = nullptr;
    ASSERT_TRUE(by.GetBlock(nullptr, first, block, 1, false));
    const int32_t count = std::min(int32_t(value.size()), data);
    const std::vector<uint8_t> bytes = Bytes(size_t(count), seed);
    block->WriteData(0, count, bytes.data());
    by.ReleaseBlock(block);
    by.FlushBlocks();
    by.WriteHeader(true);
    std::copy(bytes.begin(), bytes.end(), value.begin());
  };
  const TCase cases[] = {
      {"again", [](auto&) {}},
      {"ours rewritten", [&](auto& expected) { rewriteFirstBlock(*file, expected[120], firsts[120], 90); }},
      {"ours rewritten, one run over many windows",
       [&](auto& expected) {
         // A byte of every block of the values [5, 100), written back at
         // once: the run goes through every window it overlaps.
         for (size_t i = 5; i < 100; ++i)
           for (size_t from = 0; from < expected[i].size(); from += size_t(data)) {
             TBlock* block = nullptr;
             ASSERT_TRUE(file->GetBlock(nullptr, firsts[i] + uint32_t(from / size_t(data)) * 64, block, 1, false));
             expected[i][from] = uint8_t(200 + i % 50);
             const int32_t count = int32_t(std::min(expected[i].size() - from, size_t(data)));
             block->WriteData(0, count, expected[i].data() + from);
             file->ReleaseBlock(block);
           }
         file->FlushBlocks();
         file->WriteHeader(true);
         // Other blocks take the cache's room: the walks read the rewritten
         // values from the windows.
         for (uint32_t offset = firsts[250]; offset < firsts[250] + 520 * 64; offset += 64)
           file->ReleaseBlock(Get(offset));
       }},
      {"theirs, reported by the check",
       [&](auto& expected) {
         rewriteFirstBlock(*other, expected[30], firsts[30], 91);
         rewriteFirstBlock(*other, expected[150], firsts[150], 92);
         table.ReportChanges = true;
         TBlockView block;
         EXPECT_FALSE(file->ViewBlock(&reader, firsts[100], 1, block));
         // As the table's change check does.
         table.ReportChanges = false;
         ASSERT_TRUE(file->HeaderChanged());
         file->DropCache();
       }},
      {"other walks took the room",
       [&](auto& expected) {
         walk(expected, 400, 600);
         walk(expected, 0, 200);
         walk(expected, 400, 600);
       }},
      {"a walk longer than the room", [&](auto& expected) { walk(expected, 0, 600); }},
  };
  for (const bool encrypted : {false, true}) {
    for (const TCase& c : cases) {
      SCOPED_TRACE(std::string(c.Name) + (encrypted ? ", enciphered" : ", plain"));
      table.Encrypted = encrypted;
      // About 1,050 blocks, where the cache and the windows' room hold 512.
      table.Caches.BlobBytes = 512 * 64;
      Create(64);
      std::vector<std::vector<uint8_t>> expected;
      firsts.clear();
      for (int i = 0; i < 600; ++i) {
        expected.push_back(Bytes(size_t(1 + (i * 37) % 150), i));
        firsts.push_back(file->AppendChain(uint32_t(i + 1), expected.back().data(), int32_t(expected.back().size())));
      }
      WriteBack();
      other = ShareWithSecondOpener();
      walk(expected, 0, 200);
      c.Between(expected);
      walk(expected, 0, 200);
      walk(expected, 0, 600);
      walk(expected, 0, 200);
      other.reset();
      Reopen();
      for (size_t i = 0; i < firsts.size(); ++i) ASSERT_EQ(ReadBlob(firsts[i]), expected[i]) << i;
      file->Close();
    }
  }
}

}  // namespace
