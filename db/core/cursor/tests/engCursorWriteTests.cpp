#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "engCursorWriteTestSupport.h"
#include "engErrorCodes.h"
#include "engTableTestSupport.h"

namespace {

struct TRow {
  std::string Name;
  int32_t Group;
};

using TModel = std::map<int32_t, TRow>;

}  // namespace

class CursorRandomWriteTest : public CursorWriteTest {
protected:
  // Every order shows exactly the model's records, in its order.
  void ExpectTableIs(TDataCursor& cursor, const TModel& model) {
    std::vector<int32_t> ids;
    std::vector<std::string> names;
    for (const auto& [id, row] : model) {
      ids.push_back(id);
      names.push_back(row.Name);
    }
    std::sort(names.begin(), names.end());

    cursor.SetIndexName("");
    EXPECT_EQ(Walk(cursor), ids);
    EXPECT_EQ(cursor.GetRecordCount(), int32_t(model.size()));
    cursor.SetIndexName("ByName");
    EXPECT_EQ(WalkNames(cursor), names);
    cursor.SetIndexName("ByGrp");
    int32_t lastGroup = INT32_MIN;
    std::set<int32_t> seen;
    cursor.SetToBegin();
    for (cursor.MoveBy(1); cursor.OnRecord(); cursor.MoveBy(1)) {
      const int32_t id = IdOf(cursor);
      const int32_t group = IntField(cursor, cursor.GetCurrentRecordBuffer(), 3);
      ASSERT_TRUE(model.count(id));
      EXPECT_EQ(group, model.at(id).Group);
      EXPECT_GE(group, lastGroup);
      lastGroup = group;
      seen.insert(id);
    }
    EXPECT_EQ(seen.size(), model.size());
    cursor.SetIndexNo(NaturalOrderIndex);
    std::vector<int32_t> natural = Walk(cursor);
    std::sort(natural.begin(), natural.end());
    EXPECT_EQ(natural, ids);
    EXPECT_EQ(cursor.Table()->IndexFile().GetRecordCount(), model.size());
    cursor.Table()->DataFile().VerifyDataFile();
    cursor.Table()->IndexFile().VerifyIndexFile();
  }
};

TEST_F(CursorRandomWriteTest, RandomChangesKeepEveryIndexAndTheFilesInStep) {
  CreateGroups("RANDOM");
  TDataCursor& cursor = OpenCursor("RANDOM");
  std::mt19937 random(20261207);
  TModel model;
  int nameCounter = 0;
  auto freshName = [&] { return "N" + std::to_string(random() % 100000) + "_" + std::to_string(++nameCounter); };
  auto anyId = [&] {
    auto it = model.begin();
    std::advance(it, random() % model.size());
    return it->first;
  };
  for (int step = 0; step < 4000; ++step) {
    const uint32_t choice = random() % 10;
    if (model.size() < 50 || choice < 5) {
      int32_t id;
      do id = int32_t(random() % 20000) + 1;
      while (model.count(id));
      const TRow row{freshName(), int32_t(random() % 40)};
      Insert(cursor, id, row.Name, row.Group);
      model[id] = row;
    } else if (choice < 8) {
      const int32_t id = anyId();
      ASSERT_TRUE(Find(cursor, id));
      std::vector<uint8_t> record = Current(cursor);
      TRow row = model[id];
      row.Group = int32_t(random() % 40);
      if (random() % 2) row.Name = freshName();
      int32_t newId = id;
      if (random() % 4 == 0) {
        do newId = int32_t(random() % 20000) + 1;
        while (model.count(newId));
      }
      cursor.PutTableField(1, record.data(), &newId);
      cursor.PutTableField(2, record.data(), row.Name.c_str());
      cursor.PutTableField(3, record.data(), &row.Group);
      cursor.ModifyRecord(record.data(), {.GoToRecord = step % 3 == 0});
      model.erase(id);
      model[newId] = row;
    } else {
      const int32_t id = anyId();
      ASSERT_TRUE(Find(cursor, id));
      cursor.DeleteRecord(Current(cursor).data());
      model.erase(id);
    }
  }
  ASSERT_GT(model.size(), 1000u);
  ExpectTableIs(cursor, model);

  // And again from the files alone.
  cursor.Close(TTemporaryContents::Discard);
  TDataCursor& fresh = OpenCursor("RANDOM");
  ExpectTableIs(fresh, model);
  const uint32_t slots = fresh.GetPhysicalRecordCount();
  fresh.SwitchToIndex(DeletedIndexNo);
  EXPECT_GE(slots, model.size());
}

