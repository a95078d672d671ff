#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <set>

#include "engErrorCodes.h"
#include "engErrors.h"
#include "engHeap.h"
#include "engIndexFile.h"
#include "engIndexTestTree.h"
#include "engLibrary.h"
#include "engLittleEndian.h"
#include "engReadContext.h"
#include "osSettingsTestFolder.h"

namespace {

constexpr uint8_t StringType = 1;
constexpr uint8_t IntegerType = 2;
constexpr uint8_t BlobType = 3;

// A table of three fields: a 19-byte string, an integer and a BLOB.
class TTestTable : public TIndexFileTable {
public:
  bool encrypted = false;
  bool dataChanged = false;
  TCacheSizes caches;
  std::map<uint16_t, std::pair<uint8_t, uint8_t>> fields{
      {1, {StringType, 19}}, {2, {IntegerType, 4}}, {3, {BlobType, 10}}};

  std::string TableName() const override { return "ORDERS.DAT"; }
  bool IsEncrypted() const override { return encrypted; }
  void Encipher(uint8_t* buffer, uint32_t length) override { Scramble(buffer, length); }
  void Decipher(uint8_t* buffer, uint32_t length) override { Scramble(buffer, length); }
  bool HoldsTransactionLock() const override { return false; }
  bool DataChanged() const override { return dataChanged; }
  void SetDataChanged() override { dataChanged = true; }
  bool GetKeyField(uint16_t fieldNo, uint8_t& type, uint8_t& size) const override {
    auto found = fields.find(fieldNo);
    if (found == fields.end()) return false;
    type = found->second.first;
    size = found->second.second;
    return true;
  }
  bool CheckChangesBeforeRead(TReadContext*) override { return false; }
  TCacheSizes CacheSizes() const override { return caches; }

private:
  static void Scramble(uint8_t* buffer, uint32_t length) {
    for (uint32_t i = 0; i < length; ++i) buffer[i] ^= uint8_t(0x5A + i);
  }
};

// A descriptor over the given fields (string 20 key bytes, integer 5).
std::vector<uint8_t> Descriptor(const std::string& name, std::vector<uint16_t> fieldNumbers, bool unique,
                                uint8_t compression) {
  std::vector<uint8_t> d(IndexDescSize, 0);
  d[IdxDescName] = uint8_t(name.size());
  memcpy(d.data() + 1, name.data(), name.size());
  int keyLength = unique ? 0 : 4;
  for (size_t i = 0; i < fieldNumbers.size(); ++i) {
    PutLE16(d.data() + IdxDescFieldNumbers + 2 * i, fieldNumbers[i]);
    keyLength += fieldNumbers[i] == 1 ? 20 : 5;
  }
  PutLE16(d.data() + IdxDescKeyLength, uint16_t(keyLength));
  d[IdxDescUnique] = unique;
  d[IdxDescCompression] = compression;
  d[IdxDescFieldCount] = uint8_t(fieldNumbers.size());
  return d;
}

std::vector<uint8_t> U32(uint32_t v) {
  return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

void ExpectEngineError(uint16_t code, const std::function<void()>& action) {
  try {
    action();
    ADD_FAILURE() << "no engine error " << code;
  } catch (const EEngineError& e) {
    EXPECT_EQ(code, e.ErrorCode) << e.Message;
  }
}

class IndexFile : public testing::Test {
protected:
  TTestFolder scratch;
  const std::filesystem::path folder = scratch.Path();
  TTestTable table;
  TIndexFile* file = nullptr;

  void SetUp() override {
    StartEngineLibrary();
    file = NewFile("ORDERS.IDX");
  }
  void TearDown() override {
    delete file;
    StopEngineLibrary();
  }
  // A budget that holds a tree's compressed leaves packed but not unpacked
  // (by the given multiple) keeps the whole tree: a second walk reads
  // nothing, a walk writes nothing, and what the cache counts stays within
  // the budget.
  void ExpectBudgetHoldsTreePacked(const std::vector<uint8_t>& descriptor,
                                   const std::function<TKeyBytes(uint32_t)>& keyOf, uint32_t keys, int64_t budget,
                                   int64_t unpackedMultiple) {
    const int64_t slack = budget / 8;
    table.caches.IndexBytes = MaxCachedIndexBytes;
    file->CreateIndexFile();
    file->SetPrimaryIndex(Descriptor("", {2}, true, kcNone).data());
    file->AddIndex(descriptor.data());
    TTestTree tree = Tree(1);
    for (uint32_t n = 1; n <= keys; ++n) tree.Insert(keyOf(n), n);
    file->FlushPages();
    ASSERT_GT(file->CachedBytes(), unpackedMultiple * budget);  // what the tree takes unpacked

    table.caches.IndexBytes = budget;
    file->TrimPageCaches(true);
    file->DropPages(true);
    ASSERT_EQ(keys, tree.Check().size());
    const uint32_t reads = file->PageReads();
    const uint32_t writes = file->PageWrites();
    ASSERT_EQ(keys, tree.Check().size());
    EXPECT_EQ(reads, file->PageReads());
    EXPECT_EQ(writes, file->PageWrites());
    EXPECT_LT(file->CachedBytes(), budget + slack);
  }
  TIndexFile* NewFile(const std::string& name) {
    auto created = new TIndexFile(&table);
    created->FileName = (folder / name).string();
    return created;
  }
  std::vector<uint8_t> FileBytes(const std::string& name = "ORDERS.IDX") {
    std::ifstream in(folder / name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
  }
  void PatchFile(uint32_t offset, const std::vector<uint8_t>& bytes) {
    std::fstream io(folder / "ORDERS.IDX", std::ios::binary | std::ios::in | std::ios::out);
    io.seekp(offset);
    io.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }
  void Reopen() {
    file->Close();
    file->Open();
  }
  TTestTree Tree(uint8_t slot) {
    TKeyComparer compare;
    compare.IndexNo = slot;
    return TTestTree(*file, slot, compare, [this, slot] { return file->GetRootOffset(slot); });
  }
};

// Keys of the string-and-integer index: a text that grows with n and the
// integer, then the row number for a non-unique index.
TKeyBytes TableKey(uint32_t n, bool unique) {
  TKeyBytes key(unique ? 25 : 29, 0);
  key[0] = 1;
  std::string text = "K" + std::to_string(n % 1000) + std::string(n % 13, 'z');
  memcpy(key.data() + 1, text.data(), std::min<size_t>(text.size(), 18));
  key[20] = 1;
  PutLE32(key.data() + 21, __builtin_bswap32(n / 1000));
  if (!unique) PutLE32(key.data() + 25, __builtin_bswap32(n ^ 0x80000000u));
  return key;
}

}  // namespace

TEST_F(IndexFile, CreatesExactlyTheHeaderOfAnEmptyIndexFile) {
  file->CreateIndexFile();
  file->WriteHeader(true);
  file->Close();

  std::vector<uint8_t> expected(IndexHeaderSize, 0);
  PutLE32(expected.data(), 1);  // the header write counted
  expected[8] = 4;
  PutLE32(expected.data() + 9, 4096);
  uint8_t* deleted = expected.data() + 14 + 31 * IndexDescSize;
  deleted[0] = 11;
  memcpy(deleted + 1, "Sys Deleted", 11);
  PutLE16(deleted + IdxDescKeyLength, 5);
  expected[3979] = 1;  // the in-memory marker goes out as it was
  EXPECT_EQ(expected, FileBytes());

  file->Open();
  EXPECT_EQ(4096u, file->GetEndOffset());
  for (int slot = 0; slot < IndexSlotCount; ++slot) EXPECT_EQ(0u, file->GetRootOffset(slot));
  EXPECT_EQ("Sys Deleted", file->GetIndexName(31));
}

class IndexFileModes : public IndexFile, public testing::WithParamInterface<std::tuple<uint8_t, bool>> {};

// Trees larger than the least the cache may hold, so that changed pages go
// out to the file while others are in use and come back; the file is
// reopened and checked again.
TEST_P(IndexFileModes, TreesStayExactThroughTheFile) {
  auto [compression, unique] = GetParam();
  table.encrypted = compression % 2 == 1;
  table.caches.IndexBytes = 0;
  file->CreateIndexFile();
  file->SetPrimaryIndex(Descriptor("", {2}, true, kcNone).data());
  file->AddIndex(Descriptor("ByText", {1, 2}, unique, compression).data());
  TTestTree tree = Tree(1);

  std::mt19937 random(777u + compression * 2 + unique);
  std::vector<uint32_t> order(4000);
  for (uint32_t i = 0; i < order.size(); ++i) order[i] = i + 1;
  std::shuffle(order.begin(), order.end(), random);
  std::set<TKeyBytes> present;
  auto checkpoint = [&] {
    ASSERT_EQ(std::vector<TKeyBytes>(present.begin(), present.end()), tree.Check());
  };
  for (size_t i = 0; i < order.size(); ++i) {
    tree.Insert(TableKey(order[i], unique), order[i]);
    present.insert(TableKey(order[i], unique));
    if (i % 500 == 499) {
      file->FlushPages();
      file->DropPages(true);
      checkpoint();
    }
  }
  std::shuffle(order.begin(), order.end(), random);
  for (size_t i = 0; i < order.size() / 2; ++i) {
    tree.Delete(TableKey(order[i], unique));
    present.erase(TableKey(order[i], unique));
    if (i % 500 == 499) checkpoint();
  }
  EXPECT_GT(file->PageReads(), 0u);
  EXPECT_GT(file->PageWrites(), 0u);

  file->FlushPages();
  file->WriteHeader(false);
  Reopen();
  checkpoint();
  uint32_t rank = 1;
  for (const TKeyBytes& key : present) ASSERT_EQ(rank++, tree.Find(key));
  EXPECT_NO_THROW(file->VerifyIndexFile());
}

INSTANTIATE_TEST_SUITE_P(AllCompressions, IndexFileModes,
                         testing::Combine(testing::Values(kcNone, kcLeading, kcTrailing, kcFull),
                                          testing::Bool()));

namespace {

// Long keys padded with zeros that compression takes away on disk, as text
// fields are: unpacked, each entry of a leaf takes the full key length.
constexpr uint16_t PaddedKeyLength = 300;

std::vector<uint8_t> PaddedDescriptor(bool unique, uint8_t compression) {
  std::vector<uint8_t> d = Descriptor("Padded", {1, 2}, unique, compression);
  PutLE16(d.data() + IdxDescKeyLength, PaddedKeyLength);
  return d;
}

// The padding goes before the row number that ends a non-unique key.
TKeyBytes PaddedKey(uint32_t n, bool unique) {
  TKeyBytes key = TableKey(n, true);
  key.resize(PaddedKeyLength - (unique ? 0 : 4), 0);
  if (!unique) {
    const TKeyBytes row = TableKey(n, false);
    key.insert(key.end(), row.end() - 4, row.end());
  }
  return key;
}

}  // namespace

// Leaves packed in memory reach the file as they would unpacked: the same
// inserts and deletes through a cache far too small for the unpacked
// leaves (leaves packed, changed ones written from their packed bytes,
// some dropped and read again) and through one that keeps every page
// unpacked leave the same bytes.
TEST_P(IndexFileModes, ASmallCacheOfPackedLeavesWritesTheSameFile) {
  auto [compression, unique] = GetParam();
  table.encrypted = compression % 2 == 0;
  std::mt19937 random(31u + compression * 2 + unique);
  // More pages than the cache keeps whatever the bytes: trailing zeros
  // removed, leaves hold many more keys.
  const bool shortLeaves = compression == kcNone || compression == kcLeading;
  std::vector<uint32_t> order(shortLeaves ? 2500 : 9000);
  for (uint32_t i = 0; i < order.size(); ++i) order[i] = i + 1;
  std::shuffle(order.begin(), order.end(), random);

  auto write = [&](const std::string& name, int64_t budget) {
    table.caches.IndexBytes = budget;
    delete file;
    file = NewFile(name);
    file->CreateIndexFile();
    file->SetPrimaryIndex(Descriptor("", {2}, true, kcNone).data());
    file->AddIndex(PaddedDescriptor(unique, compression).data());
    TTestTree tree = Tree(1);
    std::set<TKeyBytes> present;
    for (uint32_t n : order) {
      tree.Insert(PaddedKey(n, unique), n);
      present.insert(PaddedKey(n, unique));
    }
    for (size_t i = 0; i < order.size() / 2; ++i) {
      tree.Delete(PaddedKey(order[i], unique));
      present.erase(PaddedKey(order[i], unique));
    }
    EXPECT_EQ(std::vector<TKeyBytes>(present.begin(), present.end()), tree.Check());
    file->FlushPages();
    file->WriteHeader(false);
    file->Close();
    return FileBytes(name);
  };
  const std::vector<uint8_t> unpacked = write("WIDE.IDX", MaxCachedIndexBytes);
  const std::vector<uint8_t> packed = write("NARROW.IDX", 64 << 10);
  ASSERT_GT(unpacked.size(), size_t(64 << 10));
  EXPECT_TRUE(unpacked == packed);
}

namespace {

// A key of a non-unique index by date, time and number, as a log's index
// by when a job printed: neighbours share their day and most of their
// time, so a stored entry keeps more than half the bytes its slot takes.
constexpr int DatedKeysADay = 500;
TKeyBytes DatedKey(uint32_t n) {
  TKeyBytes key(19, 0);
  key[0] = key[5] = key[10] = 1;
  PutLE32(key.data() + 1, __builtin_bswap32(40000 + n / DatedKeysADay));
  PutLE32(key.data() + 6, __builtin_bswap32(n % DatedKeysADay * 97));
  PutLE32(key.data() + 11, __builtin_bswap32(n));
  PutLE32(key.data() + 15, __builtin_bswap32(n ^ 0x80000000u));
  return key;
}

}  // namespace

// Text keys padded with zeros: a leaf unpacked takes several times what it
// stores.
TEST_F(IndexFile, PackedLeavesLetTheBudgetHoldATreeTooLargeUnpacked) {
  ExpectBudgetHoldsTreePacked(PaddedDescriptor(true, kcFull), [](uint32_t n) { return PaddedKey(n, true); }, 6000,
                              512 << 10, 4);
}

// Short keys of numbers: slots of less than twice a leaf's stored bytes,
// which a leaf unpacked keeps beside them, still take over three times
// what it takes packed.
TEST_F(IndexFile, PackedLeavesOfShortKeysLetTheBudgetHoldATreeTooLargeUnpacked) {
  ExpectBudgetHoldsTreePacked(Descriptor("Dated", {2, 2, 2}, false, kcFull), DatedKey, 30000, 768 << 10, 2);
}

namespace {

// A reader as a cursor is one: its page reads are the walks' reads.
class TWalkReader : public TReadContext {
public:
  int32_t ReadAheadCount(uint32_t, bool, int32_t) override { return 1; }
  bool InRepairMode() const override { return false; }
  void ReportRepair(const std::string&) override {}
};

// A cursor's descent to key: the record of its leaf entry, 0 when absent.
uint32_t WalkTo(TIndexFile& file, TReadContext& reader, uint8_t indexNo, const TKeyBytes& key) {
  TKeyComparer compare;
  compare.IndexNo = indexNo;
  TPage* page = nullptr;
  EXPECT_TRUE(file.GetRoot(&reader, indexNo, true, page));
  TPageRef held(&file, page);
  uint32_t keysBefore = 0;
  for (;;) {
    const bool found = held->SearchCounting(compare, key.data(), int(key.size()), TLeafSearchEnd::LastNotAbove,
                                            keysBefore);
    if (held->IsLeaf()) return found ? held->CurrentPointer(true) : 0;
    TPage* child = nullptr;
    EXPECT_TRUE(file.GetPage(&reader, indexNo, held->CurrentPointer(true), false, child));
    held = TPageRef(&file, child);
  }
}

}  // namespace

// Look-ups of random keys pass each leaf once: the leaves they read go
// to the old end of the cache when given back, so the branches every
// descent needs stay cached (packed, as they take several times less
// without their keys' runs of zeros) and a look-up reads its leaf alone.
TEST_F(IndexFile, LeavesLookUpsPassOnceLeaveTheBranchesCached) {
  constexpr int64_t budget = 256 << 10;
  constexpr uint32_t keys = 40000;
  constexpr int lookUps = 1500;
  table.caches.IndexBytes = MaxCachedIndexBytes;
  file->CreateIndexFile();
  file->SetPrimaryIndex(Descriptor("", {2}, true, kcNone).data());
  file->AddIndex(PaddedDescriptor(true, kcFull).data());
  TTestTree tree = Tree(1);
  for (uint32_t n = 1; n <= keys; ++n) tree.Insert(PaddedKey(n, true), n);
  file->FlushPages();
  table.caches.IndexBytes = budget;
  file->TrimPageCaches(true);
  file->DropPages(true);

  TWalkReader reader;
  std::mt19937 random(7);
  std::vector<uint32_t> order;
  for (int i = 0; i < 2 * lookUps; ++i) order.push_back(1 + random() % keys);
  for (int i = 0; i < lookUps; ++i) ASSERT_EQ(order[size_t(i)], WalkTo(*file, reader, 1, PaddedKey(order[size_t(i)], true)));
  const uint32_t reads = file->PageReads();
  for (int i = lookUps; i < 2 * lookUps; ++i)
    ASSERT_EQ(order[size_t(i)], WalkTo(*file, reader, 1, PaddedKey(order[size_t(i)], true)));
  EXPECT_LE(file->PageReads() - reads, uint32_t(lookUps));  // 1.1 per look-up when leaves stay newest
}

TEST_F(IndexFile, FreedPagesGoBackToTheirOwnIndexOnly) {
  file->CreateIndexFile();
  file->SetPrimaryIndex(Descriptor("", {2}, true, kcNone).data());
  file->AddIndex(Descriptor("First", {1, 2}, true, kcNone).data());
  file->AddIndex(Descriptor("Second", {1, 2}, true, kcNone).data());
  TTestTree first = Tree(1), second = Tree(2);
  for (uint32_t n = 1; n <= 600; ++n) first.Insert(TableKey(n, true), n);
  for (uint32_t n = 1; n <= 600; ++n) first.Delete(TableKey(n, true));
  EXPECT_EQ(0u, file->GetRootOffset(1));
  uint32_t freeOfFirst = file->GetFirstFreePage(1);
  ASSERT_NE(0u, freeOfFirst);

  uint32_t end = file->GetEndOffset();
  for (uint32_t n = 1; n <= 600; ++n) second.Insert(TableKey(n, true), n);
  EXPECT_GT(file->GetEndOffset(), end);
  EXPECT_EQ(freeOfFirst, file->GetFirstFreePage(1));

  // Flushed free pages carry only their link.
  file->FlushPages();
  std::vector<uint8_t> bytes = FileBytes();
  std::vector<uint8_t> freePage(bytes.begin() + freeOfFirst, bytes.begin() + freeOfFirst + 4096);
  memset(freePage.data() + 7, 0, 4);
  EXPECT_EQ(std::vector<uint8_t>(4096, 0), freePage);

  end = file->GetEndOffset();
  for (uint32_t n = 1; n <= 300; ++n) first.Insert(TableKey(n, true), n);
  EXPECT_EQ(end, file->GetEndOffset());
  EXPECT_NE(freeOfFirst, file->GetFirstFreePage(1));
  EXPECT_EQ(300u, first.Check().size());
}

// A walk may still hold a page when another user's change drops the
// caches; the page must not be lent to another index until it is released.
TEST_F(IndexFile, APageHeldWhileTheCachesDropStaysItsHoldersUntilReleased) {
  file->CreateIndexFile();
  file->SetPrimaryIndex(Descriptor("", {2}, true, kcNone).data());
  file->AddIndex(Descriptor("First", {1, 2}, true, kcNone).data());
  TTestTree first = Tree(1);
  for (uint32_t n = 1; n <= 50; ++n) first.Insert(TableKey(n, true), n);
  file->FlushPages();
  TPage* held = nullptr;
  ASSERT_TRUE(file->GetRoot(nullptr, 1, false, held));
  const uint32_t offset = held->Offset;
  const uint16_t count = held->Count;
  file->DropPages(true);
  std::vector<TPage*> lent;
  for (int i = 0; i < 8; ++i) lent.push_back(file->NewPage(0));
  for (TPage* page : lent) EXPECT_NE(page, held);
  EXPECT_EQ(offset, held->Offset);
  EXPECT_EQ(count, held->Count);
  for (TPage* page : lent) file->ReleasePage(page);
  file->ReleasePage(held);
  EXPECT_EQ(50u, first.Check().size());
}

TEST_F(IndexFile, DefinesAndRemovesIndexes) {
  file->CreateIndexFile();
  file->SetPrimaryIndex(Descriptor("", {2}, true, kcNone).data());
  ExpectEngineError(9993, [&] { file->SetPrimaryIndex(Descriptor("", {1}, true, kcNone).data()); });
  file->AddIndex(Descriptor("A", {1}, true, kcNone).data());
  file->AddIndex(Descriptor("B", {2}, false, kcFull).data());
  file->AddIndex(Descriptor("C", {1, 2}, true, kcLeading).data());
  ExpectEngineError(10027, [&] { file->AddIndex(Descriptor("b  ", {1}, true, kcNone).data()); });
  ExpectEngineError(10010, [&] { file->AddIndex(Descriptor("  ", {1}, true, kcNone).data()); });
  ExpectEngineError(10022, [&] { file->AddIndex(Descriptor("9x", {1}, true, kcNone).data()); });
  ExpectEngineError(12292, [&] { file->AddIndex(Descriptor("Blob", {3}, true, kcNone).data()); });
  ExpectEngineError(9487, [&] {
    file->AddIndex(Descriptor("Many", std::vector<uint16_t>(17, 2), true, kcNone).data());
  });

  uint8_t deleted[IndexDescSize];
  file->GetIndexDescriptor(31, deleted);
  file->DeleteIndex(1, true);
  EXPECT_EQ(2, file->GetSecondaryCount());
  EXPECT_EQ("B", file->GetIndexName(1));
  EXPECT_EQ("C", file->GetIndexName(2));
  EXPECT_EQ("A", file->GetIndexName(3));  // parked
  uint8_t after[IndexDescSize];
  file->GetIndexDescriptor(31, after);
  EXPECT_EQ(0, memcmp(deleted, after, IndexDescSize));

  for (int i = file->GetSecondaryCount(); i < MaxSecondaryIndexes; ++i)
    file->AddIndex(Descriptor("X" + std::to_string(i), {2}, true, kcNone).data());
  ExpectEngineError(9487, [&] { file->AddIndex(Descriptor("Last", {2}, true, kcNone).data()); });

  file->SetFirstFreePage(0, 8192);
  file->SetNoPrimary(true);
  uint8_t primary[IndexDescSize];
  file->GetIndexDescriptor(0, primary);
  EXPECT_EQ(0, GetLE16(primary + IdxDescKeyLength));
  EXPECT_EQ(0, primary[IdxDescFieldCount]);
  EXPECT_EQ(8192u, GetLE32(primary + IdxDescFirstFree));
}

// The indexes share one budget of bytes: the index in use may hold all of
// it, what the cache holds in memory stays within it as pages grow, and
// pages another index changed stay until they are written.
TEST_F(IndexFile, OneBusyIndexUsesTheWholeBudgetAndTheOthersChangesAreWritten) {
  constexpr int64_t budget = 1 << 20;
  constexpr int64_t slack = budget / 8;  // a page or two past the budget
  table.caches.IndexBytes = budget;
  file->CreateIndexFile();
  file->SetPrimaryIndex(Descriptor("", {2}, true, kcNone).data());
  file->AddIndex(Descriptor("Busy", {1, 2}, true, kcNone).data());
  file->AddIndex(Descriptor("Quiet", {1, 2}, true, kcNone).data());
  ASSERT_EQ(budget, file->ByteBudget());
  TTestTree busy = Tree(1), quiet = Tree(2);
  std::set<TKeyBytes> busyKeys, quietKeys;
  uint32_t n = 0;
  auto grow = [&](uint32_t keys) {
    for (uint32_t i = 0; i < keys; ++i) {
      ++n;
      busy.Insert(TableKey(n, true), n);
      busyKeys.insert(TableKey(n, true));
    }
  };

  // A tree of more than an even share of the budget, less than all of it.
  while (file->CachedBytes() < budget * 2 / 3) {
    grow(100);
    file->FlushPages();
    file->DropPages(true);
    ASSERT_EQ(busyKeys.size(), busy.Check().size());
  }
  const uint32_t reads = file->PageReads();
  ASSERT_EQ(busyKeys.size(), busy.Check().size());
  EXPECT_EQ(reads, file->PageReads());  // the whole tree stayed cached

  // Grown to three times the budget, and walked while the other index
  // holds changes.
  const int64_t heapBesideTheCache = EngineHeapTotal() - file->CachedBytes();
  const uint32_t start = file->GetEndOffset();
  while (file->GetEndOffset() - start < 3 * budget) grow(100);
  // Pages given up as others come in (the buffer of one write call aside).
  EXPECT_LT(EngineHeapTotal() - heapBesideTheCache, budget + slack + MostPagesPerWrite * IndexPageSize);
  EXPECT_LT(file->CachedBytes(), budget + slack);
  file->FlushPages();
  for (uint32_t q = 1; q <= 400; ++q) {
    quiet.Insert(TableKey(q * 7, true), q);
    quietKeys.insert(TableKey(q * 7, true));
  }
  const uint32_t writes = file->PageWrites();
  ASSERT_EQ(busyKeys.size(), busy.Check().size());
  EXPECT_EQ(writes, file->PageWrites());  // a read-only walk writes nothing
  EXPECT_LT(file->CachedBytes(), budget + slack);

  file->FlushPages();
  file->WriteHeader(false);
  Reopen();
  EXPECT_EQ(std::vector<TKeyBytes>(quietKeys.begin(), quietKeys.end()), quiet.Check());
  EXPECT_EQ(std::vector<TKeyBytes>(busyKeys.begin(), busyKeys.end()), busy.Check());
  EXPECT_NO_THROW(file->VerifyIndexFile());
}

// A compressed leaf of long keys holds many entries, each in a slot of the
// full key length: its page object takes many times the memory of a page
// of short keys. Objects passed on to another index take what their new
// entries need, not what they once held.
TEST_F(IndexFile, APageObjectPassedToAnotherIndexTakesWhatItsEntriesNeed) {
  constexpr uint16_t longKey = 300;
  file->CreateIndexFile();
  file->SetPrimaryIndex(Descriptor("", {2}, true, kcNone).data());
  std::vector<uint8_t> padded = Descriptor("Padded", {1, 2}, true, kcFull);
  PutLE16(padded.data() + IdxDescKeyLength, longKey);
  file->AddIndex(padded.data());
  file->AddIndex(Descriptor("Short", {1, 2}, true, kcNone).data());
  TTestTree wide = Tree(1), narrow = Tree(2);
  for (uint32_t n = 1; n <= 3000; ++n) {
    TKeyBytes key = TableKey(n, true);
    narrow.Insert(key, n);
    key.resize(longKey, 0);  // the padding compresses away on disk
    wide.Insert(key, n);
  }
  file->FlushPages();
  file->DropPages(true);
  ASSERT_EQ(3000u, wide.Check().size());
  const int64_t widePerPage = file->CachedBytes() / file->CachedPages();

  file->DropPages(true);  // the wide pages' objects wait in the pool
  ASSERT_EQ(3000u, narrow.Check().size());
  const int64_t narrowPerPage = file->CachedBytes() / file->CachedPages();
  EXPECT_LT(narrowPerPage * 2, widePerPage);
}

// A run of modified pages longer than one write call takes goes out in
// several calls, each page whole and in its place at the seams.
TEST_F(IndexFile, ALongRunOfChangedPagesReachesTheFileWhole) {
  table.caches.IndexBytes = MaxCachedIndexBytes;
  table.encrypted = true;  // a page enciphered twice or not at all reads back wrong
  file->CreateIndexFile();
  file->SetPrimaryIndex(Descriptor("", {2}, true, kcNone).data());
  file->AddIndex(Descriptor("Long", {1, 2}, false, kcNone).data());
  TTestTree tree = Tree(1);
  std::set<TKeyBytes> keys;
  const uint32_t start = file->GetEndOffset();
  // One page more than three full calls take.
  for (uint32_t n = 1; file->GetEndOffset() - start <= uint32_t(MostPagesPerWrite) * 3 * IndexPageSize; ++n) {
    tree.Insert(TableKey(n, false), n);
    keys.insert(TableKey(n, false));
  }
  ASSERT_EQ(0u, file->PageWrites());  // all of it still in the cache
  const uint32_t pages = (file->GetEndOffset() - start) / IndexPageSize;

  file->FlushPages();
  EXPECT_EQ((pages + MostPagesPerWrite - 1) / MostPagesPerWrite, file->PageWrites());
  file->WriteHeader(false);
  Reopen();
  EXPECT_EQ(std::vector<TKeyBytes>(keys.begin(), keys.end()), tree.Check());
  EXPECT_EQ(pages, file->PageReads());
  EXPECT_NO_THROW(file->VerifyIndexFile());
}

// A page write the file size limit stops (a run cut inside a page, the
// runs after it not tried) is reported, and the pages it did not write
// stay changed: once the file may grow, the next flush writes them and the
// tree reads back whole.
TEST_F(IndexFile, APageWriteThatFailsIsReportedAndTheNextFlushWritesItsPages) {
  for (const bool encrypted : {false, true}) {
    SCOPED_TRACE(encrypted ? "enciphered" : "plain");
    table.encrypted = encrypted;
    table.caches.IndexBytes = MaxCachedIndexBytes;
    delete file;
    file = NewFile(encrypted ? "CIPHER.IDX" : "PLAIN.IDX");
    file->CreateIndexFile();
    file->SetPrimaryIndex(Descriptor("", {2}, true, kcNone).data());
    file->AddIndex(Descriptor("ByText", {1, 2}, false, kcFull).data());
    TTestTree tree = Tree(1);
    std::set<TKeyBytes> keys;
    uint32_t n = 1;
    for (; n <= 2000; ++n) {
      tree.Insert(TableKey(n, false), n);
      keys.insert(TableKey(n, false));
    }
    file->FlushPages();
    file->WriteHeader(false);
    const uint32_t written = file->GetEndOffset();
    for (; file->GetEndOffset() < written + 8 * IndexPageSize; ++n) {
      tree.Insert(TableKey(n, false), n);
      keys.insert(TableKey(n, false));
    }
    const uint32_t writes = file->PageWrites();

    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit limited = saved;
    limited.rlim_cur = written + IndexPageSize + 100;
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    ExpectEngineError(EngErrWriteFailed, [&] { file->FlushPages(); });
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(limited.rlim_cur, FileBytes(encrypted ? "CIPHER.IDX" : "PLAIN.IDX").size());

    file->FlushPages();
    EXPECT_GT(file->PageWrites(), writes);
    file->WriteHeader(false);
    Reopen();
    EXPECT_EQ(std::vector<TKeyBytes>(keys.begin(), keys.end()), tree.Check());
    EXPECT_NO_THROW(file->VerifyIndexFile());
  }
}


// The fixture's file beside an enciphered twin whose pages always go out
// whole: once deciphered, the twin holds what the fixture's file must.
// Both have the primary and one index of 13 entries a page (three levels
// at 2,000 keys).
class IndexFileWithTwin : public IndexFile {
protected:
  TTestTable cipherTable;
  std::optional<TIndexFile> whole;
  TKeyComparer compare;
  std::optional<TTestTree> tree, wholeTree;

  void SetUp() override {
    IndexFile::SetUp();
    cipherTable.encrypted = true;
    whole.emplace(&cipherTable);
    whole->FileName = (folder / "WHOLE.IDX").string();
    compare.IndexNo = 1;
    tree.emplace(Tree(1));
    wholeTree.emplace(*whole, 1, compare, [this] { return whole->GetRootOffset(1); });
    for (TIndexFile* each : {file, &*whole}) {
      each->CreateIndexFile();
      each->SetPrimaryIndex(Descriptor("", {2}, true, kcNone).data());
      each->AddIndex(PaddedDescriptor(false, kcNone).data());
    }
  }
  void TearDown() override {
    wholeTree.reset();
    tree.reset();
    whole.reset();
    IndexFile::TearDown();
  }
  void WriteBack() {
    for (TIndexFile* each : {file, &*whole}) {
      each->FlushPages();
      each->WriteHeader(false);
    }
  }
  std::vector<uint8_t> WholeBytes() {
    std::vector<uint8_t> deciphered = FileBytes("WHOLE.IDX");
    for (size_t i = 0; i < deciphered.size(); ++i) deciphered[i] ^= uint8_t(0x5A + i % IndexPageSize);
    return deciphered;
  }
  // Both files read again from disk: the fixture's as shared.
  void ReopenBoth() {
    Reopen();
    whole->Close();
    whole->Open();
  }
};

// A branch whose key counts alone changed is written as those counts in
// place: after every change written back (an insert or delete at a time,
// as a table writes them), the file holds the bytes of one whose pages all
// go out whole (an enciphered one, deciphered), another opener reads the
// tree whole, and so does the file reopened. Some write-backs fail first
// at the root (the file's size limit lies at it): the counts they did not
// write are written by the next one.
TEST_F(IndexFileWithTwin, BranchesWrittenAsTheirKeyCountsLeaveTheBytesOfWholePages) {
  std::set<TKeyBytes> present;
  std::mt19937 random(4242u);
  std::vector<uint32_t> rows;
  auto change = [&](bool insert, uint32_t n) {
    for (TTestTree* each : {&*tree, &*wholeTree}) {
      if (insert) each->Insert(PaddedKey(n, false), n);
      else each->Delete(PaddedKey(n, false));
    }
    if (insert) present.insert(PaddedKey(n, false));
    else present.erase(PaddedKey(n, false));
  };
  for (uint32_t n = 1; n <= 2000; ++n) {
    change(true, n);
    rows.push_back(n);
  }
  WriteBack();
  ASSERT_GE(tree->Depth(), 3);
  ReopenBoth();  // the pages changed next come from the files

  for (int step = 1; step <= 600; ++step) {
    if (random() % 2 == 0) {
      const uint32_t n = 2000 + uint32_t(step);
      change(true, n);
      rows.push_back(n);
    } else {
      const size_t at = random() % rows.size();
      change(false, rows[at]);
      rows.erase(rows.begin() + std::ptrdiff_t(at));
    }
    if (step > 300 && step <= 310) {
      rlimit saved{};
      ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
      rlimit limited = saved;
      limited.rlim_cur = file->GetRootOffset(1);  // the pages below are written, the root's counts not
      const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
      ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
      ExpectEngineError(EngErrWriteFailed, [&] { file->FlushPages(); });
      setrlimit(RLIMIT_FSIZE, &saved);
      std::signal(SIGXFSZ, previousHandler);
    }
    WriteBack();
    if (step % 100 == 0) {
      ASSERT_TRUE(FileBytes() == WholeBytes()) << "after step " << step;
      TIndexFile* other = NewFile("ORDERS.IDX");
      other->Open();
      TTestTree otherTree(*other, 1, compare, [&] { return other->GetRootOffset(1); });
      EXPECT_EQ(std::vector<TKeyBytes>(present.begin(), present.end()), otherTree.Check());
      delete other;
    }
  }
  Reopen();
  EXPECT_EQ(std::vector<TKeyBytes>(present.begin(), present.end()), tree->Check());
}

// The counts of a tree's upper pages stored in place without write calls
// leave the bytes a writer of whole pages leaves (an enciphered twin,
// deciphered), at once for another process's reads; so do counts too far
// apart for one store, and a file that takes write calls only (written
// through to the disk).
TEST_F(IndexFileWithTwin, CountsStoredInPlaceLeaveTheBytesOfWholePagesForOtherProcesses) {
  std::set<TKeyBytes> present;
  auto insert = [&](const TKeyBytes& key, uint32_t record) {
    tree->Insert(key, record);
    wholeTree->Insert(key, record);
    present.insert(key);
  };
  const std::string path = (folder / "ORDERS.IDX").string();
  auto readElsewhere = [&](const std::vector<uint8_t>& expected) {
    auto holds = [&] {
      std::ifstream in(path, std::ios::binary);
      return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}) == expected;
    };
    EXPECT_EXIT(std::_Exit(holds() ? 0 : 1), testing::ExitedWithCode(0), "");
  };
  for (uint32_t n = 1; n <= 2000; ++n) insert(PaddedKey(n, false), n);
  WriteBack();
  ASSERT_GE(tree->Depth(), 3);
  ReopenBoth();

