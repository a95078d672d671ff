#include <cfloat>
#include <climits>

#include "engBcd.h"
#include "engExpDateTime.h"
#include "engFieldTestSupport.h"
#include "engRecordBuffer.h"

namespace {

std::vector<uint8_t> Bytes(const void* value, size_t size) {
  const auto* p = static_cast<const uint8_t*>(value);
  return {p, p + size};
}
template <typename T>
std::vector<uint8_t> Bytes(T value) {
  return Bytes(&value, sizeof value);
}

TEST_F(FieldAccessTest, EveryTypeRoundTripsAtItsLimitsAndBlanksToZeros) {
  Open();
  const std::vector<std::pair<int, std::vector<uint8_t>>> values = {
      {fName, Bytes("abcdefghij", 11)},
      {fBorn, Bytes(DateTimeToDayNumber(EncodeDate(9999, 12, 31)))},
      {fPaid, Bytes(uint16_t(1))},
      {fQty, Bytes(int16_t(SHRT_MIN))},
      {fCount, Bytes(int32_t(INT_MIN))},
      {fPrice, Bytes(-DBL_MAX)},
      {fFee, Bytes(DBL_MIN)},
      {fAmount, Bytes(FloatToStoredBcd(-99999999999.99, 2))},
      {fUnits, Bytes(FloatToStoredBcd(7, 0))},
      {fRaw, {0, 0xFF, 0, 0x80, 0x7F, 1}},
      {fAt, Bytes(int32_t(86399999))},
      {fStamp, Bytes(DateTimeToTimeStamp(EncodeDate(1, 1, 1)))},
      {fFlags, Bytes(uint16_t(0xFFFF))},
      {fNotes, Bytes(int32_t(INT_MAX))}};
  std::fill(record.begin(), record.end(), 0xEE);
  for (const auto& [fieldNo, bytes] : values) cursor.PutField(fieldNo, record.data(), false, bytes.data());
  for (const auto& [fieldNo, bytes] : values) {
    std::vector<uint8_t> value(bytes.size(), 0xCC);
    bool blank = true;
    cursor.GetField(fieldNo, record.data(), blank, value.data());
    EXPECT_FALSE(blank) << fieldNo;
    EXPECT_EQ(value, bytes) << fieldNo;
    EXPECT_EQ(NullByte(fieldNo), 1) << fieldNo;
  }
  EXPECT_EQ(cursor.Computes, int(values.size()));

  for (const auto& [fieldNo, bytes] : values) {
    cursor.PutField(fieldNo, record.data(), false, nullptr);
    std::vector<uint8_t> value(bytes.size(), 0xCC);
    bool blank = false;
    cursor.GetField(fieldNo, record.data(), blank, value.data());
    EXPECT_TRUE(blank) << fieldNo;
    EXPECT_EQ(value, std::vector<uint8_t>(bytes.size(), 0)) << fieldNo;
    EXPECT_EQ(NullByte(fieldNo), 0) << fieldNo;
  }
}

// A caller may read a field's bytes where the record holds them, for every
// field but a BLOB and the auto-increment field.
TEST_F(FieldAccessTest, StoredBytesAreWhatAReadCopies) {
  Open();
  PutText(fName, "abc");
  Put(fCount, int32_t(-5));
  Put(fNotes, int32_t(4096));
  Put(fId, int32_t(42));
  for (int fieldNo = 1; fieldNo <= cursor.FieldListCount(); ++fieldNo) {
    const uint8_t* desc = cursor.FieldDescAt(fieldNo);
    bool blank = true;
    const uint8_t* stored = cursor.StoredFieldBytes(desc, record.data(), blank);
    if (fieldNo == fNotes || fieldNo == fId) {
      EXPECT_EQ(stored, nullptr) << fieldNo;
      continue;
    }
    ASSERT_NE(stored, nullptr) << fieldNo;
    std::vector<uint8_t> value(size_t(FieldValueWidth(desc)), 0xCC);
    bool readBlank = !blank;
    cursor.GetFieldValue(desc, record.data(), readBlank, value.data());
    EXPECT_EQ(blank, readBlank) << fieldNo;
    EXPECT_EQ(Bytes(stored, value.size()), value) << fieldNo;
    EXPECT_EQ(blank, fieldNo != fName && fieldNo != fCount) << fieldNo;
  }
}

// A read copies a field's stored bytes whole, whatever their count, and
// writes nothing past them: the copy goes a word at a time.
TEST_F(FieldAccessTest, ReadsCopyValuesOfEveryWidthWholeAndNothingPastThem) {
  const std::vector<uint8_t> widths = {1,  2,  3,  4,  5,  7,  8,  9,   15,  16,  17, 31,
                                       32, 33, 48, 63, 64, 65, 100, 128, 200, 255};
  std::vector<TFieldSpec> specs;
  for (const uint8_t width : widths) specs.push_back({"B" + std::to_string(width), 9, width});
  OpenWith(Descriptors(specs), int(specs.size()));
  auto value = [&](size_t field) {
    std::vector<uint8_t> bytes(widths[field]);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(field * 7 + i + 1);
    return bytes;
  };
  for (size_t field = 0; field < widths.size(); ++field)
    cursor.PutField(int(field + 1), record.data(), false, value(field).data());
  constexpr size_t Guard = 32;
  for (size_t field = 0; field < widths.size(); ++field) {
    std::vector<uint8_t> read(widths[field] + Guard, 0xCC);
    bool blank = true;
    cursor.GetFieldValue(cursor.FieldDescAt(int(field + 1)), record.data(), blank, read.data());
    std::vector<uint8_t> expected = value(field);
    expected.resize(read.size(), 0xCC);
    EXPECT_EQ(read, expected) << int(widths[field]);
    EXPECT_FALSE(blank) << int(widths[field]);
  }
}

TEST_F(FieldAccessTest, DecimalsCarryTheirScaleAsTheLastDigit) {
  Open();
  Put(fAmount, FloatToStoredBcd(123.45, 2));
  EXPECT_EQ(Get<int64_t>(fAmount), 123452);
  Put(fAmount, FloatToStoredBcd(-123.45, 2));
  EXPECT_EQ(StoredBcdToFloat(Get<int64_t>(fAmount)), -123.45);
  Put(fUnits, FloatToStoredBcd(7, 0));
  EXPECT_EQ(Get<int64_t>(fUnits), 70);
  EXPECT_EQ(Get<int64_t>(fAmount), -123452);  // the neighbour is untouched
}

TEST_F(FieldAccessTest, BooleansStoreOneForEveryNonZeroWord) {
  Open();
  for (uint16_t word : {uint16_t(5), uint16_t(0x100), uint16_t(0xFFFF), uint16_t(1)}) {
    Put(fPaid, word);
    EXPECT_EQ(Get<uint16_t>(fPaid), 1) << word;
  }
  Put(fPaid, uint16_t(0));
  bool blank = true;
  EXPECT_EQ(Get<uint16_t>(fPaid, &blank), 0);
  EXPECT_FALSE(blank);  // false is a value
}

TEST_F(FieldAccessTest, AutoIncrementLivesInTheRecordHeaderAndIsNeverBlank) {
  Open();
  EXPECT_FALSE(Blank(fId));
  Put(fId, int32_t(42));
  EXPECT_EQ(GetRecordAutoInc(record.data()), 42);
  cursor.PutField(fId, record.data(), false, nullptr);
  bool blank = true;
  EXPECT_EQ(Get<int32_t>(fId, &blank), 42);
  EXPECT_FALSE(blank);
  EXPECT_EQ(std::count(record.begin() + RecordFirstFieldOffset, record.end(), 0), long(record.size()) - 9);
}

TEST_F(FieldAccessTest, BlobReferencesAreBlankByTheirOpenBuffer) {
  Open();
  cursor.SetBlobRef(fNotes, record.data(), false, 0xDEADBEEF);
  Put(fNotes, int32_t(0));
  EXPECT_TRUE(Blank(fNotes));
  Put(fNotes, int32_t(4096));
  EXPECT_FALSE(Blank(fNotes));

  cursor.OpenBlobs = {{-7, 10}, {-8, 0}};
  Put(fNotes, int32_t(-7));
  EXPECT_EQ(NullByte(fNotes), 1);
  cursor.OpenBlobs[-7] = 0;  // truncated while open
  EXPECT_TRUE(Blank(fNotes));
  Put(fNotes, int32_t(-8));
  EXPECT_EQ(NullByte(fNotes), 0);
  EXPECT_TRUE(Blank(fNotes));
  Put(fNotes, int32_t(-9));  // no open BLOB of this cursor
  EXPECT_EQ(NullByte(fNotes), 1);
  EXPECT_FALSE(Blank(fNotes));

  cursor.PutField(fNotes, record.data(), false, nullptr);
  EXPECT_EQ(cursor.GetBlobRef(fNotes, record.data(), true), 0xDEADBEEFu);
  EXPECT_EQ(RaisedCode([&] { cursor.GetBlobRef(fRaw, record.data(), false); }), 10753);
  EXPECT_EQ(GetErrorContextName(ecFieldName), "RAW");
}

TEST_F(FieldAccessTest, ComputedFieldsAreWrittenOnlyWithForceAndRecomputeNothing) {
  Open();
  std::vector<uint8_t> descs(size_t(FieldTotal + 1) * FieldDescSize);
  for (int fieldNo = 1; fieldNo <= FieldTotal; ++fieldNo)
    cursor.GetFieldDesc(fieldNo, descs.data() + size_t(fieldNo - 1) * FieldDescSize);
  uint8_t* total = descs.data() + size_t(FieldTotal) * FieldDescSize;
  std::copy_n(descs.data() + size_t(fCount - 1) * FieldDescSize, FieldDescSize, total);
  PutLE16(total + FieldDescNumberOffset, FieldTotal + 1);
  PutLE16(total + FieldDescRecordOffset, cursor.CursorRecordSize());
  total[FieldDescNotStoredOffset] = 1;
  cursor.SetFieldList(descs.data(), FieldTotal + 1, true);
  cursor.SetCursorRecordSize(uint16_t(cursor.CursorRecordSize() + 5));
  record.assign(cursor.CursorRecordSize(), 0);

  Put(FieldTotal + 1, int32_t(99));
  EXPECT_TRUE(Blank(FieldTotal + 1));
  cursor.PutField(FieldTotal + 1, record.data(), true, std::vector<uint8_t>{99, 0, 0, 0}.data());
  EXPECT_EQ(Get<int32_t>(FieldTotal + 1), 99);
  EXPECT_EQ(cursor.Computes, 0);
  Put(fCount, int32_t(1));
  EXPECT_EQ(cursor.Computes, 1);
}

}  // namespace
