// A fill of an exclusive table defers the cursor's upkeep to its end.

#include <algorithm>
#include <filesystem>
#include <utility>

#include "engCursorTestSupport.h"

namespace {

TEST_F(CursorTest, FillDefersUpkeepToItsEnd) {
  Create("fill", {{"A", IntType}}, {});
  TDataCursor& shared = OpenCursor("fill");
  EXPECT_THROW(shared.BeginFill(), EEngineError);
  shared.Close(TTemporaryContents::Keep);
  TDataCursor& cursor = OpenCursor("fill", true);
  std::vector<uint8_t> record(cursor.CursorRecordSize(), 0);
  cursor.BeginFill();
  for (int32_t value = 1; value <= 5; ++value) {
    cursor.ClearRecord(record.data());
    cursor.PutField(1, record.data(), false, &value);
    cursor.InsertRecord(record.data());
  }
  cursor.EndFill();
  EXPECT_EQ(cursor.GetRecordCount(), 5);
  cursor.SetToBegin();
  int32_t expected = 1;
  while (cursor.GetNextRecord(record.data()) == 0) {
    int32_t value = 0;
    bool blank = true;
    cursor.GetField(1, record.data(), blank, &value);
    EXPECT_EQ(value, expected++);
  }
  EXPECT_EQ(expected, 6);
}

// A fill's inserts leave the record locks as a plain insert does: a lock
// the cursor holds on a record stays, one it took on the number the next
// insert gets is released by that insert, and no new record stays locked.
TEST_F(CursorTest, AFillsInsertsLeaveRecordLocksAsPlainInsertsDo) {
  Create("fill", {{"A", IntType}}, {});
  TDataCursor& cursor = OpenCursor("fill", true);
  std::vector<uint8_t> record(cursor.CursorRecordSize(), 0);
  auto insert = [&](int32_t value) {
    cursor.ClearRecord(record.data());
    cursor.PutField(1, record.data(), false, &value);
    cursor.InsertRecord(record.data());
  };
  insert(1);
  cursor.LockRecord(1);
  cursor.LockRecord(3);
  cursor.BeginFill();
  for (int32_t value = 2; value <= 5; ++value) insert(value);
  cursor.EndFill();
  EXPECT_TRUE(cursor.HoldsRecordLock(1));
  for (uint32_t number = 2; number <= 5; ++number) EXPECT_FALSE(cursor.HoldsRecordLock(number)) << number;
  EXPECT_EQ(Walk(cursor), (std::vector<int32_t>{1, 2, 3, 4, 5}));
}

// The keys a fill holds back reach "Sys Deleted" at its end, at a close, or
// through the sort that renumbers the records; trees built so, leaf by
// leaf, pass the check a read-only open makes of every tree (their order,
// counts and keys against the records), and walks give every record.
TEST_F(CursorTest, HeldBackKeysAndSortedBuildsLeaveSoundTrees) {
  enum class TEnd { EndFill, Close, SortThenEnd, EndDeleteSort };
  struct TCase {
    const char* Label;
    int32_t Existing;  // rows inserted before the fill
    int32_t Filled;
    TEnd End;
    bool Descending;
  };
  const TCase cases[] = {
      {"end of fill", 0, 60000, TEnd::EndFill, false},
      {"fill after rows", 700, 5000, TEnd::EndFill, false},
      {"close while filling", 0, 5000, TEnd::Close, false},
      {"sort in the fill", 0, 60000, TEnd::SortThenEnd, true},
      {"sort over gaps", 300, 5000, TEnd::EndDeleteSort, false},
  };
  int table = 0;
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Label);
    const std::string name = "FILL" + std::to_string(++table);
    Create(name, {{"A", IntType}}, {});
    std::vector<int32_t> expected;
    {
      TDataCursor& cursor = OpenCursor(name, true);
      std::vector<uint8_t> record(cursor.CursorRecordSize(), 0);
      auto insert = [&](int32_t value) {
        cursor.ClearRecord(record.data());
        cursor.PutField(1, record.data(), false, &value);
        cursor.InsertRecord(record.data());
        expected.push_back(value);
      };
      const int32_t total = test.Existing + test.Filled;
      for (int32_t n = 0; n < test.Existing; ++n) insert(n * 7919 % total);
      cursor.BeginFill();
      for (int32_t n = test.Existing; n < total; ++n) insert(n * 7919 % total);
      const TSortField key{1, test.Descending};
      switch (test.End) {
        case TEnd::EndFill:
          cursor.EndFill();
          break;
        case TEnd::Close:
          cursor.Close(TTemporaryContents::Discard);
          break;
        case TEnd::SortThenEnd:
          cursor.SortRecords({&key, 1}, false, TSortDuplicates::None, nullptr);
          cursor.EndFill();
          break;
        case TEnd::EndDeleteSort: {
          cursor.EndFill();
          // Every third record goes: the row numbers left have gaps.
          std::vector<int32_t> kept;
          cursor.SetToBegin();
          int32_t index = 0;
          for (cursor.MoveBy(1); cursor.OnRecord(); ++index) {
            if (index % 3 == 0) {
              cursor.DeleteRecord(cursor.GetCurrentRecordBuffer());
            } else {
              kept.push_back(IdOf(cursor));
              cursor.MoveBy(1);
            }
          }
          expected = kept;
          cursor.SortRecords({&key, 1}, false, TSortDuplicates::None, nullptr);
          break;
        }
      }
      if (test.End == TEnd::SortThenEnd || test.End == TEnd::EndDeleteSort) {
        std::sort(expected.begin(), expected.end());
        if (test.Descending) std::reverse(expected.begin(), expected.end());
      }
      if (test.End != TEnd::Close) {
        EXPECT_EQ(cursor.GetRecordCount(), int32_t(expected.size()));
        EXPECT_EQ(Walk(cursor), expected);
      }
    }
    cursors.clear();
    for (const char* extension : {".DAT", ".IDX"})
      std::filesystem::permissions(PathOf(name + extension), std::filesystem::perms::owner_read);
    auto reopen = [&] {
      TDataCursor& reopened = OpenCursor(name);
      EXPECT_EQ(reopened.GetRecordCount(), int32_t(expected.size()));
      EXPECT_EQ(Walk(reopened), expected);
      EXPECT_EQ(Walk(reopened, false), std::vector<int32_t>(expected.rbegin(), expected.rend()));
    };
    EXPECT_EQ(ErrorOf(reopen), 0);
    cursors.clear();
    for (const char* extension : {".DAT", ".IDX"})
      std::filesystem::permissions(PathOf(name + extension), std::filesystem::perms::owner_all);
  }
}

