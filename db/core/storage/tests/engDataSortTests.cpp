#include <filesystem>

#include "engDataTestSupport.h"

namespace {

class DataSortTest : public DataFileTest {
protected:
  TSortKeyField Key(int position, bool descending = false) {
    TSortKeyField key;
    EXPECT_TRUE(file->GetFieldDesc(position, key.Desc));
    key.Descending = descending;
    return key;
  }

  // Appends records with the given IDs and names.
  void AppendRows(const std::vector<int32_t>& ids, const std::vector<std::string>& names = {}) {
    for (size_t i = 0; i < ids.size(); ++i) {
      TRecord* record;
      ASSERT_TRUE(file->NewRecord(nullptr, record));
      record->Clear(true);
      PutId(record, ids[i]);
      if (i < names.size()) PutName(record, names[i]);
      file->ReleaseRecord(record);
    }
  }

  // 20,000 records (or count), each ID about ten times (or more), each
  // name once: more than one run of a small sort memory. Rows from first on.
  static int32_t ManyRowsId(int32_t row) { return row * 7919 % 2003; }
  void AppendManyRows(int32_t count = 20000, int32_t first = 1) {
    std::vector<int32_t> ids;
    std::vector<std::string> names;
    for (int32_t i = first; i < first + count; ++i) {
      ids.push_back(ManyRowsId(i));
      names.push_back("n" + std::to_string(i));
    }
    AppendRows(ids, names);
  }

  void Delete(uint32_t number) {
    TRecord* record = Get(number);
    record->SetDeleted(true);
    file->ReleaseRecord(record);
  }

  // The files in the folder: the data file, and a sort's work file while
  // it has one.
  int64_t FilesInFolder() const { return std::distance(std::filesystem::directory_iterator(folder), {}); }

  std::vector<std::pair<int32_t, std::string>> Rows() {
    std::vector<std::pair<int32_t, std::string>> rows;
    for (uint32_t n = 1; n <= file->PhysicalRecordCount(); ++n) {
      TRecord* record = Get(n, 1, true);
      rows.emplace_back(GetId(record->Buffer()), GetName(record->Buffer()));
      file->ReleaseRecord(record);
    }
    return rows;
  }

  std::vector<int32_t> Ids() {
    std::vector<int32_t> ids;
    for (const auto& row : Rows()) ids.push_back(row.first);
    return ids;
  }

  // The own numbers of the records on disk (of an unencrypted table).
  std::vector<uint32_t> NumbersOnDisk() {
    const std::vector<uint8_t> bytes = DiskBytes();
    std::vector<uint32_t> numbers;
    for (size_t at = DataHeaderSize + 3 * FieldDescSize; at < bytes.size(); at += OrderRecordSize)
      numbers.push_back(GetLE32(bytes.data() + at + RecordLinkOffset));
    return numbers;
  }

