// Navigation in natural and index order: ends and cracks, moving by
// records across index pages, sequence numbers, and the orders that
// descending, case-insensitive and locale indexes give.

#include <algorithm>
#include <numeric>
#include <random>

#include "engCursorTestSupport.h"
#include "engErrorCodes.h"

namespace {

const std::vector<TIndexSpec> PrimaryOnId = {{"", {1}}};

std::vector<int32_t> Range(int32_t first, int32_t last) {
  std::vector<int32_t> ids(size_t(last - first + 1));
  std::iota(ids.begin(), ids.end(), first);
  return ids;
}

}  // namespace

TEST_F(CursorTest, EmptyTableHasOnlyTheEmptyPosition) {
  CreatePeople("PEOPLE", PrimaryOnId);
  TDataCursor& cursor = OpenCursor("PEOPLE");
  for (uint8_t index : {uint8_t(0), NaturalOrderIndex}) {
    cursor.SetIndexNo(index);
    EXPECT_EQ(cursor.GetSequenceNo(), 0);
    EXPECT_EQ(cursor.GetRecordCount(), 0);
    cursor.SetToEnd();
    EXPECT_TRUE(cursor.AtBeginning() && cursor.AtEnd());
    cursor.MoveBy(-1);
    EXPECT_TRUE(cursor.AtBeginning() && cursor.AtEnd());
    cursor.SetToSequenceNo(1);
    EXPECT_TRUE(cursor.AtBeginning() && cursor.AtEnd());
    EXPECT_EQ(cursor.CurrentRecordNumber(), 0u);
  }
}

TEST_F(CursorTest, NaturalOrderWalksLiveRecordsBySlot) {
  Create("LOG", {{"ID", IntType}, {"NAME", StrType, 20}}, {});
  TDataCursor& cursor = OpenCursor("LOG");
  ASSERT_TRUE(cursor.IsNaturalOrder());
  std::vector<uint32_t> slots;
  for (int32_t id : {50, 10, 40, 20, 30}) slots.push_back(Append(cursor, Person(cursor, id, "n")));
  Remove(cursor, slots[1]);
  EXPECT_EQ(Walk(cursor), (std::vector<int32_t>{50, 40, 20, 30}));
  EXPECT_EQ(Walk(cursor, false), (std::vector<int32_t>{30, 20, 40, 50}));
  EXPECT_EQ(cursor.GetRecordCount(), 4);

  cursor.SetToBegin();
  EXPECT_TRUE(cursor.AtBeginning());
  EXPECT_EQ(IdOf(cursor), -1);  // no record under a crack: every field blank
  cursor.MoveBy(3);
  EXPECT_EQ(IdOf(cursor), 20);
  EXPECT_EQ(cursor.GetSequenceNo(), 3);
  cursor.MoveBy(5);
  EXPECT_TRUE(cursor.AtEnd() && !cursor.AtBeginning());
  cursor.MoveBy(-1);
  EXPECT_EQ(IdOf(cursor), 30);
  EXPECT_EQ(cursor.GetSequenceNo(), 4);
  cursor.MoveBy(-10);
  EXPECT_TRUE(cursor.AtBeginning());

  // Sequence numbers move in natural order too: the n-th visible record.
  cursor.SetToSequenceNo(2);
  EXPECT_EQ(IdOf(cursor), 40);
  EXPECT_EQ(cursor.GetSequenceNo(), 2);
  cursor.SetToSequenceNo(0);
  EXPECT_TRUE(cursor.AtBeginning() && !cursor.AtEnd());
  cursor.SetToSequenceNo(5);
  EXPECT_TRUE(cursor.AtEnd() && !cursor.AtBeginning());

  // A record deleted under the cursor: the cursor finds the next one.
  cursor.SetToSequenceNo(2);
  Remove(cursor, slots[2]);
  cursor.RefreshPosition();
  EXPECT_EQ(IdOf(cursor), 20);
  EXPECT_EQ(cursor.GetSequenceNo(), 2);
  EXPECT_EQ(cursor.GetRecordCount(), 3);
}

