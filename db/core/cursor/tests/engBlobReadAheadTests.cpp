// BLOB values read ahead along their chains, as another user of the table
// sees them: read-ahead never hides a change that the change check finds.

#include <fstream>

#include "engBlobFieldTestSupport.h"
#include "engBlobTestSupport.h"
#include "engBlobLayout.h"
#include "engErrorCodes.h"
#include "engSession.h"

namespace {

// A second user of the MEMOS table, in a session of its own, reading
// records and their first BLOB field as a cursor of that session would.
class TOtherUser {
public:
  // The table opened in session.
  TOtherUser(TDataSession* session, TDataTable* table) : session(session), table(table) { cursor.Attach(*table); }
  ~TOtherUser() {
    cursor.Detach();
    FreeEngineSession(session);
  }

  // Record number's value, read inside the change check that a cursor
  // operation takes under strict change detection.
  std::vector<uint8_t> Read(uint32_t number) {
    table->LockChangeCheck();
    TRecord* stored = nullptr;
    EXPECT_TRUE(table->DataFile().GetRecord(&cursor.Reader, number, {}, stored));
    std::vector<uint8_t> record(stored->Buffer(), stored->Buffer() + cursor.CursorRecordSize());
    table->DataFile().ReleaseRecord(stored);
    std::vector<uint8_t> value;
    EXPECT_EQ(cursor.Blobs.OpenBlob(fFirstMemo, record.data(), {}), 0);
    int32_t size = 0;
    EXPECT_EQ(cursor.Blobs.GetBlobSize(fFirstMemo, record.data(), TFieldNumbering::Cursor, size), 0);
    value.resize(size_t(size));
    int32_t got = 0;
    EXPECT_EQ(cursor.Blobs.ReadBlob(fFirstMemo, record.data(), TFieldNumbering::Cursor, got, size, value.data(), 0), 0);
    EXPECT_EQ(cursor.Blobs.FreeBlob(fFirstMemo, record.data(), TFieldNumbering::Cursor), 0);
    table->UnlockChangeCheck();
    return value;
  }

private:
  TDataSession* session;
  TDataTable* table;
  TBlobTestCursor cursor;
};

TEST_F(BlobFieldTest, AValueRewrittenByAnotherUserIsReadAnewThoughItsBlocksWereReadAhead) {
  Create(64);
  const int32_t data = DataSize();
  for (int i = 0; i < 3; ++i) {
    std::vector<uint8_t> record = NewRecord();
    WriteValue(record, fFirstMemo, Bytes(size_t(5 * data), i));
    Post(record);
  }
  TDataSession* session = nullptr;
  CreateEngineSession(session);
  TOtherUser other(session, OpenTable(session->OpenDirectory("", folder), "MEMOS"));
  // The first read takes the chains of the records after it along.
  EXPECT_EQ(other.Read(1), Bytes(size_t(5 * data), 0));
  EXPECT_EQ(other.Read(2), Bytes(size_t(5 * data), 1));

  // Rewritten in place, over the same blocks, and grown by a new chain.
  std::vector<uint8_t> record = Stored(2);
  WriteValue(record, fFirstMemo, Bytes(size_t(5 * data), 40));
  Post(record);
  record = Stored(3);
  WriteValue(record, fFirstMemo, Bytes(size_t(9 * data), 41));
  Post(record);

  EXPECT_EQ(other.Read(2), Bytes(size_t(5 * data), 40));
  EXPECT_EQ(other.Read(3), Bytes(size_t(9 * data), 41));
  EXPECT_EQ(other.Read(1), Bytes(size_t(5 * data), 0));
}

TEST_F(BlobFieldTest, ValuesRewrittenFarAheadOfAScanAreReadAnewThoughTheScansWindowReachesThem) {
  Create(64);
  const int32_t data = DataSize();
  // Far more than one read-ahead of values: the scan's reads grow.
  constexpr uint32_t Records = 120;
  for (uint32_t i = 0; i < Records; ++i) {
    std::vector<uint8_t> record = NewRecord();
    WriteValue(record, fFirstMemo, Bytes(size_t(40 * data), int(i)));
    Post(record);
  }
  TDataSession* session = nullptr;
  CreateEngineSession(session);
  TOtherUser other(session, OpenTable(session->OpenDirectory("", folder), "MEMOS"));
  for (uint32_t number = 1; number <= 80; ++number)
    ASSERT_EQ(other.Read(number), Bytes(size_t(40 * data), int(number - 1)));

  // Rewritten in place, and grown by a new chain at the end of the file.
  std::vector<uint8_t> record = Stored(100);
  WriteValue(record, fFirstMemo, Bytes(size_t(40 * data), 500));
  Post(record);
  record = Stored(110);
  WriteValue(record, fFirstMemo, Bytes(size_t(45 * data), 501));
  Post(record);

  for (uint32_t number = 81; number <= Records; ++number) {
    SCOPED_TRACE(number);
    const int seed = number == 100 ? 500 : number == 110 ? 501 : int(number - 1);
    EXPECT_EQ(other.Read(number), Bytes(size_t((number == 110 ? 45 : 40) * data), seed));
  }
}

// A look-up reads a small window of blocks, not a whole read-ahead; a walk
// along the values widens the window fill by fill, also when it skips
// every other record as a filter would.
TEST_F(BlobFieldTest, ALookUpReadsASmallWindowAndAWalkWidensIt) {
  Create(64);
  const int32_t data = DataSize();
  constexpr int Count = 600;
  const std::vector<uint32_t> firsts = PostValues(Count, [&](int i) { return Bytes(size_t(data), i); });
  Reopen();
  auto windowFrom = [this](uint32_t offset) {
    const uint8_t* images = nullptr;
    return BlobFile().WindowRun(offset, images);
  };
  auto readRecord = [this, data](uint32_t number) {
    std::vector<uint8_t> record = Stored(number);
    EXPECT_EQ(ReadValue(record, fFirstMemo), Bytes(size_t(data), int(number) - 1)) << number;
  };
  const int32_t lookUpBlocks = TBlobFile::LookupReadAheadBlocks;
  for (uint32_t number : {300u, 20u, 555u}) {
    readRecord(number);
    EXPECT_GE(windowFrom(firsts[number - 1]), 1) << number;
    EXPECT_LE(windowFrom(firsts[number - 1]), lookUpBlocks) << number;
  }
  int32_t widest = 0;
  for (uint32_t number = 1; number <= Count; number += 2) {
    readRecord(number);
    widest = std::max(widest, windowFrom(firsts[number - 1]));
  }
  EXPECT_GE(widest, 4 * lookUpBlocks);
}

// A walk that wants a small share of the values it passes (a filter's
// scattered rows) reads them as look-ups and keeps their blocks: the same
// walk run again reads nothing from the file, yet after another process
// rewrote one of its values every walk reads the bytes as they stand. A
// walk that wants more widens its window as before.
TEST_F(BlobFieldTest, AScatteredWalkKeepsItsValuesAndADenseWalkWidensItsWindow) {
  Create(64);
  const int32_t data = DataSize();
  constexpr uint32_t Count = 2000;
  // One to three blocks each, as a print job's document name takes.
  std::vector<std::vector<uint8_t>> values;
  for (uint32_t i = 0; i < Count; ++i) values.push_back(Bytes(size_t((1 + i % 3) * data - i % 5), int(i)));
  {
    // Inserted as a program would, keys and all: the other process opens
    // the table with its indexes.
    Close();
    std::unique_ptr<TTableCursor> writer = NewTableCursor(directory);
    writer->SetOpenOptions({.TableName = "MEMOS"});
    writer->Open();
    directory->StartTransaction();
    for (uint32_t i = 0; i < Count; ++i) {
      std::vector<uint8_t> record(writer->Fields().CursorRecordSize(), 0);
      writer->Fields().WriteField(fMemoId, record.data(), int32_t(i + 1));
      ASSERT_EQ(writer->Blobs().OpenBlob(fFirstMemo, record.data(), {.Release = true}), 0);
      ASSERT_EQ(writer->Blobs().WriteBlob(fFirstMemo, record.data(), TFieldNumbering::Cursor, values[i], 0), 0);
      writer->InsertRecord(record.data());
    }
    directory->Commit(true);
    writer.reset();
    Open();
  }
  TableHelperProcess process;
  ASSERT_EQ(process.Ask("cursor " + folder + " MEMOS shared"), 0u);
  const int32_t lookUpBlocks = TBlobFile::LookupReadAheadBlocks;
  struct TCase {
    uint32_t Step;  // Run records from every Step-th one
    uint32_t Run;
    bool Scattered;
  };
  // Every twentieth or thirtieth value lies less than a look-up's reach
  // past the window before it: as a walk's, that window would grow. Pairs
  // share a look-up's window.
  const TCase cases[] = {{1, 1, false}, {2, 1, false}, {5, 1, false}, {20, 1, true}, {30, 1, true}, {40, 2, true}};
  uint32_t changes = 0;
  for (const TCase& walk : cases) {
    SCOPED_TRACE(walk.Step);
    Reopen();
    // Each row read as a cursor operation reads it, inside the change
    // check; the widest window any value came from.
    auto walkOnce = [&](const char* stage) {
      int32_t widest = 0;
      for (uint32_t start = walk.Step; start <= Count; start += walk.Step)
        for (uint32_t number = start; number < start + walk.Run && number <= Count; ++number) {
          table->LockChangeCheck();
          std::vector<uint8_t> record = Stored(number);
          table->UnlockChangeCheck();
          EXPECT_EQ(ReadValue(record, fFirstMemo), values[number - 1]) << stage << " " << number;
          const uint8_t* images = nullptr;
          widest = std::max(widest, BlobFile().WindowRun(uint32_t(Reference(record, fFirstMemo)), images));
        }
      return widest;
    };
    const int32_t widest = walkOnce("first");
    if (walk.Scattered) {
      EXPECT_LE(widest, lookUpBlocks);
    } else {
      EXPECT_GE(widest, 4 * lookUpBlocks);
    }
    const uint32_t reads = BlobFile().PhysicalReads();
    walkOnce("again");
    if (walk.Scattered) {
      EXPECT_EQ(BlobFile().PhysicalReads(), reads);
    }

    // Rewritten in place by another process: a value of the walk, and the
    // one after it.
    for (const uint32_t number : {walk.Step * 3, walk.Step * 3 + 1}) {
      std::vector<uint8_t>& value = values[number - 1];
      const uint8_t fill = uint8_t(++changes);
      value.assign(value.size(), fill);
      ASSERT_EQ(process.Ask("rewritememo " + std::to_string(number) + " " + std::to_string(value.size()) + " " +
                            std::to_string(fill)),
                0u);
    }
    walkOnce("changed");
    walkOnce("changed, again");
  }
  ASSERT_EQ(process.Ask("closecursor"), 0u);
}

// A look-up's small window ends inside the values longer than it: values
// of every length around its edge (and one far past it), each after a
// value more than a walk's gap long, looked up from the last to the first
// so that no fill follows another, read whole, and read whole again.
TEST_F(BlobFieldTest, LookedUpValuesAroundALookUpsWindowReadWhole) {
  Create(64);
  const int32_t data = DataSize();
  const int32_t window = TBlobFile::LookupReadAheadBlocks;
  std::vector<int32_t> sizes{1, 40 * window * data};
  for (int32_t blocks = window - 1; blocks <= window + 1; ++blocks)
    for (int32_t extra : {-1, 0, 1}) sizes.push_back(blocks * data + extra);
  const int32_t gapBlocks = TBlobFile::LookupReadAheadBytes / 64 + 2;
  auto value = [&](int i) {
    return i % 2 == 0 ? Bytes(size_t(gapBlocks * data), i) : Bytes(size_t(sizes[size_t(i / 2)]), i);
  };
  const int count = 2 * int(sizes.size());
  PostValues(count, value);
  for (int pass = 0; pass < 2; ++pass) {
    Reopen();
    for (int i = count - 1; i >= 1; i -= 2) {
      std::vector<uint8_t> record = Stored(uint32_t(i + 1));
      EXPECT_EQ(ReadValue(record, fFirstMemo), value(i)) << sizes[size_t(i / 2)];
    }
  }
}

// A look-up's blocks stay in the cache from one statement to the next, yet
// no read ever gets older bytes than the file holds: after another user's
// rewrite in place (a session of its own, another process), a rollback, a
// drop of the cache, or a change of the reader's own not yet written, the
// changed value looked up again and a walk along every value after it read
// the bytes as they stand, and so do both once the change is written.
TEST_F(BlobFieldTest, ValuesReadAfterTheirLookedUpBlocksWereKeptAreNeverStale) {
  enum class TChange { OtherSession, OtherProcess, Rollback, DroppedCache, OwnUnwritten };
  Create(64);
  const int32_t data = DataSize();
  constexpr int Count = 60;
  const size_t size = size_t(3 * data);  // within a look-up's window
  std::vector<std::vector<uint8_t>> values;
  for (int i = 0; i < Count; ++i) values.push_back(Bytes(size, i));
  {
    // Inserted as a program would, keys and all: the other process opens
    // the table with its indexes.
    Close();
    std::unique_ptr<TTableCursor> writer = NewTableCursor(directory);
    writer->SetOpenOptions({.TableName = "MEMOS"});
    writer->Open();
    for (int i = 0; i < Count; ++i) {
      std::vector<uint8_t> record(writer->Fields().CursorRecordSize(), 0);
      writer->Fields().WriteField(fMemoId, record.data(), int32_t(i + 1));
      ASSERT_EQ(writer->Blobs().OpenBlob(fFirstMemo, record.data(), {.Release = true}), 0);
      ASSERT_EQ(writer->Blobs().WriteBlob(fFirstMemo, record.data(), TFieldNumbering::Cursor, values[size_t(i)], 0),
                0);
      writer->InsertRecord(record.data());
    }
    writer.reset();
    Open();
  }
  std::vector<uint32_t> firsts;
  for (uint32_t number = 1; number <= Count; ++number)
    firsts.push_back(uint32_t(Reference(Stored(number), fFirstMemo)));
  TDataSession* otherSession = nullptr;
  CreateEngineSession(otherSession);
  std::unique_ptr<TTableCursor> other = NewTableCursor(otherSession->OpenDirectory("", folder));
  other->SetOpenOptions({.TableName = "MEMOS"});
  other->Open();
  TableHelperProcess process;
  ASSERT_EQ(process.Ask("cursor " + folder + " MEMOS shared"), 0u);

  // A row read as a cursor operation reads it, inside the change check.
  auto lookUp = [&](uint32_t number) {
    table->LockChangeCheck();
    std::vector<uint8_t> record = Stored(number);
    table->UnlockChangeCheck();
    return record;
  };
  auto expectAll = [&](const char* stage) {
    for (uint32_t number = 1; number <= Count; ++number) {
      std::vector<uint8_t> record = lookUp(number);
      EXPECT_EQ(ReadValue(record, fFirstMemo), values[number - 1]) << stage << " " << number;
    }
  };
  const TChange changes[] = {TChange::OtherSession, TChange::OtherProcess, TChange::Rollback, TChange::DroppedCache,
                             TChange::OwnUnwritten};
  uint32_t changed = 5;
  for (const TChange change : changes) {
    SCOPED_TRACE(int(change));
    changed += 11;
    // Scattered look-ups, from the last back, each keeping its blocks.
    for (uint32_t number = Count; number >= 7; number -= 7) {
      std::vector<uint8_t> record = lookUp(number);
      ASSERT_EQ(ReadValue(record, fFirstMemo), values[number - 1]);
    }
    std::vector<uint8_t> record = lookUp(changed);
    ASSERT_EQ(ReadValue(record, fFirstMemo), values[changed - 1]);
    ASSERT_GT(BlobFile().CachedBlockCount(), 0);
    std::vector<uint8_t>& value = values[changed - 1];
    switch (change) {
      case TChange::OtherSession: {
        value = Bytes(size, 100 + int(changed));
        other->SetToBegin();
        std::vector<uint8_t> rewritten(other->Fields().CursorRecordSize(), 0);
        for (uint32_t n = 0; n < changed; ++n) ASSERT_EQ(other->GetNextRecord(rewritten.data()), 0);
        ASSERT_EQ(other->Blobs().OpenBlob(fFirstMemo, rewritten.data(), {.Release = true}), 0);
        ASSERT_EQ(other->Blobs().WriteBlob(fFirstMemo, rewritten.data(), TFieldNumbering::Cursor, value, 0), 0);
        other->ModifyRecord(rewritten.data());
        break;
      }
      case TChange::OtherProcess:
        value.assign(size, uint8_t(changed));
        ASSERT_EQ(process.Ask("rewritememo " + std::to_string(changed) + " " + std::to_string(size) + " " +
                              std::to_string(changed)),
                  0u);
        break;
      case TChange::Rollback: {
        directory->StartTransaction();
        WriteValue(record, fFirstMemo, Bytes(size, 200));
        Post(record);
        ASSERT_EQ(ReadValue(record, fFirstMemo), Bytes(size, 200));
        directory->Rollback();
        break;
      }
      case TChange::DroppedCache: {
        // The bytes on disk change with no change counted: only the drop
        // can make the next read see them.
        const uint32_t at = firsts[changed - 1] + uint32_t(64 + BlockHeaderSize);
        std::fstream file(PathOf("MEMOS.BLB"), std::ios::in | std::ios::out | std::ios::binary);
        const std::vector<uint8_t> patch = Bytes(size_t(data), 300);
        file.seekp(at);
        file.write(reinterpret_cast<const char*>(patch.data()), std::streamsize(patch.size()));
        file.close();
        std::copy(patch.begin(), patch.end(), value.begin() + data);
        BlobFile().DropCache();
        break;
      }
      case TChange::OwnUnwritten: {
        TBlock* block = nullptr;
        ASSERT_TRUE(BlobFile().GetBlock(nullptr, firsts[changed - 1] + 64, block, 1, false));
        const std::vector<uint8_t> patch = Bytes(size_t(data), 400);
        block->WriteData(0, data, patch.data());
        BlobFile().ReleaseBlock(block);
        std::copy(patch.begin(), patch.end(), value.begin() + data);
        break;
      }
    }
    record = lookUp(changed);
    EXPECT_EQ(ReadValue(record, fFirstMemo), value);
    expectAll("walked");
    table->LockWrite();
    table->WriteHeaders({.ForceData = true, .ForceIndex = true});
    table->UnlockWrite();
    expectAll("written");
  }
  ASSERT_EQ(process.Ask("closecursor"), 0u);
  other.reset();
  FreeEngineSession(otherSession);
}

TEST_F(BlobFieldTest, NewValuesAppendedWholeReadBackAndReuseFreedBlocksFirst) {
  Create(64);
  const int32_t data = DataSize();
  const std::vector<int32_t> sizes{1, data, data + 1, 100 * data + 3};
  std::vector<uint32_t> numbers;
  for (size_t i = 0; i < sizes.size(); ++i) {
    std::vector<uint8_t> record = NewRecord();
    WriteValue(record, fFirstMemo, Bytes(size_t(sizes[i]), int(i)));
    Post(record);
    numbers.push_back(GetRecordPhysicalNo(record.data()));
  }
  const int32_t blocks = 1 + 1 + 2 + 101;
  EXPECT_EQ(BlobFile().BlocksInFile(), blocks);
  Reopen();
  for (size_t i = 0; i < sizes.size(); ++i) {
    std::vector<uint8_t> stored = Stored(numbers[i]);
    EXPECT_EQ(ReadValue(stored, fFirstMemo), Bytes(size_t(sizes[i]), int(i)));
  }

  // Emptied: its two blocks go to the free list, and the next new value
  // takes them before the file grows.
  std::vector<uint8_t> record = Stored(numbers[2]);
  WriteValue(record, fFirstMemo, {});
  Post(record);
  EXPECT_EQ(FreeBlocks().size(), 2u);
  record = NewRecord();
  WriteValue(record, fFirstMemo, Bytes(size_t(3 * data), 9));
  Post(record);
  EXPECT_EQ(BlobFile().BlocksInFile(), blocks + 1);
  EXPECT_TRUE(FreeBlocks().empty());
  Reopen();
  EXPECT_EQ(ReadValue(record, fFirstMemo), Bytes(size_t(3 * data), 9));
}

// A chain is copied straight from the chain window while it runs on block
// by block; the window's end, wherever it falls in a chain, and a damaged
// block inside such a run are met as on any other way through the chain.
TEST_F(BlobFieldTest, LongChainsReadWholeAcrossTheWindowsEndsAndEveryBlockOfThemIsChecked) {
  Create(64);
  const int32_t data = DataSize();
  const uint32_t block = BlobFile().BlockSize();
  // Values of about 300 blocks: the window's read-ahead, however far it
  // has grown, ends inside some of them.
  auto value = [data](int i) { return Bytes(size_t(300 * data - i), i); };
  const std::vector<uint32_t> firsts = PostValues(40, value);
  Reopen();
  for (uint32_t number = 1; number <= 40; ++number) {
    std::vector<uint8_t> record = Stored(number);
    ASSERT_EQ(ReadValue(record, fFirstMemo), value(int(number) - 1)) << number;
  }

  // Deep inside a value: a block of another value, and one that holds
  // fewer bytes than the value needs of it.
  const uint32_t sequence = HeadSequence(firsts[7]);
  PatchBlobFile(firsts[6] + 150 * block + BlkSequence, 77);
  PatchBlobFile(firsts[7] + 150 * block + BlkBytesUsed, (sequence & 0xFFFF) << 16 | 3);
  for (uint32_t number = 1; number <= 40; ++number) {
    std::vector<uint8_t> record = Stored(number);
    if (number == 7 || number == 8) {
      EXPECT_EQ(RaisedCode([&] { blobs.OpenBlob(fFirstMemo, record.data(), {}); }),
                number == 7 ? EngErrRecordChanged : EngErrEndOfBlob);
      EXPECT_EQ(blobs.OpenBlobCount(), 0);
    } else {
      EXPECT_EQ(ReadValue(record, fFirstMemo), value(int(number) - 1)) << number;
    }
  }
}

// A value of many windows is read a window at a time: every window after
// the first starts inside the chain, and a damaged block in a later window
// is found as in the first.
TEST_F(BlobFieldTest, ValuesOfManyWindowsReadWholeAndEveryWindowsBlocksAreChecked) {
  Create(64);
  const int32_t data = DataSize();
  const uint32_t block = BlobFile().BlockSize();
  constexpr int32_t Blocks = 14000;  // more than three windows of a scan's read-ahead
  auto value = [data](int i) { return Bytes(size_t(Blocks * data - i), i); };
  const std::vector<uint32_t> firsts = PostValues(3, value);
  Reopen();
  for (uint32_t number = 1; number <= 3; ++number) {
    std::vector<uint8_t> record = Stored(number);
    ASSERT_EQ(ReadValue(record, fFirstMemo), value(int(number) - 1)) << number;
  }

  const uint32_t sequence = HeadSequence(firsts[2]);
  PatchBlobFile(firsts[1] + 13000 * block + BlkSequence, 77);
  PatchBlobFile(firsts[2] + 9000 * block + BlkBytesUsed, (sequence & 0xFFFF) << 16 | 3);
  for (uint32_t number = 1; number <= 3; ++number) {
    SCOPED_TRACE(number);
    std::vector<uint8_t> record = Stored(number);
    if (number == 1) {
      EXPECT_EQ(ReadValue(record, fFirstMemo), value(0));
    } else {
      EXPECT_EQ(RaisedCode([&] { blobs.OpenBlob(fFirstMemo, record.data(), {}); }),
                number == 2 ? EngErrRecordChanged : EngErrEndOfBlob);
      EXPECT_EQ(blobs.OpenBlobCount(), 0);
    }
  }
}

// Inside a run of consecutive blocks the window holds, each block's link is
// still followed wherever it leads: back to a block passed (a loop), or on
// past blocks the value does not name (which leaves it short), and a value
// that ends on a whole block in the middle of such a run takes no more.
TEST_F(BlobFieldTest, LinksInsideARunOfConsecutiveBlocksAreFollowedWhereverTheyLead) {
  Create(64);
  const int32_t data = DataSize();
  const uint32_t block = BlobFile().BlockSize();
  std::vector<uint32_t> firsts;
  std::vector<uint8_t> values[4];
  for (int i = 0; i < 4; ++i) {
    values[i] = Bytes(size_t((i == 2 ? 120 : 300) * data), i);
    std::vector<uint8_t> record = NewRecord();
    WriteValue(record, fFirstMemo, values[i]);
    Post(record);
    firsts.push_back(uint32_t(Reference(record, fFirstMemo)));
  }
  ASSERT_EQ(firsts[3], firsts[2] + 120 * block);
  // The first value's block 150 leads back to its first, the second's on
  // to its block 160; the third value's final block claims the block after
  // it, which is the next value's first.
  PatchBlobFile(firsts[0] + 150 * block + BlkNext, firsts[0]);
  PatchBlobFile(firsts[1] + 150 * block + BlkNext, firsts[1] + 160 * block);
  PatchBlobFile(firsts[2] + 119 * block + BlkNext, firsts[3]);
  for (uint32_t number = 1; number <= 4; ++number) {
    SCOPED_TRACE(number);
    std::vector<uint8_t> record = Stored(number);
    if (number <= 2) {
      EXPECT_EQ(RaisedCode([&] { blobs.OpenBlob(fFirstMemo, record.data(), {}); }),
                number == 1 ? EngErrBlocksCorrupt : EngErrEndOfBlob);
      EXPECT_EQ(blobs.OpenBlobCount(), 0);
    } else {
      EXPECT_EQ(ReadValue(record, fFirstMemo), values[number - 1]);
    }
  }
}

}  // namespace