TEST_F(CursorWriteTest, FreeRecordsAreReusedLastFreedFirstUnlessTheTableHasNoPrimaryKey) {
  CreateGroups("KEYED");
  TDataCursor& keyed = OpenCursor("KEYED");
  for (int32_t id = 1; id <= 6; ++id) Insert(keyed, id, "K" + std::to_string(id), 0);
  for (int32_t id : {3, 5}) {
    ASSERT_TRUE(Find(keyed, id));
    keyed.DeleteRecord(Current(keyed).data());
  }
  EXPECT_EQ(keyed.GetPhysicalRecordCount(), 6u);
  std::vector<uint8_t> record = Row(keyed, 7, "K7", 0);
  keyed.InsertRecord(record.data(), {.GoToRecord = true});
  EXPECT_EQ(keyed.CurrentRecordNumber(), 5u);
  EXPECT_EQ(IdOf(keyed), 7);
  record = Row(keyed, 8, "K8", 0);
  keyed.InsertRecord(record.data(), {.GoToRecord = true});
  EXPECT_EQ(keyed.CurrentRecordNumber(), 3u);
  record = Row(keyed, 9, "K9", 0);
  keyed.InsertRecord(record.data(), {.GoToRecord = true});
  EXPECT_EQ(keyed.CurrentRecordNumber(), 7u);
  keyed.SetIndexName("");
  EXPECT_EQ(Walk(keyed), (std::vector<int32_t>{1, 2, 4, 6, 7, 8, 9}));

  CreateGroups("PLAIN", false);
  TDataCursor& plain = OpenCursor("PLAIN");
  for (int32_t id = 1; id <= 3; ++id) Insert(plain, id, "P" + std::to_string(id), 0);
  plain.SetToBegin();
  plain.MoveBy(1);
  plain.DeleteRecord(Current(plain).data());
  record = Row(plain, 4, "P4", 0);
  plain.InsertRecord(record.data(), {.GoToRecord = true});
  EXPECT_EQ(plain.CurrentRecordNumber(), 4u);
  EXPECT_EQ(plain.GetRecordCount(), 3);
  EXPECT_EQ(Walk(plain), (std::vector<int32_t>{2, 3, 4}));
}

TEST_F(CursorWriteTest, DuplicateKeysNameTheirIndexAndLeaveTheTableAsItWas) {
  CreateGroups("DUPS");
  TDataCursor& cursor = OpenCursor("DUPS");
  Insert(cursor, 1, "Ann", 1);
  Insert(cursor, 2, "Bob", 1);
  TDataTable* table = cursor.Table();
  const uint32_t dataChanges = table->DataFile().ChangeCount();
  const uint32_t indexChanges = table->IndexFile().GetChangeCount();

  EXPECT_EQ(ErrorOf([&] { Insert(cursor, 3, "Ann", 1); }), EngErrDuplicateKey);
  EXPECT_EQ(MessageOf([&] { Insert(cursor, 3, "Ann", 1); }), "Duplicate key found in index 'ByName' of table 'DUPS.DAT'");
  EXPECT_EQ(MessageOf([&] { Insert(cursor, 2, "Cid", 1); }), "Duplicate key found in index '' of table 'DUPS.DAT'");
  // Changing a record into another's key fails the same way.
  ASSERT_TRUE(Find(cursor, 2));
  std::vector<uint8_t> record = Current(cursor);
  cursor.PutTableField(2, record.data(), "Ann");
  EXPECT_EQ(ErrorOf([&] { cursor.ModifyRecord(record.data()); }), EngErrDuplicateKey);

  EXPECT_EQ(table->DataFile().ChangeCount(), dataChanges);
  EXPECT_EQ(table->IndexFile().GetChangeCount(), indexChanges);
  EXPECT_EQ(cursor.GetPhysicalRecordCount(), 2u);
  EXPECT_FALSE(cursor.HoldsRecordLock(3));
  EXPECT_FALSE(cursor.HoldsRecordLock(2));
  // The record number an insert locked is free for others again.
  TDataCursor& other = OpenCursor("DUPS");
  EXPECT_EQ(ErrorOf([&] { other.LockRecord(3); other.UnlockRecord(3); }), 0);
  cursor.SetIndexName("ByName");
  EXPECT_EQ(WalkNames(cursor), (std::vector<std::string>{"Ann", "Bob"}));
}

