// BLOB values carried over by a restructure that copies the table.

#include "engBlobBuffer.h"
#include "engBlobFile.h"
#include "engRecordBuffer.h"
#include "engRestructureTestSupport.h"

TEST_F(RestructureTest, CopyCarriesBlobValues) {
  Create("PEOPLE", {{"ID", IntType}, {"MEMO", BlobFieldType, 8}}, {{"", {1}}});
  const std::string text(1500, 'x');
  {
    TDataCursor& cursor = OpenCursor("PEOPLE", true);
    TBlobBuffer value(&cursor, &cursor.Table()->BlobFile());
    value.Sequence = cursor.Table()->DataFile().NextBlobSequence();
    value.PhysicalRecordNo = 1;
    value.SetSize(int32_t(text.size()));
    std::memcpy(value.GetData(), text.data(), text.size());
    value.Save();
    int32_t id = 1;
    std::vector<uint8_t> record = Record(cursor, {&id});
    uint8_t desc[FieldDescSize];
    cursor.GetTableFieldDesc(2, desc);
    FieldNullByte(desc, record.data()) = 1;
    PutLE32(FieldValueBytes(desc, record.data()), uint32_t(value.FirstOffset));
    PutLE32(FieldValueBytes(desc, record.data()) + 4, value.Sequence);
    cursor.InsertRecord(record.data());
    cursor.Close(TTemporaryContents::Discard);
  }
  TNewDefinition definition({{"ID", IntType}, {"MEMO", BlobFieldType, 8}, {"AGE", IntType}}, {1, 2, 3}, {{"", {1}}});
  Restructure(definition, true);
  EXPECT_TRUE(losses.empty());
  TDataCursor& cursor = OpenCursor("PEOPLE", true);
  cursor.SetToBegin();
  cursor.MoveBy(1);
  ASSERT_TRUE(cursor.OnRecord());
  uint8_t desc[FieldDescSize];
  cursor.GetTableFieldDesc(2, desc);
  const uint8_t* reference = FieldValueBytes(desc, cursor.GetCurrentRecordBuffer());
  TBlobBuffer value(&cursor, &cursor.Table()->BlobFile());
  value.FirstOffset = int32_t(GetLE32(reference));
  value.Sequence = GetLE32(reference + 4);
  value.PhysicalRecordNo = 1;
  value.Load();
  ASSERT_EQ(value.Size(), int32_t(text.size()));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(value.GetData()), text.size()), text);
}
