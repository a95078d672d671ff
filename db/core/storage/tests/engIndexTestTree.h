#pragma once
// Test-side cursor work over index trees: descending to insert, delete and
// find keys, and a full recount of a tree's structure.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engIndexPage.h"
#include "engLittleEndian.h"

using TKeyBytes = std::vector<uint8_t>;

// The page tests' one index.
inline constexpr uint8_t TestIndex = 1;

// The comparer of the tests' index.
inline TKeyComparer TestComparer(bool descending = false) {
  TKeyComparer compare;
  compare.IndexNo = TestIndex;
  compare.Descending = descending;
  return compare;
}

// A page object holding a stored leaf, as a read leaves it.
inline std::unique_ptr<TPage> LoadedTestLeaf(TIndexPageOwner& owner, const uint8_t* image, const TPageShape& shape) {
  auto page = std::make_unique<TPage>();
  page->Setup(&owner, TestIndex, shape);
  page->Load(image, false);
  return page;
}

// Where a search of a page ended.
struct TSearchEnd {
  uint16_t position = 0;
  uint16_t second = 0;
  bool found = false;
  uint32_t keysBefore = 0;
  bool operator==(const TSearchEnd&) const = default;
};

// A non-unique key ends in its row number, sign bit flipped and big-endian
// so that its bytes sort as the numbers do.
inline void PutTestRowNumber(TKeyBytes& key, int body, uint32_t n) {
  PutLE32(key.data() + body, __builtin_bswap32(n ^ 0x80000000u));
}

// Descends through any page owner; root() and setRoot() reach the index's
// root where the owner keeps it.
class TTestTree {
public:
  TTestTree(TIndexPageOwner& owner, uint8_t indexNo, TKeyComparer compare,
            std::function<uint32_t()> root)
      : owner(owner), indexNo(indexNo), compare(compare), root(std::move(root)) {}

  void Insert(const TKeyBytes& key, uint32_t record);
  void Delete(const TKeyBytes& key);
  // 1-based position of the key in index order, 0 when absent.
  uint32_t Find(const TKeyBytes& key);
  // Walks every page: order, parent keys, key counts against a recount,
  // fill, sibling links and a pack/unpack round trip. Returns the keys in
  // order; any fault fails the current test.
  std::vector<TKeyBytes> Check();
  // Levels from the root down to the leaves, 0 for an empty index.
  int Depth();

private:
  TIndexPageOwner& owner;
  uint8_t indexNo;
  TKeyComparer compare;
  std::function<uint32_t()> root;

  uint32_t CheckPage(uint32_t offset, int depth, bool isRoot, std::vector<std::vector<uint32_t>>& levels,
                     std::vector<TKeyBytes>& keys);
};

// An in-memory page owner: every page lives as an object; new pages are
// appended at 4096-byte steps or taken from the index's free list.
class TMemoryPageOwner : public TIndexPageOwner {
public:
  struct TIndexValues {
    uint16_t keyLength;
    bool unique;
    uint8_t compression;
  };
  std::map<uint8_t, TIndexValues> indexes;
  std::map<uint8_t, uint32_t> roots;
  std::map<uint8_t, uint32_t> firstFree;
  std::map<uint32_t, TPage*> pages;
  uint32_t endOffset = 4096;

  ~TMemoryPageOwner();
  TPage* GetTreePage(uint8_t indexNo, uint32_t offset) override;
  void ReleaseTreePage(TPage* page) override;
  TPage* NewTreePage(uint8_t indexNo) override;
  void FreeTreePage(TPage* page) override;
  void SetTreeRoot(uint8_t indexNo, uint32_t offset) override { roots[indexNo] = offset; }
  std::string ErrorTableName() const override { return "MEMORY.DAT"; }
  TSpareSlots& SpareSlots() override { return spare; }
  int PagesInUse() const;

private:
  TSpareSlots spare;
};
