// Sharing between the tables of one process, and what only disk files do.

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <latch>
#include <thread>

#include "engFileList.h"
#include "engFileTestSupport.h"

namespace {

// Descriptors of this process open on path.
int DescriptorsOn(const std::string& path) {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    if (std::filesystem::read_symlink(entry.path(), error) == path) ++count;
  }
  return count;
}

void WriteDiskFile(const std::string& path, const std::string& content) { std::ofstream(path) << content; }

using FileSharingTest = FileLayerTest;

TEST_F(FileSharingTest, ExclusiveAndSharedOpenersExcludeEachOther) {
  for (bool inMemory : {false, true}) {
    SCOPED_TRACE(inMemory ? "memory" : "disk");
    auto creator = Handler("SHARE.DAT", FileKindOf(inMemory));
    creator->CreateFile();
    auto shared = Handler("share.dat", FileKindOf(inMemory));
    shared->FileName = " " + shared->FileName + " ";
    EXPECT_EQ(RaisedCode([&] { shared->Open(); }), 11013) << "the creator holds the file exclusively";
    creator->Close();

    auto exclusive = Handler("SHARE.DAT", FileKindOf(inMemory), true);
    exclusive->Open();
    EXPECT_EQ(RaisedCode([&] { shared->Open(); }), 11013);
    exclusive->Close();

    shared->Open();
    auto second = Handler("Share.Dat", FileKindOf(inMemory));
    second->Open();
    EXPECT_EQ(RaisedCode([&] { exclusive->Open(); }), 11013);
    EXPECT_FALSE(exclusive->IsOpen());
    if (!inMemory) {
      EXPECT_EQ(DescriptorsOn(folder + "/SHARE.DAT"), 1);
    }
  }
}

TEST_F(FileSharingTest, MemoryAndDiskFilesOfOneNameAreSeparate) {
  const std::string name = folder + "/BOTH.DAT";
  auto memory = Handler(name, TFileKind::Memory);
  memory->CreateFile();
  memory->Write("memory", 6);
  auto disk = Handler("BOTH.DAT", TFileKind::Disk);
  EXPECT_FALSE(disk->Exists());
  disk->CreateFile();
  disk->Write("disk", 4);
  EXPECT_EQ(ReadAll(*memory), std::vector<char>({'m', 'e', 'm', 'o', 'r', 'y'}));
  EXPECT_EQ(ReadAll(*disk), std::vector<char>({'d', 'i', 's', 'k'}));
  memory->Close();
  memory->DeleteFile();
  EXPECT_TRUE(disk->Exists());
}

TEST_F(FileSharingTest, ReadOnlyDiskFileOpensForReading) {
  WriteDiskFile(folder + "/RO.DAT", "data");
  chmod((folder + "/RO.DAT").c_str(), 0444);
  auto file = Handler("RO.DAT", TFileKind::Disk);
  file->Open();
  EXPECT_TRUE(file->OpenedReadOnly());
  char buffer[4];
  EXPECT_EQ(file->Read(buffer, 4, false), 4);
  EXPECT_EQ(RaisedCode([&] { file->Write("x", 1); }), 9218);
  EXPECT_EQ(RaisedCode([&] { file->Write(nullptr, 0); }), 9218);
}

TEST_F(FileSharingTest, DiskNamesAreFoundIgnoringCase) {
  WriteDiskFile(folder + "/orders.dat", "abc");
  auto file = Handler("ORDERS.DAT", TFileKind::Disk);
  EXPECT_TRUE(file->Exists());
  file->Open();
  EXPECT_EQ(file->FileSize(), 3);
  file->Close();
  file->RenameFile(folder + "/CUSTOMERS.DAT");
  EXPECT_TRUE(std::filesystem::exists(folder + "/CUSTOMERS.DAT"));
  EXPECT_FALSE(std::filesystem::exists(folder + "/orders.dat"));
}

TEST_F(FileSharingTest, ClosedDiskFileIsLookedUpOnDiskAgain) {
  auto file = Handler("GONE.DAT", TFileKind::Disk);
  file->CreateFile();
  file->Close();
  EXPECT_TRUE(file->Exists());
  std::filesystem::remove(file->FileName);
  EXPECT_FALSE(file->Exists());
  EXPECT_EQ(RaisedCode([&] { file->Open(); }), 11010);
}

TEST_F(FileSharingTest, TemporaryDiskFileLeavesTheDiskWithItsLastHandle) {
  auto file = Handler("SORT.TMP", TFileKind::Disk);
  file->CreateFile();
  file->Close();
  file->Temporary = true;
  file->Open();
  EXPECT_TRUE(std::filesystem::exists(file->FileName));
  file->Close();
  EXPECT_FALSE(std::filesystem::exists(file->FileName));
}

TEST_F(FileSharingTest, MemoryFileIsNotRenamedOntoAnother) {
  auto first = Handler("A.DAT", TFileKind::Memory);
  first->CreateFile();
  first->Close();
  auto second = Handler("B.DAT", TFileKind::Memory);
  second->CreateFile();
  second->Write("b", 1);
  second->Close();
  EXPECT_NE(RaisedCode([&] { first->RenameFile("b.dat"); }), 0);
  second->Open();
  EXPECT_EQ(second->FileSize(), 1);
}

TEST_F(FileSharingTest, UniqueMemoryNamesSkipListedFiles) {
  const std::string taken = GetUniqueFileName("MEMORY", ".TMP", true);
  auto file = Handler(taken, TFileKind::Memory);
  file->CreateFile();
  EXPECT_NE(GetUniqueFileName("MEMORY", ".TMP", true), taken);
}

// The disk position is one per process: a seek and its write stay together.
TEST_F(FileSharingTest, ThreadsSeekAndWriteInsideTheFileSection) {
  auto creator = Handler("THREADS.DAT", TFileKind::Disk);
  creator->CreateFile();
  creator->Close();
  constexpr int32_t Blocks = 4000;
  std::latch ready(2);
  std::vector<std::thread> threads;
  for (char tag : {'a', 'b'}) {
    threads.emplace_back([this, tag, &ready] {
      auto file = Handler("THREADS.DAT", TFileKind::Disk);
      file->Open();
      ready.arrive_and_wait();
      for (int32_t block = tag - 'a'; block < Blocks; block += 2) {
        const std::string text(16, char(tag + block % 2 * 2));
        file->EnterFile();
        file->Seek(block * 16, soFromBeginning);
        file->Write(text.data(), 16);
        file->LeaveFile();
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  creator->Open();
  std::vector<char> content = ReadAll(*creator);
  ASSERT_EQ(content.size(), size_t(Blocks * 16));
  for (int32_t i = 0; i < Blocks * 16; ++i) ASSERT_EQ(content[size_t(i)], char('a' + i / 16 % 2 * 3)) << i;
}

TEST(FileHandlerWithoutEngine, RaisesNotInitialized) {
  TFileHandler handler;
  handler.FileName = "X.DAT";
  EXPECT_EQ(RaisedCode([&] { handler.Open(); }), 10758);
}

}  // namespace
