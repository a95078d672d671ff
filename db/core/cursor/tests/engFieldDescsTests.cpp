#include "engFieldTestSupport.h"

namespace {

uint16_t DescNumber(const uint8_t* desc) { return GetLE16(desc + FieldDescNumberOffset); }

TEST_F(FieldAccessTest, UnknownFieldNumbersRaise9985NamingTheNumber) {
  Open();
  bool blank;
  uint8_t desc[FieldDescSize];
  const std::vector<std::pair<int, std::function<void()>>> calls = {
      {0, [&] { cursor.GetField(0, record.data(), blank, nullptr); }},
      {FieldTotal + 1, [&] { cursor.PutField(FieldTotal + 1, record.data(), true, nullptr); }},
      {-1, [&] { cursor.GetTableField(-1, record.data(), blank, nullptr); }},
      {65537, [&] { cursor.PutTableField(65537, record.data(), nullptr); }},
      {1025, [&] { cursor.GetTableFieldDesc(1025, desc); }}};
  for (const auto& [fieldNo, call] : calls) {
    EXPECT_EQ(RaisedCode(call), 9985) << fieldNo;
    EXPECT_EQ(GetErrorContextName(ecFieldName), std::to_string(fieldNo));
  }
  EXPECT_EQ(EngineErrorMessage(9985), "Invalid field number or name '1025' specified for table 'ORDERS.DAT'");
  cursor.DetachFields();
  EXPECT_EQ(RaisedCode([&] { cursor.GetTableFieldDesc(1, desc); }), 9985);
}

TEST_F(FieldAccessTest, AFieldMapNumbersByTheNumbersItsDescriptorsHold) {
  Open();
  std::vector<uint8_t> map(2 * FieldDescSize);
  cursor.GetFieldDesc(fCount, map.data());
  cursor.GetFieldDesc(fName, map.data() + FieldDescSize);
  cursor.SetFieldList(map.data(), 2, true);

  uint8_t desc[FieldDescSize];
  cursor.GetFieldDesc(fName, desc);
  EXPECT_EQ(DescNumber(desc), fName);
  EXPECT_TRUE(cursor.CopyFieldDescByPos(1, desc));
  EXPECT_EQ(DescNumber(desc), fCount);
  EXPECT_FALSE(cursor.CopyFieldDescByPos(3, desc));
  EXPECT_EQ(RaisedCode([&] { cursor.GetFieldDesc(2, desc); }), 9985);
  cursor.GetTableFieldDesc(fBorn, desc);  // the table still has it
  EXPECT_EQ(desc[FieldDescTypeOffset], 2);

  cursor.SetOwnFieldList(true);
  EXPECT_EQ(RaisedCode([&] { cursor.GetTableFieldDesc(fBorn, desc); }), 9985);
  EXPECT_EQ(cursor.GetFieldNo("name"), fName);
  EXPECT_EQ(cursor.GetFieldNo("born"), 0);
  cursor.SetOwnFieldList(false);
  EXPECT_EQ(cursor.GetFieldNo("born"), fBorn);
  EXPECT_EQ(cursor.GetFieldNo("nothing"), 0);

  std::vector<uint8_t> tooMany(size_t(MaxDataFields + 1) * FieldDescSize);
  EXPECT_EQ(RaisedCode([&] { cursor.SetFieldList(tooMany.data(), MaxDataFields + 1, false); }), 9492);
  EXPECT_EQ(cursor.FieldListCount(), 2);
}

// Values by number reach the descriptor either numbering names: the
// cursor's list, the data file's by position, or its by number under a
// field map; with a list of the cursor's own, the table's numbering is the
// cursor's.
TEST_F(FieldAccessTest, ValuesByNumberFollowEitherNumbering) {
  Open();
  auto getInt = [&](bool tableNumbering, int fieldNo) {
    int32_t value = 0;
    bool blank = true;
    if (tableNumbering) cursor.GetTableField(fieldNo, record.data(), blank, &value);
    else cursor.GetField(fieldNo, record.data(), blank, &value);
    return blank ? -1 : value;
  };
  const int32_t seven = 7;
  const int32_t eight = 8;
  cursor.PutTableField(fCount, record.data(), &seven);
  EXPECT_EQ(getInt(false, fCount), 7);
  cursor.PutField(fCount, record.data(), false, &eight);
  EXPECT_EQ(getInt(true, fCount), 8);

  std::vector<uint8_t> map(2 * FieldDescSize);
  cursor.GetFieldDesc(fCount, map.data());
  cursor.GetFieldDesc(fName, map.data() + FieldDescSize);
  cursor.SetFieldList(map.data(), 2, true);
  cursor.PutField(fName, record.data(), false, "abc");
  char text[11] = {};
  bool blank = true;
  cursor.GetTableField(fName, record.data(), blank, text);
  EXPECT_STREQ(text, "abc");
  EXPECT_EQ(getInt(true, fCount), 8);
  cursor.PutTableField(fQty, record.data(), nullptr);  // the table still has it
  EXPECT_EQ(RaisedCode([&] { getInt(false, fQty); }), 9985);
  cursor.SetOwnFieldList(true);
  EXPECT_EQ(getInt(true, fCount), 8);
  EXPECT_EQ(RaisedCode([&] { getInt(true, fQty); }), 9985);
}

TEST_F(FieldAccessTest, CountsAndIndexesComeFromTheTablesFiles) {
  Open();
  EXPECT_EQ(cursor.GetFieldCount(), FieldTotal);
  EXPECT_EQ(cursor.GetBlobFieldCount(), 1);
  EXPECT_EQ(cursor.GetRecordSize(), file->RecordSize());
  EXPECT_EQ(cursor.CursorRecordSize(), file->RecordSize());
  EXPECT_FALSE(cursor.PrimaryIsNatural());

  std::vector<uint8_t> index(IndexDescSize, 0);
  index[IdxDescFieldCount] = 0;
  indexFile->SetPrimaryIndex(index.data());
  EXPECT_TRUE(cursor.PrimaryIsNatural());
  index[0] = 6;
  std::memcpy(index.data() + 1, "ByName", 6);
  index[IdxDescFieldCount] = 2;
  PutLE16(index.data() + IdxDescFieldNumbers, fName);
  PutLE16(index.data() + IdxDescFieldNumbers + 2, fCount);
  PutLE16(index.data() + IdxDescKeyLength, 12 + 5 + 4);
  indexFile->AddIndex(index.data());

  uint16_t fields[IndexFieldListSize];
  cursor.GetIndexFieldList(1, fields);
  EXPECT_EQ(std::vector<uint16_t>(fields, fields + 3), (std::vector<uint16_t>{fName, fCount, 0}));
  uint8_t desc[IndexDescSize];
  cursor.GetIndexDesc(1, desc);
  EXPECT_EQ(GetLE16(desc + IdxDescKeyLength), 21);
  cursor.GetIndexDesc(NaturalOrderIndex, desc);
  EXPECT_EQ(std::count(desc, desc + IndexDescSize, 0), IndexDescSize);

  std::fill(record.begin(), record.end(), 0xEE);
  cursor.ClearRecord(record.data());
  EXPECT_EQ(std::count(record.begin(), record.end(), 0), long(record.size()));
  cursor.DetachFields();
  EXPECT_EQ(cursor.GetFieldCount() + cursor.CursorRecordSize() + cursor.FieldListCount(), 0);
}

}  // namespace
