#include <gtest/gtest.h>

#include "dbTestSupport.h"

TEST(DataSetNavigation, WalksForwardAndBackwardWithBofAndEof) {
  auto people = MakePeople(10);
  EXPECT_EQ(WalkIds(*people), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  EXPECT_TRUE(people->Eof());
  EXPECT_EQ(people->FieldByName("ID")->AsInteger(), 10);

  std::vector<int> backwards;
  for (people->Last(); !people->Bof(); people->Prior()) backwards.push_back(people->FieldByName("ID")->AsInteger());
  EXPECT_EQ(backwards, (std::vector<int>{10, 9, 8, 7, 6, 5, 4, 3, 2, 1}));

  people->First();
  EXPECT_TRUE(people->Bof());
  EXPECT_EQ(people->MoveBy(4), 4);
  EXPECT_EQ(people->RecNo(), 5);
  EXPECT_EQ(people->MoveBy(100), 5);
  EXPECT_TRUE(people->Eof());
  EXPECT_EQ(people->MoveBy(-100), -9);
  EXPECT_TRUE(people->Bof());
  EXPECT_EQ(people->RecordCount(), 10);
  EXPECT_TRUE(people->IsSequenced());
  people->SetRecNo(7);
  EXPECT_EQ(people->FieldByName("ID")->AsInteger(), 7);
}

TEST(DataSetNavigation, AnEmptyDataSetIsAtBothEnds) {
  auto people = MakePeople(0);
  EXPECT_TRUE(people->IsEmpty());
  EXPECT_TRUE(people->Bof());
  EXPECT_TRUE(people->Eof());
  EXPECT_TRUE(people->FieldByName("ID")->IsNull());
  EXPECT_EQ(people->MoveBy(1), 0);
  EXPECT_EQ(people->RecNo(), -1);
  EXPECT_EQ(ErrorOf([&] { people->Delete(); }), "Cannot perform this operation on an empty dataset");
}

TEST(DataSetNavigation, AFailedOpenLeavesNothingBehind) {
  auto people = MakePeople(3);
  people->Close();
  people->FailOpen = {1, "Table is locked"};
  EXPECT_EQ(ErrorOf([&] { people->Open(); }), "Table is locked");
  EXPECT_FALSE(people->Active());
  EXPECT_EQ(people->State(), dsInactive);
  EXPECT_EQ(people->FieldCount(), 0);
  people->Open();
  EXPECT_TRUE(people->DefaultFields());
  EXPECT_EQ(WalkIds(*people), (std::vector<int>{1, 2, 3}));
}

TEST(DataSetBufferRing, LinksEnlargeTheRingAndFollowTheActiveRecord) {
  auto people = MakePeople(20);
  EXPECT_EQ(people->BufferCount(), 1);

  TDataSource source(nullptr);
  source.SetDataSet(people.get());
  TRecordingLink grid;
  grid.SetBufferCount(5);
  grid.SetDataSource(&source);
  EXPECT_TRUE(grid.Active());
  EXPECT_EQ(people->BufferCount(), 5);
  EXPECT_EQ(grid.RecordCount(), 5);
  EXPECT_EQ(grid.ActiveRecord(), 0);

  // The grid's rows read records through the ring without moving the cursor.
  std::vector<int> rows;
  const int saved = grid.ActiveRecord();
  for (int row = 0; row < grid.RecordCount(); ++row) {
    grid.SetActiveRecord(row);
    rows.push_back(people->FieldByName("ID")->AsInteger());
  }
  grid.SetActiveRecord(saved);
  EXPECT_EQ(rows, (std::vector<int>{1, 2, 3, 4, 5}));

  // Moving inside the window scrolls nothing; moving past it scrolls the
  // window by the records that came in.
  grid.Scrolls.clear();
  people->MoveBy(4);
  EXPECT_EQ(grid.ActiveRecord(), 4);
  people->MoveBy(2);
  EXPECT_EQ(grid.ActiveRecord(), 4);
  EXPECT_EQ(people->FieldByName("ID")->AsInteger(), 7);
  ASSERT_EQ(grid.Scrolls.size(), 2u);
  EXPECT_EQ(grid.Scrolls[0], 0);
  EXPECT_EQ(grid.Scrolls[1], 2);
  for (int row = 0; row < 5; ++row) {
    grid.SetActiveRecord(row);
    EXPECT_EQ(people->FieldByName("ID")->AsInteger(), 3 + row);
  }
  grid.SetActiveRecord(4);

  // A second link asking for more enlarges the ring again; when it goes,
  // the ring shrinks and keeps the active record and the grid's window.
  {
    TRecordingLink wide;
    wide.SetBufferCount(8);
    wide.SetDataSource(&source);
    EXPECT_EQ(people->BufferCount(), 8);
    EXPECT_EQ(people->FieldByName("ID")->AsInteger(), 7);
  }
  EXPECT_EQ(people->BufferCount(), 5);
  EXPECT_EQ(people->FieldByName("ID")->AsInteger(), 7);
  EXPECT_GE(grid.ActiveRecord(), 0);
  EXPECT_LT(grid.ActiveRecord(), 5);
  people->Next();
  EXPECT_EQ(people->FieldByName("ID")->AsInteger(), 8);
  EXPECT_EQ(WalkIds(*people).size(), 20u);

  grid.SetDataSource(nullptr);
  EXPECT_EQ(people->BufferCount(), 1);
  EXPECT_FALSE(grid.Active());
}

TEST(DataSetBufferRing, ResyncCentresTheRecordAndRefreshRereads) {
  auto people = MakePeople(20);
  TDataSource source(nullptr);
  source.SetDataSet(people.get());
  TRecordingLink grid;
  grid.SetBufferCount(7);
  grid.SetDataSource(&source);

  people->Locate("ID", 12, {});
  EXPECT_EQ(people->FieldByName("ID")->AsInteger(), 12);
  EXPECT_EQ(grid.ActiveRecord(), 3);  // centred in seven rows
  grid.SetActiveRecord(0);
  EXPECT_EQ(people->FieldByName("ID")->AsInteger(), 9);
  grid.SetActiveRecord(3);

  const int reads = people->RecordReads;
  people->Refresh();
  EXPECT_GT(people->RecordReads, reads);
  EXPECT_EQ(people->FieldByName("ID")->AsInteger(), 12);
}

TEST(DataSetBookmarks, GetGoToCompareAndValidity) {
  auto people = MakePeople(10);
  people->MoveBy(2);
  TBookmark third = people->GetBookmark();
  ASSERT_FALSE(third.empty());
  people->Last();
  TBookmark last = people->GetBookmark();
  people->GotoBookmark(third);
  EXPECT_EQ(people->FieldByName("ID")->AsInteger(), 3);

  EXPECT_EQ(people->CompareBookmarks(third, last), -1);
  EXPECT_EQ(people->CompareBookmarks(last, third), 1);
  EXPECT_EQ(people->CompareBookmarks(third, third), 0);
  EXPECT_EQ(people->CompareBookmarks({}, {}), 0);
  EXPECT_EQ(people->CompareBookmarks({}, third), 1);
  EXPECT_EQ(people->CompareBookmarks(third, {}), -1);

  EXPECT_TRUE(people->BookmarkValid(third));
  people->Delete();
  EXPECT_FALSE(people->BookmarkValid(third));
  EXPECT_EQ(people->FieldByName("ID")->AsInteger(), 4);
  EXPECT_EQ(ErrorOf([&] { people->GotoBookmark(third); }), "Record not found");
  EXPECT_EQ(ErrorOf([&] { people->GotoBookmark({1, 2}); }), "Bookmark not found");

  people->FreeBookmark(last);
  EXPECT_TRUE(last.empty());
  people->GotoBookmark(last);  // an empty bookmark goes nowhere
  EXPECT_EQ(people->FieldByName("ID")->AsInteger(), 4);

  // A record being inserted has no bookmark yet.
  people->Insert();
  EXPECT_FALSE(people->BookmarkAvailable());
  EXPECT_TRUE(people->GetBookmark().empty());
  people->Cancel();
}