// A temporary table's fill leaves its "Sys Deleted" keys waiting: an answer
// read and then discarded never builds them. A change that needs them,
// through the filling cursor or a twin, builds them first; the trees then
// hold exactly the records in use, and walks give every record left. So
// with a fill told its sort, whose records outgrow memory into runs that
// the sort merges without reading the table's file.
TEST_F(CursorTest, ATemporaryFillsWaitingKeysGoInBeforeAChangeNeedsThem) {
  enum class TChange { Delete, DeleteThroughTwin, InsertThenDelete, AddUniqueIndex };
  const struct {
    const char* Label;
    bool Sorted;  // descending, before the fill's end
    TChange Change;
    bool Told = false;  // the fill is told the sort, and its records outgrow memory
  } cases[] = {{"delete every third", false, TChange::Delete},
               {"delete through a twin", false, TChange::DeleteThroughTwin},
               {"insert, then delete", false, TChange::InsertThenDelete},
               {"unique index drops duplicates", false, TChange::AddUniqueIndex},
               {"sorted, then delete every third", true, TChange::Delete},
               {"sorted, insert, then delete", true, TChange::InsertThenDelete},
               {"sorted from the fill's runs, then delete every third", true, TChange::Delete, true},
               {"sorted from the fill's runs, insert, then delete", true, TChange::InsertThenDelete, true}};
  constexpr int32_t Filled = 3000;
  int table = 0;
  for (const auto& test : cases) {
    SCOPED_TRACE(test.Label);
    const std::string name = "ANSWER" + std::to_string(++table);
    TTableDefinition definition;
    definition.Fields = Definitions({{"A", IntType}, {"B", IntType}});
    TDataCursor& cursor = NewCursor(name, true);
    cursor.SetOpenOptions({.TableName = name, .Exclusive = true, .TemporaryTable = true});
    cursor.CreateTableAndOpen(definition, false);
    std::vector<uint8_t> record(cursor.CursorRecordSize(), 0);
    std::vector<int32_t> expected;
    auto insert = [&](int32_t a) {
      const int32_t b = a % 1000;
      record = Record(cursor, {&a, &b});
      cursor.InsertRecord(record.data());
      expected.push_back(a);
    };
    const TSortField key{1, true};
    TDataFile& file = cursor.Table()->DataFile();
    if (test.Told) {
      // Emptied as an answer is: its appends are held, and then run.
      cursor.EmptyTable();
      file.SortMemoryBytes = 700 * file.RecordSize();
    }
    cursor.BeginFill({.SortKeys = test.Told ? std::vector{key} : std::vector<TSortField>{}});
    for (int32_t n = 0; n < Filled; ++n) insert(n * 7919 % Filled);
    if (test.Sorted) {
      const uint32_t reads = file.PhysicalReads();
      cursor.SortRecords({&key, 1}, false, TSortDuplicates::None, nullptr);
      if (test.Told) {
        EXPECT_EQ(file.PhysicalReads(), reads);
      }
      std::sort(expected.rbegin(), expected.rend());
    }
    cursor.EndFill();
    ASSERT_EQ(cursor.Table()->WaitingDeletedKeys().RowNumbers.size(), size_t(Filled));
    EXPECT_EQ(Walk(cursor), expected);

    // Every third record of the walk goes, through the cursor given.
    auto deleteEveryThird = [&](TDataCursor& deleting) {
      std::vector<int32_t> kept;
      deleting.SetToBegin();
      int32_t index = 0;
      for (deleting.MoveBy(1); deleting.OnRecord(); ++index) {
        if (index % 3 == 0) {
          deleting.DeleteRecord(deleting.GetCurrentRecordBuffer());
        } else {
          kept.push_back(IdOf(deleting));
          deleting.MoveBy(1);
        }
      }
      expected = kept;
    };
    std::unique_ptr<TDataCursor> twin;
    switch (test.Change) {
      case TChange::Delete:
        deleteEveryThird(cursor);
        break;
      case TChange::DeleteThroughTwin:
        twin.reset(cursor.Clone());
        deleteEveryThird(*twin);
        break;
      case TChange::InsertThenDelete:
        insert(Filled);
        insert(Filled + 1);
        deleteEveryThird(cursor);
        break;
      case TChange::AddUniqueIndex: {
        const std::vector<uint8_t> byB = IndexDescriptor({"ByB", {2}, true});
        cursor.AddIndex(IndexDefinitionFromDesc(byB.data()));
        std::vector<int32_t> firsts;
        std::vector<bool> seen(1000, false);
        for (int32_t a : expected) {
          if (seen[size_t(a % 1000)]) continue;
          seen[size_t(a % 1000)] = true;
          firsts.push_back(a);
        }
        expected = firsts;
        break;
      }
    }
    TDataCursor& changed = twin ? *twin : cursor;
    EXPECT_TRUE(changed.Table()->WaitingDeletedKeys().RowNumbers.empty());
    EXPECT_TRUE(changed.Table()->IndexesMatchData());
    EXPECT_EQ(changed.GetRecordCount(), int32_t(expected.size()));
    EXPECT_EQ(Walk(changed), expected);
    EXPECT_EQ(Walk(changed, false), std::vector<int32_t>(expected.rbegin(), expected.rend()));
    twin.reset();
    cursor.Close(TTemporaryContents::Discard);
    EXPECT_FALSE(directory->TableExists(name, false));
  }
}