  for (uint32_t n = 2001; n <= 2040; ++n) {
    insert(PaddedKey(n, false), n);
    WriteBack();
    if (n % 10 == 0) readElsewhere(WholeBytes());
  }
  ASSERT_EQ(FileBytes(), WholeBytes());

  // A key after the first and one before the last: the root's first and
  // last counts change, nothing else of it.
  TKeyBytes first = *present.begin(), last = *std::next(present.rbegin());
  first[PaddedKeyLength - 5] = 0xFF;
  last[PaddedKeyLength - 5] = 0xFF;
  insert(first, 5000);
  insert(last, 5001);
  WriteBack();
  ASSERT_EQ(FileBytes(), WholeBytes());

  file->Close();
  file->WriteThrough = true;
  file->Open();
  for (uint32_t n = 2041; n <= 2060; ++n) {
    insert(PaddedKey(n, false), n);
    WriteBack();
  }
  readElsewhere(WholeBytes());
  Reopen();
  EXPECT_EQ(std::vector<TKeyBytes>(present.begin(), present.end()), tree->Check());
}

// Removing an index renumbers the cached pages of those after it: read
// under their new numbers they are found, not taken for crossed trees.
TEST_F(IndexFile, CachedPagesFollowTheirIndexWhenOneIsRemoved) {
  file->CreateIndexFile();
  file->SetPrimaryIndex(Descriptor("", {2}, true, kcNone).data());
  file->AddIndex(Descriptor("Gone", {1, 2}, true, kcNone).data());
  file->AddIndex(Descriptor("Kept", {1, 2}, true, kcNone).data());
  TTestTree gone = Tree(1), kept = Tree(2);
  for (uint32_t n = 1; n <= 500; ++n) {
    gone.Insert(TableKey(n, true), n);
    kept.Insert(TableKey(n * 3, true), n);
  }
  file->FlushPages();
  const std::vector<TKeyBytes> keptKeys = kept.Check();
  file->DeleteIndex(1, true);
  EXPECT_EQ(keptKeys, Tree(1).Check());
  EXPECT_EQ(500u, Tree(2).Check().size());  // the parked slot keeps its tree
}