TEST_F(CursorTest, IndexOrderAcrossManyPages) {
  CreatePeople("PEOPLE", {{"", {1}}, {"ByName", {2}, false}});
  TDataCursor& cursor = OpenCursor("PEOPLE", true);
  std::vector<int32_t> ids = Range(1, 3000);
  std::shuffle(ids.begin(), ids.end(), std::mt19937(7));
  for (int32_t id : ids) {
    const std::string name = "N" + std::to_string(id % 97);
    Append(cursor, Person(cursor, id, name.c_str()));
  }
  cursor.RefreshPosition();
  EXPECT_EQ(cursor.GetRecordCount(), 3000);
  EXPECT_EQ(Walk(cursor), Range(1, 3000));
  std::vector<int32_t> backward = Range(1, 3000);
  std::reverse(backward.begin(), backward.end());
  EXPECT_EQ(Walk(cursor, false), backward);

  cursor.SetToBegin();
  cursor.MoveBy(1234);
  EXPECT_EQ(IdOf(cursor), 1234);
  EXPECT_EQ(cursor.GetSequenceNo(), 1234);
  cursor.MoveBy(-1000);
  EXPECT_EQ(IdOf(cursor), 234);
  cursor.SetToSequenceNo(2999);
  EXPECT_EQ(IdOf(cursor), 2999);
  cursor.SetToSequenceNo(3001);
  EXPECT_TRUE(cursor.AtEnd());
  cursor.SetToSequenceNo(0);
  EXPECT_TRUE(cursor.AtBeginning());

  // A secondary index with equal names keeps them in insertion order.
  cursor.SetIndexName("byname");
  EXPECT_EQ(cursor.GetIndexNo(), 1);
  const std::vector<std::string> names = WalkNames(cursor);
  EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
  cursor.SetToBegin();
  cursor.MoveBy(1);
  EXPECT_EQ(NameOf(cursor), "N0");
  EXPECT_EQ(IdOf(cursor), ids[size_t(std::find_if(ids.begin(), ids.end(), [](int32_t id) { return id % 97 == 0; }) -
                                  ids.begin())]);
}

// A step reads, with the record it lands on, the records of the next
// entries of its leaf; those lists move with each step. Whatever way the
// walk goes, and when it turns, they must name the records it meets next,
// in order.
TEST_F(CursorTest, AWalkReadsAheadTheRecordsItMeetsNext) {
  CreatePeople("PEOPLE", PrimaryOnId);
  TDataCursor& cursor = OpenCursor("PEOPLE", true);
  std::vector<int32_t> ids = Range(1, 2000);
  std::shuffle(ids.begin(), ids.end(), std::mt19937(11));
  for (int32_t id : ids) Append(cursor, Person(cursor, id, "p"));
  cursor.RefreshPosition();
  std::vector<uint32_t> records;  // in key order: scattered over the file
  for (cursor.SetToBegin(), cursor.MoveBy(1); cursor.OnRecord(); cursor.MoveBy(1))
    records.push_back(cursor.CurrentRecordNumber());
  ASSERT_EQ(records.size(), ids.size());

  TReadContext& reader = cursor;
  const int64_t last = int64_t(records.size()) - 1;
  int64_t at = -1;
  size_t steps = 0;
  size_t listed = 0;
  auto step = [&](bool forward) {
    cursor.MoveBy(forward ? 1 : -1);
    at += forward ? 1 : -1;
    ASSERT_EQ(cursor.CurrentRecordNumber(), records[size_t(at)]);
    uint32_t numbers[64];
    const int32_t count = reader.UpcomingRecords(records[size_t(at)], forward, numbers, 64);
    ++steps;
    if (count > 0) ++listed;
    for (int32_t k = 0; k < count; ++k) {
      const int64_t next = at + (forward ? k + 1 : -(k + 1));
      ASSERT_TRUE(next >= 0 && next <= last) << "step " << steps;
      ASSERT_EQ(numbers[k], records[size_t(next)]) << "step " << steps << ", entry " << k;
    }
  };
  cursor.SetToBegin();
  while (at < last) step(true);
  while (at > 0) step(false);
  // Turning often: runs of steps each way, mostly forward.
  std::mt19937 random(5);
  while (at < last - 40) {
    const int forwardSteps = int(random() % 30) + 1;
    for (int i = 0; i < forwardSteps && at < last; ++i) step(true);
    const int backSteps = int(random() % 20) + 1;
    for (int i = 0; i < backSteps && at > 0; ++i) step(false);
  }
  // Only turns onto a new leaf and a leaf's last entries go without.
  EXPECT_GT(listed, steps * 9 / 10);
}

// A leaf's last entry has no next entries of its own to offer, but the
// step from it onto the next leaf is a walk too: the read of the record
// it lands on takes that leaf's next records along, so a walk in a
// scattered order reads once per leaf, not twice.
TEST_F(CursorTest, AWalkOntoTheNextLeafReadsItsRecordsAlong) {
  CreatePeople("PEOPLE", PrimaryOnId);
  TDataCursor& cursor = OpenCursor("PEOPLE", true);
  std::vector<int32_t> ids = Range(1, 2000);
  std::shuffle(ids.begin(), ids.end(), std::mt19937(7));
  for (int32_t id : ids) Append(cursor, Person(cursor, id, "p"));
  cursor.RefreshPosition();
  TReadContext& reader = cursor;
  for (const bool forward : {true, false}) {
    if (forward) cursor.SetToBegin();
    else cursor.SetToEnd();
    int steps = 0;
    int unlisted = 0;
    bool lastUnlisted = false;
    for (cursor.MoveBy(forward ? 1 : -1); cursor.OnRecord(); cursor.MoveBy(forward ? 1 : -1)) {
      uint32_t numbers[64];
      const bool listed = reader.UpcomingRecords(cursor.CurrentRecordNumber(), forward, numbers, 64) > 0;
      // Two steps in a row without a list: a leaf's last entry, then the
      // next leaf's first.
      EXPECT_FALSE(!listed && lastUnlisted) << (forward ? "forward" : "backward") << " step " << steps;
      unlisted += !listed;
      lastUnlisted = !listed;
      ++steps;
    }
    EXPECT_EQ(steps, 2000);
    // The walk crossed leaves: their last entries listed nothing.
    EXPECT_GT(unlisted, 1);
  }
}

