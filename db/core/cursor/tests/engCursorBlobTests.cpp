// BLOB values written, changed and freed through the cursor's own record
// changes, and read back through a cursor that opened the table afresh.

#include <fstream>

#include "engBlobFile.h"
#include "engCursorWriteTestSupport.h"
#include "engErrorCodes.h"

namespace {

enum : int { fId = 1, fNotes = 2 };

// Text of n bytes that differs with seed, so a stale block shows.
std::vector<uint8_t> Text(size_t n, int seed) {
  std::vector<uint8_t> text(n);
  for (size_t i = 0; i < n; ++i) text[i] = uint8_t('a' + (i * 7 + size_t(seed)) % 26);
  return text;
}

class CursorBlobTest : public CursorWriteTest {
protected:
  TDataCursor* cursor = nullptr;

  void SetUp() override {
    CursorWriteTest::SetUp();
    Create("NOTES", {{"ID", IntType}, {"NOTES", BlobFieldType}}, {{"", {1}}});
    cursor = &OpenCursor("NOTES");
  }

  TBlobFile& Blobs() { return cursor->Table()->BlobFile(); }
  void Reopen() {
    cursor->Close(TTemporaryContents::Keep);
    cursor = &OpenCursor("NOTES");
  }

  // Opens the record's value for release and replaces it with text.
  void PutText(uint8_t* record, const std::vector<uint8_t>& text) {
    ASSERT_EQ(cursor->Blobs().OpenBlob(fNotes, record, {.Release = true}), 0);
    ASSERT_EQ(cursor->Blobs().TruncateBlob(fNotes, record, TFieldNumbering::Cursor, 0), 0);
    ASSERT_EQ(cursor->Blobs().WriteBlob(fNotes, record, TFieldNumbering::Cursor,
                                        {reinterpret_cast<const uint8_t*>(text.data()), text.size()}, 0),
              0);
  }
  void InsertText(int32_t id, const std::vector<uint8_t>& text) {
    std::vector<uint8_t> record = Record(*cursor, {&id});
    PutText(record.data(), text);
    cursor->InsertRecord(record.data());
  }
  void ModifyText(int32_t id, const std::vector<uint8_t>& text) {
    ASSERT_TRUE(Find(*cursor, id));
    std::vector<uint8_t> record = Current(*cursor);
    PutText(record.data(), text);
    cursor->ModifyRecord(record.data());
  }
  std::vector<uint8_t> ReadText(int32_t id) {
    EXPECT_TRUE(Find(*cursor, id));
    std::vector<uint8_t> record = Current(*cursor);
    EXPECT_EQ(cursor->Blobs().OpenBlob(fNotes, record.data(), {}), 0);
    int32_t size = -1;
    EXPECT_EQ(cursor->Blobs().GetBlobSize(fNotes, record.data(), TFieldNumbering::Cursor, size), 0);
    std::vector<uint8_t> text(size_t(std::max(size, 0)));
    int32_t got = 0;
    EXPECT_EQ(cursor->Blobs().ReadBlob(fNotes, record.data(), TFieldNumbering::Cursor, got,
                                       {reinterpret_cast<uint8_t*>(text.data()), size_t(size)}, 0),
              0);
    EXPECT_EQ(got, size);
    EXPECT_EQ(cursor->Blobs().FreeBlob(fNotes, record.data(), TFieldNumbering::Cursor), 0);
    return text;
  }
  // The stored first-block offset of the current record.
  uint32_t FirstBlock(int32_t id) {
    EXPECT_TRUE(Find(*cursor, id));
    uint8_t desc[FieldDescSize];
    cursor->GetTableFieldDesc(fNotes, desc);
    return GetLE32(FieldValueBytes(desc, cursor->GetCurrentRecordBuffer()));
  }
};

TEST_F(CursorBlobTest, InsertedValueIsReadBackAfterReopenAndReleasedBlobsClose) {
  const std::vector<uint8_t> text = Text(4000, 1);
  InsertText(7, text);
  EXPECT_EQ(cursor->OpenBlobCount(), 0);
  EXPECT_NE(FirstBlock(7), 0u);
  Reopen();
  EXPECT_EQ(ReadText(7), text);
  EXPECT_EQ(cursor->OpenBlobCount(), 0);
}

TEST_F(CursorBlobTest, OpenValueSizeDecidesBlankAndCloseDiscardsUnpostedChanges) {
  int32_t id = 1;
  std::vector<uint8_t> record = Record(*cursor, {&id});
  ASSERT_EQ(cursor->Blobs().OpenBlob(fNotes, record.data(), {.Release = true}), 0);
  bool blank = false;
  cursor->GetTableField(fNotes, record.data(), blank, nullptr);
  EXPECT_TRUE(blank);
  ASSERT_EQ(cursor->Blobs().WriteBlob(fNotes, record.data(), TFieldNumbering::Cursor,
                                      {reinterpret_cast<const uint8_t*>("abc"), size_t(3)}, 0),
            0);
  cursor->GetTableField(fNotes, record.data(), blank, nullptr);
  EXPECT_FALSE(blank);
  cursor->InsertRecord(record.data());

  ASSERT_TRUE(Find(*cursor, 1));
  std::vector<uint8_t> changed = Current(*cursor);
  PutText(changed.data(), Text(900, 2));
  Reopen();
  EXPECT_EQ(ReadText(1), std::vector<uint8_t>({'a', 'b', 'c'}));
}

TEST_F(CursorBlobTest, ModifiedValueShrinksInPlaceAndGrowsIntoFreedBlocks) {
  InsertText(1, Text(3000, 1));
  const uint32_t first = FirstBlock(1);
  const uint32_t end = Blobs().EndOffset();

  const std::vector<uint8_t> shorter = Text(600, 2);
  ModifyText(1, shorter);
  EXPECT_EQ(FirstBlock(1), first);
  EXPECT_NE(Blobs().FirstFree(), 0u);
  Reopen();
  EXPECT_EQ(ReadText(1), shorter);

  // The freed blocks are taken before the file grows.
  const std::vector<uint8_t> longer = Text(3000, 3);
  ModifyText(1, longer);
  EXPECT_EQ(Blobs().EndOffset(), end);
  Reopen();
  EXPECT_EQ(ReadText(1), longer);
  EXPECT_EQ(FirstBlock(1), first);
}

TEST_F(CursorBlobTest, DeletedRecordFreesItsChainForTheNextAppend) {
  InsertText(1, Text(3000, 1));
  InsertText(2, {});
  const uint32_t end = Blobs().EndOffset();
  ASSERT_EQ(Blobs().FirstFree(), 0u);

  ASSERT_TRUE(Find(*cursor, 1));
  cursor->DeleteRecord(Current(*cursor).data());
  EXPECT_NE(Blobs().FirstFree(), 0u);
  ASSERT_TRUE(Find(*cursor, 2));
  cursor->DeleteRecord(Current(*cursor).data());
  EXPECT_EQ(cursor->OpenBlobCount(), 0);

  // As many blocks as the first value had.
  const std::vector<uint8_t> text = Text(3000, 4);
  InsertText(3, text);
  EXPECT_EQ(Blobs().EndOffset(), end);
  EXPECT_EQ(Blobs().FirstFree(), 0u);
  Reopen();
  EXPECT_EQ(ReadText(3), text);
  EXPECT_EQ(cursor->GetRecordCount(), 1);
}

// A value's open and free put its reference into the record like any
// write: a cursor that computes fields computes them again, over a value
// forced into the computed field.
TEST_F(CursorBlobTest, OpeningAndFreeingAValueRecomputesTheCursorsComputedFields) {
  InsertText(21, Text(100, 1));
  // DOUBLE = ID * 2, a field of the cursor alone.
  TExpTreePtr product = DoubledIdExpression();
  std::vector<TFieldDefinition> map = Definitions({{"ID", IntType}, {"NOTES", BlobFieldType}, {"DOUBLE", IntType}});
  MakeComputedField(map, 2, product.get());
  cursor->SetNoFilterUpdate(true);
  cursor->SetFieldMap(map, true);
  ASSERT_TRUE(Find(*cursor, 21));
  std::vector<uint8_t> record = Current(*cursor);
  auto doubled = [&] {
    int32_t value = 0;
    bool blank = true;
    cursor->GetField(3, record.data(), blank, &value);
    return value;
  };
  EXPECT_EQ(doubled(), 42);
  const int32_t forced = 5;
  cursor->PutField(3, record.data(), true, &forced);
  ASSERT_EQ(doubled(), 5);
  ASSERT_EQ(cursor->Blobs().OpenBlob(fNotes, record.data(), {}), 0);
  EXPECT_EQ(doubled(), 42);
  cursor->PutField(3, record.data(), true, &forced);
  ASSERT_EQ(cursor->Blobs().FreeBlob(fNotes, record.data(), TFieldNumbering::Cursor), 0);
  EXPECT_EQ(doubled(), 42);
  EXPECT_EQ(cursor->OpenBlobCount(), 0);
}

// A walk opens a value per record: an open that fails on a damaged chain
// must still end its operation, or every later operation of the cursor
// would pass as nested in it and skip its check for others' changes.
TEST_F(CursorBlobTest, AnOpenThatFailsEndsItsOperationSoTheNextOneSeesAnotherUsersChange) {
  InsertText(1, Text(3000, 1));
  InsertText(2, Text(700, 2));
  const uint32_t first = FirstBlock(1);
  cursor->Close(TTemporaryContents::Keep);
  {
    std::fstream file(folder + "/NOTES.BLB", std::ios::in | std::ios::out | std::ios::binary);
    uint8_t sequence[4];
    PutLE32(sequence, 77);
    file.seekp(std::streamoff(first + BlkSequence));
    file.write(reinterpret_cast<const char*>(sequence), 4);
  }
  cursor = &OpenCursor("NOTES");
  session->StrictChangeDetection = true;
  for (int attempt = 0; attempt < 2; ++attempt) {
    SCOPED_TRACE(attempt);
    ASSERT_TRUE(Find(*cursor, 1));
    std::vector<uint8_t> record = Current(*cursor);
    EXPECT_EQ(RaisedCode([&] { cursor->Blobs().OpenBlob(fNotes, record.data(), {}); }),
              EngErrRecordChanged);
    EXPECT_EQ(cursor->OpenBlobCount(), 0);
    EXPECT_FALSE(cursor->Table()->HoldsChangeCheckLock());
  }

  // A second session has a table object of its own, as another process would.
  TDataSession* otherSession = nullptr;
  CreateEngineSession(otherSession);
  TCursorPtr writer(new TDataCursor(otherSession->OpenDirectory("", folder)));
  writer->SetOpenOptions({.TableName = "NOTES"});
  writer->Open();
  int32_t id = 3;
  std::vector<uint8_t> theirs = Record(*writer, {&id});
  const std::vector<uint8_t> text = Text(500, 3);
  ASSERT_EQ(writer->Blobs().OpenBlob(fNotes, theirs.data(), {.Release = true}), 0);
  ASSERT_EQ(writer->Blobs().WriteBlob(fNotes, theirs.data(), TFieldNumbering::Cursor,
                                      {reinterpret_cast<const uint8_t*>(text.data()), text.size()}, 0),
            0);
  writer->InsertRecord(theirs.data());
  writer.reset();
  FreeEngineSession(otherSession);

  cursor->SetToBegin();
  EXPECT_EQ(cursor->GetRecordCount(), 3);
  EXPECT_EQ(ReadText(3), text);
  EXPECT_EQ(ReadText(2), Text(700, 2));
  EXPECT_EQ(cursor->OpenBlobCount(), 0);
}

}  // namespace