// Each damage to the header is found by verification; bad counts and
// offsets are refused before they are used.
TEST_F(IndexFile, VerificationFindsEachKindOfDamage) {
  file->CreateIndexFile();
  file->SetPrimaryIndex(Descriptor("", {2}, true, kcNone).data());
  file->AddIndex(Descriptor("ByText", {1}, true, kcNone).data());
  file->AddIndex(Descriptor("Other", {2}, false, kcNone).data());
  TTestTree tree = Tree(1);
  for (uint32_t n = 1; n <= 300; ++n) tree.Insert(TableKey(n, true), n);
  file->FlushPages();
  file->WriteHeader(true);
  file->Close();
  const std::vector<uint8_t> good = FileBytes();
  const uint32_t slot0 = 14, slot1 = 14 + IndexDescSize, slot2 = 14 + 2 * IndexDescSize;
  const uint32_t end = GetLE32(good.data() + 9);

  struct TDamage {
    const char* what;
    uint32_t offset;
    std::vector<uint8_t> bytes;
    uint16_t code;
  };
  const TDamage damages[] = {
      {"format", 8, {3}, 12035},
      {"primary with a name", slot0, {1, 'P'}, 8961},
      {"primary not unique", slot0 + IdxDescUnique, {0}, 8961},
      {"name starting with a digit", slot1 + 1, {'1'}, 8961},
      {"two equal names", slot2, {6, 'b', 'y', 'T', 'E', 'X', 'T'}, 8961},
      {"17 key fields", slot1 + IdxDescFieldCount, {17}, 8961},
      {"a field the table lacks", slot1 + IdxDescFieldNumbers, {9, 0}, 8961},
      {"a BLOB key field", slot1 + IdxDescFieldNumbers, {3, 0}, 8961},
      {"no key fields", slot1 + IdxDescFieldNumbers, {0, 0}, 8961},
      {"a key length the fields do not give", slot1 + IdxDescKeyLength, {21, 0}, 8961},
      {"root beyond the last page", slot1 + IdxDescRoot, U32(end), 8961},
      {"root inside the header", slot1 + IdxDescRoot, U32(100), 8961},
      {"root off a page boundary", slot1 + IdxDescRoot, U32(4096 + 17), 8961},
      {"free page beyond the end", slot2 + IdxDescFirstFree, U32(end + 4096), 8961},
      {"a root in a file without pages", 9, U32(4096), 8961},
      {"end offset off a page boundary", 9, U32(end + 1), 8961},
      {"31 secondary indexes", 13, {31}, 8961},
  };
  for (const TDamage& damage : damages) {
    SCOPED_TRACE(damage.what);
    std::ofstream(folder / "ORDERS.IDX", std::ios::binary)
        .write(reinterpret_cast<const char*>(good.data()), std::streamsize(good.size()));
    PatchFile(damage.offset, damage.bytes);
    if (damage.offset == 13) {
      ExpectEngineError(damage.code, [&] { file->Open(); });
      continue;
    }
    file->Open();
    ExpectEngineError(damage.code, [&] { file->VerifyIndexFile(); });
    file->Close();
  }

  // Tables with long keys: the fields of one index may take 524 bytes.
  table.fields[1] = {StringType, 255};
  table.fields[4] = {StringType, 255};
  table.fields[5] = {StringType, 11};
  std::ofstream(folder / "ORDERS.IDX", std::ios::binary)
      .write(reinterpret_cast<const char*>(good.data()), std::streamsize(good.size()));
  PatchFile(slot1 + IdxDescKeyLength, {0x0C, 0x02});  // 524
  PatchFile(slot1 + IdxDescFieldCount, {3});
  PatchFile(slot1 + IdxDescFieldNumbers, {1, 0, 4, 0, 5, 0});
  file->Open();
  EXPECT_NO_THROW(file->VerifyIndexFile());
  file->Close();
  table.fields[5] = {StringType, 12};
  file->Open();
  ExpectEngineError(8961, [&] { file->VerifyIndexFile(); });
}

