// Behaviour shared by disk and memory files.

#include <algorithm>

#include "engFileTestSupport.h"

namespace {

class FileKindTest : public FileLayerTest, public ::testing::WithParamInterface<bool> {
protected:
  bool InMemory() const { return GetParam(); }
  std::unique_ptr<TFileHandler> Handler(const std::string& name, bool exclusive = false) {
    return FileLayerTest::Handler(name, FileKindOf(InMemory()), exclusive);
  }
};

TEST_P(FileKindTest, EndOfFileIsSetByWritingNothingAndGapsReadAsZero) {
  auto file = Handler("T.DAT");
  file->CreateFile();
  std::vector<char> bytes = Pattern(100, 1);
  file->Write(bytes.data(), 100);
  file->Seek(10, soFromBeginning);
  file->Write(nullptr, 0);
  EXPECT_EQ(file->FileSize(), 10);
  EXPECT_EQ(file->Seek(0, soFromCurrent), 10);
  EXPECT_EQ(file->Seek(4, soFromEnd), 6);

  file->Seek(50, soFromBeginning);
  file->Write("abcd", 4);
  std::vector<char> content = ReadAll(*file);
  ASSERT_EQ(content.size(), 54u);
  EXPECT_EQ(std::vector<char>(content.begin(), content.begin() + 10), std::vector<char>(bytes.begin(), bytes.begin() + 10));
  EXPECT_EQ(std::vector<char>(content.begin() + 10, content.begin() + 50), std::vector<char>(40, 0));

  file->Seek(70, soFromBeginning);
  file->Write(nullptr, 0);
  EXPECT_EQ(ReadAll(*file), [&] { content.resize(70); return content; }());

  // Shrunk below the bytes written before: a write across the end, one
  // past it and one far past it leave only the written bytes, and zeros
  // between them.
  file->Seek(20, soFromBeginning);
  file->Write(nullptr, 0);
  file->Seek(18, soFromBeginning);
  file->Write("xyz", 3);
  file->Seek(56, soFromBeginning);
  file->Write("pq", 2);
  file->Seek(70000, soFromBeginning);
  file->Write("end", 3);
  std::vector<char> expected(bytes.begin(), bytes.begin() + 10);
  expected.resize(70003, 0);
  std::copy_n("xyz", 3, expected.begin() + 18);
  std::copy_n("pq", 2, expected.begin() + 56);
  std::copy_n("end", 3, expected.begin() + 70000);
  EXPECT_EQ(ReadAll(*file), expected);
}

TEST_P(FileKindTest, ShortReadRaisesUnlessAllowed) {
  auto file = Handler("SHORT.DAT");
  file->CreateFile();
  file->Write("12345", 5);
  file->Seek(2, soFromBeginning);
  char buffer[10];
  EXPECT_EQ(file->Read(buffer, 10, true), 3);
  file->Seek(2, soFromBeginning);
  try {
    file->Read(buffer, 10, false);
    FAIL() << "a short read must raise";
  } catch (const EEngineError& error) {
    EXPECT_EQ(error.ErrorCode, 9217);
    EXPECT_EQ(error.Message, "Error reading from table '" + file->FileName + "'");
  }
}

TEST_P(FileKindTest, LockRangesRefuseOverlapAndUnlockOnlyAnExactRange) {
  auto first = Handler("LOCKS.DAT");
  first->CreateFile();
  first->Close();
  first->Open();
  auto second = Handler("LOCKS.DAT");
  second->Open();
  EXPECT_TRUE(first->LockRange(100, 10, true));
  EXPECT_FALSE(second->LockRange(105, 1, true));
  EXPECT_FALSE(second->LockRange(95, 6, true));
  EXPECT_TRUE(second->LockRange(110, 1, true));
  EXPECT_TRUE(second->LockRange(0x7FFF0000, 65535, true));
  EXPECT_FALSE(first->LockRange(100, 5, false));
  EXPECT_TRUE(first->LockRange(100, 10, false));
  EXPECT_FALSE(first->LockRange(100, 10, false));
  EXPECT_TRUE(second->LockRange(105, 1, true));
}

// Adjacent record bytes go in one step; a span that leaves a gap, reaches
// past a held range or holds nothing releases nothing.
TEST_P(FileKindTest, RunUnlockReleasesExactlyTheAdjacentRangesItCovers) {
  auto first = Handler("RUNS.DAT");
  first->CreateFile();
  first->Close();
  first->Open();
  auto second = Handler("RUNS.DAT");
  second->Open();
  constexpr int32_t Top = 0x7FFFFFFE;
  for (int32_t record : {1, 2, 3, 4, 6}) ASSERT_TRUE(first->LockRange(Top - record, 1, true));
  ASSERT_TRUE(first->LockRange(100, 2, true));

  EXPECT_FALSE(first->UnlockRun(Top - 6, 6));   // record 5 is not held
  EXPECT_FALSE(first->UnlockRun(Top - 5, 5));   // nor here, at the edge
  EXPECT_FALSE(first->UnlockRun(101, 5));       // cuts the range at 100
  EXPECT_FALSE(first->UnlockRun(Top - 4, 0));
  EXPECT_FALSE(first->UnlockRun(200, 10));
  EXPECT_FALSE(second->LockRange(Top - 1, 1, true));
  EXPECT_FALSE(second->LockRange(101, 1, true));

  EXPECT_TRUE(second->UnlockRun(Top - 4, 4));  // any opener of the file may
  EXPECT_FALSE(first->LockRange(Top - 1, 1, false));
  EXPECT_FALSE(first->UnlockRun(Top - 4, 4));
  for (int32_t record : {1, 2, 3, 4}) EXPECT_TRUE(second->LockRange(Top - record, 1, true));
  EXPECT_FALSE(second->LockRange(Top - 6, 1, true));
  EXPECT_TRUE(first->UnlockRun(Top - 6, 1));
  EXPECT_TRUE(first->UnlockRun(100, 2));
  EXPECT_TRUE(second->LockRange(100, 7, true));
}

TEST_P(FileKindTest, RenameAndDeleteRefuseAnOpenFile) {
  auto file = Handler("OLD.DAT");
  file->CreateFile();
  file->Write("x", 1);
  auto other = Handler("OLD.DAT");
  EXPECT_EQ(RaisedCode([&] { other->RenameFile(folder + "/NEW.DAT"); }), 11013);
  EXPECT_EQ(RaisedCode([&] { other->DeleteFile(); }), 11013);
  file->Close();

  const std::string newName = InMemory() ? "NEW.DAT" : folder + "/NEW.DAT";
  file->RenameFile(newName);
  EXPECT_EQ(file->FileName, newName);
  EXPECT_FALSE(other->Exists());
  EXPECT_TRUE(file->Exists());
  file->DeleteFile();
  EXPECT_FALSE(file->Exists());
  EXPECT_EQ(RaisedCode([&] { file->Open(); }), 11010);
  EXPECT_FALSE(file->IsOpen());
}

TEST_P(FileKindTest, CopiesMoveFilesLargerThanOneChunk) {
  auto source = Handler("SOURCE.DAT");
  source->CreateFile();
  std::vector<char> bytes = Pattern(200000, 3);
  source->Write(bytes.data(), int32_t(bytes.size()));
  const std::string copyName = InMemory() ? "COPY.DAT" : folder + "/COPY.DAT";
  source->CopyFile(copyName);
  EXPECT_EQ(RaisedCode([&] { source->CopyFile(copyName); }), 0) << "a closed copy is replaced";

  auto copy = Handler("COPY.DAT");
  copy->Open();
  EXPECT_EQ(ReadAll(*copy), bytes);

  std::vector<char> shorter = Pattern(131070, 5);
  copy->Seek(0, soFromBeginning);
  copy->Write(shorter.data(), int32_t(shorter.size()));
  copy->Write(nullptr, 0);
  copy->Close();
  source->Seek(1234, soFromBeginning);
  source->CopyFromFile(copyName);
  EXPECT_EQ(ReadAll(*source), shorter);
}

TEST_P(FileKindTest, ContentOutlivesTheHandlerUnlessTemporary) {
  auto kept = Handler("KEPT.DAT");
  kept->CreateFile();
  kept->Write("keep", 4);
  kept->Close();
  kept->Open();
  EXPECT_EQ(ReadAll(*kept), std::vector<char>({'k', 'e', 'e', 'p'}));

  auto work = Handler("WORK.TMP");
  work->CreateFile();
  work->Close();
  work->Temporary = true;
  work->Open();
  auto second = Handler("WORK.TMP");
  second->Open();
  work->Close();
  EXPECT_TRUE(second->Exists());
  second->Close();
  EXPECT_FALSE(second->Exists());
}

TEST_P(FileKindTest, ContentWrittenPieceByPieceKeepsEveryByteAsTheFileGrows) {
  auto file = Handler("GROWN.DAT");
  file->CreateFile();
  std::vector<char> expected;
  for (int piece = 0; piece < 200; ++piece) {
    const std::vector<char> bytes = Pattern(1500, piece);
    file->Write(bytes.data(), int32_t(bytes.size()));
    expected.insert(expected.end(), bytes.begin(), bytes.end());
  }
  EXPECT_EQ(ReadAll(*file), expected);
}

TEST_P(FileKindTest, ClosingOneOfSeveralOpenersLeavesTheOthersWorking) {
  auto writer = Handler("OPENERS.DAT");
  writer->CreateFile();
  writer->Write("0123456789", 10);
  writer->Close();
  writer->Open();
  auto middle = Handler("OPENERS.DAT");
  middle->Open();
  auto last = Handler("OPENERS.DAT");
  last->Open();
  middle->Close();
  {
    TFileSection section(*writer);
    writer->Seek(0, soFromEnd);
    writer->Write("ab", 2);
  }
  EXPECT_EQ(ReadAll(*last), std::vector<char>({'0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'a', 'b'}));
  last->Close();
  EXPECT_EQ(ReadAll(*writer).size(), 12u);
}

// A commit syncs a table's files side by side: each keeps exactly what was
// written to it, a closed one is passed over, and the list may be empty.
TEST_P(FileKindTest, FilesFlushedTogetherKeepTheirOwnBytes) {
  std::vector<std::unique_ptr<TFileHandler>> files;
  std::vector<TFileHandler*> list;
  for (int n = 0; n < 3; ++n) {
    files.push_back(Handler("SYNC" + std::to_string(n) + ".DAT"));
    files.back()->CreateFile();
    const std::vector<char> bytes = Pattern(20000 + n * 4096, n);
    files.back()->Write(bytes.data(), int32_t(bytes.size()));
    list.push_back(files.back().get());
  }
  auto closed = Handler("NEVER.DAT");
  list.push_back(closed.get());
  EXPECT_EQ(RaisedCode([&] { TFileHandler::FlushTogether(list); }), 0);
  EXPECT_EQ(RaisedCode([&] { TFileHandler::FlushTogether({}); }), 0);
  for (int n = 0; n < 3; ++n) EXPECT_EQ(ReadAll(*files[size_t(n)]), Pattern(20000 + n * 4096, n));
}

INSTANTIATE_TEST_SUITE_P(DiskAndMemory, FileKindTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Memory" : "Disk"; });

}  // namespace
