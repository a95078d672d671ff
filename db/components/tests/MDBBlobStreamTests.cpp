#include "MDBBlobStream.h"
#include "MDBTableTestSupport.h"
#include "MDBTb.h"
#include "dbConsts.h"
#include "dbFieldClasses.h"

namespace {

class BlobStreamTest : public TableTest {
protected:
  void SetUp() override {
    TableTest::SetUp();
    table = OpenPeople();
    ASSERT_TRUE(table->Locate("ID", Variant(1), TLocateOptions()));
    notes = table->FieldByName("NOTES");
    table->Edit();
    WriteAll(bmWrite, "Twelve bytes");
    table->Post();
  }
  void TearDown() override {
    table.reset();
    TableTest::TearDown();
  }

  void WriteAll(TBlobStreamMode mode, const std::string& text) {
    std::unique_ptr<TStream> stream = table->CreateBlobStream(notes, mode);
    EXPECT_EQ(stream->Write(text.data(), static_cast<int64_t>(text.size())), static_cast<int64_t>(text.size()));
  }
  std::string ReadAll() {
    std::unique_ptr<TStream> stream = table->CreateBlobStream(notes, bmRead);
    std::string text(static_cast<size_t>(stream->Size()), '\0');
    stream->ReadBuffer(text.data(), static_cast<int64_t>(text.size()));
    return text;
  }

  TObjectPtr<TMDBTable> table;
  TField* notes = nullptr;
};

TEST_F(BlobStreamTest, WrittenValuesArePostedAndReadBack) {
  EXPECT_EQ(ReadAll(), "Twelve bytes");
  EXPECT_EQ(notes->AsString(), "Twelve bytes");
  table->Close();
  table->Open();
  notes = table->FieldByName("NOTES");
  ASSERT_TRUE(table->Locate("ID", Variant(1), TLocateOptions()));
  EXPECT_EQ(ReadAll(), "Twelve bytes");
  EXPECT_TRUE(table->Lookup("ID", Variant(2), "NOTES").IsNull());
}

TEST_F(BlobStreamTest, ReadsPastTheEndGiveWhatThereIsAndSeeksFollowTheOrigin) {
  std::unique_ptr<TStream> stream = table->CreateBlobStream(notes, bmRead);
  EXPECT_EQ(stream->Seek(0, soFromEnd), 12);
  EXPECT_EQ(stream->Seek(-5, soFromEnd), 7);
  char buffer[64] = {};
  EXPECT_EQ(stream->Read(buffer, sizeof buffer), 5);
  EXPECT_EQ(std::string(buffer, 5), "bytes");
  EXPECT_EQ(stream->Position(), 12);
  EXPECT_EQ(stream->Read(buffer, sizeof buffer), 0);
  EXPECT_EQ(stream->Seek(-6, soFromCurrent), 6);
  EXPECT_EQ(stream->Read(buffer, 3), 3);
  EXPECT_EQ(std::string(buffer, 3), " by");
  EXPECT_EQ(stream->Seek(100, soFromBeginning), 100);
  EXPECT_EQ(stream->Read(buffer, 4), 0);
  // A position before the start reads nothing and stays where it is.
  EXPECT_EQ(stream->Seek(-3, soFromBeginning), -3);
  EXPECT_EQ(stream->Read(buffer, 4), 0);
  EXPECT_EQ(stream->Position(), -3);
}

TEST_F(BlobStreamTest, WriteModeStartsEmptyAndReadWriteEditsInPlace) {
  table->Edit();
  {
    std::unique_ptr<TStream> stream = table->CreateBlobStream(notes, bmWrite);
    EXPECT_EQ(stream->Size(), 0);
    EXPECT_EQ(stream->Write("new", 3), 3);
  }
  EXPECT_EQ(notes->AsString(), "new");
  {
    std::unique_ptr<TStream> stream = table->CreateBlobStream(notes, bmReadWrite);
    EXPECT_EQ(stream->Size(), 3);
    stream->Seek(0, soFromEnd);
    stream->Write(" value", 6);
    stream->Seek(4, soFromBeginning);
    static_cast<TMDBBlobStream&>(*stream).Truncate();
    EXPECT_EQ(stream->Size(), 4);
  }
  table->Post();
  EXPECT_EQ(ReadAll(), "new ");
  table->Edit();
  WriteAll(bmReadWrite, "N");
  table->Cancel();
  EXPECT_EQ(ReadAll(), "new ");
}

TEST_F(BlobStreamTest, WritingNeedsAnEditableFieldAndRecord) {
  ExpectMessage<EDatabaseError>([&] { table->CreateBlobStream(notes, bmWrite); }, SNotEditing);
  ExpectMessage<EDatabaseError>([&] { table->CreateBlobStream(notes, bmReadWrite); }, SNotEditing);
  table->Edit();
  notes->SetReadOnly(true);
  ExpectMessage<EDatabaseError>([&] { table->CreateBlobStream(notes, bmWrite); }, Format(SFieldReadOnly, {"NOTES"}));
  EXPECT_EQ(ReadAll(), "Twelve bytes");
  table->Cancel();
  notes->SetReadOnly(false);
  table->SetFilterText("ID = 99");
  table->SetFiltered(true);
  ASSERT_TRUE(table->IsEmpty());
  std::unique_ptr<TStream> stream = table->CreateBlobStream(notes, bmRead);
  char buffer[4];
  EXPECT_EQ(stream->Read(buffer, 4), 0);
  EXPECT_EQ(stream->Size(), 0);
}

TEST_F(BlobStreamTest, AFailedWriteRaisesAndPostKeepsTheStoredValue) {
  table->Edit();
  {
    std::unique_ptr<TStream> stream = table->CreateBlobStream(notes, bmReadWrite);
    EXPECT_EQ(stream->Write("partial", 7), 7);
    stream->Seek(-1, soFromBeginning);
    EXPECT_THROW(stream->Write("x", 1), EMDBEngineError);
    // The stream is spent: nothing more reaches the record.
    EXPECT_EQ(stream->Write("more", 4), 0);
  }
  table->Post();
  EXPECT_EQ(ReadAll(), "Twelve bytes");
  table->Edit();
  {
    std::unique_ptr<TStream> stream = table->CreateBlobStream(notes, bmReadWrite);
    stream->Seek(-1, soFromBeginning);
    EXPECT_THROW(static_cast<TMDBBlobStream&>(*stream).Truncate(), EMDBEngineError);
  }
  table->Post();
  EXPECT_EQ(ReadAll(), "Twelve bytes");
}

}  // namespace
