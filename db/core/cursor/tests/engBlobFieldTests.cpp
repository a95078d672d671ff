// Opening, reading, writing and truncating BLOB fields, and the values
// they store in the BLOB file.

#include <algorithm>
#include <climits>

#include "engBlobFieldTestSupport.h"
#include "engBlobLayout.h"
#include "engBlobTestSupport.h"
#include "engErrorCodes.h"
#include "engLittleEndian.h"

namespace {

TEST_F(BlobFieldTest, ValuesAroundBlockBoundariesComeBackFromDiskInTheBlocksTheyNeed) {
  Create();
  const int32_t data = DataSize();
  const std::vector<int32_t> sizes{0, 1, data - 1, data, data + 1, 3 * data, 1 << 20};
  std::vector<uint32_t> numbers;
  int32_t blocks = 0;
  for (size_t i = 0; i < sizes.size(); ++i) {
    std::vector<uint8_t> record = NewRecord();
    WriteValue(record, fFirstMemo, Bytes(size_t(sizes[i]), int(i)), sizes[i] > 100000 ? 65536 : 1000);
    EXPECT_EQ(Blank(record, fFirstMemo), sizes[i] == 0);
    Post(record);
    numbers.push_back(GetRecordPhysicalNo(record.data()));
    blocks += (sizes[i] + data - 1) / data;
  }
  Reopen();
  EXPECT_EQ(BlobFile().BlocksInFile(), blocks);
  for (size_t i = 0; i < sizes.size(); ++i) {
    SCOPED_TRACE(sizes[i]);
    std::vector<uint8_t> record = Stored(numbers[i]);
    EXPECT_EQ(Blank(record, fFirstMemo), sizes[i] == 0);
    EXPECT_EQ(Reference(record, fFirstMemo) == 0, sizes[i] == 0);
    EXPECT_EQ(ReadValue(record, fFirstMemo), Bytes(size_t(sizes[i]), int(i)));
  }
  EXPECT_EQ(blobs.OpenBlobCount(), 0);
}

// An open puts the handle in the field and a free puts the first block's
// offset back; the null byte under either says whether the value has
// bytes, and the sequence number after the reference stays.
TEST_F(BlobFieldTest, OpenAndFreeLeaveTheNullByteAsTheValueHasBytes) {
  Create();
  std::vector<uint8_t> full = NewRecord();
  WriteValue(full, fFirstMemo, Bytes(300, 1));
  Post(full);
  std::vector<uint8_t> empty = NewRecord();
  Post(empty);
  const uint8_t* desc = cursor.FieldDescAt(fFirstMemo);
  for (std::vector<uint8_t>* record : {&full, &empty}) {
    const bool hasBytes = record == &full;
    uint8_t* r = record->data();
    const int32_t stored = Reference(*record, fFirstMemo);
    const uint32_t sequence = GetLE32(FieldValueBytes(desc, r) + BlobFieldSequenceOffset);
    EXPECT_EQ(FieldNullByte(desc, r), hasBytes ? 1 : 0);
    ASSERT_EQ(blobs.OpenBlob(fFirstMemo, r, {}), 0);
    EXPECT_LT(Reference(*record, fFirstMemo), 0);
    EXPECT_EQ(FieldNullByte(desc, r), hasBytes ? 1 : 0);
    ASSERT_EQ(blobs.FreeBlob(fFirstMemo, r, TFieldNumbering::Cursor), 0);
    EXPECT_EQ(Reference(*record, fFirstMemo), stored);
    EXPECT_EQ(FieldNullByte(desc, r), hasBytes ? 1 : 0);
    EXPECT_EQ(GetLE32(FieldValueBytes(desc, r) + BlobFieldSequenceOffset), sequence);
  }
  // A value emptied while open is blank; freed, its stored chain speaks again.
  ASSERT_EQ(blobs.OpenBlob(fFirstMemo, full.data(), {}), 0);
  ASSERT_EQ(blobs.TruncateBlob(fFirstMemo, full.data(), TFieldNumbering::Cursor, 0), 0);
  EXPECT_TRUE(Blank(full, fFirstMemo));
  ASSERT_EQ(blobs.FreeBlob(fFirstMemo, full.data(), TFieldNumbering::Cursor), 0);
  EXPECT_FALSE(Blank(full, fFirstMemo));
}

TEST_F(BlobFieldTest, EveryBlobFieldOfARecordKeepsItsOwnValue) {
  Create(64);
  std::vector<uint8_t> record = NewRecord();
  for (int i = 0; i < MemoCount; ++i) WriteValue(record, fFirstMemo + i, Bytes(size_t(i * 37), i), 13);
  Post(record);
  Reopen();
  record = Stored(1);
  for (int i = 0; i < MemoCount; ++i) EXPECT_EQ(ReadValue(record, fFirstMemo + i), Bytes(size_t(i * 37), i)) << i;
}

TEST_F(BlobFieldTest, ReadsPastTheEndCopyWhatThereIsAndWritesGrowTheValue) {
  Create();
  std::vector<uint8_t> record = NewRecord();
  const std::vector<uint8_t> value = Bytes(100, 1);
  WriteValue(record, fFirstMemo, value);
  uint8_t* r = record.data();
  uint8_t out[10] = {};
  int32_t got = -1;
  EXPECT_EQ(blobs.ReadBlob(fFirstMemo, r, TFieldNumbering::Cursor, got, 10, out, 95), EngErrEndOfBlob);
  EXPECT_EQ(got, 5);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 5), std::vector<uint8_t>(value.begin() + 95, value.end()));
  EXPECT_EQ(blobs.ReadBlob(fFirstMemo, r, TFieldNumbering::Cursor, got, 10, out, 99), EngErrEndOfBlob);
  EXPECT_EQ(got, 1);
  EXPECT_EQ(blobs.ReadBlob(fFirstMemo, r, TFieldNumbering::Cursor, got, 10, out, 100), EngErrEndOfBlob);
  EXPECT_EQ(got, 0);
  EXPECT_EQ(blobs.ReadBlob(fFirstMemo, r, TFieldNumbering::Cursor, got, 5, out, 95), 0);
  EXPECT_EQ(got, 5);

  // A write past the end leaves zeros in the gap; truncating cuts, growing again pads with zeros.
  const uint8_t tail[2] = {7, 8};
  EXPECT_EQ(blobs.WriteBlob(fFirstMemo, r, TFieldNumbering::Cursor, 2, tail, 110), 0);
  int32_t size = 0;
  EXPECT_EQ(blobs.GetBlobSize(fFirstMemo, r, TFieldNumbering::Cursor, size), 0);
  EXPECT_EQ(size, 112);
  EXPECT_EQ(blobs.ReadBlob(fFirstMemo, r, TFieldNumbering::Cursor, got, 3, out, 109), 0);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 3), (std::vector<uint8_t>{0, 7, 8}));
  EXPECT_EQ(blobs.TruncateBlob(fFirstMemo, r, TFieldNumbering::Cursor, 110), 0);
  EXPECT_EQ(blobs.TruncateBlob(fFirstMemo, r, TFieldNumbering::Cursor, 112), 0);
  EXPECT_EQ(blobs.ReadBlob(fFirstMemo, r, TFieldNumbering::Cursor, got, 3, out, 109), 0);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 3), (std::vector<uint8_t>{0, 0, 0}));
}

