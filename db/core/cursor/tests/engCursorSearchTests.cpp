// Key searches (exact, nearest, partial), ranges, bookmarks, and several
// cursors of one process on one table.

#include "engCursorTestSupport.h"

namespace {

std::vector<uint8_t> Triple(TDataCursor& cursor, int32_t a, int32_t b, int32_t c) {
  std::vector<uint8_t> record(cursor.CursorRecordSize(), 0);
  cursor.PutTableField(1, record.data(), &a);
  cursor.PutTableField(2, record.data(), &b);
  cursor.PutTableField(3, record.data(), &c);
  return record;
}

}  // namespace

TEST_F(CursorTest, FindKeyExactNearestAndInNaturalOrder) {
  CreatePeople("PEOPLE", {{"", {1}}});
  TDataCursor& cursor = OpenCursor("PEOPLE");
  for (int32_t id : {30, 10, 20}) Append(cursor, Person(cursor, id, "x"));
  std::vector<uint8_t> found(cursor.CursorRecordSize());
  EXPECT_TRUE(cursor.FindKey(Person(cursor, 20, "").data(), {}, found.data()));
  EXPECT_EQ(IdOf(cursor), 20);
  EXPECT_EQ(GetLE32(found.data() + 10), 20u);
  EXPECT_FALSE(cursor.FindKey(Person(cursor, 25, "").data(), {}));
  EXPECT_EQ(IdOf(cursor), 30);
  EXPECT_FALSE(cursor.FindKey(Person(cursor, 99, "").data(), {}));
  EXPECT_TRUE(cursor.AtEnd() && !cursor.AtBeginning());

  cursor.SetIndexNo(NaturalOrderIndex);
  cursor.SetToSequenceNo(2);
  EXPECT_FALSE(cursor.FindKey(Person(cursor, 30, "").data(), {}));
  EXPECT_EQ(IdOf(cursor), 10);
}

TEST_F(CursorTest, FindKeyWithSomeFieldsOrAPartialText) {
  Create("PARTS", {{"A", IntType}, {"B", IntType}, {"C", IntType}}, {{"", {1, 2, 3}}});
  TDataCursor& parts = OpenCursor("PARTS");
  for (auto [a, b, c] : std::vector<std::tuple<int, int, int>>{{1, 1, 5}, {1, 2, 7}, {1, 2, 1}, {2, 0, 0}})
    Append(parts, Triple(parts, a, b, c));
  int32_t value = 0;
  bool blank = true;
  EXPECT_TRUE(parts.FindKey(Triple(parts, 1, 2, 99).data(), {.FieldCount = 2}));
  parts.GetTableField(3, parts.GetCurrentRecordBuffer(), blank, &value);
  EXPECT_EQ(value, 1);
  EXPECT_FALSE(parts.FindKey(Triple(parts, 1, 3, 0).data(), {.FieldCount = 2}));
  parts.GetTableField(1, parts.GetCurrentRecordBuffer(), blank, &value);
  EXPECT_EQ(value, 2);

  CreatePeople("PEOPLE", {{"", {1}}, {"ByName", {2}, false, false, true}});
  TDataCursor& people = OpenCursor("PEOPLE");
  int32_t id = 0;
  for (const char* name : {"Bob", "Anna", "andrew", "Andrew"}) Append(people, Person(people, ++id, name));
  people.SetIndexName("ByName");
  EXPECT_TRUE(people.FindKey(Person(people, 0, "an").data(), {.PartialLength = 2}));
  EXPECT_EQ(NameOf(people), "andrew");
  EXPECT_FALSE(people.FindKey(Person(people, 0, "ax").data(), {.PartialLength = 2}));
  EXPECT_EQ(NameOf(people), "Bob");
  // Without a count the whole name is compared, whatever row numbers follow.
  EXPECT_TRUE(people.FindKey(Person(people, 0, "ANDREW").data(), {}));
  EXPECT_EQ(IdOf(people), 3);
}

TEST_F(CursorTest, RangesLimitWhatTheCursorSees) {
  CreatePeople("PEOPLE", {{"", {1}}, {"Down", {1}, true, true}});
  TDataCursor& cursor = OpenCursor("PEOPLE");
  for (int32_t id : {10, 20, 30, 40, 50}) Append(cursor, Person(cursor, id, "x"));
  cursor.SetRange(Person(cursor, 20, "").data(), 0, nullptr, 0);
  EXPECT_EQ(Walk(cursor), (std::vector<int32_t>{20, 30, 40, 50}));
  EXPECT_EQ(cursor.GetRecordCount(), 4);
  cursor.SetToSequenceNo(2);
  EXPECT_EQ(IdOf(cursor), 30);
  EXPECT_EQ(cursor.GetSequenceNo(), 2);
  EXPECT_FALSE(cursor.SearchKey(std::vector<uint8_t>(cursor.KeyLength(), 0).data()));
  EXPECT_EQ(IdOf(cursor), 20);
  cursor.ResetRange();
  EXPECT_EQ(cursor.GetRecordCount(), 5);
  EXPECT_EQ(IdOf(cursor), 20);

  // Only an upper bound on a descending index: from its first key on.
  cursor.SetIndexName("Down");
  cursor.SetRange(nullptr, 0, Person(cursor, 30, "").data(), 0);
  EXPECT_EQ(Walk(cursor), (std::vector<int32_t>{50, 40, 30}));
  EXPECT_EQ(Walk(cursor, false), (std::vector<int32_t>{30, 40, 50}));
  EXPECT_EQ(cursor.GetRecordCount(), 3);
  cursor.SetRange(Person(cursor, 20, "").data(), 0, Person(cursor, 40, "").data(), 0);
  EXPECT_EQ(cursor.GetRecordCount(), 0);
  EXPECT_TRUE(cursor.AtBeginning() && cursor.AtEnd());
  cursor.SetRange(Person(cursor, 40, "").data(), 0, Person(cursor, 20, "").data(), 0);
  EXPECT_EQ(Walk(cursor), (std::vector<int32_t>{40, 30, 20}));
}

