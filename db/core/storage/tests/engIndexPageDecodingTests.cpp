// A compressed leaf read from disk is decoded only as far as it is read,
// and searched in one pass as it decodes: every search must end where a
// binary search over the whole decoded leaf ends, and every change must
// store what a leaf decoded whole stores.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <tuple>
#include <vector>

#include "engErrors.h"
#include "engIndexPage.h"
#include "engIndexTestTree.h"
#include "engLittleEndian.h"

namespace {

constexpr int KeyLength = 24;

// Runs of keys sharing their first bytes, ends of zeros of varying length
// (trailing compression), and for a non-unique index runs of equal values
// kept apart by the row number at the end.
TKeyBytes LeafKey(uint32_t n, bool unique) {
  TKeyBytes key(KeyLength, 0);
  const uint32_t value = unique ? n : n / 3;
  key[0] = 1;
  key[1] = uint8_t('A' + value / 16);
  key[2] = uint8_t(value % 16 * 7);
  for (uint32_t i = 0; i < value % 5; ++i) key[3 + i] = uint8_t(0x30 + (value * 13 + i) % 200);
  if (!unique) PutTestRowNumber(key, KeyLength - 4, n);
  return key;
}

// Byte order reversed for a descending index, so that the page is in the
// comparer's order either way.
TKeyBytes Ordered(TKeyBytes key, bool descending) {
  if (descending)
    for (uint8_t& byte : key) byte = uint8_t(~byte);
  return key;
}

struct TLeafImage {
  uint8_t bytes[IndexPageSize] = {};
};

// A root leaf of count keys, as the page stores it.
TLeafImage StoredLeaf(uint8_t compression, bool unique, bool descending, uint32_t count) {
  TMemoryPageOwner owner;
  owner.indexes[TestIndex] = {KeyLength, unique, compression};
  TTestTree tree(owner, TestIndex, TestComparer(descending), [&owner] { return owner.roots[TestIndex]; });
  for (uint32_t n = 1; n <= count; ++n) tree.Insert(Ordered(LeafKey(n, unique), descending), n);
  TPageRef root(&owner, owner.GetTreePage(TestIndex, owner.roots[TestIndex]));
  EXPECT_EQ(ptRootLeaf, root->PageType);
  TLeafImage image;
  root->Store(image.bytes);
  return image;
}

std::unique_ptr<TPage> LoadedLeaf(TIndexPageOwner& owner, const TLeafImage& image, uint8_t compression, bool unique,
                                  bool descending) {
  return LoadedTestLeaf(owner, image.bytes,
                        {.KeyLength = KeyLength, .Descending = descending, .Unique = unique, .Compression = compression});
}

enum class TSearchKind { Plain, ForInsert, LastNotAbove, FirstNotBelow, PastLower };

TSearchEnd SearchOnce(TPage& page, TSearchKind kind, const TKeyComparer& compare, const uint8_t* key, int length) {
  TSearchEnd end;
  page.Position = 1;
  page.SecondPosition = 1;
  switch (kind) {
    case TSearchKind::Plain: end.found = page.Search(compare, key, length); break;
    case TSearchKind::ForInsert: end.found = page.SearchForInsert(compare, key, length); break;
    case TSearchKind::LastNotAbove:
      end.found = page.SearchCounting(compare, key, length, TLeafSearchEnd::LastNotAbove, end.keysBefore);
      break;
    case TSearchKind::FirstNotBelow:
      end.found = page.SearchCounting(compare, key, length, TLeafSearchEnd::FirstNotBelow, end.keysBefore);
      break;
    case TSearchKind::PastLower:
      end.found = page.SearchCounting(compare, key, length, TLeafSearchEnd::PastLower, end.keysBefore);
      break;
  }
  end.position = page.Position;
  end.second = page.SecondPosition;
  return end;
}

}  // namespace

class IndexPageDecoding : public testing::TestWithParam<std::tuple<uint8_t, bool, bool>> {};