// The keys of a write are built over whatever bytes the last write's keys
// left in memory (long names, then short ones, the other way round, and
// writes refused part way through their checks): each key a write stores
// or checks is the record's alone, so every name is found where a fresh
// key says, every duplicate is refused and every free name taken.
TEST_F(CursorWriteTest, KeysBuiltOverAnEarlierWritesKeysAreTheRecordsAlone) {
  CreateGroups("STALE");
  TDataCursor& cursor = OpenCursor("STALE");
  const std::string longName(19, 'z');
  // Names of every length, unique by their ID.
  auto oddName = [](int32_t id) {
    return id % 3 == 0 ? std::string(size_t(4 + id % 12), 'z') + "o" + std::to_string(id) : "s" + std::to_string(id);
  };
  auto evenName = [](int32_t id) { return std::string(size_t(id % 15), 'y') + "e" + std::to_string(id); };
  for (int32_t id = 1; id <= 60; ++id) {
    Insert(cursor, id, id % 2 == 0 ? evenName(id) : oddName(id), id % 4);
    if (id % 5 == 0) {
      // The name of the ID before, taken; or one no record has.
      const std::string before = id % 2 == 0 ? oddName(id - 1) : evenName(id - 1);
      EXPECT_EQ(ErrorOf([&] { Insert(cursor, id + 1000, before, 1); }), EngErrDuplicateKey) << id;
      EXPECT_EQ(ErrorOf([&] { Insert(cursor, id + 1000, "free" + std::to_string(id), 1); }), 0) << id;
      EXPECT_EQ(ErrorOf([&] { Insert(cursor, id, "free", 1); }), EngErrDuplicateKey) << id;
    }
  }
  // Every record renamed to its short name, long names written over.
  std::vector<int32_t> ids;
  cursor.SetIndexName("");
  for (int32_t id : Walk(cursor)) ids.push_back(id);
  for (int32_t id : ids) {
    ASSERT_TRUE(Find(cursor, id));
    std::vector<uint8_t> record = Current(cursor);
    const std::string name = id > 1000 ? "t" + std::to_string(id) : "n" + std::to_string(id);
    cursor.PutTableField(2, record.data(), name.c_str());
    cursor.ModifyRecord(record.data());
  }
  EXPECT_EQ(ErrorOf([&] { Insert(cursor, 5000, "n7", 1); }), EngErrDuplicateKey);
  Insert(cursor, 5001, longName, 1);
  ids.push_back(5001);
  cursor.SetIndexName("ByName");
  for (int32_t id : ids) {
    const std::string name = id == 5001 ? longName : id > 1000 ? "t" + std::to_string(id) : "n" + std::to_string(id);
    const std::vector<uint8_t> key = Record(cursor, {nullptr, name.c_str()});
    ASSERT_TRUE(cursor.FindKey(key.data(), {.FieldCount = 1})) << name;
    EXPECT_EQ(IdOf(cursor), id) << name;
  }
  EXPECT_EQ(cursor.GetRecordCount(), int32_t(ids.size()));
  cursor.Table()->IndexFile().VerifyIndexFile();
}

// A change onto the key next to its own, before or after it, also where
// that key is the first or last of another leaf, is a duplicate.
TEST_F(CursorWriteTest, AChangeOntoANeighboursKeyIsADuplicate) {
  constexpr int32_t Rows = 400;
  CreateGroups("NEAR");
  TDataCursor& cursor = OpenCursor("NEAR");
  auto nameOf = [](int32_t id) { return "N" + std::to_string(10000 + id); };
  for (int32_t id = 1; id <= Rows; ++id) Insert(cursor, id, nameOf(id), 1);
  const uint32_t indexChanges = cursor.Table()->IndexFile().GetChangeCount();
  int duplicates = 0;
  for (int32_t id = 1; id <= Rows; ++id) {
    ASSERT_TRUE(Find(cursor, id));
    for (const int32_t neighbour : {id - 1, id + 1}) {
      if (neighbour < 1 || neighbour > Rows) continue;
      std::vector<uint8_t> record = Current(cursor);
      cursor.PutTableField(2, record.data(), nameOf(neighbour).c_str());
      duplicates += ErrorOf([&] { cursor.ModifyRecord(record.data()); }) == EngErrDuplicateKey;
    }
  }
  EXPECT_EQ(duplicates, 2 * (Rows - 1));
  EXPECT_EQ(cursor.Table()->IndexFile().GetChangeCount(), indexChanges);
}

TEST_F(CursorWriteTest, AChangeTouchesOnlyTheIndexesWhoseKeysMoved) {
  CreateGroups("MOVES");
  TDataCursor& cursor = OpenCursor("MOVES");
  Insert(cursor, 1, "Ann", 5);
  Insert(cursor, 2, "Bob", 6);
  TDataTable* table = cursor.Table();

  // A field that is in no key: the index header is not written.
  Create("WIDE", {{"ID", IntType}, {"NOTE", StrType, 10}}, {{"", {1}}});
  TDataCursor& wide = OpenCursor("WIDE");
  std::vector<uint8_t> row = Record(wide, {nullptr, "a"});
  int32_t id = 1;
  wide.PutTableField(1, row.data(), &id);
  wide.InsertRecord(row.data(), {.GoToRecord = true});
  const uint32_t indexChanges = wide.Table()->IndexFile().GetChangeCount();
  const uint32_t dataChanges = wide.Table()->DataFile().ChangeCount();
  row = Current(wide);
  wide.PutTableField(2, row.data(), "b");
  wide.ModifyRecord(row.data());
  EXPECT_EQ(wide.Table()->IndexFile().GetChangeCount(), indexChanges);
  EXPECT_GT(wide.Table()->DataFile().ChangeCount(), dataChanges);

  // A moved key, with the cursor following the record.
  ASSERT_TRUE(Find(cursor, 1));
  cursor.SetIndexName("ByGrp");
  std::vector<uint8_t> record = Current(cursor);
  const int32_t autoInc = GetRecordAutoInc(record.data());
  int32_t group = 9;
  cursor.PutTableField(3, record.data(), &group);
  cursor.ModifyRecord(record.data(), {.GoToRecord = true});
  EXPECT_EQ(IdOf(cursor), 1);
  EXPECT_EQ(cursor.GetSequenceNo(), 2);
  EXPECT_EQ(GetRecordAutoInc(cursor.GetCurrentRecordBuffer()), autoInc);
  EXPECT_EQ(Walk(cursor), (std::vector<int32_t>{2, 1}));
  EXPECT_EQ(table->IndexFile().GetRecordCount(), 2u);
}

