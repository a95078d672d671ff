// The order check of every step over an index: a tree whose keys run
// against the order its descriptor gives is reported at each step, inside
// a leaf and where the step goes on into the next leaf, also where walks
// found the same pages in order before they were read again.

#include <filesystem>
#include <string>
#include <vector>

#include "engCursorWriteTestSupport.h"
#include "engErrorCodes.h"
#include "engIndexFileLayout.h"

namespace {

class CursorWalkOrderTest : public CursorWriteTest {};

TEST_F(CursorWalkOrderTest, EveryStepAgainstTheKeysOrderIsReported) {
  // Enough rows of 20-character names for a few leaves of the second index.
  constexpr int Rows = 400;
  Create("ROWS", {{"ID", IntType}, {"NAME", StrType, 20}, {"GRP", IntType}},
         {{"", {1}}, {"ByGrpName", {3, 2}, false, true}});
  {
    TDataCursor& cursor = OpenCursor("ROWS");
    for (int id = 1; id <= Rows; ++id) Insert(cursor, id, "N" + std::to_string(id * 7919 % 1000), id % 7);
    cursors.clear();
  }
  // The descending flag cleared: every two neighbouring keys now stand the
  // wrong way round. A first open would find that and rebuild the index (or
  // refuse a read-only table), so the flag is cleared in the header of a
  // table already open, whose files are read-only so that nothing mends it.
  for (const char* file : {"ROWS.DAT", "ROWS.IDX"})
    std::filesystem::permissions(PathOf(file), std::filesystem::perms::owner_read);
  TDataCursor& cursor = OpenCursor("ROWS");
  ASSERT_TRUE(cursor.Table()->IsReadOnly());
  // Every leaf walked whole while sound: a page keeps that finding only
  // until it is read again.
  cursor.SetIndexNo(1);
  std::vector<uint8_t> record(cursor.CursorRecordSize());
  for (const bool forward : {true, false}) {
    int steps = 0;
    forward ? cursor.SetToBegin() : cursor.SetToEnd();
    while ((forward ? cursor.GetNextRecord(record.data()) : cursor.GetPriorRecord(record.data())) == 0) ++steps;
    ASSERT_EQ(steps, Rows);
  }
  cursor.SetIndexNo(0);
  TIndexFile& file = cursor.Table()->IndexFile();
  uint8_t desc[IndexDescSize];
  file.GetIndexDescriptor(1, desc);
  const uint32_t root = file.GetRootOffset(1), firstFree = file.GetFirstFreePage(1);
  desc[IdxDescDescending] = 0;
  file.SetIndexDescriptor(1, desc);
  file.SetRootOffset(1, root);
  file.SetFirstFreePage(1, firstFree);
  file.DropPages(true);
  cursor.SetIndexNo(1);
  ASSERT_EQ(cursor.GetRecordCount(), Rows);
  for (int position = 1; position < Rows; ++position) {
    cursor.SetToSequenceNo(position);
    EXPECT_EQ(ErrorOf([&] { cursor.MoveBy(1); }), EngErrPageCorrupt) << "forward from " << position;
    cursor.SetToSequenceNo(position + 1);
    EXPECT_EQ(ErrorOf([&] { cursor.MoveBy(-1); }), EngErrPageCorrupt) << "backward from " << position + 1;
  }
}

}  // namespace
