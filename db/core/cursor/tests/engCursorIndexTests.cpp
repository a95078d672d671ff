// Index entries kept through the cursor, adding and dropping indexes,
// sorting a table in natural order, and field maps with computed fields.

#include <algorithm>
#include <random>
#include <set>

#include "engCursorTestSupport.h"
#include "engErrorCodes.h"
#include "engExpToken.h"

TEST_F(CursorTest, KeysComeAndGoWithTheirCounts) {
  CreatePeople("PEOPLE", {{"", {1}}, {"ByName", {2}, false}});
  TDataCursor& cursor = OpenCursor("PEOPLE", true);
  std::vector<int32_t> ids(1500);
  for (size_t i = 0; i < ids.size(); ++i) ids[i] = int32_t(i * 7 % 1500);
  std::map<int32_t, uint32_t> slots;
  for (int32_t id : ids) slots[id] = Append(cursor, Person(cursor, id, id % 2 ? "odd" : "even"));
  std::mt19937 random(3);
  std::shuffle(ids.begin(), ids.end(), random);
  std::set<int32_t> left(ids.begin(), ids.end());
  for (size_t i = 0; i < 1100; ++i) {
    Remove(cursor, slots[ids[i]]);
    left.erase(ids[i]);
  }
  cursor.RefreshPosition();
  EXPECT_EQ(Walk(cursor), std::vector<int32_t>(left.begin(), left.end()));
  EXPECT_EQ(cursor.GetRecordCount(), 400);
  cursor.SetToSequenceNo(200);
  EXPECT_EQ(IdOf(cursor), *std::next(left.begin(), 199));

  uint8_t key[MaxIndexKeyLength];
  const std::vector<uint8_t> kept = Person(cursor, *left.begin(), "");
  cursor.BuildKey(kept.data(), key);
  EXPECT_TRUE(cursor.KeyExists(key));
  const std::vector<uint8_t> gone = Person(cursor, ids[0], "");
  cursor.BuildKey(gone.data(), key);
  EXPECT_FALSE(cursor.KeyExists(key));
  // A key that is not there leaves every count as it was.
  EXPECT_EQ(ErrorOf([&] { cursor.DeleteKey(key); }), EngErrPageCorrupt);
  cursor.SetToSequenceNo(400);
  EXPECT_EQ(IdOf(cursor), *left.rbegin());

  cursor.SetIndexName("ByName");
  std::vector<std::string> names = WalkNames(cursor);
  EXPECT_EQ(names.size(), 400u);
  EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
}

TEST_F(CursorTest, KeyBoundsAndSteps) {
  CreatePeople("ENGLISH", {{"", {1}}, {"ByName", {2, 1}}}, 0x0409);
  TDataCursor& cursor = OpenCursor("ENGLISH");
  cursor.SetIndexName("ByName");
  ASSERT_EQ(cursor.KeyLength(), 27);
  std::vector<uint8_t> low(27, 0x55), high(27, 0x55);
  cursor.FillKeyLow(low.data(), 3);
  cursor.FillKeyHigh(high.data(), 3);
  TCharMap map;
  GetCharMap(0x0409, 0, map);
  EXPECT_EQ(low[2], 0x55);
  EXPECT_EQ(low[3], map[0]);
  EXPECT_EQ(high[21], map[255]);
  EXPECT_EQ(low[22], 0x00);  // the integer field's null byte
  EXPECT_EQ(high[26], 0xFF);

  uint8_t key[3] = {0x01, 0xFF, 0xFF};
  TDataCursor::IncrementKey(key, 3);
  EXPECT_EQ(key[0], 0x02);
  EXPECT_EQ(key[2], 0x00);
  TDataCursor::DecrementKey(key, 3);
  EXPECT_EQ(key[0], 0x01);
  EXPECT_EQ(key[1], 0xFF);
  uint8_t top[2] = {0xFF, 0xFF}, bottom[2] = {0, 0};
  TDataCursor::IncrementKey(top, 2);
  TDataCursor::DecrementKey(bottom, 2);
  EXPECT_EQ(top[0] & top[1], 0xFF);
  EXPECT_EQ(bottom[0] | bottom[1], 0);
}

