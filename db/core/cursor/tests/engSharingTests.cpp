// Cursors of several processes on one table's real files: exclusive
// opens, other users' appends noticed, concurrent appends and a writer
// killed in the middle of its appends.

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <numeric>

#include "engCursorWriteTestSupport.h"
#include "engDataFile.h"
#include "engErrorCodes.h"
#include "engErrors.h"
#include "engRecordBuffer.h"
#include "engTableTestSupport.h"

namespace {

class SharingTest : public CursorWriteTest {
protected:
  // The helper's rows: ID, "N<ID>", ID % 100.
  void CreateRows() { CreateGroups("ROWS"); }

  // A table of rows 1..rows holding the helper's values, enciphered (with
  // its primary index only) or as the helper's groups table.
  void CreateRowsTable(const std::string& name, int32_t rows, bool enciphered) {
    if (enciphered) {
      session->AddPassword("secret");
      TTableDefinition definition;
      const std::vector<uint8_t> fieldDescs = Descriptors({{"ID", IntType}, {"NAME", StrType, 20}, {"GRP", IntType}});
      definition.Fields = FieldDefinitionsFromDescs(fieldDescs.data(), 3);
      definition.IndexDescs = TIndexDescList(IndexDescriptor({"", {1}}));
      definition.Encrypted = true;
      definition.Password = "secret";
      NewCursor(name, true).CreateTable(definition, false);
    } else {
      CreateGroups(name);
    }
    TDataCursor& writer = OpenCursor(name);
    for (int32_t id = 1; id <= rows; ++id) Insert(writer, id, "N" + std::to_string(id), id % 100);
    cursors.clear();
  }
  std::string CursorOn(const char* mode) const { return "cursor " + folder + " ROWS " + mode; }

  static std::string Text(TDataCursor& cursor, const uint8_t* record, int fieldNo) {
    char text[32] = {};
    bool blank = true;
    cursor.GetTableField(fieldNo, record, blank, text);
    return text;
  }

  // Walks the index both ways and finds each entry again by its key. Every
  // record must hold the helper's values, appear once in key order, and be
  // counted by the index's pages. Returns the record numbers in order.
  static std::vector<uint32_t> ExpectIndexSound(TDataCursor& cursor, uint8_t indexNo) {
    SCOPED_TRACE("index " + std::to_string(indexNo));
    cursor.SetIndexNo(indexNo);
    const int length = cursor.KeyLength();
    std::vector<std::vector<uint8_t>> keys;
    std::vector<uint32_t> records;
    int badRows = 0, outOfOrder = 0;
    cursor.SetToBegin();
    for (cursor.MoveBy(1); cursor.OnRecord(); cursor.MoveBy(1)) {
      const uint8_t* row = cursor.GetCurrentRecordBuffer();
      const int32_t id = IntField(cursor, row, 1);
      if (Text(cursor, row, 2) != "N" + std::to_string(id) || IntField(cursor, row, 3) != id % 100) ++badRows;
      std::vector<uint8_t> key(size_t(length), 0);
      if (indexNo != NaturalOrderIndex) cursor.BuildKey(row, key.data());
      if (!keys.empty() && indexNo != NaturalOrderIndex && cursor.CompareKeys(keys.back().data(), key.data(), length) >= 0)
        ++outOfOrder;
      keys.push_back(std::move(key));
      records.push_back(cursor.CurrentRecordNumber());
    }
    EXPECT_EQ(badRows, 0);
    EXPECT_EQ(outOfOrder, 0);
    EXPECT_EQ(cursor.GetRecordCount(), int32_t(records.size()));

    std::vector<uint32_t> backward;
    cursor.SetToEnd();
    for (cursor.MoveBy(-1); cursor.OnRecord(); cursor.MoveBy(-1)) backward.push_back(cursor.CurrentRecordNumber());
    std::reverse(backward.begin(), backward.end());
    EXPECT_TRUE(backward == records);

    if (indexNo != NaturalOrderIndex) {
      int notFound = 0;
      for (size_t i = 0; i < keys.size(); ++i)
        if (!cursor.SearchKey(keys[i].data()) || cursor.CurrentRecordNumber() != records[i]) ++notFound;
      EXPECT_EQ(notFound, 0);
    }
    return records;
  }

