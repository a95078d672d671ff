#include "engCursorWriteTestSupport.h"
#include "engErrorCodes.h"
#include "rtlDateTime.h"

namespace {

constexpr TDateTime TestNow = 45000.75;  // 18:00

enum : uint8_t { ftDate = 2, ftBoolean = 4, ftFloat = 7, ftTimeStamp = 11 };
enum : int { fId = 1, fName, fFlag, fQty, fWhen, fDay, fRate };

class CursorCheckTest : public CursorWriteTest {
protected:
  TClockFunction previousClock = nullptr;

  void SetUp() override {
    CursorWriteTest::SetUp();
    previousClock = SetClock([] { return TestNow; });
  }
  void TearDown() override {
    SetClock(previousClock);
    CursorWriteTest::TearDown();
  }

  static void Text(std::vector<uint8_t>& descs, int fieldNo, int offset, const std::string& text) {
    PutShortString(descs.data() + (fieldNo - 1) * FieldDescSize + offset, text, FieldTextLimit, true);
  }

  // ID required; NAME, FLAG, WHEN and DAY with defaults; QTY from 1 to
  // 10; RATE at most 2.5.
  TDataCursor& OpenChecked() {
    std::vector<uint8_t> descs = Descriptors({{"ID", IntType},
                                              {"NAME", StrType, 20},
                                              {"FLAG", ftBoolean},
                                              {"QTY", IntType},
                                              {"WHEN", ftTimeStamp},
                                              {"DAY", ftDate},
                                              {"RATE", ftFloat}});
    descs[FieldDescRequiredOffset] = 1;
    Text(descs, fName, FieldDescDefaultOffset, "anon");
    Text(descs, fFlag, FieldDescDefaultOffset, "true");
    Text(descs, fWhen, FieldDescDefaultOffset, "NOW");
    Text(descs, fDay, FieldDescDefaultOffset, "DATE");
    Text(descs, fQty, FieldDescMinOffset, "1");
    Text(descs, fQty, FieldDescMaxOffset, "10");
    Text(descs, fRate, FieldDescMaxOffset, "2.5");
    CreateWithDescriptors("CHECKED", descs);
    return OpenCursor("CHECKED");
  }

  static std::vector<uint8_t> Defaults(TDataCursor& cursor, int32_t id, int32_t qty) {
    std::vector<uint8_t> record(cursor.CursorRecordSize(), 0xEE);
    cursor.Checks().ApplyDefaults(record.data());
    cursor.PutTableField(fId, record.data(), &id);
    cursor.PutTableField(fQty, record.data(), &qty);
    return record;
  }
};

}  // namespace

TEST_F(CursorCheckTest, DefaultsFillANewRecordAtTheTimeTheyAreApplied) {
  TDataCursor& cursor = OpenChecked();
  std::vector<uint8_t> record = Defaults(cursor, 1, 5);
  SetClock([] { return TestNow + 3; });
  cursor.InsertRecord(record.data(), {.GoToRecord = true});

  const uint8_t* stored = cursor.GetCurrentRecordBuffer();
  char name[21] = {};
  bool blank = true;
  cursor.GetTableField(fName, stored, blank, name);
  EXPECT_STREQ(name, "anon");
  uint16_t flag = 0;
  cursor.GetTableField(fFlag, stored, blank, &flag);
  EXPECT_EQ(flag, 1);
  double when = 0;
  cursor.GetTableField(fWhen, stored, blank, &when);
  EXPECT_EQ(when, DateTimeToTimeStamp(TestNow));
  int32_t day = 0;
  cursor.GetTableField(fDay, stored, blank, &day);
  EXPECT_EQ(day, DateTimeToDayNumber(45000));
  cursor.GetTableField(fRate, stored, blank, nullptr);
  EXPECT_TRUE(blank);
}

TEST_F(CursorCheckTest, ConstraintsNameTheFieldAndLimitsAreInclusive) {
  TDataCursor& cursor = OpenChecked();
  std::vector<uint8_t> record = Defaults(cursor, 1, 1);
  cursor.InsertRecord(record.data());
  record = Defaults(cursor, 2, 10);
  double rate = 2.5;
  cursor.PutTableField(fRate, record.data(), &rate);
  cursor.InsertRecord(record.data());

  record = Defaults(cursor, 3, 0);
  EXPECT_EQ(MessageOf([&] { cursor.InsertRecord(record.data()); }),
            "The value for the field 'QTY' in table 'CHECKED.DAT' is below the minimum allowable value");
  record = Defaults(cursor, 3, 11);
  EXPECT_EQ(MessageOf([&] { cursor.InsertRecord(record.data()); }),
            "The value for the field 'QTY' in table 'CHECKED.DAT' is above the maximum allowable value");
  // A blank number is held against its limits as 0.
  cursor.PutTableField(fQty, record.data(), nullptr);
  EXPECT_EQ(ErrorOf([&] { cursor.InsertRecord(record.data()); }), EngErrBelowMinimum);
  record = Defaults(cursor, 3, 5);
  rate = 2.51;
  cursor.PutTableField(fRate, record.data(), &rate);
  EXPECT_EQ(ErrorOf([&] { cursor.InsertRecord(record.data()); }), EngErrAboveMaximum);
  record = Defaults(cursor, 3, 5);
  cursor.PutTableField(fId, record.data(), nullptr);
  EXPECT_EQ(MessageOf([&] { cursor.InsertRecord(record.data()); }),
            "A value must be provided for the field 'ID' in table 'CHECKED.DAT'");

  // Changes are checked as well, and nothing is stored when they fail.
  ASSERT_TRUE(Find(cursor, 2));
  record = Current(cursor);
  int32_t qty = 12;
  cursor.PutTableField(fQty, record.data(), &qty);
  EXPECT_EQ(ErrorOf([&] { cursor.ModifyRecord(record.data()); }), EngErrAboveMaximum);
  EXPECT_EQ(IntField(cursor, Current(cursor).data(), fQty), 10);
  EXPECT_EQ(cursor.GetRecordCount(), 2);
}

TEST_F(CursorCheckTest, LimitsCompareByTheFieldType) {
  TDataCursor& cursor = OpenChecked();
  auto text = [](const char* value) {
    std::vector<uint8_t> bytes(21, 0);
    std::memcpy(bytes.data(), value, std::strlen(value));
    return bytes;
  };
  auto bytesOf = [](const auto& value) { return std::span(reinterpret_cast<const uint8_t*>(&value), sizeof value); };
  TFieldDefinition field = cursor.TableFieldDefinition(fName);
  EXPECT_TRUE(cursor.Checks().CheckLimit("b", false, field, text("b")));
  EXPECT_FALSE(cursor.Checks().CheckLimit("b", false, field, text("B")));
  EXPECT_FALSE(cursor.Checks().CheckLimit("b", true, field, text("ba")));
  field = cursor.TableFieldDefinition(fDay);
  const int32_t yesterday = DateTimeToDayNumber(TestNow) - 1;
  EXPECT_FALSE(cursor.Checks().CheckLimit("DATE", false, field, bytesOf(yesterday)));
  EXPECT_TRUE(cursor.Checks().CheckLimit("DATE", true, field, bytesOf(yesterday)));
  field = cursor.TableFieldDefinition(fFlag);
  const uint16_t flag = 0;
  EXPECT_TRUE(cursor.Checks().CheckLimit("TRUE", false, field, bytesOf(flag)));
  field = cursor.TableFieldDefinition(fQty);
  const int32_t qty = 3;
  EXPECT_THROW(cursor.Checks().CheckLimit("three", false, field, bytesOf(qty)), EConvertError);
}
