// Transfers that name their offset (ReadAt / WriteAt), for disk and memory
// files, and disk transfers and head peeks from several threads at once.

#include <atomic>
#include <functional>
#include <span>
#include <thread>

#include "engFileTestSupport.h"
#include "engMemoryFile.h"

namespace {

class FilePositionedTest : public FileLayerTest, public ::testing::WithParamInterface<bool> {
protected:
  bool InMemory() const { return GetParam(); }
};

TEST_P(FilePositionedTest, TransfersAtAnOffsetActAsASeekAndATransfer) {
  auto file = Handler("AT.DAT", FileKindOf(InMemory()));
  file->CreateFile();
  const std::vector<char> bytes = Pattern(300, 3);
  file->WriteAt(100, bytes.data(), 300);
  file->WriteAt(0, "head", 4);
  EXPECT_EQ(file->FileSize(), 400);

  std::vector<char> back(300);
  EXPECT_EQ(file->ReadAt(100, back.data(), 300, false), 300);
  EXPECT_EQ(back, bytes);
  // The gap between the two writes reads as zero.
  char gap[96];
  EXPECT_EQ(file->ReadAt(4, gap, 96, false), 96);
  EXPECT_EQ(std::vector<char>(gap, gap + 96), std::vector<char>(96, 0));

  // Short only at the end, and only where allowed.
  EXPECT_EQ(file->ReadAt(390, back.data(), 20, true), 10);
  EXPECT_EQ(RaisedCode([&] { file->ReadAt(390, back.data(), 20, false); }), 9217);
  EXPECT_EQ(RaisedCode([&] { file->ReadAt(-1, back.data(), 1, true); }), 9217);

  // Writing nothing cuts the file there; a disk file's head shows what is
  // written after the cut, not the bytes it had before.
  char head[4];
  (void)file->PeekHead(head, 4);  // maps a disk file's head, where it can
  file->WriteAt(0, nullptr, 0);
  EXPECT_EQ(file->FileSize(), 0);
  EXPECT_FALSE(file->PeekHead(head, 4));
  file->WriteAt(0, "next", 4);
  if (file->PeekHead(head, 4)) {
    EXPECT_EQ(std::string(head, 4), "next");
  }
  EXPECT_EQ(ReadAll(*file), std::vector<char>({'n', 'e', 'x', 't'}));
}

// Pieces written end to end leave the bytes one write of them joined
// leaves, however many pieces there are and of whatever sizes; no pieces
// leave the file alone (a write of nothing would cut it).
TEST_P(FilePositionedTest, GatheredWritesLeaveWhatOneWriteOfTheJoinedBytesLeaves) {
  std::vector<int32_t> many;
  for (int32_t i = 0; i < 70; ++i) many.push_back(1 + i % 7);
  const struct {
    const char* What;
    int32_t Offset;
    std::vector<int32_t> Sizes;
  } cases[] = {
      {"one piece past the end", 200, {300}},
      {"sizes of every kind, an empty one among them", 150, {1, 0, 517, 64, 3}},
      {"more pieces than one system call takes", 7, many},
      {"inside the file", 10, {5, 0, 5}},
      {"past a gap", 260, {2, 2}},
      {"no pieces", 40, {}},
      {"only empty pieces", 40, {0, 0}},
  };
  int number = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    ++number;
    auto gathered = Handler("GATHERED" + std::to_string(number) + ".DAT", FileKindOf(InMemory()));
    auto joined = Handler("JOINED" + std::to_string(number) + ".DAT", FileKindOf(InMemory()));
    const std::vector<char> start = Pattern(200, 1);
    for (TFileHandler* file : {gathered.get(), joined.get()}) {
      file->CreateFile();
      file->WriteAt(0, start.data(), int32_t(start.size()));
    }
    std::vector<std::vector<uint8_t>> pieces;
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < c.Sizes.size(); ++i) {
      const std::vector<char> piece = Pattern(c.Sizes[i], int(i) + 2);
      pieces.emplace_back(piece.begin(), piece.end());
      bytes.insert(bytes.end(), piece.begin(), piece.end());
    }
    const std::vector<std::span<const uint8_t>> spans(pieces.begin(), pieces.end());
    gathered->WriteGatheredAt(c.Offset, spans);
    if (!bytes.empty()) joined->WriteAt(c.Offset, bytes.data(), int32_t(bytes.size()));
    EXPECT_EQ(ReadAll(*gathered), ReadAll(*joined));
  }
}

