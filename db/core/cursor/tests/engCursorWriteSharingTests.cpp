#include <algorithm>

#include "engCursorWriteTestSupport.h"
#include "engErrorCodes.h"
#include "engTableFileTestSupport.h"
#include "engTableTestSupport.h"

// Two other processes and this one insert into one table at once; the
// write lock lets one change through at a time, and every process sees
// the others' records before it writes its own.
TEST_F(CursorWriteTest, ThreeProcessesAppendingIntoOneTableKeepItWhole) {
  CreateGroups("SHARED");
  TableHelperProcess first;
  TableHelperProcess second;
  ASSERT_EQ(first.Ask("cursor " + folder + " SHARED shared"), 0u);
  ASSERT_EQ(second.Ask("cursor " + folder + " SHARED shared"), 0u);
  first.Send("insert 1 300");
  second.Send("insert 1001 300");
  TDataCursor& cursor = OpenCursor("SHARED");
  std::vector<int32_t> ids;
  for (int32_t id = 2001; id <= 2300; ++id) Insert(cursor, id, "N" + std::to_string(id), id % 100);
  EXPECT_EQ(first.Receive(), 0u);
  EXPECT_EQ(second.Receive(), 0u);
  ASSERT_EQ(first.Ask("closecursor"), 0u);
  ASSERT_EQ(second.Ask("closecursor"), 0u);

  cursor.Close(TTemporaryContents::Discard);

  TDataCursor& reader = OpenCursor("SHARED");
  for (int32_t base : {1, 1001, 2001})
    for (int32_t id = base; id < base + 300; ++id) ids.push_back(id);
  EXPECT_EQ(Walk(reader), ids);
  EXPECT_EQ(reader.GetPhysicalRecordCount(), 900u);
  EXPECT_EQ(reader.Table()->IndexFile().GetRecordCount(), 900u);
  reader.SetIndexName("ByGrp");
  EXPECT_EQ(reader.GetRecordCount(), 900);
  reader.SetIndexNo(NaturalOrderIndex);
  EXPECT_EQ(reader.GetRecordCount(), 900);
  reader.Table()->DataFile().VerifyDataFile();
  reader.Table()->IndexFile().VerifyIndexFile();
}

// Another process inserts between two operations of this cursor, whose
// cache holds every index's pages from before: the next change and inserts
// see its keys, refuse the duplicates and write nothing; a free key then
// goes in where a walk finds it.
TEST_F(CursorWriteTest, KeysAnotherProcessInsertedAreDuplicatesForTheNextWrites) {
  CreateGroups("RACE");
  TDataCursor& cursor = OpenCursor("RACE");
  for (int32_t id = 1; id <= 400; ++id) Insert(cursor, id, "M" + std::to_string(id), id % 7);
  cursor.SetIndexName("ByName");
  ASSERT_EQ(WalkNames(cursor).size(), 400u);
  ASSERT_TRUE(Find(cursor, 3));
  std::vector<uint8_t> record = Current(cursor);

  TableHelperProcess other;
  ASSERT_EQ(other.Ask("cursor " + folder + " RACE shared"), 0u);
  ASSERT_EQ(other.Ask("insert 500 1"), 0u);  // ID 500, NAME "N500"
  ASSERT_EQ(other.Ask("closecursor"), 0u);
  const std::string path = folder + "/RACE";
  const std::vector<uint8_t> data = ReadDiskFile(path + ".DAT");
  const std::vector<uint8_t> index = ReadDiskFile(path + ".IDX");

  cursor.PutTableField(2, record.data(), "N500");
  EXPECT_EQ(MessageOf([&] { cursor.ModifyRecord(record.data()); }),
            "Duplicate key found in index 'ByName' of table 'RACE.DAT'");
  EXPECT_EQ(MessageOf([&] { Insert(cursor, 500, "Q", 1); }), "Duplicate key found in index '' of table 'RACE.DAT'");
  EXPECT_EQ(MessageOf([&] { Insert(cursor, 600, "N500", 1); }),
            "Duplicate key found in index 'ByName' of table 'RACE.DAT'");
  EXPECT_EQ(ReadDiskFile(path + ".DAT"), data);
  EXPECT_EQ(ReadDiskFile(path + ".IDX"), index);

  Insert(cursor, 401, "N401", 1);
  cursor.SetIndexName("");
  std::vector<int32_t> ids;
  for (int32_t id = 1; id <= 401; ++id) ids.push_back(id);
  ids.push_back(500);
  EXPECT_EQ(Walk(cursor), ids);
  cursor.SetIndexName("ByName");
  std::vector<std::string> names = WalkNames(cursor);
  EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
  EXPECT_EQ(std::count(names.begin(), names.end(), "N500"), 1);
  EXPECT_EQ(names.size(), 402u);
  cursor.Table()->IndexFile().VerifyIndexFile();
}

