// The table's caches as cursors meet them: what they hold stays within the
// session's sizes, a walk done once is served from memory, and memory never
// hides another process's change from an operation that must look.

#include <algorithm>

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
  // One step of a scan (GetNextRecord): the ID and name it read, appended.
  static bool Step(TDataCursor& cursor, std::vector<int32_t>& ids, std::vector<std::string>& names) {
    std::vector<uint8_t> record(cursor.CursorRecordSize());
    if (cursor.GetNextRecord(record.data()) != 0) return false;
    ids.push_back(IntField(cursor, record.data(), 1));
    names.push_back(NameOf(cursor));
    return true;
  }
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
    cursor.Close(TTemporaryContents::Discard);
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

// A scan's step served from the records its reads took ahead still looks
// first: under strict detection a row another process put just ahead of
// it is met, and the rows after it follow in order.
TEST_F(CursorCacheTest, UnderStrictDetectionAScanMeetsARowAnotherProcessPutAheadOfIt) {
  CreateGroups("ROWS");
  TDataCursor& cursor = OpenCursor("ROWS");
  std::vector<int32_t> expected;
  for (int32_t id = 2; id <= 2 * Rows; id += 2) {
    Insert(cursor, id, "N" + std::to_string(id), id % 100);
    expected.push_back(id);
  }
  session->StrictChangeDetection = true;
  cursor.SetIndexName("");
  cursor.SetToBegin();
  std::vector<int32_t> ids;
  std::vector<std::string> names;
  while (ids.size() < size_t(Rows) / 3) ASSERT_TRUE(Step(cursor, ids, names));
  const uint32_t reads = Data(cursor).PhysicalReads();
  ASSERT_TRUE(Step(cursor, ids, names));
  ASSERT_EQ(Data(cursor).PhysicalReads(), reads);  // the next row came from memory

  TableHelperProcess other;
  ASSERT_EQ(other.Ask("cursor " + folder + " ROWS shared"), 0u);
  const int32_t ahead = ids.back() + 3;
  ASSERT_EQ(other.Ask("insert " + std::to_string(ahead) + " 1"), 0u);
  while (Step(cursor, ids, names)) {
  }
  expected.insert(std::find(expected.begin(), expected.end(), ahead + 1), ahead);
  EXPECT_EQ(ids, expected);
  EXPECT_FALSE(cursor.Table()->HoldsChangeCheckLock());
}

// Without strict detection, a change made by another cursor of this
// process between two steps of a scan is seen by the second: a row deleted
// ahead is not met, a row changed ahead reads changed, in every order.
TEST_F(CursorCacheTest, AScanSeesWhatAnotherCursorOfTheProcessChangedAheadOfIt) {
  TDataCursor& cursor = OpenRows();
  TDataCursor& writer = OpenCursor("ROWS");
  struct TCase {
    const char* index;
    int32_t gone;  // rows the scan has not met when the writer changes them
    int32_t changed;
  };
  int32_t rows = Rows;
  for (const TCase& test : {TCase{"", 299, 298}, TCase{"ByGrp", 297, 296}}) {
    SCOPED_TRACE(test.index);
    cursor.SetIndexName(test.index);
    cursor.SetToBegin();
    std::vector<int32_t> ids;
    std::vector<std::string> names;
    while (ids.size() < size_t(Rows) / 3) ASSERT_TRUE(Step(cursor, ids, names));
    ASSERT_EQ(std::count(ids.begin(), ids.end(), test.gone) + std::count(ids.begin(), ids.end(), test.changed), 0);
    ASSERT_TRUE(Find(writer, test.gone));
    writer.DeleteRecord(Current(writer).data());
    --rows;
    ASSERT_TRUE(Find(writer, test.changed));
    const std::string name = "Changed" + std::to_string(test.changed);
    std::vector<uint8_t> record = Row(writer, test.changed, name, test.changed % 100);
    writer.ModifyRecord(record.data());
    // The step after the change looks first: the count is the files' own.
    ASSERT_TRUE(Step(cursor, ids, names));
    EXPECT_EQ(cursor.GetRecordCount(), rows);
    while (Step(cursor, ids, names)) {
    }
    EXPECT_EQ(ids.size(), size_t(rows));
    EXPECT_EQ(std::count(ids.begin(), ids.end(), test.gone), 0);
    const auto at = std::find(ids.begin(), ids.end(), test.changed);
    ASSERT_NE(at, ids.end());
    EXPECT_EQ(names[size_t(at - ids.begin())], name);
  }
}

// An exact-case name over an index that ignores case: the index's stretch
// picks the rows of every case out, and each is read for the exact test.
// Those reads are kept in memory for the next evaluation, which must still
// tell the cases apart and still see another process's insert and this
// process's change of case.
TEST_F(CursorCacheTest, ExactCaseRowsPickedByACaseIgnoringIndexComeFromMemoryAndSeeChanges) {
  Create("ROWS", {{"ID", IntType}, {"NAME", StrType, 20}, {"GRP", IntType}},
         {{"", {1}}, {.Name = "ByName", .Fields = {2}, .Unique = false, .CaseInsensitive = true}});
  TDataCursor& cursor = OpenCursor("ROWS");
  // Every 40th row is named N1005 or n1005 by turns; far apart, each is read alone.
  for (int32_t id = 1; id <= 400; ++id)
    Insert(cursor, id, id % 40 != 0 ? "N" + std::to_string(id) : id % 80 == 0 ? "N1005" : "n1005", id % 100);
  struct TCase {
    const char* name;
    std::vector<int32_t> ids;
  };
  const TCase cases[] = {{"N1005", {80, 160, 240, 320, 400}}, {"n1005", {40, 120, 200, 280, 360}}};
  auto select = [&](const std::string& name) {
    TFilter* filter = cursor.Filters().AddFilter("UPPER(NAME) = 'N1005' AND NAME = '" + name + "'", {});
    cursor.Filters().ActivateFilter(filter);
    const int32_t count = cursor.GetRecordCount();
    std::vector<int32_t> ids = Walk(cursor);
    EXPECT_EQ(size_t(count), ids.size());
    cursor.Filters().DropFilter(filter);
    return ids;
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.name);
    EXPECT_EQ(select(test.name), test.ids);
    const uint32_t reads = Data(cursor).PhysicalReads();
    EXPECT_EQ(select(test.name), test.ids);
    ASSERT_EQ(Data(cursor).PhysicalReads(), reads);  // the second came from memory
  }

  TableHelperProcess other;
  ASSERT_EQ(other.Ask("cursor " + folder + " ROWS shared"), 0u);
  ASSERT_EQ(other.Ask("insert 1005 1"), 0u);  // named N1005
  EXPECT_EQ(select("N1005"), (std::vector<int32_t>{80, 160, 240, 320, 400, 1005}));
  ASSERT_EQ(other.Ask("closecursor"), 0u);

  TDataCursor& writer = OpenCursor("ROWS");
  ASSERT_TRUE(Find(writer, 80));
  std::vector<uint8_t> record = Row(writer, 80, "n1005", 80);
  writer.ModifyRecord(record.data());
  EXPECT_EQ(select("N1005"), (std::vector<int32_t>{160, 240, 320, 400, 1005}));
  EXPECT_EQ(select("n1005"), (std::vector<int32_t>{40, 80, 120, 200, 280, 360}));
}

}  // namespace
