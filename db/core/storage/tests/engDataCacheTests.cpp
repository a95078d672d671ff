#include "engDataTestSupport.h"

namespace {

class DataCacheTest : public DataFileTest {
protected:
  std::vector<uint8_t> RecordArea() {
    const std::vector<uint8_t> bytes = DiskBytes();
    return std::vector<uint8_t>(bytes.begin() + DataHeaderSize + 3 * FieldDescSize, bytes.end());
  }

  void Touch(uint32_t number, const std::string& name) {
    TRecord* record = Get(number);
    PutName(record, name);
    file->ReleaseRecord(record);
  }
};

TEST_F(DataCacheTest, RunFlushingWritesTheBytesOfSingleWrites) {
  // One record at a time, each written at once.
  Create(OrderFields());
  for (int i = 1; i <= 300; ++i) {
    Append(1, i);
    file->FlushRecords();
  }
  for (uint32_t n : {5u, 6u, 7u, 150u, 151u, 299u}) {
    Touch(n, "changed");
    file->FlushRecords();
  }
  file->WriteHeader(false);
  const std::vector<uint8_t> single = RecordArea();

  // All of it in the cache, written back in runs.
  file->Close();
  Create(OrderFields());
  Append(300);
  EXPECT_TRUE(file->FlushRecords());
  EXPECT_FALSE(file->FlushRecords());
  EXPECT_EQ(file->PhysicalWrites(), 1u);
  for (uint32_t n : {5u, 6u, 7u, 150u, 151u, 299u}) Touch(n, "changed");
  EXPECT_TRUE(file->FlushRecords());
  EXPECT_EQ(file->PhysicalWrites(), 4u);  // runs 5-7, 150-151 and 299
  file->WriteHeader(false);
  EXPECT_EQ(RecordArea(), single);
  EXPECT_TRUE(table.Changed);
}

TEST_F(DataCacheTest, ReadAheadGrowsAlongAWalkUpToOneBlock) {
  Create(OrderFields());
  Append(6000);
  WriteBack();
  Reopen();
  const uint32_t readAhead = 65535 / OrderRecordSize;  // 1872 records

  // A walk's first read takes 16 records, each next one twice the last,
  // up to the block: 16, 32, ..., 1024 (2032 records), then whole blocks.
  file->ReleaseRecord(Get(1, 1, true));
  EXPECT_EQ(file->PhysicalReads(), 1u);
  EXPECT_EQ(file->ReadAheadReads(), 1u);
  EXPECT_EQ(file->CachedRecordCount(), 16);
  for (uint32_t n = 2; n <= 3000; ++n) file->ReleaseRecord(Get(n, 1, true));
  EXPECT_EQ(file->PhysicalReads(), 8u);
  EXPECT_EQ(file->ReadAheadReads(), 8u);
  EXPECT_EQ(file->CacheHits(), 3000u - 8);
  EXPECT_EQ(table.ChangeChecks, 8);
  const uint32_t next = 2033 + readAhead;  // after the eighth read
  file->ReleaseRecord(Get(next, 1, true));
  const uint32_t reads = file->PhysicalReads();
  file->ReleaseRecord(Get(next + readAhead - 1, 1, true));
  EXPECT_EQ(file->PhysicalReads(), reads);
  file->ReleaseRecord(Get(next + readAhead, 1, true));
  EXPECT_EQ(file->PhysicalReads(), reads + 1);

  // A look-up away from the last read takes its record alone; the read
  // next to it continues a walk: forward to the end only, backward never
  // before record 1.
  file->DropCache();
  file->ReleaseRecord(Get(5989, 1, true));
  EXPECT_EQ(file->CachedRecordCount(), 1);
  file->ReleaseRecord(Get(5990, 1, true));
  EXPECT_EQ(file->CachedRecordCount(), 12);
  file->DropCache();
  file->ReleaseRecord(Get(6, 0, true));
  EXPECT_EQ(file->CachedRecordCount(), 1);
  TRecord* five = Get(5, 0, true);
  EXPECT_EQ(GetId(five->Buffer()), 5);
  file->ReleaseRecord(five);
  EXPECT_EQ(file->CachedRecordCount(), 6);
  // The last record starts a backward walk.
  file->DropCache();
  file->ReleaseRecord(Get(6000, 0, true));
  EXPECT_EQ(file->CachedRecordCount(), 16);
  file->ReleaseRecord(Get(5984, 0, true));
  EXPECT_EQ(file->CachedRecordCount(), 47);  // record 6000, passed, gave its entry

  // The cursor's position can narrow the block.
  file->DropCache();
  reader.ReadAhead = 3;
  TRecord* record;
  ASSERT_TRUE(file->GetRecord(&reader, 99, {.ReadAhead = true, .CursorSized = true}, record));
  file->ReleaseRecord(record);
  ASSERT_TRUE(file->GetRecord(&reader, 100, {.ReadAhead = true, .CursorSized = true}, record));
  file->ReleaseRecord(record);
  EXPECT_EQ(file->CachedRecordCount(), 4);
}

// A reader walking an index whose leaves list the records in order: a
// read-ahead may take the records to the end of the leaf it stands in.
class TLeafReader final : public TReadContext {
public:
  explicit TLeafReader(int32_t leafEntries) : leafEntries(leafEntries) {}
  int32_t ReadAheadCount(uint32_t record, bool forward, int32_t limit) override {
    const int32_t inLeaf = int32_t((record - 1) % uint32_t(leafEntries));
    return std::min(limit, forward ? leafEntries - inLeaf : inLeaf + 1);
  }
  bool InRepairMode() const override { return false; }
  void ReportRepair(const std::string&) override {}

private:
  int32_t leafEntries;
};

// A read a leaf's end cut short does not make the walk start again from a
// first read's few records: after the first leaf (16, 32, 64, then the 2
// left of it), each leaf is one read, forward and backward.
TEST_F(DataCacheTest, AWalkKeepsItsReadSizeAcrossLeafEnds) {
  constexpr int32_t leafEntries = 114;
  constexpr uint32_t last = 50 * leafEntries;
  Create(OrderFields());
  Append(int(last));
  WriteBack();
  Reopen();
  ASSERT_LT(2 * leafEntries, file->ReadAheadRecords());
  TLeafReader leaves(leafEntries);
  auto walk = [&](uint32_t number, int direction) {
    TRecord* record = nullptr;
    const TRecordReadOptions walk{.Forward = direction == 1, .ReadAhead = true, .CursorSized = true};
    ASSERT_TRUE(file->GetRecord(&leaves, number, walk, record));
    ASSERT_EQ(GetId(record->Buffer()), int32_t(number));
    file->ReleaseRecord(record);
  };
  for (uint32_t n = 1; n <= 30 * leafEntries; ++n) walk(n, 1);
  EXPECT_EQ(file->PhysicalReads(), 4u + 29);
  EXPECT_EQ(table.ChangeChecks, 4 + 29);

  file->DropCache();
  const uint32_t reads = file->PhysicalReads();
  for (uint32_t n = last; n > last - 30 * leafEntries; --n) walk(n, 0);
  EXPECT_EQ(file->PhysicalReads(), reads + 4 + 29);

  // A look-up between walks starts the next one from a few records again.
  file->DropCache();
  walk(37 * leafEntries, 1);
  const uint32_t lookedUp = file->PhysicalReads();
  walk(37 * leafEntries + 1, 1);
  EXPECT_EQ(file->CachedRecordCount(), 1 + 16);
  EXPECT_EQ(file->PhysicalReads(), lookedUp + 1);
}

TEST_F(DataCacheTest, OtherUsersChangesMakeAReadStartOver) {
  Create(OrderFields());
  Append(10);
  WriteBack();
  file->DropCache();
  table.ReportChanges = true;
  TRecord* record = nullptr;
  EXPECT_FALSE(file->GetRecord(&reader, 4, {.ReadAhead = true}, record));
  EXPECT_EQ(record, nullptr);
  table.ReportChanges = false;
  file->ReleaseRecord(Get(4));
  table.ReportChanges = true;
  file->ReleaseRecord(Get(4));  // cached: no check
  EXPECT_EQ(table.ChangeChecks, 2);
}

TEST_F(DataCacheTest, ShortReadsAreAcceptedOnlyForUnwrittenChanges) {
  Create(OrderFields());
  Append(10);
  WriteBack();
  file->Close();
  std::vector<uint8_t> bytes = DiskBytes();
  PutLE32(bytes.data() + DatHdrNextRecord, 16);  // five records the file does not hold
  WriteDisk(bytes);
  file = NewDataFile();
  file->Open();
  TRecord* record = nullptr;
  // Reads that continue a walk, so that they read ahead past the file's end.
  file->ReleaseRecord(Get(9, 1, true));
  EXPECT_EQ(RaisedCode([&] { file->GetRecord(nullptr, 10, {.ReadAhead = true}, record); }), 9217);
  // An exclusive table writes its appended records only when its cache fills.
  table.Exclusive = true;
  table.Changed = true;
  file->ReleaseRecord(Get(10, 1, true));
  table.Exclusive = false;
  table.Changed = false;
  file->DropCache();
  file->ReleaseRecord(Get(9, 1, true));
  EXPECT_EQ(RaisedCode([&] { file->GetRecord(nullptr, 10, {.ReadAhead = true}, record); }), 9217);
  table.TransactionLock = true;
  table.Changed = true;
  file->ReleaseRecord(Get(10, 1, true));
  EXPECT_EQ(RaisedCode([&] { file->GetRecord(nullptr, 12, {.ReadAhead = true}, record); }), 8962);
}

TEST_F(DataCacheTest, FullCacheFlushesThenFailsOutsideTransactions) {
  // One 250-byte string: 261-byte records, 502 of them fit the cache.
  Create(Descriptors({{"TEXT", 1, 250}}));
  const int32_t capacity = 131070 / 261;
  std::vector<TRecord*> held;
  for (int32_t i = 0; i < capacity; ++i) {
    TRecord* record;
    ASSERT_TRUE(file->NewRecord(nullptr, record));
    held.push_back(record);
  }
  // Modified but idle records are written out to make room.
  file->ReleaseRecord(held.back());
  held.pop_back();
  TRecord* extra;
  ASSERT_TRUE(file->NewRecord(nullptr, extra));
  EXPECT_EQ(file->PhysicalWrites(), 1u);
  held.push_back(extra);
  TRecord* record = nullptr;
  EXPECT_EQ(RaisedCode([&] { file->NewRecord(nullptr, record); }), 8962);
  table.TransactionLock = true;
  ASSERT_TRUE(file->NewRecord(nullptr, record));
  held.push_back(record);
  EXPECT_EQ(file->CachedRecordCount(), capacity + 1);
  for (TRecord* r : held) file->ReleaseRecord(r);
  table.TransactionLock = false;
  file->TrimCache();
  EXPECT_EQ(file->CachedRecordCount(), capacity + 1);  // not written yet
  file->FlushRecords();
  file->TrimCache();
  EXPECT_EQ(file->CachedRecordCount(), capacity);
}

// A cache of changes that cannot be written yet leaves few entries to take:
// the rest of a read-ahead block must not push out the record asked for.
TEST_F(DataCacheTest, ARecordReadAheadAmongUnwrittenChangesIsHandedOut) {
  // One 250-byte string: 261-byte records, 502 fit the cache, 251 a read-ahead.
  Create(Descriptors({{"TEXT", 1, 250}}));
  for (int i = 0; i < 800; ++i) {
    TRecord* record = nullptr;
    ASSERT_TRUE(file->NewRecord(nullptr, record));
    file->ReleaseRecord(record);
  }
  WriteBack();
  file->DropCache();
  table.TransactionLock = true;
  table.Changed = true;
  for (uint32_t n = 301; n < 301 + 131070 / 261 - 4; ++n) {
    TRecord* record = Get(n);
    record->SetModified(true);
    file->ReleaseRecord(record);
  }
  TRecord* asked = Get(1, 1, true);
  EXPECT_EQ(asked->RecordNumber(), 1u);
  file->ReleaseRecord(asked);
  file->FlushRecords();
  table.TransactionLock = false;
}

TEST_F(DataCacheTest, RecordsStayValidWhileHeldAcrossDropsAndTrims) {
  Create(OrderFields());
  Append(20);
  TRecord* held = Get(7);
  file->DropCache();
  // Nothing lends the held record out again while it is held.
  std::vector<TRecord*> taken;
  for (int i = 0; i < 30; ++i) taken.push_back(file->RecordStack().Take());
  EXPECT_EQ(std::count(taken.begin(), taken.end(), held), 0);
  for (TRecord* r : taken) file->RecordStack().Return(r);
  EXPECT_EQ(GetId(held->Buffer()), 7);
  file->ReleaseRecord(held);
  EXPECT_EQ(held->UseCount(), 0);
}

// A scan's run shows every record as a cached read would, enters none into
// the cache, and starts over when other users changed the table.
TEST_F(DataCacheTest, ARunReadsBesideTheCacheAndShowsUnwrittenChanges) {
  for (const bool encrypted : {false, true}) {
    SCOPED_TRACE(encrypted ? "enciphered" : "plain");
    table = TFakeDataTable{};
    table.Directory = folder;
    Create(OrderFields(), encrypted);
    Append(3000);
    WriteBack();
    Reopen();
    Touch(5, "changed");  // in the cache, not written
    TRecord* freed = Get(7);
    file->FreeRecord(freed);
    file->ReleaseRecord(freed);
    const uint32_t reads = file->PhysicalReads();
    const int checks = table.ChangeChecks;

    TRecordRun run;
    ASSERT_TRUE(file->ReadRecordRun(&reader, 1, 100, run));
    EXPECT_EQ(run.First(), 1u);
    EXPECT_EQ(run.Count(), 100);
    EXPECT_EQ(file->PhysicalReads(), reads + 1);
    EXPECT_EQ(table.ChangeChecks, checks + 1);
    EXPECT_EQ(file->CachedRecordCount(), 2);
    EXPECT_EQ(GetName(run.Record(5)), "changed");
    EXPECT_TRUE(run.IsDeleted(7));
    for (uint32_t n : {1u, 6u, 8u, 100u}) {
      EXPECT_FALSE(run.IsDeleted(n));
      EXPECT_EQ(GetId(run.Record(n)), int32_t(n));
      EXPECT_EQ(GetLE32(run.Record(n) + RecordLinkOffset), n);
    }
    EXPECT_FALSE(run.Holds(101));

    // At most one read-ahead block, never past the last record.
    ASSERT_TRUE(file->ReadRecordRun(&reader, 2990, 100, run));
    EXPECT_EQ(run.Count(), 11);
    ASSERT_TRUE(file->ReadRecordRun(&reader, 1, 3000, run));
    EXPECT_EQ(run.Count(), 65535 / OrderRecordSize);
    EXPECT_EQ(RaisedCode([&] { file->ReadRecordRun(&reader, 3001, 1, run); }), 8962);

    // Records appended and not written yet lie past the file's end.
    table.Exclusive = true;
    table.Changed = true;
    table.PrimaryIndex = false;  // appends rather than reusing record 7
    Append(3, 3001);
    ASSERT_TRUE(file->ReadRecordRun(&reader, 2999, 10, run));
    EXPECT_EQ(run.Count(), 5);
    EXPECT_EQ(GetId(run.Record(3003)), 3003);

    table.ReportChanges = true;
    EXPECT_FALSE(file->ReadRecordRun(&reader, 1, 10, run));
    EXPECT_FALSE(run.Holds(1));
    file->Close();
  }
}

// A run told which of its records the reader wants reads the file only
// across the wanted ones memory lacks, and not at all when memory holds
// them all; every wanted record shows as a run of all records shows it
// (unwritten changes included); a short run enters only its wanted records
// into the cache, a long one none; and other users' changes are looked for
// first even when memory serves the whole run.
TEST_F(DataCacheTest, ARunOfWantedRecordsReadsOnlyWhatMemoryLacks) {
  struct TCase {
    const char* Label;
    std::vector<uint32_t> Cached;  // looked up before the run
    std::vector<uint32_t> Wanted;  // empty: every record, no bitmap
    uint32_t First;
    int32_t Count;
    uint32_t Reads;
    int32_t CachedAfter;
    uint32_t Changed = 0;  // a cached record changed in memory, not written
    uint32_t Freed = 0;    // a cached record freed in memory, not written
  };
  const TCase cases[] = {
      {"a short run, nothing cached", {}, {10, 14, 30}, 10, 21, 1, 3},
      {"a short run, every wanted record cached", {10, 14, 30}, {10, 14, 30}, 10, 21, 0, 3, 14},
      {"its ends cached, a wanted one between not", {10, 30}, {10, 14, 30}, 10, 21, 1, 3, 30},
      {"its first cached, the rest not", {10}, {10, 15, 30}, 10, 21, 1, 3},
      {"a record between cached, not wanted", {20}, {10, 30}, 10, 21, 1, 3, 20},
      {"a freed record wanted from memory", {10, 15}, {10, 15}, 10, 6, 0, 2, 0, 15},
      {"a long run, nothing cached", {}, {10, 50, 90}, 10, 81, 1, 0},
      {"a long run, every wanted record cached", {10, 50, 90}, {10, 50, 90}, 10, 81, 0, 3, 50},
      {"every record, no bitmap", {12}, {}, 10, 5, 1, 5, 12},
      {"the file's last records", {}, {290, 300}, 290, 20, 1, 2},
  };
  Create(OrderFields());
  Append(300);
  WriteBack();
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Label);
    // Closed without writing: the changes of the case before are gone.
    Reopen();
    for (const uint32_t number : test.Cached) {
      TRecord* record = Get(number);
      if (number == test.Changed) PutName(record, "changed");
      if (number == test.Freed) file->FreeRecord(record);
      file->ReleaseRecord(record);
    }
    TRecordsBitmap wanted;
    wanted.SetRecordCount(300);
    for (const uint32_t number : test.Wanted) wanted.SetBit(int32_t(number));
    const uint32_t reads = file->PhysicalReads();
    const int checks = table.ChangeChecks;
    TRecordRun run;
    ASSERT_TRUE(file->ReadRecordRun(&reader, test.First, test.Count, run, {.Wanted = test.Wanted.empty() ? nullptr : &wanted}));
    EXPECT_EQ(file->PhysicalReads(), reads + test.Reads);
    EXPECT_EQ(table.ChangeChecks, checks + 1);
    EXPECT_EQ(file->CachedRecordCount(), test.CachedAfter);
    ASSERT_EQ(run.First(), test.First);
    ASSERT_EQ(run.Count(), std::min<int32_t>(test.Count, int32_t(301 - test.First)));
    // What a run of every record shows, from the same cache and file.
    TRecordRun whole;
    ASSERT_TRUE(file->ReadRecordRun(nullptr, test.First, test.Count, whole));
    for (uint32_t number = test.First; number < test.First + uint32_t(run.Count()); ++number) {
      if (!test.Wanted.empty() && !wanted.IsSet(int32_t(number))) continue;
      SCOPED_TRACE(number);
      EXPECT_EQ(std::vector<uint8_t>(run.Record(number), run.Record(number) + OrderRecordSize),
                std::vector<uint8_t>(whole.Record(number), whole.Record(number) + OrderRecordSize));
      EXPECT_EQ(GetId(run.Record(number)), int32_t(number));
      EXPECT_EQ(GetName(run.Record(number)), number == test.Changed ? "changed" : "");
      EXPECT_EQ(run.IsDeleted(number), number == test.Freed);
    }
    if (test.Wanted.empty()) continue;
    // Another user's change seen first: no record is handed out.
    table.ReportChanges = true;
    EXPECT_FALSE(file->ReadRecordRun(&reader, test.First, test.Count, run, {.Wanted = &wanted}));
    table.ReportChanges = false;
  }
}

