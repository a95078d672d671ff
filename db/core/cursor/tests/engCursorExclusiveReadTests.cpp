// An exclusive cursor defers its writes until the record cache fills; what
// it appended must read back through every order meanwhile.

#include <gtest/gtest.h>

#include "engCursorWriteTestSupport.h"

namespace {

class CursorExclusiveReadTest : public CursorWriteTest {};

TEST_F(CursorExclusiveReadTest, RecordsAppendedButNotYetWrittenReadBack) {
  CreateGroups("G");
  TDataCursor& cursor = OpenCursor("G", true);
  for (int id = 1; id <= 4000; ++id) Insert(cursor, id, "N" + std::to_string(id), id % 5);
  cursor.SetIndexNo(NaturalOrderIndex);
  EXPECT_EQ(Walk(cursor).size(), 4000u);
  cursor.SetIndexName("");
  const std::vector<int32_t> ids = Walk(cursor);
  ASSERT_EQ(ids.size(), 4000u);
  EXPECT_EQ(ids.front(), 1);
  EXPECT_EQ(ids.back(), 4000);
}

}  // namespace