  void Sort(const std::vector<TSortKeyField>& keys, TSortDuplicates duplicates = TSortDuplicates::None,
            const TSortGroupCallbacks* callbacks = nullptr, std::vector<int32_t>* rowNumbers = nullptr) {
    file->SortRecords(keys.data(), int(keys.size()), false, duplicates, callbacks, rowNumbers);
    file->WriteHeader(false);
  }
};

TEST_F(DataSortTest, CachedFileIsSortedInMemory) {
  Create(OrderFields());
  std::vector<int32_t> ids;
  for (int32_t i = 1; i <= 50; ++i) ids.push_back(i * 37 % 101);
  AppendRows(ids);
  Sort({Key(1)});
  EXPECT_EQ(file->PhysicalReads(), 0u);
  Reopen();
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(Ids(), ids);
  EXPECT_EQ(table.IndexRecordCount, 0xFFFFFFFFu);  // nothing folded
  // Each record keeps its row number.
  TRecord* first = Get(1);
  EXPECT_EQ(GetId(first->Buffer()), 2);
  EXPECT_EQ(first->AutoIncValue(), 41);  // 41 * 37 % 101 == 2
  file->ReleaseRecord(first);
}

TEST_F(DataSortTest, UncachedFileIsSortedThroughMergedRuns) {
  Create(OrderFields(), true, "pw");
  std::vector<int32_t> ids;
  for (int32_t i = 1; i <= 20000; ++i) ids.push_back(i * 7919 % 20011);
  AppendRows(ids);
  WriteBack();
  Reopen();  // nothing cached: blocks of 8191 records make three runs
  file->SortMemoryBytes = 0;
  Sort({Key(1, true)});
  EXPECT_EQ(file->PhysicalReads(), 3u);
  std::sort(ids.rbegin(), ids.rend());
  EXPECT_EQ(Ids(), ids);
  // The work file is gone.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
}

// An uncached file small enough is sorted whole in memory, in fewer reads
// and without a work file; the bytes it leaves are those the runs of a
// work file leave, in every mode, with repeated keys, deleted records and
// encryption, and on keys whose bytes are mostly alike in every record
// (numbers far below their range, names far shorter than their field),
// which both compare without those bytes; so are names whose first letter
// is alike within each run but not across them, and runs longer than what
// the merge reads of each at a time (records are packed in runs, so a read
// may end inside one). Either way the records come out in key order. So do
// the records of a temporary file whose fill was told the sort: its held
// records that overflow (8,500 at a time here, a block's 8,191 and the
// rest: runs that end elsewhere than the file's blocks, the deleted
// records among them) are sorted into runs as they go, and the sort merges
// those with the runs of the last held ones, reading nothing of the file
// (an enciphered file holds nothing, and is sorted as any other).
TEST_F(DataSortTest, InMemoryAndMergedRunsLeaveTheSameBytes) {
  struct TCase {
    const char* Label;
    TSortDuplicates Duplicates;
    bool Descending;
    bool Encrypted;
    bool ByName = false;
    bool LetterPerRun = false;
    int32_t Rows = 20000;
  };
  const TCase cases[] = {{"plain", TSortDuplicates::None, false, false},
                         {"descending, encrypted", TSortDuplicates::None, true, true},
                         {"distinct", TSortDuplicates::Distinct, false, false},
                         {"group", TSortDuplicates::Group, true, true},
                         {"name, then id", TSortDuplicates::None, false, false, true},
                         {"name descending, then id, distinct", TSortDuplicates::Distinct, true, false, true},
                         {"name descending, then id, group", TSortDuplicates::Group, true, false, true},
                         {"a letter per run, then id", TSortDuplicates::None, false, true, true, true},
                         {"a letter per run descending, distinct", TSortDuplicates::Distinct, true, false, true, true},
                         {"runs longer than a read", TSortDuplicates::None, false, false, false, false, 120000}};
  const std::vector<uint32_t> deletions = {5u, 8191u, 8192u, 19999u};
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Label);
    std::vector<uint8_t> results[3];
    // Names repeat, so that distinct and group have records to fold.
    auto renamed = [&](uint32_t n) {
      return test.ByName && n <= 20000 && (test.LetterPerRun || n % 3 == 1) &&
             std::find(deletions.begin(), deletions.end(), n) == deletions.end();
    };
    auto newName = [&](uint32_t n) {
      const std::string letter(1, char('p' + (n - 1) / 8191));
      return test.LetterPerRun ? letter + std::to_string(n % 700) : "n" + std::to_string(n % 1000);
    };
    // Merged runs of blocks, sorted whole in memory, runs formed in the fill.
    for (int mode = 0; mode < 3; ++mode) {
      const bool inMemory = mode == 1, formed = mode == 2;
      SCOPED_TRACE(mode);
      file.reset();
      std::filesystem::remove_all(folder);
      std::filesystem::create_directories(folder);
      temporaryFiles = formed;
      if (test.Encrypted) Create(OrderFields(), true, "pw");
      else Create(OrderFields());
      std::vector<TSortKeyField> keys = {Key(test.ByName ? 2 : 1, test.Descending)};
      if (test.ByName) keys.push_back(Key(1));
      uint32_t readsBefore = 0;
      if (formed) {
        file->SortMemoryBytes = 8500 * OrderRecordSize;
        file->SortOnOverflow(keys.data(), int(keys.size()), false);
        // The final names from the start, each deletion while its record is held.
        for (uint32_t n = 1; n <= uint32_t(test.Rows); ++n) {
          AppendRows({ManyRowsId(int32_t(n))}, {renamed(n) ? newName(n) : "n" + std::to_string(n)});
          if (std::find(deletions.begin(), deletions.end(), n) != deletions.end()) Delete(n);
        }
        EXPECT_EQ(FilesInFolder(), test.Encrypted ? 1 : 2);
        readsBefore = file->PhysicalReads();
        Sort(keys, test.Duplicates);
        if (!test.Encrypted) {
          EXPECT_EQ(file->PhysicalReads(), readsBefore);
        }
      } else {
        AppendManyRows(test.Rows);
        for (uint32_t deleted : deletions) Delete(deleted);
        WriteBack();
        Reopen();
        file->SortMemoryBytes = inMemory ? DefaultSortMemoryBytes : 0;
        if (test.ByName) {
          for (uint32_t n = 1; n <= 20000; ++n) {
            if (!renamed(n)) continue;
            TRecord* record = Get(n);
            PutName(record, newName(n));
            file->ReleaseRecord(record);
          }
          WriteBack();
          Reopen();
          file->SortMemoryBytes = inMemory ? DefaultSortMemoryBytes : 0;
        }
        Sort(keys, test.Duplicates);
        // Blocks of 8191 records make runs (three of 20,000); read whole,
        // blocks of 2 MB (one).
        const uint32_t records = uint32_t(test.Rows);
        EXPECT_EQ(file->PhysicalReads(),
                  inMemory ? (records * OrderRecordSize + 2097119) / 2097120 : (records + 8190) / 8191);
      }
      EXPECT_EQ(FilesInFolder(), 1);
      auto keyOf = [&](const std::pair<int32_t, std::string>& row) {
        return test.ByName ? std::make_pair(row.second, row.first) : std::make_pair(std::string(), row.first);
      };
      const auto rows = Rows();
      for (size_t i = 1; i < rows.size(); ++i) {
        const auto before = keyOf(rows[i - 1]), after = keyOf(rows[i]);
        // Only the first field's direction is asked for by name.
        const bool ordered = test.ByName && before.first != after.first
                                 ? (test.Descending ? before.first > after.first : before.first < after.first)
                                 : (test.Descending && !test.ByName ? before.second >= after.second
                                                                    : before.second <= after.second);
        ASSERT_TRUE(ordered && (test.Duplicates == TSortDuplicates::None || before != after)) << i;
      }
      WriteBack();
      results[mode] = DiskBytes();
    }
    temporaryFiles = false;
    EXPECT_EQ(results[0], results[1]);
    // The header counts the writes of the header.
    ASSERT_EQ(results[0].size(), results[2].size());
    EXPECT_TRUE(std::equal(results[0].begin() + DataHeaderSize, results[0].end(), results[2].begin() + DataHeaderSize));
  }
}