// Write-back finds the records given back changed, however long their
// holder kept them and whatever was read meanwhile.
TEST_F(DataCacheTest, ARecordChangedWhileHeldIsWrittenBackOnceGivenBack) {
  Create(OrderFields());
  Append(500);
  WriteBack();
  Reopen();
  TRecord* held = Get(250);
  PutName(held, "held");
  EXPECT_FALSE(file->FlushRecords());  // in use
  // Reads that recycle cache entries around it.
  for (uint32_t n = 1; n <= 500; ++n) file->ReleaseRecord(Get(n, 1, true));
  EXPECT_FALSE(file->FlushRecords());
  file->ReleaseRecord(held);
  EXPECT_TRUE(file->FlushRecords());
  EXPECT_FALSE(file->FlushRecords());
  Reopen();
  TRecord* read = Get(250);
  EXPECT_EQ(GetName(read->Buffer()), "held");
  file->ReleaseRecord(read);
}

// A walk through more records than the cache holds recycles the records it
// has used, and leaves what a look-up brought in cached.
TEST_F(DataCacheTest, AWalkLeavesTheRecordsOfLookUpsCached) {
  Create(OrderFields());
  Append(9000);
  WriteBack();
  Reopen();
  const int32_t capacity = 131070 / OrderRecordSize;  // 3744 records, two read-ahead blocks
  file->ReleaseRecord(Get(8000));
  const uint32_t walked = 2 * uint32_t(capacity);
  for (uint32_t n = 1; n <= walked; ++n) file->ReleaseRecord(Get(n, 1, true));
  EXPECT_LE(file->CachedRecordCount(), capacity);
  const uint32_t reads = file->PhysicalReads();
  const uint32_t hits = file->CacheHits();
  file->ReleaseRecord(Get(8000));
  EXPECT_EQ(file->PhysicalReads(), reads);
  EXPECT_EQ(file->CacheHits(), hits + 1);
  // Records a walk brought in but nobody read yet stay until read.
  file->ReleaseRecord(Get(walked + 1, 1, true));
  for (uint32_t n = 1; n <= 100; ++n) file->ReleaseRecord(Get(n));
  const uint32_t before = file->PhysicalReads();
  file->ReleaseRecord(Get(walked + 2));
  EXPECT_EQ(file->PhysicalReads(), before);
}

// A long run of changed records goes out in writes of at most 256 KiB,
// with the bytes one write would give.
TEST_F(DataCacheTest, ALongRunIsWrittenInBoundedWrites) {
  table.Caches.RecordBytes = 1 << 20;
  Create(OrderFields());
  Append(20000);  // 700,000 bytes of records, 7489 to a write
  const uint32_t writes = file->PhysicalWrites();
  EXPECT_TRUE(file->FlushRecords());
  EXPECT_EQ(file->PhysicalWrites(), writes + 3);
  file->WriteHeader(false);
  const std::vector<uint8_t> bytes = DiskBytes();
  ASSERT_EQ(bytes.size(), size_t(DataHeaderSize + 3 * FieldDescSize + 20000 * OrderRecordSize));
  for (int32_t id : {1, 7489, 7490, 14979, 20000})
    EXPECT_EQ(GetId(bytes.data() + DataHeaderSize + 3 * FieldDescSize + size_t(id - 1) * OrderRecordSize), id);
}

}  // namespace
