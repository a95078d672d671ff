// Reading records through a cursor, record locks between the cursors of
// one process, the table lock brackets, and cursor twins.

#include <chrono>

#include "engCursorRecords.h"
#include "engCursorTestSupport.h"
#include "engErrorCodes.h"

namespace {

const std::vector<TIndexSpec> PrimaryOnId = {{"", {1}}, {"BYNAME", {2}, false}};

// Writes a new name into the record, as another cursor's change would.
void ChangeName(TDataCursor& cursor, uint32_t number, const char* name) {
  TDataTable* table = cursor.Table();
  table->LockWrite();
  TRecord* record = nullptr;
  table->DataFile().GetRecord(nullptr, number, {}, record);
  cursor.PutTableField(2, record->Buffer(), name);
  record->SetModified(true);
  table->DataFile().ReleaseRecord(record);
  table->WriteHeaders({.ForceData = true, .ForceIndex = true});
  table->UnlockWrite();
}

int32_t IdIn(TDataCursor& cursor, const std::vector<uint8_t>& record) {
  int32_t id = 0;
  bool blank = true;
  cursor.GetTableField(1, record.data(), blank, &id);
  return blank ? -1 : id;
}

bool AllZero(const std::vector<uint8_t>& bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; });
}

class CursorRecordsTest : public CursorTest {
protected:
  std::vector<uint32_t> slots;

  // PEOPLE with IDs 10, 20, ..., 50; the caller's cursor on it.
  TDataCursor& People(bool natural = false) {
    if (natural) Create("PEOPLE", {{"ID", IntType}, {"NAME", StrType, 20}}, {});
    else CreatePeople("PEOPLE", PrimaryOnId);
    TDataCursor& cursor = OpenCursor("PEOPLE");
    for (int32_t id : {30, 10, 50, 20, 40}) slots.push_back(Append(cursor, Person(cursor, id, "n")));
    cursor.SetToBegin();
    return cursor;
  }
  std::vector<uint8_t> Buffer(TDataCursor& cursor) { return std::vector<uint8_t>(cursor.CursorRecordSize(), 0xAA); }
};

}  // namespace

TEST_F(CursorRecordsTest, ReadsWalkBothWaysAndReportTheCracks) {
  for (bool natural : {false, true}) {
    SCOPED_TRACE(natural ? "natural order" : "index order");
    TDataCursor& cursor = People(natural);
    const std::vector<int32_t> order = natural ? std::vector<int32_t>{30, 10, 50, 20, 40}
                                               : std::vector<int32_t>{10, 20, 30, 40, 50};
    std::vector<uint8_t> record = Buffer(cursor);
    EXPECT_EQ(cursor.GetRecord(record.data()), EngErrBeginOfFile);
    EXPECT_TRUE(AllZero(record));

    std::vector<int32_t> forward;
    while (cursor.GetNextRecord(record.data()) == 0) forward.push_back(IdIn(cursor, record));
    EXPECT_EQ(forward, order);
    EXPECT_TRUE(AllZero(record));
    EXPECT_EQ(cursor.GetRecord(nullptr), EngErrEndOfFile);

    std::vector<int32_t> backward;
    int32_t result = 0;
    while ((result = cursor.GetPriorRecord(record.data())) == 0) backward.push_back(IdIn(cursor, record));
    EXPECT_EQ(result, EngErrBeginOfFile);
    EXPECT_EQ(backward, std::vector<int32_t>(order.rbegin(), order.rend()));

    // The record read is the one on disk now, not the one last loaded.
    EXPECT_EQ(cursor.GetNextRecord(record.data()), 0);
    ChangeName(cursor, cursor.CurrentRecordNumber(), "changed");
    EXPECT_EQ(cursor.GetRecord(record.data()), 0);
    char name[32] = {};
    bool blank = true;
    cursor.GetTableField(2, record.data(), blank, name);
    EXPECT_STREQ(name, "changed");
    EXPECT_EQ(cursor.GetPhysicalRecordCount(), 5u);

    cursors.clear();
    slots.clear();
    NewCursor("PEOPLE").DeleteTable();
  }
  CreatePeople("EMPTY", PrimaryOnId);
  TDataCursor& empty = OpenCursor("EMPTY");
  std::vector<uint8_t> record = Buffer(empty);
  EXPECT_EQ(empty.GetRecord(record.data(), TRecordPurpose::Edit), EngErrNoCurrentRecord);
  EXPECT_TRUE(AllZero(record));
  EXPECT_EQ(empty.GetNextRecord(nullptr), EngErrEndOfFile);
  EXPECT_EQ(empty.GetPriorRecord(nullptr), EngErrBeginOfFile);
  EXPECT_EQ(empty.GetBlobFileEnd(), 0u);
}