// A reader walking an answer whose records are held in memory gets each
// record as it stands when it reads it: a change not yet stored where the
// record is held, a flush between two reads, and appends that push the
// held records out to the file (their memory then holding the appends
// after them) hand it neither an old image nor one from memory given up or
// filled again.
TEST_F(CursorTest, ReadsOfHeldRecordsSeeChangesFlushesAndOverflow) {
  enum class TBetween { Change, ChangeThenFlush, Overflow };
  const struct {
    const char* Label;
    TBetween Between;
  } cases[] = {{"change not stored yet", TBetween::Change},
               {"change, then flush", TBetween::ChangeThenFlush},
               {"appends overflow the held records", TBetween::Overflow}};
  constexpr int32_t Filled = 2000;
  int table = 0;
  for (const auto& test : cases) {
    SCOPED_TRACE(test.Label);
    const std::string name = "HELD" + std::to_string(++table);
    TTableDefinition definition;
    definition.Fields = Definitions({{"A", IntType}, {"B", IntType}});
    TDataCursor& cursor = NewCursor(name, true);
    cursor.SetOpenOptions({.TableName = name, .Exclusive = true, .InMemory = true, .TemporaryTable = true});
    cursor.CreateTableAndOpen(definition, true);
    TDataFile& file = cursor.Table()->DataFile();
    int32_t count = 0;
    auto insert = [&] {
      const int32_t a = ++count;
      std::vector<uint8_t> record = Record(cursor, {&a, &a});
      cursor.InsertRecord(record.data());
    };
    cursor.BeginFill();
    for (int32_t n = 0; n < Filled; ++n) insert();
    cursor.EndFill();
    ASSERT_EQ(file.HeldRecordCount(), uint32_t(Filled));
    // Room for a few appends more: the overflow comes during the walk.
    file.SortMemoryBytes = int64_t(Filled + 100) * file.RecordSize();
    // Record number's B becomes -A, in the cache, not where it is held.
    auto change = [&](uint32_t number) {
      TRecord* stored = nullptr;
      ASSERT_TRUE(file.GetRecord(nullptr, number, {}, stored));
      const int32_t a = int32_t(number), b = -a;
      stored->CopyFields(Record(cursor, {&a, &b}).data());
      file.ReleaseRecord(stored);
    };
    std::unique_ptr<TDataCursor> reader(cursor.Clone());
    reader->SetToBegin();
    std::vector<uint8_t> got(reader->CursorRecordSize());
    bool overflowed = false;
    int32_t expected = 0;
    while (reader->GetNextRecord(got.data()) == 0) {
      ++expected;
      int32_t a = 0, b = 0;
      bool blank = true;
      reader->GetField(1, got.data(), blank, &a);
      reader->GetField(2, got.data(), blank, &b);
      ASSERT_EQ(a, expected);
      const bool changed = test.Between != TBetween::Overflow && a > 1 && a <= Filled;
      ASSERT_EQ(b, changed ? -a : a);
      switch (test.Between) {
        case TBetween::Change:
        case TBetween::ChangeThenFlush:
          if (a < Filled) change(uint32_t(a + 1));
          if (test.Between == TBetween::ChangeThenFlush) file.FlushRecords();
          break;
        case TBetween::Overflow:
          if (a % 50 == 0 && count < 2 * Filled) {
            for (int n = 0; n < 50; ++n) insert();
            file.FlushRecords();
            overflowed = overflowed || file.HeldRecordCount() < file.PhysicalRecordCount();
          }
          break;
      }
    }
    // Past the records written out from where they were held.
    EXPECT_GE(expected, Filled);
    EXPECT_EQ(overflowed, test.Between == TBetween::Overflow);
  }
}

}  // namespace

