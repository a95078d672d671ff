// Opening, creating and closing a table's files, and the whole-table
// operations on them.

#include <csignal>
#include <fstream>

#include <sys/resource.h>

#include "engErrorCodes.h"
#include "engTableTestSupport.h"

namespace {

class TableFileTest : public TableTest {
protected:
  void PatchFile(const std::string& file, std::streamoff offset, const std::vector<uint8_t>& bytes) {
    std::fstream stream(PathOf(file), std::ios::in | std::ios::out | std::ios::binary);
    stream.seekp(offset);
    stream.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }
  bool Exists(const std::string& file) const { return std::filesystem::exists(PathOf(file)); }
};

TEST_F(TableFileTest, AMissingIndexFileIsRecreatedAndLeftAloneByTheRepairPass) {
  CreateTable("ORDERS");
  std::filesystem::remove(PathOf("ORDERS.IDX"));
  TDataTable* table = OpenTable("ORDERS");
  ASSERT_NE(table, nullptr);
  EXPECT_TRUE(table->IndexRecreated());
  EXPECT_EQ(std::filesystem::file_size(PathOf("ORDERS.IDX")), IndexHeaderSize);
  EXPECT_NO_THROW(table->Repair());
  ASSERT_EQ(directory->CloseTable(table, false), 0);
  table = OpenTable("ORDERS");
  EXPECT_FALSE(table->IndexRecreated());
}

TEST_F(TableFileTest, AFailedOpenLeavesNeitherARegisteredTableNorAnOpenFile) {
  CreateTable("ORDERS");
  PatchFile("ORDERS.DAT", DatHdrFieldCount, {0xD0, 0x07});  // 2000 fields
  EXPECT_EQ(RaisedCode([&] { OpenTable("ORDERS"); }), EngErrHeaderCorrupt);
  EXPECT_EQ(directory->TableCount(), 0);
  EXPECT_EQ(directory->DeleteTable("ORDERS", false), 0);
  EXPECT_FALSE(Exists("ORDERS.DAT") || Exists("ORDERS.IDX"));
}

TEST_F(TableFileTest, AFailedCreateDeletesWhatItCreated) {
  const std::vector<uint8_t> fields = Fields(true);
  std::vector<uint8_t> indexes = PrimaryOnId();
  indexes.resize(2 * IndexDescSize);
  uint8_t* secondary = indexes.data() + IndexDescSize;
  secondary[IdxDescName] = 4;
  std::memcpy(secondary + 1, "1BAD", 4);
  PutLE16(secondary + IdxDescKeyLength, 5);
  secondary[IdxDescFieldCount] = 1;
  PutLE16(secondary + IdxDescFieldNumbers, 1);
  TDataTable* table = nullptr;
  EXPECT_EQ(RaisedCode([&] {
              directory->CreateTable("ORDERS", {}, FilesOf(fields, indexes), table);
            }),
            10022);
  EXPECT_EQ(directory->TableCount(), 0);
  EXPECT_FALSE(directory->TableExists("ORDERS", false));
  EXPECT_FALSE(Exists("ORDERS.IDX") || Exists("ORDERS.BLB"));
}

TEST_F(TableFileTest, RenameBackupAndDeleteMoveAllThreeFiles) {
  CreateTable("ORDERS", true);
  CreateTable("OLD");
  EXPECT_EQ(directory->RenameTable("ORDERS", "SALES", false, false), 0);
  EXPECT_TRUE(Exists("SALES.DAT") && Exists("SALES.IDX") && Exists("SALES.BLB"));
  EXPECT_FALSE(Exists("ORDERS.DAT"));

  // Backup names of a table's own name replace an earlier backup.
  EXPECT_EQ(directory->RenameTable("OLD", "SALES", true, false), 0);
  EXPECT_EQ(directory->RenameTable("SALES", "SALES", true, false), 0);
  EXPECT_TRUE(Exists("SALES.DBK") && Exists("SALES.IBK") && Exists("SALES.BBK"));
  EXPECT_FALSE(Exists("SALES.DAT") || Exists("OLD.DAT"));
  EXPECT_EQ(RaisedCode([&] { directory->RenameTable("SALES.DBK", " ", false, false); }), 11010);

  CreateTable("TEMP", true);
  EXPECT_EQ(directory->DeleteTable("TEMP", false), 0);
  EXPECT_FALSE(Exists("TEMP.DAT") || Exists("TEMP.IDX") || Exists("TEMP.BLB"));
}

TEST_F(TableFileTest, TheIndexFileIsBackedUpAndRestored) {
  CreateTable("ORDERS");
  TDataTable* table = OpenTable("ORDERS", true);
  AppendRecord(table, 1);
  table->IndexFile().SetRecordCount(1);
  table->BackupIndex();
  ASSERT_TRUE(Exists("ORDERS.IBK"));
  table->Empty();
  EXPECT_EQ(table->DataFile().PhysicalRecordCount(), 0u);
  EXPECT_EQ(table->IndexFile().GetRecordCount(), 0u);

  table->RestoreIndex(true, false);
  EXPECT_EQ(table->IndexFile().GetRecordCount(), 0u);
  table->RestoreIndex(false, true);
  EXPECT_EQ(table->IndexFile().GetRecordCount(), 1u);
  EXPECT_FALSE(Exists("ORDERS.IBK"));
}

TEST_F(TableFileTest, ReadOnlyFilesTakeNoLocksAndAnExclusiveTableLocksRecordsOnlyInATransaction) {
  CreateTable("ORDERS");
  for (const char* file : {"ORDERS.DAT", "ORDERS.IDX"})
    std::filesystem::permissions(PathOf(file), std::filesystem::perms::owner_read);
  TDataTable* table = OpenTable("ORDERS");
  EXPECT_TRUE(table->FilesReadOnly());
  EXPECT_TRUE(table->IsReadOnly());
  EXPECT_FALSE(table->LockWrite());
  EXPECT_FALSE(table->HoldsWriteLock());
  EXPECT_FALSE(table->LockRecord(1));
  EXPECT_FALSE(table->HoldsRecordLock(1));
  table->StartTransaction();
  EXPECT_FALSE(table->InTransaction());
  ASSERT_EQ(directory->CloseTable(table, false), 0);

  CreateTable("ITEMS");
  table = OpenTable("ITEMS", true);
  EXPECT_FALSE(table->LockRead());
  EXPECT_FALSE(table->LockRecord(1));
  EXPECT_FALSE(table->HoldsRecordLock(1));
  table->StartTransaction();
  table->LockRecord(1);
  table->UnlockRecord(1);
  EXPECT_TRUE(table->HoldsRecordLock(1));
  table->Commit(true);
  EXPECT_TRUE(table->HoldsRecordLock(1));  // an exclusive table releases it when it closes
  ASSERT_EQ(directory->CloseTable(table, false), 0);
}

TEST_F(TableFileTest, AFailedWriteBackAtCloseIsReportedAndLeavesTheTableAsItWasOnDisk) {
  CreateTable("ORDERS");
  TDataTable* table = OpenTable("ORDERS", true);
  // An exclusive table keeps its new records until it closes.
  for (int32_t id = 1; id <= 20; ++id) {
    TRecord* record = nullptr;
    ASSERT_TRUE(table->DataFile().GetRecord(nullptr, table->DataFile().NextRecordNumber(), {}, record));
    record->Clear(true);
    PutId(record, id);
    table->DataFile().ReleaseRecord(record);
  }
  // No file may grow past its present size: the records' write fails.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit limited = saved;
  limited.rlim_cur = rlim_t(std::filesystem::file_size(PathOf("ORDERS.DAT")));
  const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  const uint16_t code = RaisedCode([&] { directory->CloseTable(table, false); });
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previousHandler);

