#pragma once
// A BLOB file over a scripted table, BLOB values written and read as whole
// chains, and raw access to the bytes on disk.

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "engBlobFile.h"
#include "engLittleEndian.h"
#include "engTableFileTestSupport.h"

class TFakeBlobTable : public TBlobFileTable, public TFakeFileTable {
public:
  bool Encrypted = false;

  bool IsEncrypted() const override { return Encrypted; }
};

inline std::vector<uint8_t> Bytes(size_t size, int seed) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = uint8_t((i * 13 + size_t(seed)) % 251);
  return bytes;
}

class BlobFileTest : public FileLayerTest {
protected:
  TFakeBlobTable table;
  TTestReader reader;
  std::unique_ptr<TBlobFile> file;

  void TearDown() override {
    file.reset();
    FileLayerTest::TearDown();
  }

  std::string Path() const { return folder + "/ORDERS.BLB"; }

  std::unique_ptr<TBlobFile> NewBlobFile(uint16_t blockSize) {
    auto blobFile = std::make_unique<TBlobFile>(&table);
    blobFile->FileName = Path();
    blobFile->SetBlockSize(blockSize);
    return blobFile;
  }

  // As a table creates it: created, then its header written.
  void Create(uint16_t blockSize = 512) {
    file = NewBlobFile(blockSize);
    file->CreateFile();
    file->WriteHeader(false);
  }

  void WriteBack() {
    file->FlushBlocks();
    file->WriteHeader(false);
  }

  void Reopen() {
    const uint16_t blockSize = file->BlockSize();
    file->Close();
    file = NewBlobFile(blockSize);
    file->Open();
  }

  // The created file opened again, shared, and a second opener of it.
  std::unique_ptr<TBlobFile> ShareWithSecondOpener() {
    Reopen();
    std::unique_ptr<TBlobFile> other = NewBlobFile(file->BlockSize());
    other->Open();
    return other;
  }

  TBlock* Get(uint32_t offset) {
    TBlock* block = nullptr;
    EXPECT_TRUE(file->GetBlock(nullptr, offset, block, 1, false));
    return block;
  }

  // Stores a value as one chain, block after block, as a BLOB field's save
  // does; the offset of its first block.
  uint32_t WriteBlob(const std::vector<uint8_t>& value, uint32_t sequence) {
    TBlock* current = nullptr;
    EXPECT_TRUE(file->NewBlock(nullptr, current));
    const uint32_t first = current->Offset();
    current->SetSequence(sequence);
    current->SetTotalSize(uint32_t(value.size()));
    for (size_t done = 0;;) {
      const int32_t n = int32_t(std::min(value.size() - done, size_t(file->BlockDataSize())));
      current->WriteData(0, n, value.data() + done);
      done += size_t(n);
      if (done == value.size()) break;
      TBlock* next = nullptr;
      EXPECT_TRUE(file->NewBlock(nullptr, next));
      current->SetNext(next->Offset());
      next->SetPrevious(current->Offset());
      next->SetSequence(sequence);
      file->ReleaseBlock(current);
      current = next;
    }
    file->ReleaseBlock(current);
    return first;
  }

  std::vector<uint8_t> ReadBlob(uint32_t first) {
    TBlock* block = Get(first);
    std::vector<uint8_t> value(block->TotalSize());
    size_t done = 0;
    for (;;) {
      done += size_t(block->ReadData(0, int32_t(std::min(value.size() - done, size_t(block->DataSize()))),
                                     value.data() + done));
      const uint32_t next = block->Next();
      file->ReleaseBlock(block);
      if (next == 0 || done == value.size()) break;
      const int32_t left = int32_t((value.size() - done + size_t(file->BlockDataSize()) - 1) /
                                   size_t(file->BlockDataSize()));
      EXPECT_TRUE(file->GetBlock(nullptr, next, block, left, true));
    }
    value.resize(done);
    return value;
  }

  // The free list from its head, at most limit entries.
  std::vector<uint32_t> FreeList(size_t limit = 64) {
    std::vector<uint32_t> offsets;
    for (uint32_t offset = file->FirstFree(); offset != 0 && offsets.size() < limit;) {
      offsets.push_back(offset);
      TBlock* block = Get(offset);
      offset = block->Next();
      file->ReleaseBlock(block);
    }
    return offsets;
  }

  std::vector<uint8_t> DiskBytes() const { return ReadDiskFile(Path()); }
  void WriteDisk(const std::vector<uint8_t>& bytes) const { WriteDiskFile(Path(), bytes); }
  // Closes the file, changes a 32-bit value on disk and opens it again.
  void PatchDisk32(size_t at, uint32_t value) {
    const uint16_t blockSize = file->BlockSize();
    file->Close();
    std::vector<uint8_t> bytes = DiskBytes();
    PutLE32(bytes.data() + at, value);
    WriteDisk(bytes);
    file = NewBlobFile(blockSize);
    file->Open();
  }
};
