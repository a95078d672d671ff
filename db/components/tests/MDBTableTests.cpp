#include <filesystem>

#include "MDBConsts.h"
#include "MDBDatabase.h"
#include "MDBTableTestSupport.h"
#include "MDBTb.h"
#include "dbConsts.h"
#include "engCursor.h"

namespace {

TEST_F(TableTest, ATableIsReadInPrimaryOrderAndByEachIndex) {
  TObjectPtr<TMDBTable> table = OpenPeople();
  EXPECT_EQ(table->RecordCount(), 5);
  EXPECT_EQ(Column(*table, "ID"), (TStrings{"1", "2", "3", "4", "5"}));
  table->SetIndexName("ByName");
  EXPECT_EQ(Column(*table, "NAME"), (TStrings{"Alice", "Bob", "carol", "dave", "eve"}));
  EXPECT_EQ(table->IndexName(), "ByName");
  EXPECT_EQ(table->IndexFieldNames(), "");
  table->SetIndexFieldNames("CITY;NAME");
  EXPECT_EQ(Column(*table, "NAME"), (TStrings{"carol", "eve", "Alice", "dave", "Bob"}));
  EXPECT_EQ(table->IndexName(), "");
  EXPECT_EQ(table->IndexFieldNames(), "CITY;NAME");
  table->Last();
  EXPECT_EQ(table->FieldByName("NAME")->AsString(), "Bob");
  EXPECT_EQ(table->RecNo(), 5);
  table->SetIndexFieldNames("");
  EXPECT_EQ(table->IndexName(), "");
  EXPECT_EQ(Column(*table, "ID"), (TStrings{"1", "2", "3", "4", "5"}));
}

}  // namespace