// Every stored key whole and cut short (runs of equal prefixes), keys
// between two entries, below the first and above the last, searched each
// way on a leaf fresh from its read, on one decoded part way, and on one
// decoded whole: the same positions, hits and counts, and the same key and
// record at the position found.
TEST_P(IndexPageDecoding, SearchesEndWhereTheyEndOnALeafDecodedWhole) {
  const auto [compression, unique, descending] = GetParam();
  const uint32_t count = 60;
  const TLeafImage image = StoredLeaf(compression, unique, descending, count);
  const TKeyComparer compare = TestComparer(descending);
  TMemoryPageOwner owner;
  std::unique_ptr<TPage> whole = LoadedLeaf(owner, image, compression, unique, descending);
  ASSERT_EQ(count, whole->Count);
  whole->KeyAt(whole->Count);

  std::vector<TKeyBytes> probes;
  for (uint32_t n = 0; n <= count + 1; ++n) {
    TKeyBytes key = Ordered(LeafKey(n, unique), descending);
    probes.push_back(key);
    key[KeyLength - 1] = uint8_t(key[KeyLength - 1] + 1);  // between this key and the next
    probes.push_back(key);
  }
  probes.push_back(TKeyBytes(KeyLength, 0));
  probes.push_back(TKeyBytes(KeyLength, 0xFF));
  const TSearchKind kinds[] = {TSearchKind::Plain, TSearchKind::ForInsert, TSearchKind::LastNotAbove,
                               TSearchKind::FirstNotBelow, TSearchKind::PastLower};
  for (const TKeyBytes& probe : probes) {
    for (int length : {KeyLength, 3, 2, 1}) {
      for (TSearchKind kind : kinds) {
        for (int decodedFirst : {0, 1, 17}) {
          std::unique_ptr<TPage> lazy = LoadedLeaf(owner, image, compression, unique, descending);
          if (decodedFirst > 0) lazy->KeyAt(decodedFirst);
          const TSearchEnd expected = SearchOnce(*whole, kind, compare, probe.data(), length);
          const TSearchEnd got = SearchOnce(*lazy, kind, compare, probe.data(), length);
          ASSERT_EQ(expected, got) << "kind " << int(kind) << " length " << length << " decoded " << decodedFirst;
          const int at = kind == TSearchKind::Plain || kind == TSearchKind::ForInsert ? got.position : got.second;
          if (at >= 1 && at <= int(count)) {
            EXPECT_EQ(0, memcmp(whole->KeyAt(at), lazy->KeyAt(at), KeyLength));
            EXPECT_EQ(whole->PointerAt(at), lazy->PointerAt(at));
          }
        }
      }
    }
  }
}

// Changes to a leaf decoded part way (an insert, a delete, a new link)
// store what the same changes to a leaf decoded whole store.
TEST_P(IndexPageDecoding, ALeafChangedPartWayDecodedStoresWhatAWholeOneStores) {
  const auto [compression, unique, descending] = GetParam();
  const TLeafImage image = StoredLeaf(compression, unique, descending, 40);
  const TKeyComparer compare = TestComparer(descending);
  TMemoryPageOwner owner;
  auto change = [&](TPage& page) {
    const TKeyBytes fresh = Ordered(LeafKey(77, unique), descending);
    page.SearchForInsert(compare, fresh.data(), KeyLength);
    page.InsertEntry(fresh.data(), 77, 0);
    const TKeyBytes gone = Ordered(LeafKey(2, unique), descending);
    ASSERT_TRUE(page.Search(compare, gone.data(), KeyLength));
    page.DeleteEntry();
  };
  std::unique_ptr<TPage> whole = LoadedLeaf(owner, image, compression, unique, descending);
  whole->KeyAt(whole->Count);
  change(*whole);
  std::unique_ptr<TPage> lazy = LoadedLeaf(owner, image, compression, unique, descending);
  lazy->KeyAt(3);
  change(*lazy);
  TLeafImage expected;
  TLeafImage got;
  whole->Store(expected.bytes);
  lazy->Store(got.bytes);
  EXPECT_EQ(0, memcmp(expected.bytes, got.bytes, IndexPageSize));

  // Only the link changes: the entries go out as they were read.
  std::unique_ptr<TPage> linked = LoadedLeaf(owner, image, compression, unique, descending);
  linked->SetRight(3 * IndexPageSize);
  linked->Store(got.bytes);
  EXPECT_EQ(3 * IndexPageSize, GetLE32(got.bytes + 7));
  EXPECT_EQ(0, memcmp(image.bytes + 11, got.bytes + 11, IndexPageSize - 11));
}