INSTANTIATE_TEST_SUITE_P(DiskAndMemory, FilePositionedTest, ::testing::Values(false, true));

// A file in memory makes its transfers at an offset in one step; each must
// answer, move the handle and leave the bytes as the base class's seek and
// transfer do, failures and cuts included.
TEST_F(FileLayerTest, AMemoryFileTransfersAtAnOffsetAsASeekAndATransferWould) {
  const std::vector<char> bytes = Pattern(64, 5);
  const struct {
    const char* What;
    bool Write;
    int32_t Handle;  // 0: the file's own
    int32_t Offset, Count;
  } steps[] = {
      {"a write past the end leaves a gap", true, 0, 40, 24},
      {"a write inside", true, 0, 3, 10},
      {"a write across the end", true, 0, 60, 20},
      {"a read inside", false, 0, 5, 30},
      {"a read across the end", false, 0, 70, 30},
      {"a read at the end", false, 0, 80, 4},
      {"a read past the end", false, 0, 81, 4},
      {"a read before the start", false, 0, -2, 4},
      {"a read of a negative count", false, 0, 4, -1},
      {"a read of an unknown handle", false, 9, 0, 4},
      {"a write before the start", true, 0, -1, 4},
      {"a write of a negative count", true, 0, 4, -1},
      {"a write past the largest position", true, 0, INT32_MAX - 2, 4},
      {"a write of an unknown handle", true, 9, 0, 4},
      {"a write of nothing past the end grows", true, 0, 100, 0},
      {"a write of nothing inside cuts", true, 0, 30, 0},
      {"a write after the cut", true, 0, 28, 8},
  };
  TMemoryFile fast("FAST.MEM"), stepwise("STEPWISE.MEM");
  const int32_t own = fast.CreateNew();
  ASSERT_EQ(stepwise.CreateNew(), own);
  for (const auto& step : steps) {
    SCOPED_TRACE(step.What);
    const int32_t handle = step.Handle ? step.Handle : own;
    std::vector<char> fastBack(100, 'x'), stepwiseBack(100, 'x');
    if (step.Write) {
      EXPECT_EQ(fast.WriteAt(handle, step.Offset, bytes.data(), step.Count),
                stepwise.TAbstractFile::WriteAt(handle, step.Offset, bytes.data(), step.Count));
    } else {
      EXPECT_EQ(fast.ReadAt(handle, step.Offset, fastBack.data(), step.Count),
                stepwise.TAbstractFile::ReadAt(handle, step.Offset, stepwiseBack.data(), step.Count));
      EXPECT_EQ(fastBack, stepwiseBack);
    }
    EXPECT_EQ(fast.Seek(own, 0, soFromCurrent), stepwise.Seek(own, 0, soFromCurrent));
    const int32_t size = stepwise.Seek(own, 0, soFromEnd);
    ASSERT_EQ(fast.Seek(own, 0, soFromEnd), size);
    std::vector<char> fastAll(static_cast<size_t>(size)), stepwiseAll(static_cast<size_t>(size));
    fast.Seek(own, 0, soFromBeginning);
    stepwise.Seek(own, 0, soFromBeginning);
    ASSERT_EQ(fast.Read(own, fastAll.data(), size), size);
    ASSERT_EQ(stepwise.Read(own, stepwiseAll.data(), size), size);
    EXPECT_EQ(fastAll, stepwiseAll);
  }
}

// A flush asks the disk for a sync only when this process wrote the file
// since its last one, by whichever way it wrote; a new file counts as
// written.
TEST_F(FileLayerTest, AFlushSyncsOnlyAFileWrittenSinceTheLastOne) {
  auto file = Handler("SYNC.DAT", TFileKind::Disk);
  auto other = Handler("OTHER.DAT", TFileKind::Disk);
  file->CreateFile();
  other->CreateFile();
  TFileHandler* both[] = {file.get(), other.get()};
  TFileHandler::FlushTogether(both);
  const struct {
    const char* What;
    std::function<void()> Change;
    uint32_t Syncs, OtherSyncs;
  } steps[] = {
      {"nothing written", [] {}, 1, 1},
      {"a write at an offset", [&] { file->WriteAt(10, "abc", 3); }, 2, 1},
      {"a write at the position", [&] {
         file->Seek(0, soFromEnd);
         file->Write("de", 2);
       }, 3, 1},
      {"a cut", [&] { file->WriteAt(4, nullptr, 0); }, 4, 1},
      {"the other file written", [&] { other->WriteAt(0, "x", 1); }, 4, 2},
      {"both written", [&] {
         file->WriteAt(0, "y", 1);
         other->WriteAt(1, "z", 1);
       }, 5, 3},
  };
  for (const auto& step : steps) {
    step.Change();
    TFileHandler::FlushTogether(both);
    EXPECT_EQ(file->DiskSyncs(), step.Syncs) << step.What;
    EXPECT_EQ(other->DiskSyncs(), step.OtherSyncs) << step.What;
  }
  auto memory = Handler("SYNC.MEM", TFileKind::Memory);
  memory->CreateFile();
  memory->WriteAt(0, "m", 1);
  memory->Flush();
  EXPECT_EQ(memory->DiskSyncs(), 0u);
}