TEST_F(CursorRecordsTest, RecordLocksBetweenCursorsOfOneProcess) {
  // Waiting for a lock held in this process would take seconds.
  session->LockRetryCount = 3;
  session->LockWaitTime = 1000;
  TDataCursor& first = People();
  TDataCursor& second = OpenCursor("PEOPLE");
  std::vector<uint8_t> record = Buffer(first);
  ASSERT_EQ(first.GetNextRecord(record.data()), 0);
  ASSERT_EQ(second.GetNextRecord(nullptr), 0);
  const uint32_t number = first.CurrentRecordNumber();

  EXPECT_EQ(first.GetRecord(record.data(), TRecordPurpose::Edit), 0);
  EXPECT_TRUE(first.HoldsRecordLock(number));
  // The lock's change check is over with the call: other processes' writers may go on.
  EXPECT_FALSE(first.Table()->HoldsChangeCheckLock());

  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ErrorOf([&] { second.LockRecord(0); }), EngErrRecordInUse);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
  EXPECT_EQ(ErrorOf([&] { second.GetRecord(nullptr, TRecordPurpose::Edit); }), EngErrRecordInUse);
  // Nor may it release the lock the first cursor holds.
  EXPECT_EQ(ErrorOf([&] { second.UnlockRecord(number); }), EngErrUnlock);
  EXPECT_TRUE(first.Table()->HoldsRecordLock(number));

  // The holder locks its record again on the way to changing it; one unlock releases it.
  first.LockRecord(number);
  first.UnlockRecord(0);
  EXPECT_FALSE(first.HoldsRecordLock(number));
  EXPECT_EQ(ErrorOf([&] { first.UnlockRecord(number); }), EngErrUnlock);
  second.LockRecord(0);
  EXPECT_TRUE(second.HoldsRecordLock(number));
  second.UnlockRecord(number);
  EXPECT_FALSE(first.Table()->HoldsRecordLock(number));
  EXPECT_EQ(ErrorOf([&] { first.LockRecord(1000); }), 0);
  first.UnlockRecord(1000);
}

TEST_F(CursorRecordsTest, ClosingACursorReleasesItsRecordLocksWhileTheTableStaysOpen) {
  session->LockRetryCount = 0;
  TDataCursor& first = People();
  TDataCursor& second = OpenCursor("PEOPLE");
  ASSERT_EQ(first.GetNextRecord(nullptr), 0);
  const uint32_t number = first.CurrentRecordNumber();
  first.LockRecord(number);
  first.Close(TTemporaryContents::Keep);
  EXPECT_FALSE(second.Table()->HoldsRecordLock(number));
  EXPECT_EQ(ErrorOf([&] { second.LockRecord(number); }), 0);
  second.UnlockRecord(number);
}

TEST_F(CursorRecordsTest, ReadForEditingFailsOnAChangedRecordAndKeepsNoLock) {
  TDataCursor& reader = People();
  TDataCursor& other = OpenCursor("PEOPLE");
  std::vector<uint8_t> record = Buffer(reader);
  ASSERT_EQ(reader.GetNextRecord(record.data()), 0);
  const uint32_t number = reader.CurrentRecordNumber();
  ChangeName(other, number, "other");

  EXPECT_EQ(ErrorOf([&] { reader.GetRecord(record.data(), TRecordPurpose::Edit); }), EngErrRecordChanged);
  EXPECT_FALSE(reader.HoldsRecordLock(number));
  EXPECT_FALSE(reader.Table()->HoldsRecordLock(number));
  other.SetToBegin();
  ASSERT_EQ(other.GetNextRecord(nullptr), 0);
  other.LockRecord(0);
  other.UnlockRecord(0);

  // Read again, the record may be locked for editing.
  ASSERT_EQ(reader.GetRecord(record.data()), 0);
  EXPECT_EQ(reader.GetRecord(record.data(), TRecordPurpose::Edit), 0);
  EXPECT_TRUE(reader.HoldsRecordLock(number));
  reader.UnlockRecord(0);
}