// A fill's rows go in the short way while nothing but "Sys Deleted" keeps
// keys, and the whole way where a row needs it: a number this cursor or a
// twin marked, a delete in between. Either way the records, their row
// numbers and the refusals are those of plain inserts into a twin table,
// and a row its checks refuse (a required field blank) is refused; in a
// temporary table too, whose appends are held in memory (the short way
// writes them there whole, its memos committed in place) until its close
// writes them, and one whose held records outgrow their memory mid-fill.
// The memos' chains, sequences and freed blocks (a deleted row's) are
// those of plain inserts too.
TEST_F(CursorTest, AFillsAppendsLeaveWhatPlainInsertsLeave) {
  enum class TStep { Insert, InsertBlank, LockNextThenInsert, TwinLocksNextThenInsert, DeleteSecond };
  const TStep steps[] = {TStep::Insert,      TStep::Insert,       TStep::InsertBlank,
                         TStep::Insert,      TStep::LockNextThenInsert, TStep::Insert,
                         TStep::DeleteSecond, TStep::Insert,     TStep::TwinLocksNextThenInsert,
                         TStep::Insert,      TStep::InsertBlank,  TStep::Insert};
  enum class TKind { Lasting, Temporary, TemporaryPastMemory };
  constexpr int MemoField = 3;
  constexpr uint32_t HeldRecordsPastMemory = 100;
  std::vector<uint8_t> descs = Descriptors({{"A", IntType}, {"B", StrType, 20}, {"C", BlobFieldType}});
  descs[FieldDescRequiredOffset] = 1;  // A
  struct TMemoRoom final : TBlobValueRoom {
    std::vector<uint8_t> Bytes;
    uint8_t* Room(int32_t length) override {
      Bytes.assign(size_t(length), 0);
      return Bytes.data();
    }
  };
  struct TResult {
    std::vector<int32_t> Walked;
    std::vector<uint16_t> Errors;
    std::vector<char> Records;
    std::vector<std::vector<uint8_t>> Memos;
  };
  auto run = [&](const std::string& name, bool fill, TKind kind) {
    const bool temporary = kind != TKind::Lasting;
    TTableDefinition definition;
    definition.Fields = FieldDefinitionsFromDescs(descs.data(), 3);
    TDataCursor& cursor = NewCursor(name, true);
    TCursorBlobAccess& blobs = cursor.Blobs();
    if (temporary) {
      cursor.SetOpenOptions({.TableName = name, .Exclusive = true, .TemporaryTable = true});
      cursor.CreateTableAndOpen(definition, true);
      // As an answer is emptied before each fill: its records are known
      // to be none on disk, so appends are held.
      cursor.EmptyTable();
      TDataFile& file = cursor.Table()->DataFile();
      if (kind == TKind::TemporaryPastMemory) file.SortMemoryBytes = int64_t(HeldRecordsPastMemory) * file.RecordSize();
    } else {
      cursor.CreateTable(definition, false);
      cursor.Open();
    }
    std::unique_ptr<TDataCursor> twin(cursor.Clone());
    TResult result;
    int32_t next = 0;
    auto insert = [&](bool blank) {
      const int32_t a = ++next;
      const std::string b = "row " + std::to_string(a);
      std::vector<uint8_t> record = Record(cursor, {blank ? nullptr : &a, b.c_str()});
      // None, short, and over several blocks.
      const std::vector<uint8_t> memo(size_t(a % 9 == 0 ? 0 : a * 97 % 1500), uint8_t(a));
      if (!memo.empty()) {
        ASSERT_EQ(blobs.OpenBlob(MemoField, record.data(), {.Release = true}), 0);
        ASSERT_EQ(blobs.WriteBlob(MemoField, record.data(), TFieldNumbering::Cursor, memo, 0), 0);
      }
      result.Errors.push_back(ErrorOf([&] { cursor.InsertRecord(record.data()); }));
      if (result.Errors.back() != 0 && !memo.empty()) {
        EXPECT_EQ(blobs.FreeBlob(MemoField, record.data(), TFieldNumbering::Cursor), 0);
      }
    };
    if (fill) cursor.BeginFill();
    for (const TStep step : steps)
      for (int row = 0; row < 40; ++row) {
        const uint32_t number = uint32_t(cursor.Table()->DataFile().NextRecordNumber());
        switch (step) {
          case TStep::Insert:
            insert(false);
            break;
          case TStep::InsertBlank:
            insert(row % 7 == 3);
            break;
          case TStep::LockNextThenInsert:
            if (row % 5 == 0) cursor.LockRecord(number);
            insert(false);
            result.Errors.push_back(uint16_t(cursor.HoldsRecordLock(number)));
            break;
          case TStep::TwinLocksNextThenInsert:
            if (row % 5 == 0) twin->LockRecord(number);
            insert(false);
            if (row % 5 == 0) twin->UnlockRecord(number);
            break;
          case TStep::DeleteSecond:
            // Through the twin: the filling cursor keeps no window.
            if (row == 0) {
              twin->SetToBegin();
              twin->MoveBy(2);
              twin->DeleteRecord(twin->GetCurrentRecordBuffer());
            }
            insert(false);
            break;
        }
      }
    if (fill) cursor.EndFill();
    twin.reset();
    TDataFile& file = cursor.Table()->DataFile();
    // Past their memory the rest of the records went to disk.
    if (kind == TKind::TemporaryPastMemory) EXPECT_LE(file.HeldRecordCount(), HeldRecordsPastMemory);
    else EXPECT_EQ(file.HeldRecordCount() > 0, temporary);
    EXPECT_GT(file.PhysicalRecordCount(), HeldRecordsPastMemory);
    // A temporary table's "Sys Deleted" keys wait past its fill.
    if (!temporary) {
      EXPECT_TRUE(cursor.Table()->IndexesMatchData());
    }
    result.Walked = Walk(cursor);
    // Every row as read, its memo's reference among its bytes, and the memo.
    cursor.SetToBegin();
    for (cursor.MoveBy(1); cursor.OnRecord(); cursor.MoveBy(1)) {
      std::vector<uint8_t> record(cursor.GetCurrentRecordBuffer(),
                                  cursor.GetCurrentRecordBuffer() + cursor.CursorRecordSize());
      result.Records.insert(result.Records.end(), record.begin(), record.end());
      TMemoRoom room;
      int32_t length = -1;
      EXPECT_EQ(blobs.ReadWholeBlob(MemoField, record.data(), TFieldNumbering::Cursor, room, length), 0);
      EXPECT_EQ(size_t(length), room.Bytes.size());
      result.Memos.push_back(room.Bytes);
    }
    if (temporary) {
      // Its files go at its close: the held images are what it would write,
      // with the header's counts.
      file.FlushRecords();
      file.DropCache();
      for (uint32_t number = 1; kind == TKind::Temporary && number <= file.PhysicalRecordCount(); ++number) {
        const uint8_t* image = file.HeldRecordImage(number);
        EXPECT_NE(image, nullptr) << number;
        if (image) result.Records.insert(result.Records.end(), image, image + file.RecordSize());
      }
      for (const uint32_t count : {file.NextRecordNumber(), file.FirstFreeRecord(), uint32_t(file.GetAutoIncValue())})
        result.Records.insert(result.Records.end(), reinterpret_cast<const char*>(&count),
                              reinterpret_cast<const char*>(&count) + sizeof count);
      cursor.Close(TTemporaryContents::Discard);
      return result;
    }
    cursor.Close(TTemporaryContents::Keep);
    std::vector<char> data = FileBytes(name + ".DAT");
    // When it was written is the one difference the two may have.
    std::fill_n(data.begin() + DatHdrWriteTime, sizeof(double), 0);
    const std::vector<char> chains = FileBytes(name + ".BLB");
    EXPECT_FALSE(chains.empty());
    for (const std::vector<char>* bytes : {&std::as_const(data), &chains})
      result.Records.insert(result.Records.end(), bytes->begin(), bytes->end());
    return result;
  };
  for (const TKind kind : {TKind::Lasting, TKind::Temporary, TKind::TemporaryPastMemory}) {
    const std::string suffix = kind == TKind::Lasting ? "" : kind == TKind::Temporary ? "TEMP" : "PAST";
    SCOPED_TRACE(suffix);
    // The fill first: its held images come from memory no table used.
    const TResult filled = run("FILLED" + suffix, true, kind);
    const TResult plain = run("PLAIN" + suffix, false, kind);
    EXPECT_EQ(filled.Errors, plain.Errors);
    EXPECT_EQ(filled.Walked, plain.Walked);
    EXPECT_EQ(filled.Records, plain.Records);
    EXPECT_EQ(filled.Memos, plain.Memos);
    // Rows kept their memos: the first row's, and one of several blocks.
    for (const size_t length : {97u, 13u * 97u})
      EXPECT_NE(std::find(plain.Memos.begin(), plain.Memos.end(), std::vector<uint8_t>(length, uint8_t(length / 97))),
                plain.Memos.end())
          << length;
    // The refusals happened: blanks and the twin's numbers.
    EXPECT_EQ(std::count(plain.Errors.begin(), plain.Errors.end(), 0), ptrdiff_t(plain.Errors.size()) - 8 - 12);
    EXPECT_EQ(plain.Walked.size(), size_t(12 * 40 - 12 - 8 - 1));
  }
}
