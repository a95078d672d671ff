#include "MDBTableTestSupport.h"
#include "MDBTb.h"
#include "osHelperProcess.h"

namespace {

class ProcessTest : public TableTest {
protected:
  void SetUp() override {
    TableTest::SetUp();
    // Another process's record lock is given up on after one short retry.
    DefaultSession().SetLockRetryCount(1);
    DefaultSession().SetLockWaitTime(10);
    table = OpenPeople();
  }
  void TearDown() override {
    table.reset();
    DefaultSession().SetLockRetryCount(TMDBSession::DefaultLockRetryCount);
    DefaultSession().SetLockWaitTime(TMDBSession::DefaultLockWaitTime);
    TableTest::TearDown();
  }
  std::string Names() {
    table->Refresh();
    std::string names;
    for (const std::string& name : Column(*table, "NAME")) names += (names.empty() ? "" : ",") + name;
    return names;
  }

  TObjectPtr<TMDBTable> table;
};

TEST_F(ProcessTest, EachProcessSeesTheOthersChanges) {
  THelperProcess helper(MDB_TABLE_HELPER);
  ASSERT_EQ(helper.AskLine("open " + folder + " PEOPLE.DAT"), "ok");
  EXPECT_EQ(helper.AskLine("names"), "Alice,Bob,carol,dave,eve");
  EXPECT_EQ(helper.AskLine("append 6 frank"), "ok");
  EXPECT_EQ(helper.AskLine("edit 2 Bobby"), "ok");
  EXPECT_EQ(Names(), "Alice,Bobby,carol,dave,eve,frank");
  EXPECT_EQ(table->RecordCount(), 6);
  ASSERT_TRUE(table->Locate("ID", Variant(3), TLocateOptions()));
  table->Edit();
  table->FieldByName("NAME")->SetAsString("Carol");
  table->Post();
  table->Delete();
  EXPECT_EQ(helper.AskLine("names"), "Alice,Bobby,dave,eve,frank");
}

TEST_F(ProcessTest, ARecordEditedElsewhereCannotBeEditedHere) {
  THelperProcess helper(MDB_TABLE_HELPER);
  ASSERT_EQ(helper.AskLine("open " + folder + " PEOPLE.DAT"), "ok");
  ASSERT_EQ(helper.AskLine("hold 4"), "ok");
  ASSERT_TRUE(table->Locate("ID", Variant(4), TLocateOptions()));
  EXPECT_THROW(table->Edit(), EMDBEngineError);
  EXPECT_EQ(table->State(), dsBrowse);
  // Another record is free.
  ASSERT_TRUE(table->Locate("ID", Variant(5), TLocateOptions()));
  table->Edit();
  table->Cancel();
  EXPECT_EQ(helper.AskLine("post David"), "ok");
  table->Refresh();
  ASSERT_TRUE(table->Locate("ID", Variant(4), TLocateOptions()));
  EXPECT_EQ(table->FieldByName("NAME")->AsString(), "David");
  table->Edit();
  table->FieldByName("NAME")->SetAsString("Dave");
  table->Post();
  EXPECT_EQ(helper.AskLine("names"), "Alice,Bob,carol,Dave,eve");
}

TEST_F(ProcessTest, AnExclusiveOpenIsRefusedWhileAnotherProcessHasTheTable) {
  THelperProcess helper(MDB_TABLE_HELPER);
  const std::string answer = helper.AskLine("open " + folder + " PEOPLE.DAT exclusive");
  EXPECT_EQ(answer.rfind("error MDB Engine Error # ", 0), 0u) << answer;
  table->Close();
  ASSERT_EQ(helper.AskLine("open " + folder + " PEOPLE.DAT exclusive"), "ok");
  EXPECT_THROW(table->Open(), EMDBEngineError);
  EXPECT_FALSE(table->Active());
  EXPECT_EQ(helper.AskLine("close"), "ok");
  table->Open();
  EXPECT_EQ(table->RecordCount(), 5);
}

}  // namespace
