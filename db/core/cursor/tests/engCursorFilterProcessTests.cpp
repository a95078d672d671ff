// How a cursor keeps its filters: callback and dependent filters, switching
// them all, replacing a condition, the cursor's own record changes, other
// cursors' and processes' changes, and clones.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engCursorFilterTestSupport.h"
#include "engErrorCodes.h"
#include "engTableTestSupport.h"

namespace {

// What a callback was asked: the record number of every ID, the group of
// every record, in the order asked.
struct TCallbackLog {
  TDataCursor* Cursor;
  std::map<int32_t, uint32_t> Numbers;
  std::vector<int32_t> Groups;
};

int32_t FieldOf(TDataCursor& cursor, const uint8_t* record, int fieldNo) {
  int32_t value = 0;
  bool blank = true;
  cursor.GetTableField(fieldNo, record, blank, &value);
  return value;
}

bool KeepEvenIds(TCallbackLog& log, const uint8_t* record, uint32_t number) {
  const int32_t id = FieldOf(*log.Cursor, record, 1);
  log.Numbers[id] = number;
  log.Groups.push_back(FieldOf(*log.Cursor, record, 3));
  return id % 2 == 0;
}

TFilter* AddCallback(TDataCursor& cursor, TCallbackLog& log, bool dependent) {
  return cursor.Filters().AddFilter([&log](const uint8_t* record, uint32_t number) { return KeepEvenIds(log, record, number); },
                          {.Dependent = dependent});
}

// ID 32 takes the slot that ID 3 left, so record numbers and IDs differ.
TEST_F(CursorFilterTest, CallbackFilterGetsItsContextAndTheRecordNumbers) {
  Fill(30);
  ASSERT_TRUE(Find(*cursor, 3));
  cursor->DeleteRecord(Current(*cursor).data());
  Insert(*cursor, 32, "N32", 2);
  TCallbackLog log{cursor, {}, {}};
  TFilter* filter = AddCallback(*cursor, log, false);
  EXPECT_TRUE(filter->IsCallback);
  EXPECT_EQ(filter->OptimizeLevel, olNone);
  cursor->Filters().ActivateFilter(filter);
  std::vector<int32_t> even = IdsWhere(30, [](int32_t id) { return id % 2 == 0; });
  even.push_back(32);
  EXPECT_EQ(Visible(), even);
  EXPECT_EQ(log.Numbers.size(), 30u);
  EXPECT_NE(log.Numbers[32], 32u);
  for (cursor->SetToBegin(), cursor->MoveBy(1); cursor->OnRecord(); cursor->MoveBy(1))
    EXPECT_EQ(cursor->CurrentRecordNumber(), log.Numbers[IdOf(*cursor)]);
}

// A dependent filter goes after the others and reads only what they let
// through; switching all on and off at once.
TEST_F(CursorFilterTest, DependentFilterSeesOnlyWhatTheOthersLetThrough) {
  Fill(30);
  TCallbackLog log{cursor, {}, {}};
  TFilter* dependent = AddCallback(*cursor, log, true);
  TFilter* group = Add("GRP = 2");
  TFilter* small = Add("ID <= 25");
  ASSERT_EQ(cursor->Filters().FilterCount(), 3);
  EXPECT_EQ(cursor->Filters().FilterAt(0), group);
  EXPECT_EQ(cursor->Filters().FilterAt(1), small);
  EXPECT_EQ(cursor->Filters().FilterAt(2), dependent);

  cursor->Filters().ActivateFilter(nullptr);
  EXPECT_TRUE(group->Active && small->Active && dependent->Active);
  EXPECT_EQ(Visible(), (std::vector<int32_t>{2, 12, 22}));
  EXPECT_EQ(log.Groups, (std::vector<int32_t>{2, 2, 2, 2, 2}));

  cursor->Filters().DeactivateFilter(nullptr);
  EXPECT_FALSE(group->Active || small->Active || dependent->Active);
  EXPECT_FALSE(cursor->Filters().FilteringOn());
  EXPECT_EQ(Visible().size(), 30u);
  cursor->Filters().ActivateFilter(group);
  EXPECT_EQ(Visible(), IdsWhere(30, [](int32_t id) { return id % 5 == 2; }));
  cursor->Filters().ActivateFilter(small);
  log.Groups.clear();
  cursor->Filters().ActivateFilter(dependent);
  EXPECT_EQ(log.Groups, (std::vector<int32_t>{2, 2, 2, 2, 2}));
  EXPECT_EQ(Visible(), (std::vector<int32_t>{2, 12, 22}));
  cursor->Filters().DropFilter(nullptr);
  EXPECT_EQ(cursor->Filters().FilterCount(), 0);
  EXPECT_FALSE(cursor->Filters().FilteringOn());
  EXPECT_EQ(Visible().size(), 30u);

  // Closing drops the filters.
  Activate("GRP = 2");
  Add("ID > 3");
  cursor->Close(TTemporaryContents::Keep);
  cursor->Open();
  EXPECT_EQ(cursor->Filters().FilterCount(), 0);
  EXPECT_EQ(Visible().size(), 30u);
}

TEST_F(CursorFilterTest, UpdateReplacesTheConditionAndKeepsThePositionWhenVisible) {
  Fill(40);
  TFilter* filter = Activate("ID > 10");
  ASSERT_TRUE(Find(*cursor, 15));
  cursor->Filters().UpdateFilter(Condition("GRP = 0").release(), filter);
  EXPECT_EQ(filter->OptimizeLevel, olFull);
  EXPECT_EQ(IdOf(*cursor), 15);
  EXPECT_EQ(Visible(), IdsWhere(40, [](int32_t id) { return id % 5 == 0; }));

  ASSERT_TRUE(Find(*cursor, 15));
  cursor->Filters().UpdateFilter(Condition("NAME LIKE '%1%'").release(), filter);
  EXPECT_EQ(filter->OptimizeLevel, olNone);
  EXPECT_EQ(IdOf(*cursor), 15);
  cursor->Filters().UpdateFilter(Condition("GRP = 1").release(), filter);
  EXPECT_EQ(IdOf(*cursor), 16);
  cursor->Filters().UpdateFilter(nullptr, filter);
  EXPECT_EQ(Visible(), IdsWhere(40, [](int32_t id) { return id % 5 == 1; }));

  // A ready condition, as a statement hands it over; one the caller keeps
  // stays the caller's when an update replaces it.
  TFilter* ready =
      cursor->Filters().AddFilter(Condition("ID < 20"));
  EXPECT_EQ(ready->OptimizeLevel, olFull);
  cursor->Filters().ActivateFilter(ready);
  EXPECT_EQ(Visible(), (std::vector<int32_t>{1, 6, 11, 16}));
  TExpTreePtr kept = Condition("ID < 30");
  TFilter* borrowed = cursor->Filters().AddSharedFilter(kept.get());
  cursor->Filters().ActivateFilter(borrowed);
  cursor->Filters().UpdateFilter(Condition("ID <> 11").release(), borrowed);
  EXPECT_EQ(Visible(), (std::vector<int32_t>{1, 6, 16}));
  cursor->Filters().DropFilter(borrowed);

  TCallbackLog log{cursor, {}, {}};
  TFilter* callback = AddCallback(*cursor, log, false);
  cursor->Filters().ActivateFilter(callback);
  TExpTreePtr tree = Condition("GRP = 2");
  EXPECT_EQ(ErrorOf([&] { cursor->Filters().UpdateFilter(tree.get(), callback); }), EngErrFilterHandle);
}

// A condition that fails on a record fails its activation; the cursor
// goes on as before it, never with a half-evaluated filter.
TEST_F(CursorFilterTest, AFilterWhoseEvaluationFailsIsLeftOff) {
  Fill(20);
  TFilter* group = Activate("GRP = 1");
  TFilter* failing = Add("ID > 3 AND CAST(NAME AS INTEGER) > 0");
  EXPECT_ANY_THROW(cursor->Filters().ActivateFilter(failing));
  EXPECT_FALSE(failing->Active);
  EXPECT_EQ(Visible(), (std::vector<int32_t>{1, 6, 11, 16}));
  // Once the handle is accepted the filter owns the tree, also when it fails.
  EXPECT_ANY_THROW(cursor->Filters().UpdateFilter(Condition("ID > 3 AND CAST(NAME AS INTEGER) > 0").release(), group));
  EXPECT_TRUE(group->Active);
  EXPECT_EQ(Visible(), (std::vector<int32_t>{1, 6, 11, 16}));
  cursor->Filters().DeactivateFilter(group);
  EXPECT_EQ(Visible().size(), 20u);
  TFilter* parsed = Activate("CAST(SUBSTRING(NAME FROM 2) AS INTEGER) > 15");
  EXPECT_EQ(Visible(), (std::vector<int32_t>{16, 17, 18, 19, 20}));
  cursor->Filters().DropFilter(parsed);
  EXPECT_ANY_THROW(cursor->Filters().ActivateFilter(nullptr));
  EXPECT_FALSE(failing->Active);
  EXPECT_EQ(Visible().size(), 20u);
}

// The insert is made before the filter tests the new record, so a test
// that fails cannot make the insert fail; the counts stay true to it.
TEST_F(CursorFilterTest, AnOwnInsertTheFilterCannotTestIsStillDone) {
  CreateGroups("JOBS");
  cursor = &OpenCursor("JOBS");
  for (int32_t id = 1; id <= 10; ++id) Insert(*cursor, id, std::to_string(id), 1);
  TFilter* filter = Activate("CAST(NAME AS INTEGER) > 5");
  EXPECT_NO_THROW(Insert(*cursor, 11, "eleven", 1));
  std::vector<int32_t> ids = Visible();
  std::erase(ids, 11);
  EXPECT_EQ(ids, (std::vector<int32_t>{6, 7, 8, 9, 10}));
  cursor->Filters().DeactivateFilter(filter);
  EXPECT_EQ(Visible().size(), 11u);
}

// Keys serve a condition only while its index is there; without it the
// records are read, and a new index serves it again.
TEST_F(CursorFilterTest, AFilterOutlivesTheIndexThatServedIt) {
  CreateGroups("JOBS");
  cursor = &OpenCursor("JOBS", true);
  for (int32_t id = 1; id <= 20; ++id) Insert(*cursor, id, "N" + std::to_string(id), id % 5);
  TFilter* filter = Activate("GRP = 2");
  EXPECT_EQ(filter->OptimizeLevel, olFull);
  EXPECT_NO_THROW(cursor->DeleteIndex("ByGrp"));
  EXPECT_EQ(filter->OptimizeLevel, olNone);
  EXPECT_EQ(Visible(), (std::vector<int32_t>{2, 7, 12, 17}));
  EXPECT_NO_THROW(Insert(*cursor, 22, "N22", 2));
  EXPECT_NO_THROW(Insert(*cursor, 23, "N23", 3));
  EXPECT_EQ(Visible(), (std::vector<int32_t>{2, 7, 12, 17, 22}));
  EXPECT_NO_THROW(cursor->Filters().DeactivateFilter(filter));
  EXPECT_NO_THROW(cursor->Filters().ActivateFilter(filter));
  EXPECT_EQ(Visible(), (std::vector<int32_t>{2, 7, 12, 17, 22}));
  cursor->AddIndex(IndexDefinitionFromDesc(IndexDescriptor({"ByGroup", {3}, false}).data()));
  EXPECT_EQ(filter->OptimizeLevel, olFull);
  EXPECT_EQ(Visible(), (std::vector<int32_t>{2, 7, 12, 17, 22}));
}

// The bitmaps shrink to no slots and grow again with the next inserts.
TEST_F(CursorFilterTest, AnEmptiedTableIsFilteredFromScratch) {
  CreateGroups("JOBS");
  cursor = &OpenCursor("JOBS", true);
  for (uint8_t order : {uint8_t(0), NaturalOrderIndex}) {
    SCOPED_TRACE(int(order));
    for (int32_t id = 1; id <= 20; ++id) Insert(*cursor, id, "N" + std::to_string(id), id % 5);
    cursor->SetIndexNo(order);
    TFilter* filter = Activate("GRP = 2");
    cursor->EmptyTable();
    EXPECT_TRUE(Visible().empty());
    Insert(*cursor, 7, "N7", 2);
    Insert(*cursor, 8, "N8", 3);
    EXPECT_EQ(Visible(), (std::vector<int32_t>{7}));
    cursor->Filters().DropFilter(filter);
    EXPECT_EQ(Visible().size(), 2u);
    cursor->EmptyTable();
  }
}

TEST_F(CursorFilterTest, CostChoiceSelectsWhatTheKeysSelect) {
  Fill(60);
  for (const char* text : {"ID > 5", "ID <= 55", "GRP <> 3", "GRP NOT IN (1, 2)", "ID BETWEEN 3 AND 58", "ID = 7"}) {
    TFilter* plain = Activate(text);
    const std::vector<int32_t> expected = Visible();
    cursor->Filters().DropFilter(plain);
    TFilter* costly = cursor->Filters().AddFilter(text, {.CostChoice = true});
    cursor->Filters().ActivateFilter(costly);
    EXPECT_EQ(Visible(), expected) << text;
    cursor->Filters().DropFilter(costly);
  }
}

TEST_F(CursorFilterTest, NothingVisibleLeavesOnlyTheEmptyPosition) {
  Fill(10);
  for (uint8_t order : {uint8_t(0), NaturalOrderIndex}) {
    cursor->SetIndexNo(order);
    TFilter* filter = Activate("GRP > 4");
    EXPECT_EQ(cursor->GetRecordCount(), 0);
    cursor->SetToBegin();
    cursor->MoveBy(1);
    EXPECT_FALSE(cursor->OnRecord());
    cursor->SetToEnd();
    cursor->MoveBy(-1);
    EXPECT_FALSE(cursor->OnRecord());
    cursor->SetToSequenceNo(1);
    EXPECT_FALSE(cursor->OnRecord());
    EXPECT_TRUE(Visible().empty());
    cursor->Filters().DropFilter(filter);
  }
}

// Stands on the visible record of the ID in any order.
bool StandOn(TDataCursor& cursor, int32_t id) {
  for (cursor.SetToBegin(), cursor.MoveBy(1); cursor.OnRecord(); cursor.MoveBy(1))
    if (FieldOf(cursor, cursor.GetCurrentRecordBuffer(), 1) == id) return true;
  return false;
}

// Through the keys outside a long stretch, the null keys that a descending
// index keeps inside it stay out when the condition leaves nulls out.
TEST_F(CursorFilterTest, CostChoiceOnADescendingIndexKeepsNullsOut) {
  Create("DOWN", {{"ID", IntType}, {"Q", IntType}}, {{"", {1}}, {"ByQDown", {2}, false, true}});
  cursor = &OpenCursor("DOWN");
  for (int32_t id = 1; id <= 13; ++id) {
    const int32_t q = -id;
    std::vector<uint8_t> record = Record(*cursor, {&id, id <= 10 ? &q : nullptr});
    cursor->InsertRecord(record.data());
  }
  for (bool costChoice : {false, true}) {
    TFilter* filter = cursor->Filters().AddFilter("Q < 0", {.CostChoice = costChoice});
    cursor->Filters().ActivateFilter(filter);
    EXPECT_EQ(Visible(), IdsWhere(13, [](int32_t id) { return id <= 10; })) << costChoice;
    cursor->Filters().DropFilter(filter);
  }
}

// The cursor's own inserts, changes and deletes keep the filter's records
// and the count, in index order and in natural order.
TEST_F(CursorFilterTest, OwnRecordChangesKeepTheFilteredRecords) {
  for (const std::string table : {"BYKEY", "BYSLOT"}) {
    SCOPED_TRACE(table);
    FillFilteredByGroupTwo(table);
    Insert(*cursor, 22, "N22", 2);
    Insert(*cursor, 23, "N23", 3);
    EXPECT_EQ(Visible(), (std::vector<int32_t>{2, 7, 12, 17, 22}));

    ASSERT_TRUE(StandOn(*cursor, 7));
    std::vector<uint8_t> record = Row(*cursor, 7, "N7", 3);
    // Asked to follow the record out of the filter, it stays on a visible one.
    cursor->ModifyRecord(record.data(), {.GoToRecord = true});
    if (cursor->OnRecord()) {
      EXPECT_EQ(IdOf(*cursor) % 5, 2);
    }
    EXPECT_EQ(Visible(), (std::vector<int32_t>{2, 12, 17, 22}));
    ASSERT_TRUE(StandOn(*cursor, 12));
    record = Row(*cursor, 12, "Twelve", 2);
    cursor->ModifyRecord(record.data(), {.GoToRecord = true});
    EXPECT_EQ(NameOf(*cursor), "Twelve");

    ASSERT_TRUE(StandOn(*cursor, 2));
    cursor->DeleteRecord(Current(*cursor).data());
    EXPECT_EQ(cursor->GetRecordCount(), 3);
    // The slot set free is taken again by the next insert.
    Insert(*cursor, 32, "N32", 2);
    Insert(*cursor, 33, "N33", 3);
    std::vector<int32_t> ids = Visible();
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, (std::vector<int32_t>{12, 17, 22, 32}));
  }
}

