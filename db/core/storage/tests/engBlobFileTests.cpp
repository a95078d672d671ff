#include "engBlobTestSupport.h"

namespace {

uint32_t Le32(const std::vector<uint8_t>& bytes, size_t at) { return GetLE32(bytes.data() + at); }

TEST_F(BlobFileTest, CreatedFileIsItsHeaderAlone) {
  Create();
  std::vector<uint8_t> bytes = DiskBytes();
  ASSERT_EQ(bytes.size(), 512u);
  EXPECT_EQ(Le32(bytes, 0), 1u);  // the first header write counted
  EXPECT_EQ(bytes[8], 4);
  EXPECT_EQ(Le32(bytes, 9), 0u);
  EXPECT_EQ(Le32(bytes, 13), 512u);
  EXPECT_EQ(bytes[17], 1);  // written as it stood in memory
  bytes[0] = bytes[8] = bytes[13] = bytes[14] = bytes[17] = 0;
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), 0), 512);

  file->WriteHeader(false);
  EXPECT_EQ(Le32(DiskBytes(), 0), 1u);
  file->WriteHeader(true);
  EXPECT_EQ(Le32(DiskBytes(), 0), 2u);
  EXPECT_EQ(DiskBytes()[17], 0);
  file->MarkChanged();
  EXPECT_EQ(file->GetChangeCount(), 3u);
  EXPECT_TRUE(table.Changed);
  EXPECT_EQ(Le32(DiskBytes(), 0), 2u);
}

TEST_F(BlobFileTest, BlockSizesBelow64AreRefused) {
  file = NewBlobFile(63);
  EXPECT_EQ(RaisedCode([&] { file->CreateFile(); }), 9498);
  Create(64);
  file->Close();
  file = NewBlobFile(63);
  EXPECT_EQ(RaisedCode([&] { file->Open(); }), 8961);
  EXPECT_FALSE(file->IsOpen());
}

TEST_F(BlobFileTest, ChainsRoundTripAroundBlockBoundaries) {
  Create();
  const size_t data = 494;  // 512 - 18
  const std::vector<size_t> sizes = {1, data - 1, data, data + 1, 2 * data, 2 * data + 1, 30 * data + 7};
  std::vector<uint32_t> firsts;
  for (size_t i = 0; i < sizes.size(); ++i) firsts.push_back(WriteBlob(Bytes(sizes[i], int(i)), uint32_t(i + 1)));
  EXPECT_EQ(ReadBlob(firsts[3]), Bytes(sizes[3], 3));  // from the cache
  WriteBack();
  Reopen();
  for (size_t i = 0; i < sizes.size(); ++i) EXPECT_EQ(ReadBlob(firsts[i]), Bytes(sizes[i], int(i))) << sizes[i];
  int32_t blocks = 0;
  for (size_t size : sizes) blocks += int32_t((size + data - 1) / data);
  EXPECT_EQ(file->EndOffset(), 512u + 512u * uint32_t(blocks));
  EXPECT_EQ(DiskBytes().size(), file->EndOffset());
}

TEST_F(BlobFileTest, BlocksOnDiskCarryTheirChainLinks) {
  Create();
  const std::vector<uint8_t> value = Bytes(989, 5);  // two full blocks and one byte
  ASSERT_EQ(WriteBlob(value, 7), 512u);
  WriteBack();
  const std::vector<uint8_t> bytes = DiskBytes();
  ASSERT_EQ(bytes.size(), 2048u);
  EXPECT_EQ(Le32(bytes, 13), 2048u);
  const uint32_t expected[3][5] = {{0, 1024, 494, 7, 989}, {512, 1536, 494, 7, 0}, {1024, 0, 1, 7, 0}};
  for (size_t b = 0; b < 3; ++b) {
    const uint8_t* block = bytes.data() + 512 * (b + 1);
    EXPECT_EQ(GetLE32(block), expected[b][0]);
    EXPECT_EQ(GetLE32(block + 4), expected[b][1]);
    EXPECT_EQ(GetLE16(block + 8), expected[b][2]);
    EXPECT_EQ(GetLE32(block + 10), expected[b][3]);
    EXPECT_EQ(GetLE32(block + 14), expected[b][4]);
  }
  EXPECT_TRUE(std::equal(value.begin(), value.begin() + 494, bytes.begin() + 530));
  EXPECT_EQ(bytes[1536 + 18], value[988]);
  EXPECT_EQ(bytes[1536 + 19], 0);
}