// A temporary file's appended records wait in memory (in blocks an
// earlier file left, whatever they hold), built there or flushed there
// from the cache, and are changed there; a sort takes them
// from there and leaves them there in their new order. Read back, changed,
// appended to and at last written, they are what a file written all along
// holds, in every mode, and when they outgrow the sort's memory; the row
// numbers the sort tells in the new order are the same too. With the sort
// told before the fill, records that outgrow it go to runs of a work file
// (a run lost, doubled or out of place shows in the rows, the row numbers
// and the bytes), and the sort takes them from there; a read of a record
// in a run, a sort by other keys, or the fill's end without a sort first
// puts the runs' records in their places, and no work file is left.
TEST_F(DataSortTest, HeldRecordsOfATemporaryFileEndAsWrittenOnes) {
  // What the fill is told, and what comes between it and the sort.
  enum class TRuns { None, Taken, RecordRead, OtherKeys, Unsorted };
  struct TCase {
    const char* Label;
    TSortDuplicates Duplicates;
    bool Descending;
    int64_t SortMemoryBytes;
    bool StaysHeld;
    TRuns Runs = TRuns::None;
  };
  const int64_t all = DefaultSortMemoryBytes;
  // Two blocks' runs at a time: 8,191 and 809 records.
  const int64_t runBytes = 9000 * OrderRecordSize;
  const TCase cases[] = {{"plain", TSortDuplicates::None, false, all, true},
                         {"descending", TSortDuplicates::None, true, all, true},
                         {"distinct", TSortDuplicates::Distinct, false, all, true},
                         {"group", TSortDuplicates::Group, false, all, false},
                         {"more than the sort's memory", TSortDuplicates::None, false, 5000 * OrderRecordSize, false},
                         {"more than the sort's memory, a part in three blocks", TSortDuplicates::None, false,
                          16000 * OrderRecordSize, false},
                         {"runs formed in the fill", TSortDuplicates::None, false, runBytes, false, TRuns::Taken},
                         {"runs, descending", TSortDuplicates::None, true, runBytes, false, TRuns::Taken},
                         {"runs, distinct", TSortDuplicates::Distinct, false, runBytes, false, TRuns::Taken},
                         {"runs, one record read first", TSortDuplicates::None, false, runBytes, false,
                          TRuns::RecordRead},
                         {"runs of other keys", TSortDuplicates::None, false, runBytes, false, TRuns::OtherKeys},
                         {"runs, the fill ended unsorted", TSortDuplicates::None, false, runBytes, true,
                          TRuns::Unsorted}};
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Label);
    std::vector<uint8_t> bytes[2];
    std::vector<std::pair<int32_t, std::string>> rows[2];
    std::vector<int32_t> rowNumbers[2];  // in the new order, as the sort tells them
    for (int temporary = 0; temporary < 2; ++temporary) {
      file.reset();
      std::filesystem::remove_all(folder);
      std::filesystem::create_directories(folder);
      temporaryFiles = temporary == 1;
      PoisonBlockPool();
      Create(OrderFields());
      file->SortMemoryBytes = test.SortMemoryBytes;
      if (test.Runs != TRuns::None) {
        const TSortKeyField told = Key(test.Runs == TRuns::OtherKeys ? 2 : 1, test.Descending);
        file->SortOnOverflow(&told, 1, false);
      }
      // A record deleted while it is held: the run it goes to keeps it.
      AppendManyRows(100);
      Delete(10);
      AppendManyRows(19900, 101);
      // Two new records at once: the second is not built where it is
      // held, nor the ones after it until a flush puts it there.
      TRecord* pair[2];
      for (TRecord*& record : pair) ASSERT_TRUE(file->NewRecord(nullptr, record));
      for (TRecord* record : pair) record->Clear(true);
      PutId(pair[0], 5);
      PutId(pair[1], 6);
      file->ReleaseRecord(pair[1]);
      file->ReleaseRecord(pair[0]);
      AppendRows({4, 3}, {"x", "y"});
      for (uint32_t deleted : {19000u, 20001u}) {
        TRecord* record = Get(deleted);
        record->SetDeleted(true);
        file->ReleaseRecord(record);
      }
      const bool formed = temporary == 1 && test.Runs != TRuns::None;
      EXPECT_EQ(FilesInFolder(), formed ? 2 : 1);
      if (test.Runs == TRuns::RecordRead) file->ReleaseRecord(Get(2));
      const uint32_t readsBefore = file->PhysicalReads();
      const uint32_t transfersBefore = readsBefore + file->PhysicalWrites();
      if (test.Runs == TRuns::Unsorted) {
        file->SortOnOverflow(nullptr, 0, false);
        WriteBack();
      } else {
        Sort({Key(1, test.Descending)}, test.Duplicates, nullptr, &rowNumbers[temporary]);
      }
      EXPECT_EQ(FilesInFolder(), 1);
      const bool held = temporary == 1 && test.StaysHeld;
      EXPECT_EQ(file->HeldRecordCount() > 0, held);
      if (held && test.Runs == TRuns::None) {
        EXPECT_EQ(file->PhysicalReads() + file->PhysicalWrites(), transfersBefore);
      }
      if (formed && test.Runs == TRuns::Taken) {
        EXPECT_EQ(file->PhysicalReads(), readsBefore);
      }
      rows[temporary] = Rows();
      TRecord* changed = Get(3);
      PutName(changed, "changed");
      file->ReleaseRecord(changed);
      WriteBack();
      AppendRows({7, 8, 9}, {"a", "b", "c"});
      WriteBack();
      const auto after = Rows();
      rows[temporary].insert(rows[temporary].end(), after.begin(), after.end());
      Reopen();
      EXPECT_EQ(file->HeldRecordCount(), 0u);
      bytes[temporary] = DiskBytes();
    }
    temporaryFiles = false;
    EXPECT_EQ(rows[0], rows[1]);
    EXPECT_EQ(rowNumbers[0], rowNumbers[1]);
    EXPECT_EQ(bytes[0], bytes[1]);
  }
}

