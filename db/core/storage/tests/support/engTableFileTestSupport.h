#pragma once
// What the data and BLOB file tests share: a scripted table serving the
// part every table file asks of it, and the file's bytes on disk.

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engFileTable.h"
#include "engFileTestSupport.h"

class TFakeFileTable : public virtual TFileTable {
public:
  std::string Name = "ORDERS";
  bool TransactionLock = false;
  bool Changed = false;
  bool ReportChanges = false;
  int ChangeChecks = 0;

  std::string TableName() const override { return Name; }
  // Its own inverse, and position-dependent, so a shifted cipher shows.
  void Encipher(uint8_t* buffer, uint32_t length) override {
    for (uint32_t i = 0; i < length; ++i) buffer[i] ^= uint8_t(0xA5 ^ (i * 31));
  }
  void Decipher(uint8_t* buffer, uint32_t length) override { Encipher(buffer, length); }
  bool HoldsTransactionLock() const override { return TransactionLock; }
  bool DataChanged() const override { return Changed; }
  void SetDataChanged() override { Changed = true; }
  bool CheckChangesBeforeRead(TDataCursor*) override {
    ++ChangeChecks;
    return ReportChanges;
  }
};

inline std::vector<uint8_t> ReadDiskFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void WriteDiskFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}
