// Change detection through the header change counts, and the table's own
// transactions. Two sessions of one process stand for two users: each has
// its own table object over the same files.

#include <unistd.h>

#include <thread>

#include "engErrorCodes.h"
#include "engTableTestSupport.h"

namespace {

class TableChangeTest : public TableTest {
protected:
  TDataSession* other = nullptr;
  TDataDirectory* theirDirectory = nullptr;
  TDataTable* mine = nullptr;
  TDataTable* theirs = nullptr;

  void ShareTable(bool withBlob) {
    CreateTable("ORDERS", withBlob);
    CreateEngineSession(other);
    mine = OpenTable("ORDERS");
    theirDirectory = other->OpenDirectory("", folder);
    theirs = OpenTable(theirDirectory, "ORDERS");
  }
  void TearDown() override {
    FreeEngineSession(other);
    TableTest::TearDown();
  }
  // Their change of one file's header, under their write lock.
  template <typename Change>
  void TheyChange(Change change) {
    theirs->LockWrite();
    change();
    theirs->UnlockWrite();
  }
};

TEST_F(TableChangeTest, AnotherUsersWriteIsSeenOnceThroughTheChangeCounts) {
  ShareTable(false);
  EXPECT_FALSE(mine->CheckForChanges());
  AppendRecord(theirs, 1);
  EXPECT_TRUE(mine->CheckForChanges());
  EXPECT_FALSE(mine->CheckForChanges());
  EXPECT_EQ(mine->DataFile().PhysicalRecordCount(), 1u);
  EXPECT_EQ(mine->IndexFile().GetChangeCount(), theirs->IndexFile().GetChangeCount());

  // Without strict detection, locking a record checks first.
  AppendRecord(theirs, 2);
  EXPECT_TRUE(mine->LockRecord(1));
  EXPECT_TRUE(mine->HoldsChangeCheckLock());
  mine->UnlockChangeCheck();
  mine->UnlockRecord(1);

  // With it, the cursor checks before each operation and the lock does not.
  session->StrictChangeDetection = true;
  AppendRecord(theirs, 3);
  EXPECT_FALSE(mine->LockRecord(1));
  EXPECT_FALSE(mine->HoldsChangeCheckLock());
  mine->UnlockRecord(1);
  EXPECT_TRUE(mine->LockChangeCheck());
  mine->UnlockChangeCheck();
  EXPECT_EQ(mine->DataFile().PhysicalRecordCount(), 3u);
}

TEST_F(TableChangeTest, AChangedBlobHeaderAloneKeepsTheRecordCache) {
  ShareTable(true);
  AppendRecord(theirs, 1);
  EXPECT_TRUE(mine->CheckForChanges());
  TRecord* record = nullptr;
  ASSERT_TRUE(mine->DataFile().GetRecord(nullptr, 1, {}, record));
  mine->DataFile().ReleaseRecord(record);
  ASSERT_EQ(mine->DataFile().CachedRecordCount(), 1);

  TheyChange([&] { theirs->BlobFile().WriteHeader(true); });
  EXPECT_TRUE(mine->CheckForChanges());
  EXPECT_EQ(mine->DataFile().CachedRecordCount(), 1);

  TheyChange([&] { theirs->IndexFile().WriteHeader(true); });
  EXPECT_TRUE(mine->CheckForChanges());
  EXPECT_EQ(mine->DataFile().CachedRecordCount(), 0);
}

// A check that finds nothing looks at the counts without reading the
// headers; each count still has to be looked at on its own.
TEST_F(TableChangeTest, EachFilesCountMovedAloneIsSeenByTheNextCheck) {
  ShareTable(true);
  EXPECT_FALSE(mine->CheckForChanges());
  const auto seenOnce = [&] { return mine->CheckForChanges() && !mine->CheckForChanges(); };
  TheyChange([&] { theirs->DataFile().WriteHeader(true); });
  EXPECT_TRUE(seenOnce());
  EXPECT_EQ(mine->DataFile().ChangeCount(), theirs->DataFile().ChangeCount());
  TheyChange([&] { theirs->IndexFile().WriteHeader(true); });
  EXPECT_TRUE(seenOnce());
  TheyChange([&] { theirs->BlobFile().WriteHeader(true); });
  EXPECT_TRUE(seenOnce());
  EXPECT_EQ(mine->BlobFile().GetChangeCount(), theirs->BlobFile().GetChangeCount());
}

// Another program that cuts a table file to nothing under an open table
// gets the table an engine error at its next check, not a bus error.
TEST_F(TableChangeTest, AFileCutToNothingUnderAnOpenTableFailsTheNextCheck) {
  ShareTable(true);
  EXPECT_FALSE(mine->CheckForChanges());
  ASSERT_EQ(truncate(PathOf("ORDERS.DAT").c_str(), 0), 0);
  EXPECT_EQ(RaisedCode([&] { mine->CheckForChanges(); }), EngErrHeaderCorrupt);
  ASSERT_EQ(truncate(PathOf("ORDERS.BLB").c_str(), 0), 0);
  EXPECT_NE(RaisedCode([&] { mine->CheckForChanges(); }), 0);
}

TEST_F(TableChangeTest, AReaderThatMeetsAWritersLockWaitsItOutAndThenSeesTheChange) {
  ShareTable(true);
  theirs->LockWrite();
  bool changed = false;
  std::thread reader([&] { changed = mine->LockRead(); });
  AppendRecord(theirs, 1);  // under the lock already held, which it releases
  reader.join();
  EXPECT_TRUE(changed);
  EXPECT_TRUE(mine->HoldsReadLock());
  EXPECT_EQ(mine->DataFile().PhysicalRecordCount(), 1u);
  mine->UnlockRead();
}

TEST_F(TableChangeTest, AReadForACursorThatMeetsAChangeStartsOver) {
  ShareTable(false);
  AppendRecord(theirs, 1);
  EXPECT_TRUE(mine->CheckForChanges());
  AppendRecord(theirs, 2);
  TTestReader reader;
  TReadContext* cursor = &reader;
  TRecord* record = nullptr;
  EXPECT_FALSE(mine->DataFile().GetRecord(cursor, 1, {}, record));
  // The check's lock stays for the cursor's operation to release.
  EXPECT_TRUE(mine->HoldsChangeCheckLock());
  mine->UnlockChangeCheck();
  ASSERT_TRUE(mine->DataFile().GetRecord(cursor, 2, {}, record));
  EXPECT_EQ(GetId(record->Buffer()), 2);
  mine->DataFile().ReleaseRecord(record);
  mine->UnlockChangeCheck();
}

TEST_F(TableChangeTest, TransactionsWriteOnlyAtCommitAndDropTheirChangesOnRollback) {
  CreateTable("ORDERS");
  TDataTable* table = OpenTable("ORDERS", true);
  const auto dataBytes = [&] { return std::filesystem::file_size(PathOf("ORDERS.DAT")); };
  const auto emptySize = dataBytes();

  table->StartTransaction();
  AppendRecord(table, 1);
  AppendRecord(table, 2);
  EXPECT_EQ(dataBytes(), emptySize);
  EXPECT_TRUE(table->DataChanged());
  table->Rollback();
  EXPECT_FALSE(table->InTransaction());
  EXPECT_EQ(table->DataFile().PhysicalRecordCount(), 0u);

  table->StartTransaction();
  AppendRecord(table, 3);
  table->Commit(false);
  EXPECT_TRUE(table->InTransaction());
  EXPECT_GT(dataBytes(), emptySize);
  AppendRecord(table, 4);
  table->Commit(true);
  EXPECT_FALSE(table->InTransaction());
  ASSERT_EQ(directory->CloseTable(table, false), 0);

  table = OpenTable("ORDERS");
  EXPECT_EQ(table->DataFile().PhysicalRecordCount(), 2u);
}

// A failed sync may leave the records it could not write marked clean, so
// a commit tried again would report success for records never on disk:
// the file fails every commit until no session has it open and it is
// opened again, whichever thread ran the failed sync.
TEST_F(TableChangeTest, ACommitWhoseSyncFailedFailsAgainUntilTheFileIsReopened) {
  struct Case {
    const char* file;
    const char* syncedBy;
  };
  const Case cases[] = {{"ORDERS.DAT", "the committing thread"},
                        {"ORDERS.BLB", "the sync helper (the second file)"}};
  ShareTable(true);
  uint32_t records = 0;
  const auto commit = [](TDataTable* table) { return RaisedCode([&] { table->Commit(false); }); };
  for (const Case& test : cases) {
    SCOPED_TRACE(std::string(test.file) + ", synced by " + test.syncedBy);
    TSyncFaults faults;
    mine->StartTransaction();
    AppendRecord(mine, int32_t(++records));
    ASSERT_EQ(commit(mine), 0);
    AppendRecord(mine, int32_t(++records));
    faults.FailNextSync(PathOf(test.file));
    EXPECT_EQ(commit(mine), EngErrWriteFailed);
    EXPECT_TRUE(faults.Spent());
    EXPECT_EQ(commit(mine), EngErrWriteFailed);
    mine->Rollback();

    // Their table keeps the file open: reopening mine is no fresh start.
    ASSERT_EQ(directory->CloseTable(mine, false), 0);
    mine = OpenTable("ORDERS");
    mine->StartTransaction();
    EXPECT_EQ(commit(mine), EngErrWriteFailed);
    mine->Rollback();

    ASSERT_EQ(directory->CloseTable(mine, false), 0);
    ASSERT_EQ(theirDirectory->CloseTable(theirs, false), 0);
    mine = OpenTable("ORDERS");
    EXPECT_EQ(mine->DataFile().PhysicalRecordCount(), records);
    mine->StartTransaction();
    AppendRecord(mine, int32_t(++records));
    EXPECT_EQ(RaisedCode([&] { mine->Commit(true); }), 0);
    theirs = OpenTable(theirDirectory, "ORDERS");
    EXPECT_EQ(theirs->DataFile().PhysicalRecordCount(), records);
  }
}

}  // namespace
