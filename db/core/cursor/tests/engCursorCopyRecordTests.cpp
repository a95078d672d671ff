// A record copied into a new buffer, BLOB values included, and inserted
// as a record of its own.

#include "engBlobBuffer.h"
#include "engCursorRecords.h"
#include "engCursorWriteTestSupport.h"
#include "engErrorCodes.h"

namespace {

enum : int { fId = 1, fName = 2, fNotes = 3 };

class CursorCopyRecordTest : public CursorWriteTest {
protected:
  std::vector<uint8_t> ReadNotes(TDataCursor& cursor, uint8_t* record) {
    EXPECT_EQ(cursor.Blobs().OpenBlob(fNotes, record, {}), 0);
    int32_t size = 0;
    EXPECT_EQ(cursor.Blobs().GetBlobSize(fNotes, record, TFieldNumbering::Cursor, size), 0);
    std::vector<uint8_t> text(static_cast<size_t>(size));
    int32_t got = 0;
    EXPECT_EQ(cursor.Blobs().ReadBlob(fNotes, record, TFieldNumbering::Cursor, got,
                                      {reinterpret_cast<uint8_t*>(text.data()), size_t(size)}, 0),
              0);
    EXPECT_EQ(cursor.Blobs().FreeBlob(fNotes, record, TFieldNumbering::Cursor), 0);
    return text;
  }
};

}  // namespace

TEST_F(CursorCopyRecordTest, CopyCarriesValuesAndAnOwnCopyOfEachBlob) {
  Create("NOTES", {{"ID", IntType}, {"NAME", StrType, 20}, {"NOTES", BlobFieldType}}, {{"", {1}}});
  TDataCursor& cursor = OpenCursor("NOTES");
  std::vector<uint8_t> copy(cursor.CursorRecordSize(), 0xAA);
  EXPECT_EQ(cursor.CopyRecord(copy.data()), EngErrNoCurrentRecord);
  EXPECT_TRUE(std::all_of(copy.begin(), copy.end(), [](uint8_t b) { return b == 0; }));

  const std::vector<uint8_t> text(1500, 'x');
  int32_t id = 1;
  std::vector<uint8_t> record = Record(cursor, {&id, "first"});
  ASSERT_EQ(cursor.Blobs().OpenBlob(fNotes, record.data(), {.Release = true}), 0);
  ASSERT_EQ(cursor.Blobs().WriteBlob(fNotes, record.data(), TFieldNumbering::Cursor,
                                     {reinterpret_cast<const uint8_t*>(text.data()), text.size()}, 0),
            0);
  cursor.InsertRecord(record.data());
  id = 2;
  cursor.InsertRecord(Record(cursor, {&id, "blank notes"}).data());

  for (int32_t source : {1, 2}) {
    ASSERT_TRUE(Find(cursor, source));
    ASSERT_EQ(cursor.CopyRecord(copy.data()), 0);
    // The source record's BLOB is closed again.
    EXPECT_EQ(cursor.OpenBlobCount(), source == 1 ? 1 : 0);
    id = source + 10;
    cursor.PutTableField(fId, copy.data(), &id);
    cursor.InsertRecord(copy.data());
  }
  EXPECT_EQ(Walk(cursor), (std::vector<int32_t>{1, 2, 11, 12}));
  for (int32_t copied : {1, 11}) {
    ASSERT_TRUE(Find(cursor, copied));
    std::vector<uint8_t> current = Current(cursor);
    EXPECT_EQ(ReadNotes(cursor, current.data()), text);
    EXPECT_EQ(NameOf(cursor), "first");
  }
  ASSERT_TRUE(Find(cursor, 12));
  std::vector<uint8_t> current = Current(cursor);
  EXPECT_TRUE(ReadNotes(cursor, current.data()).empty());
  EXPECT_EQ(NameOf(cursor), "blank notes");
}
