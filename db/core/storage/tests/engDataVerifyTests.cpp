#include <functional>

#include "engDataTestSupport.h"

namespace {

constexpr size_t Desc1 = DataHeaderSize;
constexpr size_t Desc2 = DataHeaderSize + FieldDescSize;
constexpr size_t RecordArea = DataHeaderSize + 3 * FieldDescSize;

class DataVerifyTest : public DataFileTest {
protected:
  std::vector<uint8_t> sound;

  void SetUp() override {
    DataFileTest::SetUp();
    Create(OrderFields());
    Append(3);
    WriteBack();
    file->Close();
    sound = DiskBytes();
  }

  // The engine error of opening the damaged file and verifying it.
  uint16_t OpenAndVerify(const std::function<void(std::vector<uint8_t>&)>& damage, bool repair = false) {
    std::vector<uint8_t> bytes = sound;
    damage(bytes);
    WriteDisk(bytes);
    file = NewDataFile();
    const uint16_t code = RaisedCode([&] {
      file->Open();
      file->VerifyDataFile(repair);
    });
    file->Close();
    return code;
  }

  static void SetText(std::vector<uint8_t>& bytes, size_t at, const std::string& text) {
    PutShortString(bytes.data() + at, text, FieldTextLimit, true);
  }
};

TEST_F(DataVerifyTest, SoundFileVerifies) {
  EXPECT_EQ(OpenAndVerify([](std::vector<uint8_t>&) {}), 0);
  EXPECT_EQ(OpenAndVerify([](std::vector<uint8_t>& b) {
              SetText(b, Desc1 + FieldDescMinOffset, "-5");
              SetText(b, Desc2 + FieldDescDefaultOffset, "anything");
            }),
            0);
}

TEST_F(DataVerifyTest, DamagedFilesAreRefusedAtOpen) {
  EXPECT_EQ(OpenAndVerify([](std::vector<uint8_t>& b) { b.resize(60); }), 8961);
  EXPECT_EQ(OpenAndVerify([](std::vector<uint8_t>& b) { b.resize(Desc2 + 100); }), 8961);
  EXPECT_EQ(OpenAndVerify([](std::vector<uint8_t>& b) { b[DatHdrFormat] = 3; }), 12035);
  EXPECT_EQ(OpenAndVerify([](std::vector<uint8_t>& b) { PutLE16(b.data() + DatHdrFieldCount, 1025); }), 8961);
  EXPECT_EQ(OpenAndVerify([](std::vector<uint8_t>& b) { PutLE16(b.data() + DatHdrFieldCount, 0xFFFF); }), 8961);
  EXPECT_EQ(OpenAndVerify([](std::vector<uint8_t>& b) { PutLE16(b.data() + DatHdrRecordSize, 0); }), 8961);
  EXPECT_EQ(OpenAndVerify([](std::vector<uint8_t>& b) { PutLE16(b.data() + DatHdrRecordSize, 20); }), 8961);
  EXPECT_EQ(OpenAndVerify([](std::vector<uint8_t>& b) { PutLE32(b.data() + DatHdrNextRecord, 0); }), 8961);
  EXPECT_EQ(OpenAndVerify([](std::vector<uint8_t>& b) { PutLE32(b.data() + DatHdrNextRecord, 0xFFFFFFFF); }),
            8961);
  EXPECT_EQ(OpenAndVerify([](std::vector<uint8_t>& b) { PutLE32(b.data() + DatHdrFirstFree, 4); }), 8961);
  EXPECT_EQ(OpenAndVerify([](std::vector<uint8_t>& b) { PutLE16(b.data() + DatHdrBlobFieldCount, 65); }), 8961);
  EXPECT_EQ(OpenAndVerify([](std::vector<uint8_t>& b) { PutLE16(b.data() + Desc2 + FieldDescRecordOffset, 30); }),
            8961);
}

TEST_F(DataVerifyTest, VerificationFindsEveryDescriptorFault) {
  const std::vector<std::function<void(std::vector<uint8_t>&)>> faults = {
      [](auto& b) { b[Desc1 + FieldDescNameOffset] = 0; },
      [](auto& b) { b[Desc1 + FieldDescNameOffset + 1] = '1'; },
      [](auto& b) { b[Desc1 + FieldDescNameOffset] = 31; },
      [](auto& b) { PutShortString(b.data() + Desc2 + FieldDescNameOffset, "id", FieldNameLimit, true); },
      [](auto& b) { PutLE16(b.data() + Desc2 + FieldDescNumberOffset, 1); },
      [](auto& b) { PutLE16(b.data() + Desc2 + FieldDescNumberOffset, 7); },
      [](auto& b) { b[Desc1 + FieldDescTypeOffset] = 0; },
      [](auto& b) { b[Desc1 + FieldDescDeclaredSizeOffset] = 4; },
      [](auto& b) { b[Desc2 + FieldDescDeclaredSizeOffset] = 251; },
      [](auto& b) { SetText(b, Desc1 + FieldDescMaxOffset, "many"); },
      [](auto& b) { SetText(b, Desc1 + FieldDescDefaultOffset, "3000000000"); },
      [](auto& b) { b[Desc1 + FieldDescMinOffset] = 51; },
      [](auto& b) { b[Desc1 + FieldDescScaleOffset] = 2; },
      // Offsets that fit the record but break the running layout.
      [](auto& b) { PutLE16(b.data() + Desc1 + FieldDescRecordOffset, 10); },
      [](auto& b) { b[Desc2 + FieldDescDeclaredSizeOffset] = 9; },
  };
  for (size_t i = 0; i < faults.size(); ++i) EXPECT_EQ(OpenAndVerify(faults[i]), 8961) << "fault " << i;
}

TEST_F(DataVerifyTest, VerificationFindsLocaleAndLengthFaults) {
  EXPECT_EQ(OpenAndVerify([](auto& b) { PutLE16(b.data() + DatHdrLanguageId, 0x7F7F); }), 15878);
  // Stray bytes after the last record, or a record too many or too few.
  EXPECT_EQ(OpenAndVerify([](auto& b) { b.push_back(0); }), 8961);
  EXPECT_EQ(OpenAndVerify([](auto& b) { b.resize(b.size() + OrderRecordSize); }), 8961);
  EXPECT_EQ(OpenAndVerify([](auto& b) { b.resize(RecordArea + 2 * OrderRecordSize); }), 8961);
  // A record size that holds the fields but is not what they add up to.
  EXPECT_EQ(OpenAndVerify([](auto& b) {
              PutLE16(b.data() + DatHdrRecordSize, OrderRecordSize + 1);
              b.resize(RecordArea + 3 * (OrderRecordSize + 1));
            }),
            8961);
}

// Records an interrupted append wrote before its header: whole ones that
// are in use and link to themselves are taken in, a partial one is cut.
TEST_F(DataVerifyTest, ARepairTakesInAppendedRecordsAndCutsAPartialOne) {
  const auto appendRecords = [](int whole, bool partial, bool sound) {
    return [=](std::vector<uint8_t>& b) {
      std::vector<uint8_t> record(b.end() - OrderRecordSize, b.end());
      for (int i = 0; i < whole; ++i) {
        PutLE32(record.data() + RecordLinkOffset, sound ? uint32_t(4 + i) : 3u);
        b.insert(b.end(), record.begin(), record.end());
      }
      if (partial) b.insert(b.end(), record.begin(), record.begin() + OrderRecordSize / 2);
    };
  };
  EXPECT_EQ(OpenAndVerify(appendRecords(2, true, true)), 8961);
  EXPECT_EQ(OpenAndVerify(appendRecords(2, true, true), true), 0);
  EXPECT_EQ(DiskBytes().size(), RecordArea + 5 * OrderRecordSize);
  file->Open();
  EXPECT_EQ(file->PhysicalRecordCount(), 5u);
  EXPECT_NO_THROW(file->VerifyDataFile());
  file->Close();

  EXPECT_EQ(OpenAndVerify(appendRecords(0, true, true), true), 0);
  EXPECT_EQ(DiskBytes(), sound);
  EXPECT_EQ(OpenAndVerify(appendRecords(1, false, false), true), 8961);
  EXPECT_EQ(OpenAndVerify([](auto& b) { b.resize(b.size() + OrderRecordSize); }, true), 8961);
  // Records missing from the end are no interrupted append.
  EXPECT_EQ(OpenAndVerify([](auto& b) { b.resize(RecordArea + 2 * OrderRecordSize); }, true), 8961);
}

TEST_F(DataVerifyTest, VerificationCompletesTheDescriptors) {
  // A stale stored size that the field's type and declared size correct.
  EXPECT_EQ(OpenAndVerify([](auto& b) { b[Desc1 + FieldDescStoredSizeOffset] = 2; }), 0);
  file->Open();
  file->VerifyDataFile();
  uint8_t desc[FieldDescSize];
  ASSERT_TRUE(file->GetFieldDesc(1, desc));
  EXPECT_EQ(desc[FieldDescStoredSizeOffset], 4);
}

}  // namespace
