#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "engErrors.h"
#include "engIndexPage.h"
#include "engIndexTestTree.h"
#include "engLittleEndian.h"
#include "engRecordsBitmap.h"

namespace {


// Dense big-endian numbers share leading bytes with their neighbours, and
// tails of varying length end in zeros, so every compression mode has work.
TKeyBytes UniqueKey(uint32_t n, int keyLength) {
  TKeyBytes key(keyLength, 0);
  key[0] = 1;
  for (int i = 0; i < 4; ++i) key[1 + i] = uint8_t(n >> (24 - 8 * i));
  int tail = std::min<int>(keyLength - 5, int(n % 5) * 25);
  for (int i = 0; i < tail; ++i) key[5 + i] = uint8_t(1 + (n * 31 + i) % 255);
  return key;
}

// Runs of 3 equal values, kept apart by the row number at the end.
TKeyBytes NonUniqueKey(uint32_t n, int keyLength) {
  TKeyBytes key = UniqueKey(n / 3, keyLength);
  uint32_t row = n ^ 0x80000000u;
  for (int i = 0; i < 4; ++i) key[keyLength - 4 + i] = uint8_t(row >> (24 - 8 * i));
  return key;
}

TKeyComparer ByteComparer() {
  TKeyComparer compare;
  compare.IndexNo = TestIndex;
  return compare;
}

struct TTreeFixture {
  TMemoryPageOwner owner;
  TTestTree tree;
  TTreeFixture(uint16_t keyLength, bool unique, uint8_t compression)
      : tree(owner, TestIndex, ByteComparer(), [this] { return owner.roots[TestIndex]; }) {
    owner.indexes[TestIndex] = {keyLength, unique, compression};
  }
  TPageRef Root() { return TPageRef(&owner, owner.GetTreePage(TestIndex, owner.roots[TestIndex])); }
};

void ExpectPageError(uint16_t code, const std::function<void()>& action) {
  try {
    action();
    ADD_FAILURE() << "no engine error " << code;
  } catch (const EEngineError& e) {
    EXPECT_EQ(code, e.ErrorCode);
  }
}

}  // namespace

class IndexTreeModes : public testing::TestWithParam<std::tuple<uint8_t, bool>> {};

// Several thousand keys in random order, in and out: after every few
// hundred changes the tree is recounted, and every key is found at its rank.
TEST_P(IndexTreeModes, StaysSearchableThroughRandomInsertsAndDeletes) {
  auto [compression, unique] = GetParam();
  // Long keys give few entries per page, so branches split and merge too.
  const int keyLength = unique ? 120 : 124;
  const uint32_t keyCount = 5000;
  TTreeFixture f(keyLength, unique, compression);
  std::mt19937 random(20240611u + compression * 2 + unique);
  auto keyOf = [&](uint32_t n) { return unique ? UniqueKey(n, keyLength) : NonUniqueKey(n, keyLength); };

  std::vector<uint32_t> order(keyCount);
  for (uint32_t i = 0; i < keyCount; ++i) order[i] = i + 1;
  std::shuffle(order.begin(), order.end(), random);
  std::set<TKeyBytes> present;

  auto checkpoint = [&] {
    std::vector<TKeyBytes> keys = f.tree.Check();
    ASSERT_EQ(std::vector<TKeyBytes>(present.begin(), present.end()), keys);
    for (int probe = 0; probe < 40 && !keys.empty(); ++probe) {
      size_t rank = random() % keys.size();
      ASSERT_EQ(rank + 1, f.tree.Find(keys[rank]));
    }
  };
  auto insert = [&](uint32_t n) {
    f.tree.Insert(keyOf(n), n);
    present.insert(keyOf(n));
  };
  auto remove = [&](uint32_t n) {
    f.tree.Delete(keyOf(n));
    present.erase(keyOf(n));
  };

  for (uint32_t i = 0; i < keyCount; ++i) {
    insert(order[i]);
    if (i % 100 == 99) checkpoint();
  }
  checkpoint();
  EXPECT_GE(f.tree.Depth(), 3);

  // The lower half of the keys, in random order, so that compressed leaves
  // (which only go when empty) are freed too.
  const uint32_t half = keyCount / 2;
  std::sort(order.begin(), order.end());
  std::shuffle(order.begin(), order.begin() + half, random);
  for (uint32_t i = 0; i < half; ++i) {
    remove(order[i]);
    if (i % 100 == 99) checkpoint();
  }
  checkpoint();
  EXPECT_EQ(0u, f.tree.Find(keyOf(order[0])));

  // Reinserting takes freed pages before the file grows.
  ASSERT_NE(0u, f.owner.firstFree[TestIndex]);
  uint32_t endBefore = f.owner.endOffset;
  for (uint32_t i = 0; i < half; ++i) {
    insert(order[i]);
    if (f.owner.firstFree[TestIndex] != 0) {
      ASSERT_EQ(endBefore, f.owner.endOffset);
    }
  }
  checkpoint();

  std::shuffle(order.begin(), order.end(), random);
  for (uint32_t i = 0; i < keyCount; ++i) {
    remove(order[i]);
    if (i % 100 == 99) checkpoint();
  }
  EXPECT_EQ(0u, f.owner.roots[TestIndex]);
  EXPECT_EQ(0, f.owner.PagesInUse());
}