TEST_F(CursorWriteTest, TheCursorHoldingARecordLockMayChangeAndDeleteItOthersMayNot) {
  CreateGroups("LOCKS");
  TDataCursor& editor = OpenCursor("LOCKS");
  TDataCursor& other = OpenCursor("LOCKS");
  for (int32_t id = 1; id <= 3; ++id) Insert(editor, id, "L" + std::to_string(id), id);

  ASSERT_TRUE(Find(editor, 2));
  std::vector<uint8_t> record = Current(editor);
  ASSERT_EQ(editor.GetRecord(record.data(), TRecordPurpose::Edit), 0);
  ASSERT_TRUE(Find(other, 2));
  std::vector<uint8_t> seen = Current(other);
  int32_t group = 20;
  other.PutTableField(3, seen.data(), &group);
  EXPECT_EQ(ErrorOf([&] { other.ModifyRecord(seen.data()); }), EngErrRecordInUse);
  EXPECT_EQ(ErrorOf([&] { other.DeleteRecord(Current(other).data()); }), EngErrRecordInUse);

  group = 21;
  editor.PutTableField(3, record.data(), &group);
  editor.ModifyRecord(record.data(), {.GoToRecord = true});
  EXPECT_TRUE(editor.HoldsRecordLock(2));
  // A buffer that is not the record as it stands now is refused.
  EXPECT_EQ(ErrorOf([&] { editor.DeleteRecord(seen.data()); }), EngErrRecordChanged);
  ASSERT_TRUE(Find(editor, 2));
  ASSERT_EQ(editor.GetRecord(record.data(), TRecordPurpose::Edit), 0);
  editor.DeleteRecord(record.data());
  EXPECT_FALSE(editor.HoldsRecordLock(2));
  EXPECT_EQ(IdOf(editor), 3);
  EXPECT_EQ(Walk(other), (std::vector<int32_t>{1, 3}));
  EXPECT_EQ(other.GetRecordCount(), 2);
  EXPECT_EQ(ErrorOf([&] { editor.DeleteRecord(record.data()); }), EngErrRecordChanged);
}

TEST_F(CursorWriteTest, ReadOnlyCursorsAndMissingRecordsAreRefused) {
  CreateGroups("REFUSE");
  TDataCursor& reader = NewCursor("REFUSE");
  reader.SetOpenOptions({.TableName = "REFUSE", .ReadOnly = true});
  reader.Open();
  std::vector<uint8_t> record = Row(reader, 1, "R", 1);
  EXPECT_EQ(ErrorOf([&] { reader.InsertRecord(record.data()); }), EngErrAccessDenied);
  TDataCursor& writer = OpenCursor("REFUSE");
  writer.SetToBegin();
  EXPECT_EQ(ErrorOf([&] { writer.ModifyRecord(record.data()); }), uint16_t(EngErrNoCurrentRecord));
  EXPECT_EQ(ErrorOf([&] { writer.DeleteRecord(record.data()); }), uint16_t(EngErrNoCurrentRecord));
}

TEST_F(CursorWriteTest, RowNumbersGivenByTheCallerKeepTheCounterAheadAndStayUnique) {
  Create("ROWS", {{"ID", IntType}, {"ROW", IntType, 0, stAutoInc}}, {{"", {1}}});
  TDataCursor& cursor = OpenCursor("ROWS");
  std::vector<uint8_t> record(cursor.CursorRecordSize());
  int32_t id = 1;
  cursor.PutTableField(1, record.data(), &id);
  cursor.InsertRecord(record.data(), {.GoToRecord = true});
  EXPECT_EQ(GetRecordAutoInc(cursor.GetCurrentRecordBuffer()), 1);

  cursor.SetNoAutoInc(true);
  ASSERT_TRUE(cursor.NoAutoInc());
  id = 2;
  cursor.PutTableField(1, record.data(), &id);
  SetRecordAutoInc(record.data(), 50);
  cursor.InsertRecord(record.data(), {.GoToRecord = true});
  EXPECT_EQ(cursor.Table()->DataFile().GetAutoIncValue(), 50);
  id = 3;
  cursor.PutTableField(1, record.data(), &id);
  EXPECT_EQ(MessageOf([&] { cursor.InsertRecord(record.data()); }),
            "Duplicate key found in index 'Sys Deleted' of table 'ROWS.DAT'");
  // A lower value changes the record only, not the counter.
  std::vector<uint8_t> current = Current(cursor);
  SetRecordAutoInc(current.data(), 7);
  cursor.ModifyRecord(current.data(), {.GoToRecord = true});
  EXPECT_EQ(GetRecordAutoInc(cursor.GetCurrentRecordBuffer()), 7);
  EXPECT_EQ(cursor.Table()->DataFile().GetAutoIncValue(), 50);

  cursor.SetNoAutoInc(false);
  id = 4;
  cursor.PutTableField(1, record.data(), &id);
  cursor.InsertRecord(record.data(), {.GoToRecord = true});
  EXPECT_EQ(GetRecordAutoInc(cursor.GetCurrentRecordBuffer()), 51);
}

