// A compressed leaf searched in its stored entries keeps restart points
// (an entry's place in the stored bytes and its whole key) and starts a
// search at the last point below the key: every search must end where a
// search of the leaf decoded whole ends, on a leaf fresh from its read and
// on one whose points were set by earlier searches, and after the leaf took
// inserts, removals and splits in its stored entries.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <set>
#include <tuple>
#include <vector>

#include "engIndexPage.h"
#include "engIndexTestTree.h"
#include "engLittleEndian.h"

namespace {


// Runs of keys sharing one, two or three leading bytes, a varying number
// of value bytes and then zeros (long keys are padded text); for a
// non-unique index runs of three equal values told apart by the row number
// at the end. Byte order reversed for a descending index.
TKeyBytes RestartKey(uint32_t n, int length, bool unique, bool descending) {
  TKeyBytes key(size_t(length), 0);
  const int body = length - (unique ? 0 : 4);
  const uint32_t value = unique ? n : n / 3;
  key[0] = uint8_t('a' + value / 64 % 26);
  key[1] = uint8_t('a' + value / 8 % 8);
  key[2] = uint8_t(1 + value % 8 * 30);
  for (uint32_t i = 0; i < value % 5 && 3 + int(i) < body; ++i) key[3 + i] = uint8_t(0x30 + (value * 13 + i) % 200);
  if (!unique) PutTestRowNumber(key, body, n);
  if (descending)
    for (uint8_t& byte : key) byte = uint8_t(~byte);
  return key;
}

using TImage = std::vector<uint8_t>;

struct TLeafKind {
  uint8_t compression;
  bool unique;
  bool descending;
  int length;
};

using TKeyMaker = std::function<TKeyBytes(uint32_t n)>;

// A root leaf of as many keys as one holds, as the page stores it.
TImage FullLeaf(const TLeafKind& kind, uint32_t& count, const TKeyMaker& keyOf) {
  auto build = [&kind, &keyOf](uint32_t keys, bool& split) {
    TMemoryPageOwner owner;
    owner.indexes[TestIndex] = {uint16_t(kind.length), kind.unique, kind.compression};
    TTestTree tree(owner, TestIndex, TestComparer(kind.descending), [&owner] { return owner.roots[TestIndex]; });
    split = false;
    uint32_t n = 1;
    for (; n <= keys && !split; ++n) {
      tree.Insert(keyOf(n), n);
      split = tree.Depth() > 1;
    }
    TImage image(IndexPageSize);
    TPageRef root(&owner, owner.GetTreePage(TestIndex, owner.roots[TestIndex]));
    root->Store(image.data());
    return std::make_pair(image, n - 1);
  };
  bool split = false;
  const uint32_t fits = build(1000, split).second - (split ? 1 : 0);
  count = fits;
  return build(fits, split).first;
}

TImage FullLeaf(const TLeafKind& kind, uint32_t& count) {
  return FullLeaf(kind, count, [&kind](uint32_t n) { return RestartKey(n, kind.length, kind.unique, kind.descending); });
}

std::unique_ptr<TPage> Loaded(TIndexPageOwner& owner, const TImage& image, const TLeafKind& kind) {
  return LoadedTestLeaf(owner, image.data(),
                        {.KeyLength = uint16_t(kind.length),
                         .Descending = kind.descending,
                         .Unique = kind.unique,
                         .Compression = kind.compression});
}

TSearchEnd SearchBothWays(TPage& page, const TKeyComparer& compare, const uint8_t* key, int length, bool counting) {
  TSearchEnd end;
  page.Position = 1;
  page.SecondPosition = 1;
  if (counting) end.found = page.SearchCounting(compare, key, length, TLeafSearchEnd::FirstNotBelow, end.keysBefore);
  else end.found = page.SearchForInsert(compare, key, length);
  end.position = page.Position;
  end.second = page.SecondPosition;
  return end;
}

// Every stored key, keys just above and just below each, below the first
// and above the last: in an order that sets the points from the leaf's
// end first, then at random.
std::vector<TKeyBytes> Probes(const TLeafKind& kind, uint32_t count) {
  std::vector<TKeyBytes> probes;
  for (uint32_t n = count + 1; n-- > 0;) {
    TKeyBytes key = RestartKey(n, kind.length, kind.unique, kind.descending);
    probes.push_back(key);
    TKeyBytes above = key;
    above[size_t(kind.length) - 1] = uint8_t(above[size_t(kind.length) - 1] + 1);
    probes.push_back(above);
    TKeyBytes below = key;
    below[size_t(kind.length) - 1] = uint8_t(below[size_t(kind.length) - 1] - 1);
    probes.push_back(below);
  }
  std::mt19937 random(count);
  std::shuffle(probes.begin() + 6, probes.end(), random);
  probes.push_back(TKeyBytes(size_t(kind.length), 0));
  probes.push_back(TKeyBytes(size_t(kind.length), 0xFF));
  return probes;
}

// Each probe, whole and cut to each length, counting and not, searched in
// leaf packed and unpacked before it (so it is searched in its stored
// entries, from the points earlier searches set): the same positions, hits
// and counts as in whole, decoded whole, and the same entry where it ends.
void SearchAsTheWholeLeaf(TPage& whole, TPage& leaf, const TKeyComparer& compare,
                          const std::vector<TKeyBytes>& probes, std::initializer_list<int> lengths) {
  int step = 0;
  for (const TKeyBytes& probe : probes) {
    for (int length : lengths) {
      for (bool counting : {false, true}) {
        leaf.Pack();
        leaf.Unpack();
        const TSearchEnd expected = SearchBothWays(whole, compare, probe.data(), length, counting);
        const TSearchEnd got = SearchBothWays(leaf, compare, probe.data(), length, counting);
        ASSERT_EQ(expected, got) << "step " << step << " length " << length << " counting " << counting;
        const int at = counting ? got.second : got.position;
        if (at >= 1 && at <= int(whole.Count)) {
          ASSERT_EQ(0, memcmp(whole.KeyAt(at), leaf.KeyAt(at), size_t(whole.KeyLength))) << "step " << step;
          ASSERT_EQ(whole.PointerAt(at), leaf.PointerAt(at));
        }
        ++step;
      }
    }
  }
}

}  // namespace