TEST_F(CursorTest, AddingAUniqueIndexDropsLaterDuplicates) {
  CreatePeople("PEOPLE", {{"", {1}}});
  TDataCursor& shared = OpenCursor("PEOPLE");
  for (auto [id, name] : std::vector<std::pair<int32_t, const char*>>{{1, "x"}, {2, "y"}, {3, "x"}, {4, "z"}})
    Append(shared, Person(shared, id, name));
  const std::vector<uint8_t> byName = IndexDescriptor({"ByName", {2}});
  EXPECT_EQ(ErrorOf([&] { shared.AddIndex(IndexDefinitionFromDesc(byName.data())); }), EngErrNotExclusive);
  shared.Close(TTemporaryContents::Keep);

  TDataCursor& owner = OpenCursor("PEOPLE", true);
  std::vector<std::pair<int32_t, int32_t>> progress;
  owner.SetIndexProgressHandler([&progress](int32_t done, int32_t percent) { progress.emplace_back(done, percent); });
  owner.AddIndex(IndexDefinitionFromDesc(byName.data()));
  EXPECT_EQ(progress, (std::vector<std::pair<int32_t, int32_t>>{{1, 25}, {2, 50}, {3, 75}, {4, 100}}));
  EXPECT_EQ(owner.GetRecordCount(), 3);
  EXPECT_EQ(Walk(owner), (std::vector<int32_t>{1, 2, 4}));
  owner.SetIndexName("ByName");
  EXPECT_EQ(WalkNames(owner), (std::vector<std::string>{"x", "y", "z"}));
  owner.SetIndexNo(NaturalOrderIndex);
  EXPECT_EQ(Walk(owner), (std::vector<int32_t>{1, 2, 4}));

  const std::vector<uint8_t> empty = IndexDescriptor({"Nothing", {}});
  EXPECT_EQ(ErrorOf([&] { owner.AddIndex(IndexDefinitionFromDesc(empty.data())); }), EngErrKeySize);
  EXPECT_EQ(ErrorOf([&] { owner.DeleteIndex("Missing"); }), EngErrIndexName);
  owner.SetIndexName("ByName");
  owner.DeleteIndex(" byname ");
  EXPECT_EQ(owner.GetIndexNo(), 0);
  EXPECT_EQ(owner.Table()->IndexFile().GetSecondaryCount(), 0);
  EXPECT_EQ(ErrorOf([&] { owner.SetIndexName("ByName"); }), EngErrIndexName);
  EXPECT_EQ(Walk(owner), (std::vector<int32_t>{1, 2, 4}));
}

TEST_F(CursorTest, DroppedIndexPagesLeaveAnEmptyIndex) {
  CreatePeople("PEOPLE", {{"", {1}}, {"ByName", {2, 1}}});
  TDataCursor& cursor = OpenCursor("PEOPLE", true);
  for (auto [id, name] : std::vector<std::pair<int32_t, const char*>>{{2, "b"}, {1, "a"}})
    Append(cursor, Person(cursor, id, name));
  cursor.RefreshPosition();
  cursor.SetIndexName("ByName");
  EXPECT_EQ(WalkNames(cursor), (std::vector<std::string>{"a", "b"}));
  cursor.DropIndexPages(1);
  EXPECT_EQ(cursor.Table()->IndexFile().GetRootOffset(1), 0u);
  EXPECT_TRUE(WalkNames(cursor).empty());
  cursor.SetIndexNo(0);
  EXPECT_EQ(Walk(cursor), (std::vector<int32_t>{1, 2}));
}

TEST_F(CursorTest, SortingANaturalTableKeepsItsRecordsInUse) {
  Create("RESULT", {{"ID", IntType}, {"NAME", StrType, 20}}, {});
  TDataCursor& cursor = OpenCursor("RESULT", true);
  std::vector<uint32_t> slots;
  for (int32_t id : {5, 3, 9, 1, 7}) slots.push_back(Append(cursor, Person(cursor, id, "r")));
  Remove(cursor, slots[2]);
  cursor.RefreshPosition();
  const TSortField key{1, false};
  cursor.SortRecords({&key, 1}, false, TSortDuplicates::None, nullptr);
  EXPECT_EQ(Walk(cursor), (std::vector<int32_t>{1, 3, 5, 7}));
  EXPECT_EQ(cursor.GetRecordCount(), 4);
  cursor.SetToSequenceNo(4);
  EXPECT_EQ(IdOf(cursor), 7);
}

TEST_F(CursorTest, FieldMapComputesFieldsAfterTheRecord) {
  CreatePeople("PEOPLE", {{"", {1}}});
  TDataCursor& cursor = OpenCursor("PEOPLE");
  for (int32_t id : {4, 6}) Append(cursor, Person(cursor, id, "p"));

  // DOUBLE = ID * 2, a field of the cursor alone.
  TExpTreePtr product = DoubledIdExpression();

  std::vector<TFieldDefinition> map = Definitions({{"ID", IntType}, {"NAME", StrType, 20}, {"DOUBLE", IntType}});
  MakeComputedField(map, 2, product.get());
  cursor.SetNoFilterUpdate(true);
  cursor.SetFieldMap(map, true);
  EXPECT_TRUE(cursor.HasComputedFields());
  EXPECT_EQ(cursor.CursorRecordSize(), cursor.GetRecordSize() + 5);

  EXPECT_EQ(cursor.FieldDefinition(3).Origin, "PEOPLE.DOUBLE");
  cursor.SetToEnd();
  cursor.MoveBy(-1);
  int32_t value = 0;
  bool blank = true;
  cursor.GetField(3, cursor.GetCurrentRecordBuffer(), blank, &value);
  EXPECT_FALSE(blank);
  EXPECT_EQ(value, 12);

  std::vector<uint8_t> record(cursor.CursorRecordSize(), 0);
  const int32_t id = 21;
  cursor.PutField(1, record.data(), false, &id);
  cursor.GetField(3, record.data(), blank, &value);
  EXPECT_EQ(value, 42);
}