  // Opens the table as the first user (the verify-and-repair pass runs),
  // checks every index and natural order, and returns the IDs in order.
  std::vector<int32_t> ExpectTableSound() {
    TDataCursor& cursor = OpenCursor("ROWS");
    std::vector<uint32_t> reference;
    // "Sys Deleted" is not a cursor order: the table checks it against the data.
    EXPECT_TRUE(cursor.Table()->IndexesMatchData());
    for (uint8_t indexNo : {uint8_t(0), uint8_t(1), uint8_t(2), NaturalOrderIndex}) {
      std::vector<uint32_t> records = ExpectIndexSound(cursor, indexNo);
      std::sort(records.begin(), records.end());
      if (indexNo == 0) reference = records;
      else EXPECT_TRUE(records == reference) << "index " << int(indexNo) << " holds other records";
    }
    // No record of the data file is left outside the indexes.
    EXPECT_EQ(cursor.GetPhysicalRecordCount(), reference.size());
    std::vector<int32_t> ids;
    cursor.SetIndexNo(0);
    cursor.SetToBegin();
    for (cursor.MoveBy(1); cursor.OnRecord(); cursor.MoveBy(1)) ids.push_back(IdOf(cursor));
    cursor.Close(TTemporaryContents::Discard);
    return ids;
  }