INSTANTIATE_TEST_SUITE_P(AllCompressions, IndexTreeModes,
                         testing::Combine(testing::Values(kcNone, kcLeading, kcTrailing, kcFull),
                                          testing::Bool()));

TEST(IndexPage, GrowsFromRootLeafToTwoLevelsAndCollapsesBack) {
  TTreeFixture f(10, true, kcNone);
  f.tree.Insert(UniqueKey(1, 10), 1);
  EXPECT_EQ(ptRootLeaf, f.Root()->PageType);
  EXPECT_EQ(1, f.Root()->Count);

  for (uint32_t n = 2; n <= 255; ++n) f.tree.Insert(UniqueKey(n, 10), n);
  EXPECT_EQ(ptRootLeaf, f.Root()->PageType);
  EXPECT_EQ(255, f.Root()->MaxEntries());
  uint32_t firstLeaf = f.owner.roots[TestIndex];

  f.tree.Insert(UniqueKey(256, 10), 256);
  {
    TPageRef root = f.Root();
    ASSERT_EQ(ptRootBranch, root->PageType);
    ASSERT_EQ(2, root->Count);
    for (int i = 1; i <= 2; ++i) {
      TPageRef child(&f.owner, f.owner.GetTreePage(TestIndex, root->PointerAt(i)));
      EXPECT_EQ(ptLeaf, child->PageType);
      EXPECT_EQ(128, child->Count);
      EXPECT_EQ(128u, root->KeyCountAt(i));
    }
  }
  uint32_t branchRoot = f.owner.roots[TestIndex];

  // The right leaf underflows, merges into the left one, and the root is
  // left with one child, which takes its place.
  for (uint32_t n = 256; n > 127; --n) f.tree.Delete(UniqueKey(n, 10));
  EXPECT_EQ(firstLeaf, f.owner.roots[TestIndex]);
  EXPECT_EQ(ptRootLeaf, f.Root()->PageType);
  EXPECT_EQ(0u, f.Root()->Left);
  EXPECT_EQ(0u, f.Root()->Right);
  EXPECT_EQ(127u, f.tree.Check().size());
  EXPECT_TRUE(f.owner.pages[branchRoot]->Free);
}