TEST_F(BlobFileTest, FreedBlocksAreReusedLastFreedFirst) {
  Create();
  uint32_t first = WriteBlob(Bytes(3 * 494, 1), 9);
  ASSERT_EQ(first, 512u);
  file->FreeChain(nullptr, false, false, 1, 9, first);
  EXPECT_EQ(first, 0u);
  EXPECT_EQ(FreeList(), (std::vector<uint32_t>{1536, 1024, 512}));
  WriteBack();
  Reopen();
  TBlock* freed = Get(1024);
  EXPECT_EQ(freed->Sequence(), 9u);  // a freed block keeps its other bytes
  file->ReleaseBlock(freed);

  std::vector<uint32_t> taken;
  for (int i = 0; i < 4; ++i) {
    TBlock* block = nullptr;
    ASSERT_TRUE(file->NewBlock(nullptr, block));
    EXPECT_EQ(block->Sequence(), 0u);
    taken.push_back(block->Offset());
    file->ReleaseBlock(block);
  }
  EXPECT_EQ(taken, (std::vector<uint32_t>{1536, 1024, 512, 2048}));
  EXPECT_EQ(file->FirstFree(), 0u);
  EXPECT_EQ(file->EndOffset(), 2560u);
  WriteBack();
  EXPECT_EQ(DiskBytes().size(), 2560u);
}

TEST_F(BlobFileTest, FullCacheFlushesOrGrowsInATransaction) {
  Create(4096);  // a cache of 31 blocks
  ASSERT_EQ(file->CacheCapacity(), 31);
  const std::vector<uint8_t> value = Bytes(60 * 4078, 3);
  uint32_t first = WriteBlob(value, 1);
  EXPECT_LE(file->CachedBlockCount(), 31);
  EXPECT_GT(DiskBytes().size(), 512u);  // room was made by writing back
  WriteBack();
  file->DropCache();
  EXPECT_EQ(ReadBlob(first), value);

  table.TransactionLock = true;
  const size_t before = DiskBytes().size();
  const uint32_t second = WriteBlob(value, 2);
  EXPECT_EQ(file->CacheCapacity(), 31 + 255);
  EXPECT_EQ(DiskBytes().size(), before);  // held in memory
  table.TransactionLock = false;
  WriteBack();
  file->TrimCache();
  EXPECT_EQ(file->CacheCapacity(), 31);
  EXPECT_LE(file->CachedBlockCount(), 31);
  Reopen();
  EXPECT_EQ(ReadBlob(second), value);
}

TEST_F(BlobFileTest, ReadAheadStopsWhereTheDiskFileEnds) {
  Create();
  const uint32_t stored = WriteBlob(Bytes(2 * 494, 1), 1);
  WriteBack();
  file->DropCache();
  const uint32_t pending = WriteBlob(Bytes(10, 2), 2);  // appended, not yet on disk
  TBlock* block = nullptr;
  ASSERT_TRUE(file->GetBlock(nullptr, stored, block, 3, true));
  file->ReleaseBlock(block);
  EXPECT_EQ(ReadBlob(stored), Bytes(2 * 494, 1));
  EXPECT_EQ(ReadBlob(pending), Bytes(10, 2));
}

TEST_F(BlobFileTest, EncryptedFileIsCipheredHeaderAndBlockPiecesApart) {
  table.Encrypted = true;
  Create();
  ASSERT_EQ(WriteBlob(Bytes(100, 4), 3), 512u);
  WriteBack();
  std::vector<uint8_t> bytes = DiskBytes();
  table.Decipher(bytes.data(), 512);
  table.Decipher(bytes.data() + 512, 18);
  table.Decipher(bytes.data() + 530, 494);
  EXPECT_EQ(bytes[8], 4);
  EXPECT_EQ(Le32(bytes, 13), 1024u);
  EXPECT_EQ(GetLE16(bytes.data() + 512 + 8), 100);
  EXPECT_EQ(Le32(bytes, 512 + 14), 100u);
  const std::vector<uint8_t> value = Bytes(100, 4);
  EXPECT_TRUE(std::equal(value.begin(), value.end(), bytes.begin() + 530));
  Reopen();
  EXPECT_EQ(ReadBlob(512), value);
}