  static std::vector<int32_t> IdsFrom(int32_t first, int32_t count) {
    std::vector<int32_t> ids(static_cast<size_t>(count));
    std::iota(ids.begin(), ids.end(), first);
    return ids;
  }
};

TEST_F(SharingTest, AnExclusiveOpenKeepsTheOtherProcessOutAndASharedOneKeepsItOutOfExclusiveUse) {
  CreateRows();
  TDataCursor& mine = NewCursor("ROWS", true);
  mine.Open();
  TableHelperProcess other;
  EXPECT_EQ(other.Ask(CursorOn("shared")), EngErrAccessDenied);
  EXPECT_EQ(other.Ask(CursorOn("exclusive")), EngErrAccessDenied);
  EXPECT_EQ(other.Ask("delete " + folder + " ROWS"), EngErrAccessDenied);
  EXPECT_TRUE(std::filesystem::exists(PathOf("ROWS.DAT")));

  mine.Close(TTemporaryContents::Discard);
  ASSERT_EQ(other.Ask(CursorOn("shared")), 0u);
  EXPECT_EQ(ErrorOf([&] { mine.Open(); }), EngErrAccessDenied);
  EXPECT_FALSE(mine.IsOpen());
  EXPECT_EQ(ErrorOf([&] { mine.DeleteTable(); }), EngErrAccessDenied);
  mine.SetOpenOptions({.TableName = mine.TableName()});
  mine.Open();
  mine.Close(TTemporaryContents::Discard);

  ASSERT_EQ(other.Ask("closecursor"), 0u);
  mine.DeleteTable();
  EXPECT_FALSE(std::filesystem::exists(PathOf("ROWS.DAT")));
}

TEST_F(SharingTest, AnotherProcessesAppendsAreSeenAsTheChangeDetectionRulesSay) {
  CreateRows();
  TDataCursor& cursor = OpenCursor("ROWS");
  TableHelperProcess other;
  ASSERT_EQ(other.Ask(CursorOn("shared")), 0u);

  // Without strict detection an operation compares only the counts this
  // process holds; reads served from memory do not look at the disk.
  ASSERT_EQ(other.Ask("insert 1 3"), 0u);
  cursor.SetToBegin();
  EXPECT_EQ(cursor.GetNextRecord(nullptr), EngErrEndOfFile);
  EXPECT_EQ(cursor.GetRecordCount(), 0);
  // A read lock looks.
  EXPECT_TRUE(cursor.BeginRead());
  cursor.EndRead();
  EXPECT_EQ(Walk(cursor), IdsFrom(1, 3));

  cursor.SetToBegin();
  ASSERT_EQ(cursor.GetNextRecord(nullptr), 0);
  ASSERT_EQ(other.Ask("insert 4 1"), 0u);
  std::vector<uint8_t> record(cursor.CursorRecordSize());
  EXPECT_EQ(cursor.GetRecord(record.data()), 0);
  EXPECT_EQ(cursor.GetRecordCount(), 3);
  // So does a record lock, which leaves the cursor on its record.
  cursor.LockRecord(0);
  EXPECT_EQ(cursor.GetRecordCount(), 4);
  EXPECT_EQ(IdOf(cursor), 1);
  cursor.UnlockRecord(0);
  EXPECT_FALSE(cursor.Table()->HoldsChangeCheckLock());

  // With strict detection every operation looks first.
  session->StrictChangeDetection = true;
  ASSERT_EQ(other.Ask("insert 5 2"), 0u);
  EXPECT_EQ(cursor.GetRecord(record.data()), 0);
  EXPECT_EQ(cursor.GetRecordCount(), 6);
  EXPECT_EQ(IdOf(cursor), 1);
  EXPECT_FALSE(cursor.Table()->HoldsChangeCheckLock());
  EXPECT_EQ(Walk(cursor), IdsFrom(1, 6));
}

// A step over several records in index order whose leaf the process holds
// in memory, stale since another process added keys to it, finds the
// change where it reads the leaf's records from the file, as a single step
// finds it where it reads its record: no key added is passed over.
TEST_F(SharingTest, StepsOverSeveralRecordsInIndexOrderSeeAnotherProcessesKeysWhereTheyReadTheFile) {
  CreateRows();
  {
    TDataCursor& writer = OpenCursor("ROWS");
    for (int32_t id = 1; id <= 3000; ++id)
      if (id <= 1000 || id > 2000) Insert(writer, id, "N" + std::to_string(id), id % 100);
    // Closed: the next open starts with nothing held in memory.
    cursors.clear();
  }
  TDataCursor& cursor = OpenCursor("ROWS");
  cursor.SetIndexNo(0);
  auto walk = [&cursor] {
    std::vector<int32_t> ids;
    TRecordBatch batch;
    cursor.SetToBegin();
    while (cursor.GetNextRecords(batch) == 0)
      for (int32_t i = 0; i < batch.Count(); ++i) ids.push_back(IntField(cursor, batch.Record(i), 1));
    return ids;
  };
  std::vector<int32_t> expected = IdsFrom(1, 1000);
  const std::vector<int32_t> later = IdsFrom(2001, 1000);
  expected.insert(expected.end(), later.begin(), later.end());
  // The leaves stay in memory; the records, read in long runs, do not.
  ASSERT_EQ(walk(), expected);
  TableHelperProcess other;
  ASSERT_EQ(other.Ask(CursorOn("shared")), 0u);
  ASSERT_EQ(other.Ask("insert 1001 1000"), 0u);
  EXPECT_EQ(walk(), IdsFrom(1, 3000));
}

// A scan under a read lock may see its records where the data file's pages
// lie instead of copied out; each record handed out must still read as a
// read of the file gave it then, carrying its own number, whatever happens
// to the file while the batch is out.
TEST_F(SharingTest, ABatchReadsAsTheFileWasWhenItWasReadWhateverComesAfter) {
  enum class TBefore { Nothing, LookedUp, UnwrittenChange, RecordWithoutItsNumber, Enciphered };
  // A read lock let go for good, or for a moment (taken again before the
  // batch is read, as a statement's row loop does for waiting writers), or
  // for a moment nobody writes in and then for good.
  enum class TLetGo { End, Pause, PauseThenEnd };
  struct TCase {
    const char* Name;
    TBefore Before;
    bool OtherWritesAfter;  // another process, once the read lock is let go
    bool InPlace;           // the first batch is shown where the file lies
    uint8_t IndexNo = NaturalOrderIndex;
    TLetGo LetGo = TLetGo::End;
  };
  const TCase cases[] = {
      {"another process's change after the read lock", TBefore::Nothing, true, true},
      {"the same in index order", TBefore::Nothing, true, true, 0},
      {"another process's change in a pause of the read lock", TBefore::Nothing, true, true, NaturalOrderIndex,
       TLetGo::Pause},
      {"the same in index order", TBefore::Nothing, true, true, 0, TLetGo::Pause},
      {"a pause, then another process's change after the read lock", TBefore::Nothing, true, true, 0,
       TLetGo::PauseThenEnd},
      {"a record this process looked up, then another process's change", TBefore::LookedUp, true, true},
      {"this process's change not yet written", TBefore::UnwrittenChange, false, false},
      {"a record not carrying its own number", TBefore::RecordWithoutItsNumber, false, false},
      {"an enciphered table", TBefore::Enciphered, false, false},
  };
  constexpr int32_t Rows = 2000, Changed = 7, ChangedGroup = 777;
  int tableNo = 0;
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Name);
    const std::string name = "ROWS" + std::to_string(++tableNo);
    CreateRowsTable(name, Rows, test.Before == TBefore::Enciphered);
    if (test.Before == TBefore::RecordWithoutItsNumber) {
      // Its link bytes cleared on disk, as another program may leave them.
      const std::string path = PathOf(name + ".DAT");
      const auto recordSize = int64_t(OpenCursor(name).Table()->DataFile().RecordSize());
      cursors.clear();
      const auto offset = int64_t(std::filesystem::file_size(path)) - (Rows - Changed + 1) * recordSize;
      std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
      file.seekp(offset + 1);
      file.write("\0\0\0\0", 4);
    }
    // A table held exclusively writes its changes at its close.
    const bool exclusive = test.Before == TBefore::UnwrittenChange;
    TDataCursor& cursor = OpenCursor(name, exclusive);
    auto groupOf = [&](int32_t id) {
      if (id == Changed && test.Before == TBefore::UnwrittenChange) return ChangedGroup;
      return id % 100;
    };
    // Into the table's cache, as is or changed.
    if (test.Before == TBefore::LookedUp) {
      ASSERT_TRUE(Find(cursor, Changed));
    }
    if (test.Before == TBefore::UnwrittenChange) {
      ASSERT_TRUE(Find(cursor, Changed));
      std::vector<uint8_t> record = Current(cursor);
      cursor.PutTableField(3, record.data(), &ChangedGroup);
      cursor.ModifyRecord(record.data());
    }
    cursor.SetIndexNo(test.IndexNo);
    const TDataFile& data = cursor.Table()->DataFile();
    const uint32_t inPlaceBefore = data.RunsInPlace();
    cursor.BeginRead();
    cursor.SetToBegin();
    TRecordBatch batch;
    ASSERT_EQ(cursor.GetNextRecords(batch), 0);
    ASSERT_GT(batch.Count(), Changed);
    EXPECT_EQ(data.RunsInPlace() > inPlaceBefore, test.InPlace);
    if (test.LetGo != TLetGo::End) cursor.PauseRead();
    if (test.LetGo == TLetGo::PauseThenEnd) cursor.BeginRead();
    if (test.LetGo != TLetGo::Pause) cursor.EndRead();
    if (test.OtherWritesAfter) {
      TableHelperProcess other;
      ASSERT_EQ(other.Ask("cursor " + folder + " " + name + " shared"), 0u);
      ASSERT_EQ(other.Ask("setgroup " + std::to_string(Changed) + " " + std::to_string(ChangedGroup)), 0u);
    }
    if (test.LetGo == TLetGo::Pause) cursor.BeginRead();
    auto wrongIn = [&](TDataCursor& reader, const TRecordBatch& batch, auto group) {
      int32_t wrong = 0;
      for (int32_t i = 0; i < batch.Count(); ++i) {
        const uint8_t* record = batch.Record(i);
        const int32_t id = IntField(reader, record, 1);
        if (uint32_t(id) != batch.RecordNumber(i) || IntField(reader, record, 3) != group(id) ||
            GetRecordPhysicalNo(record) != batch.RecordNumber(i))
          ++wrong;
      }
      return wrong;
    };
    EXPECT_EQ(wrongIn(cursor, batch, groupOf), 0);
    if (test.LetGo == TLetGo::Pause) cursor.EndRead();