TEST_F(CursorTest, BookmarksInBothOrders) {
  CreatePeople("PEOPLE", {{"", {1}}});
  TDataCursor& cursor = OpenCursor("PEOPLE");
  std::vector<uint32_t> slots;
  for (int32_t id : {10, 20, 30, 40}) slots.push_back(Append(cursor, Person(cursor, id, "x")));

  for (uint8_t index : {NaturalOrderIndex, uint8_t(0)}) {
    cursor.SetIndexNo(index);
    EXPECT_EQ(cursor.GetBookmarkSize(), index == 0 ? 5 : 4);
    cursor.SetToSequenceNo(2);
    std::vector<uint8_t> second(size_t(cursor.GetBookmarkSize()));
    std::vector<uint8_t> third(second.size());
    cursor.GetBookmark(second.data());
    cursor.MoveBy(1);
    cursor.GetBookmark(third.data());
    EXPECT_EQ(cursor.CompareBookmarks(second.data(), third.data()), -1);
    EXPECT_EQ(cursor.CompareBookmarks(third.data(), third.data()), 0);
    cursor.SetToEnd();
    EXPECT_TRUE(cursor.GotoBookmark(second.data()));
    EXPECT_EQ(IdOf(cursor), 20);
  }

  cursor.SetIndexNo(0);
  cursor.SetToSequenceNo(2);
  std::vector<uint8_t> mark(5);
  cursor.GetBookmark(mark.data());
  Remove(cursor, slots[1]);
  EXPECT_FALSE(cursor.GotoBookmark(mark.data()));
  EXPECT_TRUE(cursor.GotoBookmark(mark.data(), TKeyMatch::Nearest));
  EXPECT_EQ(IdOf(cursor), 30);

  uint8_t three[4], seven[4];
  PutLE32(three, 3);
  PutLE32(seven, 7);
  cursor.SetIndexNo(NaturalOrderIndex);
  EXPECT_EQ(cursor.CompareBookmarks(three, seven), -1);
  EXPECT_TRUE(cursor.GotoBookmark(seven, TKeyMatch::Nearest));
  EXPECT_EQ(IdOf(cursor), 40);
}

TEST_F(CursorTest, CursorsOfOneProcessShareTheTable) {
  CreatePeople("PEOPLE", {{"", {1}}, {"ByName", {2}}});
  TDataCursor& first = OpenCursor("PEOPLE");
  TDataCursor& second = OpenCursor("PEOPLE");
  TDataCursor& natural = OpenCursor("PEOPLE");
  EXPECT_EQ(first.Table(), second.Table());
  EXPECT_EQ(first.Table()->UseCount(), 3);
  natural.SetIndexNo(NaturalOrderIndex);
  for (auto [id, name] : std::vector<std::pair<int32_t, const char*>>{{1, "c"}, {2, "a"}, {3, "b"}})
    Append(first, Person(first, id, name));
  second.SetIndexName("ByName");
  first.SetToSequenceNo(2);
  second.SetToSequenceNo(2);
  natural.SetToSequenceNo(3);
  EXPECT_EQ(IdOf(first), 2);
  EXPECT_EQ(NameOf(second), "b");

  // Another cursor's insert and delete show at the next operation of each.
  Append(second, Person(second, 0, "d"));
  Remove(second, 1);
  first.MoveBy(1);
  EXPECT_EQ(IdOf(first), 3);
  EXPECT_EQ(first.GetRecordCount(), 3);
  second.MoveBy(1);
  EXPECT_EQ(NameOf(second), "d");
  natural.MoveBy(1);
  EXPECT_EQ(IdOf(natural), 0);
  EXPECT_EQ(natural.GetSequenceNo(), 3);
  EXPECT_EQ(Walk(natural), (std::vector<int32_t>{2, 3, 0}));

  first.Close(TTemporaryContents::Keep);
  second.Close(TTemporaryContents::Keep);
  EXPECT_EQ(natural.Table()->UseCount(), 1);
}

TEST_F(CursorTest, StrictChangeDetectionSeesAnotherTablesAppend) {
  CreatePeople("PEOPLE", {{"", {1}}});
  // A second session has a table object of its own on the same files, as
  // another process would.
  TDataSession* otherSession = nullptr;
  CreateEngineSession(otherSession);
  TDataDirectory* otherDirectory = otherSession->OpenDirectory("", folder);
  TCursorPtr writer(new TDataCursor(otherDirectory));
  writer->SetOpenOptions({.TableName = "PEOPLE"});
  writer->Open();
  TDataCursor& reader = OpenCursor("PEOPLE");
  EXPECT_NE(reader.Table(), writer->Table());
  Append(*writer, Person(*writer, 1, "a"));

  reader.SetToBegin();
  EXPECT_EQ(reader.GetRecordCount(), 0);
  session->StrictChangeDetection = true;
  reader.SetToBegin();
  EXPECT_EQ(reader.GetRecordCount(), 1);
  reader.MoveBy(1);
  EXPECT_EQ(IdOf(reader), 1);

  writer.reset();
  FreeEngineSession(otherSession);
}