TEST_F(BlobFileTest, AnotherWritersHeaderIsTakenOver) {
  Create();
  std::unique_ptr<TBlobFile> other = ShareWithSecondOpener();
  WriteBlob(Bytes(600, 1), 1);
  WriteBack();
  EXPECT_TRUE(other->HeaderChanged());
  EXPECT_EQ(other->EndOffset(), 1536u);
  EXPECT_FALSE(other->HeaderModified());
  EXPECT_FALSE(other->HeaderChanged());
}

// The check reads the change count alone, deciphered as the start of the
// header; the whole header is taken over only when the count moved.
TEST_F(BlobFileTest, AnotherWritersEncipheredHeaderIsFoundByItsCountAndTakenOver) {
  table.Encrypted = true;
  Create();
  std::unique_ptr<TBlobFile> other = ShareWithSecondOpener();
  EXPECT_FALSE(other->HeaderChanged());
  WriteBlob(Bytes(600, 1), 1);
  WriteBack();
  EXPECT_TRUE(other->HeaderChanged());
  EXPECT_EQ(other->GetChangeCount(), file->GetChangeCount());
  EXPECT_EQ(other->EndOffset(), 1536u);
  EXPECT_EQ(other->FirstFree(), 0u);
  EXPECT_FALSE(other->HeaderChanged());
}

TEST_F(BlobFileTest, ResetHeaderEmptiesTheFileAndKeepsTheCount) {
  Create();
  WriteBlob(Bytes(2000, 1), 1);
  WriteBack();
  const uint32_t count = file->GetChangeCount();
  file->ResetHeader();
  EXPECT_EQ(DiskBytes().size(), 512u);
  EXPECT_EQ(file->EndOffset(), 512u);
  EXPECT_EQ(file->FirstFree(), 0u);
  EXPECT_EQ(file->CachedBlockCount(), 0);
  EXPECT_TRUE(file->HeaderModified());
  file->WriteHeader(false);
  EXPECT_EQ(Le32(DiskBytes(), 0), count + 1);
  EXPECT_EQ(WriteBlob(Bytes(5, 1), 2), 512u);
}

TEST_F(BlobFileTest, LocksTakeTheProtocolsBytes) {
  Create();
  std::unique_ptr<TBlobFile> other = ShareWithSecondOpener();
  ASSERT_TRUE(file->LockExclusive());
  EXPECT_FALSE(other->LockRange(2147418112, 1, true));
  EXPECT_FALSE(other->LockRange(2147483646, 1, true));
  EXPECT_TRUE(other->LockRange(2147483647, 1, true));
  EXPECT_TRUE(other->LockRange(2147483647, 1, false));
  EXPECT_TRUE(file->UnlockExclusive());
  EXPECT_FALSE(file->UnlockExclusive());

  uint16_t number = 0;
  ASSERT_TRUE(file->LockShared(number));
  EXPECT_GE(number, 1);
  EXPECT_LE(number, 65534);
  EXPECT_FALSE(other->LockRange(2147483647 - number, 1, true));
  EXPECT_TRUE(file->UnlockShared(number));
  EXPECT_TRUE(other->LockRange(2147483647 - number, 1, true));
}

TEST_F(BlobFileTest, BlocksHeldWhileTheCacheIsDroppedStayValid) {
  Create();
  const uint32_t first = WriteBlob(Bytes(50, 6), 1);
  WriteBack();
  TBlock* held = Get(first);
  file->DropCache();
  EXPECT_EQ(file->CachedBlockCount(), 0);
  uint8_t byte = 0;
  EXPECT_EQ(held->ReadData(49, 1, &byte), 1);
  EXPECT_EQ(byte, Bytes(50, 6)[49]);
  file->ReleaseBlock(held);
  EXPECT_EQ(ReadBlob(first), Bytes(50, 6));

  file->DropCache();
  table.ReportChanges = true;
  TBlock* block = nullptr;
  EXPECT_FALSE(file->GetBlock(&reader, first, block, 1, false));
  EXPECT_EQ(block, nullptr);
}

}  // namespace