    // The next statement's cursor, through the mappings this one leaves
    // behind while the table stays open, reads the file as it is now.
    if (!exclusive) OpenCursor(name);
    cursor.Close(TTemporaryContents::Keep);
    TDataCursor& again = OpenCursor(name, exclusive);
    again.SetIndexNo(test.IndexNo);
    again.BeginRead();
    again.SetToBegin();
    ASSERT_EQ(again.GetNextRecords(batch), 0);
    again.EndRead();
    const bool changed = test.OtherWritesAfter || test.Before == TBefore::UnwrittenChange;
    EXPECT_EQ(wrongIn(again, batch, [&](int32_t id) { return id == Changed && changed ? ChangedGroup : id % 100; }), 0);
  }
}

// A program that ignores the locks (a script, a backup tool) may cut the
// data file under records a scan shows where the file's pages lie: the
// scan must fail as a read of the cut file fails, not end the process with
// a bus error. The file is cut after a first scan left its mappings
// behind, or while the one batch of the whole table is out (its records
// then read as zeros, and the step that would end the scan fails). Each
// cut scan runs in a child process, so that a bus error fails the case
// rather than the tests.
TEST_F(SharingTest, AFileCutOutsideTheLocksFailsAScanAsAReadOfItDoes) {
  struct TCase {
    const char* Name;
    bool Enciphered;  // read from the file, never shown in place
    uint8_t IndexNo;
    bool CutWhileBatchOut;
  };
  const TCase cases[] = {
      {"read from the file", true, NaturalOrderIndex, false},
      {"shown in place", false, NaturalOrderIndex, false},
      {"shown in place in index order", false, 0, false},
      {"shown in place, cut while the batch is out", false, NaturalOrderIndex, true},
  };
  constexpr int32_t Rows = 1000, Left = 30;
  struct TOutcome {
    uint16_t Code = 0;  // the engine error that ended the scan; 0 for none
    int32_t Rows = 0;   // rows handed out before it
    bool InPlace = false;
  };
  int tableNo = 0;
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Name);
    const std::string name = "CUT" + std::to_string(++tableNo);
    CreateRowsTable(name, Rows, test.Enciphered);
    TDataCursor& cursor = OpenCursor(name);
    cursor.SetIndexNo(test.IndexNo);
    const TDataFile& data = cursor.Table()->DataFile();
    ASSERT_LE(Rows, data.ReadAheadRecords());
    const std::string path = PathOf(name + ".DAT");
    const int64_t cutAt = int64_t(std::filesystem::file_size(path)) - int64_t(Rows - Left) * data.RecordSize();
    auto cut = [&] {
      const int fd = open(path.c_str(), O_RDWR);
      const bool done = fd >= 0 && ftruncate(fd, cutAt) == 0;
      if (fd >= 0) close(fd);
      return done;
    };
    // Steps through the table, touching each record handed out.
    auto scan = [&](TOutcome& outcome, bool cutWhileBatchOut) {
      const uint32_t inPlaceBefore = data.RunsInPlace();
      cursor.BeginRead();
      cursor.SetToBegin();
      TRecordBatch batch;
      try {
        for (bool first = true; cursor.GetNextRecords(batch) == 0; first = false) {
          for (int32_t i = 0; i < batch.Count(); ++i)
            if (IntField(cursor, batch.Record(i), 1) != 0) ++outcome.Rows;
          if (first && cutWhileBatchOut) {
            if (!cut()) return;
            for (int32_t i = 0; i < batch.Count(); ++i) IntField(cursor, batch.Record(i), 1);
          }
        }
      } catch (const EEngineError& error) {
        outcome.Code = error.ErrorCode;
      }
      outcome.InPlace = data.RunsInPlace() > inPlaceBefore;
      cursor.EndRead();
    };
    if (!test.CutWhileBatchOut) {
      TOutcome whole;
      scan(whole, false);
      ASSERT_EQ(whole.Code, 0);
      ASSERT_EQ(whole.Rows, Rows);
      ASSERT_EQ(whole.InPlace, !test.Enciphered);
      ASSERT_TRUE(cut());
    }

    int results[2];
    ASSERT_EQ(pipe(results), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(results[0]);
      TOutcome outcome;
      scan(outcome, test.CutWhileBatchOut);
      const bool sent = write(results[1], &outcome, sizeof outcome) == ssize_t(sizeof outcome);
      _exit(sent ? 0 : 1);
    }
    close(results[1]);
    TOutcome outcome;
    const bool received = read(results[0], &outcome, sizeof outcome) == ssize_t(sizeof outcome);
    close(results[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    ASSERT_TRUE(received);
    EXPECT_EQ(outcome.Code, EngErrReadFailed);
    // Only what the file still holds is handed out whole.
    EXPECT_EQ(outcome.Rows, test.CutWhileBatchOut ? Rows : 0);
    if (test.CutWhileBatchOut) {
      EXPECT_TRUE(outcome.InPlace);
    }
    cursors.clear();
  }
}

