// Record locks of a cursor against another process sharing the table.

#include "engCursorTestSupport.h"
#include "engCursorWriteTestSupport.h"
#include "engErrorCodes.h"
#include "engLockRetry.h"
#include "engTableTestSupport.h"

TEST_F(CursorTest, RecordLockedInAnotherProcessIsRefusedUntilItsHolderEnds) {
  CreatePeople("PEOPLE", {{"", {1}}});
  TDataCursor& cursor = OpenCursor("PEOPLE");
  for (int32_t id : {1, 2, 3}) Append(cursor, Person(cursor, id, "n"));
  session->LockRetryCount = 1;
  session->LockWaitTime = 300;
  cursor.SetToBegin();
  ASSERT_EQ(cursor.GetNextRecord(nullptr), 0);
  const uint32_t first = cursor.CurrentRecordNumber();

  {
    TableHelperProcess holder;
    ASSERT_EQ(holder.Ask("open " + folder + " PEOPLE shared"), 0u);
    ASSERT_EQ(holder.Ask("lockrecord " + std::to_string(first)), 0u);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ErrorOf([&] { cursor.LockRecord(0); }), EngErrRecordInUse);
    EXPECT_GE(MillisecondsSince(start), 300);
    EXPECT_FALSE(cursor.HoldsRecordLock(first));
    EXPECT_FALSE(cursor.Table()->HoldsRecordLock(first));
    EXPECT_FALSE(cursor.Table()->HoldsChangeCheckLock());
    holder.Exit();
  }
  const auto start = std::chrono::steady_clock::now();
  std::vector<uint8_t> record(cursor.CursorRecordSize());
  ASSERT_EQ(cursor.GetRecord(record.data()), 0);
  EXPECT_EQ(cursor.GetRecord(record.data(), TRecordPurpose::Edit), 0);
  EXPECT_LT(MillisecondsSince(start), 300);
  EXPECT_TRUE(cursor.HoldsRecordLock(first));

  // The other way round: this cursor's lock keeps another process out.
  TableHelperProcess other;
  ASSERT_EQ(other.Ask("retry 0 0"), 0u);
  ASSERT_EQ(other.Ask("open " + folder + " PEOPLE shared"), 0u);
  EXPECT_EQ(other.Ask("lockrecord " + std::to_string(first)), unsigned(EngErrRecordInUse));
  cursor.UnlockRecord(0);
  EXPECT_EQ(other.Ask("lockrecord " + std::to_string(first)), 0u);
  EXPECT_EQ(other.Ask("unlockrecord " + std::to_string(first)), 0u);
}

// Each operation waits for another process's lock as long as the session's
// settings say when it starts, and leaves nothing of them behind for the
// engine's own waits after it.
TEST_F(CursorTest, AnOperationMeetingAWritersLockWaitsAsTheSessionSaysWhenItStarts) {
  CreatePeople("PEOPLE", {{"", {1}}});
  TDataCursor& cursor = OpenCursor("PEOPLE");
  for (int32_t id : {1, 2, 3}) Append(cursor, Person(cursor, id, "n"));
  cursor.SetToBegin();
  session->StrictChangeDetection = true;
  TableHelperProcess writer;
  ASSERT_EQ(writer.Ask("open " + folder + " PEOPLE shared"), 0u);
  ASSERT_EQ(writer.Ask("lockwrite"), 0u);
  auto ownWaitTries = [] {
    int tries = 0;
    RetryLock([&] { return ++tries < 0; }, 5, 0);
    return tries;
  };

  session->LockRetryCount = 0;
  session->LockWaitTime = 30;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ErrorOf([&] { cursor.GetNextRecord(nullptr); }), EngErrLockFailure);
  // Ten tries, three milliseconds apart; far from the defaults' whole wait.
  EXPECT_GE(MillisecondsSince(start), 27);
  EXPECT_LT(MillisecondsSince(start), 1000);
  EXPECT_EQ(ownWaitTries(), 5);

  session->LockWaitTime = 300;
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(ErrorOf([&] { cursor.GetNextRecord(nullptr); }), EngErrLockFailure);
  EXPECT_GE(MillisecondsSince(start), 297);
  EXPECT_EQ(ownWaitTries(), 5);

  ASSERT_EQ(writer.Ask("unlockwrite"), 0u);
  EXPECT_EQ(cursor.GetNextRecord(nullptr), 0);
  EXPECT_EQ(IdOf(cursor), 1);
  EXPECT_EQ(ownWaitTries(), 5);
}

// A strict reader beside another process that appends without a pause:
// each read lock waits out the writer's change of the moment and then sees
// the whole state committed before it, the newest row last, none missing.
TEST_F(CursorWriteTest, AStrictReaderBesideAnEndlessWriterSeesEveryStateWhole) {
  constexpr int32_t Target = 200;
  CreateGroups("ROWS");
  TDataCursor& cursor = OpenCursor("ROWS");
  session->StrictChangeDetection = true;
  TableHelperProcess writer;
  ASSERT_EQ(writer.Ask("cursor " + folder + " ROWS shared"), 0u);
  ASSERT_EQ(writer.Ask("insertendless 1 1"), 0u);
  int32_t newest = 0;
  for (int64_t poll = 0; newest < Target; ++poll) {
    ASSERT_LT(poll, 1'000'000) << "the writer stopped at " << newest;
    cursor.BeginRead();
    cursor.SetToEnd();
    ASSERT_EQ(cursor.GetPriorRecord(nullptr), 0);
    const int32_t last = IdOf(cursor);
    const int32_t count = cursor.GetRecordCount();
    cursor.EndRead();
    ASSERT_EQ(last, count);
    ASSERT_GE(last, newest);
    newest = last;
  }
  writer.Kill();
}
