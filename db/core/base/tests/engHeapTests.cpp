#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <vector>

#include <unistd.h>

#include "engErrors.h"
#include "engHeap.h"

// Huge requests must fail with an error, not end the sanitized test run.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }
extern "C" const char* __tsan_default_options() { return "allocator_may_return_null=1"; }

namespace {

bool AllZero(const void* block, size_t size) {
  auto p = static_cast<const unsigned char*>(block);
  for (size_t i = 0; i < size; ++i)
    if (p[i]) return false;
  return true;
}

TEST(EngineHeap, AllocatesZeroedAndKeepsTheTotal) {
  int64_t before = EngineHeapTotal();
  void* block = EngineAllocMem(100);
  ASSERT_TRUE(block);
  EXPECT_TRUE(AllZero(block, 100));
  EXPECT_EQ(EngineHeapTotal(), before + 100);
  EngineFreeMem(block);
  EXPECT_EQ(block, nullptr);
  EXPECT_EQ(EngineHeapTotal(), before);
  EngineFreeMem(block);  // an empty variable is left alone

  void* empty = EngineAllocMem(0);
  EngineFreeMem(empty);
  EXPECT_EQ(EngineHeapTotal(), before);
}

TEST(EngineHeap, ReallocationKeepsOldBytesAndZeroesNewOnes) {
  int64_t before = EngineHeapTotal();
  auto* block = static_cast<unsigned char*>(EngineAllocMem(64));
  memset(block, 0xAB, 64);
  block = static_cast<unsigned char*>(EngineReallocMem(block, 16));
  // Grown again in place: the bytes cut off before must not come back.
  block = static_cast<unsigned char*>(EngineReallocMem(block, 48));
  EXPECT_TRUE(AllZero(block + 16, 32));
  block = static_cast<unsigned char*>(EngineReallocMem(block, 4000));
  for (int i = 0; i < 16; ++i) ASSERT_EQ(block[i], 0xAB);
  EXPECT_TRUE(AllZero(block + 16, 4000 - 16));
  EXPECT_EQ(EngineHeapTotal(), before + 4000);
  block = static_cast<unsigned char*>(EngineReallocMem(block, 0));
  EXPECT_NE(block, nullptr);
  EngineFreeMem(block);
  EXPECT_EQ(EngineHeapTotal(), before);
}

TEST(EngineHeap, OutOfMemoryRaises11016) {
  try {
    EngineAllocMem(SIZE_MAX / 2);
    FAIL();
  } catch (const EEngineError& e) {
    EXPECT_EQ(e.ErrorCode, 11016);
    EXPECT_EQ(e.Message, "There is insufficient operating system memory available for the current operation");
  }
  void* block = EngineAllocMem(8);
  EXPECT_THROW(EngineReallocMem(block, SIZE_MAX / 2), EEngineError);
  EngineFreeMem(block);  // still the caller's after a failed reallocation
}

TEST(EngineHeap, TrimsAfterEvery1020FreesOrReallocations) {
  std::vector<void*> blocks(2100);
  for (auto& b : blocks) b = EngineAllocMem(16);
  size_t next = 0;
  while (EngineHeapOperationCount() != 0) EngineFreeMem(blocks[next++]);
  for (int i = 0; i < 1018; ++i) EngineFreeMem(blocks[next++]);
  blocks[next] = EngineReallocMem(blocks[next], 32);
  EXPECT_EQ(EngineHeapOperationCount(), 1019);
  EngineFreeMem(blocks[next++]);
  EXPECT_EQ(EngineHeapOperationCount(), 0);
  for (; next < blocks.size(); ++next) EngineFreeMem(blocks[next]);
}

int64_t ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  int64_t size = 0, resident = 0;
  statm >> size >> resident;
  return resident * sysconf(_SC_PAGESIZE);
}

// Frees and reallocations until the count starts again at the compaction
// point.
void RunToCompactionPoint() {
  void* block = EngineAllocMem(16);
  while (EngineHeapOperationCount() != EngineHeapTrimInterval - 1) block = EngineReallocMem(block, 16);
  EngineFreeMem(block);
  ASSERT_EQ(EngineHeapOperationCount(), 0);
}

TEST(EngineHeap, ACompactionPointAfterALargeReleaseGivesTheFreedPagesBack) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizer's allocator keeps freed memory its own way";
#endif
  // Blocks below the C heap's own mapping size, pinned under a block still
  // in use, so that only a compaction hands their pages back.
  constexpr size_t BlockSize = 64 * 1024;
  const size_t count = size_t(4 * EngineHeapTrimRelease) / BlockSize;
  std::vector<void*> blocks(count);
  for (void*& block : blocks) {
    block = EngineAllocMem(BlockSize);
    std::memset(block, 1, BlockSize);
  }
  void* pin = EngineAllocMem(64);
  const int64_t filled = ResidentBytes();
  for (void*& block : blocks) EngineFreeMem(block);
  RunToCompactionPoint();
  EXPECT_LT(ResidentBytes(), filled - 2 * EngineHeapTrimRelease);
  EngineFreeMem(pin);
}

TEST(EngineHeap, GrowBufferRoundsUpAndNeverShrinks) {
  char* buffer = nullptr;
  int32_t capacity = 0;
  GrowBuffer(1, 510, buffer, capacity);
  EXPECT_EQ(capacity, 510);
  buffer[509] = 'x';
  GrowBuffer(511, 510, buffer, capacity);
  EXPECT_EQ(capacity, 1020);
  EXPECT_EQ(buffer[509], 'x');
  EXPECT_TRUE(AllZero(buffer + 510, 510));
  char* same = buffer;
  GrowBuffer(300, 510, buffer, capacity);
  EXPECT_EQ(capacity, 1020);
  EXPECT_EQ(buffer, same);
  GrowBuffer(0, 510, buffer, capacity);
  EXPECT_EQ(capacity, 0);
  EXPECT_EQ(buffer, nullptr);
}

struct TProbe : TEngineObject {
  char bytes[40] = {};
};

TEST(EngineHeap, EngineObjectsLiveOnTheEngineHeap) {
  int64_t before = EngineHeapTotal();
  auto* probe = new TProbe;
  EXPECT_GT(EngineHeapTotal(), before);
  delete probe;
  EXPECT_EQ(EngineHeapTotal(), before);
}

}  // namespace
