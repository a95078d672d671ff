// The lock protocol between two processes sharing real table files.

#include <thread>

#include "engErrorCodes.h"
#include "engTableTestSupport.h"

namespace {

class TableLockTest : public TableTest {
protected:
  std::string Open(const std::string& table, const char* mode) { return "open " + folder + " " + table + " " + mode; }
  std::string Probe(const std::string& file, int64_t offset, int64_t length) {
    return "probe " + PathOf(file) + " " + std::to_string(offset) + " " + std::to_string(length);
  }
};

TEST_F(TableLockTest, RecordHeldByAnotherProcessIsRefusedAfterRetriesAndGrantedOnceItExits) {
  CreateTable("ORDERS");
  TableHelperProcess helper;
  ASSERT_EQ(helper.Ask(Open("ORDERS", "shared")), 0u);
  ASSERT_EQ(helper.Ask("lockrecord 3"), 0u);
  TDataTable* table = OpenTable("ORDERS");

  session->LockRetryCount = 3;
  session->LockWaitTime = 20;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(RaisedCode([&] { table->LockRecord(3); }), EngErrRecordInUse);
  EXPECT_GE(MillisecondsSince(start), 60);
  EXPECT_FALSE(table->HoldsRecordLock(3));
  // The change check taken on the way is not left behind.
  EXPECT_FALSE(table->HoldsChangeCheckLock());
  EXPECT_FALSE(table->LockRecord(4));
  table->UnlockChangeCheck();

  helper.Exit();
  session->LockRetryCount = 0;
  EXPECT_FALSE(table->LockRecord(3));
  table->UnlockChangeCheck();
  EXPECT_TRUE(table->HoldsRecordLock(3));
}

TEST_F(TableLockTest, EachLockTakesItsOwnBytesOfItsFile) {
  CreateTable("ORDERS", true);
  TDataTable* table = OpenTable("ORDERS");
  TableHelperProcess helper;
  auto refused = [&](const std::string& file, int64_t offset, int64_t length) {
    return helper.Ask(Probe(file, offset, length)) == LockViolation;
  };
  auto tableLocksFree = [&] {
    return !refused("ORDERS.DAT", HeaderLockByte, 1) && !refused("ORDERS.IDX", ExclusiveRangeStart, ExclusiveRangeLength) &&
           !refused("ORDERS.BLB", ExclusiveRangeStart, ExclusiveRangeLength);
  };

  EXPECT_FALSE(table->LockRecord(5));
  table->UnlockChangeCheck();
  EXPECT_TRUE(refused("ORDERS.DAT", RecordLockByte(5), 1));
  EXPECT_FALSE(refused("ORDERS.DAT", RecordLockByte(4), 1));
  EXPECT_FALSE(refused("ORDERS.DAT", RecordLockByte(6), 1));
  EXPECT_TRUE(tableLocksFree());
  table->UnlockRecord(5);
  EXPECT_FALSE(refused("ORDERS.DAT", RecordLockByte(5), 1));
  EXPECT_EQ(RaisedCode([&] { table->UnlockRecord(5); }), EngErrUnlock);
  EXPECT_EQ(RaisedCode([&] { table->LockRecord(0); }), EngErrRecordInUse);
  EXPECT_EQ(RaisedCode([&] { table->UnlockRecord(0); }), EngErrUnlock);

  table->LockWrite();
  EXPECT_TRUE(refused("ORDERS.DAT", HeaderLockByte, 1));
  EXPECT_TRUE(refused("ORDERS.IDX", ExclusiveRangeStart, 1));
  EXPECT_TRUE(refused("ORDERS.IDX", ExclusiveRangeStart + ExclusiveRangeLength - 1, 1));
  EXPECT_TRUE(refused("ORDERS.BLB", ExclusiveRangeStart, ExclusiveRangeLength));
  table->UnlockWrite();
  EXPECT_TRUE(tableLocksFree());

  // A shared lock takes one byte of the exclusive range and leaves the header alone.
  table->LockRead();
  EXPECT_TRUE(refused("ORDERS.IDX", ExclusiveRangeStart, ExclusiveRangeLength));
  EXPECT_TRUE(refused("ORDERS.BLB", ExclusiveRangeStart, ExclusiveRangeLength));
  EXPECT_FALSE(refused("ORDERS.DAT", HeaderLockByte, 1));
  EXPECT_FALSE(table->LockChangeCheck());  // excluded while the read lock is held
  table->UnlockRead();
  EXPECT_TRUE(tableLocksFree());

  // Inside a transaction a record's unlock waits for the transaction lock.
  table->StartTransaction();
  EXPECT_TRUE(refused("ORDERS.DAT", HeaderLockByte, 1));
  EXPECT_FALSE(table->LockRecord(7));
  table->UnlockRecord(7);
  EXPECT_TRUE(table->HoldsRecordLock(7));
  EXPECT_TRUE(refused("ORDERS.DAT", RecordLockByte(7), 1));
  table->Commit(true);
  EXPECT_FALSE(table->HoldsRecordLock(7));
  EXPECT_FALSE(refused("ORDERS.DAT", RecordLockByte(7), 1));
  EXPECT_TRUE(tableLocksFree());
}

// A commit releases the records whose unlock waited for it, adjacent ones
// in one step, and nothing else: a record still held and the records around
// the runs stay as they were for another process.
TEST_F(TableLockTest, CommitReleasesExactlyTheDeferredRecordsForAnotherProcess) {
  CreateTable("ORDERS");
  TDataTable* table = OpenTable("ORDERS");
  TableHelperProcess helper;
  auto refused = [&](uint32_t record) {
    return helper.Ask(Probe("ORDERS.DAT", RecordLockByte(record), 1)) == LockViolation;
  };
  ASSERT_FALSE(table->LockRecord(2));
  table->UnlockChangeCheck();

  table->StartTransaction();
  for (uint32_t record : {3, 4, 5, 6, 9, 11, 12}) EXPECT_FALSE(table->LockRecord(record));
  for (uint32_t record : {3, 4, 5, 9, 12, 11}) table->UnlockRecord(record);
  for (uint32_t record : {2, 3, 4, 5, 6, 9, 11, 12}) EXPECT_TRUE(refused(record)) << record;
  table->Commit(true);

  for (uint32_t record : {3, 4, 5, 9, 11, 12}) {
    EXPECT_FALSE(refused(record)) << record;
    EXPECT_FALSE(table->HoldsRecordLock(record));
  }
  for (uint32_t record : {2, 6}) {
    EXPECT_TRUE(refused(record)) << record;
    EXPECT_TRUE(table->HoldsRecordLock(record));
  }
  EXPECT_FALSE(refused(1));
  EXPECT_FALSE(refused(7));
  EXPECT_FALSE(refused(10));
  EXPECT_FALSE(refused(13));
  EXPECT_FALSE(refused(0));  // the byte between the records and the header
  EXPECT_FALSE(helper.Ask(Probe("ORDERS.DAT", HeaderLockByte, 1)) == LockViolation);

  // Records locked after the others, below them and far above them, are
  // released as well, and those still held stay so.
  table->StartTransaction();
  for (uint32_t record : {900, 1}) EXPECT_FALSE(table->LockRecord(record));
  for (uint32_t record : {1, 900}) table->UnlockRecord(record);
  table->Commit(true);
  for (uint32_t record : {1, 900}) {
    EXPECT_FALSE(refused(record)) << record;
    EXPECT_FALSE(table->HoldsRecordLock(record));
  }
  for (uint32_t record : {2, 6}) EXPECT_TRUE(refused(record)) << record;

  // A lock gone from under the table fails the release, and only that one:
  // its neighbours in the run are freed all the same.
  table->StartTransaction();
  for (uint32_t record : {20, 21, 22}) EXPECT_FALSE(table->LockRecord(record));
  for (uint32_t record : {20, 21, 22}) table->UnlockRecord(record);
  ASSERT_TRUE(table->DataFile().UnlockRecord(21));
  EXPECT_EQ(RaisedCode([&] { table->Commit(true); }), EngErrUnlock);
  EXPECT_FALSE(table->InTransaction());
  for (uint32_t record : {20, 21, 22}) {
    EXPECT_FALSE(refused(record)) << record;
    EXPECT_FALSE(table->HoldsRecordLock(record));
  }

  // Closing releases the rest, as one run where they are adjacent.
  ASSERT_FALSE(table->LockRecord(7));
  table->UnlockChangeCheck();
  ASSERT_EQ(directory->CloseTable(table, true), 0);
  for (uint32_t record : {2, 6, 7}) EXPECT_FALSE(refused(record)) << record;
}

TEST_F(TableLockTest, ExclusiveOpenRefusesTheOtherProcessesOpenAndDelete) {
  CreateTable("ORDERS");
  TableHelperProcess helper;
  TDataTable* table = OpenTable("ORDERS", true);
  EXPECT_EQ(helper.Ask(Open("ORDERS", "shared")), 11013u);
  EXPECT_EQ(helper.Ask("delete " + folder + " ORDERS"), 11013u);
  ASSERT_EQ(directory->CloseTable(table, false), 0);
  EXPECT_EQ(helper.Ask(Open("ORDERS", "exclusive")), 0u);

  EXPECT_EQ(RaisedCode([&] { OpenTable("ORDERS"); }), 11013);
  EXPECT_EQ(directory->TableCount(), 0);
  EXPECT_EQ(RaisedCode([&] { directory->DeleteTable("ORDERS", false); }), 11013);
  EXPECT_EQ(helper.Ask("close"), 0u);
  EXPECT_EQ(directory->DeleteTable("ORDERS", false), 0);
  EXPECT_FALSE(directory->TableExists("ORDERS", false));
}

// A lock call that fails at a later step lets go of what it took before, so
// the other process is not kept waiting until the table closes. The BLOB
// step fails only after its full 8193 tries, so both cases run at once.
TEST_F(TableLockTest, ReadAndWriteLocksFailingAtTheBlobFileReleaseWhatTheyTook) {
  CreateTable("WRITER", true);
  CreateTable("READER", true);
  TableHelperProcess helper;
  for (const char* blob : {"WRITER.BLB", "READER.BLB"})
    ASSERT_EQ(helper.Ask("hold " + PathOf(blob) + " " + std::to_string(ExclusiveRangeStart) + " " +
                         std::to_string(ExclusiveRangeLength)),
              0u);
  TDataTable* writer = OpenTable("WRITER");
  TDataSession* readerSession = nullptr;
  CreateEngineSession(readerSession);
  TDataTable* reader = OpenTable(readerSession->OpenDirectory("", folder), "READER");

  uint16_t readFailure = 0;
  std::thread readerThread([&] { readFailure = RaisedCode([&] { reader->LockRead(); }); });
  EXPECT_EQ(RaisedCode([&] { writer->LockWrite(); }), EngErrLockFailure);
  readerThread.join();
  EXPECT_EQ(readFailure, EngErrLockFailure);

  EXPECT_FALSE(writer->HoldsWriteLock());
  EXPECT_FALSE(reader->HoldsReadLock());
  EXPECT_EQ(helper.Ask(Probe("WRITER.DAT", HeaderLockByte, 1)), 0u);
  EXPECT_EQ(helper.Ask(Probe("WRITER.IDX", ExclusiveRangeStart, ExclusiveRangeLength)), 0u);
  EXPECT_EQ(helper.Ask(Probe("READER.IDX", ExclusiveRangeStart, ExclusiveRangeLength)), 0u);
  FreeEngineSession(readerSession);
}

}  // namespace