// A temporary file holds its appended chains in memory as their values, up
// to its held bytes. Every block made from them must be the block a chain
// written at once leaves on disk: read back before and after a flush and a
// dropped cache, and on disk after the close, with overflows (the held
// chains written twice for want of room, the next ones held where theirs
// were), a value too large to hold and a held block read, changed and
// written back on the way, byte for byte what a file that is not temporary
// holds, enciphered or not, its values held in blocks an earlier file left,
// whatever they hold.
TEST_F(BlobFileTest, TemporaryHeldChainsReadAndReachTheDiskAsWrittenChainsDo) {
  const std::vector<size_t> sizes = {10, 494, 495, 20000, 5, 988, 70000, 8000, 60000, 50000, 300000, 3000, 1, 989};
  const std::vector<uint8_t> changed = Bytes(494, 99);
  for (const bool encrypted : {false, true}) {
    table.Encrypted = encrypted;
    std::vector<std::vector<uint8_t>> disks;
    for (const bool temporary : {false, true}) {
      PoisonBlockPool();
      file = NewBlobFile(512);
      file->Temporary = temporary;
      file->HeldBytes = 100000;
      file->CreateFile();
      file->WriteHeader(false);
      std::vector<uint32_t> firsts;
      for (size_t i = 0; i < sizes.size(); ++i) {
        const std::vector<uint8_t> value = Bytes(sizes[i], int(i) + 7);
        firsts.push_back(file->AppendChain(uint32_t(i + 1), value.data(), int32_t(value.size())));
        if (i == 4) {
          EXPECT_EQ(ReadBlob(firsts[0]), Bytes(sizes[0], 7));
          WriteBack();
        }
      }
      if (temporary) {
        EXPECT_LT(DiskBytes().size(), file->EndOffset()) << "nothing held";
      }
      for (size_t i = 0; i < sizes.size(); ++i) EXPECT_EQ(ReadBlob(firsts[i]), Bytes(sizes[i], int(i) + 7)) << i;
      WriteBack();
      file->DropCache();
      for (size_t i = 0; i < sizes.size(); ++i) EXPECT_EQ(ReadBlob(firsts[i]), Bytes(sizes[i], int(i) + 7)) << i;
      // The first block of the last chain held, changed in the cache.
      TBlock* block = Get(firsts.back());
      block->WriteData(0, int32_t(changed.size()), changed.data());
      file->ReleaseBlock(block);
      WriteBack();
      file->Close();
      disks.push_back(DiskBytes());
      ASSERT_EQ(disks.back().size(), file->EndOffset()) << temporary;
      file->Open();
      std::vector<uint8_t> expected = Bytes(sizes.back(), int(sizes.size()) + 6);
      std::copy(changed.begin(), changed.end(), expected.begin());
      EXPECT_EQ(ReadBlob(firsts.back()), expected);
      for (size_t i = 0; i + 1 < sizes.size(); ++i) EXPECT_EQ(ReadBlob(firsts[i]), Bytes(sizes[i], int(i) + 7)) << i;
      file.reset();
    }
    ASSERT_EQ(disks[0].size(), disks[1].size());
    EXPECT_TRUE(std::equal(disks[0].begin() + BlobHeaderSize, disks[0].end(), disks[1].begin() + BlobHeaderSize))
        << encrypted;
  }
}

// A discarded temporary table's held chains never reach the disk, and a
// reopened file holds nothing of them.
TEST_F(BlobFileTest, DroppedHeldChainsAreNeverWritten) {
  file = NewBlobFile(512);
  file->Temporary = true;
  file->CreateFile();
  file->WriteHeader(false);
  const std::vector<uint8_t> value = Bytes(3000, 4);
  const uint32_t first = file->AppendChain(1, value.data(), int32_t(value.size()));
  WriteBack();
  EXPECT_EQ(ReadBlob(first), value);
  file->DropHeld();
  file->Close();
  EXPECT_EQ(DiskBytes().size(), BlobHeaderSize);
}