TEST(IndexPage, PacksEachCompressionAsStored) {
  // Trailing: a 20-byte unique key with 3 non-zero bytes keeps 2 + 3 + 4.
  TTreeFixture trailing(20, true, kcTrailing);
  TKeyBytes key(20, 0);
  key[0] = 1, key[1] = 'A', key[2] = 'B';
  trailing.tree.Insert(key, 77);
  uint8_t image[IndexPageSize];
  trailing.Root()->Store(image);
  EXPECT_EQ(9, GetLE16(image + 11));
  EXPECT_EQ(17, GetLE16(image + 13));
  EXPECT_EQ(0, memcmp(image + 15, key.data(), 3));
  EXPECT_EQ(77u, GetLE32(image + 18));

  // Leading and full: the first entry of a page shares nothing, even after
  // the entry it used to follow went away; the next shares all bytes up to
  // the differing last byte of the row number.
  auto rowKey = [](uint32_t row) {
    TKeyBytes key(20, 0);
    key[0] = 1, key[1] = 'X';
    for (int i = 0; i < 4; ++i) key[16 + i] = uint8_t((row ^ 0x80000000u) >> (24 - 8 * i));
    return key;
  };
  for (uint8_t mode : {kcLeading, kcFull}) {
    TTreeFixture f(20, false, mode);
    for (uint32_t row = 1; row <= 3; ++row) f.tree.Insert(rowKey(row), row);
    f.tree.Delete(rowKey(1));
    f.Root()->Store(image);
    EXPECT_EQ(0, mode == kcLeading ? GetLE16(image + 13) : image[13]);
    // Full also drops the 14 zeros between 'X' and the row number.
    uint32_t firstSize = mode == kcLeading ? 2 + 20 + 4 : 2 + 20 - 14 + 4;
    EXPECT_EQ(19, mode == kcLeading ? GetLE16(image + 13 + firstSize) : image[13 + firstSize]);
    EXPECT_EQ(2, f.Root()->Count);
  }
}

namespace {

// The image of a page that stores every key byte: each entry whole at its
// place (key, record or child, and a branch's key count), zeros after, and
// nothing written past the page.
void ExpectStoredWhole(TPage& page) {
  uint8_t image[IndexPageSize + 32];
  memset(image, 0xEE, sizeof image);
  page.Store(image);
  EXPECT_TRUE(std::all_of(image + IndexPageSize, image + sizeof image, [](uint8_t b) { return b == 0xEE; }));
  const int k = page.KeyLength;
  const uint32_t stored = k + (page.IsLeaf() ? 4u : 8u);
  ASSERT_EQ(page.Count, GetLE16(image + 1));
  for (int i = 1; i <= page.Count; ++i) {
    const uint8_t* entry = image + PageHeaderSize + (i - 1) * stored;
    ASSERT_EQ(0, memcmp(entry, page.KeyAt(i), size_t(k))) << "entry " << i;
    ASSERT_EQ(page.PointerAt(i), GetLE32(entry + k)) << "entry " << i;
    if (!page.IsLeaf()) {
      ASSERT_EQ(page.KeyCountAt(i), GetLE32(entry + k + 4)) << "entry " << i;
    }
  }
  const uint8_t* end = image + PageHeaderSize + size_t(page.Count) * stored;
  EXPECT_TRUE(std::all_of(end, static_cast<const uint8_t*>(image) + IndexPageSize, [](uint8_t b) { return b == 0; }));
}

}  // namespace

// Entries of every length a page without compression may store, from a
// one-byte key on, in leaves and branches, keys differing at both ends.
TEST(IndexPage, PagesWithoutCompressionStoreEveryEntryWhole) {
  for (int k : {1, 2, 3, 4, 5, 7, 8, 9, 11, 12, 13, 15, 16, 17, 20, 24, 28, 31, 32, 33, 40, 47, 48, 49, 100, 300}) {
    SCOPED_TRACE(k);
    TTreeFixture f(uint16_t(k), true, kcNone);
    const uint32_t keys = k == 1 ? 255 : 2000;
    for (uint32_t n = 1; n <= keys; ++n) {
      TKeyBytes key(size_t(k), 0);
      for (int i = 0; i < k; ++i) key[size_t(i)] = uint8_t(n * (i + 1) * 7 + i);
      for (int i = 0; i < std::min(k, 4); ++i) key[size_t(k - 1 - i)] = uint8_t(n >> (8 * i));
      if (k > 4) key[0] = uint8_t(1 + (n % 250));  // keys differ in their first byte too
      f.tree.Insert(key, n * 3);
    }
    ASSERT_EQ(size_t(keys), f.tree.Check().size());
    TPageRef root = f.Root();
    ExpectStoredWhole(*root);
    if (root->IsLeaf()) continue;
    for (int i = 1; i <= root->Count; ++i) {
      TPageRef child(&f.owner, f.owner.GetTreePage(TestIndex, root->PointerAt(i)));
      ExpectStoredWhole(*child);
    }
  }
}

