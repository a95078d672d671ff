// A fill of an exclusive table defers the cursor's upkeep to its end.

#include "engCursorTestSupport.h"

namespace {

TEST_F(CursorTest, FillDefersUpkeepToItsEnd) {
  Create("fill", {{"A", IntType}}, {});
  TDataCursor& shared = OpenCursor("fill");
  EXPECT_THROW(shared.BeginFill(), EEngineError);
  shared.Close(false);
  TDataCursor& cursor = OpenCursor("fill", true);
  std::vector<uint8_t> record(cursor.CursorRecordSize(), 0);
  cursor.BeginFill();
  for (int32_t value = 1; value <= 5; ++value) {
    cursor.ClearRecord(record.data());
    cursor.PutField(1, record.data(), false, &value);
    cursor.InsertRecord(record.data(), false);
  }
  cursor.EndFill();
  EXPECT_EQ(cursor.GetRecordCount(), 5);
  cursor.SetToBegin();
  int32_t expected = 1;
  while (cursor.GetNextRecord(record.data()) == 0) {
    int32_t value = 0;
    bool blank = true;
    cursor.GetField(1, record.data(), blank, &value);
    EXPECT_EQ(value, expected++);
  }
  EXPECT_EQ(expected, 6);
}

}  // namespace
