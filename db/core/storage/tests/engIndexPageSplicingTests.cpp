// A compressed leaf that keeps its stored entries takes inserts and
// removals in them, encoding only the entry put in and the one after the
// change: whatever was decoded before, it must store exactly what a leaf
// that takes the same changes in its slots alone and is packed whole
// stores, on one leaf and through splits and emptied leaves of a tree.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <tuple>
#include <vector>

#include "engIndexPage.h"
#include "engIndexTestTree.h"
#include "engLittleEndian.h"

namespace {


// Keys in groups that share long leading runs (past the 255 bytes a fully
// compressed entry can record, for long keys) and groups that share few,
// a varying number of value bytes and then zeros; a non-unique index's
// keys come in runs of three equal values told apart by the row number at
// the end.
TKeyBytes SpliceKey(uint32_t n, int length, bool unique) {
  TKeyBytes key(size_t(length), 0);
  const int body = length - (unique ? 0 : 4);
  const uint32_t value = unique ? n : n / 3;
  const uint32_t group = value / 40;
  const int prefix = length > 255 ? (group % 2 == 0 ? 262 : 90) : 6;
  for (int i = 0; i < prefix; ++i) key[size_t(i)] = uint8_t('a' + (i * 7 + group * 3) % 26);
  key[size_t(prefix)] = uint8_t(1 + group);
  key[size_t(prefix) + 1] = uint8_t(value % 40 * 5);
  for (uint32_t i = 0; i < value % 4 && prefix + 2 + int(i) < body; ++i)
    key[size_t(prefix) + 2 + i] = uint8_t(0x41 + (value * 11 + i) % 50);
  if (!unique) PutTestRowNumber(key, body, n);
  return key;
}

using TImage = std::vector<uint8_t>;

// The page's image, its modified flag as it was.
TImage Stored(TPage& page) {
  TImage image(IndexPageSize);
  const uint8_t modified = page.Modified;
  page.Store(image.data());
  page.Modified = modified;
  return image;
}

// A copy that keeps no stored entries, so that it takes every change in
// its slots alone and packs them whole when stored.
std::unique_ptr<TPage> WholeCopy(TIndexPageOwner& owner, const TPage& page) {
  auto copy = std::make_unique<TPage>();
  copy->Owner = &owner;
  copy->Assign(page);
  copy->Modified = page.Modified;
  return copy;
}

// The first byte at which two images differ, -1 when none does.
long FirstDifference(const TImage& a, const TImage& b) {
  const auto [inA, inB] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
  return inA == a.end() && inB == b.end() ? -1 : long(inA - a.begin());
}

std::unique_ptr<TPage> Loaded(TIndexPageOwner& owner, const TImage& image, int length, bool unique,
                              uint8_t compression) {
  auto page = std::make_unique<TPage>();
  page->Setup(&owner, TestIndex, {.KeyLength = uint16_t(length), .Unique = unique, .Compression = compression});
  page->Load(image.data(), false);
  return page;
}

void InsertInto(TPage& page, const TKeyBytes& key, uint32_t record) {
  if (page.Count == 0) page.Position = 0;
  else page.SearchForInsert(TestComparer(), key.data(), int(key.size()));
  page.InsertEntry(key.data(), record, 0);
}

void DeleteFrom(TPage& page, const TKeyBytes& key) {
  ASSERT_TRUE(page.Search(TestComparer(), key.data(), int(key.size())));
  page.DeleteEntry();
}

void ExpectSameEntries(const TPage& expected, const TPage& got) {
  ASSERT_EQ(expected.Count, got.Count);
  for (int i = 1; i <= expected.Count; ++i) {
    ASSERT_EQ(0, memcmp(expected.KeyAt(i), got.KeyAt(i), expected.KeyLength)) << "entry " << i;
    ASSERT_EQ(expected.PointerAt(i), got.PointerAt(i)) << "entry " << i;
  }
}

// Random inserts and removals on one leaf, a third of them at its first
// or last entry, each stored after the change by the leaf changed in its
// stored entries and by one changed in its slots alone.
void ChangeOneLeafBothWays(const TImage& start, std::set<uint32_t> present, uint32_t highest, int length,
                           bool unique, uint8_t compression, uint32_t seed) {
  TMemoryPageOwner owner;
  std::mt19937 random(seed);
  std::unique_ptr<TPage> probe = Loaded(owner, start, length, unique, compression);
  const int count = probe->Count;
  for (int decodedFirst : {0, 1, count / 2, count}) {
    std::unique_ptr<TPage> spliced = Loaded(owner, start, length, unique, compression);
    if (decodedFirst > 0) spliced->KeyAt(decodedFirst);
    std::unique_ptr<TPage> whole = WholeCopy(owner, *Loaded(owner, start, length, unique, compression));
    std::set<uint32_t> keys = present;
    for (int step = 0; step < 24; ++step) {
      std::unique_ptr<TPage> next = WholeCopy(owner, *whole);
      const bool room = spliced->UsedBytes + 2 * (length + 6) < int(PageDataSize);
      const int where = int(random() % 6);  // 0: first entry, 1: last, else anywhere
      if (room && (random() % 2 == 0 || keys.size() < 3)) {
        uint32_t n = where == 0 ? 0 : where == 1 ? highest + 1 : uint32_t(random() % (highest + 1));
        while (keys.count(n)) ++n;
        highest = std::max(highest, n);
        keys.insert(n);
        InsertInto(*spliced, SpliceKey(n, length, unique), 1000 + n);
        InsertInto(*next, SpliceKey(n, length, unique), 1000 + n);
      } else {
        auto at = keys.begin();
        if (where == 1) at = std::prev(keys.end());
        else if (where > 1) std::advance(at, random() % keys.size());
        DeleteFrom(*spliced, SpliceKey(*at, length, unique));
        DeleteFrom(*next, SpliceKey(*at, length, unique));
        keys.erase(at);
      }
      whole = std::move(next);
      ASSERT_EQ(-1, FirstDifference(Stored(*whole), Stored(*spliced)))
          << "step " << step << " decoded first " << decodedFirst;
      // Read again now and then: later changes meet a leaf decoded only
      // as far as their searches go.
      if (step % 5 == 4) spliced = Loaded(owner, Stored(*spliced), length, unique, compression);
    }
    ExpectSameEntries(*whole, *spliced);
  }
}

}  // namespace