// Records of equal keys come out in the order of their row numbers (an
// answer's fill order, and the order a non-unique index keeps them in),
// also past row 256, where a number's low byte starts again, in every way
// of sorting and both directions.
TEST_F(DataSortTest, EqualKeysKeepTheOrderOfTheirRowNumbers) {
  struct TCase {
    const char* Label;
    bool Reopened;
    bool InMemory;
    bool Descending;
  };
  const TCase cases[] = {{"cached", false, true, false},
                         {"read whole, descending", true, true, true},
                         {"merged runs", true, false, false},
                         {"merged runs, descending", true, false, true}};
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Label);
    file.reset();
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    Create(OrderFields());
    std::vector<int32_t> ids;
    for (int32_t i = 1; i <= 20000; ++i) ids.push_back(i % 3);
    AppendRows(ids);
    if (test.Reopened) {
      WriteBack();
      Reopen();
    }
    file->SortMemoryBytes = test.InMemory ? DefaultSortMemoryBytes : 0;
    Sort({Key(1, test.Descending)});
    int32_t lastId = test.Descending ? 3 : -1, lastRow = 0;
    for (uint32_t n = 1; n <= file->PhysicalRecordCount(); ++n) {
      TRecord* record = Get(n, 1, true);
      const int32_t id = GetId(record->Buffer()), row = record->AutoIncValue();
      file->ReleaseRecord(record);
      ASSERT_TRUE(test.Descending ? id <= lastId : id >= lastId) << n;
      if (id == lastId) {
        ASSERT_GT(row, lastRow) << n;
      }
      lastId = id;
      lastRow = row;
    }
  }
}

