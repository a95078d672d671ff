#include "engCursorWalk.h"

#include <cstring>
#include <utility>

#include "rtlAssert.h"
#include "engCursor.h"
#include "engErrorCodes.h"
#include "engErrors.h"
#include "engIndexFile.h"

TLeafWalker::TLeafWalker(TDataCursor& cursor, uint8_t indexNo, const TKeyComparer& comparer)
    : cursor(cursor), indexNo(indexNo), comparer(comparer) {}

void TLeafWalker::Corrupt() const { RaiseEngineError(EngErrPageCorrupt, cursor.TableName()); }

// A sibling chain that visits more pages than the file holds runs in a
// circle.
bool TLeafWalker::Fetch(uint32_t offset, TPageRef& fetched) {
  TIndexFile& file = cursor.IndexFile();
  if (++pagesVisited > file.GetEndOffset() / IndexPageSize + 1) Corrupt();
  TPage* read = nullptr;
  if (!file.GetPage(&cursor, indexNo, offset, false, read)) return false;
  fetched = TPageRef(&file, read);
  if (fetched->Count == 0 || fetched->Free) Corrupt();
  return true;
}

bool TLeafWalker::StartAtRoot() {
  page.Reset();
  entry = 0;
  logical = 0;
  pagesVisited = 0;
  way.Levels = 0;
  TIndexFile& file = cursor.IndexFile();
  TPage* root = nullptr;
  if (!file.GetRoot(&cursor, indexNo, true, root)) return false;
  TPageRef held(&file, root);
  if (held && (held->Count == 0 || !held->IsRoot())) Corrupt();
  page = std::move(held);
  return true;
}

void TLeafWalker::NoteLevel(int at) {
  way.Offsets[way.Levels] = page->Offset;
  way.Positions[way.Levels++] = uint16_t(at);
}

void TLeafWalker::Land(int at) {
  entry = at;
  NoteLevel(at);
}

// Every descent checks its depth before it goes on, so the way has room.
bool TLeafWalker::DescendToChild() {
  ORV_ASSERT(way.Levels <= MaxTreeDepth);
  NoteLevel(page->SecondPosition);
  TPageRef child;
  if (!Fetch(page->CurrentPointer(true), child)) return false;
  if (child->IsRoot()) Corrupt();
  child->Parent = page->Offset;
  page = std::move(child);
  return true;
}

bool TLeafWalker::Normalize() {
  while (entry > page->Count && page->Right != 0) {
    TPageRef next;
    if (!Fetch(page->Right, next)) return false;
    page = std::move(next);
    if (!page->IsLeaf()) Corrupt();
    entry = 1;
  }
  return true;
}

bool TLeafWalker::ToKey(const uint8_t* key, int length, TLeafSearchEnd end, bool& found) {
  found = false;
  if (!StartAtRoot()) return false;
  if (!page) return true;
  uint32_t keysBefore = 0;
  for (int depth = 0;; ++depth) {
    if (depth > MaxTreeDepth) Corrupt();
    const bool leaf = page->IsLeaf();
    const bool hit = page->SearchCounting(comparer, key, length, leaf ? end : TLeafSearchEnd::LastNotAbove,
                                          keysBefore);
    if (leaf) {
      found = hit;
      Land(page->SecondPosition);
      logical = keysBefore + 1;
      return Normalize();
    }
    if (!DescendToChild()) return false;
  }
}

bool TLeafWalker::ToFirst() {
  if (!StartAtRoot()) return false;
  if (!page) return true;
  for (int depth = 0; !page->IsLeaf(); ++depth) {
    if (depth > MaxTreeDepth) Corrupt();
    page->First(true);
    if (!DescendToChild()) return false;
  }
  Land(1);
  logical = 1;
  return true;
}

bool TLeafWalker::ToLast() {
  if (!StartAtRoot()) return false;
  if (!page) return true;
  uint32_t keysBefore = 0;
  for (int depth = 0; !page->IsLeaf(); ++depth) {
    if (depth > MaxTreeDepth) Corrupt();
    page->Last(true);
    keysBefore += page->KeysBefore(true);
    if (!DescendToChild()) return false;
  }
  Land(page->Count);
  logical = keysBefore + page->Count;
  return true;
}

bool TLeafWalker::ToLogical(uint32_t wanted) {
  if (!StartAtRoot()) return false;
  if (!page) return true;
  uint32_t keysBefore = 0;
  for (int depth = 0; !page->IsLeaf(); ++depth) {
    if (depth > MaxTreeDepth) Corrupt();
    int child = 1;
    while (child < page->Count && keysBefore + page->KeyCountAt(child) < wanted) {
      keysBefore += page->KeyCountAt(child);
      ++child;
    }
    page->SecondPosition = uint16_t(child);
    if (!DescendToChild()) return false;
  }
  const uint32_t inLeaf = wanted > keysBefore ? wanted - keysBefore : 1;
  Land(int(inLeaf > page->Count ? page->Count : inLeaf));
  logical = keysBefore + uint32_t(entry);
  return true;
}

