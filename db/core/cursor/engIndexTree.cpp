#include "engIndexTree.h"

#include "engErrorCodes.h"
#include "engErrors.h"
#include "engIndexFile.h"
#include "engIndexPage.h"
#include "engKeyCompare.h"

void TIndexTree::Corrupt() const { RaiseEngineError(EngErrPageCorrupt, tableName); }

bool TIndexTree::KeyExists(const uint8_t* key) {
  const uint32_t root = file.GetRootOffset(indexNo);
  if (root == 0) return false;
  TPageRef page(&file, file.GetTreePage(indexNo, root));
  for (int depth = 0; !page->IsLeaf(); ++depth) {
    if (depth > MaxTreeDepth || page->Count == 0) Corrupt();
    page->Search(comparer, key, keyLength);
    page.Replace(file.GetTreePage(indexNo, page->CurrentPointer()));
  }
  return page->Count > 0 && page->Search(comparer, key, keyLength);
}

void TIndexTree::InsertKey(const uint8_t* key, uint32_t recordNumber) {
  const uint32_t root = file.GetRootOffset(indexNo);
  if (root == 0) {
    TPageRef page(&file, file.NewPage(indexNo));
    page->SetPageType(ptRootLeaf);
    page->Position = 0;
    page->InsertEntry(key, recordNumber, 0);
    file.SetRootOffset(indexNo, page->Offset);
    return;
  }
  TPageRef page(&file, file.GetTreePage(indexNo, root));
  page->Parent = 0;
  for (int depth = 0; !page->IsLeaf(); ++depth) {
    if (depth > MaxTreeDepth || page->Count == 0) Corrupt();
    page->SearchForInsert(comparer, key, keyLength);
    page->SetCurrentKeyCount(page->CurrentKeyCount() + 1);
    TPage* child = file.GetTreePage(indexNo, page->CurrentPointer());
    child->Parent = page->Offset;
    page.Replace(child);
  }
  page->SearchForInsert(comparer, key, keyLength);
  page->InsertEntry(key, recordNumber, 0);
}

// The key is looked for first, so a missing one changes no key count.
void TIndexTree::DeleteKey(const uint8_t* key) {
  if (!KeyExists(key)) Corrupt();
  TPageRef page(&file, file.GetTreePage(indexNo, file.GetRootOffset(indexNo)));
  page->Parent = 0;
  for (int depth = 0; !page->IsLeaf(); ++depth) {
    if (depth > MaxTreeDepth || page->Count == 0) Corrupt();
    page->Search(comparer, key, keyLength);
    const uint32_t below = page->CurrentKeyCount();
    if (below == 0) Corrupt();
    page->SetCurrentKeyCount(below - 1);
    TPage* child = file.GetTreePage(indexNo, page->CurrentPointer());
    child->Parent = page->Offset;
    page.Replace(child);
  }
  page->Search(comparer, key, keyLength);
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