// Another writer may leave a page fuller than this engine fills one, its
// entries up to the page's end: read and stored again, it gives back its
// bytes, and nothing lands past the page.
TEST(IndexPage, PagesFilledToTheEndStoreBackTheirBytesAndNoMore) {
  for (const bool leaf : {true, false}) {
    for (int k : {1, 4, 5, 8, 9, 12}) {
      SCOPED_TRACE(testing::Message() << (leaf ? "leaf " : "branch ") << k);
      const uint32_t stored = uint32_t(k) + (leaf ? 4u : 8u);
      const uint16_t count = uint16_t(PageDataSize / stored);
      uint8_t image[IndexPageSize] = {};
      image[0] = leaf ? ptRootLeaf : ptRootBranch;
      PutLE16(image + 1, count);
      for (uint32_t i = 0; i < count; ++i) {
        uint8_t* entry = image + PageHeaderSize + i * stored;
        // The entry's number, big-endian in its last four key bytes.
        for (int b = 0; b < k; ++b) {
          const int shift = 8 * (k - 1 - b);
          entry[b] = shift < 32 ? uint8_t(i >> shift) : 0;
        }
        for (uint32_t b = uint32_t(k); b < stored; ++b) entry[b] = uint8_t(0x40 + i * 7 + b);
      }
      TMemoryPageOwner owner;
      TPage page;
      page.Setup(&owner, TestIndex, {.KeyLength = uint16_t(k), .Unique = true});
      page.Load(image, false);
      uint8_t again[IndexPageSize + 32];
      memset(again, 0xEE, sizeof again);
      page.Store(again);
      EXPECT_EQ(0, memcmp(image, again, IndexPageSize));
      EXPECT_TRUE(std::all_of(again + IndexPageSize, again + sizeof again, [](uint8_t b) { return b == 0xEE; }));
    }
  }
}

// The keys before a position on a branch follow every change of it: its
// key counts moved one at a time, and entries put in and taken out by
// splits and merges below, each after a count read at a random position.
TEST(IndexPage, KeysBeforeAPositionFollowEachChangeOfTheBranch) {
  constexpr int K = 8;
  TTreeFixture f(K, true, kcNone);
  auto keyOf = [](uint32_t n) {
    TKeyBytes key(K, 0);
    for (int i = 0; i < 4; ++i) key[size_t(K - 1 - i)] = uint8_t(n >> (8 * i));
    return key;
  };
  std::vector<uint32_t> present;
  for (uint32_t n = 1; n <= 4000; ++n) {
    f.tree.Insert(keyOf(n * 7), n);
    present.push_back(n * 7);
  }
  std::mt19937 random(15);
  uint32_t next = 4001 * 7;
  for (int round = 0; round < 150; ++round) {
    SCOPED_TRACE(round);
    {
      TPageRef root = f.Root();
      ASSERT_FALSE(root->IsLeaf());
      const int count = root->Count;
      root->SecondPosition = uint16_t(1 + random() % uint32_t(count + 1));
      root->KeysBefore(true);
      uint32_t sum = 0;
      for (int position = 1; position <= count + 1; ++position) {
        root->SecondPosition = uint16_t(position);
        ASSERT_EQ(sum, root->KeysBefore(true)) << "position " << position;
        if (position <= count) sum += root->KeyCountAt(position);
      }
      if (round % 3 == 0) {
        const int position = 1 + int(random() % uint32_t(count));
        root->SetKeyCountAt(position, root->KeyCountAt(position) + 1 + random() % 5);
        continue;
      }
    }
    // Enough keys in and out at one place to split or merge leaves there.
    if (round % 3 == 1) {
      for (int i = 0; i < 40; ++i) {
        next += 7;
        f.tree.Insert(keyOf(next), next);
      }
    } else {
      const size_t from = random() % (present.size() - 40);
      for (size_t i = from; i < from + 40; ++i) f.tree.Delete(keyOf(present[i]));
      present.erase(present.begin() + std::ptrdiff_t(from), present.begin() + std::ptrdiff_t(from + 40));
    }
  }
}