// Damaged pages, links and lists give the page error; nothing reads or
// allocates by a count the page cannot hold.
TEST_F(IndexFile, DamagedPagesAreRefused) {
  file->CreateIndexFile();
  file->SetPrimaryIndex(Descriptor("", {2}, true, kcNone).data());
  file->AddIndex(Descriptor("ByText", {1, 2}, true, kcFull).data());
  TTestTree tree = Tree(1);
  std::set<TKeyBytes> keys;
  for (uint32_t n = 1; n <= 1500; ++n) {
    tree.Insert(TableKey(n, true), n);
    keys.insert(TableKey(n, true));
  }
  // The lowest keys, so that whole leaves empty and are freed.
  int removed = 0;
  for (const TKeyBytes& key : keys) {
    if (removed++ == 600) break;
    tree.Delete(key);
  }
  file->FlushPages();
  file->WriteHeader(true);
  const uint32_t root = file->GetRootOffset(1);
  const uint32_t freePage = file->GetFirstFreePage(1);
  ASSERT_NE(0u, freePage);
  TPage* rootPage;
  file->GetRoot(nullptr, 1, false, rootPage);
  ASSERT_FALSE(rootPage->IsLeaf());
  ASSERT_GE(rootPage->Count, 2);
  const uint32_t leaf = rootPage->PointerAt(1), otherLeaf = rootPage->PointerAt(2);
  file->ReleasePage(rootPage);

  auto reread = [&] {
    file->Close();
    file->Open();
  };
  auto load = [&](uint32_t offset) {
    return [&, offset] {
      TPage* page;
      file->GetPage(nullptr, 1, offset, false, page);
      file->ReleasePage(page);
    };
  };
  auto newPage = [&] { file->ReleasePage(file->NewPage(1)); };

  PatchFile(root + 1, {0xFF, 0xFF});  // more entries than any page holds
  PatchFile(leaf + 11, {0xFF, 0x0F});  // more bytes used than a page has
  reread();
  ExpectEngineError(8965, load(root));
  ExpectEngineError(8965, load(leaf));
  ExpectEngineError(8965, load(root + 100));
  ExpectEngineError(8965, load(file->GetEndOffset() + 4096));

  // A free list that runs into a page in use, or onto a page with entries.
  file->SetFirstFreePage(1, otherLeaf);
  ExpectEngineError(8965, newPage);
  PatchFile(freePage + 1, {5, 0});
  reread();
  ExpectEngineError(8965, newPage);

  PatchFile(9, U32(2000003072));
  reread();
  file->SetFirstFreePage(1, 0);
  ExpectEngineError(9479, newPage);
}