// The page is taken as any walk takes it, so a read that meets another
// user's change reports it; a page freed or reused since is simply not
// the one remembered.
bool TLeafWalker::Resume(uint32_t offset, int wanted, const uint8_t* key, uint32_t record, uint32_t at,
                         bool& resumed) {
  resumed = false;
  page.Reset();
  entry = 0;
  logical = 0;
  pagesVisited = 0;
  way.Levels = 0;
  TIndexFile& file = cursor.IndexFile();
  if (offset < IndexHeaderSize || offset % IndexPageSize != 0 || offset >= file.GetEndOffset()) return true;
  TPage* read = nullptr;
  if (!file.GetPage(&cursor, indexNo, offset, false, read)) return false;
  TPageRef held(&file, read);
  if (held->Free || !held->IsLeaf() || wanted < 1 || wanted > held->Count) return true;
  if (held->PointerAt(wanted) != record || std::memcmp(held->KeyAt(wanted), key, held->KeyLength) != 0) return true;
  page = std::move(held);
  entry = wanted;
  logical = at;
  resumed = true;
  return true;
}

void TLeafWalker::NoteStepStart() {
  leftOnEntry = OnEntry();
  leftEntry = entry;
  leftKeyCopied = false;
}

void TLeafWalker::KeepLeftKey() {
  if (!leftOnEntry || leftKeyCopied) return;
  std::memcpy(leftKey, page->KeyAt(leftEntry), page->KeyLength);
  leftKeyCopied = true;
}

// Keys of one index are distinct (a non-unique key ends with its row
// number), so a step that does not move on in key order runs over keys
// or links out of order. A step inside one page moves on when the page's
// keys are in order, which the page checks once for all its steps; a step
// into another page compares the keys it went between.
void TLeafWalker::CheckStepOrder(int direction) const {
  if (!leftOnEntry || !OnEntry()) return;
  if (!leftKeyCopied) {
    if (!page->KeysInOrder(comparer)) Corrupt();
    return;
  }
  const int order = comparer.CompareKeys(Key(), leftKey, page->KeyLength);
  if (order == 0 || (order > 0) != (direction > 0)) Corrupt();
}

bool TLeafWalker::Next() {
  if (!page) return true;
  NoteStepStart();
  if (entry <= page->Count) {
    ++entry;
    ++logical;
  }
  if (entry > page->Count) KeepLeftKey();
  if (!Normalize()) return false;
  CheckStepOrder(1);
  return true;
}

bool TLeafWalker::Prior() {
  if (!page || entry < 1) return true;
  NoteStepStart();
  --entry;
  --logical;
  if (entry < 1) KeepLeftKey();
  while (entry < 1 && page->Left != 0) {
    TPageRef previous;
    if (!Fetch(page->Left, previous)) return false;
    page = std::move(previous);
    if (!page->IsLeaf()) Corrupt();
    entry = page->Count;
  }
  CheckStepOrder(-1);
  return true;
}

bool TLeafWalker::RecordBeside(int distance, uint32_t& record) const {
  const int position = entry + distance;
  if (!OnEntry() || position < 1 || position > page->Count) return false;
  record = page->PointerAt(position);
  return true;
}

int TLeafWalker::LeafRecords(bool forward, uint32_t* records, int limit) const {
  if (!OnEntry()) return 0;
  int count = 0;
  for (int position = entry + (forward ? 1 : -1); count < limit && position >= 1 && position <= page->Count;
       position += forward ? 1 : -1)
    records[count++] = page->PointerAt(position);
  return count;
}

int TLeafWalker::RecordRun(bool forward, int limit) const {
  if (!OnEntry()) return 0;
  page->SecondPosition = uint16_t(entry);
  return page->RecordRun(forward, limit);
}

const uint8_t* TLeafWalker::KeyAfter(int distance) const {
  ORV_ASSERT(distance >= 1 && distance <= EntriesAfterInLeaf());
  return page->KeyAt(entry + distance);
}

void TLeafWalker::AdvanceInLeaf(int distance) {
  ORV_ASSERT(distance >= 0 && distance <= EntriesAfterInLeaf());
  if (distance == 0) return;
  if (!page->KeysInOrder(comparer)) Corrupt();
  entry += distance;
  logical += uint32_t(distance);
}