TEST_F(CursorTest, AKeyGoneUnderTheCursorLeavesAGap) {
  CreatePeople("PEOPLE", PrimaryOnId);
  // Alone on an exclusive table, the cursor does not resynchronise.
  TDataCursor& cursor = OpenCursor("PEOPLE", true);
  std::vector<uint32_t> slots;
  for (int32_t id : {1, 2, 3, 4}) slots.push_back(Append(cursor, Person(cursor, id, "g")));
  cursor.RefreshPosition();
  cursor.SetToSequenceNo(2);
  Remove(cursor, slots[1]);
  cursor.MoveBy(1);
  EXPECT_EQ(IdOf(cursor), 3);
  Remove(cursor, slots[2]);
  cursor.MoveBy(-1);
  EXPECT_EQ(IdOf(cursor), 1);
  EXPECT_EQ(cursor.GetSequenceNo(), 1);
}

TEST_F(CursorTest, SwitchingIndexesKeepsTheRecord) {
  CreatePeople("PEOPLE", {{"", {1}}, {"ByName", {2}}});
  TDataCursor& cursor = OpenCursor("PEOPLE");
  for (auto [id, name] : std::vector<std::pair<int32_t, const char*>>{{1, "d"}, {2, "b"}, {3, "a"}, {4, "c"}})
    Append(cursor, Person(cursor, id, name));
  cursor.SetToSequenceNo(2);
  EXPECT_EQ(IdOf(cursor), 2);
  cursor.SetIndexName("ByName");
  EXPECT_EQ(IdOf(cursor), 2);
  EXPECT_EQ(cursor.GetSequenceNo(), 2);
  cursor.MoveBy(1);
  EXPECT_EQ(NameOf(cursor), "c");
  cursor.SetIndexNo(NaturalOrderIndex);
  EXPECT_EQ(IdOf(cursor), 4);
  EXPECT_EQ(cursor.GetSequenceNo(), 4);
  cursor.SetToEnd();
  cursor.SetIndexName("");
  EXPECT_TRUE(cursor.AtEnd());
  EXPECT_EQ(ErrorOf([&] { cursor.SetIndexName("Nope"); }), EngErrIndexName);
  EXPECT_EQ(cursor.GetIndexNo(), 0);
}

TEST_F(CursorTest, DescendingAndCaseInsensitiveOrders) {
  CreatePeople("PEOPLE", {{"", {1}},
                          {"Down", {2}, true, true},
                          {"Folded", {2}, false, false, true},
                          {"FieldDown", {2, 1}, true, false, false, {1, 0}}});
  TDataCursor& cursor = OpenCursor("PEOPLE");
  int32_t id = 0;
  for (const char* name : {"b", "C", "a", "B"}) Append(cursor, Person(cursor, ++id, name));
  Append(cursor, Record(cursor, {&(++id), nullptr}));

  cursor.SetIndexName("Down");
  EXPECT_EQ(WalkNames(cursor), (std::vector<std::string>{"b", "a", "C", "B", ""}));
  cursor.SetIndexName("Folded");
  // Byte order of the folded names; the row number orders equal ones.
  EXPECT_EQ(WalkNames(cursor), (std::vector<std::string>{"", "a", "b", "B", "C"}));
  cursor.SetIndexName("FieldDown");
  EXPECT_EQ(WalkNames(cursor), (std::vector<std::string>{"b", "a", "C", "B", ""}));
  EXPECT_EQ(Walk(cursor, false), (std::vector<int32_t>{5, 4, 2, 3, 1}));
}

TEST_F(CursorTest, LocaleOrdersTextsByTheLanguage) {
  const std::vector<TIndexSpec> indexes = {{"", {1}}, {"ByName", {2}, false}, {"Down", {2}, false, true}};
  CreatePeople("PLAIN", indexes);
  CreatePeople("ENGLISH", indexes, 0x0409);
  for (const char* table : {"PLAIN", "ENGLISH"}) {
    TDataCursor& cursor = OpenCursor(table);
    int32_t id = 0;
    for (const char* name : {"B", "a", "c"}) Append(cursor, Person(cursor, ++id, name));
    Append(cursor, Record(cursor, {&(++id), nullptr}));
    cursor.SetIndexName("ByName");
    const std::vector<std::string> expected = std::string(table) == "PLAIN"
                                                  ? std::vector<std::string>{"", "B", "a", "c"}
                                                  : std::vector<std::string>{"", "a", "B", "c"};
    EXPECT_EQ(WalkNames(cursor), expected) << table;
    cursor.SetIndexName("Down");
    std::vector<std::string> reversed(expected.rbegin(), expected.rend());
    EXPECT_EQ(WalkNames(cursor), reversed) << table;
  }
}