TEST_F(IndexFile, RestoresTheWholeFileFromItsBackup) {
  file->CreateIndexFile();
  file->SetPrimaryIndex(Descriptor("", {2}, true, kcNone).data());
  file->AddIndex(Descriptor("ByText", {1, 2}, true, kcNone).data());
  TTestTree tree = Tree(1);
  for (uint32_t n = 1; n <= 100; ++n) tree.Insert(TableKey(n, true), n);
  file->FlushPages();
  file->WriteHeader(true);
  file->CopyFile((folder / "ORDERS.IBK").string());
  const std::vector<uint8_t> backup = FileBytes("ORDERS.IBK");

  for (uint32_t n = 101; n <= 2000; ++n) tree.Insert(TableKey(n, true), n);
  file->FlushPages();
  file->WriteHeader(true);
  ASSERT_GT(FileBytes().size(), backup.size());

  file->RestoreFromBackup((folder / "ORDERS.IBK").string());
  EXPECT_EQ(backup, FileBytes());
  EXPECT_EQ(100u, tree.Check().size());
}

TEST_F(IndexFile, NoticesHeaderChangesOfAnotherOpener) {
  // Enciphered: the change count is read and deciphered on its own.
  table.encrypted = true;
  file->CreateIndexFile();
  file->WriteHeader(true);
  Reopen();
  TIndexFile* other = NewFile("ORDERS.IDX");
  other->Open();
  const uint32_t count = file->GetChangeCount();
  file->WriteHeader(false);  // nothing changed: nothing written
  EXPECT_EQ(count, file->GetChangeCount());
  EXPECT_FALSE(other->HeaderChanged());
  file->IncRecordCount();
  file->WriteHeader(false);
  EXPECT_EQ(count + 1, file->GetChangeCount());
  EXPECT_TRUE(other->HeaderChanged());
  EXPECT_EQ(1u, other->GetRecordCount());
  delete other;
}

TEST_F(IndexFile, TakesAndReleasesTheIndexLocks) {
  file->CreateIndexFile();
  uint16_t first = 0, second = 0;
  ASSERT_TRUE(file->LockIndexShared(first));
  ASSERT_TRUE(file->LockIndexShared(second));
  EXPECT_NE(first, second);
  EXPECT_TRUE(first >= 1 && first <= 65534);
  EXPECT_TRUE(file->UnlockIndexShared(first));
  EXPECT_FALSE(file->UnlockIndexShared(first));
  EXPECT_TRUE(file->UnlockIndexShared(second));
  ASSERT_TRUE(file->LockIndexExclusive());
  EXPECT_TRUE(file->UnlockIndexExclusive());
  EXPECT_FALSE(file->UnlockIndexExclusive());
}