  EXPECT_EQ(code, EngErrWriteFailed);
  EXPECT_EQ(directory->TableCount(), 0);
  // Closed and unlocked: another exclusive open succeeds and finds the
  // table as it was on disk.
  table = OpenTable("ORDERS", true);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->DataFile().PhysicalRecordCount(), 0u);
  ASSERT_EQ(directory->CloseTable(table, false), 0);
}

TEST_F(TableFileTest, AnEncryptedTableKeepsItsTextsAndRecordsScrambledOnDisk) {
  const std::vector<uint8_t> fields = Fields(false);
  const std::vector<uint8_t> index = PrimaryOnId();
  TDataTable* table = nullptr;
  TTableFilesDefinition files = FilesOf(fields, index);
  files.Description = "Payroll";
  files.Password = "Sesame";
  files.Encrypted = true;
  ASSERT_EQ(directory->CreateTable("SAFE", {}, files, table), 0);
  ASSERT_EQ(directory->CloseTable(table, false), 0);
  table = OpenTable("SAFE");
  EXPECT_TRUE(table->IsEncrypted());
  EXPECT_EQ(table->DataFile().GetPassword(), "Sesame");
  EXPECT_EQ(table->DataFile().GetDescription(), "Payroll");
  AppendRecord(table, 1);
  TRecord* record = nullptr;
  table->ReloadFiles(true, false);
  ASSERT_TRUE(table->DataFile().GetRecord(nullptr, 1, {}, record));
  EXPECT_EQ(GetId(record->Buffer()), 1);
  table->DataFile().ReleaseRecord(record);

  std::ifstream stream(PathOf("SAFE.DAT"), std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes.find("Sesame"), std::string::npos);
  EXPECT_EQ(bytes.find("Payroll"), std::string::npos);
  EXPECT_EQ(bytes.find("NAME"), std::string::npos);
}

}  // namespace