class IndexPageSplicing : public testing::TestWithParam<std::tuple<uint8_t, bool, int>> {};

TEST_P(IndexPageSplicing, ALeafChangedInItsStoredEntriesStoresWhatAWholeLeafStores) {
  const auto [compression, unique, length] = GetParam();
  TMemoryPageOwner owner;
  TPage leaf;
  leaf.Setup(&owner, TestIndex, {.KeyLength = uint16_t(length), .Unique = unique, .Compression = compression});
  leaf.SetPageType(ptRootLeaf);
  // Every other key, so that others go in between; two thirds full.
  std::set<uint32_t> present;
  uint32_t n = 2;
  for (; leaf.UsedBytes < PageDataSize * 2 / 3; n += 2) {
    InsertInto(leaf, SpliceKey(n, length, unique), 1000 + n);
    present.insert(n);
  }
  ASSERT_GT(leaf.Count, 8);
  for (uint32_t seed = 1; seed <= 6; ++seed)
    ChangeOneLeafBothWays(Stored(leaf), present, n, length, unique, compression, seed);
}

namespace {

// Keeps the pages' stored entries as a cache would: written now and then
// (the write keeps what it wrote), read again from what was written, packed
// while idle and unpacked when taken.
class TCachingOwner : public TMemoryPageOwner {
public:
  TPage* GetTreePage(uint8_t indexNo, uint32_t offset) override {
    TPage* page = TMemoryPageOwner::GetTreePage(indexNo, offset);
    if (page->Packed()) page->Unpack();
    return page;
  }
  void Rest(int round) {
    for (auto& [offset, page] : pages) {
      if (page->Free || page->UseCount > 0 || page->Packed()) continue;
      const TImage image = Stored(*page);
      if (!page->IsCompressedLeaf()) continue;
      if (round % 3 == 1) {
        page->Clear();
        page->Load(image.data(), false);
      } else if (round % 3 == 2 && page->WorthPacking()) {
        page->Pack();
      }
    }
  }
};

// Takes every compressed leaf as a whole copy without stored entries, so
// that all its changes are made in its slots alone.
class TWholeLeavesOwner : public TMemoryPageOwner {
public:
  TPage* GetTreePage(uint8_t indexNo, uint32_t offset) override {
    auto found = pages.find(offset);
    if (found != pages.end() && found->second->UseCount == 0 && !found->second->Free &&
        found->second->IsCompressedLeaf()) {
      std::unique_ptr<TPage> copy = WholeCopy(*this, *found->second);
      delete found->second;
      found->second = copy.release();
    }
    return TMemoryPageOwner::GetTreePage(indexNo, offset);
  }
};

std::map<uint32_t, TImage> StoredPages(TMemoryPageOwner& owner) {
  std::map<uint32_t, TImage> images;
  for (auto& [offset, page] : owner.pages) images[offset] = Stored(*page);
  return images;
}

}  // namespace