// Another cursor's changes reach the filtered cursor with its next
// operation, in index order and in natural order; a record that another
// cursor changes may enter the filter.
TEST_F(CursorFilterTest, AnotherCursorsChangesAreSeenAfterResynchronising) {
  for (const std::string table : {"BYKEY", "BYSLOT"}) {
    SCOPED_TRACE(table);
    FillFilteredByGroupTwo(table);
    TDataCursor& other = OpenCursor(table);
    ASSERT_TRUE(Find(other, 7));
    other.DeleteRecord(Current(other).data());
    Insert(other, 42, "N42", 2);
    Insert(other, 43, "N43", 3);
    ASSERT_TRUE(Find(other, 3));
    std::vector<uint8_t> record = Row(other, 3, "N3", 2);
    other.ModifyRecord(record.data());
    ASSERT_TRUE(Find(other, 12));
    record = Row(other, 12, "N12", 4);
    other.ModifyRecord(record.data());

    std::vector<int32_t> ids = Visible();
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, (std::vector<int32_t>{2, 3, 17, 42}));
  }
}

// Without strict change detection a refresh takes them in; with it, the
// next operation does.
TEST_F(CursorFilterTest, AnotherProcessesInsertsAreSeen) {
  Fill(20);
  cursor->SetIndexName("ByGrp");
  Activate("GRP = 2");
  EXPECT_EQ(cursor->GetRecordCount(), 4);
  TableHelperProcess helper;
  ASSERT_EQ(helper.Ask("cursor " + folder + " JOBS shared"), 0u);
  // The helper's records have GRP = ID mod 100.
  ASSERT_EQ(helper.Ask("insert 100 5"), 0u);
  ASSERT_EQ(helper.Ask("insert 302 1"), 0u);
  cursor->RefreshPosition();
  EXPECT_EQ(Visible(), (std::vector<int32_t>{2, 7, 12, 17, 102, 302}));
  session->StrictChangeDetection = true;
  ASSERT_EQ(helper.Ask("insert 402 2"), 0u);
  EXPECT_EQ(Visible(), (std::vector<int32_t>{2, 7, 12, 17, 102, 302, 402}));
  ASSERT_EQ(helper.Ask("closecursor"), 0u);
}