TEST_F(BlobFieldTest, NegativeAndOverflowingOffsetsAndCountsAreRefusedAndChangeNothing) {
  Create();
  std::vector<uint8_t> record = NewRecord();
  WriteValue(record, fFirstMemo, Bytes(100, 1));
  Post(record);
  record = Stored(1);
  ASSERT_EQ(blobs.OpenBlob(fFirstMemo, record.data(), {}), 0);
  uint8_t* r = record.data();
  uint8_t bytes[16] = {};
  int32_t got = -1;
  const struct {
    int32_t offset, count, code;
  } spans[] = {{-1, 1, EngErrBlobOffset},      {INT_MIN, 0, EngErrBlobOffset},
               {0, -1, EngErrBlobLength},      {INT_MAX, 1, EngErrBlobLength},
               {1, INT_MAX, EngErrBlobLength}, {50, INT_MIN, EngErrBlobLength}};
  for (const auto& span : spans) {
    SCOPED_TRACE(testing::Message() << span.offset << " " << span.count);
    EXPECT_EQ(blobs.ReadBlob(fFirstMemo, r, TFieldNumbering::Cursor, got, span.count, bytes, span.offset), span.code);
    EXPECT_EQ(got, 0);
    EXPECT_EQ(blobs.WriteBlob(fFirstMemo, r, TFieldNumbering::Cursor, span.count, bytes, span.offset), span.code);
  }
  EXPECT_EQ(blobs.TruncateBlob(fFirstMemo, r, TFieldNumbering::Cursor, -1), EngErrBlobLength);
  EXPECT_EQ(blobs.TruncateBlob(fFirstMemo, r, TFieldNumbering::Cursor, INT_MIN), EngErrBlobLength);
  // Reading up to the last possible byte is a read past the end, not a refusal.
  EXPECT_EQ(blobs.ReadBlob(fFirstMemo, r, TFieldNumbering::Cursor, got, 0, bytes, INT_MAX), EngErrEndOfBlob);
  EXPECT_EQ(ReadValue(record, fFirstMemo), Bytes(100, 1));
}