// Commits of several threads at once hand their syncs to one helper, which
// takes them in turn while each committer syncs its first file and then
// any of its own the helper has not reached: every file written is synced
// once per commit, none twice, none skipped, and nobody waits forever.
TEST_F(FileLayerTest, CommitsOfSeveralThreadsSyncEachWrittenFileOnce) {
  constexpr int kThreads = 4;
  constexpr int kFiles = 3;
  constexpr uint32_t kRounds = 40;
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      std::vector<std::unique_ptr<TFileHandler>> files;
      std::vector<TFileHandler*> list;
      for (int n = 0; n < kFiles; ++n) {
        files.push_back(Handler("C" + std::to_string(t) + "F" + std::to_string(n) + ".DAT", TFileKind::Disk));
        files.back()->CreateFile();
        list.push_back(files.back().get());
      }
      for (uint32_t round = 0; round < kRounds; ++round) {
        // The last file is written every other round only.
        for (int n = 0; n < kFiles; ++n)
          if (n + 1 < kFiles || round % 2 == 0) files[size_t(n)]->WriteAt(int64_t(round) * 8, "commit!!", 8);
        TFileHandler::FlushTogether(list);
      }
      // A new file counts as written, so the first round syncs every file.
      for (int n = 0; n < kFiles; ++n)
        if (files[size_t(n)]->DiskSyncs() != (n + 1 < kFiles ? kRounds : kRounds / 2)) ++wrong;
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong, 0);
}

// Tables of several sessions share one disk file object: their positioned
// reads and writes and their peeks at the head run side by side with a seek
// and transfer under the section, and every byte lands where it was meant
// to.
TEST_F(FileLayerTest, PositionedTransfersOfSeveralThreadsStayApart) {
  constexpr int kThreads = 4;
  constexpr int32_t kSlice = 4096;
  constexpr int kRounds = 200;
  auto keeper = Handler("SHARED.DAT", TFileKind::Disk);
  keeper->CreateFile();
  keeper->Close();
  keeper->Open();
  keeper->WriteAt(0, Pattern(kSlice * (kThreads + 1), 0).data(), kSlice * (kThreads + 1));

  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      auto file = Handler("SHARED.DAT", TFileKind::Disk);
      file->Open();
      const int32_t offset = kSlice * (t + 1);
      std::vector<char> back(kSlice);
      const std::vector<char> start = Pattern(4, 0);
      for (int round = 0; round < kRounds; ++round) {
        // The first peeks race to map the head; later ones read it.
        char head[4];
        if (file->PeekHead(head, 4) && std::vector<char>(head, head + 4) != start) ++mismatches;
        const std::vector<char> bytes = Pattern(kSlice, t * 1000 + round);
        file->WriteAt(offset, bytes.data(), kSlice);
        file->ReadAt(offset, back.data(), kSlice, false);
        if (back != bytes) ++mismatches;
      }
      file->Close();
    });
  }
  // Meanwhile the position-based way on the first slice.
  const std::vector<char> first = Pattern(kSlice, 0);
  std::vector<char> back(kSlice);
  for (int round = 0; round < kRounds; ++round) {
    TFileSection section(*keeper);
    keeper->Seek(0, soFromBeginning);
    keeper->Read(back.data(), kSlice, false);
    if (back != first) ++mismatches;
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(mismatches, 0);
  for (int t = 0; t < kThreads; ++t) {
    std::vector<char> last(kSlice);
    keeper->ReadAt(kSlice * (t + 1), last.data(), kSlice, false);
    EXPECT_EQ(last, Pattern(kSlice, t * 1000 + kRounds - 1)) << t;
  }
}

}  // namespace