// Leaves split (a half's entries encoded afresh), empty and leave the
// tree, and are changed in their stored entries in every state a cache
// leaves them in: the tree's pages store what they store when every leaf
// is changed in its slots alone.
TEST_P(IndexPageSplicing, ATreeOfLeavesChangedInTheirStoredEntriesStoresWhatWholeLeavesStore) {
  const auto [compression, unique, length] = GetParam();
  TCachingOwner spliced;
  TWholeLeavesOwner whole;
  spliced.indexes[TestIndex] = whole.indexes[TestIndex] = {uint16_t(length), unique, compression};
  TTestTree splicedTree(spliced, TestIndex, TestComparer(), [&spliced] { return spliced.roots[TestIndex]; });
  TTestTree wholeTree(whole, TestIndex, TestComparer(), [&whole] { return whole.roots[TestIndex]; });
  std::mt19937 random(5u + compression * 2 + unique + uint32_t(length));
  std::vector<uint32_t> order(length > 255 ? 700 : 1100);
  for (uint32_t i = 0; i < order.size(); ++i) order[i] = i + 1;
  std::shuffle(order.begin(), order.end(), random);
  int round = 0;
  auto compare = [&] {
    spliced.Rest(round++);
    const std::map<uint32_t, TImage> expected = StoredPages(whole);
    const std::map<uint32_t, TImage> got = StoredPages(spliced);
    ASSERT_EQ(expected.size(), got.size());
    for (const auto& [offset, image] : expected)
      ASSERT_EQ(-1, FirstDifference(image, got.at(offset))) << "page " << offset << " round " << round;
  };
  for (size_t i = 0; i < order.size(); ++i) {
    splicedTree.Insert(SpliceKey(order[i], length, unique), order[i]);
    wholeTree.Insert(SpliceKey(order[i], length, unique), order[i]);
    if (i % 7 == 6) {
      ASSERT_NO_FATAL_FAILURE(compare());
    }
  }
  ASSERT_GT(splicedTree.Depth(), 1);
  // The middle third deleted in key order empties whole leaves, which
  // leave the tree; then all but a few in random order.
  std::sort(order.begin(), order.end());
  const long third = long(order.size() / 3);
  std::rotate(order.begin(), order.begin() + third, order.begin() + 2 * third);
  std::shuffle(order.begin() + third, order.end(), random);
  for (size_t i = 0; i + 10 < order.size(); ++i) {
    splicedTree.Delete(SpliceKey(order[i], length, unique));
    wholeTree.Delete(SpliceKey(order[i], length, unique));
    if (i % 7 == 6) {
      ASSERT_NO_FATAL_FAILURE(compare());
    }
  }
  ASSERT_NO_FATAL_FAILURE(compare());
  EXPECT_EQ(wholeTree.Check(), splicedTree.Check());
}

INSTANTIATE_TEST_SUITE_P(CompressedLeaves, IndexPageSplicing,
                         testing::Combine(testing::Values(kcLeading, kcTrailing, kcFull), testing::Bool(),
                                          testing::Values(24, 300)));

