// Restructuring a table in each of its three ways, with the losses and
// progress it reports.

#include "engErrorCodes.h"
#include "engRestructureTestSupport.h"

TEST_F(RestructureTest, CopyCarriesValuesAddsDefaultsAndReportsShortenedValues) {
  CreatePeopleWith({"Ann", "Bartholomew", "Cy"});
  // NAME shortened to 5, a new AGE with a default, ID moved last.
  TNewDefinition definition({{"NAME", StrType, 5}, {"AGE", IntType}, {"ID", IntType}}, {2, 3, 1}, {{"", {1}}});
  definition.SetDefault(2, "7");
  Restructure(definition, false);
  ASSERT_EQ(losses.size(), 1u);
  EXPECT_EQ(losses[0].Cause, rlValueNotConverted);
  EXPECT_EQ(losses[0].Text, "NAME");
  EXPECT_EQ(TableRows(), (Rows{{"Ann", "7", "1"}, {"-", "7", "2"}, {"Cy", "7", "3"}}));
  EXPECT_TRUE(FileExists("PEOPLE.DBK"));
  EXPECT_TRUE(FileExists("PEOPLE.IBK"));
  EXPECT_TRUE(WorkFolderEmpty());
  // Fields are numbered by position afterwards; the primary index follows.
  TDataCursor& cursor = OpenCursor("PEOPLE", true);
  uint16_t keyFields[IndexFieldListSize];
  cursor.GetIndexFieldList(0, keyFields);
  EXPECT_EQ(keyFields[0], 3);
}

TEST_F(RestructureTest, DroppedFieldIsReportedForEveryRecordUntilStopAsking) {
  CreatePeopleWith({"Ann", "Bob", "Cy"});
  stopAskingAfter = 2;
  TNewDefinition definition({{"ID", IntType}}, {1}, {{"", {1}}});
  Restructure(definition, true);
  EXPECT_EQ(losses.size(), 2u);
  EXPECT_EQ(losses[0].Cause, rlFieldDropped);
  EXPECT_EQ(losses[0].Text, "NAME");
  EXPECT_EQ(TableRows(), (Rows{{"1"}, {"2"}, {"3"}}));
  EXPECT_FALSE(FileExists("PEOPLE.DBK"));
  EXPECT_FALSE(FileExists("PEOPLE.IBK"));
}

TEST_F(RestructureTest, StoppedCopyLeavesTheTableAsItWas) {
  CreatePeopleWith({"Ann", "Bob", "Cy"});
  stopAfter = 2;
  TNewDefinition definition({{"ID", IntType}}, {1}, {{"", {1}}});
  Restructure(definition, true);
  EXPECT_EQ(TableRows(), (Rows{{"1", "Ann"}, {"2", "Bob"}, {"3", "Cy"}}));
  EXPECT_FALSE(FileExists("PEOPLE.DBK"));
  EXPECT_TRUE(WorkFolderEmpty());
}

TEST_F(RestructureTest, ProgressCountsEveryPhysicalRecord) {
  CreatePeopleWith({"Ann", "Bob", "Cy", "Di"});
  TDataCursor& cursor = OpenCursor("PEOPLE", true);
  Remove(cursor, 2);
  cursor.Close(TTemporaryContents::Discard);
  TNewDefinition definition({{"ID", IntType}, {"NAME", StrType, 30}}, {1, 2}, {{"", {1}}});
  Restructure(definition, true);
  EXPECT_EQ(progress, (std::vector<std::pair<int32_t, int32_t>>{{1, 25}, {2, 50}, {3, 75}, {4, 100}}));
  EXPECT_EQ(TableRows(), (Rows{{"1", "Ann"}, {"3", "Cy"}, {"4", "Di"}}));
}

TEST_F(RestructureTest, RenamingAFieldUpdatesDescriptorsInPlace) {
  CreatePeopleWith({"Ann", "Bob"});
  TNewDefinition definition({{"ID", IntType}, {"FULLNAME", StrType, 20}}, {1, 2}, {{"", {1}}});
  Restructure(definition, false);
  EXPECT_TRUE(progress.empty());
  EXPECT_FALSE(FileExists("PEOPLE.DBK"));
  EXPECT_FALSE(FileExists("PEOPLE.IBK"));
  TDataCursor& cursor = OpenCursor("PEOPLE", true);
  EXPECT_EQ(cursor.GetFieldNo("FULLNAME"), 2);
  EXPECT_EQ(Walk(cursor), (std::vector<int32_t>{1, 2}));
}