class IndexPageRestarts : public testing::TestWithParam<std::tuple<uint8_t, bool, bool, int>> {
protected:
  TLeafKind Kind() const {
    const auto [compression, unique, descending, length] = GetParam();
    return TLeafKind{compression, unique, descending, length};
  }
};

// Each search on a leaf packed and unpacked before it (so it is searched
// in its stored entries, from the points earlier searches set), keys whole
// and cut short (runs of equal entries that span points): the same
// positions, hits and counts as on the leaf decoded whole, and the same
// entry at the position found.
TEST_P(IndexPageRestarts, SearchesFromRestartPointsEndWhereAWholeLeafSearchEnds) {
  const TLeafKind kind = Kind();
  uint32_t count = 0;
  const TImage image = FullLeaf(kind, count);
  ASSERT_GE(count, uint32_t(2 * TPage::RestartInterval));
  const TKeyComparer compare = TestComparer(kind.descending);
  TMemoryPageOwner owner;
  std::unique_ptr<TPage> whole = Loaded(owner, image, kind);
  whole->KeyAt(whole->Count);
  std::unique_ptr<TPage> leaf = Loaded(owner, image, kind);
  const uint32_t fresh = leaf->Footprint();
  SearchAsTheWholeLeaf(*whole, *leaf, compare, Probes(kind, count), {kind.length, 3, 2, 1});
  // The points are the page's memory too, counted in the cache's budget.
  EXPECT_GT(leaf->Footprint(), fresh);
}

namespace {

// Packs and unpacks every idle compressed leaf after each change, as a
// cache does between uses, so that every search of a leaf is made in its
// stored entries from the points it kept.
class TRestingOwner : public TMemoryPageOwner {
public:
  void Rest() {
    for (auto& [offset, page] : pages) {
      if (page->Free || page->UseCount > 0 || !page->IsCompressedLeaf()) continue;
      page->Pack();
      page->Unpack();
    }
  }
};

}  // namespace

