#include "engBlobTestSupport.h"

namespace {

const std::string Invalid = "Invalid intra-block pointer in BLOB file for physical record # 7, ";
const std::string Recursive = "Recursive intra-block pointer in BLOB file for physical record # 7, ";
const std::string BadOffset = "Invalid BLOB offset in BLOB file for physical record # 7, ";

class BlobVerifyTest : public BlobFileTest {
protected:
  void SetUp() override {
    BlobFileTest::SetUp();
    Create();
  }

  void SetNext(uint32_t offset, uint32_t next) {
    TBlock* block = Get(offset);
    block->SetNext(next);
    file->ReleaseBlock(block);
  }
  void SetSequence(uint32_t offset, uint32_t sequence) {
    TBlock* block = Get(offset);
    block->SetSequence(sequence);
    file->ReleaseBlock(block);
  }
  uint32_t NextOf(uint32_t offset) {
    TBlock* block = Get(offset);
    const uint32_t next = block->Next();
    file->ReleaseBlock(block);
    return next;
  }

  // The code FreeChain raises (0 for none), with the offset it leaves.
  uint16_t Free(uint32_t first, bool verifyOnly, uint32_t& left, bool force = false) {
    left = first;
    return RaisedCode([&] { file->FreeChain(&reader, verifyOnly, force, 7, 1, left); });
  }
};

TEST_F(BlobVerifyTest, HeaderFaultsAreFound) {
  WriteBlob(Bytes(3 * 494, 1), 1);  // blocks at 512, 1024 and 1536
  WriteBack();
  file->VerifyHeader();
  const struct {
    size_t at;
    uint32_t value;
    uint16_t code;
  } faults[] = {
      {8, 3, 12035},         // format 3
      {9, 256, 8961},        // first free below the first block
      {9, 2048, 8961},       // first free at the end offset
      {9, 1024 + 100, 8961}, // first free between blocks
      {13, 2000, 8961},      // end offset between blocks
      {13, 4096, 8961},      // end offset past the file
      {13, 100, 8961},       // end offset inside the header
  };
  for (const auto& fault : faults) {
    const uint32_t original = GetLE32(DiskBytes().data() + fault.at);
    PatchDisk32(fault.at, fault.at == 8 ? (original & 0xFFFFFF00u) | fault.value : fault.value);
    EXPECT_EQ(RaisedCode([&] { file->VerifyHeader(); }), fault.code) << fault.at << " " << fault.value;
    PatchDisk32(fault.at, original);
  }
  file->ResetHeader();
  file->SetFirstFree(512);
  EXPECT_EQ(RaisedCode([&] { file->VerifyHeader(); }), 8961);  // a free block in an empty file
}

TEST_F(BlobVerifyTest, ForeignOrMisplacedFirstBlockIsReportedOrCut) {
  const uint32_t other = WriteBlob(Bytes(10, 1), 2);
  uint32_t left = 0;
  EXPECT_EQ(Free(other, false, left), 8963);
  reader.Repair = true;
  EXPECT_EQ(Free(other, true, left), 0);
  EXPECT_EQ(left, other);
  EXPECT_EQ(Free(other, false, left), 0);
  EXPECT_EQ(left, 0u);
  for (uint32_t outside : {file->EndOffset(), 512u + 7u, 1u << 30})
    EXPECT_EQ(Free(outside, false, left), 0) << outside;
  EXPECT_EQ(reader.Reports, (std::vector<std::string>{BadOffset + "error not fixed", BadOffset + "error fixed",
                                                     BadOffset + "error fixed", BadOffset + "error fixed",
                                                     BadOffset + "error fixed"}));
  EXPECT_EQ(file->EndOffset(), 1024u);  // nothing appended
  EXPECT_TRUE(FreeList().empty());
}

TEST_F(BlobVerifyTest, BrokenLinksAreReportedOrCut) {
  // Each damage to the link from the first block of a two-block chain.
  const uint32_t first = WriteBlob(Bytes(2 * 494, 1), 1);
  const uint32_t second = NextOf(first);
  const uint32_t end = file->EndOffset();
  const uint32_t foreign = WriteBlob(Bytes(5, 1), 2);
  const uint32_t spare = WriteBlob(Bytes(5, 1), 3);
  for (uint32_t link : {end + 512, file->EndOffset(), 256u, second + 1, foreign}) {
    SetNext(first, link);
    reader.Repair = false;
    reader.Reports.clear();
    uint32_t left = 0;
    EXPECT_EQ(Free(first, false, left), 8963) << link;
    EXPECT_EQ(file->FirstFree(), 0u);
    reader.Repair = true;
    EXPECT_EQ(Free(first, true, left), 0);
    EXPECT_EQ(NextOf(first), link);
    EXPECT_EQ(Free(first, false, left), 0);
    EXPECT_EQ(reader.Reports, (std::vector<std::string>{Invalid + "error not fixed", Invalid + "error fixed"}));
    EXPECT_EQ(FreeList(), std::vector<uint32_t>{first});
    EXPECT_EQ(NextOf(first), 0u);
    // Take the block back for the next case.
    TBlock* block = nullptr;
    ASSERT_TRUE(file->NewBlock(nullptr, block));
    block->SetSequence(1);
    block->SetTotalSize(2 * 494);
    file->ReleaseBlock(block);
  }
  EXPECT_EQ(file->EndOffset(), spare + 512);  // no damaged link appended a block
}

TEST_F(BlobVerifyTest, CyclesOfAnyLengthAreCaughtAndFreedOnce) {
  WriteBlob(Bytes(10, 1), 9);  // a block before the chain
  const uint32_t a = WriteBlob(Bytes(5 * 494, 1), 1);
  const uint32_t b = NextOf(a), c = NextOf(b);
  WriteBlob(Bytes(10, 1), 9);  // and one after it
  SetNext(b, b);
  reader.Repair = true;
  uint32_t left = 0;
  EXPECT_EQ(Free(a, true, left), 0);
  EXPECT_EQ(reader.Reports.back(), Recursive + "error not fixed");

  SetNext(b, c);
  SetNext(c, a);  // a -> b -> c -> a, while the length asks for five blocks
  reader.Repair = false;
  EXPECT_EQ(Free(a, false, left), 8963);
  EXPECT_TRUE(FreeList().empty());
  EXPECT_EQ(Free(a, false, left, true), 8963);
  EXPECT_TRUE(FreeList().empty());
  reader.Repair = true;
  reader.Reports.clear();
  EXPECT_EQ(Free(a, true, left), 0);
  EXPECT_EQ(NextOf(c), a);
  EXPECT_TRUE(FreeList().empty());
  EXPECT_EQ(Free(a, false, left), 0);
  EXPECT_EQ(reader.Reports, (std::vector<std::string>{Recursive + "error not fixed", Recursive + "error fixed"}));
  EXPECT_EQ(FreeList(), (std::vector<uint32_t>{c, b, a}));
  EXPECT_EQ(left, 0u);
}

TEST_F(BlobVerifyTest, ChainLongerThanItsLengthIsCut) {
  const uint32_t first = WriteBlob(Bytes(3 * 494, 1), 1);
  TBlock* block = Get(first);
  block->SetTotalSize(494);  // the length needs one block
  file->ReleaseBlock(block);
  reader.Repair = true;
  uint32_t left = 0;
  EXPECT_EQ(Free(first, false, left), 0);
  EXPECT_EQ(reader.Reports, std::vector<std::string>{Invalid + "error fixed"});
  EXPECT_EQ(FreeList(), std::vector<uint32_t>{first});
}

TEST_F(BlobVerifyTest, ForceTakesOverBlocksOfAnotherSequence) {
  const uint32_t first = WriteBlob(Bytes(2 * 494, 1), 1);
  const uint32_t second = NextOf(first);
  SetSequence(first, 5);
  SetSequence(second, 6);
  uint32_t left = 0;
  EXPECT_EQ(Free(first, false, left, true), 0);
  EXPECT_EQ(FreeList(), (std::vector<uint32_t>{second, first}));
  EXPECT_TRUE(reader.Reports.empty());
}

TEST_F(BlobVerifyTest, DamagedFreeListIsRefused) {
  const uint32_t first = WriteBlob(Bytes(2 * 494, 1), 1);
  const uint32_t second = NextOf(first);
  TBlock* block = nullptr;
  file->SetFirstFree(first + 100);
  EXPECT_EQ(RaisedCode([&] { file->NewBlock(nullptr, block); }), 8961);
  for (uint32_t next : {first, second + 3, file->EndOffset()}) {
    file->SetFirstFree(first);
    SetNext(first, next);
    EXPECT_EQ(RaisedCode([&] { file->NewBlock(nullptr, block); }), 8963) << next;
    EXPECT_EQ(file->FirstFree(), first);
  }
  file->SetFirstFree(second);
  block = Get(second);
  EXPECT_EQ(RaisedCode([&] { file->FreeBlock(block); }), 8963);  // would link to itself
  file->ReleaseBlock(block);
}

TEST_F(BlobVerifyTest, DataTransfersStayInsideTheDataArea) {
  TBlock* block = nullptr;
  ASSERT_TRUE(file->NewBlock(nullptr, block));
  std::vector<uint8_t> buffer(600);
  EXPECT_EQ(block->WriteData(0, 494, buffer.data()), 494);
  EXPECT_EQ(block->ReadData(0, 494, buffer.data()), 494);
  EXPECT_EQ(RaisedCode([&] { block->ReadData(10, 490, buffer.data()); }), 10029);
  EXPECT_EQ(RaisedCode([&] { block->WriteData(493, 2, buffer.data()); }), 10029);
  EXPECT_EQ(RaisedCode([&] { block->ReadData(0, 495, buffer.data()); }), 10029);
  EXPECT_EQ(RaisedCode([&] { block->WriteData(-1, 1, buffer.data()); }), 10029);
  EXPECT_EQ(RaisedCode([&] { block->ReadData(1, -1, buffer.data()); }), 10029);
  EXPECT_EQ(block->WriteData(0, 100, buffer.data()), 100);
  EXPECT_EQ(block->ReadData(90, 20, buffer.data()), 10);  // the used bytes from 90
  EXPECT_EQ(block->ReadData(150, 20, buffer.data()), 0);
  file->ReleaseBlock(block);
}

TEST_F(BlobVerifyTest, DamagedValuesFromTheFileGiveEngineErrors) {
  const uint32_t first = WriteBlob(Bytes(600, 1), 1);
  WriteBack();
  TBlock* block = nullptr;
  for (uint32_t offset : {0u, 100u, first + 1, 1u << 30})
    EXPECT_EQ(RaisedCode([&] { file->GetBlock(nullptr, offset, block, 1, false); }), 8963) << offset;

  PatchDisk32(first + 8, 0xFFFFFFFFu);  // bytes used 65535, and a huge sequence part
  PatchDisk32(first + 10, 1);
  PatchDisk32(first + 14, 0xFFFFFFFFu);  // total size 4 GB
  std::vector<uint8_t> buffer(494);
  block = Get(first);
  EXPECT_EQ(block->ReadData(0, 494, buffer.data()), 494);
  file->ReleaseBlock(block);
  uint32_t left = first;
  file->FreeChain(nullptr, false, false, 7, 1, left);  // bounded by the file, not the length
  EXPECT_EQ(FreeList().size(), 2u);

  PatchDisk32(13, 512 * 10);  // blocks beyond the end of the disk file
  EXPECT_EQ(RaisedCode([&] { file->GetBlock(nullptr, 512 * 8, block, 1, false); }), 9217);
  PatchDisk32(13, 512 * 10 + 1);
  PatchDisk32(9, 0);
  EXPECT_EQ(RaisedCode([&] { file->NewBlock(nullptr, block); }), 8961);
  PatchDisk32(13, 2000000512);
  EXPECT_EQ(RaisedCode([&] { file->NewBlock(nullptr, block); }), 9479);
}

}  // namespace