// A write changes its keys through the pages its uniqueness check's descent
// held; every one of them is given back, and so written, before the write
// returns: another process's next operation sees each key an insert, a
// change (a key moved next door, one moved far) and a delete put in or
// took out, whether it inserts the key (refused) or the key's old value
// (taken).
TEST_F(CursorWriteTest, AnotherProcessSeesEveryKeyOfAWriteWhenItReturns) {
  CreateGroups("HELD");
  TDataCursor& cursor = OpenCursor("HELD");
  for (int32_t id = 1; id < 4000; id += 2) Insert(cursor, id, "M" + std::to_string(id), id % 7);
  TableHelperProcess other;
  ASSERT_EQ(other.Ask("cursor " + folder + " HELD shared"), 0u);
  auto changeId = [&](int32_t from, int32_t to) {
    ASSERT_TRUE(Find(cursor, from));
    std::vector<uint8_t> record = Current(cursor);
    cursor.PutTableField(1, record.data(), &to);
    cursor.ModifyRecord(record.data());
  };
  // The other process's rows are named "N<ID>", so only the ID can clash.
  Insert(cursor, 2000, "M2000", 1);
  EXPECT_EQ(other.Ask("insert 2000 1"), unsigned(EngErrDuplicateKey));
  changeId(1001, 1002);
  EXPECT_EQ(other.Ask("insert 1002 1"), unsigned(EngErrDuplicateKey));
  EXPECT_EQ(other.Ask("insert 1001 1"), 0u);
  changeId(3001, 6000);
  EXPECT_EQ(other.Ask("insert 6000 1"), unsigned(EngErrDuplicateKey));
  EXPECT_EQ(other.Ask("insert 3001 1"), 0u);
  ASSERT_TRUE(Find(cursor, 2001));
  cursor.DeleteRecord(Current(cursor).data());
  EXPECT_EQ(other.Ask("insert 2001 1"), 0u);
  EXPECT_EQ(MessageOf([&] { Insert(cursor, 2001, "M2001", 1); }),
            "Duplicate key found in index '' of table 'HELD.DAT'");
  ASSERT_EQ(other.Ask("closecursor"), 0u);

  std::vector<int32_t> ids;
  for (int32_t id = 1; id < 4000; id += 2) ids.push_back(id);
  for (int32_t id : {1002, 2000, 6000}) ids.push_back(id);
  ExpectRowsByIdAndName(cursor, ids);
}

// A write refused by its uniqueness check had held the ways of the indexes
// checked before (the primary key's, for a name already taken): it gives
// them back as it fails, so the next write, by another cursor of this
// process through the same pages, writes them and another process sees
// its keys; the cursor that failed goes on writing as before.
TEST_F(CursorWriteTest, AWriteRefusedByItsCheckHoldsNoPageForTheNextWrite) {
  CreateGroups("LENT");
  TDataCursor& cursor = OpenCursor("LENT");
  for (int32_t id = 1; id < 2000; id += 2) Insert(cursor, id, "M" + std::to_string(id), id % 7);
  TDataCursor& second = OpenCursor("LENT");
  TableHelperProcess other;
  ASSERT_EQ(other.Ask("cursor " + folder + " LENT shared"), 0u);

  for (int32_t id = 2; id <= 200; id += 22) {
    // The new ID's way is held when the name turns out to be taken.
    EXPECT_EQ(MessageOf([&] { Insert(cursor, id, "M" + std::to_string(id + 1), 1); }),
              "Duplicate key found in index 'ByName' of table 'LENT.DAT'");
    ASSERT_TRUE(Find(cursor, id - 1));
    std::vector<uint8_t> record = Current(cursor);
    cursor.PutTableField(2, record.data(), ("M" + std::to_string(id + 1)).c_str());
    EXPECT_EQ(ErrorOf([&] { cursor.ModifyRecord(record.data()); }), EngErrDuplicateKey);
    Insert(second, id, "S" + std::to_string(id), 1);
    // The other process's rows are named "N<ID>": only the ID can clash.
    EXPECT_EQ(other.Ask("insert " + std::to_string(id) + " 1"), unsigned(EngErrDuplicateKey)) << id;
    // The cursor that failed writes on.
    Insert(cursor, id + 2000, "M" + std::to_string(id + 2000), 2);
    EXPECT_EQ(other.Ask("insert " + std::to_string(id + 2000) + " 1"), unsigned(EngErrDuplicateKey)) << id;
  }
  ASSERT_EQ(other.Ask("closecursor"), 0u);

  std::vector<int32_t> ids;
  for (int32_t id = 1; id < 2000; id += 2) ids.push_back(id);
  for (int32_t id = 2; id <= 200; id += 22) ids.insert(ids.end(), {id, id + 2000});
  ExpectRowsByIdAndName(cursor, ids);
}