// Random inserts and removals through a tree whose leaves are searched
// between changes: leaves take the changes in their stored entries (and
// split in them) with their points kept, and every key's position found
// by a search is its rank, every absent key is not found.
TEST_P(IndexPageRestarts, PointsKeptThroughInsertsRemovalsAndSplitsLeadSearchesRight) {
  const TLeafKind kind = Kind();
  TRestingOwner owner;
  owner.indexes[TestIndex] = {uint16_t(kind.length), kind.unique, kind.compression};
  const TKeyComparer compare = TestComparer(kind.descending);
  TTestTree tree(owner, TestIndex, compare, [&owner] { return owner.roots[TestIndex]; });
  std::mt19937 random(7u + kind.compression * 4 + kind.unique * 2 + kind.descending + uint32_t(kind.length));
  const uint32_t highest = 900;
  std::set<TKeyBytes> present;
  auto findAll = [&](int round) {
    owner.Rest();
    std::vector<TKeyBytes> ordered(present.begin(), present.end());
    if (kind.descending) std::reverse(ordered.begin(), ordered.end());
    for (uint32_t rank = 0; rank < ordered.size(); rank += 3)
      ASSERT_EQ(rank + 1, tree.Find(ordered[rank])) << "round " << round << " rank " << rank;
    for (uint32_t n = 0; n < highest; n += 5) {
      const TKeyBytes key = RestartKey(n, kind.length, kind.unique, kind.descending);
      if (present.count(key) == 0) {
        ASSERT_EQ(0u, tree.Find(key)) << "round " << round << " key " << n;
      }
    }
  };
  std::vector<uint32_t> order(highest);
  for (uint32_t i = 0; i < highest; ++i) order[i] = i + 1;
  std::shuffle(order.begin(), order.end(), random);
  for (uint32_t i = 0; i < order.size(); ++i) {
    const TKeyBytes key = RestartKey(order[i], kind.length, kind.unique, kind.descending);
    tree.Insert(key, order[i]);
    present.insert(key);
    if (i % 150 == 149) findAll(int(i));
    if (HasFatalFailure()) return;
  }
  ASSERT_GT(tree.Depth(), 1);
  std::shuffle(order.begin(), order.end(), random);
  for (uint32_t i = 0; i < order.size() / 2; ++i) {
    const TKeyBytes key = RestartKey(order[i], kind.length, kind.unique, kind.descending);
    tree.Delete(key);
    present.erase(key);
    if (i % 60 == 59) {
      findAll(int(highest + i));
      if (HasFatalFailure()) return;
      // Some back in: inserts into groups whose points were set.
      for (uint32_t j = i - 20; j < i - 10; ++j) {
        const TKeyBytes back = RestartKey(order[j], kind.length, kind.unique, kind.descending);
        tree.Insert(back, order[j]);
        present.insert(back);
      }
    }
  }
  findAll(-1);
  EXPECT_EQ(present.size(), tree.Check().size());
}

namespace {

// As RestartKey, but the keys of the leaf's first 23 entries keep every
// byte of their body (no zeros at the end) and later ones only the three
// that order them, or the other way round: the first restart point's key
// (the 17th entry's) is then far longer, or far shorter, than those of the
// points after it.
TKeyBytes LengthShiftKey(uint32_t n, const TLeafKind& kind, bool longFirst) {
  TKeyBytes key(size_t(kind.length), 0);
  const int body = kind.length - (kind.unique ? 0 : 4);
  const uint32_t value = kind.unique ? n : n / 3;
  key[0] = uint8_t('a' + value / 64 % 26);
  key[1] = uint8_t('a' + value / 8 % 8);
  key[2] = uint8_t(1 + value % 8 * 30);
  const bool whole = (n < 24) == longFirst;
  for (int i = 3; whole && i < body; ++i) key[size_t(i)] = uint8_t(0x41 + (value + uint32_t(i)) % 50);
  if (!kind.unique) PutTestRowNumber(key, body, n);
  if (kind.descending)
    for (uint8_t& byte : key) byte = uint8_t(~byte);
  return key;
}

// Every key of the leaf and one just above each, at random.
std::vector<TKeyBytes> ShiftProbes(const TLeafKind& kind, uint32_t count, bool longFirst) {
  std::vector<TKeyBytes> probes;
  for (uint32_t n = 1; n <= count; ++n) {
    TKeyBytes key = LengthShiftKey(n, kind, longFirst);
    probes.push_back(key);
    key[size_t(kind.length) - 1] = uint8_t(key[size_t(kind.length) - 1] + (kind.descending ? -1 : 1));
    probes.push_back(key);
  }
  std::mt19937 random(count + (longFirst ? 1 : 0));
  std::shuffle(probes.begin(), probes.end(), random);
  return probes;
}

}  // namespace

