#include "engIndexTree.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "rtlAssert.h"
#include "engErrorCodes.h"
#include "engErrors.h"
#include "engIndexFile.h"
#include "engIndexPage.h"
#include "engKeyCompare.h"

void TIndexTree::Corrupt() const { RaiseEngineError(EngErrPageCorrupt, tableName); }

TTreePath& TTreePath::operator=(TTreePath&& other) noexcept {
  if (this == &other) return *this;
  Release();
  std::memcpy(offsets, other.offsets, sizeof offsets);
  std::memcpy(positions, other.positions, sizeof positions);
  levels = other.levels;
  found = other.found;
  owner = other.owner;
  heldLevels = other.heldLevels;
  std::copy(other.held, other.held + heldLevels, held);
  other.heldLevels = 0;
  return *this;
}

void TTreePath::Release() {
  for (int level = 0; level < heldLevels; ++level)
    if (held[level]) owner->ReleaseTreePage(held[level]);
  heldLevels = 0;
}

bool TIndexTree::KeyExists(const uint8_t* key) {
  TTreePath path;
  return FindKey(key, path);
}

bool TIndexTree::FindKey(const uint8_t* key, TTreePath& path) { return Descend(key, path, false); }

bool TIndexTree::HoldWay(const uint8_t* key, TTreePath& path, const TTreeWay* noted) {
  return Descend(key, path, true, noted);
}

void TIndexTree::StartWay(TTreePath& path, bool hold) {
  path.Release();
  path.levels = 0;
  path.found = false;
  path.owner = hold ? &file : nullptr;
}

bool TIndexTree::Descend(const uint8_t* key, TTreePath& path, bool hold, const TTreeWay* noted) {
  StartWay(path, hold);
  const uint32_t root = file.GetRootOffset(indexNo);
  if (root == 0) return false;
  TPageRef page(&file, file.GetTreePage(indexNo, root));
  DescendFrom(page, key, path, noted);
  Hold(path, page);
  return path.found;
}

// Each page passed is left standing on the way (its parent link set, its
// position on the entry taken), as a change that climbs from the leaf
// needs it. The leaf stays in page. The pages are those the root's and
// the children's links lead to now, whatever way was noted.
void TIndexTree::DescendFrom(TPageRef& page, const uint8_t* key, TTreePath& path, const TTreeWay* noted) {
  while (!page->IsLeaf()) {
    if (path.levels > MaxTreeDepth || page->Count == 0) Corrupt();
    if (noted) SearchNoted(*page, key, *noted, path.levels);
    else page->Search(comparer, key, keyLength);
    NoteLevel(path, *page);
    TPage* child = file.GetTreePage(indexNo, page->CurrentPointer());
    Hold(path, page);
    page.Replace(child);
  }
  path.found = page->Count > 0 && (noted ? SearchNoted(*page, key, *noted, path.levels)
                                         : page->Search(comparer, key, keyLength));
  NoteLevel(path, *page);
}

// The noted entry and the one before it (the two SearchNear may stand on)
// are left to the search when still to decode: reading one would decode
// the entries before it, where the search starts at a restart point.
bool TIndexTree::SearchNoted(TPage& page, const uint8_t* key, const TTreeWay& noted, int level) {
  if (level < noted.Levels && noted.Offsets[level] == page.Offset) {
    const int entry = noted.Positions[level];
    if (entry >= 1 && entry <= page.Count && page.EntryDecoded(entry) && (entry == 1 || page.EntryDecoded(entry - 1)))
      return SearchNear(page, key, entry);
  }
  return page.Search(comparer, key, keyLength);
}

void TIndexTree::NoteLevel(TTreePath& path, TPage& page) {
  page.Parent = path.levels == 0 ? 0 : path.offsets[path.levels - 1];
  path.offsets[path.levels] = page.Offset;
  path.positions[path.levels++] = page.Position;
}

void TIndexTree::Hold(TTreePath& path, TPageRef& page) {
  if (!path.owner) return;
  while (path.heldLevels < path.levels - 1) path.held[path.heldLevels++] = nullptr;
  path.held[path.heldLevels++] = page.Detach();
}

