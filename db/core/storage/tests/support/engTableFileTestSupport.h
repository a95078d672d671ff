#pragma once
// What the data and BLOB file tests share: a scripted table serving the
// part every table file asks of it, and the file's bytes on disk.

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engBlockPool.h"
#include "engFileTable.h"
#include "engFileTestSupport.h"

// Fills the block pool with blocks of a byte no test writes: an image held
// in one shows every byte its maker left unwritten.
inline void PoisonBlockPool() {
  std::vector<TPooledBlock> blocks;
  for (int64_t held = 0; held < PoolKeptBytes; held += int64_t(PooledBlockBytes))
    std::memset(blocks.emplace_back(PooledBlockBytes).Get(), 0x5A, PooledBlockBytes);
}

class TFakeFileTable : public virtual TFileTable {
public:
  std::string Name = "ORDERS";
  bool TransactionLock = false;
  bool Changed = false;
  bool ReportChanges = false;
  int ChangeChecks = 0;
  // Small, so that a few records or blocks fill them.
  TCacheSizes Caches{.RecordBytes = 131070, .IndexBytes = 0, .BlobBytes = 131070};

  std::string TableName() const override { return Name; }
  // Its own inverse, and position-dependent, so a shifted cipher shows.
  void Encipher(uint8_t* buffer, uint32_t length) override {
    for (uint32_t i = 0; i < length; ++i) buffer[i] ^= uint8_t(0xA5 ^ (i * 31));
  }
  void Decipher(uint8_t* buffer, uint32_t length) override { Encipher(buffer, length); }
  bool HoldsTransactionLock() const override { return TransactionLock; }
  bool DataChanged() const override { return Changed; }
  void SetDataChanged() override { Changed = true; }
  bool CheckChangesBeforeRead(TReadContext*) override {
    ++ChangeChecks;
    return ReportChanges;
  }
  TCacheSizes CacheSizes() const override { return Caches; }
};

// A reader standing in for a cursor: it can cut read-aheads short and run a
// repair pass.
class TTestReader final : public TReadContext {
public:
  int32_t ReadAhead = 0;  // the most a read-ahead may take; 0: no limit
  bool Repair = false;
  std::vector<std::string> Reports;

  int32_t ReadAheadCount(uint32_t, bool, int32_t limit) override { return ReadAhead ? ReadAhead : limit; }
  bool InRepairMode() const override { return Repair; }
  void ReportRepair(const std::string& text) override { Reports.push_back(text); }
};

inline std::vector<uint8_t> ReadDiskFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void WriteDiskFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}
