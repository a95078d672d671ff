#include <bit>

#include "engDataTestSupport.h"

namespace {

using DataFileHeaderTest = DataFileTest;

uint32_t Le32(const std::vector<uint8_t>& bytes, size_t at) { return GetLE32(bytes.data() + at); }
uint16_t Le16(const std::vector<uint8_t>& bytes, size_t at) { return GetLE16(bytes.data() + at); }

TEST_F(DataFileHeaderTest, CreatedFileHoldsExactlyTheHeaderAndDescriptors) {
  const std::vector<uint8_t> descs = Descriptors({{"ID", 6, 0, 29}, {"NAME", 1, 10}, {"MEMO", 3}, {"AMOUNT", 7}});
  Create(descs);
  const std::vector<uint8_t> bytes = DiskBytes();
  ASSERT_EQ(bytes.size(), size_t(DataHeaderSize + 4 * FieldDescSize));
  EXPECT_EQ(Le32(bytes, 0), 1u);     // the first header write counted
  EXPECT_EQ(Le32(bytes, 4), 1024u);  // BLOB block size
  EXPECT_EQ(bytes[8], 4);
  EXPECT_EQ(Le32(bytes, 9), 0u);
  EXPECT_EQ(Le32(bytes, 13), 1u);
  EXPECT_EQ(Le32(bytes, 17), 0u);
  EXPECT_EQ(Le16(bytes, 21), 9 + 12 + 9 + 9);  // the auto-increment field takes no bytes
  EXPECT_EQ(Le16(bytes, 23), 4);
  EXPECT_EQ(Le16(bytes, 25), 1);
  const uint64_t time = uint64_t(Le32(bytes, 27)) | uint64_t(Le32(bytes, 31)) << 32;
  EXPECT_EQ(std::bit_cast<double>(time), DataTestNow - 693594.0);
  EXPECT_EQ(std::string(bytes.begin() + 35, bytes.begin() + 42), "\x06Orders");
  EXPECT_EQ(bytes[86], 0);
  EXPECT_EQ(bytes[87], 0);  // no password without encryption
  EXPECT_EQ(Le16(bytes, 103), 0);
  EXPECT_EQ(Le16(bytes, 107), 2);
  EXPECT_EQ(Le16(bytes, 109), 3);
  EXPECT_EQ(bytes[111], 1);  // written as it stood in memory
  EXPECT_EQ(Le32(bytes, 116), 20800u);
  EXPECT_EQ(Le32(bytes, 120), 0u);
  EXPECT_EQ(bytes[124] | bytes[125] | bytes[126], 0);
  EXPECT_TRUE(std::equal(descs.begin(), descs.end(), bytes.begin() + DataHeaderSize));
  EXPECT_EQ(file->NextRecordNumber(), 1u);
  EXPECT_EQ(file->FirstFreeRecord(), 0u);
}

TEST_F(DataFileHeaderTest, CreationRefusesImpossibleDefinitions) {
  std::vector<TFieldSpec> blobs(65, {"B", 3});
  std::vector<TFieldSpec> wide(263, {"S", 1, 250});
  file = NewDataFile();
  EXPECT_EQ(RaisedCode([&] { file->CreateDataFile({.FieldDescs = Descriptors(blobs).data(), .FieldCount = 65}); }),
            9498);
  EXPECT_EQ(RaisedCode([&] { file->CreateDataFile({.FieldDescs = Descriptors(wide).data(), .FieldCount = 263}); }),
            9477);
  EXPECT_FALSE(std::filesystem::exists(Path()));
}

TEST_F(DataFileHeaderTest, HeaderIsWrittenWhenChangedOrForced) {
  Create(OrderFields());
  file->WriteHeader(false);
  EXPECT_EQ(Le32(DiskBytes(), 0), 1u);
  file->WriteHeader(true);
  EXPECT_EQ(Le32(DiskBytes(), 0), 2u);
  EXPECT_EQ(DiskBytes()[111], 0);
  file->MarkChanged();
  EXPECT_TRUE(table.Changed);
  EXPECT_EQ(file->ChangeCount(), 3u);
  EXPECT_EQ(Le32(DiskBytes(), 0), 2u);
}

TEST_F(DataFileHeaderTest, CountersWrapToOne) {
  Create(OrderFields());
  file->SetAutoIncValue(2147483646);
  EXPECT_EQ(file->NextAutoIncValue(), 2147483647);
  EXPECT_EQ(file->NextAutoIncValue(), 1);
  EXPECT_EQ(file->NextBlobSequence(), 1u);
  EXPECT_TRUE(file->HeaderModified());
}

TEST_F(DataFileHeaderTest, EncryptedTableEnciphersTextsAndDescriptors) {
  const std::vector<uint8_t> descs = OrderFields();
  Create(descs, true, "secret");
  std::vector<uint8_t> bytes = DiskBytes();
  EXPECT_EQ(bytes[86], 1);
  EXPECT_EQ(bytes[87], 6);
  EXPECT_NE(std::string(bytes.begin() + 88, bytes.begin() + 94), "secret");
  EXPECT_NE(std::string(bytes.begin() + 36, bytes.begin() + 42), "Orders");
  EXPECT_FALSE(std::equal(descs.begin(), descs.end(), bytes.begin() + DataHeaderSize));
  Reopen();
  EXPECT_EQ(file->GetPassword(), "secret");
  EXPECT_EQ(file->GetDescription(), "Orders");
  uint8_t desc[FieldDescSize];
  ASSERT_EQ(file->FindFieldDescByName("name", desc), 2);
  EXPECT_EQ(GetShortString(desc + FieldDescNameOffset, FieldNameLimit), "NAME");
}

TEST_F(DataFileHeaderTest, DescriptorsAreFoundAndUpdated) {
  Create(OrderFields());
  uint8_t desc[FieldDescSize];
  EXPECT_FALSE(file->GetFieldDesc(0, desc));
  EXPECT_FALSE(file->GetFieldDesc(4, desc));
  ASSERT_TRUE(file->FindFieldDescByNo(3, desc));
  EXPECT_EQ(FieldRecordOffset(desc), 26);
  EXPECT_EQ(file->FindFieldDescByName("nope", desc), 0);

  ASSERT_TRUE(file->GetFieldDesc(2, desc));
  PutShortString(desc + FieldDescNameOffset, "CUSTOMER", FieldNameLimit, true);
  desc[FieldDescTypeOffset] = 9;  // the type is not the update's to change
  PutLE16(desc + FieldDescRecordOffset, 99);
  PutShortString(desc + FieldDescDefaultOffset, "none", FieldTextLimit, true);
  file->UpdateFieldDesc(2, desc);
  EXPECT_EQ(RaisedCode([&] { file->UpdateFieldDesc(5, desc); }), 9985);
  file->WriteFieldDescriptors();
  Reopen();
  ASSERT_EQ(file->FindFieldDescByName("Customer", desc), 2);
  EXPECT_EQ(desc[FieldDescTypeOffset], 1);
  EXPECT_EQ(FieldRecordOffset(desc), 14);
  EXPECT_EQ(GetShortString(desc + FieldDescDefaultOffset, FieldTextLimit), "none");
}

TEST_F(DataFileHeaderTest, ResetHeaderEmptiesTheTable) {
  Create(OrderFields());
  Append(4);
  WriteBack();
  EXPECT_EQ(DiskBytes().size(), size_t(DataHeaderSize + 3 * FieldDescSize + 4 * OrderRecordSize));
  file->DropCache();
  file->ResetHeader();
  file->WriteHeader(false);
  const std::vector<uint8_t> bytes = DiskBytes();
  EXPECT_EQ(bytes.size(), size_t(DataHeaderSize + 3 * FieldDescSize));
  EXPECT_EQ(Le32(bytes, 0), 1u);  // reset to 0, then counted by the write
  EXPECT_EQ(Le32(bytes, 13), 1u);
  EXPECT_EQ(Le32(bytes, 17), 0u);
}

TEST_F(DataFileHeaderTest, AnotherWritersHeaderIsNoticedAndTakenOver) {
  Create(OrderFields());
  Reopen();
  std::unique_ptr<TDataFile> other = NewDataFile();
  other->Open();
  EXPECT_FALSE(file->HeaderChanged());
  other->SetAutoIncValue(41);
  other->WriteHeader(false);
  EXPECT_TRUE(file->HeaderChanged());
  EXPECT_EQ(file->GetAutoIncValue(), 41);
  EXPECT_FALSE(file->HeaderModified());
  EXPECT_FALSE(file->HeaderChanged());

  // Locks taken through one opener hold against the other.
  EXPECT_TRUE(file->LockRecord(3));
  EXPECT_FALSE(other->LockRecord(3));
  EXPECT_TRUE(other->LockRecord(4));
  EXPECT_TRUE(file->UnlockRecord(3));
  EXPECT_FALSE(file->UnlockRecord(3));
  EXPECT_TRUE(other->LockHeader());
  EXPECT_TRUE(other->UnlockHeader());
}

}  // namespace
