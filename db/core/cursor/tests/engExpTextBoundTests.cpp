// Texts that operators and functions make from column values stay inside
// the value they are stored in: a memo read whole, concatenated, replaced
// or cut, in a filter evaluated per record.

#include <string>
#include <vector>

#include "engCursorWriteTestSupport.h"
#include "engExpCodes.h"

namespace {

enum : int { fId = 1, fName = 2, fNotes = 3 };

class ExpTextBoundTest : public CursorWriteTest {
protected:
  TDataCursor* cursor = nullptr;

  // ID, NAME string(20), NOTES memo; the primary index on ID.
  void SetUp() override {
    CursorWriteTest::SetUp();
    Create("MEMOS", {{"ID", IntType}, {"NAME", StrType, 20}, {"NOTES", BlobFieldType, 0, stMemo}}, {{"", {1}}});
    cursor = &OpenCursor("MEMOS");
  }

  void InsertMemo(int32_t id, const std::string& name, const std::string& notes) {
    std::vector<uint8_t> record = Record(*cursor, {&id, name.c_str()});
    ASSERT_EQ(cursor->Blobs().OpenBlob(fNotes, record.data(), {.Release = true}), 0);
    ASSERT_EQ(cursor->Blobs().WriteBlob(fNotes, record.data(), TFieldNumbering::Cursor,
                                        {reinterpret_cast<const uint8_t*>(notes.data()), notes.size()}, 0),
              0);
    cursor->InsertRecord(record.data());
  }

  std::vector<int32_t> Matching(const std::string& text) {
    TFilter* filter = cursor->Filters().AddFilter(text);
    cursor->Filters().ActivateFilter(filter);
    std::vector<int32_t> ids = Walk(*cursor);
    cursor->Filters().DropFilter(filter);
    return ids;
  }
};

// A memo longer than the buffer a node starts with, joined to a long
// constant: the joined text is bigger than either operand's buffer.
TEST_F(ExpTextBoundTest, MemoConcatenatedWithLongConstantFitsItsValue) {
  const std::string xs(254, 'x');
  InsertMemo(1, "a", std::string(300, 'm'));
  InsertMemo(2, "b", "short");
  InsertMemo(3, "c", std::string(600, 'q'));
  EXPECT_EQ(Matching("NOTES || '" + xs + "' = ''"), std::vector<int32_t>{});
  EXPECT_EQ(Matching("NOTES || '" + xs + "' = 'short' || '" + xs + "'"), std::vector<int32_t>{2});
  EXPECT_EQ(Matching("SUBSTRING('" + xs + "' || NOTES || '" + xs + "' FROM 854 FOR 3) = 'qxx'"),
            std::vector<int32_t>{3});
  EXPECT_EQ(Matching("UPPER(REPLACE('m' WITH '" + xs + "' IN NOTES)) LIKE 'XXX%'"), std::vector<int32_t>{1});
}

}  // namespace