// Each shared page is searched for both keys, so each way is the one
// FindKey takes; where the ways part, each goes on alone. A page both ways
// pass is held by otherPath alone.
void TIndexTree::FindKeys(const uint8_t* key, TTreePath& path, const uint8_t* otherKey, TTreePath& otherPath) {
  StartWay(path, true);
  StartWay(otherPath, true);
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
      const uint32_t next = page->CurrentPointer();
      TPageRef other(&file, file.GetTreePage(indexNo, page->PointerAt(otherPosition)));
      Hold(otherPath, page);
      page.Reset();
      DescendFrom(other, otherKey, otherPath);
      Hold(otherPath, other);
      page.Replace(file.GetTreePage(indexNo, next));
      DescendFrom(page, key, path);
      Hold(path, page);
      return;
    }
    TPage* child = file.GetTreePage(indexNo, page->CurrentPointer());
    Hold(otherPath, page);
    page.Replace(child);
  }
  DescendFrom(page, otherKey, otherPath);
  path.found = page->Count > 0 && SearchNear(*page, key, page->Position);
  NoteLevel(path, *page);
  Hold(otherPath, page);
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

TPage* TIndexTree::PathPage(TTreePath& path, int level) {
  TPage* page = nullptr;
  if (level < path.heldLevels) std::swap(page, path.held[level]);
  if (!page) page = file.GetTreePage(indexNo, path.offsets[level]);
  ORV_ASSERT(page->Offset == path.offsets[level]);
  page->Parent = level == 0 ? 0 : path.offsets[level - 1];
  page->Position = path.positions[level];
  return page;
}

void TIndexTree::StandOnWay(TTreePath& path, int levels) {
  for (int level = 0; level < levels; ++level) TPageRef page(&file, PathPage(path, level));
}

void TIndexTree::InsertKey(const uint8_t* key, uint32_t recordNumber) {
  TTreePath path;
  HoldWay(key, path);
  InsertAt(path, key, recordNumber);
}

void TIndexTree::InsertAt(TTreePath& path, const uint8_t* key, uint32_t recordNumber) {
  InsertAtCounted(path, key, recordNumber, 0);
}

void TIndexTree::CountAlong(TTreePath& path, int fromLevel, int delta) {
  for (int level = fromLevel; level < path.levels - 1; ++level) {
    TPageRef page(&file, PathPage(path, level));
    const uint32_t below = page->CurrentKeyCount();
    if (delta < 0 && below < uint32_t(-delta)) Corrupt();
    page->SetCurrentKeyCount(uint32_t(int64_t(below) + delta));
  }
}

// Every page on the way counts one key more; the leaf takes the key after
// the entry an insert's search stands on (0: in front of all). The levels
// above fromLevel are given back before a split climbs them.
void TIndexTree::InsertAtCounted(TTreePath& path, const uint8_t* key, uint32_t recordNumber, int fromLevel) {
  if (path.Empty()) {
    ORV_ASSERT(file.GetRootOffset(indexNo) == 0);
    TPageRef page(&file, file.NewPage(indexNo));
    page->SetPageType(ptRootLeaf);
    page->Position = 0;
    page->InsertEntry(key, recordNumber, 0);
    file.SetRootOffset(indexNo, page->Offset);
    return;
  }
  ORV_ASSERT(file.GetRootOffset(indexNo) == path.offsets[0]);
  CountAlong(path, fromLevel, 1);
  TPageRef page(&file, PathPage(path, path.levels - 1));
  path.Release();
  if (page->Count == 0) Corrupt();
  if (!path.found && comparer.CompareKeys(key, page->KeyAt(page->Position), keyLength) < 0) --page->Position;
  page->InsertEntry(key, recordNumber, 0);
}

// Each page of the way is given back after its count's change, root first,
// before the leaf changes.
void TIndexTree::DeleteAt(TTreePath& path, TEntryAfter* after) {
  CountAlong(path, 0, -1);
  TPageRef page(&file, PathPage(path, path.levels - 1));
  if (after) {
    const int next = page->Position + 1;
    after->Found = next <= page->Count;
    if (after->Found) {
      std::memcpy(after->Key, page->KeyAt(next), keyLength);
      after->Record = page->PointerAt(next);
    }
  }
  page->DeleteEntry();
}

// The key is looked for first, so a missing one changes no key count; the
// pages of the way stay held from the descent to their count's change.
void TIndexTree::DeleteKey(const uint8_t* key, TEntryAfter* after, const TTreeWay* noted) {
  TTreePath path;
  if (!HoldWay(key, path, noted)) Corrupt();
  DeleteAt(path, after);
}