TEST_F(BlobFieldTest, FreeingOneOfSeveralOpenBlobsClosesThatOneAndLeavesTheOthersTheirValues) {
  Create(64);
  std::vector<uint8_t> record = NewRecord();
  for (int i = 0; i < 3; ++i) WriteValue(record, fFirstMemo + i, Bytes(size_t(100 + i * 50), i));
  Post(record);
  Reopen();
  record = Stored(1);
  std::vector<int32_t> stored;
  for (int i = 0; i < 3; ++i) {
    stored.push_back(Reference(record, fFirstMemo + i));
    ASSERT_EQ(blobs.OpenBlob(fFirstMemo + i, record.data(), {}), 0);
  }
  // The middle one of the three goes; its field takes its chain back.
  ASSERT_EQ(blobs.FreeBlob(fFirstMemo + 1, record.data(), TFieldNumbering::Cursor), 0);
  EXPECT_EQ(blobs.OpenBlobCount(), 2);
  EXPECT_EQ(Reference(record, fFirstMemo + 1), stored[1]);
  EXPECT_EQ(blobs.FreeBlob(fFirstMemo + 1, record.data(), TFieldNumbering::Cursor), EngErrBlobHandle);
  for (int i : {0, 2}) {
    SCOPED_TRACE(i);
    const std::vector<uint8_t> expected = Bytes(size_t(100 + i * 50), i);
    std::vector<uint8_t> value(expected.size());
    int32_t got = 0;
    EXPECT_EQ(blobs.ReadBlob(fFirstMemo + i, record.data(), TFieldNumbering::Cursor, got, int32_t(value.size()),
                             value.data(), 0),
              0);
    EXPECT_EQ(value, expected);
  }
  ASSERT_EQ(blobs.FreeBlob(fFirstMemo + 2, record.data(), TFieldNumbering::Cursor), 0);
  ASSERT_EQ(blobs.FreeBlob(fFirstMemo, record.data(), TFieldNumbering::Cursor), 0);
  EXPECT_EQ(blobs.OpenBlobCount(), 0);
  EXPECT_EQ(ReadValue(record, fFirstMemo + 1), Bytes(150, 1));
}

TEST_F(BlobFieldTest, FieldsThatAreNoBlobOrHoldNoOpenBlobAreRefused) {
  Create();
  std::vector<uint8_t> record = NewRecord();
  // Every operation on an open BLOB, with what it hands back zeroed.
  const auto results = [&](int fieldNo, std::vector<uint8_t>& r) {
    uint8_t byte = 0;
    int32_t got = -1, size = -1;
    std::vector<int32_t> codes{blobs.ReadBlob(fieldNo, r.data(), TFieldNumbering::Table, got, 1, &byte, 0),
                               blobs.WriteBlob(fieldNo, r.data(), TFieldNumbering::Cursor, 1, &byte, 0),
                               blobs.TruncateBlob(fieldNo, r.data(), TFieldNumbering::Cursor, 0),
                               blobs.GetBlobSize(fieldNo, r.data(), TFieldNumbering::Cursor, size),
                               blobs.FreeBlob(fieldNo, r.data(), TFieldNumbering::Cursor)};
    EXPECT_EQ(got, 0);
    EXPECT_EQ(size, 0);
    return codes;
  };
  EXPECT_EQ(blobs.OpenBlob(fMemoId, record.data(), {}), EngErrBlobField);
  EXPECT_EQ(results(fMemoId, record), std::vector<int32_t>(5, EngErrBlobField));
  EXPECT_EQ(results(fFirstMemo, record), std::vector<int32_t>(5, EngErrBlobHandle));

  // A handle that outlived its BLOB names no other one opened later.
  ASSERT_EQ(blobs.OpenBlob(fFirstMemo, record.data(), {}), 0);
  std::vector<uint8_t> stale = record;
  ASSERT_EQ(blobs.FreeBlob(fFirstMemo, record.data(), TFieldNumbering::Cursor), 0);
  ASSERT_EQ(blobs.OpenBlob(fFirstMemo, record.data(), {}), 0);
  EXPECT_EQ(blobs.OpenBlob(fFirstMemo, stale.data(), {}), EngErrBlobOffset);
  EXPECT_EQ(results(fFirstMemo, stale), std::vector<int32_t>(5, EngErrBlobHandle));
  // Nor does a BLOB another cursor holds open, while each holds many.
  TBlobTestCursor other;
  other.Attach(*table);
  std::vector<std::vector<uint8_t>> mine, theirs;
  for (int i = 0; i < 40; ++i) {
    mine.push_back(NewRecord());
    theirs.push_back(NewRecord());
    ASSERT_EQ(blobs.OpenBlob(fFirstMemo, mine.back().data(), {}), 0);
    ASSERT_EQ(other.Blobs.OpenBlob(fFirstMemo, theirs.back().data(), {}), 0);
  }
  for (size_t i = 0; i < mine.size(); ++i) {
    EXPECT_EQ(blobs.OpenBlob(fFirstMemo, theirs[i].data(), {}), EngErrBlobOffset);
    EXPECT_EQ(other.Blobs.OpenBlob(fFirstMemo, mine[i].data(), {}), EngErrBlobOffset);
  }
  blobs.FreeOpenBlobs(true);
  other.Detach();
}