// A count from the keys sees what another process wrote before the filter
// was switched on; bitmaps left for later are built with what it wrote
// after, by the walk that needs them.
TEST_F(CursorFilterTest, CountsFromKeysAndLaterBitmapsSeeAnotherProcessesInserts) {
  Fill(20);
  session->StrictChangeDetection = true;
  TableHelperProcess helper;
  ASSERT_EQ(helper.Ask("cursor " + folder + " JOBS shared"), 0u);
  // The helper's records have GRP = ID mod 100.
  ASSERT_EQ(helper.Ask("insert 102 1"), 0u);
  TFilter* filter = Activate("GRP >= 2 AND GRP <= 2");
  EXPECT_EQ(cursor->GetRecordCount(), 5);
  ASSERT_EQ(helper.Ask("insert 202 1"), 0u);
  EXPECT_EQ(Visible(), (std::vector<int32_t>{2, 7, 12, 17, 102, 202}));
  cursor->Filters().DropFilter(filter);
  ASSERT_EQ(helper.Ask("insert 302 1"), 0u);
  Activate("GRP = 2");
  EXPECT_EQ(cursor->GetRecordCount(), 7);
  cursor->SetToEnd();
  cursor->MoveBy(-1);
  EXPECT_EQ(IdOf(*cursor), 302);
  ASSERT_EQ(helper.Ask("closecursor"), 0u);
}

