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