// The room a leaf's points take is set at its first point: a leaf whose
// later points' keys are far longer or far shorter than the first's still
// ends each search where a search of the leaf decoded whole ends (a fresh
// leaf's first searches add the points, later ones start from them), and
// the points never take more of the page's memory than their share of
// its stored bytes, however their keys' lengths run.
TEST_P(IndexPageRestarts, PointsWhoseKeysDifferInLengthFromTheFirstLeadSearchesRightWithinTheirShare) {
  const TLeafKind kind = Kind();
  const TKeyComparer compare = TestComparer(kind.descending);
  for (bool longFirst : {true, false}) {
    uint32_t count = 0;
    const TImage image = FullLeaf(kind, count, [&kind, longFirst](uint32_t n) { return LengthShiftKey(n, kind, longFirst); });
    ASSERT_GE(count, uint32_t(2 * TPage::RestartInterval)) << "long first " << longFirst;
    TMemoryPageOwner owner;
    std::unique_ptr<TPage> whole = Loaded(owner, image, kind);
    whole->KeyAt(whole->Count);
    std::unique_ptr<TPage> leaf = Loaded(owner, image, kind);
    leaf->Pack();
    const uint32_t bare = leaf->Footprint();
    const uint32_t share = leaf->UsedBytes / TPage::RestartShare;
    int step = 0;
    for (const TKeyBytes& probe : ShiftProbes(kind, count, longFirst)) {
      leaf->Unpack();
      const bool counting = step % 2 == 1;
      const TSearchEnd expected = SearchBothWays(*whole, compare, probe.data(), kind.length, counting);
      const TSearchEnd got = SearchBothWays(*leaf, compare, probe.data(), kind.length, counting);
      ASSERT_EQ(expected, got) << "long first " << longFirst << " step " << step;
      leaf->Pack();
      ASSERT_LE(leaf->Footprint(), bare + share) << "long first " << longFirst << " step " << step;
      ++step;
    }
    EXPECT_GT(leaf->Footprint(), bare) << "long first " << longFirst;
  }
}

namespace {

// Keys of padded fields one after another, as the text indexes build
// them: the row's number in two bytes (the high one often zero), then
// names of one to nine bytes in fields of ten, so that runs of zeros lie
// inside the key, some of them shorter than a word and some longer, next
// to bytes a word-wise zero test could take for zeros (1, 0x80, 0xFF).
TKeyBytes FieldsKey(uint32_t n, const TLeafKind& kind) {
  static const uint8_t odd[] = {1, 0x80, 0xFF, 0x7F, 'k'};
  TKeyBytes key(size_t(kind.length), 0);
  const int body = kind.length - (kind.unique ? 0 : 4);
  const uint32_t value = kind.unique ? n : n / 3;
  key[0] = uint8_t(value >> 8);
  key[1] = uint8_t(value);
  for (int field = 0, start = 2; start < body; ++field, start += 10) {
    const uint32_t seed = value / 4 + uint32_t(field) * 7;
    const int used = 1 + int(seed % 9);
    for (int i = 0; i < used && start + i < body; ++i)
      key[size_t(start + i)] = i % 3 == 2 ? odd[(seed + uint32_t(i)) % 5] : uint8_t('a' + (seed * 5 + uint32_t(i)) % 26);
  }
  if (!kind.unique) PutTestRowNumber(key, body, n);
  if (kind.descending)
    for (uint8_t& byte : key) byte = uint8_t(~byte);
  return key;
}

}  // namespace

