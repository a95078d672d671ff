#pragma once
// A started engine with a scratch directory of tables, and the second
// process that the multi-user tests share tables with.

#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "engDataTestSupport.h"
#include "engDirectory.h"
#include "engEngine.h"
#include "engIndexFile.h"
#include "engKeyCompare.h"
#include "engSession.h"
#include "engTable.h"
#include "osHelperProcess.h"
#include "osSettingsTestFolder.h"

inline constexpr uint8_t IntegerFieldType = 2;

// The byte-range locks of the protocol, as every process sharing a table uses them.
inline constexpr int64_t HeaderLockByte = 0x7FFFFFFF;
inline constexpr int64_t ExclusiveRangeStart = 0x7FFF0000;
inline constexpr int64_t ExclusiveRangeLength = 65535;
inline constexpr int64_t RecordLockByte(uint32_t n) { return 0x7FFFFFFE - int64_t(n); }
inline constexpr unsigned LockViolation = 33;  // the Windows error of a refused lock

// Drives engTableHelper; every call waits for its answer line.
class TableHelperProcess : public THelperProcess {
public:
  TableHelperProcess() : THelperProcess(ENG_TABLE_HELPER) {}

  // The answer's code: 0 or the failure's.
  unsigned Ask(const std::string& command) {
    Send(command);
    return Receive();
  }
  // Ask in two halves, so that several helpers work at once.
  unsigned Receive() { return unsigned(std::stoul(Answer())); }
};

// ID integer, NAME string(10), and with a BLOB field MEMO; primary index on ID.
class TableTest : public ::testing::Test {
protected:
  TTestFolder scratch;
  const std::string folder = scratch.Path();
  TDataSession* session = nullptr;
  TDataDirectory* directory = nullptr;

  void SetUp() override {
    StartEngine();
    session = GetEngineSession();
    session->LockRetryCount = 1;
    session->LockWaitTime = 5;
    directory = session->OpenDirectory("", folder);
  }
  void TearDown() override { StopEngine(); }

  static std::vector<uint8_t> Fields(bool withBlob) {
    std::vector<TFieldSpec> specs{{"ID", IntegerFieldType}, {"NAME", StringFieldType, 10}};
    if (withBlob) specs.push_back({"MEMO", BlobFieldType});
    return Descriptors(specs);
  }
  static std::vector<uint8_t> PrimaryOnId() {
    std::vector<uint8_t> index(IndexDescSize, 0);
    PutLE16(index.data() + IdxDescKeyLength, 5);
    index[IdxDescUnique] = 1;
    index[IdxDescFieldCount] = 1;
    PutLE16(index.data() + IdxDescFieldNumbers, 1);
    return index;
  }

  // A definition of the fields and indexes given (the primary first), user version 1.0.
  static TTableFilesDefinition FilesOf(const std::vector<uint8_t>& fields, const std::vector<uint8_t>& indexes) {
    TTableFilesDefinition files;
    files.FieldDescs = fields.data();
    files.FieldCount = int(fields.size() / FieldDescSize);
    files.IndexDescs = indexes.data();
    files.IndexCount = int(indexes.size() / IndexDescSize);
    files.UserMajorVersion = 1;
    return files;
  }

  // Creates the table in dir and closes it again.
  void CreateTable(TDataDirectory* dir, const std::string& name, bool withBlob,
                   const TTableCreateOptions& options = {}) {
    const std::vector<uint8_t> fields = Fields(withBlob);
    const std::vector<uint8_t> index = PrimaryOnId();
    TDataTable* table = nullptr;
    ASSERT_EQ(dir->CreateTable(name, options, FilesOf(fields, index), table), 0);
    ASSERT_EQ(dir->CloseTable(table, true), 0);
  }
  void CreateTable(const std::string& name, bool withBlob = false) { CreateTable(directory, name, withBlob); }

  TDataTable* OpenTable(TDataDirectory* dir, const std::string& name, const TTableOpenOptions& options = {}) {
    TDataTable* table = nullptr;
    const int32_t result = dir->OpenTable(name, options, table);
    EXPECT_EQ(result, 0);
    return table;
  }
  TDataTable* OpenTable(const std::string& name, bool exclusive = false) {
    return OpenTable(directory, name, {.Exclusive = exclusive});
  }

  // Appends a record with this ID and writes the table back, as a cursor
  // would at the end of a change.
  static void AppendRecord(TDataTable* table, int32_t id) {
    table->LockWrite();
    TRecord* record = nullptr;
    ASSERT_TRUE(table->DataFile().GetRecord(nullptr, table->DataFile().NextRecordNumber(), {}, record));
    record->Clear(true);
    PutId(record, id);
    table->DataFile().ReleaseRecord(record);
    table->WriteHeaders({.ForceData = true, .ForceIndex = true});
    table->UnlockWrite();
  }

  std::string PathOf(const std::string& file) const { return folder + "/" + file; }
};

inline int64_t MillisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}