// A search of a leaf fresh from its read decodes only the entries it may
// end on: the entries after them and those before (read backwards, as a
// walk steps back) still read as on a leaf decoded whole, and a change
// after such reads stores the same bytes.
TEST_P(IndexPageDecoding, EntriesAroundWhereASearchEndedReadAsOnALeafDecodedWhole) {
  const auto [compression, unique, descending] = GetParam();
  const uint32_t count = 60;
  const TLeafImage image = StoredLeaf(compression, unique, descending, count);
  const TKeyComparer compare = TestComparer(descending);
  TMemoryPageOwner owner;
  std::unique_ptr<TPage> whole = LoadedLeaf(owner, image, compression, unique, descending);
  whole->KeyAt(whole->Count);
  for (uint32_t n : {0u, 1u, 2u, 30u, 59u, 60u, 61u}) {
    const TKeyBytes probe = Ordered(LeafKey(n, unique), descending);
    std::unique_ptr<TPage> lazy = LoadedLeaf(owner, image, compression, unique, descending);
    const TSearchEnd got = SearchOnce(*lazy, TSearchKind::ForInsert, compare, probe.data(), KeyLength);
    ASSERT_EQ(SearchOnce(*whole, TSearchKind::ForInsert, compare, probe.data(), KeyLength), got);
    // A second search, from the entries the first one decoded, ends
    // where it ends on a leaf decoded whole.
    for (uint32_t m : {1u, 29u, 45u, 62u}) {
      const TKeyBytes other = Ordered(LeafKey(m, unique), descending);
      std::unique_ptr<TPage> twice = LoadedLeaf(owner, image, compression, unique, descending);
      SearchOnce(*twice, TSearchKind::Plain, compare, probe.data(), KeyLength);
      for (TSearchKind kind : {TSearchKind::Plain, TSearchKind::ForInsert, TSearchKind::FirstNotBelow}) {
        const TSearchEnd expected = SearchOnce(*whole, kind, compare, other.data(), KeyLength);
        ASSERT_EQ(expected, SearchOnce(*twice, kind, compare, other.data(), KeyLength)) << "probe " << n << " then " << m;
        const int at = kind == TSearchKind::FirstNotBelow ? expected.second : expected.position;
        if (at >= 1 && at <= int(count)) {
          ASSERT_EQ(0, memcmp(whole->KeyAt(at), twice->KeyAt(at), KeyLength));
        }
      }
    }
    std::vector<int> reads;
    for (int at = std::max<int>(got.position, 1); at <= int(count); ++at) reads.push_back(at);
    for (int at = int(count); at >= 1; --at) reads.push_back(at);
    for (int at : reads) {
      ASSERT_EQ(0, memcmp(whole->KeyAt(at), lazy->KeyAt(at), KeyLength)) << "probe " << n << " entry " << at;
      ASSERT_EQ(whole->PointerAt(at), lazy->PointerAt(at));
    }
    // A key between this one and the next, put in after reads on both
    // sides of where its search ended, and after a leaf decoded whole.
    TKeyBytes fresh = Ordered(LeafKey(n, unique), descending);
    fresh[KeyLength - 1] = uint8_t(fresh[KeyLength - 1] + (descending ? -1 : 1));
    std::unique_ptr<TPage> changed = LoadedLeaf(owner, image, compression, unique, descending);
    changed->SearchForInsert(compare, fresh.data(), KeyLength);
    if (changed->Position < count) changed->KeyAt(changed->Position + 1);
    changed->KeyAt(1);
    changed->InsertEntry(fresh.data(), 500, 0);
    std::unique_ptr<TPage> decodedWhole = LoadedLeaf(owner, image, compression, unique, descending);
    decodedWhole->KeyAt(decodedWhole->Count);
    decodedWhole->SearchForInsert(compare, fresh.data(), KeyLength);
    decodedWhole->InsertEntry(fresh.data(), 500, 0);
    TLeafImage expected;
    TLeafImage stored;
    decodedWhole->Store(expected.bytes);
    changed->Store(stored.bytes);
    EXPECT_EQ(0, memcmp(expected.bytes, stored.bytes, IndexPageSize)) << "probe " << n;
  }
}

