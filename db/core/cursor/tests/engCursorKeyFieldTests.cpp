#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "engCursorWriteTestSupport.h"

namespace {

// ID -> (NAME, GRP).
using TRows = std::map<int32_t, std::pair<std::string, int32_t>>;

}  // namespace

class CursorKeyFieldTest : public CursorWriteTest {
protected:
  // (GRP, ID) of each row, walked in "ByGrp" order.
  static std::vector<std::pair<int32_t, int32_t>> WalkGroups(TDataCursor& cursor) {
    cursor.SetIndexName("ByGrp");
    std::vector<std::pair<int32_t, int32_t>> walked;
    cursor.SetToBegin();
    for (cursor.MoveBy(1); cursor.OnRecord(); cursor.MoveBy(1))
      walked.emplace_back(IntField(cursor, cursor.GetCurrentRecordBuffer(), 3), IdOf(cursor));
    return walked;
  }

  // Every index of the table holds exactly the rows' keys: each row is
  // found by its whole key in each index, and the walks give the rows in
  // each index's order.
  void ExpectIndexesHold(TDataCursor& cursor, const TRows& rows) {
    std::vector<int32_t> ids;
    std::vector<std::string> names;
    std::vector<std::pair<int32_t, int32_t>> groups;
    for (const auto& [id, row] : rows) {
      ids.push_back(id);
      names.push_back(row.first);
      groups.emplace_back(row.second, id);
    }
    std::sort(names.begin(), names.end());
    std::sort(groups.begin(), groups.end());

    cursor.SetIndexName("");
    EXPECT_EQ(Walk(cursor), ids);
    cursor.SetIndexName("ByName");
    EXPECT_EQ(WalkNames(cursor), names);
    EXPECT_EQ(WalkGroups(cursor), groups);

    for (const auto& [id, row] : rows) {
      std::vector<uint8_t> key = Row(cursor, id, row.first, row.second);
      cursor.SetIndexName("ByName");
      EXPECT_TRUE(cursor.FindKey(key.data(), {.FieldCount = 1})) << row.first;
      EXPECT_EQ(IdOf(cursor), id);
      // Not unique: the first row of the group.
      cursor.SetIndexName("ByGrp");
      EXPECT_TRUE(cursor.FindKey(key.data(), {.FieldCount = 1})) << id;
      EXPECT_EQ(IntField(cursor, cursor.GetCurrentRecordBuffer(), 3), row.second);
    }
    cursor.Table()->IndexFile().VerifyIndexFile();
  }
};

// A cursor with a field map takes its key fields' descriptors another way
// than a plain one; its record changes switch through every index and must
// build each index's keys from that index's fields.
TEST_F(CursorKeyFieldTest, MappedAndPlainCursorsKeepEveryIndexInStepThroughTheirChanges) {
  CreateGroups("KEYS");
  TDataCursor& mapped = OpenCursor("KEYS");
  TExpTreePtr product = DoubledIdExpression();
  std::vector<TFieldDefinition> map =
      Definitions({{"ID", IntType}, {"NAME", StrType, 20}, {"GRP", IntType}, {"DOUBLE", IntType}});
  MakeComputedField(map, 3, product.get());
  mapped.SetNoFilterUpdate(true);
  mapped.SetFieldMap(map, true);
  TDataCursor& plain = OpenCursor("KEYS");

  TRows rows;
  for (int32_t id = 1; id <= 40; ++id) {
    TDataCursor& writer = id % 2 ? mapped : plain;
    const std::string name = "name" + std::to_string(100 - id);
    Insert(writer, id, name, id % 5);
    rows[id] = {name, id % 5};
  }
  // Changes of the indexed fields, each through the other cursor than the
  // record's insert, and deletes through both.
  for (int32_t id = 3; id <= 40; id += 3) {
    TDataCursor& writer = id % 2 ? plain : mapped;
    ASSERT_TRUE(Find(writer, id));
    std::vector<uint8_t> record = Current(writer);
    const std::string name = "renamed" + std::to_string(id);
    const int32_t group = 7 - id % 7;
    writer.PutTableField(2, record.data(), name.c_str());
    writer.PutTableField(3, record.data(), &group);
    writer.ModifyRecord(record.data());
    rows[id] = {name, group};
  }
  for (int32_t id = 5; id <= 40; id += 7) {
    TDataCursor& writer = id % 2 ? mapped : plain;
    ASSERT_TRUE(Find(writer, id));
    std::vector<uint8_t> record = Current(writer);
    writer.DeleteRecord(record.data());
    rows.erase(id);
  }

  ExpectIndexesHold(plain, rows);
  ExpectIndexesHold(mapped, rows);
}