// A change that keeps every key field leaves those keys alone, but a
// non-unique key ends with the row number: a caller who gives row numbers
// moves it by changing the row number alone.
TEST_F(CursorWriteTest, ARowNumberChangeMovesTheKeysThatEndWithIt) {
  Create("RENUMBER", {{"ID", IntType}, {"ROW", IntType, 0, stAutoInc}, {"GRP", IntType}},
         {{"", {1}}, {"ByGrp", {3}, false}});
  TDataCursor& cursor = OpenCursor("RENUMBER");
  std::vector<uint8_t> record(cursor.CursorRecordSize());
  const int32_t group = 5;
  cursor.PutTableField(3, record.data(), &group);
  for (int32_t id = 1; id <= 3; ++id) {
    cursor.PutTableField(1, record.data(), &id);
    cursor.InsertRecord(record.data());
  }
  cursor.SetNoAutoInc(true);
  ASSERT_TRUE(Find(cursor, 1));
  record = Current(cursor);
  SetRecordAutoInc(record.data(), 9);
  cursor.ModifyRecord(record.data());
  cursor.SetIndexName("ByGrp");
  EXPECT_EQ(Walk(cursor), (std::vector<int32_t>{2, 3, 1}));
  EXPECT_TRUE(cursor.Table()->IndexesMatchData());
}

// A changed key goes out of its index and in again in one pass that leaves
// alone the branch entries both ways share: every index must come out
// byte for byte as deleting and inserting the key leaves it, whether the
// old key's leaf keeps its shape or underflows into a neighbour, in plain
// leaves and compressed ones.
//
// Run with the default page cache and with the smallest one, where pages
// the uniqueness check walked are given up and read again before the
// change uses its way: a change must stand on what it reads, not on what
// the check left in memory.
class CursorKeyChangeTest : public CursorWriteTest, public ::testing::WithParamInterface<int64_t> {};

INSTANTIATE_TEST_SUITE_P(PageCaches, CursorKeyChangeTest, ::testing::Values(TCacheSizes{}.IndexBytes, int64_t(1)));

TEST_P(CursorKeyChangeTest, AChangedKeyLeavesEachIndexAsDeletingAndInsertingItWould) {
  session->CacheSizes.IndexBytes = GetParam();
  constexpr int32_t Rows = 1200;
  const uint8_t nameIndexes[] = {1, 2};
  for (const char* name : {"MOVED", "PLAIN"}) {
    Create(name, {{"ID", IntType}, {"NAME", StrType, 200}},
           {{"", {1}}, {"ByName", {2}}, {.Name = "ByNameDup", .Fields = {2}, .Unique = false, .Compression = kcFull}});
  }
  TDataCursor& moved = OpenCursor("MOVED", true);
  TDataCursor& plain = OpenCursor("PLAIN", true);
  std::mt19937 random(7051);
  auto freshName = [&] { return "Name" + std::to_string(random() % 1000000); };
  std::vector<std::string> names(Rows + 1);
  std::vector<bool> gone(Rows + 1, false);
  auto rowOf = [](TDataCursor& cursor, int32_t id, const std::string& name) {
    int32_t value = id;
    return Record(cursor, {&value, name.c_str()});
  };
  for (int32_t id = 1; id <= Rows; ++id) {
    names[id] = freshName() + "-" + std::to_string(id);
    for (TDataCursor* cursor : {&moved, &plain}) {
      std::vector<uint8_t> row = rowOf(*cursor, id, names[id]);
      cursor->InsertRecord(row.data());
    }
  }
  uint8_t oldKey[MaxIndexKeyLength];
  uint8_t newKey[MaxIndexKeyLength];
  int thinned = 0;
  for (int step = 0; step < 1500; ++step) {
    int32_t id;
    do id = int32_t(random() % Rows) + 1;
    while (gone[id]);
    ASSERT_TRUE(Find(moved, id));
    const uint32_t number = moved.CurrentRecordNumber();
    // The stored row carries the row number the non-unique keys end with.
    ASSERT_TRUE(Find(plain, id));
    std::vector<uint8_t> oldRow = Current(plain);
    plain.PutTableField(2, oldRow.data(), names[id].c_str());
    if (random() % 4 == 0) {
      // Both tables lose the row's name keys alone, so that leaves shrink.
      for (TDataCursor* cursor : {&moved, &plain})
        for (uint8_t n : nameIndexes) {
          cursor->SwitchToIndex(n);
          cursor->BuildKey(oldRow.data(), oldKey);
          cursor->DeleteKey(oldKey);
        }
      gone[id] = true;
      ++thinned;
      continue;
    }
    // Half the names move next door (same leaf, same branches), half far.
    const std::string name = random() % 2 ? names[id] + "x" : freshName() + "-" + std::to_string(id);
    std::vector<uint8_t> record = Current(moved);
    moved.PutTableField(2, record.data(), name.c_str());
    moved.ModifyRecord(record.data());
    std::vector<uint8_t> newRow = oldRow;
    plain.PutTableField(2, newRow.data(), name.c_str());
    for (uint8_t n : nameIndexes) {
      plain.SwitchToIndex(n);
      plain.BuildKey(oldRow.data(), oldKey);
      plain.BuildKey(newRow.data(), newKey);
      plain.DeleteKey(oldKey);
      plain.InsertKey(newKey, number);
    }
    names[id] = name;
  }
  ASSERT_GT(thinned, 300);
  cursors.clear();
  const std::vector<char> movedBytes = FileBytes("MOVED.IDX");
  ASSERT_GT(movedBytes.size(), 100u * IndexPageSize);
  EXPECT_TRUE(movedBytes == FileBytes("PLAIN.IDX"));
}

