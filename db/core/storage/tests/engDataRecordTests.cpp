#include <algorithm>

#include "engDataTestSupport.h"

namespace {

class DataRecordTest : public DataFileTest {
protected:
  void SetUp() override {
    DataFileTest::SetUp();
    Create(OrderFields());
  }

  void Delete(uint32_t number) {
    TRecord* record = Get(number);
    file->FreeRecord(record);
    file->ReleaseRecord(record);
  }

  uint32_t Insert() {
    TRecord* record;
    EXPECT_TRUE(file->NewRecord(nullptr, record));
    const uint32_t number = record->RecordNumber();
    record->Clear(true);
    file->ReleaseRecord(record);
    return number;
  }

  // Writes everything back and forgets it, so reads come from disk.
  void ReadFromDisk() {
    WriteBack();
    Reopen();
  }
};

TEST_F(DataRecordTest, RecordsAreWrittenAndReadBack) {
  Append(5, 100);
  TRecord* third = Get(3);
  PutName(third, "third");
  file->ReleaseRecord(third);
  ReadFromDisk();
  EXPECT_EQ(file->PhysicalRecordCount(), 5u);
  EXPECT_EQ(DiskBytes().size(), size_t(DataHeaderSize + 3 * FieldDescSize + 5 * OrderRecordSize));
  for (uint32_t n = 1; n <= 5; ++n) {
    TRecord* record = Get(n);
    EXPECT_FALSE(record->IsDeleted());
    EXPECT_EQ(GetLE32(record->Buffer() + RecordLinkOffset), n);
    EXPECT_EQ(record->AutoIncValue(), int32_t(n));
    EXPECT_EQ(GetId(record->Buffer()), int32_t(99 + n));
    file->ReleaseRecord(record);
  }
  TRecord* record = Get(3);
  EXPECT_EQ(GetName(record->Buffer()), "third");
  EXPECT_EQ(record->UseCount(), 1);
  file->ReleaseRecord(record);
  EXPECT_EQ(record->UseCount(), 0);
  EXPECT_EQ(file->GetAutoIncValue(), 5);
}

TEST_F(DataRecordTest, FreedRecordsAreReusedLastFreedFirst) {
  Append(10);
  Delete(3);
  Delete(7);
  EXPECT_EQ(file->FirstFreeRecord(), 7u);
  ReadFromDisk();
  TRecord* seven = Get(7);
  EXPECT_TRUE(seven->IsDeleted());
  EXPECT_EQ(seven->NextFree(), 3u);
  file->ReleaseRecord(seven);
  TRecord* three = Get(3);
  EXPECT_EQ(three->NextFree(), 0u);
  file->ReleaseRecord(three);

  EXPECT_EQ(Insert(), 7u);
  EXPECT_EQ(file->FirstFreeRecord(), 3u);
  EXPECT_EQ(Insert(), 3u);
  EXPECT_EQ(file->FirstFreeRecord(), 0u);
  EXPECT_EQ(Insert(), 11u);
  EXPECT_EQ(file->NextRecordNumber(), 12u);
}

TEST_F(DataRecordTest, WithoutPrimaryIndexRecordsAreOnlyAppended) {
  table.PrimaryIndex = false;
  Append(5);
  Delete(2);
  Delete(4);
  EXPECT_EQ(file->FirstFreeRecord(), 4u);
  TRecord* four = Get(4);
  EXPECT_EQ(four->NextFree(), 0u);
  file->ReleaseRecord(four);
  EXPECT_EQ(Insert(), 6u);
}

TEST_F(DataRecordTest, DamagedFreeListNeverHandsOutALiveRecord) {
  Append(4);
  Delete(2);
  // Freeing it again would link the list to itself.
  TRecord* two = Get(2);
  EXPECT_EQ(RaisedCode([&] { file->FreeRecord(two); }), 8962);
  // A link to a record in use.
  two->SetNextFree(3);
  file->ReleaseRecord(two);
  EXPECT_EQ(Insert(), 2u);
  EXPECT_EQ(RaisedCode([&] { Insert(); }), 8962);
  EXPECT_EQ(file->FirstFreeRecord(), 3u);
  TRecord* three = Get(3);
  EXPECT_FALSE(three->IsDeleted());
  EXPECT_EQ(three->UseCount(), 1);
  file->ReleaseRecord(three);
}

TEST_F(DataRecordTest, RecordNumbersOutsideTheFileAreRefused) {
  Append(2);
  TRecord* record = nullptr;
  EXPECT_EQ(RaisedCode([&] { file->GetRecord(nullptr, 0, {}, record); }), 8962);
  EXPECT_EQ(RaisedCode([&] { file->GetRecord(nullptr, 4, {}, record); }), 8962);
  EXPECT_EQ(record, nullptr);
}

TEST_F(DataRecordTest, FullTableRefusesTheNextAppend) {
  // A file whose header says the next record gets the given number.
  auto openWithNext = [&](const std::vector<uint8_t>& descs, uint32_t next) {
    file->Close();
    Create(descs);
    file->Close();
    std::vector<uint8_t> bytes = DiskBytes();
    PutLE32(bytes.data() + DatHdrNextRecord, next);
    WriteDisk(bytes);
    file = NewDataFile();
    file->Open();
  };
  openWithNext(Descriptors({{"ID", 6}}), 100000000);  // 99999999 records
  EXPECT_EQ(RaisedCode([&] { Insert(); }), 9479);
  openWithNext(OrderFields(), 2000000000 / OrderRecordSize + 1);  // the record area passes 2000000000 bytes
  EXPECT_EQ(RaisedCode([&] { Insert(); }), 9479);
}

// Records are made side by side in slabs: each keeps its own bytes, also
// one grown past its slot; records given back are taken again before any
// is made; and a file made after another went (its slabs freed, likely
// the memory the new ones get) hands out records of its own, larger size
// that do not overlap either.
TEST_F(DataRecordTest, RecordsFromSlabsKeepTheirOwnBytes) {
  constexpr int Count = 3000;
  auto fill = [](TRecord* record, int i) { std::memset(record->Buffer(), uint8_t(i * 7 + 1), record->Size()); };
  auto holds = [](const TRecord* record, int i, uint16_t size) {
    return std::all_of(record->Buffer(), record->Buffer() + size, [i](uint8_t b) { return b == uint8_t(i * 7 + 1); });
  };
  const std::vector<uint8_t> wider = Descriptors({{"ID", 6}, {"TEXT", 1, 200}});
  for (const std::vector<uint8_t>* fields : {&wider, &wider}) {
    TRecordStack& stack = file->RecordStack();
    const uint16_t size = file->RecordSize();
    std::vector<TRecord*> taken;
    for (int i = 0; i < Count; ++i) {
      TRecord* record = taken.emplace_back(stack.Take());
      ASSERT_EQ(record->Size(), size);
      ASSERT_TRUE(std::all_of(record->Buffer(), record->Buffer() + size, [](uint8_t b) { return b == 0; }));
      fill(record, i);
    }
    for (int i = 0; i < Count; i += 10) {
      TRecord* record = taken[size_t(i)];
      record->SetSize(uint16_t(3 * size + 100));
      EXPECT_TRUE(holds(record, i, size));
      fill(record, i);
    }
    for (int i = 0; i < Count; ++i)
      ASSERT_TRUE(holds(taken[size_t(i)], i, taken[size_t(i)]->Size())) << "record " << i;
    const int32_t made = stack.MadeCount();
    for (TRecord* record : taken) stack.Return(record);
    for (TRecord*& record : taken) record = stack.TakeUncleared();
    EXPECT_EQ(stack.MadeCount(), made);
    for (TRecord* record : taken) {
      EXPECT_EQ(record->Size(), size);
      stack.Return(record);
    }
    file.reset();
    Create(*fields);
  }
}

// A walk takes the entries of the records it passed again before the cache
// grows: after an open, a scan cycles through about one read-ahead block
// of records instead of making a cache's worth. What a look-up brought in
// stays, and a passed record held again keeps its bytes while the walk
// goes on.
TEST_F(DataRecordTest, AWalkTakesThePassedRecordsEntriesBeforeTheCacheGrows) {
  table.Caches.RecordBytes = 4 << 20;
  Append(9000);
  ReadFromDisk();
  const int32_t block = file->ReadAheadRecords();
  ASSERT_LT(3 * block, 9000);
  file->ReleaseRecord(Get(8500));
  for (uint32_t n = 1; n <= 100; ++n) file->ReleaseRecord(Get(n, 1, true));
  TRecord* held = Get(50);
  for (uint32_t n = 101; n <= 8000; ++n) {
    TRecord* record = Get(n, 1, true);
    ASSERT_EQ(GetId(record->Buffer()), int32_t(n));
    file->ReleaseRecord(record);
  }
  EXPECT_EQ(GetId(held->Buffer()), 50);
  file->ReleaseRecord(held);
  EXPECT_LE(file->CachedRecordCount(), block + 2);
  EXPECT_LE(file->RecordStack().MadeCount(), block + 2);
  const uint32_t reads = file->PhysicalReads();
  file->ReleaseRecord(Get(8500));
  EXPECT_EQ(file->PhysicalReads(), reads);
}

}  // namespace
