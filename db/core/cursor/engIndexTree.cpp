#include "engIndexTree.h"

#include <cstring>

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
  DescendFrom(page, key, path);
  return path.found;
}

// Each page passed is left standing on the way (its parent link set, its
// position on the entry taken), as a change that climbs from the leaf
// needs it.
void TIndexTree::DescendFrom(TPageRef& page, const uint8_t* key, TTreePath& path) {
  for (; !page->IsLeaf(); page.Replace(file.GetTreePage(indexNo, page->CurrentPointer()))) {
    if (path.levels > MaxTreeDepth || page->Count == 0) Corrupt();
    page->Search(comparer, key, keyLength);
    NoteLevel(path, *page);
  }
  path.found = page->Count > 0 && page->Search(comparer, key, keyLength);
  NoteLevel(path, *page);
}

void TIndexTree::NoteLevel(TTreePath& path, TPage& page) {
  page.Parent = path.levels == 0 ? 0 : path.offsets[path.levels - 1];
  path.offsets[path.levels] = page.Offset;
  path.positions[path.levels++] = page.Position;
}

// Each shared page is searched for both keys, so each way is the one
// FindKey takes; where the ways part, each goes on alone.
void TIndexTree::FindKeys(const uint8_t* key, TTreePath& path, const uint8_t* otherKey, TTreePath& otherPath) {
  path.levels = otherPath.levels = 0;
  path.found = otherPath.found = false;
  const uint32_t root = file.GetRootOffset(indexNo);
  if (root == 0) return;
  TPageRef page(&file, file.GetTreePage(indexNo, root));
  while (!page->IsLeaf()) {
    if (path.levels > MaxTreeDepth || page->Count == 0) Corrupt();
    page->Search(comparer, otherKey, keyLength);
    const uint16_t otherPosition = page->Position;
    NoteLevel(otherPath, *page);
    SearchNear(*page, key, otherPosition);
    NoteLevel(path, *page);
    if (page->Position != otherPosition) {
      TPageRef other(&file, file.GetTreePage(indexNo, page->PointerAt(otherPosition)));
      DescendFrom(other, otherKey, otherPath);
      page.Replace(file.GetTreePage(indexNo, page->CurrentPointer()));
      DescendFrom(page, key, path);
      return;
    }
    page.Replace(file.GetTreePage(indexNo, page->CurrentPointer()));
  }
  DescendFrom(page, otherKey, otherPath);
  path.found = page->Count > 0 && SearchNear(*page, key, page->Position);
  NoteLevel(path, *page);
}

// A search ends on the last entry not above the key (on the first when
// every entry is above it): when the entry at near or the one before it
// is that entry, as the two bounding it say, no search is needed.
bool TIndexTree::SearchNear(TPage& page, const uint8_t* key, int near) {
  for (const int at : {near, near - 1}) {
    if (at < 1 || at > page.Count) continue;
    const int order = comparer.CompareKeys(key, page.KeyAt(at), keyLength);
    if (order < 0) continue;
    if (at < page.Count && comparer.CompareKeys(key, page.KeyAt(at + 1), keyLength) >= 0) break;
    page.Position = uint16_t(at);
    return order == 0 && page.IsLeaf();
  }
  return page.Search(comparer, key, keyLength);
}

TPage* TIndexTree::PathPage(const TTreePath& path, int level) {
  TPage* page = file.GetTreePage(indexNo, path.offsets[level]);
  page->Parent = level == 0 ? 0 : path.offsets[level - 1];
  page->Position = path.positions[level];
  return page;
}

void TIndexTree::StandOnWay(const TTreePath& path, int levels) {
  for (int level = 0; level < levels; ++level) TPageRef page(&file, PathPage(path, level));
}

void TIndexTree::InsertKey(const uint8_t* key, uint32_t recordNumber) {
  TTreePath path;
  FindKey(key, path);
  InsertAt(path, key, recordNumber);
}

void TIndexTree::InsertAt(const TTreePath& path, const uint8_t* key, uint32_t recordNumber) {
  InsertAtCounted(path, key, recordNumber, 0);
}

void TIndexTree::CountAlong(const TTreePath& path, int fromLevel, int delta) {
  for (int level = fromLevel; level < path.levels - 1; ++level) {
    TPageRef page(&file, PathPage(path, level));
    const uint32_t below = page->CurrentKeyCount();
    if (delta < 0 && below < uint32_t(-delta)) Corrupt();
    page->SetCurrentKeyCount(uint32_t(int64_t(below) + delta));
  }
}

// Every page on the way counts one key more; the leaf takes the key after
// the entry an insert's search stands on (0: in front of all).
void TIndexTree::InsertAtCounted(const TTreePath& path, const uint8_t* key, uint32_t recordNumber, int fromLevel) {
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
  CountAlong(path, fromLevel, 1);
  TPageRef page(&file, PathPage(path, path.levels - 1));
  if (page->Count == 0) Corrupt();
  if (!path.found && comparer.CompareKeys(key, page->KeyAt(page->Position), keyLength) < 0) --page->Position;
  page->InsertEntry(key, recordNumber, 0);
}