// A search leaves each leaf on the last entry below its key (or on the
// first when none is). Removing an entry from a leaf that keeps its shape
// moves only the entries after it, unless it was the leaf's first, whose
// key the branches above carried: a way found before the delete then
// still leads to the new key's place, one entry back on the same leaf
// when the removed entry stood at or before it.
bool TIndexTree::PlaceAfterDelete(TTreePath& place, const TTreePath& from, uint16_t removed, TTreePath& to) {
  if (removed <= 1 || place.found || place.levels != from.levels || place.offsets[0] != from.offsets[0]) return false;
  to = std::move(place);
  const int leaf = to.levels - 1;
  if (to.offsets[leaf] == from.offsets[leaf] && removed <= to.positions[leaf]) --to.positions[leaf];
  return true;
}

// When the old key's leaf keeps its shape, the branches keep their entries:
// the new key's way, as the tree stands after the delete, can then be laid
// beside the old key's, and the levels where both take the same entry are left as
// they are (their count would go down and up by one). Any other delete
// takes the plain way, since merges set the counts above from the pages
// below; the new key's way is given back before them.
void TIndexTree::ReplaceKey(const uint8_t* oldKey, const uint8_t* newKey, uint32_t recordNumber,
                            TTreePath* newPlace, TTreePath* oldWay) {
  TTreePath from;
  TTreePath place;
  if (oldWay) {
    from = std::move(*oldWay);
  } else if (newPlace) {
    HoldWay(oldKey, from);
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
    if (newPlace) newPlace->Release();
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
  if (newPlace) newPlace->Release();
  const int shared = placed ? SharedLevels(from, to) : 0;
  StandOnWay(from, removed == 1 ? leaf : shared);
  [[maybe_unused]] const uint16_t before = page->Count;
  page->DeleteEntry();
  ORV_ASSERT(page->Count == before - 1 && !page->Free);
  page.Reset();
  if (!placed) HoldWay(newKey, to);
  const int common = placed ? shared : SharedLevels(from, to);
  CountAlong(from, common, -1);
  from.Release();
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

void TIndexTree::LastWay(std::vector<TPageRef>& way) {
  way.clear();
  uint32_t parent = 0;
  for (uint32_t offset = file.GetRootOffset(indexNo); offset != 0;) {
    if (way.size() > size_t(MaxTreeDepth)) Corrupt();
    TPageRef page(&file, file.GetTreePage(indexNo, offset));
    if (page->Free || page->Count == 0 || page->IsRoot() != (parent == 0)) Corrupt();
    page->Parent = parent;
    page->Last();
    parent = offset;
    offset = page->IsLeaf() ? 0 : page->CurrentPointer();
    way.push_back(std::move(page));
  }
}

// Between two splits of the last leaf only that leaf changes; a split sets
// the counts of the pages it divides from their entries, so the branches'
// last entries along the way are the only counts behind, each set from
// the page below it, bottom up.
bool TIndexTree::AppendInOrder(const uint8_t* keys, const uint32_t* records, size_t count) {
  if (count == 0) return true;
  std::vector<TPageRef> way;
  LastWay(way);
  size_t next = 0;
  if (way.empty()) {
    TTreePath empty;
    InsertAtCounted(empty, keys, records[0], 0);
    next = 1;
    LastWay(way);
  } else if (comparer.CompareKeys(keys, way.back()->KeyAt(way.back()->Count), keyLength) <= 0) {
    return false;
  }
  while (next < count) {
    TPage& leaf = *way.back();
    if (!leaf.IsLeaf() || leaf.Right != 0) Corrupt();
    do {
      const uint8_t* key = keys + next * keyLength;
      ORV_ASSERT(comparer.CompareKeys(key, leaf.KeyAt(leaf.Count), keyLength) > 0);
      leaf.Last();
      leaf.InsertEntry(key, records[next], 0);
      ++next;
    } while (next < count && leaf.Right == 0);
    LastWay(way);
    for (size_t level = way.size() - 1; level-- > 0;) {
      TPage& branch = *way[level];
      const uint32_t below = way[level + 1]->KeyCount();
      if (branch.CurrentKeyCount() != below) branch.SetCurrentKeyCount(below);
    }
  }
  return true;
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