TEST_F(BlobFieldTest, OpeningTwiceKeepsOneBufferAndSixtyFourIsTheLimit) {
  Create();
  std::vector<uint8_t> once = NewRecord();
  ASSERT_EQ(blobs.OpenBlob(fFirstMemo, once.data(), {}), 0);
  ASSERT_EQ(blobs.OpenBlob(fFirstMemo, once.data(), {.Release = true}), 0);
  EXPECT_EQ(blobs.OpenBlobCount(), 1);
  // The second open's release flag holds.
  blobs.FreeOpenBlobs(false);
  EXPECT_EQ(blobs.OpenBlobCount(), 0);

  std::vector<std::vector<uint8_t>> records(MaxOpenBlobs / MemoCount + 1, NewRecord());
  for (int i = 0; i < MaxOpenBlobs; ++i) {
    uint8_t* r = records[size_t(i / MemoCount)].data();
    ASSERT_EQ(blobs.OpenBlob(fFirstMemo + i % MemoCount, r, {}), 0);
  }
  std::vector<uint8_t>& last = records.back();
  EXPECT_EQ(blobs.OpenBlob(fFirstMemo, last.data(), {}), EngErrTooManyBlobs);
  EXPECT_EQ(Reference(last, fFirstMemo), 0);
  ASSERT_EQ(blobs.FreeBlob(fFirstMemo, records[0].data(), TFieldNumbering::Cursor), 0);
  EXPECT_EQ(blobs.OpenBlob(fFirstMemo, last.data(), {}), 0);
  blobs.FreeOpenBlobs(true);
  EXPECT_EQ(blobs.OpenBlobCount(), 0);
}

TEST_F(BlobFieldTest, AFreedBlobsBufferServesTheNextOpenWithNothingOfItsValueLeft) {
  Create();
  std::vector<uint8_t> record = NewRecord();
  WriteValue(record, fFirstMemo, Bytes(300, 5));
  Post(record);
  const uint32_t first = GetRecordPhysicalNo(record.data());
  EXPECT_EQ(ReadValue(record, fFirstMemo), Bytes(300, 5));

  // A new value written past its start: the bytes before read as zeros,
  // not as what the freed value held there.
  std::vector<uint8_t> fresh = NewRecord();
  ASSERT_EQ(blobs.OpenBlob(fFirstMemo, fresh.data(), {.Release = true}), 0);
  const std::vector<uint8_t> tail = Bytes(10, 6);
  ASSERT_EQ(blobs.WriteBlob(fFirstMemo, fresh.data(), TFieldNumbering::Cursor, 10, tail.data(), 200), 0);
  std::vector<uint8_t> expected(210, 0);
  std::copy(tail.begin(), tail.end(), expected.begin() + 200);
  std::vector<uint8_t> value(210, 0xEE);
  int32_t got = 0;
  EXPECT_EQ(blobs.ReadBlob(fFirstMemo, fresh.data(), TFieldNumbering::Cursor, got, 210, value.data(), 0), 0);
  EXPECT_EQ(value, expected);
  // Shrunk and grown again: the bytes between come back as zeros too.
  ASSERT_EQ(blobs.TruncateBlob(fFirstMemo, fresh.data(), TFieldNumbering::Cursor, 195), 0);
  ASSERT_EQ(blobs.TruncateBlob(fFirstMemo, fresh.data(), TFieldNumbering::Cursor, 210), 0);
  std::fill(expected.begin() + 195, expected.end(), 0);
  EXPECT_EQ(blobs.ReadBlob(fFirstMemo, fresh.data(), TFieldNumbering::Cursor, got, 210, value.data(), 0), 0);
  EXPECT_EQ(value, expected);
  Post(fresh);

  // After the table was closed and opened again, values are read from the
  // open table's BLOB file.
  Reopen();
  std::vector<uint8_t> stored = Stored(first);
  EXPECT_EQ(ReadValue(stored, fFirstMemo), Bytes(300, 5));
  stored = Stored(GetRecordPhysicalNo(fresh.data()));
  EXPECT_EQ(ReadValue(stored, fFirstMemo), expected);
}

}  // namespace
