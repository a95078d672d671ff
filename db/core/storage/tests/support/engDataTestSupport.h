#pragma once
// A data file over a scripted table, field descriptors built from short
// specs, and raw access to the bytes on disk.

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engDataFile.h"
#include "engLittleEndian.h"
#include "engTableFileTestSupport.h"
#include "rtlDateTime.h"

// The clock of every data file test: header writes stamp this time.
inline constexpr TDateTime DataTestNow = 45000.25;

class TFakeDataTable : public TDataFileTable, public TFakeFileTable {
public:
  std::string Directory;
  bool PrimaryIndex = true;
  uint32_t IndexRecordCount = 0xFFFFFFFF;
  bool Exclusive = false;

  bool HasPrimaryIndex() const override { return PrimaryIndex; }
  void SetIndexRecordCount(uint32_t count) override { IndexRecordCount = count; }
  std::string PrivateDirectory() const override { return Directory; }
  bool IsExclusive() const override { return Exclusive; }
  bool FilesHeldStill() const override { return Exclusive; }
};

struct TFieldSpec {
  std::string Name;
  uint8_t Type;
  uint8_t Size = 0;
  uint8_t Subtype = 0;
};

// Complete descriptors with offsets assigned as a table definition does.
inline std::vector<uint8_t> Descriptors(const std::vector<TFieldSpec>& fields) {
  std::vector<uint8_t> descs(fields.size() * FieldDescSize, 0);
  int32_t offset = RecordFirstFieldOffset;
  for (size_t i = 0; i < fields.size(); ++i) {
    uint8_t* desc = descs.data() + i * FieldDescSize;
    PutLE16(desc + FieldDescNumberOffset, uint16_t(i + 1));
    desc[FieldDescNameOffset] = uint8_t(fields[i].Name.size());
    std::memcpy(desc + FieldDescNameOffset + 1, fields[i].Name.data(), fields[i].Name.size());
    desc[FieldDescTypeOffset] = fields[i].Type;
    desc[FieldDescSubtypeOffset] = fields[i].Subtype;
    desc[FieldDescDeclaredSizeOffset] = fields[i].Size;
    SetStoredSize(desc);
    CopyScaleByte(desc);
    if (IsAutoIncField(desc)) {
      PutLE16(desc + FieldDescRecordOffset, RecordAutoIncOffset);
    } else {
      PutLE16(desc + FieldDescRecordOffset, uint16_t(offset));
      offset += desc[FieldDescStoredSizeOffset] + 1;
    }
  }
  return descs;
}

// ID integer at 9, NAME string(10) at 14, AMOUNT float at 26: 35 bytes.
inline std::vector<uint8_t> OrderFields() {
  return Descriptors({{"ID", 6}, {"NAME", 1, 10}, {"AMOUNT", 7}});
}
inline constexpr int OrderIdOffset = 9;
inline constexpr int OrderNameOffset = 14;
inline constexpr int32_t OrderRecordSize = 35;

inline void PutId(TRecord* record, int32_t id) {
  record->Buffer()[OrderIdOffset] = 1;
  PutLE32(record->Buffer() + OrderIdOffset + 1, uint32_t(id));
  record->SetModified(true);
}
inline int32_t GetId(const uint8_t* record) { return int32_t(GetLE32(record + OrderIdOffset + 1)); }
inline void PutName(TRecord* record, const std::string& name) {
  record->Buffer()[OrderNameOffset] = 1;
  std::memset(record->Buffer() + OrderNameOffset + 1, 0, 11);
  std::memcpy(record->Buffer() + OrderNameOffset + 1, name.data(), std::min<size_t>(name.size(), 10));
  record->SetModified(true);
}
inline std::string GetName(const uint8_t* record) {
  return std::string(reinterpret_cast<const char*>(record + OrderNameOffset + 1));
}

class DataFileTest : public FileLayerTest {
protected:
  TFakeDataTable table;
  TTestReader reader;
  std::unique_ptr<TDataFile> file;
  TClockFunction previousClock = nullptr;
  // Files made by NewDataFile are a temporary table's.
  bool temporaryFiles = false;

  void SetUp() override {
    FileLayerTest::SetUp();
    table.Directory = folder;
    previousClock = SetClock([] { return DataTestNow; });
  }
  void TearDown() override {
    file.reset();
    SetClock(previousClock);
    FileLayerTest::TearDown();
  }

  std::string Path() const { return folder + "/ORDERS.DAT"; }

  std::unique_ptr<TDataFile> NewDataFile() {
    auto dataFile = std::make_unique<TDataFile>(&table);
    dataFile->FileName = Path();
    dataFile->Temporary = temporaryFiles;
    return dataFile;
  }

  // Creates the file as a table does: created, then header and descriptors written.
  void Create(const std::vector<uint8_t>& descs, bool encrypted = false, const std::string& password = {}) {
    file = NewDataFile();
    file->CreateDataFile({.FieldDescs = descs.data(),
                          .FieldCount = int(descs.size() / FieldDescSize),
                          .BlobBlockSize = 1024,
                          .Description = "Orders",
                          .Password = password,
                          .Encrypted = encrypted,
                          .UserMajorVersion = 2,
                          .UserMinorVersion = 3});
    file->WriteHeader(false);
    file->WriteFieldDescriptors();
  }

  void WriteBack() {
    file->FlushRecords();
    file->WriteHeader(false);
  }

  void Reopen() {
    file->Close();
    file = NewDataFile();
    file->Open();
  }

  // Appends records whose ID is first, first + 1, ...; the cache keeps them.
  void Append(int count, int32_t first = 1) {
    for (int i = 0; i < count; ++i) {
      TRecord* record;
      ASSERT_TRUE(file->NewRecord(nullptr, record));
      record->Clear(true);
      PutId(record, first + i);
      file->ReleaseRecord(record);
    }
  }

  TRecord* Get(uint32_t number, int direction = 1, bool readAhead = false) {
    TRecord* record = nullptr;
    EXPECT_TRUE(file->GetRecord(&reader, number, {.Forward = direction == 1, .ReadAhead = readAhead}, record));
    return record;
  }

  std::vector<uint8_t> DiskBytes() const { return ReadDiskFile(Path()); }
  void WriteDisk(const std::vector<uint8_t>& bytes) const { WriteDiskFile(Path(), bytes); }
};