// A leaf of such keys, searched again and again from the points earlier
// searches set (packed and unpacked between searches, as a cache does),
// with keys whole and cut short anywhere in a field or its padding: each
// search ends where a search of the leaf decoded whole ends, and lands on
// the same entry.
TEST_P(IndexPageRestarts, PointsOfKeysOfPaddedFieldsLeadSearchesRight) {
  const TLeafKind kind = Kind();
  const TKeyComparer compare = TestComparer(kind.descending);
  uint32_t count = 0;
  const TImage image = FullLeaf(kind, count, [&kind](uint32_t n) { return FieldsKey(n, kind); });
  ASSERT_GE(count, uint32_t(2 * TPage::RestartInterval));
  TMemoryPageOwner owner;
  std::unique_ptr<TPage> whole = Loaded(owner, image, kind);
  whole->KeyAt(whole->Count);
  std::unique_ptr<TPage> leaf = Loaded(owner, image, kind);
  std::vector<TKeyBytes> probes;
  for (uint32_t n = 0; n <= count + 1; ++n) {
    TKeyBytes key = FieldsKey(n, kind);
    probes.push_back(key);
    for (int change : {1, -1}) {
      TKeyBytes near = key;
      near[size_t(kind.length) - 1] = uint8_t(near[size_t(kind.length) - 1] + change);
      probes.push_back(near);
    }
  }
  std::mt19937 random(count);
  std::shuffle(probes.begin(), probes.end(), random);
  const uint32_t fresh = leaf->Footprint();
  SearchAsTheWholeLeaf(*whole, *leaf, compare, probes, {kind.length, kind.length / 2 + 1, 7, 3});
  // Padded keys take points too, within their share.
  EXPECT_GT(leaf->Footprint(), fresh);
}

// A page object given up by the cache serves the next page read, and the
// page read again later may land in it: what the searches of the page it
// held left behind (its points) must not lead a search of the next astray,
// and the page read again searches as it did the first time.
TEST_P(IndexPageRestarts, APageReadAgainIntoAReusedObjectSearchesAsBefore) {
  const TLeafKind kind = Kind();
  const TKeyComparer compare = TestComparer(kind.descending);
  uint32_t count = 0;
  const TImage first = FullLeaf(kind, count);
  uint32_t otherCount = 0;
  const TImage other = FullLeaf(kind, otherCount, [&kind](uint32_t n) { return LengthShiftKey(n, kind, true); });
  TMemoryPageOwner owner;
  std::unique_ptr<TPage> whole = Loaded(owner, first, kind);
  whole->KeyAt(whole->Count);
  std::unique_ptr<TPage> otherWhole = Loaded(owner, other, kind);
  otherWhole->KeyAt(otherWhole->Count);
  std::unique_ptr<TPage> reused = Loaded(owner, first, kind);
  const std::vector<TKeyBytes> probes = Probes(kind, count);
  const std::vector<TKeyBytes> otherProbes = ShiftProbes(kind, otherCount, true);
  // Each read of a page is searched by a run of probes, packed and
  // unpacked between searches as a cache does.
  auto searchRun = [&](TPage& expectedPage, const std::vector<TKeyBytes>& run, size_t from, int read) {
    for (size_t i = from; i < std::min(run.size(), from + 120); ++i) {
      for (bool counting : {false, true}) {
        const TSearchEnd expected = SearchBothWays(expectedPage, compare, run[i].data(), kind.length, counting);
        const TSearchEnd got = SearchBothWays(*reused, compare, run[i].data(), kind.length, counting);
        ASSERT_EQ(expected, got) << "read " << read << " probe " << i << " counting " << counting;
        reused->Pack();
        reused->Unpack();
      }
    }
  };
  auto packedFootprint = [&reused] {
    reused->Pack();
    const uint32_t bytes = reused->Footprint();
    reused->Unpack();
    return bytes;
  };
  uint32_t firstFootprint = 0;
  for (int read = 0; read < 6; ++read) {
    const bool ofFirst = read % 2 == 0;
    if (read > 0) {
      reused->Clear();
      reused->Load(ofFirst ? first.data() : other.data(), false);
    }
    searchRun(ofFirst ? *whole : *otherWhole, ofFirst ? probes : otherProbes, size_t(read / 2) * 40, read);
    if (HasFatalFailure()) return;
    if (read == 0) firstFootprint = packedFootprint();
  }
  // The same reads searched the same way take the same memory again.
  reused->Clear();
  reused->Load(first.data(), false);
  searchRun(*whole, probes, 0, 6);
  EXPECT_EQ(firstFootprint, packedFootprint());
}

INSTANTIATE_TEST_SUITE_P(CompressedLeaves, IndexPageRestarts,
                         testing::Combine(testing::Values(kcLeading, kcTrailing, kcFull), testing::Bool(),
                                          testing::Bool(), testing::Values(8, 120)));
