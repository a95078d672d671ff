#include "engIndexTree.h"

#include "engAssert.h"
#include "engErrorCodes.h"
#include "engErrors.h"
#include "engIndexFile.h"
#include "engIndexPage.h"
#include "engKeyCompare.h"

void TIndexTree::Corrupt() const { RaiseEngineError(EngErrPageCorrupt, tableName); }

bool TIndexTree::KeyExists(const uint8_t* key) {
  TTreePath path;
  return FindKey(key, path);
}

bool TIndexTree::FindKey(const uint8_t* key, TTreePath& path) {
  path.levels = 0;
  path.found = false;
  const uint32_t root = file.GetRootOffset(indexNo);
  if (root == 0) return false;
  TPageRef page(&file, file.GetTreePage(indexNo, root));
  for (int depth = 0; !page->IsLeaf(); ++depth) {
    if (depth > MaxTreeDepth || page->Count == 0) Corrupt();
    page->Search(comparer, key, keyLength);
    path.offsets[path.levels] = page->Offset;
    path.positions[path.levels++] = page->Position;
    page.Replace(file.GetTreePage(indexNo, page->CurrentPointer()));
  }
  path.found = page->Count > 0 && page->Search(comparer, key, keyLength);
  path.offsets[path.levels] = page->Offset;
  path.positions[path.levels++] = page->Position;
  return path.found;
}

TPage* TIndexTree::PathPage(const TTreePath& path, int level) {
  TPage* page = file.GetTreePage(indexNo, path.offsets[level]);
  page->Parent = level == 0 ? 0 : path.offsets[level - 1];
  page->Position = path.positions[level];
  return page;
}

void TIndexTree::InsertKey(const uint8_t* key, uint32_t recordNumber) {
  TTreePath path;
  FindKey(key, path);
  InsertAt(path, key, recordNumber);
}

// Every page on the way counts one key more; the leaf takes the key after
// the entry an insert's search stands on (0: in front of all).
void TIndexTree::InsertAt(const TTreePath& path, const uint8_t* key, uint32_t recordNumber) {
  if (path.Empty()) {
    ENG_ASSERT(file.GetRootOffset(indexNo) == 0);
    TPageRef page(&file, file.NewPage(indexNo));
    page->SetPageType(ptRootLeaf);
    page->Position = 0;
    page->InsertEntry(key, recordNumber, 0);
    file.SetRootOffset(indexNo, page->Offset);
    return;
  }
  ENG_ASSERT(file.GetRootOffset(indexNo) == path.offsets[0]);
  const int leaf = path.levels - 1;
  for (int level = 0; level < leaf; ++level) {
    TPageRef page(&file, PathPage(path, level));
    page->SetCurrentKeyCount(page->CurrentKeyCount() + 1);
  }
  TPageRef page(&file, PathPage(path, leaf));
  if (page->Count == 0) Corrupt();
  if (!path.found && comparer.CompareKeys(key, page->KeyAt(page->Position), keyLength) < 0) --page->Position;
  page->InsertEntry(key, recordNumber, 0);
}

// The key is looked for first, so a missing one changes no key count.
void TIndexTree::DeleteKey(const uint8_t* key) {
  TTreePath path;
  if (!FindKey(key, path)) Corrupt();
  const int leaf = path.levels - 1;
  for (int level = 0; level < leaf; ++level) {
    TPageRef page(&file, PathPage(path, level));
    const uint32_t below = page->CurrentKeyCount();
    if (below == 0) Corrupt();
    page->SetCurrentKeyCount(below - 1);
  }
  TPageRef page(&file, PathPage(path, leaf));
  page->DeleteEntry();
}

void TIndexTree::FreePages() {
  const uint32_t root = file.GetRootOffset(indexNo);
  if (root != 0) FreePageTree(root, 0);
  file.SetRootOffset(indexNo, 0);
}

// A page met a second time is already free (or empty on disk): the tree
// names it twice, and freeing it again would link the free list to itself.
void TIndexTree::FreePageTree(uint32_t offset, int depth) {
  if (depth > MaxTreeDepth) Corrupt();
  TPageRef page(&file, file.GetTreePage(indexNo, offset));
  if (page->Free || page->Count == 0) Corrupt();
  if (!page->IsLeaf())
    for (int entry = 1; entry <= page->Count; ++entry) FreePageTree(page->PointerAt(entry), depth + 1);
  file.FreePage(page.Get());
}