// Reads of a leaf's entries take the decoded ones straight from their
// slots; a position outside the leaf is page damage however much of it is
// decoded, and a stored leaf reads the same keys and records.
TEST_P(IndexPageDecoding, PositionsOutsideALeafAreDamageHoweverMuchOfItIsDecoded) {
  const auto [compression, unique, descending] = GetParam();
  const uint32_t count = 50;
  const TKeyComparer compare = TestComparer(descending);
  const TKeyBytes middle = Ordered(LeafKey(25, unique), descending);
  for (uint8_t form : {compression, uint8_t(kcNone)}) {
    SCOPED_TRACE(int(form));
    const TLeafImage image = StoredLeaf(form, unique, descending, count);
    TMemoryPageOwner owner;
    for (int decoding = 0; decoding < 3; ++decoding) {
      SCOPED_TRACE(decoding);
      std::unique_ptr<TPage> leaf = LoadedLeaf(owner, image, form, unique, descending);
      if (decoding == 1) SearchOnce(*leaf, TSearchKind::Plain, compare, middle.data(), KeyLength);
      if (decoding == 2) leaf->KeyAt(leaf->Count);
      for (int at : {-1, 0, int(count) + 1, 1000}) {
        const auto damage = [](const auto& read) {
          try {
            read();
          } catch (const EEngineError& e) {
            return e.ErrorCode == 8965;
          }
          return false;
        };
        EXPECT_TRUE(damage([&] { leaf->KeyAt(at); })) << at;
        EXPECT_TRUE(damage([&] { leaf->PointerAt(at); })) << at;
      }
      for (uint32_t n = count; n >= 1; --n) {
        ASSERT_EQ(leaf->PointerAt(int(n)), n);
        ASSERT_EQ(TKeyBytes(leaf->KeyAt(int(n)), leaf->KeyAt(int(n)) + KeyLength),
                  Ordered(LeafKey(n, unique), descending));
      }
    }
  }
}