// Records that come in key order are left where they are, and records
// in key order but for one pair anywhere, or in the opposite order, are
// sorted: by numbers and by names, cached, read whole and merged in runs.
TEST_F(DataSortTest, RecordsNearlyInKeyOrderComeOutInKeyOrder) {
  constexpr int32_t Rows = 3000;
  struct TOrder {
    const char* Label;
    int32_t Swapped;  // the pair from this row on trades places; 0 for none
    bool Reversed;
  };
  const TOrder orders[] = {{"in order", 0, false},     {"first pair", 1, false},  {"a middle pair", 1500, false},
                           {"last pair", Rows - 1, false}, {"reversed", 0, true}};
  const char* const modes[] = {"cached", "read whole", "merged runs"};
  for (const TOrder& order : orders)
    for (int mode = 0; mode < 3; ++mode)
      for (const bool byName : {false, true}) {
        SCOPED_TRACE(std::string(order.Label) + ", " + modes[mode] + (byName ? ", by name" : ", by id"));
        file.reset();
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        Create(OrderFields());
        std::vector<int32_t> ids;
        for (int32_t i = 1; i <= Rows; ++i) ids.push_back(order.Reversed ? Rows - i : i);
        if (order.Swapped > 0) std::swap(ids[size_t(order.Swapped - 1)], ids[size_t(order.Swapped)]);
        // Names as long as each other sort as their numbers do.
        std::vector<std::string> names;
        for (const int32_t id : ids) names.push_back("n" + std::to_string(10000 + id));
        AppendRows(ids, names);
        if (mode > 0) {
          WriteBack();
          Reopen();
        }
        file->SortMemoryBytes = mode == 2 ? 0 : DefaultSortMemoryBytes;
        Sort({Key(byName ? 2 : 1)});
        std::vector<int32_t> sorted = ids;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(Ids(), sorted);
      }
}

