#include "engCursorWriteTestSupport.h"
#include "engTableTestSupport.h"

// Two other processes and this one insert into one table at once; the
// write lock lets one change through at a time, and every process sees
// the others' records before it writes its own.
TEST_F(CursorWriteTest, ThreeProcessesAppendingIntoOneTableKeepItWhole) {
  CreateGroups("SHARED");
  TableHelperProcess first;
  TableHelperProcess second;
  ASSERT_EQ(first.Ask("cursor " + folder + " SHARED shared"), 0u);
  ASSERT_EQ(second.Ask("cursor " + folder + " SHARED shared"), 0u);
  first.Send("insert 1 300");
  second.Send("insert 1001 300");
  TDataCursor& cursor = OpenCursor("SHARED");
  std::vector<int32_t> ids;
  for (int32_t id = 2001; id <= 2300; ++id) Insert(cursor, id, "N" + std::to_string(id), id % 100);
  EXPECT_EQ(first.Receive(), 0u);
  EXPECT_EQ(second.Receive(), 0u);
  ASSERT_EQ(first.Ask("closecursor"), 0u);
  ASSERT_EQ(second.Ask("closecursor"), 0u);

  cursor.Close(true);

  TDataCursor& reader = OpenCursor("SHARED");
  for (int32_t base : {1, 1001, 2001})
    for (int32_t id = base; id < base + 300; ++id) ids.push_back(id);
  EXPECT_EQ(Walk(reader), ids);
  EXPECT_EQ(reader.GetPhysicalRecordCount(), 900u);
  EXPECT_EQ(reader.Table()->IndexFile().GetRecordCount(), 900u);
  reader.SetIndexName("ByGrp");
  EXPECT_EQ(reader.GetRecordCount(), 900);
  reader.SetIndexNo(NaturalOrderIndex);
  EXPECT_EQ(reader.GetRecordCount(), 900);
  reader.Table()->DataFile().VerifyDataFile();
  reader.Table()->IndexFile().VerifyIndexFile();
}