// A change that leaves the record's key in the cursor's order as it was
// leaves the cursor on the record, at its place among the rows as they now
// stand (a twin's insert before it included, which the write follows
// first), showing the new values, within a range too, and after the
// cursor's own inserts before and after it; a change that moves the key
// leaves the cursor in the key's old gap, or takes it along when asked.
TEST_F(CursorWriteTest, AChangeKeepingTheCurrentKeyLeavesTheCursorOnTheRecord) {
  CreateGroups("PLACE");
  TDataCursor& cursor = OpenCursor("PLACE");
  TDataCursor& twin = OpenCursor("PLACE");
  for (int32_t id = 1; id <= 40; ++id) Insert(cursor, id, "Name" + std::to_string(id), id % 5);
  TDataCursor& order = OpenCursor("PLACE");
  order.SetIndexName("ByGrp");
  // The cursor's row, sequence number and neighbours are those of a fresh
  // walk over the rows as they stand.
  auto expectInPlace = [&] {
    const std::vector<int32_t> ids = Walk(order);
    const int32_t id = IdOf(cursor);
    const auto at = std::find(ids.begin(), ids.end(), id);
    ASSERT_NE(at, ids.end());
    EXPECT_EQ(cursor.GetSequenceNo(), int32_t(at - ids.begin()) + 1);
    if (at + 1 != ids.end()) {
      cursor.MoveBy(1);
      EXPECT_EQ(IdOf(cursor), *(at + 1));
      cursor.MoveBy(-1);
    }
    if (at != ids.begin()) {
      cursor.MoveBy(-1);
      EXPECT_EQ(IdOf(cursor), *(at - 1));
      cursor.MoveBy(1);
    }
    EXPECT_EQ(IdOf(cursor), id);
  };
  auto change = [&](const char* name, int32_t group, bool goTo) {
    std::vector<uint8_t> record = Current(cursor);
    cursor.PutTableField(2, record.data(), name);
    cursor.PutTableField(3, record.data(), &group);
    cursor.ModifyRecord(record.data(), {.GoToRecord = goTo});
  };

  cursor.SetIndexName("ByGrp");
  cursor.SetToSequenceNo(17);
  const int32_t id = IdOf(cursor);
  const int32_t group = id % 5;
  Insert(twin, 100, "Twin", group - 1);
  change("Renamed", group, false);
  EXPECT_EQ(IdOf(cursor), id);
  EXPECT_EQ(NameOf(cursor), "Renamed");
  expectInPlace();
  change("Moved", group + 1, false);
  EXPECT_NE(IdOf(cursor), id);
  expectInPlace();
  ASSERT_TRUE(Find(cursor, id));
  cursor.SetIndexName("ByGrp");
  change("Moved back", group, true);
  EXPECT_EQ(IdOf(cursor), id);
  EXPECT_EQ(NameOf(cursor), "Moved back");
  expectInPlace();
  // The cursor's own inserts, before its key and after it.
  Insert(cursor, 102, "Before", group - 1);
  EXPECT_EQ(IdOf(cursor), id);
  expectInPlace();
  Insert(cursor, 103, "After", group + 3);
  EXPECT_EQ(IdOf(cursor), id);
  expectInPlace();

  std::vector<uint8_t> bound = Record(cursor, {nullptr, nullptr, &group});
  cursor.SetRange(bound.data(), 1, bound.data(), 1);
  order.SetRange(bound.data(), 1, bound.data(), 1);
  cursor.SetToSequenceNo(3);
  const int32_t ranged = IdOf(cursor);
  Insert(twin, 101, "Twin again", group);
  change("In range", group, false);
  EXPECT_EQ(IdOf(cursor), ranged);
  EXPECT_EQ(NameOf(cursor), "In range");
  expectInPlace();
  Insert(cursor, 104, "Below the range", group - 1);
  Insert(cursor, 105, "In the range", group);
  EXPECT_EQ(IdOf(cursor), ranged);
  expectInPlace();
}