TEST_F(CursorRecordsTest, TableLockBracketsFollowChangesOfOthers) {
  TDataCursor& cursor = People();
  TDataCursor& other = OpenCursor("PEOPLE");
  TDataTable* table = cursor.Table();
  EXPECT_FALSE(cursor.BeginRead());
  EXPECT_TRUE(table->HoldsReadLock());
  cursor.EndRead();
  EXPECT_FALSE(table->HoldsReadLock());

  Append(other, Person(other, 60, "new"));
  EXPECT_TRUE(cursor.BeginWrite());
  EXPECT_TRUE(table->HoldsWriteLock());
  EXPECT_EQ(cursor.GetRecordCount(), 6);
  cursor.EndWrite();
  EXPECT_FALSE(table->HoldsWriteLock());
  EXPECT_FALSE(cursor.BeginWrite());
  cursor.EndWrite();
}

TEST_F(CursorRecordsTest, TwinsStandWhereTheirOriginalStands) {
  TDataCursor& cursor = People();
  const int32_t low = 20, high = 40;
  cursor.SetRange(Person(cursor, low, "").data(), 1, Person(cursor, high, "").data(), 1);
  ASSERT_EQ(Walk(cursor), (std::vector<int32_t>{20, 30, 40}));

  // A twin of a cursor after its last record stands there too.
  cursors.emplace_back(cursor.Clone());
  TDataCursor& atEnd = *cursors.back();
  EXPECT_TRUE(atEnd.AtEnd() && !atEnd.AtBeginning());

  cursor.SetToBegin();
  cursor.MoveBy(2);
  ASSERT_EQ(IdOf(cursor), 30);
  std::vector<uint8_t> mark(size_t(cursor.GetBookmarkSize()));
  cursor.GetBookmark(mark.data());
  cursors.emplace_back(cursor.Clone());
  TDataCursor& twin = *cursors.back();
  EXPECT_EQ(twin.GetIndexNo(), 0);
  EXPECT_EQ(IdOf(twin), 30);
  EXPECT_EQ(Walk(twin), (std::vector<int32_t>{20, 30, 40}));
  EXPECT_TRUE(twin.GotoBookmark(mark.data()));
  EXPECT_EQ(IdOf(twin), 30);

  // A record outside the twin's range is not found.
  TDataCursor& whole = OpenCursor("PEOPLE");
  whole.SetToEnd();
  whole.MoveBy(-1);
  ASSERT_EQ(IdOf(whole), 50);
  EXPECT_EQ(twin.SyncWith(whole), EngErrRecordNotFound);
  whole.MoveBy(-1);
  EXPECT_EQ(twin.SyncWith(whole), 0);
  EXPECT_EQ(IdOf(twin), 40);
}

TEST_F(CursorRecordsTest, TwinsInNaturalOrderAndOfAnExclusiveCursor) {
  Create("LOG", {{"ID", IntType}, {"NAME", StrType, 20}}, {});
  TDataCursor& cursor = OpenCursor("LOG", true);
  for (int32_t id : {7, 3, 9}) Append(cursor, Person(cursor, id, "n"));
  // Nobody else could have added them to an exclusive table.
  cursor.RefreshPosition();
  cursor.SetToEnd();
  cursor.MoveBy(-2);
  ASSERT_EQ(IdOf(cursor), 3);
  cursors.emplace_back(cursor.Clone());
  TDataCursor& twin = *cursors.back();
  EXPECT_TRUE(twin.OpenOptions().Exclusive && twin.IsOverrideExclusive());
  EXPECT_TRUE(twin.IsNaturalOrder());
  EXPECT_EQ(IdOf(twin), 3);
  EXPECT_EQ(twin.CurrentRecordNumber(), cursor.CurrentRecordNumber());
  // The twins of an exclusive table still keep each other's record locks.
  cursor.LockRecord(0);
  EXPECT_EQ(ErrorOf([&] { twin.LockRecord(0); }), EngErrRecordInUse);
  cursor.UnlockRecord(0);
  twin.LockRecord(0);
  twin.UnlockRecord(0);
}