// Bitmaps built while another process inserts: a build that meets a
// change starts again, so no walk ever meets a record outside the filter.
// The rounds go on until the last insert is seen.
TEST_F(CursorFilterTest, FiltersBuiltWhileAnotherProcessInsertsKeepTheirCondition) {
  Fill(50);
  session->StrictChangeDetection = true;
  TableHelperProcess helper;
  ASSERT_EQ(helper.Ask("cursor " + folder + " JOBS shared"), 0u);
  // The helper's records have GRP = ID mod 100: the last of group 2 is 1502.
  helper.Send("insert 1000 600");
  int32_t last = 0;
  for (int round = 0; round < 2000 && last != 1502; ++round) {
    SCOPED_TRACE(round);
    cursor->SetIndexNo(round % 2 ? NaturalOrderIndex : 0);
    TFilter* filter = Activate(round % 4 < 2 ? "GRP = 2" : "GRP = 2 AND NAME LIKE '%2%'");
    last = 0;
    for (cursor->SetToBegin(), cursor->MoveBy(1); cursor->OnRecord(); cursor->MoveBy(1)) {
      EXPECT_EQ(FieldOf(*cursor, cursor->GetCurrentRecordBuffer(), 3), 2);
      EXPECT_GT(IdOf(*cursor), last);
      last = IdOf(*cursor);
    }
    cursor->Filters().DropFilter(filter);
  }
  EXPECT_EQ(helper.Receive(), 0u);
  ASSERT_EQ(helper.Ask("closecursor"), 0u);
  cursor->SetIndexNo(0);
  Activate("GRP = 2");
  std::vector<int32_t> expected = IdsWhere(50, [](int32_t id) { return id % 5 == 2; });
  for (int32_t id = 1002; id < 1600; id += 100) expected.push_back(id);
  EXPECT_EQ(Visible(), expected);
}

