#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "ppCache.h"
#include "ppErrors.h"
#include "ppMessages.h"
#include "rtlStreams.h"
#include "rtlTestFolder.h"

namespace {

size_t FilesIn(const std::string& folder) {
  const std::filesystem::directory_iterator files(folder);
  return size_t(std::distance(begin(files), end(files)));
}

// Keeps one int of state per page, in a record of the size it is given.
class TppCachedCounter : public TppCacheable {
public:
  TppCachedCounter(TComponent* owner, int recordSize) : TppCacheable(owner) { SetCacheRecordSize(recordSize); }
  int value = 0;
  int truncatedFrom = -2;

  void SavePageState(int page) override {
    std::vector<uint8_t> record(static_cast<size_t>(CacheRecordSize()), 0);
    std::memcpy(record.data(), &value, sizeof value);
    WriteCacheRecord(page, record.data());
  }
  void RestorePageState(int page) override {
    std::vector<uint8_t> record(static_cast<size_t>(CacheRecordSize()), 0);
    std::memcpy(record.data(), &value, sizeof value);
    ReadCacheRecord(page, record.data());
    std::memcpy(&value, record.data(), sizeof value);
  }
  void TruncateFrom(int page) override { truncatedFrom = page; }
};

// A memory stream that refuses to grow past a limit.
class TLimitedStream : public TMemoryStream {
public:
  explicit TLimitedStream(int64_t limit) : limit(limit) {}
  int64_t Write(const void* buffer, int64_t count) override {
    if (Position() + count > limit) return 0;
    return TMemoryStream::Write(buffer, count);
  }
  void SetSize(int64_t size) override {
    if (size > limit) throw std::bad_alloc();
    TMemoryStream::SetSize(size);
  }

private:
  int64_t limit;
};

class CacheTest : public ::testing::Test {
protected:
  TTestFolder folder;
  TObjectPtr<TppRelative> report{new TppRelative(nullptr)};
  TppCacheManager* manager = new TppCacheManager(report.get(), report.get());

  TppCachedCounter* Add(int recordSize) {
    auto* c = new TppCachedCounter(report.get(), recordSize);
    c->SetParent(report.get());
    return c;
  }
  void SetUp() override { manager->SetTempDirectory(folder.Path()); }
};

}  // namespace

TEST_F(CacheTest, RecordsSitAtTheirComputedPositions) {
  TppCachedCounter* a = Add(20);
  TppCachedCounter* b = Add(20);
  TppCachedCounter* c = Add(20);
  TppCachedCounter* engine = Add(68);
  Add(0);  // not cached
  manager->Reset();
  EXPECT_EQ(manager->StreamCount(), 2);
  EXPECT_EQ(b->CacheCount(), 3);
  EXPECT_EQ(b->CachePosition(), 1);
  EXPECT_EQ(engine->CachePosition(), 0);
  EXPECT_EQ(a->CacheStream(), c->CacheStream());

  // Page 2 of the second 20-byte object first: its record lands at
  // (2 * 3 + 1) * 20 = 140, the bytes before it zero.
  b->value = 42;
  b->SavePageState(2);
  ASSERT_EQ(b->CacheStream()->Size(), 160);
  auto* memory = dynamic_cast<TMemoryStream*>(b->CacheStream());
  ASSERT_NE(memory, nullptr);
  int stored = 0;
  std::memcpy(&stored, memory->Memory() + 140, sizeof stored);
  EXPECT_EQ(stored, 42);
  for (int i = 0; i < 140; ++i) ASSERT_EQ(memory->Memory()[i], 0) << i;

  for (int page = 0; page < 6; ++page) {
    for (TppCachedCounter* x : {a, b, c, engine}) x->value = page * 10 + x->CachePosition();
    manager->SavePage(page);
  }
  EXPECT_EQ(manager->HighestPageSaved(), 5);
  manager->RestorePage(3);
  EXPECT_EQ(b->value, 31);
  EXPECT_EQ(engine->value, 30);
  a->value = -7;
  a->ReadCacheRecord(50, &a->value);  // past the end: unchanged
  EXPECT_EQ(a->value, -7);
}

TEST_F(CacheTest, TruncatingKeepsTheEarlierPages) {
  TppCachedCounter* a = Add(20);
  Add(20);
  TppCachedCounter* engine = Add(68);
  manager->Reset();
  for (int page = 0; page < 6; ++page) manager->SavePage(page);
  manager->SetTruncateTellsCacheables(true);
  manager->TruncateFrom(4);
  EXPECT_EQ(a->CacheStream()->Size(), 4 * 2 * 20);
  EXPECT_EQ(engine->CacheStream()->Size(), 4 * 68);
  EXPECT_EQ(a->CachePageCount(), 3);
  EXPECT_EQ(a->truncatedFrom, 4);
  EXPECT_EQ(manager->HighestPageSaved(), 3);
}

TEST_F(CacheTest, AFailedMemoryWriteMovesTheCacheIntoTemporaryFiles) {
  manager->SetMemoryStreamFactory([] { return std::make_unique<TLimitedStream>(3 * 2 * 16); });
  TppCachedCounter* a = Add(16);
  TppCachedCounter* b = Add(16);
  manager->Reset();
  for (int page = 0; page < 8; ++page) {
    a->value = 100 + page;
    b->value = 200 + page;
    manager->SavePage(page);
  }
  EXPECT_EQ(manager->Storage(), csTemporaryFiles);
  EXPECT_EQ(FilesIn(folder.Path()), 1u);
  EXPECT_NE(dynamic_cast<TFileStream*>(a->CacheStream()), nullptr);
  for (int page : {1, 7, 2}) {
    manager->RestorePage(page);
    EXPECT_EQ(a->value, 100 + page);
    EXPECT_EQ(b->value, 200 + page);
  }
  manager->Clear();
  EXPECT_EQ(FilesIn(folder.Path()), 0u);
  EXPECT_EQ(manager->Storage(), csTemporaryFiles);
}

TEST_F(CacheTest, ASecondFailureEndsGenerationWithMessage284) {
  manager->SetMemoryStreamFactory([] { return std::make_unique<TLimitedStream>(16); });
  manager->SetTempDirectory(folder.Path() + "/missing");
  bool cancelled = false;
  manager->SetCancelHandler([&] { cancelled = true; });
  TppCachedCounter* a = Add(16);
  manager->Reset();
  manager->SavePage(0);
  try {
    manager->SavePage(1);
    FAIL() << "no error";
  } catch (const EPrintError& e) {
    EXPECT_EQ(e.Message, ppLoadMessage(284));
    EXPECT_FALSE(e.Message.empty());
  }
  EXPECT_TRUE(cancelled);
  EXPECT_EQ(a->CachePageCount(), 0);
}

TEST_F(CacheTest, DestroyedObjectsLeaveTheCache) {
  TppCachedCounter* a = Add(20);
  TppCachedCounter* b = Add(20);
  manager->Reset();
  b->Free();
  manager->SavePage(0);  // must not touch the freed object
  EXPECT_EQ(a->CachePageCount(), 0);
  manager->Clear();
  EXPECT_EQ(a->CacheStream(), nullptr);
  EXPECT_EQ(a->CachePageCount(), -1);
}