TEST_F(RestructureTest, IndexesAddedDroppedAndReversed) {
  CreatePeopleWith({"Cy", "Ann", "Bob"}, {{"", {1}}, {"BYNAME", {2}}, {"SPARE", {2}, false}});
  // SPARE dropped, BYNAME descending in its one field, BYID added.
  TNewDefinition definition({{"ID", IntType}, {"NAME", StrType, 20}}, {1, 2},
                            {{"", {1}}, {"BYNAME", {2}, true, false, false, {1}}});
  Restructure(definition, true);
  EXPECT_FALSE(FileExists("PEOPLE.IBK"));
  TDataCursor& cursor = OpenCursor("PEOPLE", true);
  EXPECT_EQ(cursor.Table()->IndexFile().GetSecondaryCount(), 1);
  cursor.SetIndexName("BYNAME");
  EXPECT_EQ(WalkNames(cursor), (std::vector<std::string>{"Cy", "Bob", "Ann"}));
}

TEST_F(RestructureTest, UniqueIndexOverDuplicatesRemovesTheLaterRecords) {
  CreatePeopleWith({"Ann", "Bob", "Ann", "Ann"});
  TNewDefinition definition({{"ID", IntType}, {"NAME", StrType, 20}}, {1, 2}, {{"", {1}}, {"BYNAME", {2}}});
  Restructure(definition, true);
  ASSERT_EQ(losses.size(), 2u);
  EXPECT_EQ(losses[0].Cause, rlDuplicateKey);
  EXPECT_EQ(losses[0].Text, "BYNAME");
  EXPECT_EQ(TableRows(), (Rows{{"1", "Ann"}, {"2", "Bob"}}));
  TDataCursor& cursor = OpenCursor("PEOPLE", true);
  EXPECT_EQ(Walk(cursor), (std::vector<int32_t>{1, 2}));
  cursor.SetIndexName("BYNAME");
  EXPECT_EQ(WalkNames(cursor), (std::vector<std::string>{"Ann", "Bob"}));
}

// The first duplicate is accepted, the second stops: no record may be gone.
TEST_F(RestructureTest, StoppedRebuildKeepsEveryRecordAndTheOldIndexes) {
  CreatePeopleWith({"Ann", "Bob", "Ann", "Ann"});
  stopAfter = 2;
  TNewDefinition definition({{"ID", IntType}, {"NAME", StrType, 20}}, {1, 2}, {{"", {1}}, {"BYNAME", {2}}});
  Restructure(definition, true);
  EXPECT_EQ(losses.size(), 2u);
  EXPECT_EQ(TableRows(), (Rows{{"1", "Ann"}, {"2", "Bob"}, {"3", "Ann"}, {"4", "Ann"}}));
  TDataCursor& cursor = OpenCursor("PEOPLE", true);
  EXPECT_EQ(cursor.Table()->IndexFile().GetSecondaryCount(), 0);
  EXPECT_EQ(cursor.GetRecordCount(), 4);
  EXPECT_EQ(Walk(cursor), (std::vector<int32_t>{1, 2, 3, 4}));
  EXPECT_FALSE(FileExists("PEOPLE.IBK"));
}

TEST_F(RestructureTest, RefusesCursorsThatAreOpenSharedOrReadOnly) {
  CreatePeopleWith({"Ann"});
  TNewDefinition definition({{"ID", IntType}}, {1}, {{"", {1}}});
  TDataCursor& shared = NewCursor("PEOPLE", false);
  EXPECT_EQ(ErrorOf([&] { shared.RestructureTable(definition.Get(), true); }), EngErrNotExclusive);
  TDataCursor& readOnly = NewCursor("PEOPLE", true);
  readOnly.SetOpenOptions({.TableName = "PEOPLE", .Exclusive = true, .ReadOnly = true});
  EXPECT_EQ(ErrorOf([&] { readOnly.RestructureTable(definition.Get(), true); }), EngErrAccessDenied);
  TDataCursor& open = OpenCursor("PEOPLE", true);
  EXPECT_EQ(ErrorOf([&] { open.RestructureTable(definition.Get(), true); }), EngErrTableInUse);
  open.Close(TTemporaryContents::Discard);
  EXPECT_EQ(TableRows(), (Rows{{"1", "Ann"}}));
}
