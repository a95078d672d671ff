// The order check of every step over an index: a tree whose keys run
// against the order its descriptor gives is reported at each step, inside
// a leaf and where the step goes on into the next leaf.

#include <filesystem>
#include <fstream>
#include <iterator>
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
  // wrong way round. Read-only, so the open cannot rebuild the index.
  std::vector<uint8_t> bytes;
  {
    std::ifstream in(PathOf("ROWS.IDX"), std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  bytes[HdrSlots + 1 * IndexDescSize + IdxDescDescending] = 0;
  {
    std::ofstream out(PathOf("ROWS.IDX"), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }
  for (const char* file : {"ROWS.DAT", "ROWS.IDX"})
    std::filesystem::permissions(PathOf(file), std::filesystem::perms::owner_read);

  TDataCursor& cursor = OpenCursor("ROWS");
  ASSERT_TRUE(cursor.Table()->IsReadOnly());
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
