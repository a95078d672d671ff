#include "engDataTestSupport.h"

namespace {

class DataIoTest : public DataFileTest {
protected:
  void SetUp() override {
    DataFileTest::SetUp();
    Create(OrderFields());
    Append(6, 100);
    WriteBack();
    Reopen();
  }
};

}  // namespace

// Records are read and written at their own offsets: a seek someone made
// on the shared handle before (the position the file keeps for the
// process) moves none of them.
TEST_F(DataIoTest, RecordTransfersTakeTheirOffsetWhateverThePositionLeft) {
  file->Seek(DataHeaderSize, soFromBeginning);
  TRecord* fifth = Get(5);
  EXPECT_EQ(GetId(fifth->Buffer()), 104);
  PutName(fifth, "moved");
  file->ReleaseRecord(fifth);
  file->Seek(0, soFromEnd);
  WriteBack();
  file->Seek(1, soFromBeginning);
  Reopen();

  file->Seek(7, soFromBeginning);
  TRecordRun run;
  ASSERT_TRUE(file->ReadRecordRun(nullptr, 2, 5, run));
  ASSERT_EQ(run.Count(), 5);
  for (uint32_t number = 2; number <= 6; ++number) EXPECT_EQ(GetId(run.Record(number)), int32_t(99 + number));
  EXPECT_EQ(GetName(run.Record(5)), "moved");
  EXPECT_EQ(DiskBytes().size(), size_t(DataHeaderSize + 3 * FieldDescSize + 6 * OrderRecordSize));
}
