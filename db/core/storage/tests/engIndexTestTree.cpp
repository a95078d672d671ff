#include "engIndexTestTree.h"

#include <gtest/gtest.h>

#include <cstring>

#include "engErrors.h"

void TTestTree::Insert(const TKeyBytes& key, uint32_t record) {
  uint32_t offset = root();
  if (offset == 0) {
    TPageRef page(&owner, owner.NewTreePage(indexNo));
    page->SetPageType(ptRootLeaf);
    page->Position = 0;
    page->InsertEntry(key.data(), record, 0);
    owner.SetTreeRoot(indexNo, page->Offset);
    return;
  }
  TPage* page = owner.GetTreePage(indexNo, offset);
  page->Parent = 0;
  while (!page->IsLeaf()) {
    page->SearchForInsert(compare, key.data(), int(key.size()));
    page->SetCurrentKeyCount(page->CurrentKeyCount() + 1);
    TPage* child = owner.GetTreePage(indexNo, page->CurrentPointer());
    child->Parent = page->Offset;
    owner.ReleaseTreePage(page);
    page = child;
  }
  TPageRef leaf(&owner, page);
  leaf->SearchForInsert(compare, key.data(), int(key.size()));
  leaf->InsertEntry(key.data(), record, 0);
}

void TTestTree::Delete(const TKeyBytes& key) {
  TPage* page = owner.GetTreePage(indexNo, root());
  page->Parent = 0;
  while (!page->IsLeaf()) {
    page->Search(compare, key.data(), int(key.size()));
    page->SetCurrentKeyCount(page->CurrentKeyCount() - 1);
    TPage* child = owner.GetTreePage(indexNo, page->CurrentPointer());
    child->Parent = page->Offset;
    owner.ReleaseTreePage(page);
    page = child;
  }
  TPageRef leaf(&owner, page);
  ASSERT_TRUE(leaf->Search(compare, key.data(), int(key.size())));
  leaf->DeleteEntry();
}

uint32_t TTestTree::Find(const TKeyBytes& key) {
  uint32_t offset = root();
  if (offset == 0) return 0;
  uint32_t keysBefore = 0;
  TPage* page = owner.GetTreePage(indexNo, offset);
  while (!page->IsLeaf()) {
    page->SearchCounting(compare, key.data(), int(key.size()), TLeafSearchEnd::LastNotAbove,
                         keysBefore);
    TPage* child = owner.GetTreePage(indexNo, page->PointerAt(page->SecondPosition));
    owner.ReleaseTreePage(page);
    page = child;
  }
  TPageRef leaf(&owner, page);
  bool found = leaf->SearchCounting(compare, key.data(), int(key.size()),
                                    TLeafSearchEnd::LastNotAbove, keysBefore);
  return found ? keysBefore + 1 : 0;
}

static void ExpectSameEntries(const TPage& a, const TPage& b) {
  ASSERT_EQ(a.Count, b.Count);
  EXPECT_EQ(a.PageType, b.PageType);
  EXPECT_EQ(a.Left, b.Left);
  EXPECT_EQ(a.Right, b.Right);
  EXPECT_EQ(a.UsedBytes, b.UsedBytes);
  for (int i = 1; i <= a.Count; ++i) {
    ASSERT_EQ(0, memcmp(a.KeyAt(i), b.KeyAt(i), a.KeyLength)) << "entry " << i;
    ASSERT_EQ(a.PointerAt(i), b.PointerAt(i));
    ASSERT_EQ(a.KeyCountAt(i), b.KeyCountAt(i));
  }
}