// A branch whose key counts alone changed puts the bytes a store of the
// counts takes along before them in place too: the page's stored bytes,
// from its header on for a change at its first entry of a short key.
TEST(IndexPage, KeyCountsStoredWithTheBytesBeforeThemAreThePagesStoredBytes) {
  constexpr uint32_t Lead = 16;
  for (int k : {4, 5, 8, 12, 40, 100}) {
    SCOPED_TRACE(k);
    TTreeFixture f(uint16_t(k), true, kcNone);
    for (uint32_t n = 1; n <= 3000; ++n) {
      TKeyBytes key(size_t(k), 0);
      for (int i = 0; i < 4; ++i) key[size_t(k - 1 - i)] = uint8_t(n >> (8 * i));
      if (k > 4) key[0] = uint8_t(1 + (n % 250));
      f.tree.Insert(key, n);
    }
    TPageRef root = f.Root();
    ASSERT_FALSE(root->IsLeaf());
    const int count = root->Count;
    ASSERT_GE(count, 3);
    const uint32_t stored = uint32_t(k) + 8u;
    for (auto [first, last] : {std::pair{1, 1}, {2, 2}, {count, count}, {1, 2}, {2, count}}) {
      SCOPED_TRACE(testing::Message() << first << ".." << last);
      uint8_t before[IndexPageSize], part[IndexPageSize], whole[IndexPageSize];
      root->Store(before);
      root->SetKeyCountAt(first, root->KeyCountAt(first) + 1);
      root->SetKeyCountAt(last, root->KeyCountAt(last) + 1);
      ASSERT_EQ(root->Modified, TPage::KeyCountsChanged);
      memset(part, 0xEE, sizeof part);
      uint32_t from = 0, to = 0;
      root->StoreKeyCounts(part, from, to, Lead);
      EXPECT_EQ(root->Modified, 0);
      root->Store(whole);
      EXPECT_EQ(from, PageHeaderSize + uint32_t(first - 1) * stored + uint32_t(k) + 4u);
      EXPECT_EQ(to, PageHeaderSize + uint32_t(last) * stored);
      const uint32_t start = std::min(from, to - Lead);
      EXPECT_EQ(0, memcmp(part + start, whole + start, to - start));
      // Nothing but the counts changed.
      EXPECT_EQ(0, memcmp(before, whole, from));
      EXPECT_EQ(0, memcmp(before + to, whole + to, IndexPageSize - to));
    }
  }
}

// A page object goes from one index to another without its entry bytes
// being zeroed: a compressed page read into one that held longer keys full
// of other bytes gets back exactly its keys, the removed zeros included,
// and stores the same image again.
TEST(IndexPage, APageReusedForAnotherIndexReadsBackOnlyItsOwnKeys) {
  TTreeFixture wide(120, true, kcNone);
  for (uint32_t n = 1; n <= 30; ++n) wide.tree.Insert(TKeyBytes(120, uint8_t(0xE0 + n % 16)), n);
  TPageRef used = wide.Root();
  ASSERT_GT(used->Count, 20);

  TTreeFixture small(40, false, kcFull);
  std::vector<TKeyBytes> keys;
  for (uint32_t n = 1; n <= 20; ++n) {
    keys.push_back(NonUniqueKey(n, 40));
    small.tree.Insert(keys.back(), n);
  }
  uint8_t image[IndexPageSize];
  small.Root()->Store(image);

  TPage& reused = *used;
  reused.Clear();
  reused.Setup(&small.owner, TestIndex, {.KeyLength = 40, .Compression = kcFull});
  reused.Load(image, false);
  ASSERT_EQ(reused.Count, 20);
  for (int i = 1; i <= reused.Count; ++i) {
    EXPECT_EQ(TKeyBytes(reused.KeyAt(i), reused.KeyAt(i) + 40), keys[size_t(i) - 1]) << "entry " << i;
    EXPECT_EQ(reused.PointerAt(i), uint32_t(i));
  }
  uint8_t again[IndexPageSize];
  reused.Store(again);
  EXPECT_EQ(0, memcmp(image, again, IndexPageSize));
}