// A leaf's read walks every entry's header and refuses the leaf whose
// entries do not make up exactly its used bytes: a first entry sharing
// bytes, an entry sharing or removing more than its key has, used bytes
// cut short or running past the entries.
TEST_P(IndexPageDecoding, AReadRefusesEntriesThatDoNotMakeUpTheLeafsBytes) {
  const auto [compression, unique, descending] = GetParam();
  const uint32_t count = 40;
  const TLeafImage image = StoredLeaf(compression, unique, descending, count);
  TMemoryPageOwner owner;
  auto refused = [&](const TLeafImage& damaged) {
    try {
      LoadedLeaf(owner, damaged, compression, unique, descending);
    } catch (const EEngineError& e) {
      return e.ErrorCode == 8965;
    }
    return false;
  };
  ASSERT_FALSE(refused(image));
  // Where each entry begins, and its shared and removed counts.
  struct TEntryHead {
    int offset;
    int shared;
    int removed;
  };
  std::vector<TEntryHead> heads;
  int offset = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* p = image.bytes + PageHeaderSize + offset;
    TEntryHead head{offset, 0, 0};
    if (compression == kcLeading) head.shared = GetLE16(p);
    else if (compression == kcTrailing) head.removed = GetLE16(p);
    else head.shared = p[0], head.removed = p[1];
    heads.push_back(head);
    offset += 6 + KeyLength - head.shared - head.removed;
  }
  ASSERT_EQ(offset, GetLE16(image.bytes + 11));
  auto withUsed = [&](int used) {
    TLeafImage damaged = image;
    PutLE16(damaged.bytes + 11, uint16_t(used));
    return damaged;
  };
  EXPECT_TRUE(refused(withUsed(offset - 1)));
  EXPECT_TRUE(refused(withUsed(offset + 1)));
  EXPECT_TRUE(refused(withUsed(heads[count - 1].offset)));
  // A count that the entries do not make up, an empty leaf's among them.
  auto withCount = [&](uint32_t claimed) {
    TLeafImage damaged = image;
    PutLE16(damaged.bytes + 1, uint16_t(claimed));
    return damaged;
  };
  for (uint32_t claimed : {0u, 1u, count - 1, count + 1}) EXPECT_TRUE(refused(withCount(claimed))) << claimed;
  // An entry's counts put in its header as the compression stores them.
  auto withHead = [&](uint32_t entry, int shared, int removed) {
    TLeafImage damaged = image;
    uint8_t* p = damaged.bytes + PageHeaderSize + heads[entry].offset;
    if (compression == kcLeading) PutLE16(p, uint16_t(shared));
    else if (compression == kcTrailing) PutLE16(p, uint16_t(removed));
    else p[0] = uint8_t(shared), p[1] = uint8_t(removed);
    return damaged;
  };
  if (compression != kcTrailing) {
    EXPECT_TRUE(refused(withHead(0, 1, heads[0].removed)));
  }
  for (uint32_t entry : {0u, 1u, count / 2, count - 1}) {
    const TEntryHead& head = heads[entry];
    if (compression == kcLeading) {
      EXPECT_TRUE(refused(withHead(entry, KeyLength + 1, 0))) << "entry " << entry;
    } else {
      const int tail = unique || (compression == kcFull && KeyLength - head.shared <= 4) ? 0 : 4;
      EXPECT_TRUE(refused(withHead(entry, head.shared, KeyLength - head.shared - tail + 1))) << "entry " << entry;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(CompressedLeaves, IndexPageDecoding,
                         testing::Combine(testing::Values(kcLeading, kcTrailing, kcFull), testing::Bool(),
                                          testing::Bool()));

// Another writer may share fewer leading bytes with the entry before than
// the two have in common (each entry's bytes are still right): a look-up
// must not take a shorter shared run for a difference.
TEST(IndexPageDecodingOthers, ALeafSharingLessThanItCouldIsSearchedRight) {
  constexpr int length = 8;
  constexpr int entries = 12;
  for (int shared : {0, 3, 6}) {
    uint8_t image[IndexPageSize] = {};
    uint8_t* p = image + PageHeaderSize;
    for (int i = 0; i < entries; ++i) {
      uint8_t key[length] = {1, 2, 3, 4, 5, 6, 0, uint8_t(2 * i + 2)};
      const int kept = i == 0 ? 0 : shared;
      PutLE16(p, uint16_t(kept));
      memcpy(p + 2, key + kept, size_t(length - kept));
      PutLE32(p + 2 + length - kept, uint32_t(100 + i));
      p += 2 + length - kept + 4;
    }
    image[0] = ptRootLeaf;
    PutLE16(image + 1, entries);
    PutLE16(image + 11, uint16_t(p - image - PageHeaderSize));
    TMemoryPageOwner owner;
    TPage page;
    page.Setup(&owner, TestIndex, {.KeyLength = uint16_t(length), .Unique = true, .Compression = kcLeading});
    page.Load(image, false);
    const TKeyComparer compare = TestComparer(false);
    for (int i = 0; i < entries; ++i) {
      uint8_t key[length] = {1, 2, 3, 4, 5, 6, 0, uint8_t(2 * i + 2)};
      page.Load(image, false);
      ASSERT_TRUE(page.Search(compare, key, length)) << "shared " << shared << " entry " << i;
      EXPECT_EQ(i + 1, page.Position);
      EXPECT_EQ(uint32_t(100 + i), page.CurrentPointer());
      key[length - 1] = uint8_t(2 * i + 3);
      page.Load(image, false);
      EXPECT_FALSE(page.Search(compare, key, length));
      EXPECT_EQ(i + 1, page.Position);
    }
  }
}

// A branch of long padded keys is packed without its keys' runs of zeros
// and searched as it decodes: a descent ends where it ends on the branch
// as read, counts the same keys before, and the branch stores what it was
// read from, also after a change made part way decoded.
TEST(IndexPageDecodingOthers, ABranchPackedWithoutItsZerosSearchesAndStoresAsRead) {
  constexpr int length = 96;
  constexpr int entries = 30;
  uint8_t image[IndexPageSize] = {};
  image[0] = ptRootBranch;
  PutLE16(image + 1, entries);
  auto branchKey = [](int i) {
    TKeyBytes key(length, 0);
    key[0] = 1;
    for (int j = 0; j < 1 + i % 7; ++j) key[1 + j] = uint8_t('a' + (i / 3 + j) % 26);
    key[length - 1] = uint8_t(i % 3 == 0 ? 0 : i);  // some keys end in a zero, some do not
    return key;
  };
  std::vector<TKeyBytes> keys;
  for (int i = 0; i < entries; ++i) keys.push_back(branchKey(i));
  std::sort(keys.begin(), keys.end());
  keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
  PutLE16(image + 1, uint16_t(keys.size()));
  for (size_t i = 0; i < keys.size(); ++i) {
    uint8_t* entry = image + PageHeaderSize + i * (length + 8);
    memcpy(entry, keys[i].data(), length);
    PutLE32(entry + length, uint32_t(IndexPageSize * (i + 2)));
    PutLE32(entry + length + 4, uint32_t(10 + i));
  }
  TMemoryPageOwner owner;
  const TKeyComparer compare = TestComparer(false);
  auto loaded = [&] {
    auto page = std::make_unique<TPage>();
    page->Setup(&owner, TestIndex, {.KeyLength = uint16_t(length), .Unique = true});
    page->Load(image, false);
    return page;
  };
  std::unique_ptr<TPage> whole = loaded();
  ASSERT_TRUE(whole->WorthPacking());
  std::vector<TKeyBytes> probes = keys;
  for (TKeyBytes key : keys) {
    key[length - 1] = uint8_t(key[length - 1] + 1);
    probes.push_back(key);
  }
  probes.push_back(TKeyBytes(length, 0));
  for (const TKeyBytes& probe : probes) {
    for (int cut : {length, 3}) {
      std::unique_ptr<TPage> packed = loaded();
      packed->Pack();
      ASSERT_TRUE(packed->Packed());
      packed->Unpack();
      const TSearchEnd expected = SearchOnce(*whole, TSearchKind::LastNotAbove, compare, probe.data(), cut);
      const TSearchEnd got = SearchOnce(*packed, TSearchKind::LastNotAbove, compare, probe.data(), cut);
      ASSERT_EQ(expected, got);
      EXPECT_EQ(whole->CurrentPointer(true), packed->CurrentPointer(true));
      EXPECT_EQ(whole->KeyCount(), packed->KeyCount());
    }
  }

  std::unique_ptr<TPage> packed = loaded();
  packed->Pack();
  uint8_t stored[IndexPageSize];
  packed->Store(stored);
  EXPECT_EQ(0, memcmp(image, stored, IndexPageSize));
  packed->Unpack();
  packed->KeyAt(2);
  packed->SetKeyCountAt(5, 99);
  whole->SetKeyCountAt(5, 99);
  uint8_t expected[IndexPageSize];
  whole->Store(expected);
  packed->Store(stored);
  EXPECT_EQ(0, memcmp(expected, stored, IndexPageSize));
}

// A descent through a branch packed in memory reads only the children and
// key counts of the entries it passes. Whatever is read after such
// searches, in whatever order (children, counts, keys, a second search
// from another key, a change), reads and stores as on the branch as it was
// read, in either order of the index, for keys differing inside a run of
// zeros as well as in their literal bytes and for keys cut short.
TEST(IndexPageDecodingOthers, ABranchSearchedInItsPackedEntriesReadsAsTheBranchAsRead) {
  constexpr int length = 80;
  constexpr int entries = 40;
  auto branchKey = [](int i) {
    TKeyBytes key(length, 0);
    key[0] = 1;
    for (int j = 0; j < 1 + i % 6; ++j) key[1 + j] = uint8_t('a' + (i / 4 + j) % 26);
    if (i % 3 == 0) key[30] = uint8_t(1 + i);  // a field inside the zeros
    if (i % 4 != 0) key[length - 2] = uint8_t(i);
    key[length - 1] = uint8_t(i % 5 == 0 ? 0 : 200 - i);
    return key;
  };
  for (bool descending : {false, true}) {
    std::vector<TKeyBytes> keys;
    for (int i = 0; i < entries; ++i) keys.push_back(branchKey(i));
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    if (descending) std::reverse(keys.begin(), keys.end());
    uint8_t image[IndexPageSize] = {};
    image[0] = ptRootBranch;
    PutLE16(image + 1, uint16_t(keys.size()));
    for (size_t i = 0; i < keys.size(); ++i) {
      uint8_t* entry = image + PageHeaderSize + i * (length + 8);
      memcpy(entry, keys[i].data(), length);
      PutLE32(entry + length, uint32_t(IndexPageSize * (i + 2)));
      PutLE32(entry + length + 4, uint32_t(7 + 3 * i));
    }
    TMemoryPageOwner owner;
    const TKeyComparer compare = TestComparer(descending);
    auto loaded = [&](bool pack) {
      auto page = std::make_unique<TPage>();
      page->Setup(&owner, TestIndex, {.KeyLength = uint16_t(length), .Descending = descending, .Unique = true});
      page->Load(image, false);
      if (pack) {
        page->Pack();
        page->Unpack();
      }
      return page;
    };
    std::unique_ptr<TPage> whole = loaded(false);
    ASSERT_TRUE(whole->WorthPacking());
    std::vector<TKeyBytes> probes = keys;
    for (TKeyBytes key : keys) {
      key[length - 1] = uint8_t(key[length - 1] + 1);
      probes.push_back(key);
      key[30] = uint8_t(key[30] + 2);
      probes.push_back(key);
      key[12] = 'q';
      probes.push_back(key);
    }
    probes.push_back(TKeyBytes(length, 0));
    probes.push_back(TKeyBytes(length, 0xFF));
    const int count = whole->Count;
    for (size_t n = 0; n < probes.size(); ++n) {
      const TKeyBytes& probe = probes[n];
      const TKeyBytes& other = probes[(n * 7 + 3) % probes.size()];
      for (int cut : {length, 31, 4, 1}) {
        std::unique_ptr<TPage> packed = loaded(true);
        const TSearchEnd expected = SearchOnce(*whole, TSearchKind::LastNotAbove, compare, probe.data(), cut);
        ASSERT_EQ(expected, SearchOnce(*packed, TSearchKind::LastNotAbove, compare, probe.data(), cut))
            << "descending " << descending << " probe " << n << " cut " << cut;
        ASSERT_EQ(whole->CurrentPointer(true), packed->CurrentPointer(true));
        ASSERT_EQ(whole->CurrentKeyCount(true), packed->CurrentKeyCount(true));
        // Another key searched on the same page, as the next look-up does.
        ASSERT_EQ(SearchOnce(*whole, TSearchKind::Plain, compare, other.data(), cut),
                  SearchOnce(*packed, TSearchKind::Plain, compare, other.data(), cut));
        ASSERT_EQ(whole->KeyCount(), packed->KeyCount());
        for (int at = count; at >= 1; at -= 3) {
          ASSERT_EQ(whole->PointerAt(at), packed->PointerAt(at)) << "entry " << at;
          ASSERT_EQ(0, memcmp(whole->KeyAt(at), packed->KeyAt(at), length)) << "entry " << at;
        }
      }
    }
    // Changed after a search, the branch stores what the branch as read
    // stores after the same change.
    std::unique_ptr<TPage> packed = loaded(true);
    SearchOnce(*packed, TSearchKind::LastNotAbove, compare, keys[keys.size() / 2].data(), length);
    packed->SetKeyCountAt(packed->SecondPosition, 1000);
    std::unique_ptr<TPage> changed = loaded(false);
    changed->SetKeyCountAt(packed->SecondPosition, 1000);
    uint8_t expected[IndexPageSize];
    uint8_t stored[IndexPageSize];
    changed->Store(expected);
    packed->Store(stored);
    EXPECT_EQ(0, memcmp(expected, stored, IndexPageSize));
  }
}