uint32_t TTestTree::CheckPage(uint32_t offset, int depth, bool isRoot,
                              std::vector<std::vector<uint32_t>>& levels,
                              std::vector<TKeyBytes>& keys) {
  TPageRef page(&owner, owner.GetTreePage(indexNo, offset));
  EXPECT_EQ(isRoot, page->IsRoot()) << "page " << offset;
  EXPECT_GT(page->Count, 0) << "page " << offset;
  if (!isRoot && !page->IsCompressedLeaf()) {
    EXPECT_GE(page->Count, page->MaxEntries() / 2);
  }
  if (page->IsCompressedLeaf()) {
    EXPECT_LE(page->UsedBytes, PageDataSize);
  }
  if (int(levels.size()) <= depth) levels.resize(depth + 1);
  levels[depth].push_back(offset);

  uint8_t image[IndexPageSize];
  uint8_t modified = page->Modified;
  page->Store(image);
  page->Modified = modified;
  TPage copy;
  copy.Setup(&owner, indexNo, {.KeyLength = uint16_t(page->KeyLength),
                               .Descending = page->Descending != 0,
                               .Unique = page->Unique != 0,
                               .Compression = page->Compression});
  copy.Load(image, false);
  ExpectSameEntries(*page, copy);

  const int k = page->KeyLength;
  for (int i = 2; i <= page->Count; ++i)
    EXPECT_LT(compare.CompareKeys(page->KeyAt(i - 1), page->KeyAt(i), k), 0) << "page " << offset;
  if (page->IsLeaf()) {
    for (int i = 1; i <= page->Count; ++i) keys.emplace_back(page->KeyAt(i), page->KeyAt(i) + k);
    return page->Count;
  }
  uint32_t total = 0;
  for (int i = 1; i <= page->Count; ++i) {
    size_t firstKey = keys.size();
    uint32_t below = CheckPage(page->PointerAt(i), depth + 1, false, levels, keys);
    EXPECT_EQ(page->KeyCountAt(i), below) << "branch " << offset << " entry " << i;
    if (keys.size() > firstKey) {
      EXPECT_EQ(0, memcmp(page->KeyAt(i), keys[firstKey].data(), k));
    }
    total += below;
  }
  return total;
}

std::vector<TKeyBytes> TTestTree::Check() {
  std::vector<TKeyBytes> keys;
  uint32_t offset = root();
  if (offset == 0) return keys;
  std::vector<std::vector<uint32_t>> levels;
  CheckPage(offset, 0, true, levels, keys);
  for (const auto& level : levels) {
    for (size_t j = 0; j < level.size(); ++j) {
      TPageRef page(&owner, owner.GetTreePage(indexNo, level[j]));
      EXPECT_EQ(page->Left, j == 0 ? 0u : level[j - 1]);
      EXPECT_EQ(page->Right, j + 1 == level.size() ? 0u : level[j + 1]);
    }
  }
  return keys;
}

int TTestTree::Depth() {
  int depth = 0;
  for (uint32_t offset = root(); offset != 0; ++depth) {
    TPageRef page(&owner, owner.GetTreePage(indexNo, offset));
    offset = page->IsLeaf() ? 0 : page->PointerAt(1);
  }
  return depth;
}

TMemoryPageOwner::~TMemoryPageOwner() {
  for (auto& [offset, page] : pages) delete page;
}

TPage* TMemoryPageOwner::GetTreePage(uint8_t indexNo, uint32_t offset) {
  auto found = pages.find(offset);
  if (found == pages.end()) RaiseEngineError(8965, ErrorTableName());
  ++found->second->UseCount;
  return found->second;
}

void TMemoryPageOwner::ReleaseTreePage(TPage* page) { --page->UseCount; }

TPage* TMemoryPageOwner::NewTreePage(uint8_t indexNo) {
  const TIndexValues& values = indexes.at(indexNo);
  TPage* page;
  if (uint32_t head = firstFree[indexNo]) {
    page = pages.at(head);
    firstFree[indexNo] = page->Right;
    page->Clear();
  } else {
    page = new TPage;
    page->Offset = endOffset;
    pages[endOffset] = page;
    endOffset += IndexPageSize;
  }
  page->Setup(this, indexNo, {.KeyLength = uint16_t(values.keyLength),
                              .Unique = values.unique,
                              .Compression = values.compression});
  page->Modified = 1;
  ++page->UseCount;
  return page;
}

void TMemoryPageOwner::FreeTreePage(TPage* page) {
  page->Right = firstFree[page->IndexNo];
  page->Free = 1;
  page->Modified = 1;
  firstFree[page->IndexNo] = page->Offset;
}

int TMemoryPageOwner::PagesInUse() const {
  int freePages = 0;
  for (auto [indexNo, head] : firstFree)
    for (uint32_t offset = head; offset != 0; offset = pages.at(offset)->Right) ++freePages;
  return int(pages.size()) - freePages;
}