// A record change switches through every index, taking each index's state
// as the cursor took it before while the index stands as it did. An index
// that goes, moving the next one into its number, and comes again under
// the number the other had, must give every change after it the keys of
// the indexes as they now stand.
TEST_F(CursorKeyFieldTest, ChangesAfterAnIndexGoesAndComesAgainBuildTheKeysOfEachIndexAsItNowStands) {
  CreateGroups("KEYS");
  TDataCursor& owner = OpenCursor("KEYS", true);
  TRows rows;
  auto insert = [&](int32_t id) {
    const std::string name = "name" + std::to_string(100 - id);
    Insert(owner, id, name, id % 4);
    rows[id] = {name, id % 4};
  };
  auto remove = [&](int32_t id) {
    ASSERT_TRUE(Find(owner, id));
    std::vector<uint8_t> record = Current(owner);
    owner.DeleteRecord(record.data());
    rows.erase(id);
  };
  auto expectGroupOrder = [&] {
    std::vector<std::pair<int32_t, int32_t>> groups;
    for (const auto& [id, row] : rows) groups.emplace_back(row.second, id);
    std::sort(groups.begin(), groups.end());
    EXPECT_EQ(WalkGroups(owner), groups);
  };
  for (int32_t id = 1; id <= 12; ++id) insert(id);
  remove(4);

  // "ByName" goes; "ByGrp" takes its number.
  owner.DeleteIndex("ByName");
  for (int32_t id = 13; id <= 18; ++id) insert(id);
  remove(7);
  remove(14);
  expectGroupOrder();

  // "ByName" comes again, under the number "ByGrp" had.
  owner.AddIndex(IndexDefinitionFromDesc(IndexDescriptor({"ByName", {2}}).data()));
  for (int32_t id = 19; id <= 24; ++id) insert(id);
  remove(2);
  remove(20);
  expectGroupOrder();
  ExpectIndexesHold(owner, rows);
}

// A dropped index's pages stay with its slot, free, and the page cache
// keeps them; an index added later in that slot takes them for its tree.
// Its keys may be longer or shorter, or carry a row number where the old
// ones did not, so every page it takes must hold its own keys: every older
// record is found and deleted through it, and the stored pages read back
// the same after the table is opened again.
TEST_F(CursorKeyFieldTest, AnIndexAddedInADroppedIndexsPlaceLaysItsFreedPagesOutForItsOwnKeys) {
  TRows rows;
  auto insert = [&](TDataCursor& cursor, int32_t id) {
    const std::string name = "name" + std::to_string(100 - id);
    Insert(cursor, id, name, id % 4);
    rows[id] = {name, id % 4};
  };
  auto remove = [&](TDataCursor& cursor, int32_t id) {
    ASSERT_TRUE(Find(cursor, id));
    std::vector<uint8_t> record = Current(cursor);
    cursor.DeleteRecord(record.data());
    rows.erase(id);
  };
  auto expectHeldAfterReopen = [&](TDataCursor& owner, const std::string& table) {
    ExpectIndexesHold(owner, rows);
    owner.Close(TTemporaryContents::Discard);
    ExpectIndexesHold(OpenCursor(table, true), rows);
  };

  // Both indexes go, "ByGrp" having moved into the number of "ByName";
  // each comes again in the other's slot, over the other's freed pages.
  for (const bool unique : {true, false}) {
    SCOPED_TRACE(unique ? "ByName unique" : "ByName not unique");
    const std::string table = unique ? "SWAPU" : "SWAPN";
    rows.clear();
    CreateGroups(table);
    TDataCursor& owner = OpenCursor(table, true);
    for (int32_t id = 1; id <= 40; ++id) insert(owner, id);
    remove(owner, 4);
    owner.DeleteIndex("ByName");
    for (int32_t id = 41; id <= 46; ++id) insert(owner, id);
    remove(owner, 7);
    remove(owner, 42);
    owner.DeleteIndex("ByGrp");
    owner.AddIndex(IndexDefinitionFromDesc(IndexDescriptor({"ByName", {2}, unique}).data()));
    owner.AddIndex(IndexDefinitionFromDesc(IndexDescriptor({"ByGrp", {3}, false}).data()));
    for (int32_t id = 47; id <= 52; ++id) insert(owner, id);
    for (int32_t id : {2, 48, 9, 33, 41}) remove(owner, id);
    expectHeldAfterReopen(owner, table);
  }

  // The same index at once again, only no longer unique: its keys gain
  // the row number.
  rows.clear();
  CreateGroups("AGAIN");
  TDataCursor& owner = OpenCursor("AGAIN", true);
  for (int32_t id = 1; id <= 40; ++id) insert(owner, id);
  owner.DeleteIndex("ByName");
  owner.AddIndex(IndexDefinitionFromDesc(IndexDescriptor({"ByName", {2}, false}).data()));
  for (int32_t id = 41; id <= 46; ++id) insert(owner, id);
  for (int32_t id : {2, 17, 44}) remove(owner, id);
  expectHeldAfterReopen(owner, "AGAIN");
}