TEST_F(SharingTest, TwoProcessesAppendingAtOnceLeaveEveryRowOnceInEveryIndex) {
  CreateRows();
  constexpr int32_t Rows = 10000;
  TableHelperProcess first, second;
  ASSERT_EQ(first.Ask(CursorOn("shared")), 0u);
  ASSERT_EQ(second.Ask(CursorOn("shared")), 0u);
  first.Send("insert 1 " + std::to_string(Rows));
  second.Send("insert " + std::to_string(Rows + 1) + " " + std::to_string(Rows));
  EXPECT_EQ(first.Receive(), 0u);
  EXPECT_EQ(second.Receive(), 0u);
  first.Exit();
  second.Exit();

  EXPECT_EQ(ExpectTableSound(), IdsFrom(1, 2 * Rows));
}

// What a writer stopped before its index writes leaves (indexes behind the
// data), then before its data header (records past the header's count),
// and appends after that repair.
TEST_F(SharingTest, AFirstOpenRepairsIndexesAndADataHeaderLeftBehindByTheirData) {
  CreateRows();
  namespace fs = std::filesystem;
  const auto copy = [](const std::string& from, const std::string& to) {
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
  };
  const auto insert = [&](int32_t first, int32_t count) {
    TableHelperProcess writer;
    ASSERT_EQ(writer.Ask(CursorOn("shared")), 0u);
    ASSERT_EQ(writer.Ask("insert " + std::to_string(first) + " " + std::to_string(count)), 0u);
    writer.Exit();
  };
  insert(1, 5);
  copy(PathOf("ROWS.IDX"), PathOf("OLD.IDX"));
  insert(6, 3);
  copy(PathOf("OLD.IDX"), PathOf("ROWS.IDX"));
  EXPECT_EQ(ExpectTableSound(), IdsFrom(1, 8));

  copy(PathOf("ROWS.DAT"), PathOf("OLD.DAT"));
  insert(9, 4);
  std::vector<char> header(DataHeaderSize);
  {
    std::ifstream old(PathOf("OLD.DAT"), std::ios::binary);
    old.read(header.data(), DataHeaderSize);
    std::fstream current(PathOf("ROWS.DAT"), std::ios::binary | std::ios::in | std::ios::out);
    current.write(header.data(), DataHeaderSize);
    // Half a record that never got its header.
    current.seekp(0, std::ios::end);
    current.write(header.data(), 20);
  }
  EXPECT_EQ(ExpectTableSound(), IdsFrom(1, 12));
  // The half record is gone: verification without repair passes.
  TDataCursor& cursor = OpenCursor("ROWS");
  EXPECT_NO_THROW(cursor.Table()->DataFile().VerifyDataFile());
  cursor.Close(TTemporaryContents::Discard);

  // The old header's row-number counter lay behind the records taken in;
  // rows appended after the repair must not take their row numbers again.
  insert(13, 3);
  EXPECT_EQ(ExpectTableSound(), IdsFrom(1, 15));
}

// The appends run on after the answer, so each kill lands somewhere inside
// one of them (between the data records, the data header, the index pages
// and the index header); the next open repairs what the kill left, and
// the next round appends after it.
TEST_F(SharingTest, AWriterKilledAmidItsAppendsLeavesATableThatOpensAndVerifies) {
  CreateRows();
  int32_t rows = 0;
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    TableHelperProcess writer;
    ASSERT_EQ(writer.Ask(CursorOn("shared")), 0u);
    ASSERT_EQ(writer.Ask("insertendless " + std::to_string(rows + 1) + " 300"), 0u);
    writer.Kill();
    const std::vector<int32_t> ids = ExpectTableSound();
    EXPECT_GE(int32_t(ids.size()), rows + 300);
    EXPECT_EQ(ids, IdsFrom(1, int32_t(ids.size())));
    rows = int32_t(ids.size());
  }
}

}  // namespace