// A delete leaves the cursor on the row after the deleted one in its order,
// at the deleted row's sequence number, whether that row was on the deleted
// key's leaf or on the next, and with what a twin or another process added
// before the delete began counted; deleting the last row of the index or
// of a range leaves the cursor at that end.
TEST_F(CursorWriteTest, ADeleteLeavesTheCursorOnTheRowAfterTheDeletedOne) {
  CreateGroups("AFTER");
  TDataCursor& cursor = OpenCursor("AFTER");
  TDataCursor& twin = OpenCursor("AFTER");
  std::mt19937 random(4127);
  constexpr int32_t Rows = 1500;
  for (int32_t id = 1; id <= Rows; ++id)
    Insert(cursor, id, "Name" + std::to_string(random() % 100000) + "-" + std::to_string(id), id % 7);
  TDataCursor& order = OpenCursor("AFTER");
  // The cursor stands on ids[at], with its neighbours, as the rows stand.
  auto expectAt = [&](const std::vector<int32_t>& ids, size_t at) {
    ASSERT_LT(at, ids.size());
    ASSERT_TRUE(cursor.OnRecord());
    EXPECT_EQ(IdOf(cursor), ids[at]);
    EXPECT_EQ(IntField(cursor, Current(cursor).data(), 1), ids[at]);
    EXPECT_EQ(cursor.GetSequenceNo(), int32_t(at) + 1);
    if (at + 1 < ids.size()) {
      cursor.MoveBy(1);
      EXPECT_EQ(IdOf(cursor), ids[at + 1]);
      cursor.MoveBy(-1);
    }
    if (at > 0) {
      cursor.MoveBy(-1);
      EXPECT_EQ(IdOf(cursor), ids[at - 1]);
      cursor.MoveBy(1);
    }
    EXPECT_EQ(IdOf(cursor), ids[at]);
  };
  auto deleteCurrent = [&] { cursor.DeleteRecord(Current(cursor).data()); };

  for (const char* index : {"", "ByName", "ByGrp"}) {
    SCOPED_TRACE(index);
    cursor.SetIndexName(index);
    order.SetIndexName(index);
    std::vector<int32_t> ids = Walk(order);
    // A run of rows deleted one after another crosses leaves; single rows
    // anywhere else.
    size_t at = random() % (ids.size() / 2);
    cursor.SetToSequenceNo(int32_t(at) + 1);
    for (int n = 0; n < 250; ++n) {
      ASSERT_EQ(IdOf(cursor), ids[at]);
      deleteCurrent();
      ids.erase(ids.begin() + std::ptrdiff_t(at));
      ASSERT_NO_FATAL_FAILURE(expectAt(ids, at));
    }
    for (int n = 0; n < 40; ++n) {
      at = n == 0 ? 0 : random() % (ids.size() - 1);
      cursor.SetToSequenceNo(int32_t(at) + 1);
      deleteCurrent();
      ids.erase(ids.begin() + std::ptrdiff_t(at));
      ASSERT_NO_FATAL_FAILURE(expectAt(ids, at));
    }
    EXPECT_EQ(Walk(order), ids);
  }

  // A twin's row before the cursor's, then another process's, each seen by
  // the delete's start.
  cursor.SetIndexName("");
  order.SetIndexName("");
  std::vector<int32_t> ids = Walk(order);
  cursor.SetToSequenceNo(100);
  Insert(twin, -1, "Twin", 3);
  ids.insert(ids.begin(), -1);
  deleteCurrent();
  ids.erase(ids.begin() + 100);
  ASSERT_NO_FATAL_FAILURE(expectAt(ids, 100));
  session->StrictChangeDetection = true;
  TableHelperProcess helper;
  ASSERT_EQ(helper.Ask("cursor " + folder + " AFTER shared"), 0u);
  ASSERT_EQ(helper.Ask("insert -5 2"), 0u);
  ids.insert(ids.begin(), {-5, -4});
  deleteCurrent();
  ids.erase(ids.begin() + 102);
  ASSERT_NO_FATAL_FAILURE(expectAt(ids, 102));
  // Without strict detection the write's lock still finds the change.
  session->StrictChangeDetection = false;
  ASSERT_EQ(helper.Ask("insert -9 3"), 0u);
  ids.insert(ids.begin(), {-9, -8, -7});
  deleteCurrent();
  ids.erase(ids.begin() + 105);
  ASSERT_NO_FATAL_FAILURE(expectAt(ids, 105));
  ASSERT_EQ(helper.Ask("closecursor"), 0u);

  // The last row of the index, then the last of a range.
  cursor.SetToEnd();
  cursor.MoveBy(-1);
  deleteCurrent();
  ids.pop_back();
  EXPECT_TRUE(cursor.AtEnd());
  cursor.MoveBy(-1);
  EXPECT_EQ(IdOf(cursor), ids.back());
  cursor.SetIndexName("ByGrp");
  order.SetIndexName("ByGrp");
  const int32_t group = 4;
  std::vector<uint8_t> bound = Record(cursor, {nullptr, nullptr, &group});
  cursor.SetRange(bound.data(), 1, bound.data(), 1);
  order.SetRange(bound.data(), 1, bound.data(), 1);
  std::vector<int32_t> ranged = Walk(order);
  ASSERT_GT(ranged.size(), 3u);
  cursor.SetToSequenceNo(int32_t(ranged.size()) - 1);
  deleteCurrent();
  ranged.erase(ranged.end() - 2);
  ASSERT_NO_FATAL_FAILURE(expectAt(ranged, ranged.size() - 1));
  deleteCurrent();
  ranged.pop_back();
  EXPECT_TRUE(cursor.AtEnd());
  cursor.MoveBy(-1);
  EXPECT_EQ(IdOf(cursor), ranged.back());
  EXPECT_EQ(Walk(order), ranged);
}