// A scan's steps over several records hand out what single steps do, in
// the same order: records a filter hides in short and long gaps left out,
// a change another cursor made between two steps seen, and the cursor left
// on the last record handed out (index order: CursorWalkOrderTest).
TEST_F(CursorRecordsTest, StepsOverSeveralRecordsHandOutWhatSingleStepsDo) {
  Create("MANY", {{"ID", IntType}, {"NAME", StrType, 20}}, {});
  TDataCursor& cursor = OpenCursor("MANY");
  constexpr int32_t Count = 5000;
  for (int32_t id = 1; id <= Count; ++id) cursor.InsertRecord(Person(cursor, id, "n").data());
  // Hidden: every third record, and runs of 40 (longer than a read goes
  // across) from 1000 and 3000.
  cursor.Filters().ActivateFilter(cursor.Filters().AddFilter([&cursor](const uint8_t* record, uint32_t) {
    int32_t id = 0;
    bool blank = true;
    cursor.GetTableField(1, record, blank, &id);
    return id % 3 != 0 && !(id >= 1000 && id < 1040) && !(id >= 3000 && id < 3040);
  }));
  const std::vector<int32_t> expected = Walk(cursor);
  ASSERT_EQ(expected.size(), size_t(Count - Count / 3 - 27 - 26));

  TDataCursor& other = OpenCursor("MANY");
  TRecordBatch batch;
  std::vector<int32_t> ids;
  std::vector<std::string> names;
  int32_t batches = 0;
  cursor.SetToBegin();
  while (cursor.GetNextRecords(batch) == 0) {
    ++batches;
    ASSERT_GT(batch.Count(), 0);
    for (int32_t i = 0; i < batch.Count(); ++i) {
      std::vector<uint8_t> record(batch.Record(i), batch.Record(i) + cursor.CursorRecordSize());
      ids.push_back(IdIn(cursor, record));
      char name[32] = {};
      bool blank = true;
      cursor.GetTableField(2, record.data(), blank, name);
      names.push_back(name);
    }
    // The cursor stands on the last record handed out.
    EXPECT_EQ(cursor.CurrentRecordNumber(), batch.RecordNumber(batch.Count() - 1));
    EXPECT_EQ(IdOf(cursor), ids.back());
    if (batches == 1) ChangeName(other, 4000, "changed");
  }
  EXPECT_EQ(batch.Count(), 0);
  EXPECT_EQ(ids, expected);
  EXPECT_GT(batches, 1);
  EXPECT_LT(batches, int32_t(expected.size()) / 8);
  EXPECT_EQ(names[size_t(std::find(ids.begin(), ids.end(), 4000) - ids.begin())], "changed");
  EXPECT_EQ(cursor.GetRecord(nullptr), EngErrEndOfFile);

  // From the middle, a single step goes on after the batch's last record.
  cursor.SetToBegin();
  ASSERT_EQ(cursor.GetNextRecords(batch), 0);
  const size_t handed = size_t(batch.Count());
  std::vector<uint8_t> record = Buffer(cursor);
  ASSERT_EQ(cursor.GetNextRecord(record.data()), 0);
  EXPECT_EQ(IdIn(cursor, record), expected[handed]);

  // A computed field of the cursor's own is worked out for each record
  // handed out, as a step works it out.
  TExpTreePtr product = DoubledIdExpression();
  std::vector<TFieldDefinition> map = Definitions({{"ID", IntType}, {"NAME", StrType, 20}, {"DOUBLE", IntType}});
  MakeComputedField(map, 2, product.get());
  cursor.SetNoFilterUpdate(true);
  cursor.SetFieldMap(map, true);
  ASSERT_TRUE(cursor.HasComputedFields());
  cursor.SetToBegin();
  size_t checked = 0;
  while (cursor.GetNextRecords(batch) == 0)
    for (int32_t i = 0; i < batch.Count(); ++i, ++checked) {
      int32_t doubled = 0;
      bool blank = true;
      cursor.GetField(3, batch.Record(i), blank, &doubled);
      EXPECT_EQ(doubled, 2 * int32_t(batch.RecordNumber(i))) << batch.RecordNumber(i);
    }
  EXPECT_EQ(checked, expected.size());
}