TEST(IndexPage, DamagedPagesAreRefusedWithoutCrashing) {
  TMemoryPageOwner owner;
  uint8_t image[IndexPageSize] = {};
  auto loadAs = [&](uint16_t keyLength, bool unique, uint8_t compression) {
    TPage page;
    page.Setup(&owner, TestIndex, {.KeyLength = uint16_t(keyLength), .Unique = unique, .Compression = compression});
    page.Load(image, false);
  };

  image[0] = ptLeaf;
  PutLE16(image + 1, 300);  // 300 entries of 14 bytes do not fit
  ExpectPageError(8965, [&] { loadAs(10, true, kcNone); });
  PutLE16(image + 1, 65535);
  ExpectPageError(8965, [&] { loadAs(10, true, kcFull); });
  PutLE16(image + 1, 2);
  PutLE16(image + 11, 5000);  // more used bytes than the page has
  ExpectPageError(8965, [&] { loadAs(10, true, kcFull); });
  PutLE16(image + 11, 20);    // two entries claiming more bytes than used
  ExpectPageError(8965, [&] { loadAs(10, true, kcLeading); });
  PutLE16(image + 1, 1);
  PutLE16(image + 11, 12);
  image[13] = 3;  // the first entry cannot share bytes with a previous one
  ExpectPageError(8965, [&] { loadAs(10, true, kcFull); });
  image[13] = 0, image[14] = 11;  // more zeros removed than the key has
  ExpectPageError(8965, [&] { loadAs(10, true, kcFull); });
  image[0] = 9;
  ExpectPageError(8965, [&] { loadAs(10, true, kcNone); });

  ExpectPageError(8961, [&] { loadAs(0, true, kcNone); });
  ExpectPageError(8961, [&] { loadAs(600, true, kcNone); });
  ExpectPageError(8961, [&] { loadAs(4, false, kcNone); });
  ExpectPageError(8961, [&] { loadAs(10, true, 4); });

  TPage empty;
  empty.Setup(&owner, TestIndex, {.KeyLength = 10, .Unique = true});
  ExpectPageError(8965, [&] { empty.Search(ByteComparer(), image, 10); });
}

TEST(IndexPage, WalksRecordRunsAndBitmaps) {
  TTreeFixture f(10, true, kcNone);
  const uint32_t records[] = {5, 6, 7, 9, 10, 3};
  for (uint32_t i = 0; i < 6; ++i) f.tree.Insert(UniqueKey(i + 1, 10), records[i]);
  TPageRef leaf = f.Root();

  leaf->SecondPosition = 1;
  EXPECT_EQ(3, leaf->RecordRun(true, 10));
  EXPECT_EQ(2, leaf->RecordRun(true, 2));
  leaf->SecondPosition = 5;
  EXPECT_EQ(2, leaf->RecordRun(false, 10));

  TRecordsBitmap bitmap;
  bitmap.SetRecordCount(10);
  bitmap.SetBit(9);
  TKeyComparer compare = ByteComparer();
  uint32_t skipped = 0;
  leaf->SecondPosition = 1;
  EXPECT_EQ(TBitmapWalk::Found, leaf->SkipAbsent(bitmap, true, nullptr, nullptr, 0, skipped));
  EXPECT_EQ(4, leaf->SecondPosition);
  EXPECT_EQ(3u, skipped);
  TKeyBytes limit = UniqueKey(3, 10);
  leaf->SecondPosition = 1;
  EXPECT_EQ(TBitmapWalk::LimitPassed,
            leaf->SkipAbsent(bitmap, true, &compare, limit.data(), 10, skipped));
  leaf->SecondPosition = 5;
  EXPECT_EQ(TBitmapWalk::Found, leaf->SkipAbsent(bitmap, false, nullptr, nullptr, 0, skipped));

  bitmap.ClearAll();
  leaf->SecondPosition = 2;
  EXPECT_TRUE(leaf->AddRecords(bitmap, &compare, limit.data(), 10));
  EXPECT_EQ(2, bitmap.CountSet());
  EXPECT_TRUE(bitmap.IsSet(6) && bitmap.IsSet(7));

  // A record number beyond the table is index damage, not a bitmap write.
  bitmap.SetRecordCount(8);
  leaf->SecondPosition = 1;
  ExpectPageError(8965, [&] { leaf->AddRecords(bitmap, nullptr, nullptr, 0); });
}