// A delete searches each page of its key's way from the entry the look-up
// that placed the cursor took there. Whatever changed the tree since (keys
// the cursor's own fill put in front of the record, splitting its leaf and
// moving its branch entries; another process's, which the delete's start
// follows), the delete removes exactly the record's keys and leaves every
// index as a delete after a fresh look-up does, byte for byte. Run with the
// smallest page cache too, where the look-up's pages are given up and read
// again before the delete.
class CursorDeleteAfterLookUpTest : public CursorRandomWriteTest, public ::testing::WithParamInterface<int64_t> {
protected:
  // The groups table, its primary and name indexes compressed.
  void CreateCompressedGroups(const std::string& name) {
    Create(name, {{"ID", IntType}, {"NAME", StrType, 20}, {"GRP", IntType}},
           {{.Name = "", .Fields = {1}, .Compression = kcFull},
            {.Name = "ByName", .Fields = {2}, .Compression = kcFull},
            {.Name = "ByGrp", .Fields = {3}, .Unique = false}});
  }
  static void Add(TDataCursor& cursor, TModel& model, int32_t id) {
    model[id] = {"N" + std::to_string(id), id % 100};
    Insert(cursor, id, model[id].Name, model[id].Group);
  }
};

INSTANTIATE_TEST_SUITE_P(PageCaches, CursorDeleteAfterLookUpTest,
                         ::testing::Values(TCacheSizes{}.IndexBytes, int64_t(1)));

TEST_P(CursorDeleteAfterLookUpTest, ADeleteRemovesExactlyItsKeysWhateverChangedTheTreeSinceTheLookUp) {
  session->CacheSizes.IndexBytes = GetParam();
  TModel model;
  for (const char* name : {"NOTED", "FRESH"}) {
    CreateCompressedGroups(name);
    TDataCursor& cursor = OpenCursor(name, true);
    model.clear();
    for (int32_t id = 2; id <= 3000; id += 2) Add(cursor, model, id);
    // Each target's look-up notes its way; keys in front of it follow
    // without the cursor finding its place again, and the delete comes
    // before the fill ends. FRESH looks the target up again first.
    for (const int32_t target : {1500, 2, 2998, 1502, 640, 2400, 2402}) {
      SCOPED_TRACE(target);
      ASSERT_TRUE(Find(cursor, target));
      cursor.BeginFill();
      for (int32_t id = target - 1; id > std::max(0, target - 400); id -= 2)
        if (!model.count(id)) Add(cursor, model, id);
      if (std::string(name) == "FRESH") {
        ASSERT_TRUE(Find(cursor, target));
      }
      ASSERT_EQ(IdOf(cursor), target);
      cursor.DeleteRecord(Current(cursor).data());
      model.erase(target);
      cursor.EndFill();
    }
    // Checked as written, before an open could find a tree unsound and
    // build it again.
    cursor.Table()->WriteHeaders({.ForceData = true, .ForceIndex = true});
    ExpectTableIs(cursor, model);
  }
  cursors.clear();
  const std::vector<char> noted = FileBytes("NOTED.IDX");
  ASSERT_GT(noted.size(), 20u * IndexPageSize);
  EXPECT_TRUE(noted == FileBytes("FRESH.IDX"));

  // Another process's keys in front of the record, enough to split its
  // leaf, go in between the look-up and the delete.
  CreateCompressedGroups("SHARED");
  TDataCursor& cursor = OpenCursor("SHARED");
  model.clear();
  for (int32_t id = 10; id <= 10000; id += 10) Add(cursor, model, id);
  ASSERT_TRUE(Find(cursor, 5000));
  const std::vector<uint8_t> record = Current(cursor);
  TableHelperProcess helper;
  ASSERT_EQ(helper.Ask("cursor " + folder + " SHARED shared"), 0u);
  for (int32_t base = 4601; base < 5000; base += 10) {
    ASSERT_EQ(helper.Ask("insert " + std::to_string(base) + " 9"), 0u);
    for (int32_t id = base; id < base + 9; ++id) model[id] = {"N" + std::to_string(id), id % 100};
  }
  ASSERT_EQ(helper.Ask("closecursor"), 0u);
  cursor.DeleteRecord(record.data());
  model.erase(5000);
  ExpectTableIs(cursor, model);
}