TEST_F(DataSortTest, DistinctKeepsOneRecordPerKey) {
  Create(OrderFields());
  std::vector<int32_t> ids;
  std::vector<std::string> names;
  for (int32_t i = 1; i <= 30; ++i) {
    ids.push_back(i);
    names.push_back("n" + std::to_string(i % 4));
  }
  AppendRows(ids, names);
  Sort({Key(2)}, TSortDuplicates::Distinct);
  EXPECT_EQ(file->NextRecordNumber(), 5u);
  EXPECT_EQ(table.IndexRecordCount, 4u);
  EXPECT_EQ(DiskBytes().size(), size_t(DataHeaderSize + 3 * FieldDescSize + 4 * OrderRecordSize));
  EXPECT_EQ(NumbersOnDisk(), (std::vector<uint32_t>{1, 2, 3, 4}));
  const auto rows = Rows();
  ASSERT_EQ(rows.size(), 4u);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(rows[size_t(i)].second, "n" + std::to_string(i));
}

TEST_F(DataSortTest, GroupsAreFoldedFinishedAndFiltered) {
  Create(OrderFields());
  std::vector<int32_t> ids;
  std::vector<std::string> names;
  for (int32_t i = 1; i <= 30; ++i) {
    ids.push_back(1);
    names.push_back("n" + std::to_string(i % 4));
  }
  AppendRows(ids, names);
  int finished = 0;
  TSortGroupCallbacks callbacks;
  // The group's ID counts its records.
  callbacks.Accumulate = [](uint8_t* group, const uint8_t* record) {
    if (group != record) PutLE32(group + OrderIdOffset + 1, GetLE32(group + OrderIdOffset + 1) + 1);
  };
  callbacks.Finish = [&](uint8_t*) { ++finished; };
  callbacks.Keep = [](const uint8_t* group) { return GetName(group) != "n2"; };
  Sort({Key(2)}, TSortDuplicates::Group, &callbacks);
  EXPECT_EQ(finished, 4);
  EXPECT_EQ(table.IndexRecordCount, 3u);
  const std::vector<std::pair<int32_t, std::string>> expected = {{7, "n0"}, {8, "n1"}, {7, "n3"}};
  EXPECT_EQ(Rows(), expected);
}

TEST_F(DataSortTest, DeletedRecordsAreLeftOut) {
  Create(OrderFields());
  AppendRows({5, 4, 3, 2, 1, 0});
  for (uint32_t n : {2u, 5u}) {
    TRecord* record = Get(n);
    file->FreeRecord(record);
    file->ReleaseRecord(record);
  }
  Sort({Key(1)});
  EXPECT_EQ(file->FirstFreeRecord(), 0u);
  EXPECT_EQ(table.IndexRecordCount, 4u);
  EXPECT_EQ(Ids(), (std::vector<int32_t>{0, 2, 3, 5}));
  EXPECT_EQ(NumbersOnDisk(), (std::vector<uint32_t>{1, 2, 3, 4}));
}

TEST_F(DataSortTest, KeysMustBeFieldsWithRecordBytes) {
  Create(OrderFields());
  AppendRows({1, 2});
  TSortKeyField computed = Key(3);
  computed.Desc[FieldDescNotStoredOffset] = 1;
  EXPECT_EQ(RaisedCode([&] { Sort({computed}); }), 9985);
  TSortKeyField outside = Key(3);
  PutLE16(outside.Desc + FieldDescRecordOffset, 30);
  EXPECT_EQ(RaisedCode([&] { Sort({outside}); }), 9985);
  EXPECT_EQ(RaisedCode([&] { Sort({Key(1), Key(1), Key(2), Key(3)}); }), 9985);
}

}  // namespace
