// The table's caches as cursors meet them: what they hold stays within the
// session's sizes, a walk done once is served from memory, and memory never
// hides another process's change from an operation that must look.

#include "engCursorWriteTestSupport.h"
#include "engDataFile.h"
#include "engTableTestSupport.h"

namespace {

constexpr int32_t Rows = 300;

class CursorCacheTest : public CursorWriteTest {
protected:
  // The helper's rows: ID, "N<ID>", ID % 100.
  TDataCursor& OpenRows() {
    CreateGroups("ROWS");
    TDataCursor& cursor = OpenCursor("ROWS");
    for (int32_t id = 1; id <= Rows; ++id) Insert(cursor, id, "N" + std::to_string(id), id % 100);
    return cursor;
  }
  static const TDataFile& Data(TDataCursor& cursor) { return cursor.Table()->DataFile(); }
};

TEST_F(CursorCacheTest, CachedRecordsStayWithinTheSessionsSizeAndServeAWalkDoneBefore) {
  {
    TDataCursor& cursor = OpenRows();
    EXPECT_EQ(Walk(cursor).size(), size_t(Rows));
    // The default sizes hold this table: a second walk reads nothing.
    const uint32_t reads = Data(cursor).PhysicalReads();
    EXPECT_EQ(Walk(cursor).size(), size_t(Rows));
    cursor.SetIndexName("ByName");
    EXPECT_EQ(Walk(cursor).size(), size_t(Rows));
    EXPECT_EQ(Data(cursor).PhysicalReads(), reads);
    cursor.Close(true);
  }
  // Sizes are taken when the table opens.
  session->CacheSizes.RecordBytes = 2048;
  TDataCursor& cursor = OpenCursor("ROWS");
  const int32_t capacity = int32_t(session->CacheSizes.RecordBytes / Data(cursor).RecordSize());
  cursor.SetIndexName("ByGrp");
  EXPECT_EQ(Walk(cursor).size(), size_t(Rows));
  EXPECT_LE(Data(cursor).CachedRecordCount(), capacity);
  EXPECT_GT(Data(cursor).CachedRecordCount(), 0);
}

TEST_F(CursorCacheTest, StrictDetectionSeesAnotherProcessesChangeBetweenTwoOperationsServedFromMemory) {
  TDataCursor& cursor = OpenRows();
  session->StrictChangeDetection = true;
  ASSERT_TRUE(Find(cursor, 150));
  const uint32_t reads = Data(cursor).PhysicalReads();
  ASSERT_TRUE(Find(cursor, 150));
  ASSERT_EQ(Data(cursor).PhysicalReads(), reads);  // the second look-up came from memory

  TableHelperProcess other;
  ASSERT_EQ(other.Ask("cursor " + folder + " ROWS shared"), 0u);
  ASSERT_EQ(other.Ask("insert 301 2"), 0u);
  // The operation right after the change looks before it answers.
  EXPECT_TRUE(Find(cursor, 302));
  EXPECT_EQ(IdOf(cursor), 302);
  EXPECT_EQ(cursor.GetRecordCount(), Rows + 2);

  // A walk standing on the last row sees the row appended behind it.
  cursor.SetIndexName("");
  ASSERT_TRUE(Find(cursor, 302));
  ASSERT_EQ(other.Ask("insert 303 1"), 0u);
  cursor.MoveBy(1);
  ASSERT_TRUE(cursor.OnRecord());
  EXPECT_EQ(IdOf(cursor), 303);
  EXPECT_FALSE(cursor.Table()->HoldsChangeCheckLock());
}

TEST_F(CursorCacheTest, WithoutStrictDetectionARecordLockStillSeesTheChangeMemoryHid) {
  TDataCursor& cursor = OpenRows();
  ASSERT_TRUE(Find(cursor, Rows));
  TableHelperProcess other;
  ASSERT_EQ(other.Ask("cursor " + folder + " ROWS shared"), 0u);
  ASSERT_EQ(other.Ask("insert 301 1"), 0u);
  // Served from memory, the count is the one this process knew.
  EXPECT_EQ(cursor.GetRecordCount(), Rows);
  cursor.LockRecord(0);
  EXPECT_EQ(cursor.GetRecordCount(), Rows + 1);
  EXPECT_EQ(IdOf(cursor), Rows);
  cursor.UnlockRecord(0);
  EXPECT_TRUE(Find(cursor, 301));
}

}  // namespace