// Another writer may store shorter shared runs than possible: the entries
// a change does not touch keep theirs, as in a leaf changed in its slots.
TEST(IndexPageSplicingOthers, ShorterSharedRunsOfAnotherWriterStayAsTheyWere) {
  constexpr int length = 24;
  for (bool unique : {true, false}) {
    TImage image(IndexPageSize, 0);
    uint8_t* p = image.data() + PageHeaderSize;
    std::set<uint32_t> present;
    uint32_t n = 2;
    for (; p + 2 + length + 4 < image.data() + PageHeaderSize + PageDataSize * 2 / 3; n += 2) {
      const TKeyBytes key = SpliceKey(n, length, unique);
      PutLE16(p, 0);
      memcpy(p + 2, key.data(), length);
      PutLE32(p + 2 + length, 1000 + n);
      p += 2 + length + 4;
      present.insert(n);
    }
    image[0] = ptRootLeaf;
    PutLE16(image.data() + 1, uint16_t(present.size()));
    PutLE16(image.data() + 11, uint16_t(p - image.data() - PageHeaderSize));
    ChangeOneLeafBothWays(image, present, n, length, unique, kcLeading, 11);
  }
}

// A split encodes every entry of both halves afresh, which changes the
// entries another writer stored with fewer shared bytes than possible: a
// leaf holding one such entry, before, at or after the entry it splits
// at, splits as a leaf split in its slots does.
TEST(IndexPageSplicingOthers, ALeafWithAShorterSharedRunSplitsAsAWholeLeafSplits) {
  constexpr int length = 24;
  constexpr int entryBytes = 2 + length + 4;  // the most a leading-compressed entry stores
  for (bool unique : {true, false}) {
    std::vector<TKeyBytes> keys;
    uint32_t n = 2;
    for (int used = 0; used + entryBytes < int(PageDataSize) - 40; n += 2) {
      keys.push_back(SpliceKey(n, length, unique));
      used += entryBytes;
    }
    for (size_t shortAt = 1; shortAt < keys.size(); ++shortAt) {
      // Each entry shares what it can with the one before, but one.
      TImage image(IndexPageSize, 0);
      uint8_t* p = image.data() + PageHeaderSize;
      for (size_t i = 0; i < keys.size(); ++i) {
        int shared = 0;
        if (i > 0 && i != shortAt)
          shared = int(std::mismatch(keys[i].begin(), keys[i].end(), keys[i - 1].begin()).first - keys[i].begin());
        PutLE16(p, uint16_t(shared));
        memcpy(p + 2, keys[i].data() + shared, size_t(length - shared));
        PutLE32(p + 2 + length - shared, uint32_t(1000 + i));
        p += 2 + length - shared + 4;
      }
      image[0] = ptRootLeaf;
      PutLE16(image.data() + 1, uint16_t(keys.size()));
      PutLE16(image.data() + 11, uint16_t(p - image.data() - PageHeaderSize));

      TCachingOwner spliced;
      TWholeLeavesOwner whole;
      for (TMemoryPageOwner* owner : std::initializer_list<TMemoryPageOwner*>{&spliced, &whole}) {
        owner->indexes[TestIndex] = {uint16_t(length), unique, kcLeading};
        TPage* root = owner->NewTreePage(TestIndex);
        root->Load(image.data(), false);
        owner->roots[TestIndex] = root->Offset;
        owner->ReleaseTreePage(root);
      }
      TTestTree splicedTree(spliced, TestIndex, TestComparer(), [&spliced] { return spliced.roots[TestIndex]; });
      TTestTree wholeTree(whole, TestIndex, TestComparer(), [&whole] { return whole.roots[TestIndex]; });
      uint32_t next = n;
      for (int inserts = 0; splicedTree.Depth() < 2 || inserts < 4; ++inserts, next += 2) {
        ASSERT_LT(inserts, 200);
        splicedTree.Insert(SpliceKey(next, length, unique), next);
        wholeTree.Insert(SpliceKey(next, length, unique), next);
        const std::map<uint32_t, TImage> expected = StoredPages(whole);
        const std::map<uint32_t, TImage> got = StoredPages(spliced);
        ASSERT_EQ(expected.size(), got.size());
        for (const auto& [offset, stored] : expected)
          ASSERT_EQ(-1, FirstDifference(stored, got.at(offset)))
              << "page " << offset << " short entry " << shortAt << " insert " << inserts;
      }
    }
  }
}