void TIndexTree::DeleteAt(const TTreePath& path) {
  CountAlong(path, 0, -1);
  TPageRef page(&file, PathPage(path, path.levels - 1));
  page->DeleteEntry();
}

// The key is looked for first, so a missing one changes no key count. The
// pages of the way stay pinned from the descent to their count's change,
// instead of being fetched again for it; each is given back before the
// leaf changes, in the order a descent and a count along it give them
// back, so the cache's order is as it was.
void TIndexTree::DeleteKey(const uint8_t* key, TEntryAfter* after) {
  const uint32_t root = file.GetRootOffset(indexNo);
  if (root == 0) Corrupt();
  TPageRef way[MaxTreeDepth + 2];
  int leaf = 0;
  way[0] = TPageRef(&file, file.GetTreePage(indexNo, root));
  for (; !way[leaf]->IsLeaf(); ++leaf) {
    TPage& page = *way[leaf];
    if (leaf > MaxTreeDepth || page.Count == 0) Corrupt();
    page.Parent = leaf == 0 ? 0 : way[leaf - 1]->Offset;
    page.Search(comparer, key, keyLength);
    way[leaf + 1] = TPageRef(&file, file.GetTreePage(indexNo, page.CurrentPointer()));
  }
  TPage& found = *way[leaf];
  found.Parent = leaf == 0 ? 0 : way[leaf - 1]->Offset;
  if (found.Count == 0 || !found.Search(comparer, key, keyLength)) Corrupt();
  for (int level = 0; level < leaf; ++level) {
    const uint32_t below = way[level]->CurrentKeyCount();
    if (below == 0) Corrupt();
    way[level]->SetCurrentKeyCount(below - 1);
    way[level].Reset();
  }
  if (after) {
    const int next = found.Position + 1;
    after->Found = next <= found.Count;
    if (after->Found) {
      std::memcpy(after->Key, found.KeyAt(next), keyLength);
      after->Record = found.PointerAt(next);
    }
  }
  found.DeleteEntry();
}

// A search leaves each leaf on the last entry below its key (or on the
// first when none is). Removing an entry from a leaf that keeps its shape
// moves only the entries after it, unless it was the leaf's first, whose
// key the branches above carried: a way found before the delete then
// still leads to the new key's place, one entry back on the same leaf
// when the removed entry stood at or before it.
bool TIndexTree::PlaceAfterDelete(const TTreePath& place, const TTreePath& from, uint16_t removed, TTreePath& to) {
  if (removed <= 1 || place.found || place.levels != from.levels || place.offsets[0] != from.offsets[0]) return false;
  to = place;
  const int leaf = to.levels - 1;
  if (to.offsets[leaf] == from.offsets[leaf] && removed <= to.positions[leaf]) --to.positions[leaf];
  return true;
}

// When the old key's leaf keeps its shape, the branches keep their entries:
// the new key's way, as the tree stands after the delete, can then be laid
// beside the old key's, and the levels where both take the same entry are left as
// they are (their count would go down and up by one). Any other delete
// takes the plain way, since merges set the counts above from the pages
// below.
void TIndexTree::ReplaceKey(const uint8_t* oldKey, const uint8_t* newKey, uint32_t recordNumber,
                            const TTreePath* newPlace, const TTreePath* oldWay) {
  TTreePath from;
  TTreePath place;
  if (oldWay) {
    from = *oldWay;
  } else if (newPlace) {
    FindKey(oldKey, from);
  } else {
    FindKeys(newKey, place, oldKey, from);
    newPlace = &place;
  }
  if (!from.found) Corrupt();
  const int leaf = from.levels - 1;
  const uint16_t removed = from.positions[leaf];
  TPageRef page(&file, PathPage(from, leaf));
  if (!page->LeafKeepsShapeOnDelete()) {
    page.Reset();
    DeleteAt(from);
    InsertKey(newKey, recordNumber);
    return;
  }
  // The pages above are stood on (parent link and position) where a change
  // follows them upwards: a first key the delete carries up climbs the old
  // key's way; a split of the insert climbs the new key's, whose levels
  // below the shared ones are stood on as their counts change, and which a
  // descent after the delete stands on as it goes.
  TTreePath to;
  const bool placed = newPlace && PlaceAfterDelete(*newPlace, from, removed, to);
  const int shared = placed ? SharedLevels(from, to) : 0;
  StandOnWay(from, removed == 1 ? leaf : shared);
  [[maybe_unused]] const uint16_t before = page->Count;
  page->DeleteEntry();
  ENG_ASSERT(page->Count == before - 1 && !page->Free);
  page.Reset();
  if (!placed) FindKey(newKey, to);
  const int common = placed ? shared : SharedLevels(from, to);
  CountAlong(from, common, -1);
  InsertAtCounted(to, newKey, recordNumber, common);
}

// The levels from the root where both ways take the same entry, above the
// old key's leaf.
int TIndexTree::SharedLevels(const TTreePath& from, const TTreePath& to) {
  const int leaf = from.levels - 1;
  int shared = 0;
  while (shared < leaf && shared < to.levels - 1 && from.offsets[shared] == to.offsets[shared] &&
         from.positions[shared] == to.positions[shared])
    ++shared;
  return shared;
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