// The clone takes the range too.
TEST_F(CursorFilterTest, CloneHasTheFiltersAndTheVisibleRecords) {
  Fill(40);
  cursor->SetIndexName("ByName");
  TCallbackLog log{cursor, {}, {}};
  cursor->Filters().ActivateFilter(AddCallback(*cursor, log, true));
  Activate("GRP <> 0");
  Add("ID > 30");
  cursor->SetRange(Record(*cursor, {nullptr, "N1"}).data(), 1, Record(*cursor, {nullptr, "N3"}).data(), 1);
  const std::vector<int32_t> visible = Visible();
  EXPECT_EQ(visible, (std::vector<int32_t>{12, 14, 16, 18, 2, 22, 24, 26, 28}));
  ASSERT_TRUE(cursor->FindKey(Record(*cursor, {nullptr, "N14"}).data(), {.FieldCount = 1}));

  cursors.emplace_back(cursor->Clone());
  TDataCursor& clone = *cursors.back();
  ASSERT_EQ(clone.Filters().FilterCount(), 3);
  for (int32_t i = 0; i < 3; ++i) {
    EXPECT_NE(clone.Filters().FilterAt(i), cursor->Filters().FilterAt(i));
    EXPECT_EQ(clone.Filters().FilterAt(i)->Active, cursor->Filters().FilterAt(i)->Active) << i;
    EXPECT_EQ(clone.Filters().FilterAt(i)->Dependent, cursor->Filters().FilterAt(i)->Dependent) << i;
  }
  EXPECT_EQ(IdOf(clone), 14);
  EXPECT_EQ(clone.GetRecordCount(), cursor->GetRecordCount());
  EXPECT_EQ(Walk(clone), visible);
  clone.Filters().DropFilter(nullptr);
  EXPECT_EQ(Walk(clone).size(), 23u);
  EXPECT_EQ(Walk(*cursor), visible);
}

}  // namespace
